// The registration panel of the main window: a new subject's record in IDE and
// the empty answer sheet that goes with it.
#include "registry/Registration.h"

#include "access/Audit.h"
#include "calendar/ClockTime.h"
#include "calendar/SolarCalendar.h"
#include "data/CodeKeys.h"
#include "data/DataControl.h"
#include "data/DirectionalText.h"
#include "data/SubjectStore.h"
#include "platform/Platform.h"
#include "registry/RegistrationPanel.h"
#include "ui/AccessibleNames.h"
#include "ui/DigitsOnly.h"
#include "ui/FieldBinding.h"
#include "ui/FormKit.h"
#include "ui/Notice.h"
#include "ui/SkinLabel.h"
#include "ui/Twips.h"

#include <QComboBox>
#include <QDate>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace velmora {

namespace Registration {

QStringList maritalChoices() {
    return {QStringLiteral("مجرد"), QStringLiteral("متأهل")};
}

QStringList genderChoices() {
    return {QStringLiteral("مرد"), QStringLiteral("زن")};
}

QStringList groupChoices() {
    return {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D"),
            QStringLiteral("E"), QStringLiteral("F"), QStringLiteral("G")};
}

std::optional<Field> firstMissing(const FieldTexts& texts) {
    for (int i = 0; i < FieldCount; ++i)
        if (texts[i].isEmpty())
            return static_cast<Field>(i);
    return std::nullopt;
}

QString fieldName(Field field) {
    switch (field) {
    case Field::Code:
        return QStringLiteral("کد");
    case Field::FirstName:
        return QStringLiteral("نام");
    case Field::LastName:
        return QStringLiteral("نام خانوادگي");
    case Field::Gender:
        return QStringLiteral("جنس");
    case Field::Age:
        return QStringLiteral("سن");
    case Field::MaritalStatus:
        return QStringLiteral("تاهل");
    case Field::Group:
        return QStringLiteral("گروه");
    case Field::Education:
        return QStringLiteral("تحصيلات");
    }
    return QString();
}

QString caption(Field field) {
    return QStringLiteral(" :") + fieldName(field);
}

QString missingNotice(Field field) {
    switch (field) {
    case Field::Code:
        return QStringLiteral("کد آزمودني را وارد کنيد");
    case Field::FirstName:
        return QStringLiteral("نام آزمودني را وارد کنيد");
    case Field::LastName:
        return QStringLiteral("نام خانوادگي آزمودني را وارد کنيد");
    case Field::Gender:
        return QStringLiteral("جنسيت آزمودني را مشخص کنيد");
    case Field::Age:
        return QStringLiteral("سن آزمودني را وارد کنيد");
    case Field::MaritalStatus:
        return QStringLiteral("وضعيت تاهل آزمودني را مشخص کنيد");
    case Field::Group:
        return QStringLiteral("گروه را مشخص کنيد");
    case Field::Education:
        return QStringLiteral("ميزان تحصيلات آزمودني را وارد کنيد");
    }
    return QString();
}

QString duplicateCodeNotice() {
    return QStringLiteral("فردديگري با اين کد ثبت شده");
}

QString lookAlikeCodeMessage(const QString& storedCode) {
    // The stored code is isolated so that its own direction marks do not
    // reorder the sentence around it.
    return QStringLiteral("کد «%1» پيش تر براي آزمودني ديگري ثبت شده است. کدي که وارد کرده ايد "
                          "فقط در نويسه هاي ناپيدا (مانند نشانه هاي جهت) يا در شکل عربي و فارسي "
                          "حروف و رقم ها با آن فرق دارد و همان خوانده مي شود. کد ديگري وارد کنيد.")
        .arg(isolatedText(storedCode));
}

QString earlierSheetMessage() {
    return QStringLiteral("براي اين کد پاسخنامه اي از پيش در پرونده بود. آزمودني ثبت شد و "
                          "پاسخ هاي همان پاسخنامه براي او نگه داشته شد.");
}

QString timeText(const QTime& time) {
    // The same text as an administration's time, so the two read alike.
    return ClockTime(time);
}

} // namespace Registration

namespace {

using Registration::Field;

// The lists are not stored by themselves: their choices travel through the
// hidden boxes bound to IDE.
void Combo1_Change(RegistrationPanel& w) {
    w.Text15->setText(w.Combo1->currentText());
}
void Combo1_Click(RegistrationPanel& w) {
    Combo1_Change(w);
}
void Combo2_Change(RegistrationPanel& w) {
    w.Text16->setText(w.Combo2->currentText());
}
void Combo2_Click(RegistrationPanel& w) {
    Combo2_Change(w);
}
void Combo3_Change(RegistrationPanel& w) {
    w.Text17->setText(w.Combo3->currentText());
}
void Combo3_Click(RegistrationPanel& w) {
    Combo3_Change(w);
}

// Where the operator is sent to fill a missing field.
QWidget* focusTarget(RegistrationPanel& w, Field field) {
    switch (field) {
    case Field::Code:
        return w.Text11;
    case Field::FirstName:
        return w.Text6;
    case Field::LastName:
        return w.Text4;
    case Field::Gender:
        return w.Combo2;
    case Field::Age:
        return w.Text5;
    case Field::MaritalStatus:
        return w.Combo1;
    case Field::Group:
        return w.Combo3;
    case Field::Education:
        return w.Text7;
    }
    return w.Text11;
}

SkinLabel* makeLabel(const char* name, const QString& caption, QWidget* parent, int left, int top,
                     int width) {
    auto* label = new SkinLabel(QString::fromLatin1(name), caption, parent);
    place(label, left, top, width, 405);
    return label;
}

QComboBox* makeList(const char* name, const QStringList& items, QWidget* parent, int left, int top,
                    int width) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setFont(formFont());
    list->setEditable(false); // chosen from the list, never typed
    list->addItems(items);
    list->setCurrentIndex(-1); // no choice until the operator makes one
    place(list, left, top, width, 435);
    return list;
}

// The store reports its failures itself, once, for both records together.
class QuietFailures {
public:
    QuietFailures(std::initializer_list<DataControl*> controls) : m_controls(controls) {
        for (DataControl* c : m_controls)
            c->setReportFailures(false);
    }
    ~QuietFailures() {
        for (DataControl* c : m_controls)
            c->setReportFailures(true);
    }
    QuietFailures(const QuietFailures&) = delete;
    QuietFailures& operator=(const QuietFailures&) = delete;

private:
    QList<DataControl*> m_controls;
};

enum class StoreResult { Stored, Duplicate, LookAlike, Failed };

struct StoreOutcome {
    StoreResult result = StoreResult::Failed;
    QString detail;          // Failed: why
    QString lookAlike;       // LookAlike: the stored code the new one reads as
    bool earlier = false;    // Stored: an answer sheet with this code was already there
    bool unrecorded = false; // Failed: the audit trail took no entry (detail says why)
};

// The store refuses a second record with a code it already holds (another
// window or workstation may have stored one since the check).
bool isDuplicateCode(const DataControl* control) {
    return control->lastFailure() == StoreFailure::DuplicateKey;
}

// Stores the subject record and its empty answer sheet as one unit: either
// both reach the file or neither does, and on failure the controls are put
// back so the panel still holds everything the operator typed.
//
// The code is checked once more inside the unit, against codes that read the
// same: that check and the store cannot be parted by another workstation. A
// code whose answer sheet is already in the file without a registration (a
// sheet from an older file) is registered with that sheet, answers and all.
StoreOutcome storeSubject(RegistrationPanel& w, const RegistrationPanel::Controls& data) {
    StoreOutcome out;
    DataControl* const subjects = data.subjects;
    DataControl* const sheets = data.sheets;
    QuietFailures quiet{subjects, sheets};
    DataTransaction transaction({subjects, sheets});
    if (!transaction.begun()) {
        out.detail = transaction.lastError();
        return out;
    }
    const QString code = w.Text11->text();
    if (!CodeKeys::findLookAlike(code, &out.lookAlike, &out.detail)) {
        transaction.rollback();
        return out;
    }
    if (!out.lookAlike.isEmpty()) {
        transaction.rollback();
        out.result = StoreResult::LookAlike;
        return out;
    }
    bool duplicate = false;
    const auto step = [&](DataControl* control, bool (DataControl::*op)()) {
        if ((control->*op)())
            return true;
        out.detail = control->lastError();
        duplicate = isDuplicateCode(control);
        return false;
    };
    if (!step(sheets, &DataControl::refresh) || !sheets->setFilter(QStringLiteral("Code"), code)) {
        if (out.detail.isEmpty())
            out.detail = sheets->lastError();
        transaction.rollback();
        return out;
    }
    out.earlier = !sheets->bof();
    if (!out.earlier) {
        sheets->addNew();
        sheets->setField(QStringLiteral("Code"), code);
    }
    sheets->setField(QStringLiteral("Group"), w.Combo3->currentText());
    const bool stored =
        step(sheets, &DataControl::save) && step(subjects, &DataControl::save) &&
        step(subjects, &DataControl::update) && step(sheets, &DataControl::update) &&
        CodeKeys::write(SubjectStore::current(), subjects->currentId(), code, &out.detail);
    // The entry joins the transaction: a subject is never stored unrecorded.
    if (stored && !Audit::record(Action::Register, code, Outcome::Done,
                                 out.earlier ? QStringLiteral("با پاسخنامه پيشين") : QString(),
                                 &out.detail)) {
        transaction.rollback();
        out.unrecorded = true;
        return out;
    }
    if (!stored) {
        transaction.rollback();
        out.result = duplicate ? StoreResult::Duplicate : StoreResult::Failed;
        return out;
    }
    if (!transaction.commit()) {
        out.detail = transaction.lastError();
        return out;
    }
    out.result = StoreResult::Stored;
    return out;
}

} // namespace

RegistrationPanel::RegistrationPanel(QWidget* mainWindow, const Controls& controls,
                                     std::function<void()> hidePanels)
    : QGroupBox(mainWindow), m_data(controls), m_hidePanels(std::move(hidePanels)) {
    setUpFrame(this, QStringLiteral("Frame10"));
    QGroupBox* const Frame10 = this;

    // Right means the right edge here, whatever the layout direction.
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignAbsolute;
    // Tab order 1..9, then the buttons, then the time box.
    Text11 = makeTextBox(QStringLiteral("Text11"), Frame10, 5340, 300, 675, 435, Qt::AlignHCenter);
    Text6 = makeTextBox(QStringLiteral("Text6"), Frame10, 3180, 300, 1515, 435, right);
    Text4 = makeTextBox(QStringLiteral("Text4"), Frame10, 120, 300, 1815, 510, right);
    Text5 = makeTextBox(QStringLiteral("Text5"), Frame10, 5400, 840, 675, 435, Qt::AlignHCenter);
    Combo1 = makeList("Combo1", Registration::maritalChoices(), Frame10, 3960, 840, 915);
    Text8 = makeTextBox(QStringLiteral("Text8"), Frame10, 2220, 840, 1155, 435, Qt::AlignHCenter);
    Combo2 = makeList("Combo2", Registration::genderChoices(), Frame10, 4920, 1380, 1035);
    Combo3 = makeList("Combo3", Registration::groupChoices(), Frame10, 2940, 1380, 1395);
    Text7 = makeTextBox(QStringLiteral("Text7"), Frame10, 120, 1320, 1815, 510, right);
    Command8 = makeButton(QStringLiteral("Command8"), QStringLiteral("ذخيره"), Frame10, 2040, 2220,
                          975, 555);
    Command10 = makeButton(QStringLiteral("Command10"), QStringLiteral("انصراف"), Frame10, 960,
                           2220, 975, 555);
    Text9 = makeTextBox(QStringLiteral("Text9"), Frame10, 120, 840, 1455, 435, Qt::AlignHCenter);
    QWidget* const tabOrder[] = {Text11, Text6,  Text4, Text5,    Combo1,    Text8,
                                 Combo2, Combo3, Text7, Command8, Command10, Text9};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    // Each label stands to the right of its field.
    SkinLbl = makeLabel("SkinLbl", Registration::caption(Field::Code), Frame10, 6030, 315, 585);
    SkinLabel3 =
        makeLabel("SkinLabel3", Registration::caption(Field::FirstName), Frame10, 4710, 315, 615);
    SkinLabel21[0] = makeLabel("SkinLabel21(0)", Registration::caption(Field::LastName), Frame10,
                               1950, 315, 1215);
    SkinLabel21[3] =
        makeLabel("SkinLabel21(3)", Registration::caption(Field::Age), Frame10, 6090, 855, 525);
    SkinLabel21[4] = makeLabel("SkinLabel21(4)", Registration::caption(Field::MaritalStatus),
                               Frame10, 4890, 855, 495);
    SkinLabel21[6] =
        makeLabel("SkinLabel21(6)", QStringLiteral(" :تاريخ"), Frame10, 3390, 855, 555);
    SkinLabel21[7] = makeLabel("SkinLabel21(7)", QStringLiteral(" :ساعت"), Frame10, 1590, 855, 615);
    SkinLabel21[2] =
        makeLabel("SkinLabel21(2)", Registration::caption(Field::Gender), Frame10, 5970, 1395, 645);
    SkinLabel21[1] =
        makeLabel("SkinLabel21(1)", Registration::caption(Field::Group), Frame10, 4350, 1395, 555);
    SkinLabel21[5] = makeLabel("SkinLabel21(5)", Registration::caption(Field::Education), Frame10,
                               1950, 1395, 975);
    const std::pair<QWidget*, QLabel*> captioned[] = {
        {Text11, SkinLbl},       {Text6, SkinLabel3},      {Text4, SkinLabel21[0]},
        {Text5, SkinLabel21[3]}, {Combo1, SkinLabel21[4]}, {Text8, SkinLabel21[6]},
        {Text9, SkinLabel21[7]}, {Combo2, SkinLabel21[2]}, {Combo3, SkinLabel21[1]},
        {Text7, SkinLabel21[5]}};
    for (const auto& [field, caption] : captioned)
        nameByCaption(field, caption);

    // The fields without a box of their own, and the boxes no step reads.
    Text15 = makeHiddenBox(QStringLiteral("Text15"), Frame10);
    Text16 = makeHiddenBox(QStringLiteral("Text16"), Frame10);
    Text17 = makeHiddenBox(QStringLiteral("Text17"), Frame10);
    Text12 = makeHiddenBox(QStringLiteral("Text12"), Frame10);
    Text10 = makeHiddenBox(QStringLiteral("Text10"), Frame10);
    Text13 = makeHiddenBox(QStringLiteral("Text13"), Frame10);

    const struct {
        QLineEdit* box;
        const char* field;
    } subjectFields[] = {{Text11, "Code"}, {Text6, "FName"},   {Text4, "LName"},  {Text16, "Jens"},
                         {Text5, "Sen"},   {Text15, "Taahol"}, {Text7, "Tahsil"}, {Text17, "Group"},
                         {Text8, "Date"},  {Text9, "Time"}};
    for (const auto& f : subjectFields)
        bind(m_data.subjects, f.box, QString::fromLatin1(f.field));
    bind(m_data.sheets, Text12, QStringLiteral("ID"));
    bind(m_data.sheetCodes, Text10, QStringLiteral("Code"));
    bind(m_data.duplicates, Text13, QStringLiteral("FName"));

    makeDigitsOnly(Text5, mainWindow, 2);

    connect(Combo1, &QComboBox::currentTextChanged, this, [this] { Combo1_Change(*this); });
    connect(Combo1, &QComboBox::activated, this, [this] { Combo1_Click(*this); });
    connect(Combo2, &QComboBox::currentTextChanged, this, [this] { Combo2_Change(*this); });
    connect(Combo2, &QComboBox::activated, this, [this] { Combo2_Click(*this); });
    connect(Combo3, &QComboBox::currentTextChanged, this, [this] { Combo3_Change(*this); });
    connect(Combo3, &QComboBox::activated, this, [this] { Combo3_Click(*this); });
    connect(Command8, &QPushButton::clicked, this, &RegistrationPanel::Command8_Click);
    connect(Command10, &QPushButton::clicked, this, &RegistrationPanel::Command10_Click);
}

void RegistrationPanel::open() {
    showPanel(this, 2895, 1500, 780, 6675);
    m_data.subjects->addNew();
    Text9->setText(Registration::timeText(QTime::currentTime()));
    Text8->setText(SolarDate(QDate::currentDate(), 0));
    Text11->setFocus();
}

void RegistrationPanel::Command8_Click() {
    // Only an open panel has a new record to store.
    if (isHidden() || !m_data.subjects->isAdding())
        return;

    Combo1_Change(*this);
    Combo2_Change(*this);
    Combo3_Change(*this);

    const Registration::FieldTexts texts = {Text11->text(), Text6->text(), Text4->text(),
                                            Text16->text(), Text5->text(), Text15->text(),
                                            Text17->text(), Text7->text()};
    if (const std::optional<Field> missing = Registration::firstMissing(texts)) {
        ShowNotice(window(), Registration::missingNotice(*missing));
        focusTarget(*this, *missing)->setFocus();
        return;
    }

    // The check reads the file as it is now, so it also sees subjects stored
    // since this window opened, here or elsewhere.
    const QString code = Text11->text();
    if (!m_data.duplicates->refresh() ||
        !m_data.duplicates->setFilter(QStringLiteral("code"), code))
        return;
    const qint64 found = m_data.duplicates->recordCount();
    if (!m_data.duplicates->lastError().isEmpty())
        return;
    if (found != 0) {
        ShowNotice(window(), Registration::duplicateCodeNotice());
        m_data.duplicates->refresh();
        return;
    }

    const StoreOutcome outcome = storeSubject(*this, m_data);
    switch (outcome.result) {
    case StoreResult::Duplicate:
        ShowNotice(window(), Registration::duplicateCodeNotice());
        m_data.duplicates->refresh();
        return;
    case StoreResult::LookAlike:
        // Two codes that read the same would be two people on paper and one
        // to whoever reads them: it waits until the operator has read it.
        platform().messageBox(window(), QStringLiteral("پيام"),
                              Registration::lookAlikeCodeMessage(outcome.lookAlike),
                              QMessageBox::Warning);
        Text11->setFocus();
        return;
    case StoreResult::Failed:
        platform().messageBox(
            window(), errorTitle(),
            QStringLiteral(
                "آزمودني ثبت نشد و هيچ چيز ذخيره نشد؛ آنچه وارد کرده ايد در فرم مانده است.") +
                QStringLiteral("\n\n") +
                (outcome.unrecorded ? outcome.detail
                                    : Database::failureMessage(DbFile::Subjects, outcome.detail)),
            QMessageBox::Critical);
        return;
    case StoreResult::Stored:
        break;
    }
    m_data.subjects->refresh();
    m_data.sheets->refresh();
    m_hidePanels();
    if (outcome.earlier)
        platform().messageBox(window(), QStringLiteral("پيام"), Registration::earlierSheetMessage(),
                              QMessageBox::Information);
}

void RegistrationPanel::Command10_Click() {
    m_data.subjects->refresh();
    m_hidePanels();
}

} // namespace velmora
