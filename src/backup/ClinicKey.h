#pragma once

#include "backup/AgeTool.h"

#include <QString>

namespace velmora {

// The clinic key that seals backups: an age key pair. Its public half
// ("age1...") is kept in the settings, so anyone at the program (and a
// scheduled job) can seal a backup without knowing a secret. Its private half
// is kept in the data folder sealed with a passphrase the admin chose (an age
// passphrase file, scrypt), which opens with the stock `age -d` as well, and
// is shown once, when the key is made, as the recovery key
// ("AGE-SECRET-KEY-1..."), to be written down and kept in the clinic's safe:
// on another computer it is the only way into the backups.
namespace ClinicKey {

// The public key in the settings, or the empty text when no key was made.
QString recipient();
bool isSet();

// Where the private half lives, sealed: DBM/clinic-key.age.
QString sealedKeyPath();

// A passphrase shorter than this is refused.
constexpr int MinimumPassphrase = 8;
// Empty when the passphrase and its repetition are good; otherwise why not.
QString passphraseProblem(const QString& passphrase, const QString& repeated);

// What the program says wherever a key is replaced.
QString replacementNotice();

struct Made {
    Secret recoveryKey; // the identity line, to show once
    QString recipient;
    QString retired; // where the replaced key's sealed file was kept, if any
};

// A new key, sealed with passphrase (already checked with passphraseProblem)
// and opened again with it: the work of the age programs, which may run on
// any thread.
struct Prepared {
    Secret identity;
    QString recipient;
    QByteArray sealed; // the age passphrase file
};
bool prepare(const Secret& passphrase, Prepared* prepared, QString* why);

// Makes a prepared key the clinic's (on the thread of the settings
// connection). A key already there is replaced; its sealed file is kept
// beside, renamed (made.retired), so that nothing is lost, and backups sealed
// with it still open with its recovery key.
bool install(Prepared* prepared, Made* made, QString* why);

// prepare, then install.
bool create(const Secret& passphrase, Made* made, QString* why);

// True when typed looks like a recovery key rather than a passphrase.
bool looksLikeRecoveryKey(const QString& typed);

// The identity that opens a sealed backup, from what the operator typed:
// a recovery key, or the passphrase of the key sealed in this data folder.
// typed is overwritten and emptied.
bool identityFromTyped(QString* typed, Secret* identity, QString* why);

// The line after the recovery key where it is shown: what to do with it.
QString recoveryKeyAdvice();

} // namespace ClinicKey

} // namespace velmora
