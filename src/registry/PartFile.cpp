#include "registry/PartFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

// Large enough that a million rows take a few hundred system calls.
constexpr int BufferBytes = 256 * 1024;

constexpr mode_t OwnerOnly = S_IRUSR | S_IWUSR;

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

QString failureText(const QString& path, int code) {
    QString reason;
    switch (code) {
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        reason = QStringLiteral("ديسک پر است.");
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        reason = QStringLiteral("اجازه نوشتن در اين پوشه نيست.");
        break;
    case ENOENT:
    case ENOTDIR:
        reason = QStringLiteral("اين پوشه وجود ندارد.");
        break;
    case EISDIR:
        reason = QStringLiteral("پوشه اي با همين نام در اين مسير هست.");
        break;
    default:
        break;
    }
    if (!reason.isEmpty())
        reason += QLatin1Char('\n');
    return QStringLiteral("فايل خروجي ساخته نشد:\n%1\n\n%2%3")
        .arg(QDir::toNativeSeparators(path), reason, QString::fromLocal8Bit(std::strerror(code)));
}

// Goes on after a short write until the system gives a reason (a full disk
// first writes short and says why only on the next attempt).
int writeAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, data, static_cast<size_t>(size));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (put == 0)
            return ENOSPC;
        data += put;
        size -= put;
    }
    return 0;
}

} // namespace

PartFile::PartFile(const QString& path) : m_path(QFileInfo(path).absoluteFilePath()) {}

PartFile::~PartFile() {
    discard();
}

bool PartFile::open(QString* error) {
    if (!m_failure.isEmpty() || m_fd >= 0 || m_committed)
        return fail(EBADF, error);
    const QFileInfo target(m_path);
    // Found now rather than at the rename, after the whole file was written.
    if (target.isDir())
        return fail(EISDIR, error);
    // Beside the target, so the rename stays on one file system; hidden, so
    // nobody opens it half written; the target's name shortened in it, so a
    // name near the length limit leaves room for the additions.
    const QDir folder(target.absolutePath());
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        const QString candidate = folder.filePath(
            QStringLiteral(".%1.%2.part")
                .arg(target.fileName().left(60))
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        const int fd = ::open(encoded(candidate).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, OwnerOnly);
        if (fd >= 0) {
            m_fd = fd;
            m_part = candidate;
        } else if (errno != EEXIST) {
            return fail(errno, error);
        }
    }
    if (m_fd < 0)
        return fail(EEXIST, error);
    // The umask may have taken the owner's own bits away.
    if (::fchmod(m_fd, OwnerOnly) != 0)
        return fail(errno, error);
    m_buffer.reserve(BufferBytes);
    return true;
}

bool PartFile::write(const char* data, qint64 size, QString* error) {
    if (!m_failure.isEmpty() || m_fd < 0)
        return fail(EBADF, error);
    if (m_buffer.size() + size > BufferBytes && !flush(error))
        return false;
    if (size >= BufferBytes) {
        const int code = writeAll(m_fd, data, size);
        return code == 0 || fail(code, error);
    }
    m_buffer.append(data, size);
    return true;
}

bool PartFile::commit(QString* error) {
    if (!m_failure.isEmpty() || m_fd < 0)
        return fail(EBADF, error);
    if (!flush(error))
        return false;
    // On the disk before it takes the target's name: a file reported written
    // survives a power cut whole.
    if (::fsync(m_fd) != 0)
        return fail(errno, error);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return fail(errno, error);
    if (std::rename(encoded(m_part).constData(), encoded(m_path).constData()) != 0)
        return fail(errno, error);
    m_part.clear();
    m_committed = true;
    m_buffer = QByteArray();
    // The rename lasts once the folder is on the disk too; failing here loses
    // nothing that is not in place already.
    const int folder = ::open(encoded(QFileInfo(m_path).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

void PartFile::discard() {
    removePart();
}

bool PartFile::flush(QString* error) {
    const int code = writeAll(m_fd, m_buffer.constData(), m_buffer.size());
    if (code != 0)
        return fail(code, error);
    m_buffer.resize(0);
    return true;
}

bool PartFile::fail(int code, QString* error) {
    removePart();
    if (m_failure.isEmpty())
        m_failure = failureText(m_path, code);
    if (error)
        *error = m_failure;
    return false;
}

void PartFile::removePart() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_part.isEmpty()) {
        ::unlink(encoded(m_part).constData());
        m_part.clear();
    }
    m_buffer = QByteArray();
}

} // namespace velmora
