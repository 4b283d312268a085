#include "data/ResearchKeyFile.h"

#include "files/OutputFile.h"

#include <QDir>
#include <QFile>

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

// Written as every file is; the data folder's lock keeps a second program
// out of the folder, so nobody else makes a key between the look for one and
// this write.
QString make(const QString& path, const QByteArray& text) {
    OutputFile file(path);
    QString error;
    if (!file.open(&error) || !file.write(text.constData(), qint64(text.size()), &error) ||
        !file.commit(&error))
        return error;
    return QString();
}

} // namespace velmora::ResearchKeyFile
