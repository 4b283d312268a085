#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QStringList>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>

namespace velmora {

#endif

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

#ifdef Q_OS_UNIX
// The permission bits of path itself (not of what a link points to), or -1.
inline int fileMode(const QString& path) {
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return st.st_mode & 07777;
}

// Sets the process's umask for as long as it lives.
class Umask {
public:
    explicit Umask(mode_t mask) : m_old(::umask(mask)) {}
    ~Umask() { ::umask(m_old); }
    Umask(const Umask&) = delete;
    Umask& operator=(const Umask&) = delete;

private:
    mode_t m_old;
};
#endif

} // namespace velmora
