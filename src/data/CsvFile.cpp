#include "data/CsvFile.h"
#include "data/DirectionalText.h"

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

// Rows gather in memory up to this size before they go to the disk: large
// enough that a million rows take a few hundred system calls, small enough
// that memory does not notice the export.
constexpr int BufferBytes = 64 * 1024;

// Owner read and write only, whatever the umask.
constexpr mode_t FileMode = S_IRUSR | S_IWUSR;

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
        .arg(isolatedPath(path), reason, QString::fromLocal8Bit(std::strerror(code)));
}

// Writes all of data, going on after a short write until the system refuses
// with a reason (a full disk reports a short write first, and the reason only
// on the next attempt). Returns 0 or the system's error code.
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

bool needsQuotes(const QString& text) {
    for (const QChar c : text)
        if (c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\r') ||
            c == QLatin1Char('\n'))
            return true;
    return false;
}

// The first characters with which a spreadsheet starts a formula, or (tab,
// carriage return) which it skips to find one behind them.
bool startsFormula(const QString& text) {
    if (text.isEmpty())
        return false;
    switch (text.front().unicode()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
        return true;
    default:
        return false;
    }
}

} // namespace

CsvFile::CsvFile(const QString& path) : m_path(QFileInfo(path).absoluteFilePath()) {}

CsvFile::~CsvFile() {
    discard();
}

QString CsvFile::cell(const QString& value) {
    QString text = value;
    if (startsFormula(text))
        text.prepend(QLatin1Char('\''));
    if (!needsQuotes(text))
        return text;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

bool CsvFile::open(QString* error) {
    if (!usable(error))
        return false;
    if (m_state != State::New)
        return misuse(error);
    const QFileInfo target(m_path);
    // Found now rather than at the rename, after the whole export was written.
    if (target.isDir())
        return fail(EISDIR, error);
    // Beside the final file, so that the rename stays on one file system and
    // is atomic; hidden, so nobody opens it half written. The final name is
    // shortened in it, so that a name near the system's length limit still
    // leaves room for the additions.
    const QDir folder(target.absolutePath());
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        const QString name =
            QStringLiteral(".%1.%2.part")
                .arg(target.fileName().left(60))
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        const QString candidate = folder.filePath(name);
        const int fd = ::open(encoded(candidate).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, FileMode);
        if (fd >= 0) {
            m_fd = fd;
            m_temporary = candidate;
        } else if (errno != EEXIST) {
            return fail(errno, error);
        }
    }
    if (m_fd < 0)
        return fail(EEXIST, error);
    // The umask may have taken away the owner's own bits; set them outright.
    if (::fchmod(m_fd, FileMode) != 0)
        return fail(errno, error);
    m_state = State::Writing;
    m_buffer.reserve(BufferBytes + BufferBytes / 4);
    m_buffer.append("\xEF\xBB\xBF");
    return true;
}

bool CsvFile::writeRow(const QStringList& cells, QString* error) {
    if (!usable(error))
        return false;
    if (m_state != State::Writing)
        return misuse(error);
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            m_buffer.append(',');
        m_buffer.append(cell(cells.at(i)).toUtf8());
    }
    m_buffer.append("\r\n");
    return m_buffer.size() < BufferBytes || writeBuffer(error);
}

bool CsvFile::commit(QString* error) {
    if (!usable(error))
        return false;
    if (m_state != State::Writing)
        return misuse(error);
    if (!writeBuffer(error))
        return false;
    // On the disk before it takes the final name: a file that was reported
    // written must survive a power cut whole.
    if (::fsync(m_fd) != 0)
        return fail(errno, error);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return fail(errno, error);
    if (std::rename(encoded(m_temporary).constData(), encoded(m_path).constData()) != 0)
        return fail(errno, error);
    m_state = State::Committed;
    m_temporary.clear();
    m_buffer = QByteArray();
    // The rename itself lasts only once the folder is on the disk too; a
    // failure here loses nothing that is not already in place.
    const int folder = ::open(encoded(QFileInfo(m_path).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

void CsvFile::discard() {
    if (m_state != State::Writing)
        return;
    removeTemporary();
    m_state = State::Discarded;
}

bool CsvFile::usable(QString* error) const {
    if (m_state != State::Failed)
        return true;
    if (error)
        *error = m_failure;
    return false;
}

bool CsvFile::misuse(QString* error) const {
    if (error)
        *error = failureText(m_path, EBADF);
    return false;
}

bool CsvFile::writeBuffer(QString* error) {
    const int code = writeAll(m_fd, m_buffer.constData(), m_buffer.size());
    if (code != 0)
        return fail(code, error);
    // Keeps the buffer's memory for the next rows.
    m_buffer.resize(0);
    return true;
}

bool CsvFile::fail(int code, QString* error) {
    removeTemporary();
    m_state = State::Failed;
    m_failure = failureText(m_path, code);
    if (error)
        *error = m_failure;
    return false;
}

void CsvFile::removeTemporary() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.isEmpty()) {
        ::unlink(encoded(m_temporary).constData());
        m_temporary.clear();
    }
    m_buffer = QByteArray();
}

} // namespace velmora
