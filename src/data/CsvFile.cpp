#include "data/CsvFile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr int BufferSize = 1 << 16;

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

bool fail(QString* error, const QString& why) {
    if (error)
        *error = why;
    return false;
}

// A spreadsheet runs a cell that starts with one of these as a formula.
bool startsLikeFormula(const QString& cell) {
    if (cell.isEmpty())
        return false;
    const QChar c = cell.at(0);
    return c == QLatin1Char('=') || c == QLatin1Char('+') || c == QLatin1Char('-') ||
           c == QLatin1Char('@') || c == QLatin1Char('\t') || c == QLatin1Char('\r');
}

bool needsQuotes(const QString& cell) {
    for (const QChar c : cell)
        if (c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\n') ||
            c == QLatin1Char('\r'))
            return true;
    return false;
}

void appendCell(QByteArray& out, const QString& text) {
    const bool quoted = needsQuotes(text);
    if (quoted)
        out += '"';
    if (startsLikeFormula(text))
        out += '\'';
    if (quoted) {
        QString doubled = text;
        doubled.replace(QLatin1Char('"'), QLatin1String("\"\""));
        out += doubled.toUtf8();
        out += '"';
    } else {
        out += text.toUtf8();
    }
}

} // namespace

CsvFile::CsvFile(const QString& path) : m_path(QFileInfo(path).absoluteFilePath()) {}

CsvFile::~CsvFile() {
    if (!m_committed)
        discard();
}

bool CsvFile::open(QString* error) {
    discard();
    const QFileInfo target(m_path);
    QByteArray name =
        QFile::encodeName(target.absolutePath() + QStringLiteral("/.") + target.fileName()) +
        ".XXXXXX";
    m_fd = mkstemp(name.data());
    if (m_fd < 0)
        return fail(error, systemError(errno));
    m_temporary = QFile::decodeName(name);
    if (fchmod(m_fd, S_IRUSR | S_IWUSR) != 0) {
        const int code = errno;
        discard();
        return fail(error, systemError(code));
    }
    m_committed = false;
    m_buffer.reserve(BufferSize * 2);
    m_buffer = QByteArray("\xEF\xBB\xBF");
    return true;
}

bool CsvFile::writeRow(const QStringList& cells, QString* error) {
    if (m_fd < 0)
        return fail(error, QStringLiteral("the file is not open"));
    for (int i = 0; i < cells.size(); ++i) {
        if (i > 0)
            m_buffer += ',';
        appendCell(m_buffer, cells.at(i));
    }
    m_buffer += "\r\n";
    return m_buffer.size() < BufferSize || flush(error);
}

bool CsvFile::flush(QString* error) {
    const char* data = m_buffer.constData();
    qint64 left = m_buffer.size();
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return fail(error, systemError(errno));
        }
        data += written;
        left -= written;
    }
    m_buffer.truncate(0); // keeps its room for the next rows
    return true;
}

bool CsvFile::commit(QString* error) {
    if (m_fd < 0)
        return fail(error, QStringLiteral("the file is not open"));
    if (!flush(error))
        return false;
    if (::fsync(m_fd) != 0)
        return fail(error, systemError(errno));
    if (::close(m_fd) != 0) {
        m_fd = -1;
        return fail(error, systemError(errno));
    }
    m_fd = -1;
    if (std::rename(QFile::encodeName(m_temporary).constData(),
                    QFile::encodeName(m_path).constData()) != 0)
        return fail(error, systemError(errno));
    m_temporary.clear();
    m_committed = true;
    return true;
}

void CsvFile::discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.isEmpty()) {
        ::unlink(QFile::encodeName(m_temporary).constData());
        m_temporary.clear();
    }
    m_buffer.clear();
}

} // namespace velmora
