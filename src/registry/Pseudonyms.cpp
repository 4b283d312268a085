#include "registry/Pseudonyms.h"

#include "data/Database.h"
#include "data/SubjectStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>

#include <sodium.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr std::size_t HexBytes = ClinicSecret::Bytes * 2;

constexpr mode_t OwnerOnly = S_IRUSR | S_IWUSR;

// The server's table of the secret, all its SQL in one place: made when
// missing, with one row, written once and only read after that.
const char* const CreateKeyTable = "CREATE TABLE IF NOT EXISTS \"ResearchKey\" "
                                   "(\"ID\" INTEGER PRIMARY KEY, \"Secret\" TEXT NOT NULL)";
const char* const InsertKey = "INSERT INTO \"ResearchKey\" (\"ID\", \"Secret\") VALUES (1, ?) "
                              "ON CONFLICT (\"ID\") DO NOTHING";
const char* const SelectKey = "SELECT \"Secret\" FROM \"ResearchKey\" WHERE \"ID\" = 1";

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

QString systemText(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
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

// A new secret as hexadecimal text, for storing.
QByteArray newSecretHex() {
    unsigned char secret[ClinicSecret::Bytes];
    randombytes_buf(secret, sizeof secret);
    QByteArray hex(int(HexBytes + 1), '\0');
    sodium_bin2hex(hex.data(), size_t(hex.size()), secret, sizeof secret);
    sodium_memzero(secret, sizeof secret);
    hex.chop(1);
    return hex;
}

void wipe(QByteArray* bytes) {
    if (!bytes->isEmpty())
        sodium_memzero(bytes->data(), size_t(bytes->size()));
    bytes->clear();
}

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

// Reads the key file; ENOENT when there is none. Owner-only, whatever a
// copy or an editor left it with.
int readKeyFile(const QString& path, QByteArray* text) {
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return errno;
    struct stat st;
    if (::fstat(fd, &st) == 0 && (st.st_mode & 077) != 0)
        ::fchmod(fd, OwnerOnly);
    char buffer[256];
    ssize_t got;
    do {
        got = ::read(fd, buffer, sizeof buffer);
    } while (got < 0 && errno == EINTR);
    const int code = got < 0 ? errno : 0;
    ::close(fd);
    if (got > 0)
        *text = QByteArray(buffer, int(got));
    sodium_memzero(buffer, sizeof buffer);
    return code;
}

// Writes a new key file whole, or leaves the one another process wrote first:
// the new secret goes to a part file that is linked to the final name, which
// fails when the name is taken. Returns 0 or the system's error code.
int makeKeyFile(const QString& path) {
    const QFileInfo target(path);
    const QString part = target.dir().filePath(
        QStringLiteral(".%1.%2.part")
            .arg(target.fileName())
            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    const int fd =
        ::open(encoded(part).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, OwnerOnly);
    if (fd < 0)
        return errno;
    QByteArray hex = newSecretHex();
    hex.append('\n');
    int code = 0;
    if (::fchmod(fd, OwnerOnly) != 0) {
        code = errno;
    } else {
        const ssize_t put = ::write(fd, hex.constData(), size_t(hex.size()));
        if (put != ssize_t(hex.size()))
            code = put < 0 ? errno : ENOSPC;
    }
    wipe(&hex);
    if (code == 0 && ::fsync(fd) != 0)
        code = errno;
    if (::close(fd) != 0 && code == 0)
        code = errno;
    if (code == 0 && ::link(encoded(part).constData(), encoded(path).constData()) != 0 &&
        errno != EEXIST)
        code = errno;
    ::unlink(encoded(part).constData());
    if (code == 0) {
        const int folder =
            ::open(encoded(target.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
    }
    return code;
}

bool loadFromFile(unsigned char* secret, QString* error) {
    const QString path = ClinicSecret::filePath();
    const QString where = QDir::toNativeSeparators(path);
    QByteArray text;
    int code = readKeyFile(path, &text);
    if (code == ENOENT) {
        code = makeKeyFile(path);
        if (code != 0) {
            *error = madeMessage(where, systemText(code));
            return false;
        }
        code = readKeyFile(path, &text);
    }
    if (code != 0) {
        *error = damagedMessage(where, systemText(code));
        return false;
    }
    const bool read = fromHex(text, secret);
    wipe(&text);
    if (!read)
        *error = damagedMessage(where, QStringLiteral("the file does not hold a key"));
    return read;
}

bool selectServerKey(QSqlDatabase& db, QByteArray* text, bool* found, QString* error) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QString::fromLatin1(SelectKey))) {
        *error = q.lastError().text();
        return false;
    }
    *found = q.next();
    if (*found)
        *text = q.value(0).toString().toLatin1();
    return true;
}

bool loadFromServer(unsigned char* secret, QString* error) {
    const QString where = Database::subjectServerName();
    QSqlDatabase db = Database::connection(DbFile::Subjects);
    QByteArray text;
    bool found = false;
    QString detail;
    if (!selectServerKey(db, &text, &found, &detail) || !found) {
        // Made when missing. Two workstations may both try: the table is made
        // once (a second CREATE may fail, which the SELECT below settles) and
        // the row is the first one written.
        QSqlQuery make(db);
        make.exec(QString::fromLatin1(CreateKeyTable));
        QByteArray hex = newSecretHex();
        QSqlQuery insert(db);
        insert.prepare(QString::fromLatin1(InsertKey));
        insert.addBindValue(QString::fromLatin1(hex));
        wipe(&hex);
        const bool inserted = insert.exec();
        if (!inserted)
            detail = insert.lastError().text();
        insert.finish();
        if (!selectServerKey(db, &text, &found, &detail) || !found) {
            *error = madeMessage(where, detail);
            return false;
        }
    }
    const bool read = fromHex(text, secret);
    wipe(&text);
    if (!read)
        *error = damagedMessage(where, QStringLiteral("table ResearchKey does not hold a key"));
    return read;
}

} // namespace

ClinicSecret::~ClinicSecret() {
    sodium_memzero(m_bytes.data(), m_bytes.size());
}

QString ClinicSecret::filePath() {
    return QDir::current().absoluteFilePath(QStringLiteral("research.key"));
}

bool ClinicSecret::load(QString* error) {
    QString detail;
    if (sodium_init() < 0) {
        detail = QStringLiteral("کتابخانه رمزنگاري آماده نشد.");
    } else {
        m_loaded = Database::subjectsOnServer() ? loadFromServer(m_bytes.data(), &detail)
                                                : loadFromFile(m_bytes.data(), &detail);
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
