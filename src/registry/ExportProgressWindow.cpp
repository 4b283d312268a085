#include "registry/ExportProgressWindow.h"

#include "platform/Platform.h"

#include <QCoreApplication>
#include <algorithm>
#include <climits>

namespace velmora {

ExportProgressWindow::ExportProgressWindow(const QString& label, const QString& objectName,
                                           QWidget* owner)
    : m_dialog(label, QStringLiteral("انصراف"), 0, 0, owner) {
    m_dialog.setObjectName(objectName);
    m_dialog.setWindowTitle(applicationTitle());
    m_dialog.setWindowModality(Qt::WindowModal);
    m_dialog.setAutoClose(false);
    m_dialog.setAutoReset(false);
    m_dialog.setMinimumDuration(500);
}

ExportProgress ExportProgressWindow::step() {
    return [this](qint64 done, qint64 total) {
        if (done == 0 && total > LongExport)
            m_dialog.show();
        m_dialog.setMaximum(int(std::min<qint64>(total, INT_MAX)));
        m_dialog.setValue(int(std::min<qint64>(done, INT_MAX)));
        QCoreApplication::processEvents(m_dialog.isVisible() ? QEventLoop::AllEvents
                                                             : QEventLoop::ExcludeUserInputEvents);
        return !m_dialog.wasCanceled();
    };
}

} // namespace velmora
