#include "app/Frm1.h"

#include "access/Access.h"
#include "access/Audit.h"
#include "access/AuditWindow.h"
#include "access/OperatorsWindow.h"
#include "data/DataControl.h"
#include "data/DirectionalText.h"
#include "data/TextNumber.h"
#include "dialogs/About.h"
#include "dialogs/exitpro.h"
#include "platform/Folders.h"
#include "platform/Platform.h"
#include "questionnaire/TestLaunch.h"
#include "registry/FrmCode.h"
#include "registry/RegistrationPanel.h"
#include "scoring/FrmkLID.h"
#include "settings/ClinicPanel.h"
#include "settings/Frmskin.h"
#include "settings/SettingsPanel.h"
#include "settings/ThemePanel.h"
#include "ui/DataFailures.h"
#include "ui/FieldBinding.h"
#include "ui/FormKit.h"
#include "ui/PictureButton.h"
#include "ui/SkinLabel.h"
#include "ui/Skins.h"
#include "ui/Twips.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHash>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QStandardPaths>
#include <QUrl>

namespace velmora {

namespace {

Frm1* s_instance = nullptr;

// Calculators a Linux desktop may have, in order of preference.
const char* const Calculators[] = {"gnome-calculator", "kcalc",         "galculator",
                                   "mate-calc",        "qalculate-gtk", "xcalc"};

// The words on the help picture, which also name it to a screen reader.
QString helpCaption() {
    return QStringLiteral("راهنماي استفاده از ولمورا");
}

QPixmap helpPicture() {
    // 418 × 46 pixels: the link to the help page shipped with the program.
    QPixmap picture(418, 46);
    picture.fill(QColor(0xf4, 0xf1, 0xe8));
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x7a, 0x1f, 0x2b), 2));
    p.setBrush(QColor(0xfb, 0xf8, 0xf0));
    p.drawRoundedRect(QRectF(1, 1, 416, 44), 10, 10);
    QFont font = formFont(13);
    p.setFont(font);
    p.setPen(QColor(0x7a, 0x1f, 0x2b));
    p.drawText(QRect(12, 0, 394, 46), Qt::AlignVCenter | Qt::AlignRight | Qt::AlignAbsolute,
               helpCaption());
    QFont latin(QStringLiteral("DejaVu Sans"), 10);
    p.setFont(latin);
    p.setPen(QColor(0x55, 0x55, 0x55));
    p.drawText(QRect(12, 0, 394, 46), Qt::AlignVCenter | Qt::AlignLeft | Qt::AlignAbsolute,
               QStringLiteral("help/index.html"));
    return picture;
}

} // namespace

Frm1::Frm1(QWidget* parent) : QWidget(parent) {
    s_instance = this;
    setObjectName(QStringLiteral("Frm1"));
    setWindowTitle(QStringLiteral("Velmora"));
    setAttribute(Qt::WA_DeleteOnClose);
    setClientSize(this, 10635, 8490);
    setFont(formFont());
    setMouseTracking(true);

    Adodc1 = makeDataControl(QStringLiteral("Theme"), this, QStringLiteral("Adodc1"));
    Adodc2 = makeDataControl(QStringLiteral("IDE"), this, QStringLiteral("Adodc2"));
    Adodc3 = makeDataControl(QStringLiteral("Answer"), this, QStringLiteral("Adodc3"));
    Adodc4 = makeDataControl(QStringLiteral("Answer"), this, QStringLiteral("Adodc4"));
    Adodc5 = makeDataControl(QStringLiteral("IDE"), this, QStringLiteral("Adodc5"));
    Skin1 = new SkinEngine(this);

    SkinLabel1 = new SkinLabel(QStringLiteral("SkinLabel1"), QString(), this);
    SkinLabel1->setFont([] {
        QFont f(QStringLiteral("Arial"));
        f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                       QStringLiteral("Noto Naskh Arabic")});
        f.setPointSizeF(20.25);
        f.setBold(true);
        return f;
    }());
    SkinLabel1->setAlignment(Qt::AlignCenter);
    place(SkinLabel1, 1740, 120, 5955, 555);

    SkinLabel2 = new SkinLabel(QStringLiteral("SkinLabel2"), QStringLiteral(" "), this);
    SkinLabel2->setWordWrap(true);
    place(SkinLabel2, 300, 7740, 9975, 615);
    SkinLabel2->setVisible(false);

    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setPixmap(helpPicture());
    Picture1->setToolTip(QStringLiteral("جهت ورود به سايت کليک کنيد"));
    Picture1->setCursor(Qt::PointingHandCursor);
    place(Picture1, 720, 6540, 6270, 690);
    Picture1->installEventFilter(this);

    Text1 = makeHiddenBox(QStringLiteral("Text1"), this);
    bind(Adodc1, Text1, QStringLiteral("TH"));

    buildMenu();
    buildPanels();
    for (QGroupBox* panel : std::initializer_list<QGroupBox*>{Frame10, Frame8, Frame6, Frame9})
        panel->setVisible(false);

    // The keyboard reaches the help picture last, after the menu and panels;
    // F1 opens the help page from anywhere in the window.
    auto* helpKey = new PictureKey(Picture1, helpCaption());
    connect(helpKey, &PictureKey::clicked, this, &Frm1::Picture1_Click);
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &Frm1::Picture1_Click);

    Form_Load();
}

Frm1::~Frm1() {
    if (s_instance == this)
        s_instance = nullptr;
}

Frm1* Frm1::instance() {
    return s_instance;
}

Frm1* Frm1::showMain() {
    Frm1* main = s_instance ? s_instance : new Frm1;
    main->show();
    main->activateWindow();
    return main;
}

void Frm1::buildMenu() {
    Frame7 = makeFrame(QStringLiteral("Frame7"), this);
    place(Frame7, 8280, 540, 2235, 6555);
    Frame7->setMouseTracking(true);
    Frame7->installEventFilter(this);

    struct Item {
        QPushButton** button;
        const char* name;
        int top;
        QString caption;
    };
    const Item items[] = {
        {&Command1, "Command1", 180, QStringLiteral("ثبت نام آزمودني")},
        {&Command2, "Command2", 780, QStringLiteral("اجراي تست")},
        {&Command3, "Command3", 1380, QStringLiteral("کليد گذاري")},
        {&Command4, "Command4", 1980, QStringLiteral("نمايش کد آزمودني")},
        {&Command5, "Command5", 2580, QStringLiteral("ماشين حساب")},
        {&Command9, "Command9", 3180, QStringLiteral("تنظيمات")},
        {&Command12, "Command12", 3780, QStringLiteral("درباره ما")},
        // The two free places above the exit: the operators and the trail.
        {&operatorsButton, "operatorsButton", 4380, QStringLiteral("کاربران")},
        {&auditButton, "auditButton", 4980, QStringLiteral("رويدادنگار")},
        {&Command6, "Command6", 5760, QStringLiteral("خروج")},
    };
    for (const Item& item : items) {
        *item.button = makeButton(QString::fromLatin1(item.name), item.caption, Frame7, 240,
                                  item.top, 1785, 555);
        (*item.button)->setMouseTracking(true);
    }
    // The about button is the one menu button in Arial.
    QFont arial(QStringLiteral("Arial"));
    arial.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                       QStringLiteral("Noto Naskh Arabic")});
    arial.setPointSize(12);
    arial.setBold(true);
    Command12->setFont(arial);
    for (QPushButton* b :
         {Command1, Command2, Command3, Command4, Command9, operatorsButton, auditButton})
        b->installEventFilter(this);

    Text3 = makeTextBox(QStringLiteral("Text3"), Frame7, 60, 3900, 735, 285);
    Text3->setText(QStringLiteral("1"));
    Text3->setVisible(false);

    connect(Command1, &QPushButton::clicked, this, &Frm1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Frm1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Frm1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Frm1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Frm1::Command5_Click);
    connect(Command9, &QPushButton::clicked, this, &Frm1::Command9_Click);
    connect(Command12, &QPushButton::clicked, this, &Frm1::Command12_Click);
    connect(Command6, &QPushButton::clicked, this, &Frm1::Command6_Click);
    connect(operatorsButton, &QPushButton::clicked, this, &Frm1::operatorsClick);
    connect(auditButton, &QPushButton::clicked, this, &Frm1::auditClick);
}

void Frm1::buildPanels() {
    Frame8 = new SettingsPanel(this);
    connect(Frame8->Command68, &QPushButton::clicked, this, &Frm1::Command68_Click);
    connect(Frame8->Command67, &QPushButton::clicked, this, &Frm1::Command67_Click);
    connect(Frame8->Command69, &QPushButton::clicked, this, &Frm1::Command69_Click);

    Frame10 =
        new RegistrationPanel(this, {Adodc2, Adodc3, Adodc4, Adodc5}, [this] { HidePanels(); });

    Frame6 = new ThemePanel(this);
    connect(Frame6, &ThemePanel::themeChosen, this, &Frm1::changeTheme);

    Frame9 = new ClinicPanel(this, Adodc1, SkinLabel1);
}

void Frm1::Form_Load() {
    placeWindow(this, 2340, 765);
    ApplyTheme(this, Text1->text(), Skin1);
    Text3->setText(QStringLiteral("2"));
}

void Frm1::closeEvent(QCloseEvent* event) {
    // The unload is never cancelled: the window goes, and the exit confirmation
    // (or, during a theme change, the theme confirmation) decides what follows.
    event->accept();
    if (m_unloaded)
        return;
    m_unloaded = true;
    // From here on the window is unloaded: a window that shows the main window
    // creates a new one rather than this one, which is about to be deleted.
    if (s_instance == this)
        s_instance = nullptr;
    Form_Unload();
}

void Frm1::Form_Unload() {
    // The refreshes drop an unsaved registration. Once one has failed (another
    // program holds the file), the others would fail alike, each after the busy
    // wait, and report the same again: they are left out. (A failed refresh
    // leaves the data set empty, so HidePanels does not refresh it either.)
    bool failed = false;
    const auto refresh = [this, &failed] {
        if (!failed)
            failed = !Adodc2->refresh();
    };
    refresh();
    if (leadingNumber(Text3->text()) == 1) {
        refresh();
        return;
    }
    HidePanels();
    refresh();
    exitpro* exit = exitpro::showWindow();
    if (exit)
        placeWindow(exit, 5000, 1500);
}

void Frm1::HidePanels() {
    Frame6->setVisible(false);
    Frame10->setVisible(false);
    Frame8->setVisible(false);
    Frame9->setVisible(false);
    if (!Adodc2->isEmpty())
        Adodc2->refresh();
}

void Frm1::Command1_Click() {
    HidePanels();
    if (!Access::permit(Action::Register, this))
        return;
    Frame10->open();
}

bool Frm1::noAnswerSheets() {
    // The table as it is now, not as it was when this window loaded: another
    // workstation on the same server may have registered the first subject
    // since. A read that failed has been reported, and counts as nobody.
    return !Adodc3->refresh() || Adodc3->isEmpty();
}

void Frm1::Command2_Click() {
    if (!Access::permit(Action::LaunchTest, this))
        return;
    // Nobody is registered yet, so there is nobody to test.
    if (noAnswerSheets())
        return;
    HidePanels();
    launchTest(this);
}

void Frm1::Command3_Click() {
    if (!Access::permit(Action::Score, this))
        return;
    if (noAnswerSheets())
        return;
    HidePanels();
    FrmkLID::showWindow();
    hide();
}

void Frm1::Command4_Click() {
    if (!Access::permit(Action::LookUp, this))
        return;
    if (noAnswerSheets())
        return;
    HidePanels();
    QString error;
    if (!Audit::record(Action::LookUp, QString(), Outcome::Done, QString(), &error)) {
        platform().messageBox(this, errorTitle(), error, QMessageBox::Critical);
        return;
    }
    FrmCode::showModal(this);
}

void Frm1::Command5_Click() {
    HidePanels();
    for (const char* name : Calculators) {
        const QString program = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!program.isEmpty() && platform().startProgram(program, {}))
            return;
    }
    platform().messageBox(this, QStringLiteral("ماشين حساب"),
                          QStringLiteral("ماشين حسابي روي اين رايانه پيدا نشد."),
                          QMessageBox::Information);
}

void Frm1::Command6_Click() {
    HidePanels();
    if (exitpro* exit = exitpro::showWindow())
        placeWindow(exit, 5000, 4500);
    close();
}

void Frm1::Command9_Click() {
    HidePanels();
    if (!Access::permit(Action::Settings, this))
        return;
    Frame8->open();
}

void Frm1::Command67_Click() {
    HidePanels();
    if (!Access::permit(Action::Settings, this))
        return;
    Frame8->open();
    Frame9->open();
}

void Frm1::Command68_Click() {
    HidePanels();
    if (!Access::permit(Action::Settings, this))
        return;
    Frame8->open();
    Frame6->open();
}

void Frm1::operatorsClick() {
    HidePanels();
    OperatorsWindow::showModal(this);
}

void Frm1::auditClick() {
    HidePanels();
    AuditWindow::showModal(this);
}

void Frm1::changeTheme(int number) {
    if (!storeThemeChoice(number, Adodc1, Text1, Text3))
        return;
    Frmskin::showWindow();
    close();
}

void Frm1::Command12_Click() {
    HidePanels();
    About::showModal(this);
}

void Frm1::Command69_Click() {
    HidePanels();
}

void Frm1::Picture1_Click() {
    const QString page = resourceFile(QStringLiteral("help/index.html"));
    if (platform().openUrl(QUrl::fromLocalFile(page)))
        return;
    // No program to show it: the operator can still open the page by hand.
    platform().messageBox(
        this, QStringLiteral("راهنما"),
        QStringLiteral("برنامه اي براي نمايش صفحه راهنما روي اين رايانه پيدا نشد. صفحه "
                       "راهنما در اين مسير است:\n") +
            isolatedPath(page),
        QMessageBox::Information);
}

void Frm1::showHint(QPushButton* button) {
    static const QHash<QString, QString> hints = {
        {QStringLiteral("Command1"),
         QStringLiteral(" شما بايد هر آزمودني را ابتدا ثبت نام کرده و سپس روي دکمه اجراي تست کليک "
                        "کرده و کد آزمودني را وارد کنيد")},
        {QStringLiteral("Command2"), QStringLiteral(" جهت جواب دادن به سؤالها روي اين دکمه کليک "
                                                    "کنيد و کد آزمودني مورد نظر را وارد کنيد ")},
        {QStringLiteral("Command3"), QStringLiteral(" جهت کليد گذاري روي اين دکمه کليک مي کنيد")},
        {QStringLiteral("Command4"),
         QStringLiteral(" درصورتيکه کد آزمودني را فراموش کرده ايد با کليک بر روي  اين قسمت مي "
                        "توانيد آن را بدست بياوريد")},
        {QStringLiteral("Command9"),
         QStringLiteral("با کليک بر روي اين دکمه شمامي توانيد:1- تم برنامه را عوض کنيد 2- نام و "
                        "آدرس کلينيک را وارد کنيد")},
        {QStringLiteral("operatorsButton"),
         QStringLiteral("کاربران برنامه و نقش آنها، و قفل خودکار اين رايانه (ويژه مدير). "
                        "Ctrl+L برنامه را قفل مي کند")},
        {QStringLiteral("auditButton"),
         QStringLiteral("رويدادنگار: هر کاري که در برنامه انجام شده، چه کسي و کي (ويژه مدير)")},
    };
    SkinLabel2->setVisible(true);
    SkinLabel2->setText(hints.value(button->objectName()));
}

void Frm1::hideHint() {
    SkinLabel2->setText(QString());
    SkinLabel2->setVisible(false);
}

void Frm1::mouseMoveEvent(QMouseEvent* event) {
    // A button passes the moves it does not use on to its containers; only the
    // surface itself clears the hint.
    if (!qobject_cast<QPushButton*>(childAt(event->position().toPoint())))
        hideHint();
    QWidget::mouseMoveEvent(event);
}

bool Frm1::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == Frame7 && type == QEvent::MouseMove) {
        const auto* move = static_cast<QMouseEvent*>(event);
        if (!qobject_cast<QPushButton*>(Frame7->childAt(move->position().toPoint())))
            hideHint();
    } else if (watched == Picture1 && type == QEvent::MouseButtonRelease) {
        Picture1_Click();
        return true;
    } else if (type == QEvent::MouseMove || type == QEvent::Enter) {
        if (auto* button = qobject_cast<QPushButton*>(watched))
            showHint(button);
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace velmora
