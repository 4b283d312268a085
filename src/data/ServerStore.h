#pragma once

#include "data/StoreUrl.h"
#include "data/SubjectStore.h"

#include <memory>

namespace velmora {

// The subject tables on a PostgreSQL server that several workstations share.
// The settings file DBM/DB.mdb stays on each workstation.
//
// No call to the server waits without limit: connecting gives up after
// ConnectSeconds, and a statement that has had no answer for CallSeconds
// (a server that hangs, a cable that was cut) has its connection cut, fails as
// a lost connection, and the next statement connects again.
class ServerStore : public SubjectStore {
public:
    static constexpr int ConnectSeconds = 10;
    static constexpr int CallSeconds = 12;

    explicit ServerStore(const StoreUrl& url);
    ~ServerStore() override;

    bool open(QString* error) override;
    void close() override;
    QString displayName() const override;
    QString failureMessage(const QString& detail) const override;
    QSqlDatabase connection() override;
    StoreFailure classify(const QSqlError& error) const override;
    QString describe(const QSqlError& error) const override;

    QString keyColumnSql() const override;
    QString keyTypeSql() const override;
    QString sameValueSql(const QString& quotedColumn) const override;
    QStringList codeKeyTriggerSql() const override;

    bool release(QString* why) override;
    std::unique_ptr<StoreSnapshot> snapshot(const QString& scratchFolder,
                                            const CopyProgress& progress, QString* error) override;
    bool replaceWith(const QString& path, const CopyProgress& progress, QString* error) override;
    QString stagingFolder() const override;
    QList<Workstation> otherWorkstations(QString* error) override;
    QFuture<QString> checkInBackground() override;
    void catchUp() override;

    // The URL the store was chosen with (its password, if any, included).
    const StoreUrl& url() const { return m_url; }
    // The name this workstation gives itself on the server.
    static QString workstationName();

protected:
    QString beginSql(TransactionMode mode) const override;
    std::unique_ptr<CallLimit> limitCall() override;

private:
    class Watchdog;
    struct Limit;

    QSqlDatabase connectionAsItIs() const;
    void listenForRestores(QSqlDatabase& db);
    bool exportTo(const QString& path, const CopyProgress& progress, QString* error);
    QString busyText() const;

    StoreUrl m_url;
    QString m_connectionName;
    std::unique_ptr<Watchdog> m_watchdog;
};

} // namespace velmora
