#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

namespace velmora {

// The bytes of a secret (an identity, a passphrase): never copied by
// accident, and overwritten before their memory is given back.
class Secret {
public:
    Secret() = default;
    explicit Secret(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    // The UTF-8 of text; text itself is overwritten and emptied.
    static Secret takeText(QString* text);
    Secret(Secret&& other) noexcept : m_bytes(std::move(other.m_bytes)) { other.m_bytes.clear(); }
    Secret& operator=(Secret&& other) noexcept;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { clear(); }

    const QByteArray& bytes() const { return m_bytes; }
    bool isEmpty() const { return m_bytes.isEmpty(); }
    bool operator==(const Secret& other) const;
    void append(const char* data, qsizetype size);
    void clear();

private:
    QByteArray m_bytes;
};

// Overwrites the characters of text and empties it.
void wipeText(QString* text);

// The stock `age` and `age-keygen` programs of the Debian package `age`
// (1.1), run as child processes: every sealing and opening of a backup and of
// the clinic key is theirs, so every sealed file opens with the stock programs
// on any computer.
//
// What crosses to them and how: public keys ("age1...") and nothing else as
// arguments; files as descriptors the child inherits as its standard input
// and output; an identity through a pipe, written whole before the child
// starts (`age -i /dev/fd/3`, or standard input for `age-keygen -y`); a
// passphrase typed on a pseudo-terminal of ours that is the child's
// controlling terminal (/dev/tty is the only place age reads one from), only
// once age has turned the terminal's echo off. Nothing secret is ever written
// to a disk or put in an argument list.
//
// Each run has a time limit; a program that overruns it is killed. A failure
// gives a Persian sentence and, on the next line, the program's own words
// (its standard error).
namespace AgeTool {

enum class Failure {
    None,
    Missing, // age or age-keygen is not installed
    WrongPassphrase,
    NoMatchingKey, // the file is sealed to another key
    Damaged,       // not an age file, or damaged or truncated
    TimedOut,
    Other,
};

// Empty when age and age-keygen are both found on the PATH; otherwise a
// Persian sentence with the plain English and the way to install them.
QString missingTools();

// Time limits, in milliseconds: a key made or read, a passphrase's scrypt
// (about a second here; age caps the work it accepts), and a file of size
// bytes sealed or opened (generous: a USB stick may write at 2 MB/s).
constexpr int KeyTimeoutMs = 30000;
constexpr int PassphraseTimeoutMs = 120000;
int fileTimeoutMs(qint64 size);

// A new key pair (age-keygen): the identity ("AGE-SECRET-KEY-1...") and its
// public key ("age1...").
bool generate(Secret* identity, QString* recipient, QString* why);

// The public key of an identity (age-keygen -y); false when it is not one.
bool recipientOf(const Secret& identity, QString* recipient, QString* why);

// data sealed with passphrase as an age passphrase file (scrypt; age -p).
bool sealWithPassphrase(const Secret& data, const Secret& passphrase, QByteArray* sealed,
                        QString* why);

// The contents of the age passphrase file sealed (bytes, not a path), opened
// with passphrase. A wrong passphrase fails with Failure::WrongPassphrase.
bool openWithPassphrase(const QByteArray& sealed, const Secret& passphrase, Secret* data,
                        Failure* failure, QString* why);

// Seals the descriptor in (read from where it stands to its end) to every
// recipient, writing the age file to the descriptor out.
bool encrypt(int in, int out, const QStringList& recipients, int timeoutMs, QString* why);

// Opens the age file read from the descriptor in with identity. The plain
// bytes go to the descriptor out, or, when out is -1, to sink, chunk by
// chunk; a sink that returns false stops the run (a failure, Failure::Other,
// with why left as the sink set it). A truncated or damaged file fails even
// after part of it was written: the caller throws away what it got.
using Sink = std::function<bool(const char* data, qsizetype size, QString* why)>;
bool decrypt(int in, int out, const Sink& sink, const Secret& identity, int timeoutMs,
             Failure* failure, QString* why);

} // namespace AgeTool

} // namespace velmora
