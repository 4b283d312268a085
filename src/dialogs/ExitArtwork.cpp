#include "dialogs/ExitArtwork.h"

#include "ui/Twips.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace velmora {

namespace ExitArtwork {

namespace {

// A database drawn as a stack of discs, the picture clinics know from their
// backup programs.
void drawDatabase(QPainter& p, const QRectF& box, const QColor& body, const QColor& rim) {
    const qreal ellipse = box.height() / 4.5;
    const int discs = 3;
    const qreal step = (box.height() - ellipse) / discs;
    for (int i = discs - 1; i >= 0; --i) {
        const qreal top = box.top() + i * step;
        QPainterPath side;
        side.moveTo(box.left(), top + ellipse / 2);
        side.lineTo(box.left(), top + step + ellipse / 2);
        side.arcTo(QRectF(box.left(), top + step, box.width(), ellipse), 180, 180);
        side.lineTo(box.right(), top + ellipse / 2);
        side.closeSubpath();
        QLinearGradient shade(box.left(), 0, box.right(), 0);
        shade.setColorAt(0, body.darker(125));
        shade.setColorAt(0.45, body.lighter(125));
        shade.setColorAt(1, body.darker(140));
        p.setPen(QPen(rim, 1.2));
        p.setBrush(shade);
        p.drawPath(side);
        p.setBrush(body.lighter(150));
        p.drawEllipse(QRectF(box.left(), top, box.width(), ellipse));
    }
}

// A curved arrow: the copy leaving the database for a safe place.
void drawArrow(QPainter& p, const QPointF& from, const QPointF& to, const QColor& colour) {
    QPainterPath path;
    path.moveTo(from);
    path.quadTo(QPointF((from.x() + to.x()) / 2, from.y() - 26), to);
    p.setPen(QPen(colour, 4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    const QPointF tip = to;
    QPolygonF head;
    head << tip + QPointF(0, 7) << tip + QPointF(-9, -5) << tip + QPointF(7, -7);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(head);
}

} // namespace

QString caption(Button which) {
    return which == Button::Confirm ? QStringLiteral("خروج") : QStringLiteral("انصراف");
}

QPixmap background(const QSize& size) {
    QPixmap picture(size);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF all(QPointF(0, 0), QSizeF(size));

    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor(0x1d, 0x4e, 0x6b));
    sky.setColorAt(0.55, QColor(0x3f, 0x86, 0x9e));
    sky.setColorAt(1, QColor(0xd9, 0xec, 0xef));
    p.fillRect(all, sky);

    // Soft light behind the picture.
    QRadialGradient glow(QPointF(size.width() / 2.0, 44), size.width() / 2.2);
    glow.setColorAt(0, QColor(255, 255, 255, 110));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(all, glow);

    // Thin waves across the window.
    p.setPen(QPen(QColor(255, 255, 255, 45), 1.5));
    for (int i = 0; i < 4; ++i) {
        QPainterPath wave;
        const qreal y = 70 + i * 9;
        wave.moveTo(0, y);
        wave.cubicTo(size.width() * 0.3, y - 14, size.width() * 0.6, y + 14, size.width(), y);
        p.drawPath(wave);
    }

    const qreal centre = size.width() / 2.0;
    drawDatabase(p, QRectF(centre - 62, 16, 44, 58), QColor(0xe8, 0xb9, 0x4a),
                 QColor(0x6b, 0x4a, 0x10));
    drawDatabase(p, QRectF(centre + 24, 30, 34, 44), QColor(0x9f, 0xd8, 0xb0),
                 QColor(0x2d, 0x5e, 0x3a));
    drawArrow(p, QPointF(centre - 20, 30), QPointF(centre + 38, 26), QColor(255, 255, 255, 230));

    // The pale band the check box sits on, and the frame of the window.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawRoundedRect(QRectF(twips(900), twips(1740), twips(2940), twips(495)), 8, 8);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x12, 0x33, 0x47), 2));
    p.drawRect(all.adjusted(1, 1, -1, -1));
    return picture;
}

QPixmap button(Button which, bool highlighted, const QSize& size) {
    QPixmap picture(size);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    const bool confirm = which == Button::Confirm;
    QColor base = confirm ? QColor(0x2e, 0x8b, 0x57) : QColor(0x9a, 0x3b, 0x3b);
    if (highlighted)
        base = base.lighter(135);
    const QRectF face = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(1.5, 1.5, -1.5, -1.5);
    const qreal radius = size.height() / 2.6;

    QLinearGradient fill(0, face.top(), 0, face.bottom());
    fill.setColorAt(0, base.lighter(140));
    fill.setColorAt(0.5, base);
    fill.setColorAt(1, base.darker(130));
    p.setBrush(fill);
    p.setPen(
        QPen(highlighted ? QColor(0xff, 0xe0, 0x82) : base.darker(170), highlighted ? 2.5 : 1.2));
    p.drawRoundedRect(face, radius, radius);

    // A gloss on the upper half.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, highlighted ? 90 : 55));
    p.drawRoundedRect(
        QRectF(face.left() + 4, face.top() + 2, face.width() - 8, face.height() / 2.4),
        radius / 1.5, radius / 1.5);

    QFont font = formFont(11);
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 90));
    const QString text = caption(which);
    p.drawText(face.translated(1, 1), Qt::AlignCenter, text);
    p.setPen(Qt::white);
    p.drawText(face, Qt::AlignCenter, text);
    return picture;
}

QCursor pointer() {
    // A pointing arrow with a small green disc: "this picture is a button".
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    QPolygonF arrow;
    arrow << QPointF(1, 1) << QPointF(1, 21) << QPointF(6, 16) << QPointF(10, 25) << QPointF(13, 24)
          << QPointF(9, 15) << QPointF(16, 15);
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(Qt::white);
    p.drawPolygon(arrow);
    p.setBrush(QColor(0x2e, 0x8b, 0x57));
    p.setPen(QPen(Qt::white, 1.2));
    p.drawEllipse(QRectF(17, 17, 12, 12));
    return QCursor(picture, 1, 1);
}

} // namespace ExitArtwork

} // namespace velmora
