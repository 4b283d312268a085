#pragma once

#include <QList>
#include <QPair>
#include <QString>

class QSqlDatabase;

namespace velmora {

// A PostgreSQL server that keeps the subject tables, as named by a URL of the form
//   postgresql://[user[:password]@][host][:port]/[dbname][?keyword=value&...]
// (also postgres://). A part left out stays empty (port: -1), so that libpq
// fills it the way every PostgreSQL client does: PGHOST, PGPORT, PGUSER,
// PGPASSWORD, PGDATABASE, ~/.pgpass, a service file (?service=name or
// PGSERVICE), and its built-in defaults. Velmora itself never stores a password.
struct StoreUrl {
    QString driver = QStringLiteral("QPSQL");
    QString host; // a host name, an address (IPv6 without brackets) or a socket folder
    int port = -1;
    QString user;
    QString password;
    QString database;
    // Further libpq keywords from the query (sslmode, connect_timeout, service,
    // application_name, ...) in the order given; a repeated keyword keeps its
    // last value, as in libpq.
    QList<QPair<QString, QString>> options;

    QString option(const QString& keyword) const;
    bool operator==(const StoreUrl& other) const;
    bool operator!=(const StoreUrl& other) const { return !(*this == other); }
};

// Reads a store URL: percent-decoding (UTF-8), an IPv6 host in brackets, a
// socket folder as the host (percent-encoded) or as ?host=, and host, port,
// user, password and dbname also as query keywords. Only one server may be
// named. False, with a Persian message that never repeats the URL (it may hold
// a password), when the text is not such a URL.
bool parseStoreUrl(const QString& text, StoreUrl* url, QString* error);

// The options in the form QSqlDatabase::setConnectOptions() passes to libpq.
QString storeConnectOptions(const StoreUrl& url);

// Sets the connection's host, port, user, password, database and options to
// the URL's, clearing what the URL leaves out so libpq supplies it. The
// connection must use url.driver; open it afterwards.
void applyStoreUrl(const StoreUrl& url, QSqlDatabase& db);

// The store as a URL for messages and logs, without the password (nor any
// other secret option), e.g. "postgresql://velmora@db.clinic:5432/velmora".
// It reads back as the same store less its secrets.
QString describeStoreUrl(const StoreUrl& url);

} // namespace velmora
