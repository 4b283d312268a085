#include "backup/ClinicKey.h"

#include "access/Audit.h"
#include "backup/BackupFiles.h"
#include "backup/SealedBackup.h"
#include "data/Database.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace velmora {

namespace ClinicKey {

namespace {

// The settings' record of the key: one row, the public key and when it was
// made. Made with the first key.
const char* const CreateTable = "CREATE TABLE IF NOT EXISTS \"BackupKey\" (\"ID\" INTEGER "
                                "PRIMARY KEY, \"Recipient\" TEXT NOT NULL, \"Made\" TEXT)";

bool exec(QSqlDatabase& db, const QString& sql, const QVariantList& values, QString* why) {
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (q.exec())
        return true;
    *why = Database::failureMessage(DbFile::Settings, q.lastError().text());
    return false;
}

// The retired sealed key's name: DBM/clinic-key-<when>.age, never an
// existing file.
QString retiredPath(const QDateTime& moment) {
    const QString stem = sealedKeyPath().chopped(4) + QLatin1Char('-') +
                         moment.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString candidate = stem + QStringLiteral(".age");
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = QStringLiteral("%1-%2.age").arg(stem).arg(n);
    return candidate;
}

bool readSmallFile(const QString& path, QByteArray* bytes, QString* why) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("فايل کليد مرکز خوانده نشد: ") + file.errorString();
        return false;
    }
    *bytes = file.read(4097);
    if (bytes->size() > 4096 || !bytes->startsWith("age-encryption.org/v1\n")) {
        *why = QStringLiteral("فايل کليد مرکز آسيب ديده است: ") + QDir::toNativeSeparators(path);
        return false;
    }
    return true;
}

// The identity line of a key file's text ("# ..." comments, then
// "AGE-SECRET-KEY-1..."), read in place; empty when there is none.
Secret identityLine(const Secret& text) {
    const QByteArray& bytes = text.bytes();
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        const QByteArrayView line =
            QByteArrayView(bytes.constData() + start, end - start).trimmed();
        if (line.startsWith("AGE-SECRET-KEY-1"))
            return Secret(QByteArray(line.data(), line.size()));
        start = end + 1;
    }
    return Secret();
}

} // namespace

QString recipient() {
    QSqlDatabase db = Database::connection(DbFile::Settings);
    QSqlQuery q(db);
    // No table: no key was ever made here.
    if (!q.exec(QStringLiteral(
            "SELECT \"Recipient\" FROM \"BackupKey\" ORDER BY \"ID\" DESC LIMIT 1")) ||
        !q.next())
        return QString();
    const QString key = q.value(0).toString().trimmed();
    return key.startsWith(QLatin1String("age1")) ? key : QString();
}

bool isSet() {
    return !recipient().isEmpty();
}

QString sealedKeyPath() {
    return QFileInfo(BackupFiles::settingsDatabase())
        .absoluteDir()
        .filePath(QStringLiteral("clinic-key.age"));
}

QString passphraseProblem(const QString& passphrase, const QString& repeated) {
    if (passphrase.size() < MinimumPassphrase)
        return QStringLiteral("گذرواژه بايد دست کم %1 نويسه باشد.").arg(MinimumPassphrase);
    if (passphrase != repeated)
        return QStringLiteral("گذرواژه و تکرار آن يکي نيستند.");
    if (looksLikeRecoveryKey(passphrase))
        return QStringLiteral("گذرواژه نمي تواند خود يک کليد باشد.");
    return QString();
}

QString replacementNotice() {
    return QStringLiteral("نسخه هاي پشتيباني که با کليد پيشين رمزگذاري شده اند با کليد تازه باز "
                          "نمي شوند: آنها فقط با کليد بازيابي پيشين باز مي شوند؛ آن را دور "
                          "نيندازيد.");
}

QString recoveryKeyAdvice() {
    return QStringLiteral("اين کليد بازيابي فقط همين يک بار نشان داده مي شود. آن را بنويسيد و در "
                          "جاي امني (گاوصندوق مرکز) نگه داريد: در رايانه ديگر، نسخه هاي پشتيبان "
                          "رمزگذاري شده فقط با آن باز مي شوند.");
}

bool prepare(const Secret& passphrase, Prepared* prepared, QString* why) {
    const QString missing = AgeTool::missingTools();
    if (!missing.isEmpty()) {
        *why = missing;
        return false;
    }
    if (!AgeTool::generate(&prepared->identity, &prepared->recipient, why))
        return false;
    // A key file as age-keygen writes one, so that the file opened by hand
    // (age -d) is one too.
    Secret keyFile(QByteArray("# created: ") +
                   QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLatin1() +
                   QByteArray("\n# public key: ") + prepared->recipient.toLatin1() + '\n');
    keyFile.append(prepared->identity.bytes().constData(), prepared->identity.bytes().size());
    keyFile.append("\n", 1);
    if (!AgeTool::sealWithPassphrase(keyFile, passphrase, &prepared->sealed, why))
        return false;
    // The sealed file must open with the passphrase before it is the key.
    Secret reopened;
    AgeTool::Failure failure = AgeTool::Failure::None;
    if (!AgeTool::openWithPassphrase(prepared->sealed, passphrase, &reopened, &failure, why))
        return false;
    if (!(identityLine(reopened) == prepared->identity)) {
        *why = QStringLiteral("کليد رمزگذاري شده با گذرواژه باز نشد.");
        return false;
    }
    return true;
}

bool create(const Secret& passphrase, Made* made, QString* why) {
    Prepared prepared;
    return prepare(passphrase, &prepared, why) && install(&prepared, made, why);
}

bool install(Prepared* prepared, Made* made, QString* why) {
    const QByteArray& sealed = prepared->sealed;
    const QString& key = prepared->recipient;
    const QString target = sealedKeyPath();
    // The replaced key stays, under another name, until the new one is in
    // place; a hard link keeps the old file where it is meanwhile.
    QString retired;
    if (QFileInfo::exists(target)) {
        retired = retiredPath(QDateTime::currentDateTime());
        if (::link(QFile::encodeName(target).constData(), QFile::encodeName(retired).constData()) !=
                0 &&
            !QFile::copy(target, retired)) {
            *why = QStringLiteral("کليد پيشين نگه داشته نشد؛ کليد تازه ساخته نشد.");
            return false;
        }
    }
    const auto undoRetire = [&retired] {
        if (!retired.isEmpty())
            QFile::remove(retired);
    };

    QSqlDatabase db = Database::connection(DbFile::Settings);
    if (!db.transaction()) {
        *why = Database::failureMessage(DbFile::Settings, db.lastError().text());
        undoRetire();
        return false;
    }
    const bool recorded =
        exec(db, QString::fromLatin1(CreateTable), {}, why) &&
        exec(db, QStringLiteral("DELETE FROM \"BackupKey\""), {}, why) &&
        exec(db,
             QStringLiteral("INSERT INTO \"BackupKey\" (\"Recipient\", \"Made\") VALUES (?, ?)"),
             {key, QDateTime::currentDateTime().toString(Qt::ISODate)}, why);
    const bool written =
        recorded && SealedBackup::writeOutputFile(
                        target,
                        [&sealed](int fd, QString* reason) {
                            for (qsizetype put = 0; put < sealed.size();) {
                                const ssize_t n = ::write(fd, sealed.constData() + put,
                                                          size_t(sealed.size() - put));
                                if (n < 0 && errno == EINTR)
                                    continue;
                                if (n <= 0) {
                                    *reason = QStringLiteral("فايل کليد نوشته نشد.");
                                    return false;
                                }
                                put += n;
                            }
                            return true;
                        },
                        {}, why);
    if (!written) {
        db.rollback();
        undoRetire();
        return false;
    }
    // The key made or replaced is recorded by its public half, never the
    // recovery key, before it counts: a key nobody could record is not made.
    QString unrecorded;
    if (!Audit::recordAlone(Action::Settings, QString(), Outcome::Done,
                            (retired.isEmpty() ? QStringLiteral("کليد مرکز ساخته شد: ")
                                               : QStringLiteral("کليد مرکز جايگزين شد: ")) +
                                key,
                            &unrecorded)) {
        *why = unrecorded;
        db.rollback();
        if (!retired.isEmpty())
            std::rename(QFile::encodeName(retired).constData(),
                        QFile::encodeName(target).constData());
        else
            QFile::remove(target);
        return false;
    }
    if (!db.commit()) {
        *why = Database::failureMessage(DbFile::Settings, db.lastError().text());
        db.rollback();
        // The settings still name the old key: so must the file.
        if (!retired.isEmpty())
            std::rename(QFile::encodeName(retired).constData(),
                        QFile::encodeName(target).constData());
        else
            QFile::remove(target);
        return false;
    }
    made->recoveryKey = std::move(prepared->identity);
    made->recipient = key;
    made->retired = retired;
    return true;
}

bool looksLikeRecoveryKey(const QString& typed) {
    return typed.trimmed().startsWith(QLatin1String("AGE-SECRET-KEY-1"), Qt::CaseInsensitive);
}

bool identityFromTyped(QString* typed, Secret* identity, QString* why) {
    const QString missing = AgeTool::missingTools();
    if (!missing.isEmpty()) {
        wipeText(typed);
        *why = missing;
        return false;
    }
    if (looksLikeRecoveryKey(*typed)) {
        // Written down and typed back: spaces and the letters' case may have
        // changed; the key itself is upper case without spaces.
        QString key;
        key.reserve(typed->size());
        for (const QChar c : std::as_const(*typed))
            if (!c.isSpace())
                key.append(c.toUpper());
        wipeText(typed);
        Secret candidate = Secret::takeText(&key);
        QString ignored;
        QString reason;
        if (!AgeTool::recipientOf(candidate, &ignored, &reason)) {
            *why = reason;
            return false;
        }
        *identity = std::move(candidate);
        return true;
    }
    const Secret passphrase = Secret::takeText(typed);
    const QString path = sealedKeyPath();
    if (!QFileInfo::exists(path)) {
        *why = QStringLiteral("در اين پوشه داده ها کليد مرکزي نيست که با گذرواژه باز شود؛ کليد "
                              "بازيابي (AGE-SECRET-KEY-1…) را وارد کنيد.");
        return false;
    }
    QByteArray sealed;
    if (!readSmallFile(path, &sealed, why))
        return false;
    AgeTool::Failure failure = AgeTool::Failure::None;
    Secret opened;
    if (!AgeTool::openWithPassphrase(sealed, passphrase, &opened, &failure, why)) {
        if (failure == AgeTool::Failure::WrongPassphrase)
            *why = QStringLiteral("گذرواژه کليد مرکز درست نيست.");
        return false;
    }
    Secret line = identityLine(opened);
    if (line.isEmpty()) {
        *why = QStringLiteral("فايل کليد مرکز کليدي در خود ندارد.");
        return false;
    }
    *identity = std::move(line);
    return true;
}

} // namespace ClinicKey

} // namespace velmora
