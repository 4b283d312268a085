#include "registry/Erasure.h"

#include "access/Audit.h"
#include "access/Roles.h"
#include "data/CodeKeys.h"
#include "data/DirectionalText.h"
#include "data/SubjectErasure.h"
#include "data/SubjectStore.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace velmora {

namespace Erasure {

namespace {

bool sealedName(const QString& name) {
    return name.endsWith(QLatin1String(".age"), Qt::CaseInsensitive);
}

QStringList names(const QList<KeptBackup>& backups, bool holds) {
    QStringList found;
    for (const KeptBackup& backup : backups)
        if (backup.holds == holds)
            found.append(QFileInfo(backup.path).fileName());
    return found;
}

QString failedText(const QString& code) {
    return QStringLiteral("اطلاعات آزمودني با کد %1 حذف نشد و چيزي تغيير نکرد.")
        .arg(isolatedText(code));
}

} // namespace

QString unknownText(const QString& code) {
    QString text = QStringLiteral("آزمودني با کد %1 ثبت نشده است.").arg(isolatedText(code));
    // A code typed with the other yeh or kaf, or an invisible mark, is not the
    // stored one: the stored one is named.
    QString lookAlike;
    QString ignored;
    if (CodeKeys::findLookAlike(code, &lookAlike, &ignored) && !lookAlike.isEmpty())
        text += QStringLiteral(" کد ثبت شده مشابه آن: %1").arg(isolatedText(lookAlike));
    return text;
}

QString title() {
    return Roles::name(Action::EraseSubject);
}

QList<KeptBackup> backupsHolding(const QString& folder, const QString& code) {
    QDir back(folder);
    const QFileInfoList files = back.entryInfoList(
        {QStringLiteral("*.mdbB"), QStringLiteral("*.age")},
        QDir::Files | QDir::Hidden | QDir::Readable, QDir::Time | QDir::Reversed);
    // Asked once, and only when there is a sealed backup to judge.
    bool asked = false;
    QDateTime registered;
    QList<KeptBackup> kept;
    for (const QFileInfo& file : files) {
        KeptBackup backup;
        backup.path = file.absoluteFilePath();
        if (sealedName(file.fileName())) {
            if (!asked) {
                asked = true;
                QString error;
                // A trail that cannot be read knows no registration either.
                SubjectErasure::firstEntryTime(code, Roles::key(Action::Register),
                                               Roles::outcomeKey(Outcome::Done), &registered,
                                               &error);
            }
            // Made before the subject was registered: it cannot hold them.
            if (registered.isValid() && file.lastModified() < registered)
                continue;
            backup.holds = registered.isValid();
        } else {
            const SubjectErasure::FileHolds holds =
                SubjectErasure::subjectFileHolds(backup.path, code);
            if (holds == SubjectErasure::FileHolds::No)
                continue;
            backup.holds = holds == SubjectErasure::FileHolds::Yes;
        }
        kept.append(backup);
    }
    return kept;
}

QString backupsText(const QList<KeptBackup>& backups) {
    const QString back = isolatedPath(QStringLiteral("Back"));
    QString text = QStringLiteral("نسخه هاي پشتيباني که پيش از اين ساخته شده اند اطلاعات اين "
                                  "آزمودني را هنوز دارند.");
    const QStringList holding = names(backups, true);
    const QStringList maybe = names(backups, false);
    const auto list = [](const QStringList& files) {
        QString lines;
        for (const QString& file : files)
            lines += QStringLiteral("\n") + isolatedPath(file);
        return lines;
    };
    if (!holding.isEmpty())
        text += QStringLiteral("\n") +
                QStringLiteral("اين نسخه ها در پوشه %1 اطلاعات او را دارند:").arg(back) +
                list(holding);
    if (!maybe.isEmpty())
        text += QStringLiteral("\n") +
                QStringLiteral("اين نسخه ها رمزگذاري شده اند يا خوانده نشدند و ممکن است اطلاعات او "
                               "را داشته باشند:") +
                list(maybe);
    if (holding.isEmpty() && maybe.isEmpty())
        text += QStringLiteral("\n") +
                QStringLiteral("در پوشه %1 نسخه اي با اطلاعات او پيدا نشد.").arg(back);
    return text;
}

QString backupsEnglish(const QList<KeptBackup>& backups) {
    QString text = QStringLiteral("Backups made earlier still hold this subject.");
    const QStringList holding = names(backups, true);
    const QStringList maybe = names(backups, false);
    if (!holding.isEmpty())
        text += QStringLiteral("\nIn Back, these hold the subject:\n  ") +
                holding.join(QStringLiteral("\n  "));
    if (!maybe.isEmpty())
        text += QStringLiteral("\nIn Back, these are sealed or unreadable and may hold the "
                               "subject:\n  ") +
                maybe.join(QStringLiteral("\n  "));
    if (holding.isEmpty() && maybe.isEmpty())
        text += QStringLiteral("\nNo backup in Back holds the subject.");
    return text;
}

Result eraseSubject(const QString& code, QString* message) {
    SubjectStore& store = SubjectStore::current();
    SubjectErasure::RowCounts removed;
    QString error;
    bool unrecorded = false;
    bool committed = false;
    {
        StoreTransaction transaction(store);
        if (!transaction.begun()) {
            error = transaction.error();
        } else if (!SubjectErasure::removeRows(store, code, &removed, &error)) {
            transaction.rollback();
        } else if (SubjectErasure::total(removed) == 0) {
            transaction.rollback();
            *message = unknownText(code);
            return Result::Unknown;
        } else if (!Audit::record(Action::EraseSubject, code, Outcome::Done,
                                  SubjectErasure::countsText(removed), &error)) {
            // Never done unrecorded.
            transaction.rollback();
            unrecorded = true;
        } else if (!transaction.commit()) {
            error = transaction.error();
        } else {
            committed = true;
        }
    }
    if (!committed) {
        // The failure goes into the trail as well, if the trail can take it.
        if (!unrecorded)
            Audit::record(Action::EraseSubject, code, Outcome::Failed, QString());
        *message = failedText(code) + QStringLiteral("\n\n") +
                   (unrecorded ? error : store.failureMessage(error));
        return Result::Failed;
    }
    // Gone is what the store says after the commit, not what the deletes
    // counted: another workstation may have stored a row of the code since.
    SubjectErasure::RowCounts left;
    if (!SubjectErasure::countRows(store, code, &left, &error)) {
        *message = QStringLiteral("اطلاعات آزمودني با کد %1 حذف شد، اما بررسي پس از آن انجام "
                                  "نشد.")
                       .arg(isolatedText(code)) +
                   QStringLiteral("\n\n") + store.failureMessage(error);
        return Result::Failed;
    }
    if (SubjectErasure::total(left) != 0) {
        *message = QStringLiteral("اطلاعات آزمودني با کد %1 حذف شد، اما رديف هايي از اين کد هنوز "
                                  "هست (%2): شايد در ايستگاه ديگري دوباره ثبت شده باشد.")
                       .arg(isolatedText(code), isolatedText(SubjectErasure::countsText(left)));
        return Result::Failed;
    }
    *message = QStringLiteral("اطلاعات آزمودني با کد %1 حذف شد.").arg(isolatedText(code));
    return Result::Erased;
}

} // namespace Erasure

} // namespace velmora
