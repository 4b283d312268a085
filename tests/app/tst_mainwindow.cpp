#include "app/App.h"
#include "app/Frm1.h"
#include "data/DataControl.h"
#include "data/Database.h"
#include "data/DirectionalText.h"
#include "dialogs/exitpro.h"
#include "registry/RegistrationPanel.h"
#include "support/ProgramFolder.h"
#include "support/SubjectFiles.h"
#include "ui/SkinLabel.h"
#include "ui/Skins.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QLockFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTest>
#include <memory>

using namespace velmora;

namespace {

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

void moveMouseOver(QWidget* widget) {
    const QPointF local(3, 3);
    QMouseEvent move(QEvent::MouseMove, local, widget->mapToGlobal(local), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;

    Frm1* openMain(const QString& th = QStringLiteral("1")) {
        ProgramFolder::exec("DBM/DB.mdb", "UPDATE \"Theme\" SET \"TH\" = ?", {th});
        Frm1* main = Frm1::showMain();
        return main;
    }

private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }

    void windowMenuAndSettingsPanelAsDesigned() {
        Frm1* main = openMain();
        QCOMPARE(main->windowTitle(), QStringLiteral("Velmora"));
        QCOMPARE(main->pos(), QPoint(2340 / 15, 765 / 15));
        QCOMPARE(main->size(), QSize(10635 / 15, 8490 / 15));
        auto* frame7 = main->findChild<QGroupBox*>("Frame7");
        QVERIFY(frame7->isVisible());
        QCOMPARE(frame7->geometry(), twipsRect(8280, 540, 2235, 6555));
        const QList<std::tuple<QString, int, QString>> menu = {
            {"Command1", 180, QStringLiteral("ثبت نام آزمودني")},
            {"Command2", 780, QStringLiteral("اجراي تست")},
            {"Command3", 1380, QStringLiteral("کليد گذاري")},
            {"Command4", 1980, QStringLiteral("نمايش کد آزمودني")},
            {"Command5", 2580, QStringLiteral("ماشين حساب")},
            {"Command9", 3180, QStringLiteral("تنظيمات")},
            {"Command12", 3780, QStringLiteral("درباره ما")},
            {"Command6", 5760, QStringLiteral("خروج")}};
        for (const auto& [name, top, caption] : menu) {
            auto* button = main->findChild<QPushButton*>(name);
            QVERIFY2(button, qPrintable(name));
            QCOMPARE(button->parentWidget(), frame7);
            QCOMPARE(button->text(), caption);
            QCOMPARE(button->geometry(), twipsRect(240, top, 1785, 555));
        }
        main->Command9->click();
        auto* frame8 = main->findChild<QGroupBox*>("Frame8");
        QVERIFY(frame8->isVisible());
        QCOMPARE(frame8->geometry(), twipsRect(6060, 3780, 2175, 2055));
        QCOMPARE(main->findChild<QPushButton*>("Command67")->text(),
                 QStringLiteral(" تعريف نام کلينيک"));
        QCOMPARE(main->findChild<QPushButton*>("Command68")->text(),
                 QStringLiteral("تغيير تم برنامه"));
        QCOMPARE(main->findChild<QPushButton*>("Command66")->text(), QString(" "));
        auto* label1 = main->findChild<SkinLabel*>("SkinLabel1");
        QCOMPARE(label1->geometry(), twipsRect(1740, 120, 5955, 555));
        auto* picture = main->findChild<QLabel*>("Picture1");
        QCOMPARE(picture->geometry(), twipsRect(720, 6540, 6270, 690));
        QCOMPARE(picture->toolTip(), QStringLiteral("جهت ورود به سايت کليک کنيد"));
    }

    void loadStepsApplyTheStoredTheme_data() {
        QTest::addColumn<QString>("th");
        QTest::addColumn<QString>("skin");
        QTest::newRow("3") << "3"
                           << "galaxy.skn";
        QTest::newRow("3.5") << "3.5"
                             << "";
        QTest::newRow("0") << "0"
                           << "";
        QTest::newRow("12") << "12"
                            << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void loadStepsApplyTheStoredTheme() {
        QFETCH(QString, th);
        QFETCH(QString, skin);
        Frm1* main = openMain(th);
        QVERIFY(main->isVisible());
        QCOMPARE(main->findChild<SkinEngine*>("Skin1")->loadedFile(), skin);
        QCOMPARE(main->findChild<QLineEdit*>("Text3")->text(), QString("2"));
        QCOMPARE(main->findChild<QLineEdit*>("Text1")->text(), th);
        for (const QString& panel : {QStringLiteral("Frame6"), QStringLiteral("Frame8"),
                                     QStringLiteral("Frame9"), QStringLiteral("Frame10")})
            QVERIFY(!main->findChild<QGroupBox*>(panel)->isVisible());
    }

    void settingsExitHidesEveryPanel() {
        Frm1* main = openMain();
        main->Command9->click();
        main->Frame6->setVisible(true); // as a theme choice in progress would
        main->Frame8->Command69->click();
        for (QGroupBox* panel : std::initializer_list<QGroupBox*>{main->Frame6, main->Frame8,
                                                                  main->Frame9, main->Frame10})
            QVERIFY(!panel->isVisible());
    }

    void hintsShowAndClear() {
        Frm1* main = openMain();
        auto* hint = main->findChild<SkinLabel*>("SkinLabel2");
        QVERIFY(!hint->isVisible());
        const QList<QPair<QString, QString>> hints = {
            {"Command1", QStringLiteral(" شما بايد هر آزمودني را ابتدا ثبت نام کرده و سپس روي دکمه "
                                        "اجراي تست کليک کرده و کد آزمودني را وارد کنيد")},
            {"Command2", QStringLiteral(" جهت جواب دادن به سؤالها روي اين دکمه کليک کنيد و کد "
                                        "آزمودني مورد نظر را وارد کنيد ")},
            {"Command3", QStringLiteral(" جهت کليد گذاري روي اين دکمه کليک مي کنيد")},
            {"Command4", QStringLiteral(" درصورتيکه کد آزمودني را فراموش کرده ايد با کليک بر روي  "
                                        "اين قسمت مي توانيد آن را بدست بياوريد")},
            {"Command9", QStringLiteral("با کليک بر روي اين دکمه شمامي توانيد:1- تم برنامه را عوض "
                                        "کنيد 2- نام و آدرس کلينيک را وارد کنيد")}};
        for (const auto& [button, text] : hints) {
            moveMouseOver(main->findChild<QPushButton*>(button));
            QVERIFY(hint->isVisible());
            QCOMPARE(hint->text(), text);
        }
        // Buttons without a hint leave the last one standing.
        moveMouseOver(main->findChild<QPushButton*>("Command5"));
        moveMouseOver(main->findChild<QPushButton*>("Command6"));
        QCOMPARE(hint->text(), hints.last().second);
        moveMouseOver(main->findChild<QGroupBox*>("Frame7"));
        QVERIFY(!hint->isVisible());
        QCOMPARE(hint->text(), QString());
        // Straight from a button onto the window's surface.
        moveMouseOver(main->findChild<QPushButton*>("Command1"));
        QVERIFY(hint->isVisible());
        moveMouseOver(main);
        QVERIFY(!hint->isVisible());
        QCOMPARE(hint->text(), QString());
    }

    void scoringAndLookupDoNothingWithoutAnswerSheets() {
        Frm1* main = openMain();
        main->Command9->click();
        const int windows = QApplication::topLevelWidgets().size();
        main->Command3->click();
        main->Command4->click();
        QVERIFY(main->Frame8->isVisible());
        QVERIFY(main->isVisible());
        QCOMPARE(QApplication::topLevelWidgets().size(), windows);
        QVERIFY(m_folder->platform().interactions.isEmpty());
    }

    void hidePanelsDropsAnUnsavedNewSubject() {
        ProgramFolder::addSubject("one");
        Frm1* main = openMain();
        main->Adodc2->refresh();
        main->Adodc2->addNew();
        main->Adodc2->setField("Code", "two");
        main->HidePanels();
        QVERIFY(!main->Adodc2->isAdding());
        main->Adodc2->update();
        QCOMPARE(ProgramFolder::value("DBM/DB2.mdb", "SELECT COUNT(*) FROM \"IDE\""), QString("1"));
    }

    void aDamagedSubjectFileIsReportedOnceAndTheProgramGoesOn() {
        const QString subjects = Database::absoluteFileName(DbFile::Subjects);
        Database::closeAll();
        QVERIFY(addSubjects(subjects, 2000, 200));
        QVERIFY(overwriteTablePage(subjects, QStringLiteral("IDE")));
        QVERIFY(startVelmora());
        QVERIFY(Frm1::instance());
        // The windows' own reads of the damaged table fail as before; the
        // check adds one plain warning about the file.
        const auto warnings = [this] {
            QList<ScriptedPlatform::Interaction> found;
            for (const auto& box : m_folder->platform().ofKind("messageBox"))
                if (box.icon == QMessageBox::Warning)
                    found.append(box);
            return found;
        };
        QTRY_COMPARE(warnings().size(), 1);
        QVERIFY2(warnings().first().text.contains("DB2.mdb"), qPrintable(warnings().first().text));
        QTest::qWait(200);
        QCOMPARE(warnings().size(), 1);
        QVERIFY(Frm1::instance()->isVisible());
    }

    void aCopyCutShortLeavesNothingAfterTheNextStart() {
        for (const QString& name : {QStringLiteral("Back/.backup.mdbB.0123abcd.part"),
                                    QStringLiteral("DBM/.DB2.mdb.89abcdef.part"),
                                    QStringLiteral("DBM/.DB2.mdb.89abcdef.part-journal")}) {
            QFile f(name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("half a copy");
        }
        QFile mine("Back/kept.mdbB");
        QVERIFY(mine.open(QIODevice::WriteOnly));
        mine.close();
        QVERIFY(startVelmora());
        QCOMPARE(QDir("Back").entryList(QDir::Files | QDir::Hidden), QStringList{"kept.mdbB"});
        QVERIFY(QDir("DBM").entryList({"*.part*"}, QDir::Files | QDir::Hidden).isEmpty());
    }

    void aSoundSubjectFileStartsWithoutAWord() {
        QVERIFY(startVelmora());
        QTest::qWait(300); // the check has had its time
        QVERIFY(m_folder->platform().interactions.isEmpty());
    }

    void unloadingWhileAnotherProgramLocksTheFileReportsItOnce_data() {
        QTest::addColumn<bool>("leaving");
        QTest::newRow("leaving") << true;
        QTest::newRow("changing the theme") << false;
    }
    void unloadingWhileAnotherProgramLocksTheFileReportsItOnce() {
        QFETCH(bool, leaving);
        ProgramFolder::addSubject("one");
        Frm1* main = openMain();
        main->Command1->click();
        main->Frame10->Text11->setText("two");
        if (!leaving) {
            main->Command9->click();
            main->findChild<QPushButton*>("Command68")->click();
        }
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other-program");
            db.setDatabaseName(QDir::current().absoluteFilePath("DBM/DB2.mdb"));
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("BEGIN EXCLUSIVE"));
            if (leaving)
                QVERIFY(main->close());
            else
                main->findChild<QPushButton*>("Command44")->click();
            QVERIFY(q.exec("ROLLBACK"));
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase("other-program");
        const QStringList messages = m_folder->platform().messageTexts();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().contains("DBM/DB2.mdb"), qPrintable(messages.first()));
        // The unload goes on as always; the unsaved subject is gone.
        QCOMPARE(exitpro::instance() != nullptr, leaving);
        QCOMPARE(ProgramFolder::value("DBM/DB2.mdb", "SELECT COUNT(*) FROM \"IDE\""), QString("1"));
    }

    void aSecondStartIsRefused() {
        QLockFile running(instanceLockPath());
        QVERIFY(running.tryLock(0));
        QVERIFY(!startVelmora());
        QVERIFY(!Frm1::instance());
        const auto boxes = m_folder->platform().ofKind("messageBox");
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().text, QStringLiteral("برنامه در حال اجراست"));
        QCOMPARE(boxes.first().title, QString("Warnnig"));
        QCOMPARE(boxes.first().icon, QMessageBox::Information);
        QCOMPARE(boxes.first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(running.isLocked()); // the running instance keeps its lock
    }

    void aLockLeftByACrashedRunDoesNotBlock() {
        QFile lock(instanceLockPath());
        QVERIFY(lock.open(QIODevice::WriteOnly));
        // A process number that is not running, as a crashed run leaves behind.
        lock.write(QByteArray("2147480000\nvelmora-test\n") + QSysInfo::machineHostName().toUtf8() +
                   "\n");
        lock.close();
        QVERIFY(startVelmora());
        QVERIFY(Frm1::instance());
        QVERIFY(m_folder->platform().interactions.isEmpty());
    }

    void calculatorStartsOrSaysThereIsNone() {
        Frm1* main = openMain();
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(m_folder->path()));
        main->Command9->click();
        main->Command5->click();
        QVERIFY(!main->Frame8->isVisible());
        QVERIFY(m_folder->platform().ofKind("startProgram").isEmpty());
        QCOMPARE(m_folder->platform().ofKind("messageBox").size(), 1);

        QFile fake(m_folder->file("galculator"));
        QVERIFY(fake.open(QIODevice::WriteOnly));
        fake.write("#!/bin/sh\n");
        fake.close();
        fake.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        main->Command5->click();
        qputenv("PATH", oldPath);
        const auto started = m_folder->platform().ofKind("startProgram");
        QCOMPARE(started.size(), 1);
        QCOMPARE(started.first().text, m_folder->file("galculator"));
        QCOMPARE(m_folder->platform().ofKind("messageBox").size(), 1);
    }

    void f1OpensTheHelpPage_data() {
        QTest::addColumn<QString>("focus"); // the control that has the focus
        QTest::newRow("menu button") << "Command4";
        QTest::newRow("registration code box") << "Text11";
        QTest::newRow("registration list") << "Combo2";
        QTest::newRow("clinic name box") << "Text2";
    }
    void f1OpensTheHelpPage() {
        QFETCH(QString, focus);
        Frm1* main = openMain();
        QVERIFY(QTest::qWaitForWindowActive(main));
        if (focus == "Text2")
            main->Command67_Click();
        else
            main->Command1->click();
        auto* control = main->findChild<QWidget*>(focus);
        QVERIFY(control && control->isVisible());
        control->setFocus();
        QVERIFY(control->hasFocus());
        QCOMPARE(pressKey(main, Qt::Key_F1), control);
        const auto opened = m_folder->platform().ofKind("openUrl");
        QCOMPARE(opened.size(), 1);
        const QUrl url(opened.first().text);
        QCOMPARE(url.toLocalFile(), m_folder->file("help/index.html"));
        QVERIFY(QFile::exists(url.toLocalFile()));
    }

    void helpThatCannotBeShownSaysWhereItIs_data() {
        QTest::addColumn<QString>("way");
        QTest::newRow("F1") << "F1";
        QTest::newRow("picture clicked") << "mouse";
        QTest::newRow("picture by keyboard") << "Enter";
    }
    void helpThatCannotBeShownSaysWhereItIs() {
        QFETCH(QString, way);
        ScriptedPlatform& platform = m_folder->platform();
        platform.urlsOpen = false;
        Frm1* main = openMain();
        QVERIFY(QTest::qWaitForWindowActive(main));
        if (way == "F1") {
            pressKey(main, Qt::Key_F1);
        } else if (way == "mouse") {
            QTest::mouseClick(main->findChild<QLabel*>("Picture1"), Qt::LeftButton);
        } else {
            QVERIFY(tabTo(main, main->findChild<QWidget*>("Picture1Key")));
            pressKey(main, Qt::Key_Return);
        }
        QCOMPARE(platform.ofKind("openUrl").size(), 1);
        const auto boxes = platform.ofKind("messageBox");
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().title, QStringLiteral("راهنما"));
        QCOMPARE(boxes.first().icon, QMessageBox::Information);
        QVERIFY(boxes.first().text.isRightToLeft());
        QVERIFY(boxes.first().text.endsWith(isolatedPath(m_folder->file("help/index.html"))));
        QCOMPARE(boxes.first().owner, main);
    }

    void theHelpPictureIsANamedButton() {
        Frm1* main = openMain();
        auto* key = main->findChild<QWidget*>("Picture1Key");
        QVERIFY(key);
        QCOMPARE(key->geometry(), main->Picture1->geometry());
        QAccessibleInterface* button = QAccessible::queryAccessibleInterface(key);
        QCOMPARE(button->role(), QAccessible::Button);
        QCOMPARE(button->text(QAccessible::Name), QStringLiteral("راهنماي استفاده از ولمورا"));
        // The pointer still reaches the picture through it.
        QCOMPARE(main->childAt(main->Picture1->geometry().center()), main->Picture1);
    }

    void tabReachesWhatIsSeenAndPassesTheBlankButtonsBy() {
        Frm1* main = openMain();
        QVERIFY(QTest::qWaitForWindowActive(main));
        main->Command9->click();
        QVERIFY(main->Frame8->isVisible());
        QSet<QString> reached;
        for (int i = 0; i < 40; ++i)
            reached.insert(pressKey(main, Qt::Key_Tab)->objectName());
        for (const QString& name :
             {QStringLiteral("Command1"), QStringLiteral("Command2"), QStringLiteral("Command3"),
              QStringLiteral("Command4"), QStringLiteral("Command5"), QStringLiteral("Command9"),
              QStringLiteral("Command12"), QStringLiteral("Command6"), QStringLiteral("Command68"),
              QStringLiteral("Command67"), QStringLiteral("Command69"),
              QStringLiteral("Picture1Key")})
            QVERIFY2(reached.contains(name), qPrintable(name));
        QVERIFY(!reached.contains(QStringLiteral("Command66")));
        QVERIFY(!reached.contains(QStringLiteral("Command65")));
    }

    void pictureOpensTheHelpPage() {
        Frm1* main = openMain();
        QTest::mouseClick(main->findChild<QLabel*>("Picture1"), Qt::LeftButton);
        const auto opened = m_folder->platform().ofKind("openUrl");
        QCOMPARE(opened.size(), 1);
        const QUrl url(opened.first().text);
        QVERIFY(url.isLocalFile());
        QVERIFY(QFile::exists(url.toLocalFile()));
        QVERIFY(url.toLocalFile().endsWith("help/index.html"));
    }
};

VELMORA_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
