#include "backup/SealedBackup.h"

#include "backup/BackupFiles.h"
#include "files/OutputFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace SealedBackup {

namespace {

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

QString described(const QString& sentence, const QString& system) {
    return system.isEmpty() ? sentence : sentence + QStringLiteral(": ") + system;
}

QString randomHex() {
    return QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16,
                                    QLatin1Char('0'));
}

// A new file at a free hidden name in folder, "." + stem + 8 hex digits +
// ".part" (the name the clean-up of left-over copies knows), readable and
// writable by its owner only, locked for as long as fd stays open.
int createHidden(const QString& folder, const QString& stem, QString* path, QString* why) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate =
            QDir(folder).filePath(QStringLiteral(".%1.%2.part").arg(stem, randomHex()));
        const int fd = ::open(QFile::encodeName(candidate).constData(),
                              O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            // The umask may have taken more; and the lock tells a clean-up
            // that this file is in use.
            ::fchmod(fd, 0600);
            ::flock(fd, LOCK_EX | LOCK_NB);
            *path = candidate;
            return fd;
        }
        if (errno != EEXIST) {
            *why = described(QStringLiteral("فايل موقت ساخته نشد"), systemError(errno));
            return -1;
        }
    }
    *why = QStringLiteral("فايل موقت ساخته نشد.");
    return -1;
}

// A plain file opened for reading, without waiting on a pipe; -1 with a
// description for anything else.
int openPlainFile(const QString& path, QString* why) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        *why = described(QStringLiteral("فايل باز نشد"), systemError(errno));
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *why = QStringLiteral("فايل معمولي نيست.");
        return -1;
    }
    ::fcntl(fd, F_SETFL, 0);
    return fd;
}

class FdGuard {
public:
    explicit FdGuard(int fd) : m_fd(fd) {}
    ~FdGuard() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

bool readFully(int fd, char* into, qsizetype size) {
    for (qsizetype got = 0; got < size;) {
        const ssize_t n = ::read(fd, into + got, size_t(size - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += n;
    }
    return true;
}

} // namespace

QString sealedEnding() {
    return QStringLiteral(".age");
}

bool hasSealedName(const QString& path) {
    return path.endsWith(sealedEnding(), Qt::CaseInsensitive);
}

QString sealedName(const QString& path) {
    return hasSealedName(path) ? path : path + sealedEnding();
}

QString plainName(const QString& path) {
    return hasSealedName(path) ? path.left(path.size() - sealedEnding().size()) : path;
}

QString sealedDialogFilter() {
    return QStringLiteral("Sealed Database Backup (*.mdbB.age)");
}

QString restoreDialogFilter() {
    return QStringLiteral("Database Backup (*.mdbB *.mdbB.age);;Sealed Database Backup "
                          "(*.mdbB.age);;All files (*)");
}

Content lookAt(const QString& path) {
    QString ignored;
    const int fd = openPlainFile(path, &ignored);
    if (fd < 0)
        return Content::Unreadable;
    FdGuard guard(fd);
    char head[34] = {};
    const ssize_t n = ::read(fd, head, sizeof head);
    if (n < 0)
        return Content::Unreadable;
    const QByteArray bytes(head, n);
    if (bytes.startsWith("age-encryption.org/v1\n") ||
        bytes.startsWith("-----BEGIN AGE ENCRYPTED FILE-----"))
        return Content::Sealed;
    if (bytes.startsWith(QByteArray("SQLite format 3\0", 16)))
        return Content::SubjectFile;
    return Content::Other;
}

QString plainNamedSealedText() {
    return QStringLiteral("نام اين فايل نام نسخه پشتيبان رمزگذاري شده است، اما فايل رمزگذاري نشده "
                          "است؛ بازيابي نشد.");
}

// ---------------------------------------------------------- PrivateStage --

PrivateStage::PrivateStage(const QString& label) : m_label(label) {}

PrivateStage::~PrivateStage() {
    if (!m_path.isEmpty())
        ::unlink(QFile::encodeName(m_path).constData());
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PrivateStage::create(QString* why) {
    const QString folder = QFileInfo(BackupFiles::subjectDatabase()).absolutePath();
    if (!QDir(folder).exists()) {
        *why = QStringLiteral("پوشه داده ها در دسترس نيست.");
        return false;
    }
    m_fd = createHidden(folder, m_label, &m_path, why);
    return m_fd >= 0;
}

bool PrivateStage::hold() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (m_fd < 0)
        return false;
    ::flock(m_fd, LOCK_EX | LOCK_NB);
    return true;
}

// -------------------------------------------------------------- writing --

bool writeOutputFile(const QString& target, const Fill& fill, const Check& check, QString* why) {
    // A backup is read back before it counts: a stream is refused.
    OutputFile out(target, OutputFile::Streams::Refuse);
    if (!out.open(why))
        return false;
    if (!fill(out.handle(), why) || (check && !check(out.partPath(), why))) {
        out.discard();
        return false;
    }
    return out.commit(why);
}

// -------------------------------------------------------------- sealing --

bool sealCheckedBackup(const QString& plain, const QString& destination, const QString& recipient,
                       QString* why) {
    const QString missing = AgeTool::missingTools();
    if (!missing.isEmpty()) {
        *why = missing;
        return false;
    }
    if (!recipient.startsWith(QLatin1String("age1"))) {
        *why = QStringLiteral("کليد مرکز ساخته نشده است.");
        return false;
    }
    const FdGuard in(openPlainFile(plain, why));
    if (in.get() < 0)
        return false;
    struct stat st;
    ::fstat(in.get(), &st);
    const qint64 size = st.st_size;
    // The key the file is opened again with, for this backup alone.
    Secret checkIdentity;
    QString checkRecipient;
    if (!AgeTool::generate(&checkIdentity, &checkRecipient, why))
        return false;
    const int timeout = AgeTool::fileTimeoutMs(size);
    const auto fill = [&](int out, QString* reason) {
        ::lseek(in.get(), 0, SEEK_SET);
        return AgeTool::encrypt(in.get(), out, {recipient, checkRecipient}, timeout, reason);
    };
    const auto reopen = [&](const QString& part, QString* reason) {
        const FdGuard sealed(openPlainFile(part, reason));
        if (sealed.get() < 0)
            return false;
        ::lseek(in.get(), 0, SEEK_SET);
        qint64 compared = 0;
        QByteArray expected;
        const AgeTool::Sink sameBytes = [&](const char* data, qsizetype n, QString* r) {
            expected.resize(n);
            if (compared + n > size || !readFully(in.get(), expected.data(), n) ||
                std::memcmp(expected.constData(), data, size_t(n)) != 0) {
                *r = QStringLiteral("نسخه رمزگذاري شده پس از باز شدن دوباره با نسخه سالم يکي نبود "
                                    "و کنار گذاشته شد.");
                return false;
            }
            compared += n;
            return true;
        };
        AgeTool::Failure failure = AgeTool::Failure::None;
        if (!AgeTool::decrypt(sealed.get(), -1, sameBytes, checkIdentity, timeout, &failure,
                              reason))
            return false;
        if (compared != size) {
            *reason = QStringLiteral("نسخه رمزگذاري شده پس از باز شدن دوباره کامل نبود و کنار "
                                     "گذاشته شد.");
            return false;
        }
        return true;
    };
    return writeOutputFile(destination, fill, reopen, why);
}

bool unseal(const QString& sealed, const Secret& identity, const QString& stagePath,
            AgeTool::Failure* failure, QString* why) {
    *failure = AgeTool::Failure::Other;
    const QString missing = AgeTool::missingTools();
    if (!missing.isEmpty()) {
        *failure = AgeTool::Failure::Missing;
        *why = missing;
        return false;
    }
    const FdGuard in(openPlainFile(sealed, why));
    if (in.get() < 0)
        return false;
    struct stat st;
    ::fstat(in.get(), &st);
    const FdGuard out(::open(QFile::encodeName(stagePath).constData(),
                             O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW));
    if (out.get() < 0) {
        *why = described(QStringLiteral("فايل موقت باز نشد"), systemError(errno));
        return false;
    }
    return AgeTool::decrypt(in.get(), out.get(), {}, identity, AgeTool::fileTimeoutMs(st.st_size),
                            failure, why);
}

} // namespace SealedBackup

} // namespace velmora
