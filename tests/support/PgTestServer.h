#pragma once

#include <QString>
#include <QtTest>

// The throwaway PostgreSQL server a test program talks to through the libpq
// variables (PGHOST, PGPORT, PGUSER, PGDATABASE). The test command starts one
// for the whole run and exports them with VELMORA_TEST_PG=1; a test program
// started on its own starts a server of its own with
// scripts/pg-test-server.sh and stops it again when it ends.
class PgTestServer {
public:
    enum class Status {
        Ready,
        Unavailable, // PostgreSQL or Qt's QPSQL driver is not installed here
        Failed,      // installed, but no server could be started or reached
    };

    // A private server is always this object's own, even where the test
    // command's is in the environment, so it can be paused without harming
    // other test programs; its variables then replace the shared one's.
    enum class Kind { Shared, Private };
    explicit PgTestServer(Kind kind = Kind::Shared) : m_kind(kind) {}
    ~PgTestServer();
    PgTestServer(const PgTestServer&) = delete;
    PgTestServer& operator=(const PgTestServer&) = delete;

    // Makes a server reachable through the libpq variables (starting one the
    // first time if the environment names none); the reason when not.
    Status ensure(QString* why);

    // A server that is missing is a failure rather than a skip in CI and
    // whenever the test command said it started one.
    static bool required();

    // Stops this object's own server and starts it again with the same port
    // and data: sessions on it are lost, as when the clinic's server restarts.
    bool pause();
    bool resume();

    // Stops the server's processes where they stand (SIGSTOP to the postmaster
    // and every backend), as a machine that hangs or a cut cable looks to a
    // client: connections stay open and nothing answers. thaw() lets them go
    // on (SIGCONT).
    bool freeze();
    bool thaw();

    // The superuser, trusted on the socket and on 127.0.0.1: for fixtures
    // that make roles or end other sessions.
    static QString adminUser();
    // Members of this group role must give a password.
    static QString passwordGroup();
    // psql as the superuser on database, stopping at the first error; true
    // when every statement ran.
    static bool psqlAsAdmin(const QString& database, const QStringList& arguments);

    // A new, empty database for one test case (owned by the libpq variables'
    // user), and its removal with every session still on it.
    static void createDatabase(const QString& name);
    static void dropDatabase(const QString& name);

private:
    Kind m_kind = Kind::Shared;
    QString m_ownDir;  // the server this object started, if any
    QString m_failure; // why starting one failed; not tried again
};

// In a test function: the server is reachable, or the function ends: with a
// failure where a server must run, with a skip on a machine without PostgreSQL.
#define VELMORA_REQUIRE_PG(server)                                                                 \
    do {                                                                                           \
        QString pgWhy_;                                                                            \
        const PgTestServer::Status pgStatus_ = (server).ensure(&pgWhy_);                           \
        if (pgStatus_ == PgTestServer::Status::Failed ||                                           \
            (pgStatus_ == PgTestServer::Status::Unavailable && PgTestServer::required()))          \
            QFAIL(qPrintable(pgWhy_));                                                             \
        if (pgStatus_ == PgTestServer::Status::Unavailable)                                        \
            QSKIP(qPrintable(pgWhy_));                                                             \
    } while (false)
