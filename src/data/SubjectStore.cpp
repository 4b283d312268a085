#include "data/SubjectStore.h"

#include "data/FileStore.h"
#include "data/ServerStore.h"

#include <QSqlError>

namespace velmora {

namespace {

// The store of the run. It is never destroyed at the program's end: by then
// Qt's own register of connections may be gone, and nothing is left to close.
SubjectStore*& installed() {
    static SubjectStore* store = nullptr;
    return store;
}

} // namespace

StoreSnapshot::~StoreSnapshot() = default;
SubjectStore::CallLimit::~CallLimit() = default;

SubjectStore::~SubjectStore() = default;

SubjectStore& SubjectStore::current() {
    SubjectStore*& store = installed();
    if (!store)
        store = file().release();
    return *store;
}

void SubjectStore::install(std::unique_ptr<SubjectStore> store) {
    SubjectStore*& slot = installed();
    delete slot;
    slot = store.release();
}

std::unique_ptr<SubjectStore> SubjectStore::file() {
    return std::make_unique<FileStore>();
}

std::unique_ptr<SubjectStore> SubjectStore::server(const StoreUrl& url) {
    return std::make_unique<ServerStore>(url);
}

bool SubjectStore::runControl(const QString& sql, QString* error) {
    const std::unique_ptr<CallLimit> limit = limitCall();
    QSqlQuery q(connection());
    if (q.exec(sql))
        return true;
    *error = describe(q.lastError());
    return false;
}

void SubjectStore::statementFailed() {
    if (m_levels.isEmpty() || m_levels.last().failed)
        return;
    Level& level = m_levels.last();
    level.failed = true;
    QString ignored;
    if (level.savepoint.isEmpty()) {
        // Nothing more is sent into a transaction the engine has given up on.
        const std::unique_ptr<CallLimit> limit = limitCall();
        connection().rollback();
    } else {
        runControl(QStringLiteral("ROLLBACK TO SAVEPOINT ") + level.savepoint, &ignored);
        runControl(QStringLiteral("RELEASE SAVEPOINT ") + level.savepoint, &ignored);
    }
}

// ---- StoreQuery --------------------------------------------------------------

StoreQuery::StoreQuery(SubjectStore& store) : m_store(store), m_query(store.connection()) {
    m_query.setForwardOnly(true);
}

bool StoreQuery::failed(const QSqlError& error) {
    m_failure = m_store.classify(error);
    if (m_failure == StoreFailure::None)
        m_failure = StoreFailure::Other;
    m_error = m_store.describe(error);
    m_store.statementFailed();
    return false;
}

bool StoreQuery::exec(const QString& sql, const QVariantList& values) {
    m_failure = StoreFailure::None;
    m_error.clear();
    const std::unique_ptr<SubjectStore::CallLimit> limit = m_store.limitCall();
    if (values.isEmpty())
        return m_query.exec(sql) || failed(m_query.lastError());
    // A statement the engine could not prepare (a lock it waited for in
    // vain, say) is reported as such, not as what running nothing gives.
    if (!m_query.prepare(sql))
        return failed(m_query.lastError());
    for (const QVariant& v : values)
        m_query.addBindValue(v);
    return m_query.exec() || failed(m_query.lastError());
}

bool StoreQuery::next() {
    const std::unique_ptr<SubjectStore::CallLimit> limit = m_store.limitCall();
    if (m_query.next())
        return true;
    if (m_query.lastError().isValid())
        failed(m_query.lastError());
    return false;
}

// ---- StoreTransaction --------------------------------------------------------

StoreTransaction::StoreTransaction(SubjectStore& store, Mode mode) : m_store(store) {
    const bool outermost = store.m_levels.isEmpty();
    SubjectStore::Level level;
    bool ok;
    if (outermost) {
        const std::unique_ptr<SubjectStore::CallLimit> limit = store.limitCall();
        QSqlDatabase db = store.connection();
        QSqlQuery q(db);
        ok = q.exec(store.beginSql(mode));
        if (!ok) {
            m_failure = store.classify(q.lastError());
            m_error = store.describe(q.lastError());
        }
    } else {
        level.savepoint = QStringLiteral("\"s%1\"").arg(++store.m_savepoints);
        ok = store.runControl(QStringLiteral("SAVEPOINT ") + level.savepoint, &m_error);
        if (!ok)
            m_failure = StoreFailure::Other;
    }
    if (!ok)
        return;
    store.m_levels.append(level);
    m_level = int(store.m_levels.size()) - 1;
}

StoreTransaction::~StoreTransaction() {
    rollback();
}

bool StoreTransaction::commit() {
    if (m_level < 0)
        return false;
    // Transactions end innermost first; one left open inside this one is
    // taken back with it.
    while (m_store.m_levels.size() > m_level + 1)
        m_store.m_levels.removeLast();
    if (m_store.m_levels.size() <= m_level) {
        // The connection went, and the transaction with it.
        m_level = -1;
        m_failure = StoreFailure::ConnectionLost;
        if (m_error.isEmpty())
            m_error = m_store.describe(QSqlError());
        return false;
    }
    const SubjectStore::Level level = m_store.m_levels.at(m_level);
    if (level.failed) {
        m_store.m_levels.removeLast();
        m_level = -1;
        if (m_error.isEmpty())
            m_error = QStringLiteral("a statement of the transaction failed");
        if (m_failure == StoreFailure::None)
            m_failure = StoreFailure::Other;
        return false;
    }
    bool ok;
    if (level.savepoint.isEmpty()) {
        const std::unique_ptr<SubjectStore::CallLimit> limit = m_store.limitCall();
        QSqlDatabase db = m_store.connection();
        ok = db.commit();
        if (!ok) {
            m_failure = m_store.classify(db.lastError());
            m_error = m_store.describe(db.lastError());
            db.rollback();
        }
    } else {
        ok = m_store.runControl(QStringLiteral("RELEASE SAVEPOINT ") + level.savepoint, &m_error);
        if (!ok) {
            m_failure = StoreFailure::Other;
            m_store.statementFailed();
        }
    }
    m_store.m_levels.removeLast();
    m_level = -1;
    return ok;
}

void StoreTransaction::rollback() {
    if (m_level < 0)
        return;
    while (m_store.m_levels.size() > m_level + 1)
        m_store.m_levels.removeLast();
    if (m_store.m_levels.size() > m_level) {
        m_store.statementFailed(); // rolls back unless already rolled back
        m_store.m_levels.removeLast();
    }
    m_level = -1;
}

} // namespace velmora
