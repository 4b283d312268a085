#pragma once

#include "data/StoreUrl.h"
#include "support/PgTestServer.h"

#include <QString>

namespace velmora {

// A server of the test program's own, with a fresh database for each case,
// for tests that stop the server: stopping it harms no other test program.
class StoppableServer {
public:
    PgTestServer server{PgTestServer::Kind::Private};

    // A new database for the case; end() drops it again, after thawing the
    // server and closing the run's connections.
    void begin();
    void end();
    const QString& database() const { return m_database; }
    StoreUrl url() const;
    // The case's database as the run's subject store, both databases opened.
    bool openStore(QString* error = nullptr);

private:
    QString m_database;
    int m_case = 0;
};

} // namespace velmora
