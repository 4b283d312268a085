#pragma once

#include <QString>

namespace velmora {

// Operators' passwords on the file store, hashed with Argon2id by libsodium
// (crypto_pwhash_str: a random salt and the cost are kept in the hash
// string). The password itself is never stored or logged; the bytes made
// from it are wiped as soon as they have been used.
namespace Passwords {

// Empty when password may be an operator's password; otherwise why not, in
// Persian.
QString problem(const QString& password);

// The Argon2id string of password. False with a description when it could
// not be made (libsodium failed to start, memory).
bool hash(const QString& password, QString* hashed, QString* error);

// True when password is the one hashed.
bool verify(const QString& hashed, const QString& password);

// A hash of no password anyone has: an unknown name costs the same time as
// a known one.
QString decoy();

} // namespace Passwords

} // namespace velmora
