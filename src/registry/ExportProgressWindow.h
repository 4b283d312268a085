#pragma once

#include "registry/SubjectExport.h"

#include <QProgressDialog>
#include <QString>

class QWidget;

namespace velmora {

// The progress window of an export from the code lookup: it appears only
// for a long export, keeps its owner repainting, and lets the operator
// cancel. Until it stands over its owner, nothing the operator does may start
// a second export (or a search) in the middle of this one.
class ExportProgressWindow {
public:
    ExportProgressWindow(const QString& label, const QString& objectName, QWidget* owner);
    // The step the export calls; false once the operator cancelled.
    ExportProgress step();
    void close() { m_dialog.close(); }

private:
    // Below this many subjects an export ends before a window would help.
    static constexpr qint64 LongExport = 5000;
    QProgressDialog m_dialog;
};

} // namespace velmora
