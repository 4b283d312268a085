#include "OperatorDesk.h"

#include "app/App.h"
#include "app/Frm1.h"
#include "data/Database.h"
#include "data/StoreUrl.h"
#include "data/SubjectStore.h"
#include "questionnaire/FrmTest.h"
#include "registry/FrmCode.h"
#include "registry/Registration.h"
#include "registry/RegistrationPanel.h"
#include "scoring/FrmkLID.h"
#include "support/ProgramFolder.h"
#include "support/ScriptedPlatform.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>

namespace velmora {

namespace {

double msSince(const QElapsedTimer& clock) {
    return double(clock.nsecsElapsed()) / 1e6;
}

template <typename T> T* visibleWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<T*>(w); found && found->isVisible())
            return found;
    return nullptr;
}

} // namespace

OperatorDesk::OperatorDesk(ScriptedPlatform& platform, Meter meter,
                           std::function<qint64()> roundTrips)
    : m_platform(platform), m_meter(std::move(meter)), m_roundTrips(std::move(roundTrips)) {}

bool OperatorDesk::start(const QString& folder, const QString& database) {
    QDir().mkpath(QDir(folder).filePath(QStringLiteral("Back")));
    const QDir program(QCoreApplication::applicationDirPath());
    for (const QString& skin : program.entryList({QStringLiteral("*.skn")}, QDir::Files))
        if (!QFile::exists(QDir(folder).filePath(skin)))
            QFile::copy(program.filePath(skin), QDir(folder).filePath(skin));
    QDir::setCurrent(folder);
    QApplication::setQuitOnLastWindowClosed(false);
    setPlatform(&m_platform);
    StoreUrl url;
    url.database = database;
    SubjectStore::install(SubjectStore::server(url));
    return startVelmora() && Frm1::instance();
}

void OperatorDesk::stop() {
    deleteAllWindows();
    Database::closeAll();
    releaseSingleInstance();
    setPlatform(nullptr);
}

double OperatorDesk::measure(const QString& step, const std::function<void()>& work) {
    const qint64 before = trips();
    QElapsedTimer clock;
    clock.start();
    work();
    const double ms = msSince(clock);
    m_meter(step, ms, trips() - before);
    return ms;
}

bool OperatorDesk::measureUntilModal(const QString& step, const std::function<void()>& trigger,
                                     const std::function<void(QWidget*)>& whileOpen) {
    QElapsedTimer clock;
    qint64 before = 0;
    bool opened = false;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        poll.stop();
        opened = true;
        m_meter(step, msSince(clock), trips() - before);
        whileOpen(modal);
        if (modal->isVisible())
            modal->close();
    });
    poll.start();
    before = trips();
    clock.start();
    trigger();
    poll.stop();
    return opened;
}

OperatorDesk::Registered OperatorDesk::registerSubject(const QString& code,
                                                       const LoadPlan::Registration& registration,
                                                       const std::function<void()>& beforeStore,
                                                       QStringList* typed) {
    Frm1* main = Frm1::instance();
    main->Command1_Click();
    RegistrationPanel* panel = main->Frame10;
    panel->Text11->setText(code);
    panel->Text6->setText(registration.firstName);
    panel->Text4->setText(registration.lastName);
    panel->Text5->setText(registration.age);
    panel->Text7->setText(registration.education);
    panel->Combo2->setCurrentIndex(registration.gender);
    panel->Combo1->setCurrentIndex(registration.marital);
    panel->Combo3->setCurrentIndex(registration.group);
    *typed = QStringList{code,
                         registration.firstName,
                         registration.lastName,
                         panel->Combo2->currentText(),
                         registration.age,
                         panel->Combo1->currentText(),
                         registration.education,
                         panel->Combo3->currentText()};
    if (beforeStore)
        beforeStore();
    const qsizetype heard = m_platform.interactions.size();
    measure(QStringLiteral("registration"), [panel] { panel->Command8_Click(); });
    if (!panel->isVisible())
        return Registered::Stored;
    QStringList heardNow;
    for (qsizetype i = heard; i < m_platform.interactions.size(); ++i)
        heardNow.append(m_platform.interactions.at(i).text);
    // The panel stays open on a refusal; the next registration opens it anew.
    panel->Command10_Click();
    return heardNow == QStringList{Registration::duplicateCodeNotice()} ? Registered::Duplicate
                                                                        : Registered::Refused;
}

bool OperatorDesk::takeTest(const QString& code, const QList<int>& answers) {
    Frm1* main = Frm1::instance();
    m_platform.inputAnswers.enqueue(code);
    bool saved = false;
    measureUntilModal(
        QStringLiteral("test launch"), [main] { main->Command2_Click(); },
        [&](QWidget* window) {
            auto* test = qobject_cast<FrmTest*>(window);
            if (!test)
                return;
            measure(QStringLiteral("test start"), [test] { test->Command1_Click(); });
            for (int item = 1; item <= answers.size(); ++item) {
                // A step that could not store its answer stays on its item.
                if (test->Frame2->title() != QString::number(item))
                    break;
                auto* option = test->findChild<QRadioButton*>(
                    QStringLiteral("Option%1").arg(6 - answers.at(item - 1)));
                option->click();
                if (item < answers.size()) {
                    measure(QStringLiteral("answer step"), [test] { test->CmdNext_Click(); });
                    continue;
                }
                measure(QStringLiteral("save and exit"), [test] { test->Command5_Click(); });
                saved = !test->isVisible();
            }
            if (test->isVisible())
                test->Command2_Click();
        });
    // A launch that opened nothing took the scripted code with it, or left it.
    m_platform.inputAnswers.clear();
    return saved;
}

QStringList OperatorDesk::score(const QString& code) {
    Frm1* main = Frm1::instance();
    main->Command3_Click();
    FrmkLID* scoring = visibleWindow<FrmkLID>();
    if (!scoring)
        return {};
    m_platform.inputAnswers.enqueue(code);
    measure(QStringLiteral("scoring search"), [scoring] { scoring->Command1_Click(); });
    m_platform.inputAnswers.clear();
    QStringList scores;
    if (scoring->Text5->text() == code)
        for (int box : {0, 1, 2, 4, 5, 6, 7})
            scores.append(scoring->Text3[size_t(box)]->text());
    scoring->Command4_Click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return scores;
}

void OperatorDesk::lookUp() {
    Frm1* main = Frm1::instance();
    measureUntilModal(
        QStringLiteral("code lookup opening"), [main] { main->Command4_Click(); },
        [this](QWidget* window) {
            auto* lookup = qobject_cast<FrmCode*>(window);
            if (!lookup)
                return;
            measure(QStringLiteral("code lookup search"), [lookup] {
                lookup->Combo3->setCurrentIndex(1);
                QCoreApplication::processEvents();
            });
            lookup->close();
        });
}

QStringList OperatorDesk::said() {
    QStringList lines;
    for (qsizetype i = m_heard; i < m_platform.interactions.size(); ++i) {
        const ScriptedPlatform::Interaction& heard = m_platform.interactions.at(i);
        if (heard.kind == QLatin1String("notice") || heard.kind == QLatin1String("messageBox"))
            lines.append(heard.kind + u'\t' +
                         QString(heard.text).replace(u'\n', QStringLiteral("\\n")));
    }
    m_heard = m_platform.interactions.size();
    return lines;
}

} // namespace velmora
