#pragma once

#include <QString>

namespace velmora {

// The writable data folder: DBM/DB.mdb, DBM/DB2.mdb, Back, velmora.conf and
// the single-instance lock (.velmora.lock).
// In order: the --data option, the VELMORA_DATA variable, the folder beside
// the executable when an earlier build kept its DBM there (so nothing the
// clinic stored is left behind), else the user's own data folder.
QString chooseDataFolder(const QString& option, const QString& variable,
                         const QString& executableFolder, const QString& userDataFolder);

// Makes the data folder ready: created (mode 0700, only the user may enter)
// when missing, with its Back folder, and proven writable. False with a
// Persian message that names the folder.
//
// The folder holds the clinic's records and the configuration that names its
// server, so it must be the user's alone, as ssh wants of a key file: a data
// folder, DBM or Back that belongs to another user, or that other users may
// write to, is refused with its owner or mode named. What others may only
// read (0755 and 0644 from an earlier version or a copy) is made private: the
// folders 0700; the files in DBM and Back and velmora.conf 0600. What cannot
// be made private (another user's file, a read-only disk) is named in notice,
// for the caller to tell the operator once; notice stays empty otherwise.
bool prepareDataFolder(const QString& folder, QString* error, QString* notice = nullptr);

} // namespace velmora
