#include "scoring/FrmkLID.h"

#include "access/Access.h"
#include "access/Audit.h"
#include "data/DataControl.h"
#include "platform/Platform.h"
#include "scoring/DataRPrint.h"
#include "scoring/Frm2.h"
#include "scoring/HistoryWindow.h"
#include "scoring/Scales.h"
#include "ui/AccessibleNames.h"
#include "ui/Captions.h"
#include "ui/CorrectionLink.h"
#include "ui/DataFailures.h"
#include "ui/FieldBinding.h"
#include "ui/FormKit.h"
#include "ui/MainWindow.h"
#include "ui/Notice.h"
#include "ui/Skins.h"
#include "ui/Twips.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace velmora {

FrmkLID::FrmkLID(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FrmkLID"));
    setWindowTitle(QStringLiteral("کليد گذاري"));
    setAttribute(Qt::WA_DeleteOnClose);
    setClientSize(this, 9975, 7095);
    setFont(formFont());

    Adodc1 = makeDataControl(QStringLiteral("Theme"), this, QStringLiteral("Adodc1"));
    Adodc2 = makeDataControl(QStringLiteral("Answer"), this, QStringLiteral("Adodc2"));
    Adodc3 = makeDataControl(QStringLiteral("IDE"), this, QStringLiteral("Adodc3"));
    Skin1 = new SkinEngine(this);

    buildSubjectFrame();
    buildScoreFrame();
    buildButtonFrame();

    Text5 = makeHiddenBox(QStringLiteral("Text5"), this);
    Text1 = makeHiddenBox(QStringLiteral("Text1"), this);
    bind(Adodc1, Text1, QStringLiteral("TH"));

    Form_Load();
}

FrmkLID::~FrmkLID() = default;

FrmkLID* FrmkLID::showWindow() {
    auto* window = new FrmkLID;
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void FrmkLID::buildSubjectFrame() {
    Frame5 = makeFrame(QStringLiteral("Frame5"), this);
    place(Frame5, 240, 180, 9495, 2115);

    struct Field {
        QLineEdit** box;
        const char* name;
        const char* field;
        QString caption;
    };
    const Field fields[] = {
        {&Text15, "Text15", "Code", QStringLiteral(" :کد")},
        {&Text3[3], "Text3(3)", "FName", QStringLiteral(" :نام")},
        {&Text12, "Text12", "LName", QStringLiteral(" :نام خانوادگي")},
        {&Text10, "Text10", "Jens", QStringLiteral(" :جنس")},
        {&Text6, "Text6", "Sen", QStringLiteral(" :سن")},
        {&Text11, "Text11", "Taahol", QStringLiteral(" :وضعيت تاهل")},
        {&Text7, "Text7", "Tahsil", QStringLiteral(" :ميزان تحصيلات")},
        {&Text8, "Text8", "Date", QStringLiteral(" :تاريخ")},
        {&Text9, "Text9", "Time", QStringLiteral(" :ساعت")},
    };
    // Three rows of three fields, read from right to left; each caption
    // stands to the right of its box.
    constexpr int CaptionWidth = 1335, BoxWidth = 1650, Gap = 60, Column = 3105;
    for (int i = 0; i < 9; ++i) {
        const Field& f = fields[i];
        const int right = 9375 - (i % 3) * Column;
        const int top = 330 + (i / 3) * 600;
        const QString name = QString::fromLatin1(f.name);
        *f.box = makeTextBox(name, Frame5, right - CaptionWidth - Gap - BoxWidth, top, BoxWidth,
                             435, Qt::AlignHCenter);
        nameByCaption(*f.box, makeCaption(QStringLiteral("Caption") + name, f.caption, Frame5,
                                          right - CaptionWidth, top, CaptionWidth, 435));
        bind(Adodc3, *f.box, QString::fromLatin1(f.field));
    }
    Text6->setMaxLength(3);

    Text13 = makeHiddenBox(QStringLiteral("Text13"), Frame5);
    Text16 = makeHiddenBox(QStringLiteral("Text16"), Frame5);
    bind(Adodc1, Text13, QStringLiteral("Name"));
    bind(Adodc1, Text16, QStringLiteral("Adress"));
}

void FrmkLID::buildScoreFrame() {
    Frame3 = makeFrame(QStringLiteral("Frame3"), this);
    place(Frame3, 2700, 2340, 2535, 4515);
    for (const Scale& scale : scales()) {
        const int top = 180 + (scale.number - 1) * 600;
        const QString box = QStringLiteral("Text3(%1)").arg(scale.scoreBox);
        QLineEdit* score = makeTextBox(box, Frame3, 180, top, 555, 555, Qt::AlignHCenter);
        score->setReadOnly(true);
        Text3[scale.scoreBox] = score;
        scaleLabels[scale.scoreBox] =
            makeCaption(QStringLiteral("Caption") + box, scale.name, Frame3, 840, top, 1575, 555);
        nameByCaption(score, scaleLabels[scale.scoreBox]);
    }
    // The window's copy of the answer sheet lies beyond the frame's right
    // edge: it is bound, read and scored, but never seen.
    for (int item = 1; item <= ItemCount; ++item) {
        QLineEdit* box = makeTextBox(QStringLiteral("Txt3(%1)").arg(item), Frame3, 2700,
                                     180 + (item - 1) * 300, 435, 285);
        box->setFocusPolicy(Qt::NoFocus);
        bind(Adodc2, box, QString::number(item));
        Txt3[item] = box;
    }
}

void FrmkLID::buildButtonFrame() {
    Frame1 = makeFrame(QStringLiteral("Frame1"), this);
    place(Frame1, 5460, 3000, 1575, 2895);
    Command1 = makeButton(QStringLiteral("Command1"), QStringLiteral("جستجو"), Frame1, 120, 240,
                          1335, 555);
    Command2 = makeButton(QStringLiteral("Command2"), QStringLiteral("رسم نمودار"), Frame1, 120,
                          900, 1335, 555);
    Command6 = makeButton(QStringLiteral("Command6"), QStringLiteral("پرينت"), Frame1, 120, 1560,
                          1335, 555);
    Command4 = makeButton(QStringLiteral("Command4"), QStringLiteral(" خروج"), Frame1, 120, 2220,
                          1335, 555);
    connect(Command1, &QPushButton::clicked, this, &FrmkLID::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &FrmkLID::Command2_Click);
    connect(Command6, &QPushButton::clicked, this, &FrmkLID::Command6_Click);
    connect(Command4, &QPushButton::clicked, this, &FrmkLID::Command4_Click);
    // Beside the button frame, where the window has room.
    historyButton = makeButton(QStringLiteral("historyButton"), QStringLiteral("سوابق آزمون"), this,
                               7260, 3240, 1575, 555);
    historyButton->setVisible(false);
    connect(historyButton, &QPushButton::clicked, this, &FrmkLID::historyClick);
    correctButton = makeButton(QStringLiteral("correctButton"), QStringLiteral("اصلاح مشخصات"),
                               this, 7260, 3900, 1575, 555);
    correctButton->setVisible(false);
    connect(correctButton, &QPushButton::clicked, this, &FrmkLID::correctClick);
}

void FrmkLID::Form_Load() {
    placeWindow(this, 2340, 765);
    ApplyTheme(this, Text1->text(), Skin1);
}

void FrmkLID::Command1_Click() {
    if (!Access::permit(Action::Score, this))
        return;
    const QString code = platform().inputBox(
        this, QStringLiteral(" Enter Number "),
        QStringLiteral(" کد آزمودني ") + QStringLiteral("را وارد کنيد"), QString());
    if (code.isEmpty()) {
        ShowNotice(this, QStringLiteral("شما بايد شماره آزمودني مورد نظر را وارد كنيد"));
        return;
    }

    // A failing database has already been reported by the data control; the
    // window then keeps the scores of the last search rather than mixing them
    // with a half-read sheet.
    if (!Adodc2->refresh() || !Adodc2->setFilter(QStringLiteral("Code"), code))
        return;
    const qint64 sheets = Adodc2->recordCount();
    if (!Adodc2->lastError().isEmpty())
        return;
    if (sheets == 0) {
        ShowNotice(this, QStringLiteral("فردي با اين مشخصات وجود ندارد"));
        return;
    }

    // The scores are shown only once their viewing is recorded.
    QString error;
    if (!Audit::record(Action::Score, code, Outcome::Done, QString(), &error)) {
        Adodc2->refresh();
        platform().messageBox(this, errorTitle(), error, QMessageBox::Critical);
        return;
    }
    QStringList answers;
    for (int item = 1; item <= ItemCount; ++item)
        answers.append(Txt3[item]->text());
    const QString missing = unansweredList(answers);
    if (!missing.isEmpty())
        platform().messageBox(this, errorTitle(), unansweredMessage(missing), QMessageBox::Warning,
                              QMessageBox::Ok);

    if (!Adodc3->setFilter(QStringLiteral("Code"), code))
        return;
    Text5->setText(code);
    for (const Scale& scale : scales())
        Text3[scale.scoreBox]->setText(numberText(scaleScore(scale, answers)));
    m_historyCode = code;
    historyButton->setVisible(hasHistory());
    correctButton->setVisible(correctionAvailable());
}

void FrmkLID::correctClick() {
    const QString code = m_historyCode;
    if (code.isEmpty())
        return;
    const std::optional<QString> corrected = openCorrection(this, code);
    if (!corrected)
        return;
    // The report still to be printed follows the subject's new code.
    if (Text5->text() == code)
        Text5->setText(*corrected);
    m_historyCode = *corrected;
    showSubject(*corrected);
}

bool FrmkLID::showSubject(const QString& code) {
    return Adodc2->refresh() && Adodc2->setFilter(QStringLiteral("Code"), code) &&
           Adodc3->refresh() && Adodc3->setFilter(QStringLiteral("Code"), code);
}

bool FrmkLID::hasHistory() {
    // The newest one says whether there are any: as quick for hundreds as for one.
    QList<History::Administration> newest;
    QString error;
    if (History::page(m_historyCode, 0, 1, &newest, &error))
        return !newest.isEmpty();
    platform().messageBox(this, errorTitle(), Database::failureMessage(DbFile::Subjects, error),
                          QMessageBox::Critical);
    return false;
}

void FrmkLID::historyClick() {
    if (!Access::permit(Action::History, this, m_historyCode))
        return;
    if (m_historyCode.isEmpty())
        return;
    if (!recorded(Action::History, m_historyCode))
        return;
    DataRPrint report;
    fillReport(&report);
    HistoryWindow window(m_historyCode, report, Text1->text(), this);
    if (window.load())
        window.exec();
}

void FrmkLID::fillReport(DataRPrint* report) const {
    // The clinic's name, the seven scores in scale order, the subject and the
    // clinic's address, one after the other.
    QList<QPair<QString, QLineEdit*>> captions = {{QStringLiteral("Label9"), Text13}};
    for (const Scale& scale : scales())
        captions.append({DataRPrint::scoreLabel(scale.number), Text3[scale.scoreBox]});
    captions += {{QStringLiteral("Label5"), Text3[3]}, {QStringLiteral("Label10"), Text12},
                 {QStringLiteral("Label11"), Text6},   {QStringLiteral("Label12"), Text7},
                 {QStringLiteral("Label13"), Text8},   {QStringLiteral("Label14"), Text16}};
    ReportSection* detail = report->section(QStringLiteral("Section1"));
    for (const auto& [label, box] : captions)
        detail->control(label)->caption = box->text();
    // The group cell: the subject frame's record holds the group even though
    // the window shows no box for it.
    detail->control(QStringLiteral("Label33"))->caption = Adodc3->field(QStringLiteral("Group"));
}

void FrmkLID::Command2_Click() {
    if (Text3[2]->text().isEmpty()) {
        ShowNotice(this, QStringLiteral("ابتدا روي جستجو کليک کرده و سپس کد آزمودني را وارد کنيد "
                                        "بعد روي رسم نمودار کليک کنيد"));
        return;
    }
    if (!Access::permit(Action::Chart, this, Text15->text()) ||
        !recorded(Action::Chart, Text15->text()))
        return;
    Frm2 chart(this);
    chart.Text18->setText(Text15->text());
    chart.Text17->setText(Text3[3]->text());
    chart.Text16->setText(Text12->text());
    chart.Text10->setText(Text10->text());
    chart.Text15->setText(Text6->text());
    chart.Text8->setText(Text11->text());
    chart.Text14->setText(Text7->text());
    chart.Text12->setText(Text8->text());
    chart.Text9->setText(Text9->text());
    for (const Scale& scale : scales())
        chart.valueBox(scale.number)->setText(chartValueText(scale, Text3[scale.scoreBox]->text()));
    chart.exec();
    // The keyboard goes back to the window it was opened from, even where no
    // window manager hands it back.
    activateWindow();
}

void FrmkLID::Command6_Click() {
    if (Text5->text().isEmpty()) {
        ShowNotice(
            this,
            QStringLiteral(
                "ابتدا روي جستجو کليک کرده سپس کد آزمودني را وارد کنيد بعد روي پرينت کليک کنيد "),
            LongNoticeInterval);
        return;
    }
    if (!Access::permit(Action::Report, this, Text5->text()) ||
        !recorded(Action::Report, Text5->text()))
        return;
    if (!m_report)
        m_report = std::make_unique<DataRPrint>();
    m_report->setDataSource(Adodc2);
    m_report->setSubjectCode(Text5->text());
    fillReport(m_report.get());
    m_report->show(this);
    Text5->clear();
}

bool FrmkLID::recorded(Action action, const QString& code) {
    QString error;
    if (Audit::record(action, code, Outcome::Done, QString(), &error))
        return true;
    platform().messageBox(this, errorTitle(), error, QMessageBox::Critical);
    return false;
}

void FrmkLID::Command4_Click() {
    close();
}

void FrmkLID::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        Command4_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FrmkLID::closeEvent(QCloseEvent* event) {
    event->accept();
    if (m_unloaded)
        return;
    m_unloaded = true;
    Form_Unload();
}

void FrmkLID::Form_Unload() {
    // The main window was only hidden: showing it runs no load steps.
    showMainWindow();
}

} // namespace velmora
