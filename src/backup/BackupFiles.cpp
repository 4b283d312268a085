#include "backup/BackupFiles.h"

#include "calendar/SolarCalendar.h"
#include "data/Database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

#endif

namespace BackupFiles {

namespace {

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// Forces what was written to the file onto the disk, so that a rename that
// follows can never publish a file whose bytes are still only in memory.
bool syncToDisk(QFile& file, QString* error) {
    if (!file.flush()) {
        *error = file.errorString();
        return false;
    }
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0) {
        *error = systemError(errno);
        return false;
    }
#endif
    return true;
}

// Makes a rename in folder survive a power cut as well.
void syncFolder(const QString& folder) {
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(folder);
#endif
}

// A new, empty file beside destination that no other file shares. Its name
// starts with a dot and ends in ".part", so an unfinished copy is never taken
// for a backup by the restore dialog.
bool createTemporary(const QFileInfo& destination, QFile* file, QString* error) {
    const QDir folder(destination.absolutePath());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name =
            QStringLiteral(".%1.%2.part")
                .arg(destination.fileName())
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        file->setFileName(folder.filePath(name));
        if (file->open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return true;
        if (!QFileInfo::exists(file->fileName())) {
            *error = file->errorString();
            return false;
        }
    }
    *error = QStringLiteral("No temporary file could be created beside the destination.");
    return false;
}

bool hasJournal(const QString& database) {
    for (const char* suffix : {"-journal", "-wal"}) {
        const QFileInfo journal(database + QLatin1String(suffix));
        if (journal.exists() && journal.size() > 0)
            return true;
    }
    return false;
}

} // namespace

QString timeText(const QTime& time) {
    return QStringLiteral("%1.%2").arg(time.hour()).arg(time.minute(), 2, 10, QLatin1Char('0'));
}

QString dateText(const QDate& date) {
    return SolarDate(date, 4);
}

QString defaultBackupName(const QString& date, const QString& time) {
    return QStringLiteral("در تاريخ") + date + QStringLiteral(" ساعت)") + time +
           QStringLiteral(")") + QStringLiteral(".mdbB");
}

QString defaultBackupName(const QDateTime& moment) {
    return defaultBackupName(dateText(moment.date()), timeText(moment.time()));
}

QString backupFilter() {
    return QStringLiteral("Database Backup |*.mdbB");
}

QString dialogFilter() {
    // The file dialog writes a filter as "description (pattern)".
    const QString filter = backupFilter();
    const int bar = filter.indexOf(QLatin1Char('|'));
    return filter.left(bar).trimmed() + QStringLiteral(" (") + filter.mid(bar + 1) +
           QLatin1Char(')');
}

QString backupFolder() {
    return QDir::current().absoluteFilePath(QStringLiteral("Back"));
}

QString subjectDatabase() {
    return Database::absoluteFileName(DbFile::Subjects);
}

QString settingsDatabase() {
    return Database::absoluteFileName(DbFile::Settings);
}

bool sameFile(const QString& a, const QString& b) {
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (!first.exists() || !second.exists())
        return false;
#ifdef Q_OS_UNIX
    // Device and inode also see through hard links.
    struct stat sa;
    struct stat sb;
    if (::stat(QFile::encodeName(first.absoluteFilePath()).constData(), &sa) == 0 &&
        ::stat(QFile::encodeName(second.absoluteFilePath()).constData(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
#endif
    return first.canonicalFilePath().compare(second.canonicalFilePath(), Qt::CaseInsensitive) == 0;
}

bool copyChunks(QIODevice& from, QIODevice& to, qint64 total, const ChunkHook& hook,
                QString* error) {
    // The copy goes chunk by chunk, through a buffer of a run of chunks: the
    // disk is read and written a run at a time, so a large file copies at the
    // speed of the disk rather than of thousands of small system calls. As with
    // any buffered writer, a chunk counts as copied once it is handed over;
    // nothing is on the disk before the flush that ends the copy anyway.
    constexpr qint64 ChunksPerRun = 64;
    QByteArray run(ChunkBytes * ChunksPerRun, Qt::Uninitialized);
    qint64 copied = 0;
    while (copied < total) {
        const qint64 runBytes = std::min<qint64>(run.size(), total - copied);
        const qint64 got = from.read(run.data(), runBytes);
        if (got != runBytes) {
            *error = got < 0 ? from.errorString()
                             : QStringLiteral("The file ended before all of it could be read.");
            return false;
        }
        for (qint64 offset = 0; offset < runBytes; offset += ChunkBytes)
            if (hook)
                hook(copied + offset, total);
        const qint64 put = to.write(run.constData(), runBytes);
        if (put != runBytes) {
            *error = to.errorString();
            return false;
        }
        copied += runBytes;
    }
    return true;
}

bool copyFile(const QString& source, const QString& destination, const CopySteps& steps,
              QString* error) {
    QString why;
    auto fail = [error](const QString& description) {
        if (error)
            *error = description;
        return false;
    };
    if (sameFile(source, destination))
        return fail(QStringLiteral("The file cannot be copied onto itself."));
    const QFileInfo target(destination);
    if (target.isDir())
        return fail(QStringLiteral("The destination is a folder."));

    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return fail(in.errorString());

    QFile out;
    if (!createTemporary(target, &out, &why))
        return fail(why);
    // Whatever goes wrong from here on, the half-written copy is removed.
    struct Remover {
        QFile& file;
        bool keep = false;
        ~Remover() {
            if (keep)
                return;
            file.close();
            file.remove();
        }
    } remover{out};

    if (!copyChunks(in, out, in.size(), steps.betweenChunks, &why) || !syncToDisk(out, &why))
        return fail(why);
    out.close();
    if (out.error() != QFileDevice::NoError)
        return fail(out.errorString());
    in.close();
    if (target.exists())
        out.setPermissions(target.permissions());

    if (steps.acceptCopy && !steps.acceptCopy(out.fileName(), &why))
        return fail(why);
    if (steps.beforeReplace && !steps.beforeReplace(&why))
        return fail(why);
    // One rename puts the whole copy in place: the destination is never seen
    // half old, half new.
    if (std::rename(QFile::encodeName(out.fileName()).constData(),
                    QFile::encodeName(target.absoluteFilePath()).constData()) != 0)
        return fail(systemError(errno));
    remover.keep = true;
    syncFolder(target.absolutePath());
    return true;
}

QString freeBackupPath(const QString& folder, const QDateTime& moment) {
    const QDir dir(folder);
    const QString name = defaultBackupName(moment);
    QString path = dir.filePath(name);
    const QString extension = QStringLiteral(".mdbB");
    const QString stem = name.left(name.size() - extension.size());
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(QStringLiteral("%1 %2%3").arg(stem).arg(n).arg(extension));
    return path;
}

bool releaseSubjectDatabase(QString* why) {
    Database::close(DbFile::Subjects);
    const QString path = subjectDatabase();
    if (!QFileInfo::exists(path) || !hasJournal(path))
        return true;
    // A journal beside the file holds changes the file alone does not show (a
    // save cut short, or a write-ahead log). Opening the file lets the database
    // engine settle them into it; closing again leaves the file whole.
    const QString name = QStringLiteral("velmora-backup-release");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master"));
            q.finish();
            q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            q.finish();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!hasJournal(path))
        return true;
    if (why)
        *why = QStringLiteral("The subject database is in use by another program.");
    return false;
}

} // namespace BackupFiles

} // namespace velmora
