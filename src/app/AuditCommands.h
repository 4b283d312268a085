#pragma once

#include <QString>

class QTextStream;

namespace velmora {

// --verify-audit: checks the whole trail and its anchors. Status 0 and one
// line on out when it is intact; status 1 and the first entry that fails on
// err otherwise.
int verifyAuditCommand(QTextStream& out, QTextStream& err);

// --export-audit FILE: the whole trail, oldest first, as CSV. Status 0 and
// nothing said on success; 1 and a message on err otherwise.
int exportAuditCommand(const QString& file, QTextStream& err);

} // namespace velmora
