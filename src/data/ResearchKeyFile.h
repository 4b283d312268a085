#pragma once

#include <QByteArray>
#include <QString>

namespace velmora {

// The file that keeps the clinic's research key beside the subject file
// (research.key in the data folder): one line of text, the owner's alone.
namespace ResearchKeyFile {

// The file, as an absolute path.
QString path();

// Reads the file into text; returns 0, ENOENT when there is none, or the
// system's error code. A file others may read is made the owner's alone,
// whatever a copy or an editor left it with.
int read(const QString& path, QByteArray* text);

// Writes text as the file, whole or not at all; empty, or a Persian message
// naming the file.
QString make(const QString& path, const QByteArray& text);

// Clears bytes before they are let go.
void wipe(QByteArray* bytes);

} // namespace ResearchKeyFile

} // namespace velmora
