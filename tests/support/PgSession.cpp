#include "support/PgSession.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlRecord>
#include <QVariant>

PgSession::PgSession(const QString& database, const QString& name, const QString& user)
    : m_name(name) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setDatabaseName(database);
    if (!user.isEmpty())
        db.setUserName(user);
    if (!db.open())
        qFatal("%s: %s", qPrintable(name), qPrintable(db.lastError().text()));
}

PgSession::~PgSession() {
    QSqlDatabase::database(m_name, false).close();
    QSqlDatabase::removeDatabase(m_name);
}

QSqlQuery PgSession::exec(const QString& sql, const QVariantList& values, bool* ok) {
    // The server prepares what it is given, and prepares no DDL: statements
    // without values run as they are.
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    if (values.isEmpty()) {
        *ok = q.exec(sql);
    } else {
        q.prepare(sql);
        for (const QVariant& v : values)
            q.addBindValue(v);
        *ok = q.exec();
    }
    return q;
}

QSqlQuery PgSession::run(const QString& sql, const QVariantList& values) {
    bool ok = false;
    QSqlQuery q = exec(sql, values, &ok);
    if (!ok)
        qWarning("%s: %s", qPrintable(m_name), qPrintable(q.lastError().text()));
    return q;
}

QList<QStringList> PgSession::rows(const QString& sql, const QVariantList& values) {
    bool ok = false;
    QSqlQuery q = exec(sql, values, &ok);
    if (!ok)
        qFatal("%s: %s: %s", qPrintable(m_name), qPrintable(sql), qPrintable(q.lastError().text()));
    QList<QStringList> result;
    while (q.next()) {
        QStringList row;
        for (int i = 0; i < q.record().count(); ++i)
            row.append(q.value(i).toString());
        result.append(row);
    }
    return result;
}

QString PgSession::value(const QString& sql, const QVariantList& values) {
    const QList<QStringList> r = rows(sql, values);
    return r.isEmpty() || r.first().isEmpty() ? QString() : r.first().first();
}
