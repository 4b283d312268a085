#include "support/StoppableServer.h"

#include "data/Database.h"
#include "data/SubjectStore.h"

#include <unistd.h>

namespace velmora {

void StoppableServer::begin() {
    m_database = QStringLiteral("velmora_store_%1_%2").arg(::getpid()).arg(++m_case);
    PgTestServer::createDatabase(m_database);
}

void StoppableServer::end() {
    server.thaw();
    Database::closeAll();
    SubjectStore::install(SubjectStore::file());
    PgTestServer::dropDatabase(m_database);
}

StoreUrl StoppableServer::url() const {
    StoreUrl url;
    url.database = m_database;
    return url;
}

bool StoppableServer::openStore(QString* error) {
    SubjectStore::install(SubjectStore::server(url()));
    QString message;
    const bool ok = Database::openAll(&message);
    if (error)
        *error = message;
    return ok;
}

} // namespace velmora
