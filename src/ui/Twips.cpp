#include "ui/Twips.h"

#include <QWidget>

namespace velmora {

void place(QWidget* control, int left, int top, int width, int height) {
    control->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

void placeWindow(QWidget* window, int left, int top) {
    window->move(twips(left), twips(top));
}

void setClientSize(QWidget* window, int width, int height) {
    window->setFixedSize(twips(width), twips(height));
}

QFont formFont(double pointSize, bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("B Nazanin"), QStringLiteral("Nazli"),
                      QStringLiteral("Noto Naskh Arabic")});
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

} // namespace velmora
