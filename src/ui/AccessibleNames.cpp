#include "ui/AccessibleNames.h"

#include <QAccessibleWidget>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>

namespace velmora {

QString nameFromCaption(const QString& caption) {
    const auto between = [](QChar c) { return c.isSpace() || c == QLatin1Char(':'); };
    qsizetype first = 0;
    qsizetype last = caption.size();
    while (first < last && between(caption.at(first)))
        ++first;
    while (last > first && between(caption.at(last - 1)))
        --last;
    return caption.mid(first, last - first);
}

void nameField(QWidget* field, const QString& name) {
    field->setAccessibleName(name);
    if (auto* list = qobject_cast<QComboBox*>(field); list && list->lineEdit())
        list->lineEdit()->setAccessibleName(name);
}

namespace {

QAccessibleInterface* windowOfOurs(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget || !widget->isWindow() || qobject_cast<QDialog*>(widget) ||
        !className.startsWith(QLatin1String("velmora::")))
        return nullptr;
    return new QAccessibleWidget(widget, QAccessible::Window);
}

} // namespace

void presentWindowsAsWindows() {
    static const bool installed = [] {
        QAccessible::installFactory(windowOfOurs);
        return true;
    }();
    (void)installed;
}

void nameByCaption(QWidget* field, QLabel* caption) {
    nameField(field, nameFromCaption(caption->text()));
    caption->setBuddy(field);
}

} // namespace velmora
