#include "data/StoreUrl.h"

#include "data/DirectionalText.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QStringDecoder>
#include <QStringList>

namespace velmora {

namespace {

// Why a URL is refused. No reason repeats the URL's text: it may hold a password.
enum class Refusal {
    Empty,
    Scheme,
    Blank,
    Fragment,
    At,
    TwoServers,
    Brackets,
    Port,
    Percent,
    Nul,
    Utf8,
    ParameterForm,
    ParameterName,
    Semicolon,
};

QString reason(Refusal refusal) {
    switch (refusal) {
    case Refusal::Empty:
        return QStringLiteral("نشاني خالي است.");
    case Refusal::Scheme:
        return QStringLiteral("نشاني بايد با postgresql:// يا postgres:// آغاز شود.");
    case Refusal::Blank:
        return QStringLiteral(
            "نشاني نبايد فاصله يا نويسه کنترلي داشته باشد؛ فاصله را %20 بنويسيد.");
    case Refusal::Fragment:
        return QStringLiteral("نشاني نبايد بخش # داشته باشد؛ نويسه # را %23 بنويسيد.");
    case Refusal::At:
        return QStringLiteral("نويسه @ در نام کاربر يا گذرواژه را %40 بنويسيد.");
    case Refusal::TwoServers:
        return QStringLiteral("تنها يک سرور را مي توان نام برد.");
    case Refusal::Brackets:
        return QStringLiteral(
            "نشاني IPv6 بايد ميان [ و ] بيايد و پس از ] تنها دونقطه و شماره درگاه.");
    case Refusal::Port:
        return QStringLiteral("شماره درگاه بايد عددي از 1 تا 65535 باشد.");
    case Refusal::Percent:
        return QStringLiteral("پس از هر % بايد دو رقم مبناي شانزده بيايد؛ خود % را %25 بنويسيد.");
    case Refusal::Nul:
        return QStringLiteral("نويسه %00 پذيرفتني نيست.");
    case Refusal::Utf8:
        return QStringLiteral("نويسه هاي رمزگذاري شده UTF-8 درست نيستند.");
    case Refusal::ParameterForm:
        return QStringLiteral("هر پارامتر پس از ? بايد به شکل نام=مقدار باشد.");
    case Refusal::ParameterName:
        return QStringLiteral("نام پارامتر تنها از حرف هاي کوچک لاتين، رقم و _ است.");
    case Refusal::Semicolon:
        return QStringLiteral("مقدار پارامتر %1 نبايد نقطه ويرگول (;) داشته باشد.");
    }
    return QString();
}

QString malformed(const QString& why) {
    return QStringLiteral("نشاني سرور پايگاه داده درست نيست: ") + why;
}

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Decodes %XX sequences; the bytes together must be UTF-8. Raw letters (a
// Persian database name typed as it is) stay as they are.
bool percentDecode(QStringView text, QString* out, QString* why) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        if (text.at(i) != u'%') {
            qsizetype end = i;
            while (end < text.size() && text.at(end) != u'%')
                ++end;
            bytes += text.mid(i, end - i).toUtf8();
            i = end;
            continue;
        }
        if (i + 2 >= text.size() || !isHexDigit(text.at(i + 1)) || !isHexDigit(text.at(i + 2))) {
            *why = reason(Refusal::Percent);
            return false;
        }
        const char byte = static_cast<char>(text.mid(i + 1, 2).toUInt(nullptr, 16));
        if (byte == '\0') {
            *why = reason(Refusal::Nul);
            return false;
        }
        bytes += byte;
        i += 3;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError()) {
        *why = reason(Refusal::Utf8);
        return false;
    }
    *out = decoded;
    return true;
}

bool parsePort(QStringView text, int* port, QString* why) {
    // The text is never repeated: "user:secret/db" without its "@" would show a password.
    bool ok = text.size() <= 5 && !text.isEmpty();
    for (QChar c : text)
        ok = ok && c >= u'0' && c <= u'9';
    const int value = ok ? text.toInt() : 0;
    if (!ok || value < 1 || value > 65535) {
        *why = reason(Refusal::Port);
        return false;
    }
    *port = value;
    return true;
}

bool singleHost(const QString& host, QString* why) {
    // libpq would try several servers in turn; Velmora keeps its subjects on one.
    if (host.contains(u',')) {
        *why = reason(Refusal::TwoServers);
        return false;
    }
    return true;
}

bool isKeyword(const QString& key) {
    if (key.isEmpty())
        return false;
    for (QChar c : key)
        if (!((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_'))
            return false;
    return true;
}

void setOption(QList<QPair<QString, QString>>* options, const QString& key, const QString& value) {
    for (auto& option : *options)
        if (option.first == key) {
            option.second = value;
            return;
        }
    options->append({key, value});
}

bool parseQuery(QStringView query, StoreUrl* url, QString* why) {
    for (QStringView pair : query.split(u'&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype equals = pair.indexOf(u'=');
        if (equals <= 0) {
            *why = reason(Refusal::ParameterForm);
            return false;
        }
        QString key, value;
        if (!percentDecode(pair.left(equals), &key, why) ||
            !percentDecode(pair.mid(equals + 1), &value, why))
            return false;
        if (!isKeyword(key)) {
            *why = reason(Refusal::ParameterName);
            return false;
        }
        if (key == QLatin1String("host")) {
            if (!singleHost(value, why))
                return false;
            url->host = value;
        } else if (key == QLatin1String("port")) {
            if (!parsePort(value, &url->port, why))
                return false;
        } else if (key == QLatin1String("user")) {
            url->user = value;
        } else if (key == QLatin1String("password")) {
            url->password = value;
        } else if (key == QLatin1String("dbname")) {
            url->database = value;
        } else {
            // Qt turns every ";" of the connect options into a space before libpq reads them.
            if (value.contains(u';')) {
                *why = reason(Refusal::Semicolon).arg(isolatedText(key));
                return false;
            }
            setOption(&url->options, key, value);
        }
    }
    return true;
}

bool parseHostPort(QStringView text, StoreUrl* url, QString* why) {
    QStringView hostText = text;
    QStringView portText;
    bool hasPort = false;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        const QStringView after = close < 0 ? QStringView() : text.mid(close + 1);
        if (close < 0 || (!after.isEmpty() && !after.startsWith(u':'))) {
            *why = reason(Refusal::Brackets);
            return false;
        }
        hostText = text.mid(1, close - 1);
        hasPort = !after.isEmpty();
        portText = after.mid(hasPort ? 1 : 0);
    } else {
        const qsizetype colon = text.indexOf(u':');
        if (colon >= 0) {
            hostText = text.left(colon);
            portText = text.mid(colon + 1);
            hasPort = true;
        }
    }
    if (!percentDecode(hostText, &url->host, why) || !singleHost(url->host, why))
        return false;
    return !hasPort || parsePort(portText, &url->port, why);
}

// A part of a URL written back: the characters that would end the part or
// change its meaning are percent-encoded, every other letter stays readable.
QString encodePart(const QString& text) {
    static const QString special = QStringLiteral("%/@:?#[]&=,;'\"\\");
    QString out;
    for (QChar c : text) {
        if (special.contains(c) || c.isSpace() || c.unicode() < 0x20 || c.unicode() == 0x7f) {
            const QByteArray utf8 = QString(c).toUtf8();
            for (unsigned char byte : utf8)
                out += u'%' + QString::number(byte, 16).rightJustified(2, u'0').toUpper();
        } else {
            out += c;
        }
    }
    return out;
}

// Options that hold secrets of their own and so never appear in a message.
bool isSecretOption(const QString& key) {
    return key == QLatin1String("password") || key == QLatin1String("sslpassword");
}

// A value in libpq's connection-string syntax.
QString quotedOptionValue(QString value) {
    value.replace(u'\\', QLatin1String("\\\\"));
    value.replace(u'\'', QLatin1String("\\'"));
    return u'\'' + value + u'\'';
}

} // namespace

QString StoreUrl::option(const QString& keyword) const {
    for (const auto& option : options)
        if (option.first == keyword)
            return option.second;
    return QString();
}

bool StoreUrl::operator==(const StoreUrl& other) const {
    return driver == other.driver && host == other.host && port == other.port &&
           user == other.user && password == other.password && database == other.database &&
           options == other.options;
}

bool parseStoreUrl(const QString& text, StoreUrl* url, QString* error) {
    auto fail = [error](const QString& why) {
        if (error)
            *error = malformed(why);
        return false;
    };
    // A value from a configuration file or an environment variable may carry
    // blanks or a line end around it.
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return fail(reason(Refusal::Empty));
    const qsizetype schemeEnd = trimmed.indexOf(QLatin1String("://"));
    const QString scheme = schemeEnd < 0 ? QString() : trimmed.left(schemeEnd).toLower();
    if (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres"))
        return fail(reason(Refusal::Scheme));
    const QStringView rest = QStringView(trimmed).mid(schemeEnd + 3);
    for (QChar c : rest)
        if (c.isSpace() || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return fail(reason(Refusal::Blank));
    if (rest.contains(u'#'))
        return fail(reason(Refusal::Fragment));

    StoreUrl parsed;
    QString why;
    const qsizetype queryStart = rest.indexOf(u'?');
    const QStringView beforeQuery = queryStart < 0 ? rest : rest.left(queryStart);
    const qsizetype pathStart = beforeQuery.indexOf(u'/');
    const QStringView authority = pathStart < 0 ? beforeQuery : beforeQuery.left(pathStart);
    const QStringView path = pathStart < 0 ? QStringView() : beforeQuery.mid(pathStart + 1);

    QStringView hostPort = authority;
    const qsizetype at = authority.indexOf(u'@');
    if (at >= 0) {
        if (authority.indexOf(u'@', at + 1) >= 0)
            return fail(reason(Refusal::At));
        const QStringView userInfo = authority.left(at);
        const qsizetype colon = userInfo.indexOf(u':');
        if (!percentDecode(colon < 0 ? userInfo : userInfo.left(colon), &parsed.user, &why) ||
            (colon >= 0 && !percentDecode(userInfo.mid(colon + 1), &parsed.password, &why)))
            return fail(why);
        hostPort = authority.mid(at + 1);
    }
    if (!parseHostPort(hostPort, &parsed, &why) || !percentDecode(path, &parsed.database, &why) ||
        (queryStart >= 0 && !parseQuery(rest.mid(queryStart + 1), &parsed, &why)))
        return fail(why);
    *url = parsed;
    return true;
}

QString storeConnectOptions(const StoreUrl& url) {
    QStringList options;
    for (const auto& option : url.options)
        options.append(option.first + u'=' + quotedOptionValue(option.second));
    return options.join(u';');
}

void applyStoreUrl(const StoreUrl& url, QSqlDatabase& db) {
    // Qt leaves empty parts and port -1 out of the connection string, so libpq
    // supplies them; port 0 would reach libpq and be refused.
    db.setHostName(url.host);
    db.setPort(url.port > 0 ? url.port : -1);
    db.setUserName(url.user);
    db.setPassword(url.password);
    db.setDatabaseName(url.database);
    db.setConnectOptions(storeConnectOptions(url));
}

QString describeStoreUrl(const StoreUrl& url) {
    QString out = QStringLiteral("postgresql://");
    if (!url.user.isEmpty())
        out += encodePart(url.user) + u'@';
    // An IPv6 address goes in brackets; a socket folder has slashes, not colons.
    if (url.host.contains(u':') && !url.host.contains(u'/'))
        out += u'[' + QString(url.host).replace(u'%', QLatin1String("%25")) + u']';
    else
        out += encodePart(url.host);
    if (url.port > 0)
        out += u':' + QString::number(url.port);
    if (!url.database.isEmpty())
        out += u'/' + encodePart(url.database);
    QStringList query;
    for (const auto& option : url.options)
        if (!isSecretOption(option.first))
            query.append(option.first + u'=' + encodePart(option.second));
    if (!query.isEmpty())
        out += u'?' + query.join(u'&');
    return out;
}

} // namespace velmora
