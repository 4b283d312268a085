#include "app/DataFolder.h"

#include "platform/Folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

// An earlier build ran from its own folder, skins beside it, and kept its DBM
// there too. An installed executable (in /usr/bin, say) never counts.
bool holdsLegacyData(const QString& executableFolder) {
    if (executableFolder.isEmpty() ||
        findResourceFolder(executableFolder) != QDir(executableFolder).absolutePath())
        return false;
    const QDir folder(executableFolder);
    for (const QString& entry : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (entry.compare(QLatin1String("DBM"), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString folderMessage(const QString& folder, const QString& detail) {
    return QStringLiteral("پوشه اطلاعات برنامه آماده نشد:\n%1\n\n%2")
        .arg(QDir::toNativeSeparators(folder), detail);
}

QString userName(uid_t uid) {
    const passwd* entry = ::getpwuid(uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(uid);
}

QString modeText(mode_t mode) {
    return QStringLiteral("%1").arg(mode & 07777, 4, 8, QLatin1Char('0'));
}

// Refuses a folder of the data (the data folder, DBM, Back) that is not the
// user's own or that others may write to. A folder that is not there yet is
// fine.
bool refuseForeignFolder(const QString& folder, QString* error) {
    struct stat st;
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return true;
    if (st.st_uid != ::geteuid()) {
        *error = folderMessage(
            folder,
            QStringLiteral("اين پوشه از آن کاربر «%1» است، نه «%2». پوشه اطلاعات بايد از آن "
                           "خود کاربر باشد تا کس ديگري نتواند پرونده هاي آن را عوض کند.")
                .arg(userName(st.st_uid), userName(::geteuid())));
        return false;
    }
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        *error = folderMessage(
            folder, QStringLiteral(
                        "کاربران ديگر مي توانند در اين پوشه بنويسند (دسترسي %1) و پرونده هاي آن را "
                        "عوض کنند. برنامه با اين پوشه کار نمي کند. پس از بررسي آن، دسترسي را "
                        "با اين فرمان خصوصي کنيد:\nchmod 700 '%2'")
                        .arg(modeText(st.st_mode), QDir::toNativeSeparators(folder)));
        return false;
    }
    return true;
}

// Makes a folder of the data that others may read or enter private (0700);
// names it in loose when that cannot be done.
void secureFolder(const QString& folder, QStringList* loose) {
    struct stat st;
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        (st.st_mode & 077) == 0)
        return;
    if (::chmod(QFile::encodeName(folder).constData(), 0700) != 0)
        loose->append(
            QStringLiteral("%1 (%2)").arg(QDir::toNativeSeparators(folder), modeText(st.st_mode)));
}

// Makes a file of the data that others may read private (0600); names it in
// loose when that cannot be done. Links are left alone: what they lead to is
// not the data folder's.
void secureFile(const QString& file, QStringList* loose) {
    struct stat st;
    if (::lstat(QFile::encodeName(file).constData(), &st) != 0 || !S_ISREG(st.st_mode) ||
        (st.st_mode & 077) == 0)
        return;
    if (st.st_uid == ::geteuid() &&
        ::chmod(QFile::encodeName(file).constData(), st.st_mode & 0700 & ~0111) == 0)
        return;
    loose->append(
        QStringLiteral("%1 (%2, %3)")
            .arg(QDir::toNativeSeparators(file), userName(st.st_uid), modeText(st.st_mode)));
}

} // namespace

QString chooseDataFolder(const QString& option, const QString& variable,
                         const QString& executableFolder, const QString& userDataFolder) {
    QString chosen;
    if (!option.isEmpty())
        chosen = option;
    else if (!variable.isEmpty())
        chosen = variable;
    else if (holdsLegacyData(executableFolder))
        chosen = executableFolder;
    else
        chosen = userDataFolder;
    return QDir::cleanPath(QDir::current().absoluteFilePath(chosen));
}

bool prepareDataFolder(const QString& folder, QString* error, QString* notice) {
    if (notice)
        notice->clear();
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir()) {
        *error = folderMessage(folder, QStringLiteral("اين نام پرونده است، نه پوشه."));
        return false;
    }
    if (!info.exists()) {
        if (!QDir().mkpath(folder)) {
            *error = folderMessage(folder, QStringLiteral("پوشه ساخته نشد."));
            return false;
        }
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QDir data(folder);
    const QString dbm = data.filePath(QStringLiteral("DBM"));
    const QString back = data.filePath(QStringLiteral("Back"));
    // Every folder is looked at before anything is changed: a refused folder
    // is left as it was found.
    for (const QString& inside : {folder, dbm, back})
        if (!refuseForeignFolder(inside, error))
            return false;
    QStringList loose;
    for (const QString& inside : {folder, dbm, back})
        secureFolder(inside, &loose);
    secureFile(data.filePath(QStringLiteral("velmora.conf")), &loose);
    for (const QString& inside : {dbm, back}) {
        const QDir dir(inside);
        for (const QString& name :
             dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks))
            secureFile(dir.filePath(name), &loose);
    }
    if (notice && !loose.isEmpty())
        *notice = QStringLiteral("کاربران ديگر مي توانند اين پرونده ها و پوشه هاي اطلاعات برنامه "
                                 "را بخوانند و برنامه نتوانست آنها را خصوصي کند:\n%1")
                      .arg(loose.join(QLatin1Char('\n')));
    // The backup dialogs open in Back.
    if (!QFileInfo::exists(back) && QDir().mkpath(back))
        QFile::setPermissions(back, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Writing is what the program will do there: try it rather than trust the
    // permission bits (a read-only mount, another user's folder).
    QTemporaryFile probe(data.filePath(QStringLiteral(".velmora-write-XXXXXX")));
    if (!probe.open()) {
        *error = folderMessage(folder,
                               QStringLiteral("در اين پوشه نمي توان نوشت: ") + probe.errorString());
        return false;
    }
    return true;
}

} // namespace velmora
