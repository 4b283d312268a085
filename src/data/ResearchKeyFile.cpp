#include "data/ResearchKeyFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::ResearchKeyFile {

namespace {

constexpr mode_t OwnerOnly = S_IRUSR | S_IWUSR;

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

} // namespace

QString path() {
    return QDir::current().absoluteFilePath(QStringLiteral("research.key"));
}

void wipe(QByteArray* bytes) {
    if (!bytes->isEmpty())
        explicit_bzero(bytes->data(), size_t(bytes->size()));
    bytes->clear();
}

int read(const QString& path, QByteArray* text) {
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return errno;
    struct stat st;
    if (::fstat(fd, &st) == 0 && (st.st_mode & 077) != 0)
        ::fchmod(fd, OwnerOnly);
    char buffer[256];
    ssize_t got;
    do {
        got = ::read(fd, buffer, sizeof buffer);
    } while (got < 0 && errno == EINTR);
    const int code = got < 0 ? errno : 0;
    ::close(fd);
    if (got > 0)
        *text = QByteArray(buffer, int(got));
    explicit_bzero(buffer, sizeof buffer);
    return code;
}

// The new key goes to a part file that is linked to the final name, which
// fails when the name is taken: a key once there is never replaced.
int make(const QString& path, const QByteArray& text) {
    const QFileInfo target(path);
    const QString part = target.dir().filePath(
        QStringLiteral(".%1.%2.part")
            .arg(target.fileName())
            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    const int fd =
        ::open(encoded(part).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, OwnerOnly);
    if (fd < 0)
        return errno;
    int code = 0;
    if (::fchmod(fd, OwnerOnly) != 0) {
        code = errno;
    } else {
        const ssize_t put = ::write(fd, text.constData(), size_t(text.size()));
        if (put != ssize_t(text.size()))
            code = put < 0 ? errno : ENOSPC;
    }
    if (code == 0 && ::fsync(fd) != 0)
        code = errno;
    if (::close(fd) != 0 && code == 0)
        code = errno;
    if (code == 0 && ::link(encoded(part).constData(), encoded(path).constData()) != 0 &&
        errno != EEXIST)
        code = errno;
    ::unlink(encoded(part).constData());
    if (code == 0) {
        const int folder =
            ::open(encoded(target.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
    }
    return code;
}

} // namespace velmora::ResearchKeyFile
