#include "registry/FrmCode.h"

#include "data/DataControl.h"
#include "data/Database.h"
#include "platform/Platform.h"
#include "ui/DataFailures.h"
#include "ui/FormKit.h"
#include "ui/SkinLabel.h"
#include "ui/Skins.h"
#include "ui/Twips.h"

#include <QAbstractListModel>
#include <QAbstractTableModel>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QVBoxLayout>
#include <functional>
#include <limits>

namespace velmora {

namespace {

// Rows read per query: enough to fill the grid or an open list several times.
constexpr int BlockSize = 256;

// No key is smaller: the first block starts after it.
constexpr qint64 BeforeFirstKey = std::numeric_limits<qint64>::min();

const QStringList GridFields = {QStringLiteral("Code"), QStringLiteral("FName"),
                                QStringLiteral("LName"), QStringLiteral("Group")};

QString errorTitle() {
    return QStringLiteral("خطا");
}

} // namespace

// The subjects the grid shows: IDE rows up to the snapshot's largest key,
// optionally narrowed to one field equal to a text, in key order. Rows are read
// a block at a time as the grid scrolls; no query stays open in between.
class SubjectRowsModel : public QAbstractTableModel {
public:
    SubjectRowsModel(const QStringList& captions, QObject* parent)
        : QAbstractTableModel(parent), m_captions(captions) {}

    // Shows the rows with a key up to lastKey (-1: none) whose field equals
    // value; an empty field shows them all. False when the file could not be read.
    bool show(qint64 lastKey, const QString& field, const QString& value) {
        beginResetModel();
        m_lastKey = lastKey;
        m_field = field;
        m_value = value;
        m_rows.clear();
        m_error.clear();
        m_atEnd = lastKey < 0;
        QList<Row> block;
        const bool ok = m_atEnd || readBlock(BeforeFirstKey, &block);
        m_rows = block;
        endResetModel();
        return ok;
    }

    QString lastError() const { return m_error; }
    std::function<void(const QString&)> onFailure;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(GridFields.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= GridFields.size())
            return QVariant();
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return m_rows.at(index.row()).fields.at(index.column());
        return QVariant();
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < m_captions.size())
            return m_captions.at(section);
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    bool canFetchMore(const QModelIndex& parent) const override {
        return !parent.isValid() && !m_atEnd;
    }
    void fetchMore(const QModelIndex& parent) override {
        if (parent.isValid() || m_atEnd)
            return;
        QList<Row> block;
        if (!readBlock(m_rows.isEmpty() ? BeforeFirstKey : m_rows.last().key, &block)) {
            if (onFailure)
                onFailure(m_error);
            return;
        }
        if (block.isEmpty())
            return;
        const int first = static_cast<int>(m_rows.size());
        beginInsertRows(QModelIndex(), first, first + static_cast<int>(block.size()) - 1);
        m_rows += block;
        endInsertRows();
    }

private:
    struct Row {
        qint64 key = 0;
        QStringList fields;
    };

    // The next block after key `after`. A failure ends the reading.
    bool readBlock(qint64 after, QList<Row>* block) {
        QStringList columns{QStringLiteral("\"ID\"")};
        for (const QString& f : GridFields)
            columns.append(Database::quoted(f));
        QString where = QStringLiteral("\"ID\" <= ? AND \"ID\" > ?");
        if (!m_field.isEmpty())
            where += QStringLiteral(" AND ") + Database::quoted(m_field) + QStringLiteral(" = ?");
        QSqlQuery q(Database::connection(DbFile::Subjects));
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT %1 FROM \"IDE\" WHERE %2 ORDER BY \"ID\" LIMIT %3")
                      .arg(columns.join(QStringLiteral(", ")), where)
                      .arg(BlockSize));
        q.addBindValue(m_lastKey);
        q.addBindValue(after);
        if (!m_field.isEmpty())
            q.addBindValue(m_value.isNull() ? QString(QLatin1String("")) : m_value);
        if (!q.exec()) {
            m_error = q.lastError().text();
            m_atEnd = true;
            return false;
        }
        while (q.next()) {
            Row row;
            row.key = q.value(0).toLongLong();
            for (int i = 1; i <= GridFields.size(); ++i)
                row.fields.append(q.value(i).toString());
            block->append(row);
        }
        m_atEnd = block->size() < BlockSize;
        return true;
    }

    QStringList m_captions;
    qint64 m_lastKey = -1;
    QString m_field;
    QString m_value;
    QList<Row> m_rows;
    bool m_atEnd = true;
    QString m_error;
};

// The names stored in one field of IDE, each once, in the order of the
// field's index, read a block at a time as the list is scrolled. Subjects
// without a name in that field are not offered.
class NameListModel : public QAbstractListModel {
public:
    NameListModel(const QString& field, QObject* parent)
        : QAbstractListModel(parent), m_field(field) {}

    bool load(qint64 lastKey) {
        beginResetModel();
        m_lastKey = lastKey;
        m_names.clear();
        m_error.clear();
        m_atEnd = lastKey < 0;
        QStringList block;
        const bool ok = m_atEnd || readBlock(QString(QLatin1String("")), &block);
        m_names = block;
        endResetModel();
        return ok;
    }

    QString lastError() const { return m_error; }
    std::function<void(const QString&)> onFailure;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_names.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= m_names.size())
            return QVariant();
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return m_names.at(index.row());
        return QVariant();
    }
    bool canFetchMore(const QModelIndex& parent) const override {
        return !parent.isValid() && !m_atEnd;
    }
    void fetchMore(const QModelIndex& parent) override {
        if (parent.isValid() || m_atEnd || m_names.isEmpty())
            return;
        QStringList block;
        if (!readBlock(m_names.last(), &block)) {
            if (onFailure)
                onFailure(m_error);
            return;
        }
        if (block.isEmpty())
            return;
        const int first = static_cast<int>(m_names.size());
        beginInsertRows(QModelIndex(), first, first + static_cast<int>(block.size()) - 1);
        m_names += block;
        endInsertRows();
    }

private:
    bool readBlock(const QString& after, QStringList* block) {
        const QString field = Database::quoted(m_field);
        QSqlQuery q(Database::connection(DbFile::Subjects));
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT DISTINCT %1 FROM \"IDE\" WHERE %1 > ? AND \"ID\" <= ? "
                                 "ORDER BY %1 LIMIT %2")
                      .arg(field)
                      .arg(BlockSize));
        q.addBindValue(after);
        q.addBindValue(m_lastKey);
        if (!q.exec()) {
            m_error = q.lastError().text();
            m_atEnd = true;
            return false;
        }
        while (q.next())
            block->append(q.value(0).toString());
        m_atEnd = block->size() < BlockSize;
        return true;
    }

    QString m_field;
    qint64 m_lastKey = -1;
    QStringList m_names;
    bool m_atEnd = true;
    QString m_error;
};

DataGrid::DataGrid(const QString& name, const QString& caption, QWidget* parent) : QFrame(parent) {
    setObjectName(name);
    setFrameShape(QFrame::Box);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    // The caption is drawn by the skin like the window's other labels, so its
    // text keeps the skin's readable colour.
    m_caption = new SkinLabel(name + QStringLiteral("Caption"), caption, this);
    m_caption->setAlignment(Qt::AlignCenter);
    m_caption->setMinimumHeight(twips(375));
    layout->addWidget(m_caption);
    m_table = new QTableView(this);
    m_table->setFont(formFont(12, false));
    m_table->horizontalHeader()->setFont(formFont());
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setWordWrap(false);
    m_table->setFrameShape(QFrame::NoFrame);
    layout->addWidget(m_table);
}

namespace {

SkinLabel* makeLabel(const char* name, const QString& caption, QWidget* parent, int left, int top,
                     int width) {
    auto* label = new SkinLabel(QString::fromLatin1(name), caption, parent);
    place(label, left, top, width, 375);
    return label;
}

// A combo box whose text part is typed into or filled from its list.
QComboBox* makeSearchBox(const char* name, QWidget* parent, int left, int top, int height) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setFont(formFont());
    box->setEditable(true);
    // The typed text is the criterion exactly as typed: no completion that
    // would extend it, and nothing typed is added to the list.
    box->setCompleter(nullptr);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMaxVisibleItems(15);
    place(box, left, top, 1875, height);
    return box;
}

} // namespace

FrmCode::FrmCode(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FrmCode"));
    setWindowTitle(QStringLiteral("کد آزمودني"));
    setClientSize(this, 10230, 8055);
    setFont(formFont());

    Adodc1 = makeDataControl(QStringLiteral("Theme"), this, QStringLiteral("Adodc1"));
    Adodc2 = makeDataControl(QStringLiteral("IDE"), this, QStringLiteral("Adodc2"));
    Skin1 = new SkinEngine(this);
    Text1 = makeHiddenBox(QStringLiteral("Text1"), this);
    Adodc1->bind(Text1, QStringLiteral("TH"));
    Text2 = makeHiddenBox(QStringLiteral("Text2"), this);
    Adodc2->bind(Text2, QStringLiteral("ID"));

    QScopedValueRollback<bool> building(m_settingBoxes, true);

    DataCombo6 = makeSearchBox("DataCombo6", this, 6840, 1140, 420);
    SkinLabel21[1] = makeLabel("SkinLabel21(1)", QStringLiteral(" :نام "), this, 8760, 1140, 495);
    DataCombo1 = makeSearchBox("DataCombo1", this, 6840, 1620, 420);
    SkinLabel21[0] =
        makeLabel("SkinLabel21(0)", QStringLiteral(" :نام خانوادگي"), this, 8700, 1620, 1155);
    Combo3 = makeSearchBox("Combo3", this, 6840, 2100, 405);
    Combo3->addItems({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
                      QStringLiteral("D"), QStringLiteral("E"), QStringLiteral("F"),
                      QStringLiteral("G")});
    SkinLabel21[2] = makeLabel("SkinLabel21(2)", QStringLiteral(" :گروه"), this, 8760, 2100, 555);

    DataGrid1 = new DataGrid(QStringLiteral("DataGrid1"), QStringLiteral("مشخصات آزمودني"), this);
    place(DataGrid1, 300, 720, 6255, 6735);
    m_rows = new SubjectRowsModel({QStringLiteral("کد"), QStringLiteral("نام"),
                                   QStringLiteral("نام خانوادگي"), QStringLiteral("گروه")},
                                  this);
    DataGrid1->table()->setModel(m_rows);
    const int widths[] = {915, 1515, 1920, 1515};
    for (int column = 0; column < 4; ++column)
        DataGrid1->table()->setColumnWidth(column, twips(widths[column]));

    m_firstNames = new NameListModel(QStringLiteral("FName"), this);
    m_lastNames = new NameListModel(QStringLiteral("LName"), this);
    DataCombo6->setModel(m_firstNames);
    DataCombo1->setModel(m_lastNames);
    const auto report = [this](const QString& detail) { reportFailure(detail); };
    m_rows->onFailure = report;
    m_firstNames->onFailure = report;
    m_lastNames->onFailure = report;

    Command6 =
        makeButton(QStringLiteral("Command6"), QStringLiteral("خروج"), this, 7860, 6780, 1065, 555);
    Command6->setAutoDefault(false);

    connect(Combo3, &QComboBox::editTextChanged, this, [this] {
        if (!m_settingBoxes)
            Combo3_Change();
    });
    connect(Combo3, &QComboBox::activated, this, [this] {
        if (!m_settingBoxes)
            Combo3_Click();
    });
    connect(DataCombo1, &QComboBox::editTextChanged, this, [this] {
        if (!m_settingBoxes)
            DataCombo1_Change();
    });
    connect(DataCombo1, &QComboBox::activated, this, [this] {
        if (!m_settingBoxes)
            DataCombo1_Click();
    });
    connect(DataCombo6, &QComboBox::editTextChanged, this, [this] {
        if (!m_settingBoxes)
            DataCombo6_Change();
    });
    connect(DataCombo6, &QComboBox::activated, this, [this] {
        if (!m_settingBoxes)
            DataCombo6_Click();
    });
    connect(Command6, &QPushButton::clicked, this, &FrmCode::Command6_Click);

    Form_Load();
}

void FrmCode::showModal(QWidget* owner) {
    FrmCode window(owner);
    window.exec();
}

void FrmCode::Form_Load() {
    placeWindow(this, 2340, 765);
    ApplyTheme(this, Text1->text(), Skin1);
    const bool read = Adodc2->refresh();
    const qint64 lastKey = Adodc2->state().snapshotMax;
    const bool rowsRead = m_rows->show(lastKey, QString(), QString());
    const bool lastNamesRead = m_lastNames->load(lastKey);
    const bool firstNamesRead = m_firstNames->load(lastKey);
    emptyBoxes({DataCombo6, DataCombo1, Combo3});
    // When Adodc2 could not read the file it has already said so.
    if (read && !(rowsRead && lastNamesRead && firstNamesRead)) {
        for (const QString& error :
             {m_rows->lastError(), m_lastNames->lastError(), m_firstNames->lastError()})
            if (!error.isEmpty()) {
                reportFailure(error);
                break;
            }
    }
}

void FrmCode::emptyBoxes(std::initializer_list<QComboBox*> boxes) {
    QScopedValueRollback<bool> quiet(m_settingBoxes, true);
    for (QComboBox* box : boxes) {
        // No current item either, so picking the same item again fills the box.
        box->setCurrentIndex(-1);
        box->setEditText(QString());
    }
}

void FrmCode::filterSubjects(const QString& field, const QString& text) {
    const bool filtered = Adodc2->setFilter(field, text);
    // Point the grid at the narrowed set again.
    if (!m_rows->show(Adodc2->state().snapshotMax, field, text) && filtered)
        reportFailure(m_rows->lastError());
}

void FrmCode::reportFailure(const QString& detail) {
    platform().messageBox(this, errorTitle(), Database::failureMessage(DbFile::Subjects, detail),
                          QMessageBox::Critical);
}

void FrmCode::Combo3_Change() {
    emptyBoxes({DataCombo1, DataCombo6});
    filterSubjects(QStringLiteral("Group"), Combo3->currentText());
}

void FrmCode::Combo3_Click() {
    Combo3_Change();
}

void FrmCode::DataCombo1_Change() {
    emptyBoxes({DataCombo6, Combo3});
    filterSubjects(QStringLiteral("LName"), DataCombo1->currentText());
}

void FrmCode::DataCombo1_Click() {
    DataCombo1_Change();
}

void FrmCode::DataCombo6_Change() {
    filterSubjects(QStringLiteral("FName"), DataCombo6->currentText());
    emptyBoxes({DataCombo1, Combo3});
}

void FrmCode::DataCombo6_Click() {
    DataCombo6_Change();
}

void FrmCode::Command6_Click() {
    close();
}

} // namespace velmora
