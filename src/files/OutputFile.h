#pragma once

#include <QString>

namespace velmora {

// The one way Velmora writes a file: a CSV export, a backup, a report saved
// as PDF and every writer to come. One rule decides what a target may be and
// how it is replaced, so that no writer can turn a device into a file of
// patient rows or leave half a file under the operator's name.
//
// The target is looked at before anything is written:
// - A folder, a device (character or block: /dev/full, a disk, a node made
//   anywhere) and a link that leads nowhere are refused with a Persian message
//   that names the target. Nothing is created, anywhere.
// - A link to a regular file is written through: the link stays and the file
//   it leads to gets the content (its part file goes beside that file).
// - A stream is a pipe (FIFO, /dev/fd/N of a shell's process substitution) or
//   one of this process's own standard outputs named as /dev/stdout,
//   /dev/stderr, /dev/fd/1 or /dev/fd/2 (whatever they are: a pipe, a terminal,
//   a file the shell opened). A writer whose bytes are final as they are
//   written (the CSV export, the PDF) takes Streams::WriteThrough: the bytes
//   flow into the stream as they come, so `velmora --export-csv /dev/stdout |
//   gzip` works. A writer that must read back and check what it wrote before it
//   counts (a backup) takes Streams::Refuse, and a stream is refused. A pipe
//   that no program reads is refused after ReaderWaitMs rather than waited for
//   without end.
// - Anything else (no file under the name yet, or a regular file) is written
//   to a part file beside the target: hidden, named
//   ".NAME.XXXXXXXX.part" (NAME the target's name, shortened; XXXXXXXX eight
//   lower-case hex digits), created exclusively (O_EXCL, O_NOFOLLOW) with mode
//   0600 whatever the umask, and held by an flock for as long as it is being
//   written. commit() puts it on the disk (fsync), renames it over the target
//   and puts the rename on the disk too; until then a file under the target's
//   name is untouched. discard(), the destructor and every failure remove it.
//
// What a killed writer leaves is removed later: each OutputFile that opens in a
// folder first removes the part files of ours there that no live writer holds
// (removeLeftovers), the start of a run does so for the data folder, and a
// command that ends on a signal removes the parts it is writing through
// removePartsNow().
//
// Every failure is sticky: the part file is removed at once and each later
// call fails with the same message, a Persian text that names the target and
// ends with the system's own description where there is one.
class OutputFile {
public:
    enum class Streams { WriteThrough, Refuse };

    // A pipe without a reader is tried again for this long before it is refused.
    static constexpr int ReaderWaitMs = 5000;

    // path is where the finished file goes; nothing is looked at or created
    // before open(). A relative path is taken from the working directory.
    explicit OutputFile(const QString& path, Streams streams = Streams::Refuse);
    // Discards what was written unless it was committed.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The path as given, made absolute.
    QString path() const { return m_path; }
    // The file the content replaces (a link followed); empty before open() and
    // for a stream.
    QString target() const { return m_target; }
    // The part file being written; empty for a stream. For a writer that hands
    // the name to a library (the database engine of a backup); it stays held by
    // this object, so no clean-up takes it meanwhile.
    QString partPath() const { return m_part; }
    bool isStream() const { return m_stream; }
    // The descriptor open for writing (the part file or the stream), for a
    // writer that writes through a device of its own; -1 when not open.
    int handle() const { return m_fd; }

    // Checks the target and creates the part file (or opens the stream). Call
    // once.
    bool open(QString* error);
    // Writes all of data, going on after a short write.
    bool write(const char* data, qint64 size, QString* error);
    // Puts the content in place: the part file on the disk and under the
    // target's name, or the stream closed.
    bool commit(QString* error);
    // Drops what was written: the part file goes, a file under the target's
    // name stays as it was. (What already flowed into a stream is gone.)
    void discard();

    // Why the last call failed, without the lines that name the target: for
    // a writer whose own message names it already.
    QString failureReason() const { return m_reason; }

    // The message for a write to path that failed with the system's error
    // code: the file named, a Persian reason where one is known, and the
    // system's description.
    static QString failureText(const QString& path, int code);
    // The same without the lines that name the file.
    static QString reasonText(int code);

    // The file a write to path would replace, a link followed; empty when path
    // is not a regular file or a link to one (nothing there yet included).
    static QString regularTarget(const QString& path);

    // True for the name of a part file of ours, of this version or of an
    // earlier one, or of a journal the database engine keeps beside one.
    static bool isPartName(const QString& fileName);

    // Removes from folder the part files of ours (this user's) that no live
    // writer holds, with their journals. Quiet about what it cannot remove.
    static void removeLeftovers(const QString& folder);

    // Removes the part files this process is writing, with their journals.
    // Safe in a signal handler (nothing but unlink); for a command that ends
    // on a signal.
    static void removePartsNow();

private:
    enum class State { New, Writing, Committed, Discarded, Failed };

    bool refuse(const QString& reason, QString* error);
    bool fail(int code, QString* error);
    bool usable(QString* error) const;
    bool openStream(int fd, bool ownOutput, QString* error);
    bool createPart(QString* error);
    void removePart();

    QString m_path;
    Streams m_streams;
    QString m_target;
    QString m_part;
    int m_fd = -1;
    int m_slot = -1;
    bool m_stream = false;
    State m_state = State::New;
    QString m_failure;
    QString m_reason;
};

// Marks a finished file that bears a part file's name (a copy staged for a
// restore) as in use for as long as this object lives, as a live writer marks
// its part file, so that no clean-up of this or another run removes it
// meanwhile. Nothing happens when path cannot be opened.
class PartHold {
public:
    explicit PartHold(const QString& path);
    ~PartHold();
    PartHold(const PartHold&) = delete;
    PartHold& operator=(const PartHold&) = delete;

private:
    int m_fd = -1;
};

// A fresh folder only this user can enter (mode 0700, its owner checked), for
// a file that a library writes by name and nobody else may swap meanwhile
// (the printer's PDF). It is made in the user's runtime folder when that is
// private, else in the temporary folder, and removed with what it holds.
class PrivateFolder {
public:
    PrivateFolder();
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    bool isValid() const { return !m_path.isEmpty(); }
    // Empty when no such folder could be made; errorString() says why.
    QString path() const { return m_path; }
    QString filePath(const QString& name) const;
    QString errorString() const { return m_error; }

    // True when folder is a folder (not a link) of this user that nobody else
    // may enter or write (no group or other bits).
    static bool isPrivate(const QString& folder);

private:
    QString m_path;
    QString m_error;
};

} // namespace velmora
