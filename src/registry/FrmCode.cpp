#include "registry/FrmCode.h"

#include "access/Access.h"
#include "access/Audit.h"
#include "data/DataControl.h"
#include "data/Database.h"
#include "data/DirectionalText.h"
#include "data/LookupModels.h"
#include "data/NameSearch.h"
#include "platform/Platform.h"
#include "registry/Erasure.h"
#include "registry/ExportProgressWindow.h"
#include "registry/ResearchExportDialog.h"
#include "registry/SubjectCorrection.h"
#include "registry/SubjectExport.h"
#include "ui/AccessibleNames.h"
#include "ui/DataFailures.h"
#include "ui/FieldBinding.h"
#include "ui/FormKit.h"
#include "ui/Notice.h"
#include "ui/SkinLabel.h"
#include "ui/Skins.h"
#include "ui/Twips.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStandardPaths>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <functional>

namespace velmora {

namespace {} // namespace

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
    nameByCaption(m_table, m_caption);
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
    bind(Adodc1, Text1, QStringLiteral("TH"));
    Text2 = makeHiddenBox(QStringLiteral("Text2"), this);
    bind(Adodc2, Text2, QStringLiteral("ID"));

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
    nameByCaption(DataCombo6, SkinLabel21[1]);
    nameByCaption(DataCombo1, SkinLabel21[0]);
    nameByCaption(Combo3, SkinLabel21[2]);

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
    // In the free column under the search boxes, right above the exit button.
    exportButton = makeButton(QStringLiteral("exportButton"), QStringLiteral("خروجي CSV"), this,
                              7320, 6060, 1605, 555);
    exportButton->setAutoDefault(false);
    // Under the search boxes, where the operator looks while typing.
    notFoundLabel = new SkinLabel(QStringLiteral("notFoundLabel"),
                                  QStringLiteral("آزمودني اي با اين مشخصات پيدا نشد"), this);
    notFoundLabel->setWordWrap(true);
    notFoundLabel->setAlignment(Qt::AlignCenter);
    place(notFoundLabel, 6840, 2640, 3015, 735);
    notFoundLabel->setVisible(false);
    researchButton = makeButton(QStringLiteral("researchButton"), QStringLiteral("خروجي پژوهشي"),
                                this, 6840, 5340, 2085, 555);
    researchButton->setAutoDefault(false);
    // Above the exports: it acts on the subject selected in the grid.
    correctButton = makeButton(QStringLiteral("correctButton"), QStringLiteral("اصلاح مشخصات"),
                               this, 6840, 4620, 2085, 555);
    correctButton->setAutoDefault(false);
    // Apart from the exports and the exit, so that it is never pressed for one of them.
    eraseButton = makeButton(QStringLiteral("eraseButton"), QStringLiteral("حذف آزمودني"), this,
                             6840, 3900, 2085, 555);
    eraseButton->setAutoDefault(false);
    eraseButton->setAccessibleName(Erasure::title());

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
    connect(exportButton, &QPushButton::clicked, this, &FrmCode::exportClick);
    connect(researchButton, &QPushButton::clicked, this, &FrmCode::researchClick);
    connect(correctButton, &QPushButton::clicked, this, &FrmCode::correctClick);
    connect(eraseButton, &QPushButton::clicked, this, &FrmCode::eraseClick);

    Form_Load();
}

void FrmCode::showModal(QWidget* owner) {
    FrmCode window(owner);
    window.exec();
    // The keyboard goes back to the window it was opened from, even where no
    // window manager hands it back.
    if (owner)
        owner->activateWindow();
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

void FrmCode::filterSubjects(const QString& field, const QString& text, bool byBeginning) {
    // An emptied box is no search: the whole list comes back.
    const QString searched = text.isEmpty() ? QString() : field;
    // Each search is recorded: by which field, and the group searched for;
    // a name typed is never copied into the trail.
    if (!searched.isEmpty()) {
        const QString detail =
            field == QLatin1String("Group")
                ? QStringLiteral("گروه %1").arg(text)
                : (field == QLatin1String("LName") ? QStringLiteral("نام خانوادگي")
                                                   : QStringLiteral("نام"));
        QString error;
        if (!Audit::record(Action::LookUpSearch, QString(), Outcome::Done, detail, &error)) {
            platform().messageBox(this, errorTitle(), error, QMessageBox::Critical);
            return;
        }
    }
    const qint64 lastKey = Adodc2->state().snapshotMax;
    // The grid is the list: point it at the narrowed set again.
    const bool shown = m_rows->show(lastKey, searched, text,
                                    byBeginning ? SubjectRowsModel::Match::Beginning
                                                : SubjectRowsModel::Match::Exact);
    if (!shown)
        reportFailure(m_rows->lastError());
    // Nobody found is said in words, not only by an empty grid.
    notFoundLabel->setVisible(shown && !searched.isEmpty() && m_rows->rowCount() == 0);
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

// A name being typed finds every name that begins with it, whichever way its
// yeh and kaf are written; a name picked from the list finds that name alone.
void FrmCode::DataCombo1_Change() {
    emptyBoxes({DataCombo6, Combo3});
    filterSubjects(QStringLiteral("LName"), DataCombo1->currentText(), true);
}

void FrmCode::DataCombo1_Click() {
    emptyBoxes({DataCombo6, Combo3});
    filterSubjects(QStringLiteral("LName"), DataCombo1->currentText());
}

void FrmCode::DataCombo6_Change() {
    filterSubjects(QStringLiteral("FName"), DataCombo6->currentText(), true);
    emptyBoxes({DataCombo1, Combo3});
}

void FrmCode::DataCombo6_Click() {
    filterSubjects(QStringLiteral("FName"), DataCombo6->currentText());
    emptyBoxes({DataCombo1, Combo3});
}

void FrmCode::Command6_Click() {
    close();
}

void FrmCode::exportClick() {
    if (!Access::permit(Action::ExportCsv, this))
        return;
    QString path = platform().saveFileName(
        this, QStringLiteral("ذخيره فهرست آزمودني ها"),
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
        QStringLiteral("CSV (*.csv)"), defaultExportName(QDate::currentDate()));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    if (QFileInfo::exists(path) &&
        platform().messageBox(this, applicationTitle(),
                              QStringLiteral("پرونده %1 وجود دارد. فهرست به جاي آن ذخيره شود؟")
                                  .arg(isolatedPath(path)),
                              QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
        return;

    // Exactly the rows the grid lists now.
    const SubjectFilter filter = listedSubjects();

    ExportProgressWindow progress(QStringLiteral("ذخيره فهرست آزمودني ها ..."),
                                  QStringLiteral("ExportProgress"), this);
    const ExportProgress step = progress.step();
    QString error;
    const ExportResult result = exportSubjectsCsv(path, filter, step, &error);
    progress.close();
    if (result == ExportResult::Written)
        ShowNotice(this, QStringLiteral("فهرست آزمودني ها ذخيره شد"));
    else if (result == ExportResult::Failed)
        platform().messageBox(this, errorTitle(), exportFailureMessage(path, error),
                              QMessageBox::Critical);
}

SubjectFilter FrmCode::listedSubjects() const {
    SubjectFilter filter;
    filter.field = m_rows->field();
    filter.value = m_rows->value();
    filter.byBeginning = m_rows->matching() == SubjectRowsModel::Match::Beginning;
    filter.lastKey = m_rows->lastKey();
    return filter;
}

void FrmCode::researchClick() {
    ResearchExportDialog dialog(listedSubjects(), Text1->text(), this);
    dialog.exec();
}

QString FrmCode::selectedCode() const {
    // Only a row the operator selected: the grid's current cell alone may be
    // nothing more than where the keyboard entered it.
    const QModelIndexList selected = DataGrid1->table()->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return QString();
    return m_rows->index(selected.first().row(), 0).data().toString();
}

void FrmCode::correctClick() {
    const QString code = selectedCode();
    if (code.isEmpty()) {
        ShowNotice(this, QStringLiteral("ابتدا آزمودني را در فهرست انتخاب کنيد"));
        return;
    }
    const std::optional<QString> corrected = SubjectCorrection::correct(this, code);
    if (!corrected)
        return;
    reloadList();
    // The corrected subject stays selected where the list still holds it.
    for (int row = 0; row < m_rows->rowCount(); ++row)
        if (m_rows->index(row, 0).data().toString() == *corrected) {
            DataGrid1->table()->selectRow(row);
            break;
        }
}

void FrmCode::reloadList() {
    // Reading the name lists again resets their boxes; that is no search.
    QScopedValueRollback<bool> quiet(m_settingBoxes, true);
    const QString firstName = DataCombo6->currentText();
    const QString lastName = DataCombo1->currentText();
    const bool read = Adodc2->refresh();
    const qint64 lastKey = Adodc2->state().snapshotMax;
    if (read) {
        if (!m_rows->show(lastKey, m_rows->field(), m_rows->value(), m_rows->matching()))
            reportFailure(m_rows->lastError());
        else if (!m_lastNames->load(lastKey))
            reportFailure(m_lastNames->lastError());
        else if (!m_firstNames->load(lastKey))
            reportFailure(m_firstNames->lastError());
    }
    // The boxes show the search the list still shows.
    for (const auto& [box, text] :
         {std::pair{DataCombo6, firstName}, std::pair{DataCombo1, lastName}}) {
        box->setCurrentIndex(-1);
        box->setEditText(text);
    }
}

void FrmCode::eraseClick() {
    const QString code = selectedCode();
    if (!Access::permit(Action::EraseSubject, this, code))
        return;
    if (code.isEmpty()) {
        platform().messageBox(this, Erasure::title(),
                              QStringLiteral("ابتدا آزمودني را در فهرست انتخاب کنيد."),
                              QMessageBox::Information);
        return;
    }
    const QList<Erasure::KeptBackup> backups =
        Erasure::backupsHolding(QDir::current().absoluteFilePath(QStringLiteral("Back")), code);
    const QString prompt =
        QStringLiteral("همه اطلاعات آزمودني با کد %1 (مشخصات، پاسخنامه و سوابق آزمون) حذف مي شود "
                       "و برنامه آن را برنمي گرداند.")
            .arg(isolatedText(code)) +
        QStringLiteral("\n") + Erasure::backupsText(backups) + QStringLiteral("\n\n") +
        QStringLiteral("براي تاييد، کد آزمودني را بنويسيد:");
    const QString typed = platform().inputBox(this, prompt, Erasure::title(), QString());
    // An empty answer is the operator's cancel.
    if (typed.isEmpty())
        return;
    if (typed != code) {
        platform().messageBox(this, Erasure::title(),
                              QStringLiteral("کد نوشته شده با کد آزمودني يکي نيست؛ چيزي حذف نشد."),
                              QMessageBox::Warning);
        return;
    }
    QString message;
    const Erasure::Result result = Erasure::eraseSubject(code, &message);
    if (result == Erasure::Result::Erased) {
        // The list no longer shows the subject when the operator reads that it is gone.
        reloadList();
        ShowNotice(this, message);
        return;
    }
    // The reason first; reading the list again may fail for the same one.
    platform().messageBox(
        this, result == Erasure::Result::Failed ? errorTitle() : Erasure::title(), message,
        result == Erasure::Result::Failed ? QMessageBox::Critical : QMessageBox::Information);
    reloadList();
}

} // namespace velmora
