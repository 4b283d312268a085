#include "app/BackupCommands.h"

#include "access/Access.h"

#include "app/App.h"
#include "app/CommandLine.h"
#include "app/Terminal.h"
#include "backup/BackupFiles.h"
#include "backup/BackupRoutes.h"
#include "backup/ClinicKey.h"
#include "backup/SealedBackup.h"
#include "data/SubjectStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

#include <cstdio>

namespace velmora {

namespace {

constexpr int DefaultKeep = 14;

// A Persian sentence, then the same in plain English, on standard error.
void say(QTextStream& err, const QString& persian, const QString& english) {
    err << persian << '\n' << english << '\n';
    err.flush();
}

QString noKeyPersian() {
    return QStringLiteral("کليد مرکز ساخته نشده است و نسخه پشتيبان رمزگذاري شده بدون آن ساخته "
                          "نمي شود (velmora --new-backup-key).");
}

QString noKeyEnglish() {
    return QStringLiteral("No clinic key is set: a sealed (.age) backup needs one; an admin makes "
                          "it with velmora --new-backup-key.");
}

int backupCommand(const QString& file, QTextStream& err) {
    QString recipient;
    if (SealedBackup::hasSealedName(file)) {
        recipient = ClinicKey::recipient();
        if (recipient.isEmpty()) {
            say(err, noKeyPersian(), noKeyEnglish());
            return 1;
        }
    }
    QString why;
    if (BackupRoutes::backUp(file, recipient, {}, &why) == BackupRoutes::Outcome::Done)
        return 0;
    say(err, QStringLiteral("اشکال در ايجاد نسخه پشتيباني") + QStringLiteral(": ") + why,
        QStringLiteral("The backup was not made: %1").arg(QDir::toNativeSeparators(file)));
    return 1;
}

int restoreCommand(const QString& file, bool yes, QTextStream& err) {
    // A restore is the admin's to make.
    if (!Access::permitCommand(Action::Restore, err))
        return 1;
    if (!acquireSingleInstance()) {
        say(err,
            QStringLiteral("برنامه در حال اجراست؛ پيش از بازيابي آن را در اين پوشه داده ها "
                           "ببنديد."),
            QStringLiteral("Velmora is running on this data folder: close it before restoring."));
        return 1;
    }
    struct Release {
        ~Release() { releaseSingleInstance(); }
    } release;
    const QString shown = QDir::toNativeSeparators(file);
    if (SealedBackup::lookAt(file) == SealedBackup::Content::Unreadable) {
        say(err, QStringLiteral("فايل نسخه پشتيبان خوانده نشد: ") + shown,
            QStringLiteral("The backup file cannot be read: %1").arg(shown));
        return 1;
    }
    if (!yes &&
        !confirmOnTerminal(QStringLiteral("آيا ميخواهيد اطلاعات را بازيابي کنيد؟ Replace the "
                                          "subjects with those of %1?")
                               .arg(shown))) {
        say(err, QStringLiteral("بازيابي تأييد نشد و انجام نشد."),
            QStringLiteral("Not confirmed: nothing was restored (--yes confirms where no terminal "
                           "can)."));
        return 1;
    }
    BackupRoutes::Participant taking;
    // Every workstation on a shared server has its subjects replaced: they
    // are named, and the restore goes on only when confirmed (--yes, or on
    // the terminal).
    taking.despiteOthers = [&err, yes](const QList<Workstation>& others) {
        QStringList names;
        for (const Workstation& w : others)
            names.append(w.address.isEmpty()
                             ? w.name
                             : w.name + QStringLiteral(" (") + w.address + QLatin1Char(')'));
        say(err,
            QStringLiteral("اين ايستگاه ها به همين پايگاه داده وصل اند و پرونده همه آزمودني ها "
                           "براي آنها هم جايگزين مي شود: ") +
                names.join(QStringLiteral("، ")),
            QStringLiteral("Other workstations are connected to the same subjects and will see "
                           "the restored ones: %1")
                .arg(names.join(QStringLiteral(", "))));
        if (yes || confirmOnTerminal(QStringLiteral("بازيابي انجام شود؟ Restore all the same?")))
            return true;
        say(err, QStringLiteral("بازيابي تأييد نشد و انجام نشد."),
            QStringLiteral("Not confirmed: nothing was restored."));
        return false;
    };
    taking.askKey = [&err](QString* typed) {
        QString why;
        if (readSecret(QStringLiteral("Passphrase of the clinic key, or its recovery key "
                                      "(AGE-SECRET-KEY-1...): "),
                       typed, &why) &&
            !typed->isEmpty())
            return true;
        say(err, QStringLiteral("گذرواژه يا کليد بازيابي خوانده نشد."),
            QStringLiteral("No passphrase or recovery key was read: %1").arg(why));
        return false;
    };
    // The command asks nothing more: without the copy of the current
    // subjects there is no restore (withoutSafetyCopy left empty).
    QString why;
    BackupRoutes::Restored restored;
    switch (BackupRoutes::restore(file, taking, &restored, &why)) {
    case BackupRoutes::Outcome::Done:
        break;
    case BackupRoutes::Outcome::Declined:
        // The participant said why, unless the restore did.
        if (why.isEmpty())
            return 1;
        [[fallthrough]];
    case BackupRoutes::Outcome::NotReleased:
    case BackupRoutes::Outcome::Failed:
        say(err, QStringLiteral("عدم موفقيت در بازيابي اطلاعات: ") + why,
            restored.sealed || SealedBackup::hasSealedName(file)
                ? QStringLiteral("Nothing was restored from the sealed backup %1.").arg(shown)
                : QStringLiteral("Nothing was restored from %1.").arg(shown));
        return 1;
    }
    const QString& kept = restored.safetyCopy;
    QString done = QStringLiteral("بازيابي اطلاعات انجام شد");
    if (!kept.isEmpty())
        done += QStringLiteral("\n") +
                QStringLiteral("پايگاه داده پيش از بازيابي در اين فايل نگه داشته شد:") +
                QStringLiteral("\n") + QDir::toNativeSeparators(kept);
    say(err, done,
        kept.isEmpty() ? QStringLiteral("Restored.")
                       : QStringLiteral("Restored; the subjects before it are kept in %1")
                             .arg(QDir::toNativeSeparators(kept)));
    return 0;
}

int newKeyCommand(bool yes, QTextStream& err) {
    // The clinic key is the admin's to make.
    if (!Access::permitCommand(Action::Backup, err))
        return 1;
    const QString missing = AgeTool::missingTools();
    if (!missing.isEmpty()) {
        say(err, missing, QStringLiteral("No key was made."));
        return 1;
    }
    const bool replacing = ClinicKey::isSet();
    if (replacing) {
        say(err,
            QStringLiteral("کليد مرکز پيش از اين ساخته شده است.") + QLatin1Char(' ') +
                ClinicKey::replacementNotice(),
            QStringLiteral("A clinic key is set already. Backups sealed with it will not open "
                           "with the new key, only with the old key's recovery key: keep it."));
        if (!yes && !confirmOnTerminal(QStringLiteral("آيا کليد تازه اي جاي آن را بگيرد؟ Replace "
                                                      "the clinic key?"))) {
            say(err, QStringLiteral("کليد مرکز عوض نشد."),
                QStringLiteral("The clinic key was not replaced (--yes confirms where no "
                               "terminal can)."));
            return 1;
        }
    }
    QString first, second, why;
    if (!readSecret(QStringLiteral("Passphrase for the clinic key (at least %1 characters): ")
                        .arg(ClinicKey::MinimumPassphrase),
                    &first, &why) ||
        !readSecret(QStringLiteral("The same passphrase again: "), &second, &why)) {
        wipeText(&first);
        say(err, QStringLiteral("گذرواژه خوانده نشد؛ کليدي ساخته نشد."),
            QStringLiteral("No passphrase was read (%1): no key was made.").arg(why));
        return 1;
    }
    const QString problem = ClinicKey::passphraseProblem(first, second);
    wipeText(&second);
    if (!problem.isEmpty()) {
        wipeText(&first);
        say(err, problem, QStringLiteral("The passphrase was refused: no key was made."));
        return 1;
    }
    const Secret passphrase = Secret::takeText(&first);
    ClinicKey::Made made;
    if (!ClinicKey::create(passphrase, &made, &why)) {
        say(err, QStringLiteral("کليد مرکز ساخته نشد: ") + why, QStringLiteral("No key was made."));
        return 1;
    }
    std::fwrite(made.recoveryKey.bytes().constData(), 1, size_t(made.recoveryKey.bytes().size()),
                stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    QString persian = QStringLiteral("کليد مرکز ساخته شد؛ کليد بازيابي آن در خروجي استاندارد "
                                     "نوشته شد.") +
                      QLatin1Char(' ') + ClinicKey::recoveryKeyAdvice();
    QString english = QStringLiteral("The clinic key is made; its recovery key is on standard "
                                     "output. It is shown this once: write it down and keep it "
                                     "in the clinic's safe. Public key: %1")
                          .arg(made.recipient);
    if (!made.retired.isEmpty()) {
        persian += QLatin1Char(' ') + ClinicKey::replacementNotice() + QLatin1Char(' ') +
                   QStringLiteral("کليد پيشين، با گذرواژه پيشين، در اين فايل نگه داشته شد: ") +
                   QDir::toNativeSeparators(made.retired);
        english += QStringLiteral("\nThe replaced key, sealed with the old passphrase, is kept "
                                  "in %1")
                       .arg(QDir::toNativeSeparators(made.retired));
    }
    say(err, persian, english);
    return 0;
}

int backupIntoCommand(const QString& folder, int keep, QTextStream& err) {
    const QString shown = QDir::toNativeSeparators(folder);
    // A folder that is not there is never made: a stick that is not mounted
    // must not turn into a folder on the computer's own disk.
    if (!QFileInfo(folder).isDir()) {
        say(err,
            QStringLiteral("پوشه نسخه هاي پشتيبان وجود ندارد (آيا حافظه جانبي وصل است؟): ") + shown,
            QStringLiteral("The backup folder does not exist (is the stick or share mounted?): %1")
                .arg(shown));
        return 1;
    }
    const QString recipient = ClinicKey::recipient();
    if (recipient.isEmpty()) {
        say(err, noKeyPersian(), noKeyEnglish());
        return 1;
    }
    const QString path = QDir(folder).filePath(
        QStringLiteral("velmora-%1.mdbB.age")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"))));
    QString why;
    if (BackupRoutes::backUp(path, recipient, {}, &why) != BackupRoutes::Outcome::Done) {
        say(err, QStringLiteral("اشکال در ايجاد نسخه پشتيباني") + QStringLiteral(": ") + why,
            QStringLiteral("The scheduled backup was not made in %1").arg(shown));
        return 1;
    }
    // Older backups go only once the new one is there and checked.
    removeOldScheduledBackups(folder, keep > 0 ? keep : DefaultKeep);
    return 0;
}

} // namespace

int removeOldScheduledBackups(const QString& folder, int keep) {
    static const QRegularExpression dated(
        QStringLiteral("^velmora-\\d{4}-\\d{2}-\\d{2}-\\d{6}\\.mdbB\\.age$"));
    const QDir dir(folder);
    QStringList ours;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
        if (dated.match(name).hasMatch() && !QFileInfo(dir.filePath(name)).isSymLink())
            ours.append(name);
    int removed = 0;
    for (qsizetype i = 0; i + keep < ours.size(); ++i)
        if (QFile::remove(dir.filePath(ours.at(i))))
            ++removed;
    return removed;
}

int runBackupCommand(int argc, char** argv, const CommandLine& command) {
    if (!command.backup.isEmpty())
        return runWithoutWindow(argc, argv, command, [&command](QTextStream& err) {
            return backupCommand(command.backup, err);
        });
    if (!command.restore.isEmpty())
        return runWithoutWindow(argc, argv, command, [&command](QTextStream& err) {
            return restoreCommand(command.restore, command.yes, err);
        });
    if (command.newBackupKey)
        return runWithoutWindow(argc, argv, command, [&command](QTextStream& err) {
            return newKeyCommand(command.yes, err);
        });
    if (!command.backupInto.isEmpty())
        return runWithoutWindow(argc, argv, command, [&command](QTextStream& err) {
            return backupIntoCommand(command.backupInto, command.keep, err);
        });
    return -1;
}

} // namespace velmora
