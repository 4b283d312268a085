#pragma once

#include <QString>

namespace velmora {

// The writable data folder: DBM/DB.mdb, DBM/DB2.mdb, Back and the lock.
// In order: the --data option, the VELMORA_DATA variable, the folder beside
// the executable when an earlier build kept its DBM there (so nothing the
// clinic stored is left behind), else the user's own data folder.
QString chooseDataFolder(const QString& option, const QString& variable,
                         const QString& executableFolder, const QString& userDataFolder);

// Makes the data folder ready: created (mode 0700, only the user may enter)
// when missing, with its Back folder, and proven writable. False with a Persian message that names
// the folder.
bool prepareDataFolder(const QString& folder, QString* error);

} // namespace velmora
