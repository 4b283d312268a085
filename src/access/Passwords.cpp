#include "access/Passwords.h"

#include <QByteArray>

#include <sodium.h>

namespace velmora {

namespace Passwords {

namespace {

// The cost of one hash: libsodium's interactive limits (64 MiB, a fraction
// of a second), as the sign-in window waits for it.
constexpr unsigned long long Operations = crypto_pwhash_OPSLIMIT_INTERACTIVE;
constexpr size_t Memory = crypto_pwhash_MEMLIMIT_INTERACTIVE;

constexpr int ShortestPassword = 8;

bool ready() {
    static const bool started = sodium_init() >= 0;
    return started;
}

// The UTF-8 bytes of a secret, wiped when they go.
class SecretBytes {
public:
    explicit SecretBytes(const QString& text) : m_bytes(text.toUtf8()) {}
    ~SecretBytes() { sodium_memzero(m_bytes.data(), size_t(m_bytes.size())); }
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;
    const char* data() const { return m_bytes.constData(); }
    unsigned long long size() const { return static_cast<unsigned long long>(m_bytes.size()); }

private:
    QByteArray m_bytes;
};

} // namespace

QString problem(const QString& password) {
    if (password.size() < ShortestPassword)
        return QStringLiteral("رمز بايد دست کم %1 نويسه باشد.").arg(ShortestPassword);
    return QString();
}

bool hash(const QString& password, QString* hashed, QString* error) {
    if (!ready()) {
        *error = QStringLiteral("libsodium could not start");
        return false;
    }
    char out[crypto_pwhash_STRBYTES];
    const SecretBytes secret(password);
    if (crypto_pwhash_str(out, secret.data(), secret.size(), Operations, Memory) != 0) {
        *error = QStringLiteral("the password could not be hashed (out of memory)");
        return false;
    }
    *hashed = QString::fromLatin1(out);
    return true;
}

bool verify(const QString& hashed, const QString& password) {
    if (!ready())
        return false;
    const QByteArray stored = hashed.toLatin1();
    const SecretBytes secret(password);
    return crypto_pwhash_str_verify(stored.constData(), secret.data(), secret.size()) == 0;
}

QString decoy() {
    static const QString made = [] {
        QString hashed, ignored;
        QByteArray random(32, '\0');
        if (ready())
            randombytes_buf(random.data(), size_t(random.size()));
        hash(QString::fromLatin1(random.toHex()), &hashed, &ignored);
        return hashed;
    }();
    return made;
}

} // namespace Passwords

} // namespace velmora
