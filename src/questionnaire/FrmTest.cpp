#include "questionnaire/FrmTest.h"

#include "access/Audit.h"
#include "access/Session.h"
#include "access/SignInWindow.h"
#include "calendar/ClockTime.h"
#include "calendar/SolarCalendar.h"
#include "data/DataControl.h"
#include "data/History.h"
#include "data/TextNumber.h"
#include "platform/Platform.h"
#include "questionnaire/ItemBank.h"
#include "ui/AccessibleNames.h"
#include "ui/DataFailures.h"
#include "ui/DigitsOnly.h"
#include "ui/FieldBinding.h"
#include "ui/FormKit.h"
#include "ui/Notice.h"
#include "ui/SkinLabel.h"
#include "ui/Skins.h"
#include "ui/Twips.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace velmora {

namespace {

FrmTest* s_instance = nullptr;

// Persian captions and item texts read from the right edge.
constexpr Qt::Alignment RightEdge = Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter;

// Enter in a box must not press a button: the save-and-exit and exit buttons
// would end the run behind the subject's back.
QPushButton* makeTestButton(const QString& name, const QString& caption, QWidget* parent, int left,
                            int top, int width, int height) {
    QPushButton* button = makeButton(name, caption, parent, left, top, width, height);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

// The field of the answer sheet that holds the answer to item number.
QString answerField(int number) {
    return QString::number(number);
}

} // namespace

FrmTest::FrmTest(QWidget* parent) : QDialog(parent) {
    s_instance = this;
    setObjectName(QStringLiteral("FrmTest"));
    setWindowTitle(QStringLiteral("صفحه اجراي تست"));
    setClientSize(this, 10215, 8775);
    setFont(formFont());

    Adodc1 = makeDataControl(QStringLiteral("Theme"), this, QStringLiteral("Adodc1"));
    Adodc2 = makeDataControl(QStringLiteral("Answer"), this, QStringLiteral("Adodc2"));
    Adodc3 = makeDataControl(QStringLiteral("IDE"), this, QStringLiteral("Adodc3"));
    Adodc4 = makeDataControl(QStringLiteral("Answer"), this, QStringLiteral("Adodc4"));
    Adodc5 = makeDataControl(QStringLiteral("IDE"), this, QStringLiteral("Adodc5"));
    Skin1 = new SkinEngine(this);

    Text2 = makeHiddenBox(QStringLiteral("Text2"), this);
    bind(Adodc1, Text2, QStringLiteral("TH"));
    Text13 = makeHiddenBox(QStringLiteral("Text13"), this);
    bind(Adodc5, Text13, QStringLiteral("FName"));
    Text15 = makeHiddenBox(QStringLiteral("Text15"), this);
    bind(Adodc2, Text15, QStringLiteral("ID"));

    // The item label lies under the instructions: before start only the
    // instructions are to be read there.
    SkinLbl5 = new SkinLabel(QStringLiteral("SkinLbl5"), QStringLiteral(" "), this);
    SkinLbl5->setFont(formFont(14));
    SkinLbl5->setWordWrap(true);
    SkinLbl5->setAlignment(RightEdge);
    place(SkinLbl5, 480, 3360, 8535, 1455);
    SkinLbl5->setVisible(false);

    SkinLabel3 = new SkinLabel(QStringLiteral("SkinLabel3"),
                               QStringLiteral("پرسشنامه ولمورا هاي دفاعي در برابر تغيير"), this);
    SkinLabel3->setFont(formFont(20));
    SkinLabel3->setWordWrap(true);
    SkinLabel3->setAlignment(Qt::AlignCenter);

    SkinLabel4 = new SkinLabel(
        QStringLiteral("SkinLabel4"),
        QStringLiteral("ميزان موافقت خود را با هر يک از جملات زير با توجه به طيف بيان کنيد"), this);
    SkinLabel4->setFont(formFont(16));
    SkinLabel4->setWordWrap(true);
    SkinLabel4->setAlignment(Qt::AlignCenter);

    buildSubjectFrame();

    Text6 = makeTextBox(QStringLiteral("Text6"), this, 9120, 3420, 615, 495, Qt::AlignHCenter);
    Text6->setText(QStringLiteral("1"));
    // Item numbers are typed as digits; the length is left open, as a number
    // above the last item simply shows the last item.
    makeDigitsOnly(Text6, this, 32767);
    Text6->setVisible(false);
    nameField(Text6, QStringLiteral("شماره سؤال"));

    buildOptionsFrame();

    CmdBack = makeTestButton(QStringLiteral("CmdBack"), QStringLiteral("قبلي"), this, 2100, 5700,
                             1455, 975);
    CmdBack->setVisible(false);
    CmdNext = makeTestButton(QStringLiteral("CmdNext"), QStringLiteral("بعدي"), this, 6660, 5700,
                             1455, 975);
    CmdNext->setVisible(false);
    Command1 = makeTestButton(QStringLiteral("Command1"), QStringLiteral("شروع"), this, 5040, 7980,
                              975, 555);
    Command5 = makeTestButton(QStringLiteral("Command5"), QStringLiteral("ذخيره و خروج"), this,
                              5040, 7980, 1575, 555);
    Command5->setVisible(false);
    Command2 = makeTestButton(QStringLiteral("Command2"), QStringLiteral("خروج"), this, 3840, 7980,
                              975, 555);

    connect(Command1, &QPushButton::clicked, this, &FrmTest::Command1_Click);
    connect(CmdNext, &QPushButton::clicked, this, &FrmTest::CmdNext_Click);
    connect(CmdBack, &QPushButton::clicked, this, &FrmTest::CmdBack_Click);
    connect(Command5, &QPushButton::clicked, this, &FrmTest::Command5_Click);
    connect(Command2, &QPushButton::clicked, this, &FrmTest::Command2_Click);
    // Connected after the initial text is in place: creating the window shows
    // no item.
    connect(Text6, &QLineEdit::textChanged, this, &FrmTest::Text6_Change);

    // The subject answers with the digit keys and goes on with the next
    // button, where the focus then stays: one Tab from the code box, which
    // the start gives the focus, reaches it. The boxes of the subject frame
    // follow the buttons.
    QWidget* const tabOrder[] = {Text1,   CmdNext,  CmdBack,  Option1,  Option2, Option3, Option4,
                                 Option5, Command1, Command5, Command2, Text6,   Text3,   Text4,
                                 Text10,  Text5,    Text11,   Text7,    Text8,   Text9};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    for (QLineEdit* box : findChildren<QLineEdit*>())
        box->installEventFilter(this);

    Form_Load();
}

FrmTest::~FrmTest() {
    if (s_instance == this)
        s_instance = nullptr;
}

FrmTest* FrmTest::instance() {
    return s_instance;
}

QString FrmTest::changedElsewhereText() {
    return QStringLiteral("پاسخنامه اين آزمودني پس از باز شدن اين پنجره در ايستگاه ديگري هم "
                          "تغيير کرد (آزمون او همزمان در جاي ديگري هم اجرا شد). پاسخهاي اين "
                          "صفحه ذخيره شد و هر دو اجرا در سوابق آزمون نگه داشته شده اند؛ "
                          "پاسخنامه فعلي را پيش از نمره گذاري بررسي کنيد.");
}

FrmTest* FrmTest::loaded() {
    return s_instance ? s_instance : new FrmTest;
}

void FrmTest::buildSubjectFrame() {
    Frame1 = makeFrame(QStringLiteral("Frame1"), this);
    place(Frame1, 360, 480, 9495, 2115);
    Frame1->setVisible(false);

    struct Field {
        QLineEdit** box;
        const char* boxName;
        SkinLabel** label;
        QString labelName;
        QString caption;
        const char* field;
    };
    const Field fields[] = {
        {&Text1, "Text1", &SkinLbl, QStringLiteral("SkinLbl"), QStringLiteral(" :کد"), "Code"},
        {&Text3, "Text3", &SkinLabel1, QStringLiteral("SkinLabel1"), QStringLiteral(" :نام"),
         "FName"},
        {&Text4, "Text4", &SkinLabel2[0], QStringLiteral("SkinLabel2(0)"),
         QStringLiteral(" :نام خانوادگي"), "LName"},
        {&Text10, "Text10", &SkinLabel2[1], QStringLiteral("SkinLabel2(1)"),
         QStringLiteral(" :جنس"), "Jens"},
        {&Text5, "Text5", &SkinLabel2[2], QStringLiteral("SkinLabel2(2)"), QStringLiteral(" :سن"),
         "Sen"},
        {&Text11, "Text11", &SkinLabel2[3], QStringLiteral("SkinLabel2(3)"),
         QStringLiteral(" :وضعيت تاهل"), "Taahol"},
        {&Text7, "Text7", &SkinLabel2[4], QStringLiteral("SkinLabel2(4)"),
         QStringLiteral(" :ميزان تحصيلات"), "Tahsil"},
        {&Text8, "Text8", &SkinLabel2[5], QStringLiteral("SkinLabel2(5)"),
         QStringLiteral(" :تاريخ"), "Date"},
        {&Text9, "Text9", &SkinLabel2[6], QStringLiteral("SkinLabel2(6)"), QStringLiteral(" :ساعت"),
         "Time"},
    };
    // Three rows of three fields, read from the right; each label stands to
    // the right of its box.
    constexpr int RightEdgeOfFirstColumn = 9375;
    constexpr int ColumnWidth = 3080;
    constexpr int LabelWidth = 1500;
    constexpr int BoxWidth = 1460;
    constexpr int Gap = 60;
    constexpr int RowTops[] = {240, 840, 1440};
    constexpr int RowHeight = 435;
    for (int i = 0; i < 9; ++i) {
        const Field& f = fields[i];
        const int right = RightEdgeOfFirstColumn - (i % 3) * ColumnWidth;
        const int top = RowTops[i / 3];
        *f.label = new SkinLabel(f.labelName, f.caption, Frame1);
        // Each caption stands close to its own box.
        (*f.label)->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
        place(*f.label, right - LabelWidth, top, LabelWidth, RowHeight);
        *f.box =
            makeTextBox(QString::fromLatin1(f.boxName), Frame1, right - LabelWidth - Gap - BoxWidth,
                        top, BoxWidth, RowHeight, Qt::AlignRight | Qt::AlignAbsolute);
        nameByCaption(*f.box, *f.label);
        bind(Adodc3, *f.box, QString::fromLatin1(f.field));
    }
    // The code ties the registration row to its answer sheet: changed here, it
    // would part them, so it is shown and not edited.
    Text1->setReadOnly(true);
    makeDigitsOnly(Text5, this, 3);
}

void FrmTest::buildOptionsFrame() {
    Frame2 = makeFrame(QStringLiteral("Frame2"), this);
    Frame2->setTitle(QStringLiteral("1"));
    place(Frame2, 3720, 4440, 2655, 3135);
    Frame2->setVisible(false);

    struct Option {
        QRadioButton** button;
        const char* name;
        QString caption;
        int top;
        void (FrmTest::*click)();
    };
    const Option options[] = {
        {&Option1, "Option1", answerText(5), 480, &FrmTest::Option1_Click},
        {&Option2, "Option2", answerText(4), 1020, &FrmTest::Option2_Click},
        {&Option3, "Option3", answerText(3), 1560, &FrmTest::Option3_Click},
        {&Option4, "Option4", answerText(2), 2040, &FrmTest::Option4_Click},
        {&Option5, "Option5", answerText(1), 2520, &FrmTest::Option5_Click},
    };
    for (const Option& o : options) {
        auto* button = new QRadioButton(o.caption, Frame2);
        button->setObjectName(QString::fromLatin1(o.name));
        button->setFont(formFont());
        place(button, 180, o.top, 2055, 435);
        // Selected by the subject or by the program, the option writes its
        // value; writing the value already there changes nothing.
        const auto click = o.click;
        connect(button, &QRadioButton::toggled, this, [this, click](bool checked) {
            if (checked)
                (this->*click)();
        });
        connect(button, &QRadioButton::clicked, this, [this, click] { (this->*click)(); });
        *o.button = button;
    }
    // Each option shows the digit key that chooses it, beside its circle: the
    // key of an option is the value it stands for.
    for (int value = 5; value >= 1; --value) {
        const int index = 5 - value;
        auto* key = new SkinLabel(QStringLiteral("OptionKey%1").arg(index + 1),
                                  QString(QChar(char16_t(0x06F0 + value))), Frame2);
        key->setFont(formFont());
        key->setAlignment(Qt::AlignCenter);
        place(key, 2250, options[index].top, 300, 435);
        OptionKeys[static_cast<std::size_t>(index)] = key;
    }

    Text12 = makeHiddenBox(QStringLiteral("Text12"), Frame2);
    Text12->setMaxLength(1);
}

void FrmTest::Form_Load() {
    placeWindow(this, 2340, 765);
    ApplyTheme(this, Text2->text(), Skin1);
    SkinLabel4->setVisible(true);
    place(SkinLabel4, 600, 3000, 9075, 4095);
    SkinLabel3->setVisible(true);
    place(SkinLabel3, 1200, 600, 7635, 1515);
    CmdNext->setVisible(false);
    CmdBack->setVisible(false);
}

void FrmTest::Command1_Click() {
    SkinLbl5->setVisible(true);
    place(SkinLbl5, 480, 3360, 8535, 1455);
    SkinLabel3->setVisible(false);
    SkinLabel4->setVisible(false);
    Frame1->setVisible(true);
    Frame2->setVisible(true);
    Text6->setVisible(true);
    CmdNext->setVisible(true);
    Text6->setText(QStringLiteral("0"));
    CmdBack->setVisible(true);
    Text1->setFocus();
    Command1->setVisible(false);
    Command5->setVisible(true);
    Text6->setText(QStringLiteral("1"));
}

// Setting the box from here runs this handler again at once for the new text
// (nested), before the outer run goes on; each step therefore reads the box
// afresh.
void FrmTest::Text6_Change() {
    if (Text6->text().isEmpty()) {
        // The box is never left empty: it goes back to the first item.
        SkinLbl5->setText(QString());
        Text6->setText(QStringLiteral("1"));
    }

    double v = leadingNumber(Text6->text());
    if (v < 0) {
        ShowNotice(this, QStringLiteral("شروع"));
        Text6->setText(QStringLiteral("1"));
        bindAnswerBox(static_cast<int>(leadingNumber(Text6->text())));
        Frame2->setTitle(Text6->text());
    }
    // 0 is the neutral number: the item on screen and its binding stay.
    if (v == 0)
        return;

    v = leadingNumber(Text6->text());
    if (v > ItemCount) {
        ShowNotice(this, QStringLiteral("پايان"));
        Text6->setText(QString::number(ItemCount));
        Frame2->setTitle(Text6->text());
    }

    v = leadingNumber(Text6->text());
    if (v < ItemCount + 1)
        showItem(static_cast<int>(v));
}

void FrmTest::bindAnswerBox(int number) {
    if (number >= 1 && number <= ItemCount)
        bind(Adodc2, Text12, answerField(number));
}

// Leading zeros are only a way of typing: "07" shows item 7 and answers into
// field "7".
void FrmTest::showItem(int number) {
    if (number < 1 || number > ItemCount)
        return;
    bindAnswerBox(number);
    Frame2->setTitle(QString::number(number));
    ShowStoredAnswer();
    SkinLbl5->setText(itemText(number));
}

void FrmTest::ShowStoredAnswer() {
    const std::array<QRadioButton*, 5> options = {Option1, Option2, Option3, Option4, Option5};
    if (Text12->text().isEmpty()) {
        for (QRadioButton* o : options) {
            o->setAutoExclusive(false);
            o->setChecked(false);
            o->setAutoExclusive(true);
        }
        return;
    }
    const double value = leadingNumber(Text12->text());
    for (int i = 0; i < 5; ++i) {
        if (value != 5 - i)
            continue;
        options[i]->setChecked(true);
        for (int j = 0; j < 5; ++j)
            if (j != i)
                options[j]->setChecked(false);
        return;
    }
}

void FrmTest::Option1_Click() {
    Text12->setText(QStringLiteral("5"));
}

void FrmTest::Option2_Click() {
    Text12->setText(QStringLiteral("4"));
}

void FrmTest::Option3_Click() {
    Text12->setText(QStringLiteral("3"));
}

void FrmTest::Option4_Click() {
    Text12->setText(QStringLiteral("2"));
}

void FrmTest::Option5_Click() {
    Text12->setText(QStringLiteral("1"));
}

void FrmTest::CmdNext_Click() {
    step(1);
}

void FrmTest::CmdBack_Click() {
    step(-1);
}

void FrmTest::step(int delta) {
    // The subject stays on the item whose answer could not be stored; the
    // answer stays in the sheet in memory for the next try.
    if (!saveSheet())
        return;
    const int number = static_cast<int>(leadingNumber(Text6->text()));
    Text6->setText(QString::number(number + delta));
}

void FrmTest::startNewAdministration() {
    // Only in memory: nothing is written until the subject's first answer is
    // stored, and then the whole empty sheet with it.
    for (int item = 1; item <= ItemCount; ++item)
        Adodc2->setField(answerField(item), QString());
    m_newAdministration = true;
}

bool FrmTest::replacedSheetIsKept() {
    // A sheet replaced at another workstation since it was read (a restore)
    // is refused by the store itself, with its own words; so is a sheet gone
    // from the table or no longer the subject's.
    SubjectStore& store = SubjectStore::current();
    store.catchUp();
    if (Adodc2->state().generation != store.generation())
        return true;
    History::SheetState state;
    QString error;
    if (!History::sheetState(Adodc2->currentId(), Adodc2->field(QStringLiteral("Code")), &state,
                             &error)) {
        reportFailedSave(error);
        return false;
    }
    if (!state.found || state.kept || !state.answered)
        return true;
    // Someone stored other answers on this sheet since the test began (another
    // workstation): replacing them would lose them.
    platform().messageBox(
        this, errorTitle(),
        QStringLiteral("پاسخنامه قبلي اين آزمودني پس از شروع اين آزمون تغيير کرده و در سوابق آزمون "
                       "نيست، پس پاسخهاي آزمون تازه روي آن ذخيره نشد. از آزمون خارج شويد و آن را "
                       "دوباره آغاز کنيد."),
        QMessageBox::Critical);
    return false;
}

bool FrmTest::newSheetHasAnswers() const {
    for (int item = 1; item <= ItemCount; ++item)
        if (!Adodc2->field(answerField(item)).isEmpty())
            return true;
    return false;
}

// The answer sheet is stored into the row this run read. Another
// workstation testing the same subject meanwhile does not stop the subject
// here (both administrations are kept); the operator hears of it at the end.
bool FrmTest::storeSheet() {
    if (Adodc2->save())
        return true;
    if (Adodc2->lastFailure() != StoreFailure::RowChanged)
        return false;
    m_changedElsewhere = true;
    return Adodc2->updateOverChanges();
}

bool FrmTest::saveSheet() {
    // Going from item to item before the first answer of a new administration
    // stores nothing: the kept sheet stays the subject's until there is an
    // answer to replace it with.
    if (m_newAdministration && !newSheetHasAnswers())
        return true;
    if (!m_newAdministration && !Adodc2->isDirty())
        return true;
    // An answer is recorded with the item it answers, in one transaction.
    const QString item = QStringLiteral("سوال %1").arg(Text6->text());
    const bool changedBefore = m_changedElsewhere;
    DataTransaction transaction({Adodc2});
    if (!transaction.begun()) {
        reportFailedSave(transaction.lastError());
        return false;
    }
    // The empty sheet of a new administration replaces the kept one only if
    // that one is still what is stored, in one transaction with the check.
    if (m_newAdministration && !replacedSheetIsKept()) {
        transaction.rollback();
        return false;
    }
    Adodc2->setReportFailures(false);
    QString error;
    bool saved = storeSheet();
    StoreFailure failure = saved ? StoreFailure::None : Adodc2->lastFailure();
    if (!saved)
        error = Adodc2->lastError();
    Adodc2->setReportFailures(true);
    if (saved && !Audit::record(Action::SaveAnswers, subjectCode(), Outcome::Done, item, &error)) {
        transaction.rollback();
        m_changedElsewhere = changedBefore;
        platform().messageBox(this, errorTitle(), error, QMessageBox::Critical);
        return false;
    }
    if (saved) {
        saved = transaction.commit();
        if (!saved) {
            error = transaction.lastError();
            failure = StoreFailure::Other;
        }
    } else {
        transaction.rollback();
    }
    if (!saved) {
        m_changedElsewhere = changedBefore;
        reportFailedSave(error, failure);
        return false;
    }
    m_newAdministration = false;
    return true;
}

QString FrmTest::subjectCode() const {
    return Adodc2->field(QStringLiteral("Code"));
}

// The answers, the registration row and the administration they make reach
// the file together or not at all; a failure leaves both controls holding what
// was typed.
bool FrmTest::saveBothRows() {
    const QDateTime now = QDateTime::currentDateTime();
    const bool changedBefore = m_changedElsewhere;
    DataTransaction transaction({Adodc2, Adodc3});
    if (!transaction.begun()) {
        reportFailedSave(transaction.lastError());
        return false;
    }
    // A new administration without a single answer is none: the registration
    // row is stored, the kept sheet stays the subject's and nothing is added
    // to the history.
    const bool sheet = !m_newAdministration || newSheetHasAnswers();
    if (sheet && m_newAdministration && !replacedSheetIsKept()) {
        transaction.rollback();
        return false;
    }
    Adodc2->setReportFailures(false);
    Adodc3->setReportFailures(false);
    QString error;
    StoreFailure failure = StoreFailure::None;
    bool saved = !sheet || storeSheet();
    if (!saved) {
        error = Adodc2->lastError();
        failure = Adodc2->lastFailure();
    }
    if (saved) {
        saved = Adodc3->save();
        if (!saved) {
            error = Adodc3->lastError();
            failure = Adodc3->lastFailure();
        }
    }
    if (saved && sheet)
        saved = History::append(Adodc2->currentId(), Adodc2->field(QStringLiteral("Code")),
                                SolarDate(now.date(), 0), ClockTime(now.time()), &error);
    Adodc2->setReportFailures(true);
    Adodc3->setReportFailures(true);
    if (saved &&
        !Audit::record(Action::SaveAndExit, subjectCode(), Outcome::Done, QString(), &error)) {
        transaction.rollback();
        platform().messageBox(this, errorTitle(), error, QMessageBox::Critical);
        return false;
    }
    if (saved) {
        saved = transaction.commit();
        if (!saved)
            error = transaction.lastError();
    } else {
        transaction.rollback();
    }
    if (!saved) {
        m_changedElsewhere = changedBefore;
        reportFailedSave(error, failure);
        return false;
    }
    m_newAdministration = false;
    if (m_changedElsewhere)
        platform().messageBox(this, QStringLiteral("پيام"), changedElsewhereText(),
                              QMessageBox::Warning);
    return true;
}

void FrmTest::reportFailedSave(const QString& detail, StoreFailure failure) {
    if (failure == StoreFailure::RowReplaced) {
        // Nothing may go into a row that is now someone else's; what the
        // subject answered is still on the screen and in this window.
        platform().messageBox(
            this, errorTitle(),
            QStringLiteral("پاسخها ذخيره نشد: پرونده اين آزمودني پس از باز شدن اين پنجره در "
                           "ايستگاه ديگري جايگزين شده است (براي نمونه با بازيابي از نسخه "
                           "پشتيبان). هيچ چيز در پرونده آزمودني ديگري نوشته نشد. پاسخهاي اين "
                           "صفحه روي صفحه مانده اند و ذخيره نشده اند؛ آنها را يادداشت کنيد و "
                           "آزمون را دوباره باز کنيد.\n\n") +
                Database::failureMessage(DbFile::Subjects, detail),
            QMessageBox::Critical);
        return;
    }
    platform().messageBox(this, errorTitle(),
                          QStringLiteral("پاسخها ذخيره نشد و صفحه آزمون باز مي ماند. پاسخهاي اين "
                                         "صفحه و پاسخهايي که پيش از اين ذخيره شده اند از دست نرفته "
                                         "اند؛ پس از رفع مشکل دوباره ذخيره کنيد.\n\n") +
                              Database::failureMessage(DbFile::Subjects, detail),
                          QMessageBox::Critical);
}

// The run is over and the window goes: a failed read here loses nothing, so it
// is not put before the operator.
void FrmTest::refreshAll() {
    for (DataControl* control : {Adodc1, Adodc2, Adodc3}) {
        control->setReportFailures(false);
        control->refresh();
        control->setReportFailures(true);
    }
}

void FrmTest::Command5_Click() {
    if (!saveBothRows())
        return;
    refreshAll();
    endRun();
}

void FrmTest::Command2_Click() {
    if (!operatorLetsGo())
        return;
    refreshAll();
    endRun();
}

bool FrmTest::operatorLetsGo() {
    if (!Session::inForce())
        return true;
    if (!SignInWindow::signIn(SignInWindow::Purpose::LeaveTest, this))
        return false;
    m_signedOut = true;
    Audit::record(Action::LeaveTest, subjectCode(), Outcome::Done, QString());
    return true;
}

void FrmTest::leaveForLock() {
    m_signedOut = true;
    refreshAll();
    endRun();
}

void FrmTest::endRun() {
    m_ending = true;
    close();
    m_ending = false;
}

void FrmTest::closeEvent(QCloseEvent* event) {
    // The window's close box ends the run the way the exit button does:
    // nothing since the last save is stored, and an operator lets go first.
    if (!m_ending) {
        if (!operatorLetsGo()) {
            event->ignore();
            return;
        }
        refreshAll();
    }
    QDialog::closeEvent(event);
}

bool FrmTest::eventFilter(QObject* watched, QEvent* event) {
    // Return in a box being typed into (the item number, a name) ends there:
    // the operator finishing a field does not move the subject on.
    if (event->type() == QEvent::KeyPress && qobject_cast<QLineEdit*>(watched)) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void FrmTest::keyPressEvent(QKeyEvent* event) {
    // Escape would end the run without the subject meaning to.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    if (!Frame2->isVisible()) {
        QDialog::keyPressEvent(event);
        return;
    }
    // Return goes on to the next item as the next button does (a box keeps
    // its own Return: see eventFilter).
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        if (CmdNext->isVisible() && CmdNext->isEnabled())
            CmdNext_Click();
        return;
    }
    // A digit key 1 to 5 (Latin, Persian or Arabic-Indic) chooses the option
    // worth that number, as a click on it does: 5 "agree completely" down to 1
    // "disagree completely", the way rating scales are read. A box being typed
    // into (the item number, the age, a name) keeps its digits: they never
    // reach the window.
    const Qt::KeyboardModifiers chords = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (event->text().size() == 1 && !(event->modifiers() & chords)) {
        const int value = event->text().at(0).digitValue();
        const std::array<QRadioButton*, 5> options = {Option1, Option2, Option3, Option4, Option5};
        if (value >= 1 && value <= 5) {
            options[static_cast<std::size_t>(5 - value)]->click();
            event->accept();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

} // namespace velmora
