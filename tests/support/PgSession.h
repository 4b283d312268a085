#pragma once

#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

// A session of its own on a database of the test server, as another
// workstation or the clinic's IT has one: for storing rows the program did not
// store, reading back what it stored, and holding locks.
class PgSession {
public:
    explicit PgSession(const QString& database,
                       const QString& name = QStringLiteral("second-workstation"),
                       const QString& user = QString());
    ~PgSession();
    PgSession(const PgSession&) = delete;
    PgSession& operator=(const PgSession&) = delete;

    // Values are bound in order. A statement that fails is reported on the
    // test's output and its query returned as it is, for tests that expect
    // a failure; rows() and value() end the program instead.
    QSqlQuery run(const QString& sql, const QVariantList& values = {});
    QList<QStringList> rows(const QString& sql, const QVariantList& values = {});
    QString value(const QString& sql, const QVariantList& values = {});

private:
    QSqlQuery exec(const QString& sql, const QVariantList& values, bool* ok);
    QString m_name;
};
