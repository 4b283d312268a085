#include "ui/DataFailures.h"

#include "data/DataControl.h"
#include "platform/Platform.h"

#include <QPointer>
#include <QWidget>

namespace velmora {

void reportFailures(DataControl* control, QWidget* owner) {
    QObject::connect(control, &DataControl::failed, control,
                     [owner = QPointer<QWidget>(owner)](const QString& message) {
                         platform().messageBox(owner, errorTitle(), message, QMessageBox::Critical);
                     });
    QObject::connect(control, &DataControl::notice, control,
                     [owner = QPointer<QWidget>(owner)](const QString& message) {
                         platform().messageBox(owner, QStringLiteral("پيام"), message,
                                               QMessageBox::Information);
                     });
}

DataControl* makeDataControl(const QString& table, QWidget* owner, const QString& name) {
    auto* control = new DataControl(table, owner, name, DataControl::Opening::Later);
    reportFailures(control, owner);
    control->refresh();
    return control;
}

} // namespace velmora
