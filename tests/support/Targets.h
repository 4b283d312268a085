#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace velmora {

// The places a writer may be pointed at that are not a plain new file, for a
// table of cases that every writer of the program runs through:
//   "device"          a character device node made in the folder (the numbers
//                     of /dev/full), as anybody with the right could make one
//   "/dev/full"       the machine's own, which must never become a file
//   "pipe"            a named pipe (FIFO)
//   "folder"          a folder
//   "dangling link"   a link to a name with nothing under it
//   "link to a file"  a link to a regular file in a folder of its own
// Returns the path to write to; empty when this machine does not let the test
// make that kind (a device node needs the right to make one).
inline QString makeTarget(const QString& kind, const QString& folder, const QString& name) {
    const QString path = QDir(folder).filePath(name);
    const QByteArray raw = QFile::encodeName(path);
    if (kind == QLatin1String("device"))
        return ::mknod(raw.constData(), S_IFCHR | 0600, makedev(1, 7)) == 0 ? path : QString();
    if (kind == QLatin1String("/dev/full"))
        return QStringLiteral("/dev/full");
    if (kind == QLatin1String("pipe"))
        return ::mkfifo(raw.constData(), 0600) == 0 ? path : QString();
    if (kind == QLatin1String("folder"))
        return QDir().mkpath(path) ? path : QString();
    if (kind == QLatin1String("dangling link"))
        return QFile::link(QDir(folder).filePath(QStringLiteral("gone")), path) ? path : QString();
    if (kind == QLatin1String("link to a file")) {
        const QString kept = QDir(folder).filePath(QStringLiteral("kept/") + name);
        QDir().mkpath(QFileInfo(kept).absolutePath());
        QFile file(kept);
        if (!file.open(QIODevice::WriteOnly) || file.write("the file before") != 15)
            return QString();
        file.close();
        return QFile::link(kept, path) ? path : QString();
    }
    return QString();
}

// The file a "link to a file" target leads to.
inline QString linkedFile(const QString& link) {
    return QFileInfo(link).symLinkTarget();
}

// What a target is now, as lstat sees it: "device", "pipe", "folder", "link",
// "file" or "missing".
inline QString targetKind(const QString& path) {
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("missing");
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return QStringLiteral("device");
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("pipe");
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("folder");
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("link");
    return QStringLiteral("file");
}

// What the target kinds of makeTarget are before anything is written.
inline QString kindBefore(const QString& kind) {
    if (kind == QLatin1String("device") || kind == QLatin1String("/dev/full"))
        return QStringLiteral("device");
    if (kind == QLatin1String("pipe") || kind == QLatin1String("folder"))
        return kind;
    return QStringLiteral("link");
}

// Reads a named pipe to its end on a thread of its own, as the program at the
// other end of a pipe would.
class PipeReader {
public:
    explicit PipeReader(const QString& pipe) : m_name(QFile::encodeName(pipe)) {
        m_thread = std::thread([this, name = m_name] {
            const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                return;
            char buffer[65536];
            for (;;) {
                const ssize_t got = ::read(fd, buffer, sizeof buffer);
                if (got <= 0)
                    break;
                m_bytes.append(buffer, got);
            }
            ::close(fd);
        });
    }
    ~PipeReader() { finish(); }
    PipeReader(const PipeReader&) = delete;
    PipeReader& operator=(const PipeReader&) = delete;
    // Waits for the writer to close the pipe; what was read. A writer that
    // never came is stood in for by an empty one, so the wait ends.
    QByteArray finish() {
        if (!m_thread.joinable())
            return m_bytes;
        const int fd = ::open(m_name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
        m_thread.join();
        return m_bytes;
    }

private:
    QByteArray m_name;
    std::thread m_thread;
    QByteArray m_bytes;
};

} // namespace velmora
