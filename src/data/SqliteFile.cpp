#include "data/SqliteFile.h"

#include <QAtomicInteger>
#include <QFile>
#include <QSqlError>

namespace velmora {

namespace SqliteFile {

QSqlDatabase open(const QString& connectionName, const QString& path, Access access,
                  int busyTimeoutMs) {
    QSqlDatabase db = QSqlDatabase::contains(connectionName)
                          ? QSqlDatabase::database(connectionName, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    if (db.isOpen())
        return db;
    db.setDatabaseName(path);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs);
    if (access == Access::ReadOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
    db.open();
    return db;
}

void remove(const QString& connectionName) {
    if (!QSqlDatabase::contains(connectionName))
        return;
    QSqlDatabase::database(connectionName, false).close();
    QSqlDatabase::removeDatabase(connectionName);
}

Connection::Connection(const QString& path, Access access, int busyTimeoutMs) {
    static QAtomicInteger<quint32> made;
    m_name = QStringLiteral("velmora-file-%1").arg(made.fetchAndAddRelaxed(1));
    open(m_name, path, access, busyTimeoutMs);
}

Connection::~Connection() {
    remove(m_name);
}

QSqlDatabase Connection::db() const {
    return QSqlDatabase::database(m_name, false);
}

namespace {

QByteArray header(const QString& path, qint64 size) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.read(size);
}

} // namespace

bool hasHeader(const QString& path) {
    return header(path, 16) == QByteArray("SQLite format 3\0", 16);
}

bool isWriteAheadLog(const QString& path) {
    // Bytes 18 and 19 of the header, the versions needed to write and to
    // read, are 2 in write-ahead-log mode.
    const QByteArray head = header(path, 20);
    return head.size() == 20 && head.startsWith(QByteArray("SQLite format 3\0", 16)) &&
           (head.at(18) == 2 || head.at(19) == 2);
}

int primaryCode(const QSqlError& error) {
    return error.nativeErrorCode().toInt() & 0xff;
}

} // namespace SqliteFile

} // namespace velmora
