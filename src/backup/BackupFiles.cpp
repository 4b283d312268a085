#include "backup/BackupFiles.h"

#include "calendar/SolarCalendar.h"
#include "data/Database.h"
#include "files/OutputFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

#endif

namespace BackupFiles {

namespace {

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// The program's own sentence, then the system's description where there is one.
QString described(const QString& sentence, const QString& system) {
    return system.isEmpty() ? sentence : sentence + QStringLiteral(": ") + system;
}

QString diskFull(const QString& system) {
    return described(QStringLiteral("ديسک پر است و فايل تا پايان نوشته نشد"), system);
}

// A write that failed or came up short: a full disk says so, anything else
// is a write cut short, with the system's description when it gave one.
QString writeFailure(const QIODevice& device) {
    const auto* file = qobject_cast<const QFileDevice*>(&device);
    if (file && file->error() == QFileDevice::ResourceError)
        return diskFull(file->errorString());
    return described(QStringLiteral("نوشتن فايل نيمه کاره ماند"),
                     file && file->error() != QFileDevice::NoError ? file->errorString()
                                                                   : QString());
}

QString syncFailure(int code) {
    if (code == ENOSPC || code == EDQUOT)
        return diskFull(systemError(code));
    return described(QStringLiteral("فايل به طور کامل روي ديسک نوشته نشد"), systemError(code));
}

// Forces what was written to the file onto the disk, so that a rename that
// follows can never publish a file whose bytes are still only in memory.
bool syncToDisk(QFile& file, QString* error) {
    if (!file.flush()) {
        *error = writeFailure(file);
        return false;
    }
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0) {
        *error = syncFailure(errno);
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

bool renameFile(const QString& from, const QString& to, QString* error) {
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    *error = described(QStringLiteral("فايل در جاي خود گذاشته نشد"), systemError(errno));
    return false;
}

// Path, or the first of "name 2.ext", "name 3.ext", ... that names nothing.
QString freePath(const QString& path) {
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    const QString stem = suffix.isEmpty() ? path : path.left(path.size() - suffix.size() - 1);
    const QString dot = suffix.isEmpty() ? QString() : QStringLiteral(".");
    QString candidate = path;
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = QStringLiteral("%1 %2%3%4").arg(stem).arg(n).arg(dot, suffix);
    return candidate;
}

// A database file in write-ahead-log mode keeps its latest rows in a side
// file, "-wal", until they are folded into it; a copy of the file alone would
// lack them. The side file of source is copied beside copy (a part file of
// ours, so it goes with it) and folded into it there, in the copy: never in
// the operator's own file. Nothing to do without a side file.
bool bringWriteAheadLog(const QString& source, const QString& copy, QString* why) {
    const QString real = QFileInfo(source).canonicalFilePath();
    const QFileInfo log((real.isEmpty() ? source : real) + QStringLiteral("-wal"));
    if (!log.exists() || log.size() == 0)
        return true;
    const QString failed = QStringLiteral("فايل جانبي %1 که بخشي از اطلاعات در آن است خوانده نشد")
                               .arg(QDir::toNativeSeparators(log.absoluteFilePath()));
    QFile in(log.absoluteFilePath());
    if (!log.isFile() || !in.open(QIODevice::ReadOnly)) {
        *why = described(failed, in.errorString());
        return false;
    }
    const QByteArray side = QFile::encodeName(copy + QStringLiteral("-wal"));
    const int fd = ::open(side.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
    if (fd < 0) {
        *why = described(QStringLiteral("فايل موقت در پوشه مقصد ساخته نشد"), systemError(errno));
        return false;
    }
    QFile out;
    bool copied = out.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    copied = copied && copyChunks(in, out, in.size(), ChunkHook(), why);
    if (copied && !out.flush()) {
        *why = writeFailure(out);
        copied = false;
    }
    out.close();
    if (!copied) {
        ::unlink(side.constData());
        return false;
    }
    QString failure;
    if (Database::leaveWriteAheadLog(copy, &failure))
        return true;
    *why = QStringLiteral("فايل آسيب ديده است: ") + failure;
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
            *error = got < 0 ? described(QStringLiteral("فايل مبدأ خوانده نشد"), from.errorString())
                             : QStringLiteral("فايل مبدأ پيش از خوانده شدن همه آن به پايان رسيد.");
            return false;
        }
        for (qint64 offset = 0; offset < runBytes; offset += ChunkBytes)
            if (hook)
                hook(copied + offset, total);
        // A write may take only part of what it is given (a disk filling up);
        // the rest is written again, and the write that takes nothing tells why.
        for (qint64 put = 0; put < runBytes;) {
            const qint64 n = to.write(run.constData() + put, runBytes - put);
            if (n <= 0) {
                *error = writeFailure(to);
                return false;
            }
            put += n;
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
        return fail(QStringLiteral("فايل را نمي توان روي خودش کپي کرد."));
    // The copy is read back and checked before it counts, so it goes only
    // into a regular file (a link to one is written through); the part file
    // it is written to is removed on every way out but the last.
    OutputFile target(destination, OutputFile::Streams::Refuse);
    if (!target.open(&why))
        return fail(why);
    const QFileInfo from(source);
    if (from.exists() && !from.isFile())
        return fail(QStringLiteral("مبدأ فايل معمولي نيست."));

    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return fail(described(QStringLiteral("فايل مبدأ باز نشد"), in.errorString()));

    QFile out;
    if (!out.open(target.handle(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        return fail(
            described(QStringLiteral("فايل موقت در پوشه مقصد ساخته نشد"), out.errorString()));
    const bool read = copyChunks(in, out, in.size(), steps.betweenChunks, &why);
    in.close();
    if (!read || !syncToDisk(out, &why))
        return fail(why);
    out.close();
    if (out.error() != QFileDevice::NoError)
        return fail(writeFailure(out));
    // A file the program does not hold may keep its latest rows in a
    // write-ahead log beside it; they come along into the copy.
    if (!bringWriteAheadLog(source, target.partPath(), &why))
        return fail(why);

    if (steps.acceptCopy && !steps.acceptCopy(target.partPath(), &why))
        return fail(why);
    why.clear();
    if (steps.beforeReplace && !steps.beforeReplace(&why))
        return fail(why);
    // One rename puts the whole copy in place: the destination is never seen
    // half old, half new.
    if (!target.commit(&why))
        return fail(why);
    return true;
}

bool checkBackupCopy(const QString& copy, const QString& source, const QString& destination,
                     QString* why) {
    QString problem;
    if (Database::isSoundSubjectDatabase(copy, &problem))
        return true;
    QString ignored;
    if (Database::isSoundSubjectDatabase(source, &ignored)) {
        *why = QStringLiteral("نسخه تهيه شده سالم نيست و کنار گذاشته شد: ") + problem;
        return false;
    }
    QString target = OutputFile::regularTarget(destination);
    if (target.isEmpty())
        target = QFileInfo(destination).absoluteFilePath();
    const QString kept = damagedName(target);
    QString moved;
    if (!renameFile(copy, kept, &moved)) {
        *why = QStringLiteral("پايگاه داده آزمودني ها آسيب ديده است: ") + problem;
        return false;
    }
    syncFolder(QFileInfo(kept).absolutePath());
    *why = QStringLiteral("پايگاه داده آزمودني ها آسيب ديده است: ") + problem +
           QStringLiteral("\r\n") +
           QStringLiteral("آنچه از آن خوانده شد، نه به عنوان نسخه پشتيبان، در اين فايل نگه "
                          "داشته شد:") +
           QStringLiteral("\r\n") + QDir::toNativeSeparators(kept);
    return false;
}

bool checkRestoreCopy(const QString& copy, QString* why) {
    // A copy in write-ahead-log mode is turned into the rollback journal the
    // program works with: the restored file neither keeps the mode nor leaves
    // the log's files beside it.
    QString failure;
    if (!Database::leaveWriteAheadLog(copy, &failure)) {
        *why = QStringLiteral("فايل آسيب ديده است: ") + failure;
        return false;
    }
    return Database::isSoundSubjectDatabase(copy, why);
}

QString damagedName(const QString& path) {
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    const QString stem = suffix.isEmpty() ? path : path.left(path.size() - suffix.size() - 1);
    return freePath(stem + QStringLiteral("-آسيب ديده") +
                    (suffix.isEmpty() ? QString() : QStringLiteral(".") + suffix));
}

QString safetyCopyPath(const QString& folder, const QDateTime& moment) {
    return freePath(
        QDir(folder).filePath(QStringLiteral("پيش از بازيابي ") + defaultBackupName(moment)));
}

void removeLeftovers(const QString& folder) {
    OutputFile::removeLeftovers(folder);
}

void removeLeftoversAtStart() {
    for (const QString& folder : {backupFolder(), QFileInfo(subjectDatabase()).absolutePath()}) {
        removeLeftovers(folder);
        // A restore's checked copy and a server's picture of its tables wait
        // under these names only while a run of the program uses them; at the
        // start of a run none does.
        const QDir dir(folder);
        for (const QString& name : dir.entryList(
                 {QStringLiteral(".restore.*.staged*"), QStringLiteral(".snapshot.*.staged*")},
                 QDir::Files | QDir::Hidden | QDir::System))
            QFile::remove(dir.filePath(name));
    }
}

QString freeBackupPath(const QString& folder, const QDateTime& moment) {
    return freePath(QDir(folder).filePath(defaultBackupName(moment)));
}

} // namespace BackupFiles

} // namespace velmora
