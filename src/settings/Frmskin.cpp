#include "settings/Frmskin.h"

#include "data/DataControl.h"
#include "ui/DataFailures.h"
#include "ui/FieldBinding.h"
#include "ui/FormKit.h"
#include "ui/MainWindow.h"
#include "ui/PictureButton.h"
#include "ui/Skins.h"
#include "ui/Twips.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOption>

namespace velmora {

namespace {

// The window's own artwork, drawn in the colours of the skin it was opened in.
const QSize ButtonPicture(96, 35);

QString headingText() {
    return QStringLiteral("تم برنامه تغيير کرد");
}

QString questionText() {
    return QStringLiteral("آيا تغييرات با موفقيت انجام شد؟");
}

QString confirmText() {
    return QStringLiteral("تأييد");
}

QPixmap confirmPicture(bool highlighted) {
    // The button keeps one look of its own in every skin, so its label stays
    // readable on a dark skin as on a light one.
    QPixmap picture(ButtonPicture);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame(1.5, 1.5, ButtonPicture.width() - 3, ButtonPicture.height() - 3);
    const QColor base = highlighted ? QColor(0x3f, 0xae, 0x62) : QColor(0x2e, 0x8b, 0x4e);
    QLinearGradient fill(frame.topLeft(), frame.bottomLeft());
    fill.setColorAt(0, base.lighter(highlighted ? 135 : 115));
    fill.setColorAt(1, base.darker(115));
    p.setBrush(fill);
    p.setPen(QPen(highlighted ? QColor(0xf2, 0xd2, 0x6b) : base.darker(150), highlighted ? 2 : 1));
    p.drawRoundedRect(frame, 9, 9);
    if (highlighted) {
        // A soft shine on the upper half marks the button under the pointer.
        QPainterPath shine;
        shine.addRoundedRect(frame.adjusted(3, 2, -3, -frame.height() / 2), 6, 6);
        p.fillPath(shine, QColor(255, 255, 255, 70));
    }
    p.setFont(formFont(11));
    p.setPen(Qt::white);
    p.drawText(frame, Qt::AlignCenter, confirmText());
    return picture;
}

} // namespace

Frmskin::Frmskin(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Frmskin"));
    setWindowTitle(QStringLiteral("Form1"));
    setAttribute(Qt::WA_DeleteOnClose);
    setClientSize(this, 4710, 3000);
    setFont(formFont());
    setMouseTracking(true);

    Adodc1 = makeDataControl(QStringLiteral("Theme"), this, QStringLiteral("Adodc1"));
    Skin1 = new SkinEngine(this);
    Text1 = makeHiddenBox(QStringLiteral("Text1"), this);
    bind(Adodc1, Text1, QStringLiteral("TH"));

    k1 = new QLabel(this);
    k1->setObjectName(QStringLiteral("k1"));
    place(k1, 1620, 2280, 1440, 525);
    k1->setCursor(Qt::PointingHandCursor);

    // Lies 60 twips further left than k1 and has no pointer handler of its
    // own: the pointer over it leaves the highlight in place.
    k2 = new QLabel(this);
    k2->setObjectName(QStringLiteral("k2"));
    place(k2, 1560, 2280, 1440, 525);
    k2->setCursor(Qt::PointingHandCursor);
    m_confirm = new PictureButton(k1, k2, confirmText(), this);
    connect(m_confirm, &PictureButton::clicked, this, &Frmskin::k2_Click);

    Form_Load();
}

Frmskin* Frmskin::showWindow() {
    auto* window = new Frmskin;
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void Frmskin::Form_Load() {
    placeWindow(this, 5000, 3500);
    ApplyTheme(this, Text1->text(), Skin1);
    k1->setPixmap(confirmPicture(false));
    k2->setPixmap(confirmPicture(true));
    Form_MouseMove();
}

void Frmskin::Form_MouseMove() {
    m_confirm->rest();
}

void Frmskin::k1_MouseMove() {
    m_confirm->highlight();
}

void Frmskin::k2_Click() {
    showMainWindow();
    close();
}

void Frmskin::closeEvent(QCloseEvent* event) {
    event->accept();
    // Closed by its frame instead of the confirm button: the main window
    // comes back all the same, or the program would end with the operator
    // left at nothing.
    if (!mainWindowLoaded())
        showMainWindow();
}

void Frmskin::keyPressEvent(QKeyEvent* event) {
    // Enter confirms wherever the focus is, as the picture does.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        k2_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Frmskin::mouseMoveEvent(QMouseEvent* event) {
    Form_MouseMove();
    QWidget::mouseMoveEvent(event);
}

void Frmskin::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // The skin's own background first, then the picture over it.
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &p, this);
    p.setRenderHint(QPainter::Antialiasing);

    const QPalette& pal = palette();
    const QColor accent = pal.color(QPalette::Highlight);
    const QRectF band(0, 0, width(), 52);
    QLinearGradient bandFill(band.topLeft(), band.bottomLeft());
    bandFill.setColorAt(0, accent.lighter(120));
    bandFill.setColorAt(1, accent.darker(115));
    p.fillRect(band, bandFill);
    p.setPen(QPen(accent.darker(140), 1));
    p.drawLine(band.bottomLeft(), band.bottomRight());

    p.setFont(formFont(14));
    p.setPen(pal.color(QPalette::HighlightedText));
    p.drawText(band, Qt::AlignCenter, headingText());

    const QRectF card(14, 64, width() - 28, 74);
    p.setBrush(QColor(255, 255, 255, 90));
    p.setPen(QPen(pal.color(QPalette::Mid), 1));
    p.drawRoundedRect(card, 8, 8);
    p.setFont(formFont(12));
    p.setPen(pal.color(QPalette::WindowText));
    p.drawText(card.adjusted(10, 4, -10, -4), Qt::AlignCenter | Qt::TextWordWrap, questionText());
}

} // namespace velmora
