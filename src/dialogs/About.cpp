#include "dialogs/About.h"

#include "ui/AccessibleNames.h"
#include "ui/Twips.h"

#include <QFontMetrics>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QTimer>
#include <cmath>

namespace velmora {

namespace {

constexpr int LabelWidth = 1005;
constexpr int LabelHeight = 360;
// A label whose Top reaches this height wraps round to the bottom.
constexpr int WrapTop = 1000;
constexpr int ScrollStep = 15;
constexpr int LastLine = 9; // entries 8 and 9 are the blank gap of the loop

const QColor Ink(0x1f, 0x35, 0x50);

QIcon exitIcon() {
    // A small door with an arrow leaving it.
    QPixmap icon(16, 16);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Ink, 1.4));
    p.setBrush(QColor(0xe9, 0xdc, 0xc3));
    p.drawRect(QRectF(7.5, 1.5, 7, 13));
    p.setPen(QPen(QColor(0x9b, 0x22, 0x26), 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(1.5, 8), QPointF(9.5, 8));
    p.drawLine(QPointF(1.5, 8), QPointF(4.5, 5));
    p.drawLine(QPointF(1.5, 8), QPointF(4.5, 11));
    return QIcon(icon);
}

void setTextColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

About::About(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("About"));
    setWindowTitle(QStringLiteral("about"));
    setClientSize(this, 8430, 7200);
    setFont(formFont());

    struct Design {
        QLabel** label;
        const char* name;
        int left;
        int top;
    };
    const Design labels[] = {{&Label1, "Label1", 6600, 1920},
                             {&Label2, "Label2", 6630, 2640},
                             {&Label3, "Label3", 6645, 3240},
                             {&Label4, "Label4", 6630, 3840}};
    for (int i = 1; i <= 4; ++i) {
        const Design& d = labels[i - 1];
        *d.label = new QLabel(this);
        (*d.label)->setObjectName(QString::fromLatin1(d.name));
        (*d.label)->setFont(formFont());
        (*d.label)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        (*d.label)->setTextFormat(Qt::PlainText);
        // A dark rim keeps the light colours of the cycle readable on the
        // light background.
        auto* rim = new QGraphicsDropShadowEffect(*d.label);
        rim->setOffset(0, 0);
        rim->setBlurRadius(4);
        rim->setColor(QColor(0x1f, 0x35, 0x50, 200));
        (*d.label)->setGraphicsEffect(rim);
        m_right[i] = d.left + LabelWidth;
        m_top[i] = d.top;
        place(*d.label, d.left, d.top, LabelWidth, LabelHeight);
    }
    setTextColour(Label1, paletteColour(0));

    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setAlignment(Qt::AlignCenter);
    Text1->setReadOnly(true); // a credit, not a field to edit
    Text1->setFocusPolicy(Qt::NoFocus);
    Text1->setFrame(false);
    Text1->setFont(formFont(10));
    place(Text1, 2040, 6600, 4095, 285);
    nameField(Text1, finishedCreditLine());

    Command1 = new QPushButton(QStringLiteral("خروج"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setFont(formFont());
    Command1->setIcon(exitIcon());
    Command1->setAutoDefault(false);
    place(Command1, 6720, 6360, 915, 675);
    connect(Command1, &QPushButton::clicked, this, &About::Command1_Click);

    auto makeTimer = [this](QTimer** timer, const char* name, int interval, bool enabled,
                            void (About::*tick)()) {
        *timer = new QTimer(this);
        (*timer)->setObjectName(QString::fromLatin1(name));
        (*timer)->setInterval(interval);
        connect(*timer, &QTimer::timeout, this, tick);
        if (enabled)
            (*timer)->start();
    };
    makeTimer(&Timer1, "Timer1", 700, true, &About::Timer1_Timer);
    makeTimer(&Timer10, "Timer10", 55, true, &About::Timer10_Timer);
    makeTimer(&Timer3, "Timer3", 1, false, &About::Timer3_Timer);
    makeTimer(&Timer2, "Timer2", 55, true, &About::Timer2_Timer);

    m_random = [] { return QRandomGenerator::global()->generateDouble(); };

    Form_Load();
}

void About::showModal(QWidget* owner) {
    // The about window has no skin of its own: as a child of the main window
    // it would take the main window's skin, whose label colours would hide its
    // lines on the paper and stop their colours from changing. Without a
    // parent, exec() still makes it modal over the whole program.
    About window;
    window.exec();
    // The keyboard goes back to the window it was opened from, even where no
    // window manager hands it back.
    if (owner)
        owner->activateWindow();
}

QString About::finishedCreditLine() {
    return QStringLiteral("ساخته پروژه Velmora");
}

QString About::creditLine() {
    // The finished line with its letters pulled apart by runs of blanks and a
    // full stop wherever it has a blank.
    const QString finished = finishedCreditLine();
    QString spaced;
    for (int i = 0; i < finished.size(); ++i) {
        const QChar c = finished.at(i);
        if (c == QLatin1Char(' ')) {
            spaced += QLatin1Char('.');
            continue;
        }
        if (i > 0 && finished.at(i - 1) != QLatin1Char(' '))
            spaced += QStringLiteral("  ");
        spaced += c;
    }
    return spaced;
}

void About::Form_Load() {
    Timer3->start();
    Text1->setText(creditLine());
    m_search = QStringLiteral(" ");
    m_replacement = QLatin1String("");
    placeWindow(this, 1100, 1200);

    // The author is the Velmora project: no person, telephone number or
    // address is given; the help page shipped with the program is the contact.
    m_lines[1] = QStringLiteral("نام نرم افزار:");
    m_lines[2] = QStringLiteral("Velmora");
    m_lines[3] = QStringLiteral("برنامه نويس: پروژه Velmora");
    m_lines[4] = QStringLiteral("پشتيباني: صفحه راهنماي برنامه");
    m_lines[5] = QStringLiteral("راهنما: help/index.html");
    m_lines[6] = QStringLiteral("وب سايت: پروژه Velmora");
    m_lines[7] = QStringLiteral("فروشگاه: پروژه Velmora");
    for (int n = 8; n <= 11; ++n)
        m_lines[n] = QLatin1String("");

    for (int i = 1; i <= 4; ++i)
        setLabelCaption(i, m_lines[i]);
    m_nextLine = 4;
}

QLabel* About::label(int index) const {
    switch (index) {
    case 1:
        return Label1;
    case 2:
        return Label2;
    case 3:
        return Label3;
    default:
        return Label4;
    }
}

void About::setLabelTop(int index, int top) {
    m_top[index] = top;
    QLabel* l = label(index);
    l->move(l->x(), twips(top));
}

void About::setLabelCaption(int index, const QString& caption) {
    // A line longer than the designed width widens to the left, keeping its
    // right edge, so that it is read whole.
    QLabel* l = label(index);
    l->setText(caption);
    const int textWidth = (l->fontMetrics().horizontalAdvance(caption) + 4) * TwipsPerPixel;
    const int width = std::max(LabelWidth, textWidth);
    place(l, m_right[index] - width, m_top[index], width, LabelHeight);
}

int About::outerHeight() const {
    return frameGeometry().height() * TwipsPerPixel;
}

void About::Command1_Click() {
    close();
}

void About::Timer10_Timer() {
    for (int i = 1; i <= 4; ++i) {
        if (m_top[i] <= WrapTop) {
            m_top[i] = outerHeight() - 1500;
            ++m_nextLine;
            setLabelCaption(i, m_lines.at(m_nextLine));
            break; // at most one label moves to the bottom per tick
        }
    }
    if (m_nextLine == LastLine)
        m_nextLine = 0;
    for (int i = 1; i <= 4; ++i)
        setLabelTop(i, m_top[i] - ScrollStep);
}

QColor About::paletteColour(int number) {
    static const QColor colours[16] = {
        QColor(0, 0, 0),       QColor(0, 0, 128),   QColor(0, 128, 0),   QColor(0, 128, 128),
        QColor(128, 0, 0),     QColor(128, 0, 128), QColor(128, 128, 0), QColor(192, 192, 192),
        QColor(128, 128, 128), QColor(0, 0, 255),   QColor(0, 255, 0),   QColor(0, 255, 255),
        QColor(255, 0, 0),     QColor(255, 0, 255), QColor(255, 255, 0), QColor(255, 255, 255)};
    return colours[number & 15];
}

void About::Timer1_Timer() {
    if (m_colourStep > 15)
        m_colourStep = 0;
    setTextColour(Label1, paletteColour(m_colourStep));
    m_colourStep += 2;
    const double r1 = m_random();
    const double r2 = m_random();
    const double r3 = m_random();
    auto channel = [](double r) { return static_cast<int>(std::lround(r * 255)); };
    setTextColour(Label3, QColor(channel(r1), channel(r2), channel(r3)));
}

void About::Timer3_Timer() {
    if (m_search.isEmpty() || m_search == m_replacement)
        return;
    QString text = Text1->text();
    const int at = text.indexOf(m_search);
    if (at >= 0) {
        text.replace(at, m_search.size(), m_replacement);
        Text1->setText(text);
    } else {
        m_search = QStringLiteral(".");
        m_replacement = QStringLiteral(" ");
    }
}

void About::Timer2_Timer() {
    // The caption would run along the title bar if it were longer or six
    // letters long; "about" is neither, so it stays where it is.
    const QString caption = windowTitle();
    const int textWidth = fontMetrics().horizontalAdvance(caption) * TwipsPerPixel;
    if (textWidth > frameGeometry().width() * TwipsPerPixel - 1700)
        m_captionState = QStringLiteral("B");
    else if (caption.size() == 6)
        m_captionState = QStringLiteral("T");
    if (m_captionState == QLatin1String("T"))
        setWindowTitle(QLatin1Char(' ') + caption);
    else if (m_captionState == QLatin1String("B"))
        setWindowTitle(caption.mid(1));
}

void About::paintEvent(QPaintEvent*) {
    // The background picture: a title band with the product's name, a soft
    // field for the scrolling lines and a strip for the credit line.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF all = rect();

    QLinearGradient field(all.topLeft(), all.bottomLeft());
    field.setColorAt(0, QColor(0xf3, 0xef, 0xe4));
    field.setColorAt(1, QColor(0xd9, 0xd0, 0xbb));
    p.fillRect(all, field);

    // An emblem on the left: the product's initial in a seal, with rings
    // spreading round it.
    const QPointF centre(150, 235);
    QRadialGradient glow(centre, 150);
    glow.setColorAt(0, QColor(255, 255, 255, 160));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(centre, 150, 150);
    for (int r = 110; r >= 60; r -= 25) {
        p.setPen(QPen(QColor(0x1f, 0x35, 0x50, 40 + (110 - r)), 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(centre, r, r);
    }
    QRadialGradient seal(centre + QPointF(-12, -14), 60);
    seal.setColorAt(0, QColor(0xb8, 0x3a, 0x3e));
    seal.setColorAt(1, QColor(0x5e, 0x12, 0x18));
    p.setPen(QPen(QColor(0xc9, 0xa2, 0x4d), 3));
    p.setBrush(seal);
    p.drawEllipse(centre, 42, 42);
    QFont initial(QStringLiteral("DejaVu Serif"));
    initial.setPixelSize(46);
    initial.setBold(true);
    p.setFont(initial);
    p.setPen(QColor(0xf3, 0xef, 0xe4));
    p.drawText(QRectF(centre.x() - 42, centre.y() - 42, 84, 84), Qt::AlignCenter,
               QStringLiteral("V"));

    const QRectF band(0, 0, all.width(), 60);
    QLinearGradient bandFill(band.topLeft(), band.bottomLeft());
    bandFill.setColorAt(0, QColor(0x2c, 0x4a, 0x6e));
    bandFill.setColorAt(1, Ink);
    p.fillRect(band, bandFill);
    p.setPen(QPen(QColor(0xc9, 0xa2, 0x4d), 2));
    p.drawLine(band.bottomLeft(), band.bottomRight());
    QFont title(QStringLiteral("DejaVu Serif"));
    title.setPointSize(22);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(0xf3, 0xef, 0xe4));
    p.drawText(band.adjusted(20, 0, -20, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::AlignAbsolute,
               QStringLiteral("Velmora"));

    const QRectF strip(0, all.height() - 62, all.width(), 62);
    p.fillRect(strip, QColor(0x1f, 0x35, 0x50, 28));
    p.setPen(QPen(QColor(0xc9, 0xa2, 0x4d), 1));
    p.drawLine(strip.topLeft(), strip.topRight());
}

} // namespace velmora
