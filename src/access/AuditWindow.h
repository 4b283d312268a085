#pragma once

#include "data/AuditTrail.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QFutureWatcher>
#include <atomic>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace velmora {

class DataControl;
class SkinEngine;
class SkinLabel;

// The entries the audit window lists, newest first, read a block at a time
// as the grid scrolls: opening costs the same for a hundred entries or a
// million, and no query stays open in between.
class AuditRowsModel : public QAbstractTableModel {
public:
    AuditRowsModel(std::function<QSqlDatabase()> connection, QObject* parent);

    // Lists the entries matching filter from the newest. False when the
    // trail could not be read (lastError() says why).
    bool show(const AuditTrail::Filter& filter);
    const AuditTrail::Filter& filter() const { return m_filter; }
    const AuditEntry& entry(int row) const { return m_rows.at(row); }
    QString lastError() const { return m_error; }
    std::function<void(const QString&)> onFailure;

    static QStringList captions();
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    bool readBlock(QList<AuditEntry>* block);

    std::function<QSqlDatabase()> m_connection;
    AuditTrail::Filter m_filter;
    QList<AuditEntry> m_rows;
    bool m_atEnd = true;
    QString m_error;
};

// The audit window, for admins: the trail newest first, narrowed by a
// subject's code, an operator and a range of solar dates; the state of the
// chain, checked in the background as the window opens; and the entries
// shown written to a CSV file. It only reads.
class AuditWindow : public QDialog {
    Q_OBJECT
public:
    explicit AuditWindow(QWidget* parent = nullptr);
    ~AuditWindow() override;

    // Opens the window modally over owner for an admin (the opening is
    // recorded); anyone else is told who may.
    static void showModal(QWidget* owner);

    // --- Handlers ---
    void showClick();
    void exportClick();
    void closeClick();

    // True once the chain's check has ended and chainLabel says how it went.
    bool chainChecked() const;
    AuditRowsModel* rows() const { return m_rows; }

    DataControl* Adodc1 = nullptr; // Theme
    SkinEngine* Skin1 = nullptr;
    QLineEdit* Text1 = nullptr; // theme number (hidden)
    QLineEdit* codeBox = nullptr;
    QLineEdit* operatorBox = nullptr;
    QLineEdit* fromBox = nullptr;
    QLineEdit* toBox = nullptr;
    QPushButton* showButton = nullptr;
    QTableView* auditGrid = nullptr;
    SkinLabel* chainLabel = nullptr;
    QPushButton* exportButton = nullptr;
    QPushButton* closeButton = nullptr;

private:
    void startChainCheck();
    void reportFailure(const QString& detail);

    std::unique_ptr<AuditTrail::Reader> m_reader;
    AuditRowsModel* m_rows = nullptr;
    QFutureWatcher<AuditVerdict> m_check;
    std::shared_ptr<std::atomic_bool> m_stop;
    bool m_chainShown = false;
};

} // namespace velmora
