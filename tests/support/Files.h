#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QStringList>
#include <QTest>

namespace velmora {

// The bytes of a file, or "<missing>" when it cannot be read.
inline QByteArray bytesOf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

// Writes data as the whole file (making its folder).
inline void writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(data), qint64(data.size()));
}

// Files in a folder, hidden ones included (a left-over temporary copy starts with a dot).
inline QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// True while a connection of this process has the subject database open.
inline bool subjectConnectionOpen() {
    for (const QString& name : QSqlDatabase::connectionNames()) {
        const QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen() && db.databaseName().endsWith(QLatin1String("DB2.mdb")))
            return true;
    }
    return false;
}

} // namespace velmora
