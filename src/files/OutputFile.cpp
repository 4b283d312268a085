#include "files/OutputFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

// Owner read and write only, whatever the umask.
constexpr mode_t FileMode = S_IRUSR | S_IWUSR;

// The target's name is shortened to this many characters in its part file's
// name, so that a name near the system's length limit still leaves room for
// the additions.
constexpr int NameInPart = 60;

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

QString systemText(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

QString headedText(const QString& path, const QString& reason) {
    return QStringLiteral("فايل خروجي ساخته نشد:\n%1\n\n%2")
        .arg(QDir::toNativeSeparators(path), reason);
}

const QString& folderReason() {
    static const QString text = QStringLiteral("پوشه اي با همين نام در اين مسير هست.");
    return text;
}

// The part files this process is writing, for removePartsNow() in a signal
// handler: fixed storage and lock-free flags, nothing that allocates or locks.
// A slot is free (0), being filled (1) or names a live part file (2).
constexpr int LiveSlots = 32;
struct LiveSlot {
    std::atomic<int> state{0};
    char path[PATH_MAX];
};
LiveSlot s_live[LiveSlots];
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler reads these flags");

int registerPart(const QByteArray& path) {
    // Room for the longest journal suffix the handler adds.
    if (path.size() + 16 >= PATH_MAX)
        return -1;
    for (int i = 0; i < LiveSlots; ++i) {
        int expected = 0;
        if (s_live[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(s_live[i].path, path.constData(), size_t(path.size()) + 1);
            s_live[i].state.store(2);
            return i;
        }
    }
    return -1;
}

void unregisterPart(int slot) {
    if (slot >= 0)
        s_live[slot].state.store(0);
}

const char* const JournalSuffixes[] = {"-journal", "-wal", "-shm"};

void removeJournalsOf(const QString& part) {
    for (const char* suffix : JournalSuffixes)
        ::unlink(encoded(part + QLatin1String(suffix)).constData());
}

// The names a part file of ours has had: this version's, the earlier backup of
// a server's ("NAME.part-XXXXXXXX") and the earlier report's temporary PDF
// (".NAME.pdf.XXXXXX"); each with the journals the database engine keeps
// beside a database file.
const QRegularExpression& partName() {
    static const QRegularExpression name(QStringLiteral(
        "^(?:\\..+\\.[0-9a-f]{8}\\.part|.+\\.part-[0-9a-f]{8}|\\..+\\.pdf\\.[A-Za-z0-9]{6})"
        "(-journal|-wal|-shm)?$"));
    return name;
}

// True when path is a regular file of this user (a link never counts).
bool ownRegularFile(const QString& path) {
    struct stat st;
    return ::lstat(encoded(path).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           st.st_uid == ::geteuid();
}

// Removes the part file at path unless a live writer holds it; true when it
// is gone. The lock is held while the name goes, so no writer can take the
// file in between.
bool removeIfAbandoned(const QString& path) {
    if (!ownRegularFile(path))
        return false;
    const int fd =
        ::open(encoded(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    bool removed = false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        removed = ::unlink(encoded(path).constData()) == 0 || errno == ENOENT;
    ::close(fd);
    return removed;
}

// This process's own standard output or error named as a file: the number of
// that descriptor, else -1.
int ownOutput(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    for (const QString& name : {QStringLiteral("/dev/stdout"), QStringLiteral("/dev/fd/1"),
                                QStringLiteral("/proc/self/fd/1")})
        if (clean == name)
            return STDOUT_FILENO;
    for (const QString& name : {QStringLiteral("/dev/stderr"), QStringLiteral("/dev/fd/2"),
                                QStringLiteral("/proc/self/fd/2")})
        if (clean == name)
            return STDERR_FILENO;
    return -1;
}

// A write to a stream whose reader has gone fails with EPIPE instead of
// ending the whole program on SIGPIPE: the signal is held back for this thread
// while it writes, and one it raised is taken away again.
class PipeSignalHeld {
public:
    PipeSignalHeld() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
    }
    ~PipeSignalHeld() {
        if (m_raised && !m_wasPending) {
            const timespec none{0, 0};
            while (sigtimedwait(&m_pipe, nullptr, &none) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    PipeSignalHeld(const PipeSignalHeld&) = delete;
    PipeSignalHeld& operator=(const PipeSignalHeld&) = delete;
    void raised() { m_raised = true; }

private:
    sigset_t m_pipe;
    sigset_t m_old;
    bool m_wasPending = false;
    bool m_raised = false;
};

} // namespace

OutputFile::OutputFile(const QString& path, Streams streams)
    : m_path(path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath()), m_streams(streams) {}

OutputFile::~OutputFile() {
    discard();
}

QString OutputFile::reasonText(int code) {
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
        reason = folderReason();
        break;
    case EPIPE:
        reason = QStringLiteral("برنامه اي که از اين خروجي مي خواند پيش از پايان بسته شد.");
        break;
    default:
        break;
    }
    if (!reason.isEmpty())
        reason += QLatin1Char('\n');
    return reason + systemText(code);
}

QString OutputFile::failureText(const QString& path, int code) {
    return headedText(path, reasonText(code));
}

QString OutputFile::regularTarget(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        return QString();
    return info.isSymLink() ? info.canonicalFilePath() : info.absoluteFilePath();
}

bool OutputFile::isPartName(const QString& fileName) {
    return partName().match(fileName).hasMatch();
}

void OutputFile::removeLeftovers(const QString& folder) {
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    // Part files first, so that the journals of one that stays stay with it.
    QStringList removed;
    for (const QString& name : names) {
        const QRegularExpressionMatch match = partName().match(name);
        if (!match.hasMatch() || !match.captured(1).isEmpty())
            continue;
        if (removeIfAbandoned(dir.filePath(name)))
            removed.append(name);
    }
    for (const QString& name : names) {
        const QRegularExpressionMatch match = partName().match(name);
        if (!match.hasMatch() || match.captured(1).isEmpty())
            continue;
        const QString part = name.left(name.size() - match.captured(1).size());
        if ((removed.contains(part) || !names.contains(part)) && ownRegularFile(dir.filePath(name)))
            QFile::remove(dir.filePath(name));
    }
}

void OutputFile::removePartsNow() {
    for (LiveSlot& slot : s_live) {
        if (slot.state.load() != 2)
            continue;
        ::unlink(slot.path);
        const size_t length = std::strlen(slot.path);
        char journal[PATH_MAX];
        for (const char* suffix : JournalSuffixes) {
            const size_t extra = std::strlen(suffix);
            if (length + extra >= sizeof journal)
                continue;
            std::memcpy(journal, slot.path, length);
            std::memcpy(journal + length, suffix, extra + 1);
            ::unlink(journal);
        }
    }
}

bool OutputFile::open(QString* error) {
    if (!usable(error))
        return false;
    if (m_state != State::New || m_path.isEmpty()) {
        if (error)
            *error = failureText(m_path, EBADF);
        return false;
    }
    const int own = ownOutput(m_path);
    if (own >= 0) {
        if (m_streams == Streams::Refuse)
            return refuse(QStringLiteral("اين نام خروجي خود برنامه است، نه فايل. اين فايل پس از "
                                         "نوشتن دوباره خوانده و بررسي مي شود، پس فقط در فايل "
                                         "معمولي نوشته مي شود."),
                          error);
        const int fd = ::fcntl(own, F_DUPFD_CLOEXEC, 3);
        if (fd < 0)
            return fail(errno, error);
        return openStream(fd, true, error);
    }

    const QByteArray name = encoded(m_path);
    struct stat st;
    if (::lstat(name.constData(), &st) != 0) {
        if (errno != ENOENT)
            return fail(errno, error);
        // Nothing there yet: a missing folder is told when the part cannot be made.
        m_target = m_path;
        return createPart(error);
    }
    const bool link = S_ISLNK(st.st_mode);
    if (link && ::stat(name.constData(), &st) != 0) {
        if (errno == ENOENT || errno == ELOOP)
            return refuse(QStringLiteral("اين نام پيوندي است به فايلي که وجود ندارد."), error);
        return fail(errno, error);
    }
    if (S_ISDIR(st.st_mode))
        return refuse(folderReason(), error);
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return refuse(QStringLiteral("اين نام يک دستگاه است، نه فايل، و در آن نوشته نمي شود."),
                      error);
    if (S_ISFIFO(st.st_mode)) {
        if (m_streams == Streams::Refuse)
            return refuse(QStringLiteral("اين نام يک لوله (pipe) است، نه فايل. اين فايل پس از "
                                         "نوشتن دوباره خوانده و بررسي مي شود، پس فقط در فايل "
                                         "معمولي نوشته مي شود."),
                          error);
        // Opened without waiting, so that a pipe nobody reads cannot hold the
        // program for good; a reader that comes within the wait is met.
        QElapsedTimer waited;
        waited.start();
        int fd = -1;
        for (;;) {
            fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0)
                break;
            if (errno == EINTR)
                continue;
            if (errno != ENXIO)
                return fail(errno, error);
            if (waited.elapsed() >= ReaderWaitMs)
                return refuse(QStringLiteral("برنامه اي از اين لوله (pipe) نمي خواند."), error);
            ::usleep(20000);
        }
        return openStream(fd, false, error);
    }
    if (!S_ISREG(st.st_mode))
        return refuse(QStringLiteral("اين نام فايل معمولي نيست."), error);
    m_target = link ? QFileInfo(m_path).canonicalFilePath() : m_path;
    if (m_target.isEmpty())
        return fail(ENOENT, error);
    return createPart(error);
}

bool OutputFile::openStream(int fd, bool ownOutput, QString* error) {
    m_fd = fd;
    m_stream = true;
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return fail(errno, error);
    // The name may have been swapped between the look and the open: only a
    // pipe is taken from a name; this process's own output is taken as it is.
    if (!ownOutput && !S_ISFIFO(st.st_mode))
        return refuse(QStringLiteral("اين نام فايل معمولي نيست."), error);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0 && (flags & O_NONBLOCK) && !ownOutput)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    m_state = State::Writing;
    return true;
}

bool OutputFile::createPart(QString* error) {
    const QFileInfo target(m_target);
    const QString folder = target.absolutePath();
    // A part file that a killed writer left here goes now, unless a live
    // writer still holds it.
    removeLeftovers(folder);
    QString shortName = target.fileName().left(NameInPart);
    if (!shortName.isEmpty() && shortName.back().isHighSurrogate())
        shortName.chop(1);
    const QDir dir(folder);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate =
            dir.filePath(QStringLiteral(".%1.%2.part")
                             .arg(shortName)
                             .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        const QByteArray name = encoded(candidate);
        // A signal that ends the run between the creation and the record of
        // the part would leave it behind: they are held back meanwhile.
        sigset_t ending, before;
        sigemptyset(&ending);
        for (int signal : {SIGTERM, SIGINT, SIGHUP})
            sigaddset(&ending, signal);
        pthread_sigmask(SIG_BLOCK, &ending, &before);
        const int fd = ::open(name.constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, FileMode);
        const int code = errno;
        if (fd >= 0)
            m_slot = registerPart(name);
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
        if (fd < 0) {
            if (code == EEXIST)
                continue;
            return fail(code, error);
        }
        m_fd = fd;
        m_part = candidate;
        // Marks the part as being written for as long as it exists, so that
        // no clean-up of this or another run takes it.
        ::flock(fd, LOCK_EX | LOCK_NB);
        // The umask may have taken away the owner's own bits; set them outright.
        if (::fchmod(fd, FileMode) != 0)
            return fail(errno, error);
        m_state = State::Writing;
        return true;
    }
    return fail(EEXIST, error);
}

bool OutputFile::write(const char* data, qint64 size, QString* error) {
    if (!usable(error))
        return false;
    if (m_state != State::Writing) {
        if (error)
            *error = failureText(m_path, EBADF);
        return false;
    }
    std::unique_ptr<PipeSignalHeld> held;
    if (m_stream)
        held = std::make_unique<PipeSignalHeld>();
    // A write may take only part of what it is given (a disk filling up, a
    // pipe); the rest is written again, and the write that takes nothing says
    // why.
    while (size > 0) {
        const ssize_t put = ::write(m_fd, data, size_t(size));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            const int code = errno;
            if (code == EPIPE && held)
                held->raised();
            held.reset();
            return fail(code, error);
        }
        if (put == 0)
            return fail(ENOSPC, error);
        data += put;
        size -= put;
    }
    return true;
}

bool OutputFile::commit(QString* error) {
    if (!usable(error))
        return false;
    if (m_state != State::Writing) {
        if (error)
            *error = failureText(m_path, EBADF);
        return false;
    }
    if (m_stream) {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0 && errno != EINTR)
            return fail(errno, error);
        m_state = State::Committed;
        return true;
    }
    // On the disk before it takes the final name: a file that was reported
    // written must survive a power cut whole.
    if (::fsync(m_fd) != 0)
        return fail(errno, error);
    // The name may have been taken meanwhile; the rename must never put the
    // content in place of a folder, a device or a pipe.
    struct stat st;
    if (::lstat(encoded(m_target).constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return S_ISDIR(st.st_mode) ? fail(EISDIR, error)
                                   : refuse(QStringLiteral("اين نام فايل معمولي نيست."), error);
    if (std::rename(encoded(m_part).constData(), encoded(m_target).constData()) != 0)
        return fail(errno, error);
    unregisterPart(m_slot);
    m_slot = -1;
    m_part.clear();
    m_state = State::Committed;
    ::close(m_fd);
    m_fd = -1;
    // The rename itself lasts only once the folder is on the disk too; a
    // failure here loses nothing that is not already in place.
    const int folder = ::open(encoded(QFileInfo(m_target).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

void OutputFile::discard() {
    if (m_state != State::Writing)
        return;
    removePart();
    m_state = State::Discarded;
}

bool OutputFile::usable(QString* error) const {
    if (m_state != State::Failed)
        return true;
    if (error)
        *error = m_failure;
    return false;
}

bool OutputFile::refuse(const QString& reason, QString* error) {
    removePart();
    m_state = State::Failed;
    m_reason = reason;
    m_failure = headedText(m_path, reason);
    if (error)
        *error = m_failure;
    return false;
}

bool OutputFile::fail(int code, QString* error) {
    removePart();
    m_state = State::Failed;
    m_reason = reasonText(code);
    m_failure = headedText(m_path, m_reason);
    if (error)
        *error = m_failure;
    return false;
}

void OutputFile::removePart() {
    if (!m_part.isEmpty()) {
        ::unlink(encoded(m_part).constData());
        removeJournalsOf(m_part);
        m_part.clear();
    }
    unregisterPart(m_slot);
    m_slot = -1;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

PartHold::PartHold(const QString& path) {
    m_fd = ::open(encoded(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (m_fd >= 0)
        ::flock(m_fd, LOCK_EX | LOCK_NB);
}

PartHold::~PartHold() {
    if (m_fd >= 0)
        ::close(m_fd);
}

PrivateFolder::PrivateFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString base = !runtime.isEmpty() && QDir::isAbsolutePath(runtime) && isPrivate(runtime)
                             ? runtime
                             : QDir::tempPath();
    QByteArray name = encoded(QDir(base).filePath(QStringLiteral("velmora-XXXXXX")));
    if (::mkdtemp(name.data()) == nullptr) {
        m_error = systemText(errno);
        return;
    }
    const QString made = QFile::decodeName(name);
    // mkdtemp makes it 0700; the look afterwards is what is relied on.
    if (!isPrivate(made)) {
        ::rmdir(name.constData());
        m_error = systemText(EPERM);
        return;
    }
    m_path = made;
}

PrivateFolder::~PrivateFolder() {
    if (!m_path.isEmpty())
        QDir(m_path).removeRecursively();
}

QString PrivateFolder::filePath(const QString& name) const {
    return QDir(m_path).filePath(name);
}

bool PrivateFolder::isPrivate(const QString& folder) {
    struct stat st;
    return ::lstat(encoded(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

} // namespace velmora
