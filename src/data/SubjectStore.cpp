#include "data/SubjectStore.h"

#include "data/FileStore.h"
#include "data/ServerStore.h"

#include <QSqlDriver>
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
        QSqlDatabase db = connection();
        // A connection that went took its transaction with it.
        if (db.isOpen())
            db.rollback();
    } else {
        runControl(QStringLiteral("ROLLBACK TO SAVEPOINT ") + level.savepoint, &ignored);
        runControl(QStringLiteral("RELEASE SAVEPOINT ") + level.savepoint, &ignored);
    }
}

// How many prepared statements a connection keeps: more than the program
// has, so that none is prepared twice.
constexpr std::size_t PreparedKept = 96;

std::unique_ptr<QSqlQuery> SubjectStore::takePrepared(const QString& sql, QSqlError* error) {
    for (auto it = m_prepared.rbegin(); it != m_prepared.rend(); ++it)
        if (it->sql == sql) {
            std::unique_ptr<QSqlQuery> query = std::move(it->query);
            m_prepared.erase(std::next(it).base());
            return query;
        }
    auto query = std::make_unique<QSqlQuery>(connection());
    query->setForwardOnly(true);
    if (!query->prepare(sql)) {
        *error = query->lastError();
        return nullptr;
    }
    return query;
}

void SubjectStore::keepPrepared(const QString& sql, std::unique_ptr<QSqlQuery> query) {
    if (m_prepared.size() >= PreparedKept)
        m_prepared.erase(m_prepared.begin());
    m_prepared.push_back({sql, std::move(query)});
}

void SubjectStore::forgetPrepared() {
    m_prepared.clear();
}

// ---- StoreQuery --------------------------------------------------------------

StoreQuery::StoreQuery(SubjectStore& store) : m_store(store) {}

StoreQuery::~StoreQuery() {
    release();
}

void StoreQuery::finish() {
    if (m_prepared)
        m_prepared->finish();
    else
        m_plain.finish();
}

void StoreQuery::release() {
    if (!m_prepared)
        return;
    m_prepared->finish();
    // A statement whose connection went is of no use on the next one.
    if (m_failure != StoreFailure::ConnectionLost && m_prepared->driver() &&
        m_prepared->driver()->isOpen())
        m_store.keepPrepared(m_preparedSql, std::move(m_prepared));
    m_prepared.reset();
}

bool StoreQuery::failed(const QSqlError& error) {
    m_failure = m_store.classify(error);
    if (m_failure == StoreFailure::None)
        m_failure = StoreFailure::Other;
    // The transaction the statement failed in ends before anything else is
    // sent; then the failure is described (which may ask the server why).
    m_store.statementFailed();
    m_error = m_store.describe(error);
    return false;
}

bool StoreQuery::exec(const QString& sql, const QVariantList& values) {
    release();
    m_failure = StoreFailure::None;
    m_error.clear();
    const std::unique_ptr<SubjectStore::CallLimit> limit = m_store.limitCall();
    if (values.isEmpty()) {
        m_plain = QSqlQuery(m_store.connection());
        m_plain.setForwardOnly(true);
        return m_plain.exec(sql) || failed(m_plain.lastError());
    }
    // A statement the engine could not prepare (a lock it waited for in
    // vain, say) is reported as such, not as what running nothing gives.
    QSqlError prepareError;
    m_prepared = m_store.takePrepared(sql, &prepareError);
    if (!m_prepared)
        return failed(prepareError);
    m_preparedSql = sql;
    for (int i = 0; i < values.size(); ++i)
        m_prepared->bindValue(i, values.at(i));
    return m_prepared->exec() || failed(m_prepared->lastError());
}

bool StoreQuery::next() {
    const std::unique_ptr<SubjectStore::CallLimit> limit = m_store.limitCall();
    QSqlQuery& q = m_prepared ? *m_prepared : m_plain;
    if (q.next())
        return true;
    if (q.lastError().isValid())
        failed(q.lastError());
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
