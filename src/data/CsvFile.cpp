#include "data/CsvFile.h"

#include <QFileInfo>

#include <cerrno>

namespace velmora {

namespace {

// Rows gather in memory up to this size before they go to the disk: large
// enough that a million rows take a few hundred system calls, small enough
// that memory does not notice the export.
constexpr int BufferBytes = 64 * 1024;

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

CsvFile::CsvFile(const QString& path)
    : m_path(QFileInfo(path).absoluteFilePath()), m_out(path, OutputFile::Streams::WriteThrough) {}

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
    QString message;
    if (!m_out.open(&message))
        return fail(message, error);
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
    QString message;
    if (!m_out.commit(&message))
        return fail(message, error);
    m_state = State::Committed;
    m_buffer = QByteArray();
    return true;
}

void CsvFile::discard() {
    if (m_state != State::Writing)
        return;
    m_out.discard();
    m_buffer = QByteArray();
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
        *error = OutputFile::failureText(m_path, EBADF);
    return false;
}

bool CsvFile::writeBuffer(QString* error) {
    QString message;
    if (!m_out.write(m_buffer.constData(), m_buffer.size(), &message))
        return fail(message, error);
    // Keeps the buffer's memory for the next rows.
    m_buffer.resize(0);
    return true;
}

bool CsvFile::fail(const QString& message, QString* error) {
    m_out.discard();
    m_buffer = QByteArray();
    m_state = State::Failed;
    m_failure = message;
    if (error)
        *error = m_failure;
    return false;
}

} // namespace velmora
