#include "access/AuditWindow.h"

#include "access/Access.h"
#include "access/Audit.h"
#include "access/AuditReport.h"
#include "data/DataControl.h"
#include "platform/Platform.h"
#include "ui/AccessibleNames.h"
#include "ui/DataFailures.h"
#include "ui/FieldBinding.h"
#include "ui/FormKit.h"
#include "ui/Notice.h"
#include "ui/SkinLabel.h"
#include "ui/Skins.h"
#include "ui/Twips.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPromise>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <QThreadPool>

namespace velmora {

namespace {

// Entries read per query as the grid scrolls: enough to fill it many times.
constexpr int BlockSize = 256;

enum Column {
    SeqColumn,
    DateColumn,
    TimeColumn,
    WorkstationColumn,
    OperatorColumn,
    ActionColumn,
    CodeColumn,
    OutcomeColumn,
    DetailColumn
};
constexpr int ColumnCount = 9;

} // namespace

AuditRowsModel::AuditRowsModel(std::function<QSqlDatabase()> connection, QObject* parent)
    : QAbstractTableModel(parent), m_connection(std::move(connection)) {}

QStringList AuditRowsModel::captions() {
    return {QStringLiteral("شماره"),  QStringLiteral("تاريخ"), QStringLiteral("ساعت"),
            QStringLiteral("رايانه"), QStringLiteral("کاربر"), QStringLiteral("کار"),
            QStringLiteral("کد"),     QStringLiteral("نتيجه"), QStringLiteral("توضيح")};
}

bool AuditRowsModel::show(const AuditTrail::Filter& filter) {
    beginResetModel();
    m_filter = filter;
    m_rows.clear();
    m_error.clear();
    m_atEnd = false;
    QList<AuditEntry> block;
    const bool ok = readBlock(&block);
    m_rows = block;
    endResetModel();
    return ok;
}

bool AuditRowsModel::readBlock(QList<AuditEntry>* block) {
    QSqlDatabase db = m_connection();
    const qint64 before = m_rows.isEmpty() ? 0 : m_rows.constLast().seq;
    if (!AuditTrail::readBlock(db, m_filter, before, BlockSize, block, &m_error)) {
        m_atEnd = true;
        return false;
    }
    m_atEnd = block->size() < BlockSize;
    return true;
}

int AuditRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int AuditRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant AuditRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size() ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QVariant();
    const AuditEntry& e = m_rows.at(index.row());
    switch (index.column()) {
    case SeqColumn:
        return QString::number(e.seq);
    case DateColumn:
        return AuditReport::solarDateOf(e.time);
    case TimeColumn:
        return AuditReport::clockTimeOf(e.time);
    case WorkstationColumn:
        return e.workstation;
    case OperatorColumn:
        return e.operatorName;
    case ActionColumn:
        return Roles::nameOfKey(e.action);
    case CodeColumn:
        return e.code;
    case OutcomeColumn:
        return Roles::outcomeName(e.outcome);
    case DetailColumn:
        return e.detail;
    default:
        return QVariant();
    }
}

QVariant AuditRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < ColumnCount)
        return captions().at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool AuditRowsModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !m_atEnd;
}

void AuditRowsModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid() || m_atEnd)
        return;
    QList<AuditEntry> block;
    if (!readBlock(&block)) {
        if (onFailure)
            onFailure(m_error);
        return;
    }
    if (block.isEmpty())
        return;
    const int first = int(m_rows.size());
    beginInsertRows(QModelIndex(), first, first + int(block.size()) - 1);
    m_rows += block;
    endInsertRows();
}

namespace {

SkinLabel* makeLabel(const char* name, const QString& caption, QWidget* parent, int left, int top,
                     int width) {
    auto* label = new SkinLabel(QString::fromLatin1(name), caption, parent);
    place(label, left, top, width, 405);
    return label;
}

} // namespace

AuditWindow::AuditWindow(QWidget* parent)
    : QDialog(parent), m_stop(std::make_shared<std::atomic_bool>(false)) {
    setObjectName(QStringLiteral("AuditWindow"));
    setWindowTitle(QStringLiteral("رويدادنگار"));
    setClientSize(this, 12600, 8400);
    setFont(formFont());

    Adodc1 = makeDataControl(QStringLiteral("Theme"), this, QStringLiteral("Adodc1"));
    Skin1 = new SkinEngine(this);
    Text1 = makeHiddenBox(QStringLiteral("Text1"), this);
    bind(Adodc1, Text1, QStringLiteral("TH"));

    // The filters, read from the right; each caption right of its box.
    codeBox = makeTextBox(QStringLiteral("codeBox"), this, 9960, 240, 1455, 435, Qt::AlignHCenter);
    SkinLabel* captionCode = makeLabel("codeLabel", QStringLiteral(" :کد"), this, 11475, 255, 885);
    operatorBox =
        makeTextBox(QStringLiteral("operatorBox"), this, 7200, 240, 1695, 435, Qt::AlignHCenter);
    SkinLabel* captionOperator =
        makeLabel("operatorLabel", QStringLiteral(" :کاربر"), this, 8955, 255, 945);
    fromBox = makeTextBox(QStringLiteral("fromBox"), this, 4860, 240, 1335, 435, Qt::AlignHCenter);
    SkinLabel* captionFrom =
        makeLabel("fromLabel", QStringLiteral(" :از تاريخ"), this, 6255, 255, 885);
    toBox = makeTextBox(QStringLiteral("toBox"), this, 2460, 240, 1335, 435, Qt::AlignHCenter);
    SkinLabel* captionTo = makeLabel("toLabel", QStringLiteral(" :تا تاريخ"), this, 3855, 255, 945);
    for (QLineEdit* date : {fromBox, toBox})
        date->setPlaceholderText(QStringLiteral("1403/01/01"));
    nameByCaption(codeBox, captionCode);
    nameByCaption(operatorBox, captionOperator);
    nameByCaption(fromBox, captionFrom);
    nameByCaption(toBox, captionTo);
    showButton = makeButton(QStringLiteral("showButton"), QStringLiteral("نمايش"), this, 240, 180,
                            1815, 555);

    auditGrid = new QTableView(this);
    auditGrid->setObjectName(QStringLiteral("auditGrid"));
    auditGrid->setFont(formFont(11, false));
    auditGrid->horizontalHeader()->setFont(formFont());
    auditGrid->verticalHeader()->hide();
    auditGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auditGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    auditGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    auditGrid->setWordWrap(false);
    nameField(auditGrid, QStringLiteral("رويدادها"));
    place(auditGrid, 240, 900, 12120, 6180);

    chainLabel = new SkinLabel(QStringLiteral("chainLabel"),
                               QStringLiteral("در حال بررسي زنجيره رويدادنگار ..."), this);
    chainLabel->setWordWrap(true);
    place(chainLabel, 3780, 7200, 8580, 975);
    nameField(chainLabel, QStringLiteral("وضعيت زنجيره"));
    exportButton = makeButton(QStringLiteral("exportButton"), QStringLiteral("خروجي CSV"), this,
                              1920, 7320, 1695, 555);
    closeButton = makeButton(QStringLiteral("closeButton"), QStringLiteral("خروج"), this, 240, 7320,
                             1515, 555);
    for (QPushButton* b : {showButton, exportButton, closeButton})
        b->setAutoDefault(false);
    showButton->setDefault(true);

    m_reader = std::make_unique<AuditTrail::Reader>(QStringLiteral("velmora-audit-window"));
    m_rows = new AuditRowsModel([this] { return m_reader->db(); }, this);
    m_rows->onFailure = [this](const QString& detail) { reportFailure(detail); };
    auditGrid->setModel(m_rows);
    const int widths[] = {900, 1200, 1000, 1500, 1350, 2100, 1100, 900, 2400};
    for (int column = 0; column < ColumnCount; ++column)
        auditGrid->setColumnWidth(column, twips(widths[column]));

    connect(showButton, &QPushButton::clicked, this, &AuditWindow::showClick);
    connect(exportButton, &QPushButton::clicked, this, &AuditWindow::exportClick);
    connect(closeButton, &QPushButton::clicked, this, &AuditWindow::closeClick);
    connect(&m_check, &QFutureWatcher<AuditVerdict>::finished, this, [this] {
        const AuditVerdict verdict = m_check.result();
        chainLabel->setText(AuditReport::persian(verdict));
        chainLabel->setAccessibleDescription(chainLabel->text());
        m_chainShown = true;
    });

    placeWindow(this, 1500, 600);
    ApplyTheme(this, Text1->text(), Skin1);
    if (!m_reader->isOpen()) {
        chainLabel->setText(m_reader->error());
        return;
    }
    if (!m_rows->show(AuditTrail::Filter()))
        chainLabel->setText(m_rows->lastError());
    startChainCheck();
}

AuditWindow::~AuditWindow() {
    // The check stops at its next block and is waited for: it reads through
    // a connection of its own, which goes with it.
    m_stop->store(true);
    m_check.waitForFinished();
}

void AuditWindow::showModal(QWidget* owner) {
    if (!Access::permit(Action::AuditTrail, owner))
        return;
    QString error;
    if (!Audit::record(Action::AuditTrail, QString(), Outcome::Done, QString(), &error)) {
        platform().messageBox(owner, errorTitle(), error, QMessageBox::Critical);
        return;
    }
    AuditWindow window(owner);
    window.exec();
    if (owner)
        owner->activateWindow();
}

void AuditWindow::startChainCheck() {
    QList<AuditAnchor> anchors;
    QString error;
    if (!AuditReport::keptAnchors(&anchors, &error)) {
        chainLabel->setText(QStringLiteral("لنگرهاي رويدادنگار خوانده نشد: ") + error);
        return;
    }
    auto promise = std::make_shared<QPromise<AuditVerdict>>();
    m_check.setFuture(promise->future());
    promise->start();
    const std::shared_ptr<std::atomic_bool> stop = m_stop;
    QThreadPool::globalInstance()->start([promise, anchors, stop] {
        AuditVerdict verdict;
        {
            AuditTrail::Reader reader(
                QStringLiteral("velmora-audit-check-%1").arg(quintptr(promise.get()), 0, 16));
            if (!reader.isOpen()) {
                verdict.problem = AuditVerdict::Problem::Unreadable;
                verdict.detail = reader.error();
            } else {
                QSqlDatabase db = reader.db();
                verdict = AuditReport::check(db, anchors, [stop](qint64) { return !stop->load(); });
            }
        }
        promise->addResult(verdict);
        promise->finish();
    });
}

bool AuditWindow::chainChecked() const {
    return m_chainShown;
}

void AuditWindow::showClick() {
    AuditTrail::Filter filter;
    filter.code = codeBox->text();
    filter.operatorName = operatorBox->text().trimmed();
    if (!AuditReport::dayBound(fromBox->text(), false, &filter.fromTime)) {
        ShowNotice(this, QStringLiteral("تاريخ را به صورت سال/ماه/روز وارد کنيد"));
        fromBox->setFocus();
        return;
    }
    if (!AuditReport::dayBound(toBox->text(), true, &filter.untilTime)) {
        ShowNotice(this, QStringLiteral("تاريخ را به صورت سال/ماه/روز وارد کنيد"));
        toBox->setFocus();
        return;
    }
    if (!m_reader->isOpen())
        return;
    if (!m_rows->show(filter))
        reportFailure(m_rows->lastError());
}

void AuditWindow::exportClick() {
    if (!Access::permit(Action::ExportAudit, this) || !m_reader->isOpen())
        return;
    QString path =
        platform().saveFileName(this, QStringLiteral("ذخيره رويدادنگار"),
                                QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                                QStringLiteral("CSV (*.csv)"), QStringLiteral("Velmora audit.csv"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    if (QFileInfo::exists(path) &&
        platform().messageBox(this, applicationTitle(),
                              QStringLiteral("پرونده %1 وجود دارد. رويدادنگار به جاي آن ذخيره شود؟")
                                  .arg(QDir::toNativeSeparators(path)),
                              QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
        return;
    QSqlDatabase db = m_reader->db();
    qint64 written = 0;
    QString error;
    const auto recordIt = [](qint64 count, QString* why) {
        qint64 seq = 0;
        QString hash, first;
        QString anchorError;
        // The head goes with the export: a copy of the chain kept elsewhere.
        Audit::keepAnchor(QStringLiteral("خروجي رويدادنگار"), &seq, &hash, &first, &anchorError);
        return Audit::record(Action::ExportAudit, QString(), Outcome::Done,
                             QStringLiteral("%1 رويداد").arg(count), why);
    };
    if (AuditReport::exportCsv(db, path, m_rows->filter(), AuditReport::Order::NewestFirst, {},
                               recordIt, &written, &error)) {
        ShowNotice(this, QStringLiteral("رويدادنگار ذخيره شد"));
        return;
    }
    platform().messageBox(this, errorTitle(),
                          QStringLiteral("رويدادنگار ذخيره نشد و پرونده اي ساخته نشد:\n%1\n\n%2")
                              .arg(QDir::toNativeSeparators(path), error),
                          QMessageBox::Critical);
}

void AuditWindow::closeClick() {
    close();
}

void AuditWindow::reportFailure(const QString& detail) {
    platform().messageBox(this, errorTitle(), QStringLiteral("رويدادنگار خوانده نشد:\n") + detail,
                          QMessageBox::Critical);
}

} // namespace velmora
