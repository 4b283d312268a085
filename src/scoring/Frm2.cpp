#include "scoring/Frm2.h"

#include "data/DataControl.h"
#include "data/TextNumber.h"
#include "platform/Platform.h"
#include "scoring/Scales.h"
#include "scoring/ScoringUi.h"
#include "ui/AccessibleNames.h"
#include "ui/DataFailures.h"
#include "ui/FieldBinding.h"
#include "ui/FormKit.h"
#include "ui/Skins.h"
#include "ui/Twips.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QWindow>
#include <cmath>

namespace velmora {

namespace {

// Twips to pixels, keeping fractions for the lines.
constexpr double px(double twipsValue) {
    return twipsValue / TwipsPerPixel;
}

// The columns of the chart, in scale order.
struct Column {
    int from, to;  // separators (x) of the name band
    int barLeft;   // left edge of the bar
    bool red;      // bar fill: pure red, else black
    int valueLeft; // left edge of the value box
};
constexpr Column Columns[ScaleCount] = {
    {2520, 3480, 2700, false, 2760}, {3480, 4440, 3660, true, 3720},
    {4440, 5400, 4620, false, 4680}, {5400, 6540, 5700, true, 5760},
    {6540, 7800, 6840, false, 6900}, {7800, 8820, 8040, true, 8100},
    {8820, 9900, 9120, false, 9120},
};

constexpr int Baseline = 6015; // bottom edge of every bar
constexpr int BarWidth = 615;
constexpr int DesignBarTop = 5820; // bars before the first drawing
constexpr int DesignBarHeight = 195;
// The largest value the chart accepts in its first two boxes. A bar that high
// already reaches far above the window, so any larger value is drawn as this
// one: the bar's numbers stay finite, in single precision as well.
constexpr double LargestValue = 1001;

// A pixel position that a runaway value cannot overflow (nor a value that is
// not a number: it is taken as 0).
int clampedPixels(double twipsValue) {
    const double p = std::round(px(twipsValue));
    if (std::isnan(p))
        return 0;
    return static_cast<int>(std::clamp(p, -100000.0, 100000.0));
}

// The number in a value box. Digits typed on a Persian keyboard (or
// Arabic-Indic ones) count as the digits 0 to 9.
double chartValue(const QLineEdit* box) {
    return leadingNumber(latinDigits(box->text()));
}

void paintWindowImage(QPrinter& printer, const QImage& picture) {
    // The window is wider than tall: it goes on a landscape page, at its size
    // on the screen (1440 twips to the inch) or smaller when the page is.
    printer.setPageOrientation(QPageLayout::Landscape);
    QPainter painter(&printer);
    if (!painter.isActive())
        return;
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const double dpi = printer.resolution();
    QSizeF size(picture.width() / picture.devicePixelRatio() * TwipsPerPixel / 1440.0 * dpi,
                picture.height() / picture.devicePixelRatio() * TwipsPerPixel / 1440.0 * dpi);
    if (size.width() > page.width() || size.height() > page.height())
        size.scale(page.size(), Qt::KeepAspectRatio);
    const QRectF target((page.width() - size.width()) / 2, 0, size.width(), size.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture);
}

} // namespace

ChartBar::ChartBar(const QString& name, const QColor& fill, QWidget* parent)
    : QWidget(parent), m_fill(fill) {
    setObjectName(name);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ChartBar::setTwips(float left, float top, float width, float height) {
    m_left = left;
    m_top = top;
    m_width = width;
    m_height = height;
    const int x = clampedPixels(left);
    const int y = clampedPixels(top);
    setGeometry(x, y, std::max(0, clampedPixels(left + width) - x),
                std::max(0, clampedPixels(top + height) - y));
}

void ChartBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), m_fill);
}

Frm2::Frm2(QWidget* owner) : QDialog(nullptr) {
    setObjectName(QStringLiteral("Frm2"));
    setWindowTitle(QStringLiteral("رسم نمودار"));
    setClientSize(this, 11880, 8100);
    setFont(formFont());
    setModal(true);
    if (owner && owner->window()->windowHandle()) {
        // A top-level of its own, so that the owner's skin does not reach it,
        // but kept above the owner by the window system.
        create();
        windowHandle()->setTransientParent(owner->window()->windowHandle());
    }

    Adodc1 = makeDataControl(QStringLiteral("Theme"), this, QStringLiteral("Adodc1"));
    Skin1 = new SkinEngine(this);
    Text11 = makeHiddenBox(QStringLiteral("Text11"), this);
    bind(Adodc1, Text11, QStringLiteral("TH"));

    QLabel* name = new QLabel(this);
    name->setObjectName(QStringLiteral("Label18(9)"));
    name->setFont(formFont(16));
    name->setAlignment(Qt::AlignCenter);
    place(name, 30, 300, 11775, 450);
    bind(Adodc1, name, QStringLiteral("Name"));
    Label18[9] = name;

    buildSubjectFrame();

    Label18[11] = makeCaption(QStringLiteral("Label18(11)"), QStringLiteral(" :آدرس"), this, 10560,
                              6900, 900, 375);
    QLabel* address = new QLabel(this);
    address->setObjectName(QStringLiteral("Label18(10)"));
    address->setFont(formFont(11));
    address->setWordWrap(true);
    address->setAlignment(Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignTop);
    place(address, 1920, 6960, 8535, 750);
    bind(Adodc1, address, QStringLiteral("Adress"));
    Label18[10] = address;

    buildChart();

    Command1 = makeButton(QStringLiteral("Command1"), QStringLiteral("رسم نمودار"), this, 480, 5220,
                          1155, 555);
    Command2 =
        makeButton(QStringLiteral("Command2"), QStringLiteral("پرينت"), this, 480, 5940, 1035, 555);
    Command6 =
        makeButton(QStringLiteral("Command6"), QStringLiteral("خروج"), this, 540, 6660, 885, 555);
    connect(Command1, &QPushButton::clicked, this, &Frm2::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Frm2::Command2_Click);
    connect(Command6, &QPushButton::clicked, this, &Frm2::Command6_Click);
    Command1->setAutoDefault(false);
    Command2->setAutoDefault(false);
    Command6->setAutoDefault(false);

    Form_Load();
}

Frm2::~Frm2() = default;

void Frm2::buildSubjectFrame() {
    Frame1 = makeFrame(QStringLiteral("Frame1"), this);
    place(Frame1, 1380, 780, 9135, 1395);
    struct Field {
        QLineEdit** box;
        const char* name;
        QString caption;
    };
    const Field fields[] = {
        {&Text18, "Text18", QStringLiteral(":کد")},
        {&Text17, "Text17", QStringLiteral(" :نام")},
        {&Text16, "Text16", QStringLiteral(" :نام خانوادگي")},
        {&Text10, "Text10", QStringLiteral(" :جنس")},
        {&Text15, "Text15", QStringLiteral(" :سن")},
        {&Text8, "Text8", QStringLiteral(" :وضعيت تاهل")},
        {&Text14, "Text14", QStringLiteral(" :ميزان تحصيلات")},
        {&Text12, "Text12", QStringLiteral(":تاريخ")},
        {&Text9, "Text9", QStringLiteral(" :ساعت")},
    };
    // Three rows of three, read from right to left, each caption to the
    // right of its box.
    constexpr int CaptionWidth = 1335, BoxWidth = 1590, Gap = 45, ColumnWidth = 3015;
    for (int i = 0; i < 9; ++i) {
        const Field& f = fields[i];
        const int right = 9015 - (i % 3) * ColumnWidth;
        const int top = 120 + (i / 3) * 405;
        QLineEdit* box =
            makeTextBox(QString::fromLatin1(f.name), Frame1, right - CaptionWidth - Gap - BoxWidth,
                        top, BoxWidth, 375, Qt::AlignHCenter);
        box->setFont(formFont(10));
        *f.box = box;
        QLabel* caption = makeCaption(QStringLiteral("Label18(%1)").arg(i), f.caption, Frame1,
                                      right - CaptionWidth, top, CaptionWidth, 375);
        caption->setFont(fittedFont(formFont(10), f.caption, twips(CaptionWidth)));
        Label18[static_cast<size_t>(i)] = caption;
        nameByCaption(box, caption);
    }
}

void Frm2::buildChart() {
    for (int v = 1; v <= 10; ++v) {
        auto* tick = new QLabel(QString::number(v), this);
        tick->setObjectName(QStringLiteral("Tick%1").arg(v));
        tick->setFont(formFont(9));
        tick->setAlignment(Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignTop);
        place(tick, 1920, 5520 - 360 * (v - 1), 375, v == 1 ? 375 : 255);
    }
    for (const Scale& scale : scales()) {
        const Column& c = Columns[scale.number - 1];
        auto* bar = new ChartBar(QStringLiteral("Shape%1").arg(scale.number),
                                 c.red ? QColor(255, 0, 0) : QColor(0, 0, 0), this);
        bar->setTwips(c.barLeft, DesignBarTop, BarWidth, DesignBarHeight);
        m_bars.at(static_cast<size_t>(scale.number - 1)) = bar;

        auto* name = new QLabel(scale.name, this);
        name->setObjectName(QStringLiteral("ScaleName%1").arg(scale.number));
        name->setFont(fittedFont(formFont(10), scale.name, twips(c.to - c.from) - 4));
        name->setAlignment(Qt::AlignCenter);
        place(name, c.from, 6060, c.to - c.from, 300);

        QLineEdit* value = makeTextBox(QStringLiteral("Text%1").arg(scale.number), this,
                                       c.valueLeft, 6360, 435, 375, Qt::AlignHCenter);
        value->setFont(formFont(9));
        value->setReadOnly(true);
        nameByCaption(value, name);
        // A long value (20/3 has fifteen digits) shows its leading digits.
        connect(value, &QLineEdit::textChanged, value, [value] { value->setCursorPosition(0); });
        m_values.at(static_cast<size_t>(scale.number - 1)) = value;
    }
}

void Frm2::Form_Load() {
    placeWindow(this, 2340, 765);
}

void Frm2::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::FlatCap));
    const auto line = [&painter](double x1, double y1, double x2, double y2) {
        painter.drawLine(QPointF(px(x1), px(y1)), QPointF(px(x2), px(y2)));
    };
    // Page frame.
    line(300, 180, 300, 7920);
    line(11580, 180, 11580, 7920);
    line(300, 195, 11580, 195);
    line(300, 7920, 11580, 7920);
    // Axis, baseline and ticks.
    line(2520, 2280, 2520, 6000);
    line(2520, 6015, 9900, 6000);
    for (int v = 1; v <= 10; ++v)
        line(2400, 6000 - 360 * v, 2520, 6000 - 360 * v);
    // Name band.
    for (const int x : {2520, 3480, 4440, 5400, 6540, 7800, 8820, 9900})
        line(x, 6000, x, 6840);
    line(9900, 6840, 2520, 6855);
}

void Frm2::Command1_Click() {
    for (QLineEdit* box : {valueBox(1), valueBox(2)}) {
        const double v = chartValue(box);
        if (v < 0 || v > 1001) {
            platform().messageBox(this, applicationTitle(),
                                  QStringLiteral("عدد وارد شده يا کمه يا زياد"),
                                  QMessageBox::NoIcon, QMessageBox::Ok);
            box->setFocus();
            return;
        }
    }
    for (int k = 1; k <= ScaleCount; ++k) {
        double v = chartValue(valueBox(k));
        // A bar never grows below the baseline: a negative or unreadable value
        // draws no bar.
        if (!(v > 0) || std::isnan(v))
            v = 0;
        v = std::min(v, LargestValue);
        const double h = barHeight(v);
        ChartBar* shape = bar(k);
        shape->setTwips(shape->left(), static_cast<float>(Baseline - h), shape->width(),
                        static_cast<float>(h));
    }
}

QImage Frm2::clientImage() {
    constexpr int Scale = 3;
    QImage picture(size() * Scale, QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(Scale);
    picture.fill(palette().color(QPalette::Window));
    // The printout shows no caret or focus frame.
    QWidget* focused = focusWidget();
    if (focused)
        focused->clearFocus();
    render(&picture);
    if (focused)
        focused->setFocus();
    return picture;
}

void Frm2::Command2_Click() {
    const QList<QPushButton*> buttons = {Command1, Command2, Command6};
    for (QPushButton* b : buttons)
        b->setVisible(false);
    const QImage picture = clientImage();
    const QString failure = platform().print(
        this, windowTitle(), [&picture](QPrinter& printer) { paintWindowImage(printer, picture); });
    for (QPushButton* b : buttons)
        b->setVisible(true);
    if (!failure.isEmpty())
        platform().messageBox(this, QStringLiteral("Error"), failure, QMessageBox::Warning,
                              QMessageBox::Ok);
}

void Frm2::Command6_Click() {
    close();
}

} // namespace velmora
