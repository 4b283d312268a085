#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace velmora {

// A CSV file written row by row: UTF-8 with a byte-order mark, RFC 4180
// quoting, cells that a spreadsheet would take for a formula made inert. The
// rows go to a hidden temporary file beside the target (readable by the owner
// only) that takes the target's name only when commit() succeeds; a file that
// is discarded, or never committed, leaves nothing behind.
class CsvFile {
public:
    explicit CsvFile(const QString& path);
    ~CsvFile();
    CsvFile(const CsvFile&) = delete;
    CsvFile& operator=(const CsvFile&) = delete;

    bool open(QString* error);
    bool writeRow(const QStringList& cells, QString* error);
    // Flushes the rows to the disk and renames the file into place.
    bool commit(QString* error);
    // Removes the temporary file.
    void discard();

private:
    bool flush(QString* error);

    QString m_path;
    QString m_temporary;
    int m_fd = -1;
    QByteArray m_buffer;
    bool m_committed = false;
};

} // namespace velmora
