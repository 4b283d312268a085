#pragma once

#include "data/SubjectStore.h"

namespace velmora {

// The subject tables in DBM/DB2.mdb of the data folder, a SQLite file in the
// rollback-journal mode. One workstation works on it at a time; another
// program may read it (a backup tool) and is waited for a while.
class FileStore : public SubjectStore {
public:
    FileStore();
    ~FileStore() override;

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

    // The file's key type and code-key triggers, as every subject file keeps
    // them: a check of a file's schema needs them without a store of its own
    // (a store owns the run's connection).
    static QString fileKeyType();
    static QStringList fileCodeKeyTriggers();

    // The subject file, as an absolute path.
    static QString path();
    // The Persian words for a file another program holds.
    static QString inUseText();

protected:
    QString beginSql(TransactionMode mode) const override;

private:
    // Adds what later versions made to a file of an earlier one.
    void addLaterStructure(QSqlDatabase& db);
};

} // namespace velmora
