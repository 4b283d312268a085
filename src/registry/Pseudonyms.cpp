#include "registry/Pseudonyms.h"

#include "data/ResearchKeyFile.h"
#include "data/SubjectStore.h"

#include <sodium.h>

namespace velmora {

namespace {

constexpr std::size_t HexBytes = ClinicSecret::Bytes * 2;

// What a pseudonym is the hash of: a label of its own, then the code, so the
// secret could key other hashes later without their ever meeting these.
const char Domain[] = "velmora research pseudonym 1";

QString damagedMessage(const QString& where, const QString& detail) {
    return QStringLiteral("کليد پژوهشي درمانگاه (%1) خوانده نشد؛ بدون آن نام هاي مستعار با "
                          "خروجي هاي پيشين يکي نمي شوند، پس خروجي ساخته نشد.\n\n%2")
        .arg(where, detail);
}

QString madeMessage(const QString& where, const QString& detail) {
    return QStringLiteral("کليد پژوهشي درمانگاه (%1) ساخته نشد.\n\n%2").arg(where, detail);
}

// The secret from its hexadecimal text (blanks around it allowed).
bool fromHex(const QByteArray& text, unsigned char* secret) {
    const QByteArray hex = text.trimmed();
    if (hex.size() != int(HexBytes))
        return false;
    size_t length = 0;
    return sodium_hex2bin(secret, ClinicSecret::Bytes, hex.constData(), HexBytes, nullptr, &length,
                          nullptr) == 0 &&
           length == ClinicSecret::Bytes;
}

// A new secret as one line of hexadecimal text, for keeping.
QByteArray newSecretText() {
    unsigned char secret[ClinicSecret::Bytes];
    randombytes_buf(secret, sizeof secret);
    QByteArray hex(int(HexBytes + 1), '\0');
    sodium_bin2hex(hex.data(), size_t(hex.size()), secret, sizeof secret);
    sodium_memzero(secret, sizeof secret);
    hex.chop(1);
    hex.append('\n');
    return hex;
}

void wipe(QByteArray* bytes) {
    if (!bytes->isEmpty())
        sodium_memzero(bytes->data(), size_t(bytes->size()));
    bytes->clear();
}

} // namespace

ClinicSecret::~ClinicSecret() {
    sodium_memzero(m_bytes.data(), m_bytes.size());
}

QString ClinicSecret::filePath() {
    return ResearchKeyFile::path();
}

bool ClinicSecret::load(QString* error) {
    QString detail;
    if (sodium_init() < 0) {
        detail = QStringLiteral("کتابخانه رمزنگاري آماده نشد.");
    } else {
        QByteArray text;
        QString where;
        switch (SubjectStore::current().researchKey(newSecretText, &text, &where, &detail)) {
        case SubjectStore::KeyOutcome::Read:
            m_loaded = fromHex(text, m_bytes.data());
            if (!m_loaded)
                detail = damagedMessage(where, QStringLiteral("no key is kept there"));
            break;
        case SubjectStore::KeyOutcome::NotKept:
            detail = madeMessage(where, detail);
            break;
        case SubjectStore::KeyOutcome::NotRead:
            detail = damagedMessage(where, detail);
            break;
        }
        wipe(&text);
    }
    if (!m_loaded && error)
        *error = detail;
    return m_loaded;
}

Pseudonymiser::Pseudonymiser(const ClinicSecret& secret)
    : m_keyed(std::make_unique<crypto_auth_hmacsha256_state>()) {
    crypto_auth_hmacsha256_init(m_keyed.get(), secret.bytes(), ClinicSecret::Bytes);
    crypto_auth_hmacsha256_update(m_keyed.get(), reinterpret_cast<const unsigned char*>(Domain),
                                  sizeof Domain);
}

Pseudonymiser::~Pseudonymiser() {
    sodium_memzero(m_keyed.get(), sizeof(crypto_auth_hmacsha256_state));
}

Pseudonymiser::Subject Pseudonymiser::of(const char* code, std::size_t size) const {
    crypto_auth_hmacsha256_state state = *m_keyed;
    crypto_auth_hmacsha256_update(&state, reinterpret_cast<const unsigned char*>(code), size);
    unsigned char hash[crypto_auth_hmacsha256_BYTES];
    crypto_auth_hmacsha256_final(&state, hash);
    Subject subject;
    sodium_bin2hex(subject.pseudonym, sizeof subject.pseudonym, hash, PseudonymLength / 2);
    // The shift from the far end of the hash, apart from the pseudonym's bytes.
    const quint32 draw = quint32(hash[28]) | quint32(hash[29]) << 8 | quint32(hash[30]) << 16 |
                         quint32(hash[31]) << 24;
    subject.shiftDays = int(draw % LongestShift) + 1;
    sodium_memzero(&state, sizeof state);
    sodium_memzero(hash, sizeof hash);
    return subject;
}

} // namespace velmora
