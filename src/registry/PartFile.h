#pragma once

#include <QByteArray>
#include <QString>

namespace velmora {

// A file written whole or not at all. The bytes go to a hidden part file beside
// the target (created exclusively, readable and writable by the owner only, as
// it holds people's data), through a buffer, so a million small writes cost a
// few hundred system calls. commit() puts the part file on the disk and renames
// it over the target; a failure, discard() or the destructor removes it, and a
// file already under the target's name stays as it was.
//
// Every failure is sticky: later calls fail with the same Persian message,
// which names the target and ends with the system's own description.
class PartFile {
public:
    explicit PartFile(const QString& path);
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    QString path() const { return m_path; }

    bool open(QString* error);
    bool write(const char* data, qint64 size, QString* error);
    bool commit(QString* error);
    void discard();

private:
    bool flush(QString* error);
    bool fail(int code, QString* error);
    void removePart();

    QString m_path;
    QString m_part;
    int m_fd = -1;
    QByteArray m_buffer;
    bool m_committed = false;
    QString m_failure;
};

} // namespace velmora
