#pragma once

#include "files/OutputFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace velmora {

// A table written out as a CSV file that a spreadsheet opens as meant: UTF-8
// behind a byte-order mark (without it a spreadsheet reads the bytes in the
// local code page and Persian turns to rubbish), fields quoted as RFC 4180
// asks, every row ended by CRLF. A cell that a spreadsheet would run as a
// formula is turned into plain text first.
//
// The file is written through OutputFile, which streams into a pipe or the
// program's own output (/dev/stdout) and otherwise writes a hidden part file
// beside the final one, readable and writable by the owner only (it holds the
// subjects' names), that only commit() puts in place, in one rename. Until
// then a file already under the final name is untouched, and a failed or
// abandoned export leaves nothing behind. A folder, a device or a link to
// nothing is refused. Rows are handed on through a small buffer as they come,
// so memory stays the same for ten rows or a million.
//
// Every failure is sticky: the temporary file is removed at once, and each
// later call fails with the same message, a Persian text that names the file
// and ends with the system's own description.
class CsvFile {
public:
    // path is where the finished file goes; nothing is created before open().
    explicit CsvFile(const QString& path);
    // Discards the rows unless they were committed.
    ~CsvFile();
    CsvFile(const CsvFile&) = delete;
    CsvFile& operator=(const CsvFile&) = delete;

    QString path() const { return m_path; }

    // Checks path, creates the part file beside it (or opens the stream) and
    // starts it with the byte-order mark. Call once.
    bool open(QString* error);
    // Adds one row; a row without cells is an empty line.
    bool writeRow(const QStringList& cells, QString* error);
    // Puts every row on the disk and the file under its final name, replacing
    // whatever was there.
    bool commit(QString* error);
    // Drops the rows written so far (the export was cancelled): the temporary
    // file goes, a file under the final name stays as it was.
    void discard();

    // One cell as it is written between the commas: with an apostrophe in
    // front when it starts with = + - @, a tab or a carriage return (so a
    // spreadsheet shows it instead of running it), and in double quotes, the
    // quotes inside doubled, when it holds a comma, a quote or a line break.
    static QString cell(const QString& value);

private:
    enum class State { New, Writing, Committed, Discarded, Failed };

    bool usable(QString* error) const;
    // A call out of order (a row before open(), after commit() or discard())
    // is refused and changes nothing.
    bool misuse(QString* error) const;
    bool writeBuffer(QString* error);
    // Records the failure (the part file is gone already) and hands the
    // message on.
    bool fail(const QString& message, QString* error);

    QString m_path;
    OutputFile m_out;
    QByteArray m_buffer;
    State m_state = State::New;
    QString m_failure;
};

} // namespace velmora
