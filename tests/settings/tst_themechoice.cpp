#include "app/Frm1.h"
#include "settings/Frmskin.h"
#include "support/ProgramFolder.h"
#include "ui/SkinLabel.h"
#include "ui/Skins.h"

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <memory>

using namespace velmora;

namespace {

const QString Settings = QStringLiteral("DBM/DB.mdb");

QString storedTheme() {
    return ProgramFolder::value(Settings, QStringLiteral("SELECT \"TH\" FROM \"Theme\""));
}

void storeTheme(const QString& number) {
    ProgramFolder::exec(Settings, QStringLiteral("UPDATE \"Theme\" SET \"TH\" = ?"), {number});
}

QString skinOf(QWidget* window) {
    auto* skin = window->findChild<SkinEngine*>(QStringLiteral("Skin1"));
    return skin ? skin->loadedFile() : QStringLiteral("<no skin engine>");
}

// Lets the windows that closed go (they are destroyed once control returns to
// the event loop).
void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

Frmskin* confirmationWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = qobject_cast<Frmskin*>(w); f && f->isVisible())
            return f;
    return nullptr;
}

void click(QWidget* window, const char* name) {
    auto* button = window->findChild<QPushButton*>(QString::fromLatin1(name));
    QVERIFY2(button, name);
    QTest::mouseClick(button, Qt::LeftButton);
}

// A pointer movement without a pressed button, delivered the way the window
// system delivers it (mouse tracking decides who sees it).
void hover(QWidget* widget) {
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

// Clicks the theme button through the settings and theme panels, as the
// operator does.
void chooseTheme(Frm1* main, const char* button) {
    click(main, "Command9");
    click(main, "Command68");
    QVERIFY(main->Frame6->isVisible());
    click(main, button);
}

} // namespace

class TestThemeChoice : public QObject {
    Q_OBJECT
private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }

    void themeButtonsStandInOneColumn_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::newRow("1") << 1 << "Command45" << QStringLiteral(" تم شماره 1");
        QTest::newRow("2") << 2 << "Command44" << QStringLiteral("تم شماره 2");
        QTest::newRow("3") << 3 << "Command43" << QStringLiteral("تم شماره 3");
        QTest::newRow("4") << 4 << "Command42" << QStringLiteral("تم شماره 4");
        QTest::newRow("5") << 5 << "Command50" << QStringLiteral(" تم شماره 5");
        QTest::newRow("6") << 6 << "Command49" << QStringLiteral("تم شماره 6");
        QTest::newRow("7") << 7 << "Command48" << QStringLiteral("تم شماره 7");
        QTest::newRow("8") << 8 << "Command47" << QStringLiteral("تم شماره 8");
        QTest::newRow("9") << 9 << "Command41" << QStringLiteral("تم شماره 9");
        QTest::newRow("10") << 10 << "Command52" << QStringLiteral("تم شماره 10 ");
        QTest::newRow("11") << 11 << "Command53" << QStringLiteral("تم شماره 11");
    }
    void themeButtonsStandInOneColumn() {
        QFETCH(int, number);
        QFETCH(QString, name);
        QFETCH(QString, caption);
        Frm1* main = Frm1::showMain();
        auto* button = main->Frame6->findChild<QPushButton*>(name);
        QVERIFY(button);
        QCOMPARE(main->Frame6->themeButtons.at(number), button);
        QCOMPARE(button->text(), caption);
        // Left 240, Top 240 + 600 × (n − 1), 2145 × 555 twips.
        QCOMPARE(button->geometry(), QRect(16, 16 + 40 * (number - 1), 143, 37));
    }

    void panelExitButton() {
        Frm1* main = Frm1::showMain();
        auto* exit = main->Frame6->findChild<QPushButton*>(QStringLiteral("Command46"));
        QVERIFY(exit);
        QCOMPARE(exit->text(), QStringLiteral("خروج"));
        QCOMPARE(exit->geometry(), QRect(48, 460, 79, 29));
    }

    void command68ShowsSettingsAndThemePanels() {
        Frm1* main = Frm1::showMain();
        click(main, "Command9");
        click(main, "Command67"); // the clinic panel is open first
        QVERIFY(main->Frame9->isVisible());
        click(main, "Command68");
        QVERIFY(!main->Frame9->isVisible());
        QVERIFY(!main->Frame10->isVisible());
        QVERIFY(main->Frame8->isVisible());
        QCOMPARE(main->Frame8->geometry(), QRect(404, 252, 145, 137));
        QVERIFY(main->Frame6->isVisible());
        QCOMPARE(main->Frame6->geometry(), QRect(228, 52, 173, 505));
        QCOMPARE(storedTheme(), QStringLiteral("1")); // opening the panel changes nothing
    }

    void command46HidesOnlyTheThemePanel() {
        Frm1* main = Frm1::showMain();
        click(main, "Command9");
        click(main, "Command68");
        click(main, "Command46");
        QVERIFY(!main->Frame6->isVisible());
        QVERIFY(main->Frame8->isVisible());
        QCOMPARE(main->Text3->text(), QStringLiteral("2"));
        QCOMPARE(Frm1::instance(), main);
        QVERIFY(!confirmationWindow());
    }

    void themeButtonStoresAndConfirms_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("skin");
        QTest::newRow("1") << "Command45"
                           << "1"
                           << "chizh.skn";
        QTest::newRow("2") << "Command44"
                           << "2"
                           << "Green.skn";
        QTest::newRow("3") << "Command43"
                           << "3"
                           << "galaxy.skn";
        QTest::newRow("4") << "Command42"
                           << "4"
                           << "_temp.skn";
        QTest::newRow("5") << "Command50"
                           << "5"
                           << "B-Studio.skn";
        QTest::newRow("6") << "Command49"
                           << "6"
                           << "Mac.skn";
        QTest::newRow("7") << "Command48"
                           << "7"
                           << "O-Universe.skn";
        QTest::newRow("8") << "Command47"
                           << "8"
                           << "metallic.skn";
        QTest::newRow("9") << "Command41"
                           << "9"
                           << "Paper.skn";
        QTest::newRow("10") << "Command52"
                            << "10"
                            << "winaqua.skn";
        QTest::newRow("11") << "Command53"
                            << "11"
                            << "office2007.skn";
    }
    void themeButtonStoresAndConfirms() {
        QFETCH(QString, button);
        QFETCH(QString, number);
        QFETCH(QString, skin);
        QPointer<Frm1> old = Frm1::showMain();
        chooseTheme(old, qPrintable(button));
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(storedTheme(), number);

        // The main window is unloaded without the exit confirmation...
        settle();
        QVERIFY(old.isNull());
        QVERIFY(!Frm1::instance());
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(w->objectName() != QLatin1String("exitpro") || !w->isVisible(),
                     "the exit confirmation must not appear");
        QVERIFY(!m_folder->platform().programEnded());

        // ...and the confirmation window is drawn in the new skin.
        Frmskin* confirm = confirmationWindow();
        QVERIFY(confirm);
        QCOMPARE(confirm->windowTitle(), QStringLiteral("Form1"));
        QCOMPARE(skinOf(confirm), skin);
        QCOMPARE(confirm->Text1->text(), number);
        QCOMPARE(confirm->pos(), QPoint(333, 233));
        QCOMPARE(confirm->size(), QSize(314, 200));
        QVERIFY(confirm->k1->isVisible());
        QVERIFY(!confirm->k2->isVisible());

        // The pointer passes over the normal picture, then clicks the highlight.
        QPointer<Frmskin> confirmGone = confirm;
        hover(confirm->k1);
        QVERIFY(confirm->k2->isVisible());
        QTest::mouseClick(confirm->k2, Qt::LeftButton);
        settle();
        QVERIFY(confirmGone.isNull());

        Frm1* main = Frm1::instance();
        QVERIFY(main);
        QVERIFY(main->isVisible());
        QCOMPARE(skinOf(main), skin);
        QCOMPARE(main->Text3->text(), QStringLiteral("2"));
        QCOMPARE(main->pos(), QPoint(156, 51));
        for (QGroupBox* panel : std::initializer_list<QGroupBox*>{main->Frame6, main->Frame8,
                                                                  main->Frame9, main->Frame10})
            QVERIFY2(!panel->isVisible(), qPrintable(panel->objectName()));
    }

    void tenStoresTenAndLoadsWinaqua() {
        QPointer<Frm1> old = Frm1::showMain();
        QCOMPARE(skinOf(old), QStringLiteral("chizh.skn"));
        chooseTheme(old, "Command52");
        QCOMPARE(storedTheme(), QStringLiteral("10"));
        settle();
        QVERIFY(old.isNull());
        Frmskin* confirm = confirmationWindow();
        QVERIFY(confirm);
        QCOMPARE(skinOf(confirm), QStringLiteral("winaqua.skn"));
        confirm->k2_Click();
        settle();
        QVERIFY(Frm1::instance());
        QCOMPARE(Frm1::instance()->findChild<SkinEngine*>(QStringLiteral("Skin1"))->loadedFile(),
                 QStringLiteral("winaqua.skn"));
    }

    void choosingTheCurrentThemeRunsTheSameSteps() {
        storeTheme(QStringLiteral("10"));
        QPointer<Frm1> old = Frm1::showMain();
        QCOMPARE(skinOf(old), QStringLiteral("winaqua.skn"));
        chooseTheme(old, "Command52");
        settle();
        QVERIFY(old.isNull());
        QCOMPARE(storedTheme(), QStringLiteral("10"));
        Frmskin* confirm = confirmationWindow();
        QVERIFY(confirm);
        QCOMPARE(skinOf(confirm), QStringLiteral("winaqua.skn"));
        confirm->k2_Click();
        settle();
        QVERIFY(Frm1::instance());
        QCOMPARE(Frm1::instance()->Text3->text(), QStringLiteral("2"));
    }

    void aThemeFromOutsideTheRangeIsReplaced() {
        // A record edited outside the program: the window opens plain, and a
        // theme button still stores a proper number.
        storeTheme(QStringLiteral("7.5"));
        QPointer<Frm1> old = Frm1::showMain();
        QCOMPARE(skinOf(old), QString());
        chooseTheme(old, "Command43");
        QCOMPARE(storedTheme(), QStringLiteral("3"));
        settle();
        QCOMPARE(skinOf(confirmationWindow()), QStringLiteral("galaxy.skn"));
    }

    void closingTheConfirmationByItsFrameBringsTheMainWindowBack() {
        QPointer<Frm1> old = Frm1::showMain();
        chooseTheme(old, "Command53");
        settle();
        QPointer<Frmskin> confirm = confirmationWindow();
        QVERIFY(confirm);
        QVERIFY(confirm->close());
        settle();
        QVERIFY(confirm.isNull());
        Frm1* main = Frm1::instance();
        QVERIFY(main);
        QVERIFY(main->isVisible());
        QCOMPARE(skinOf(main), QStringLiteral("office2007.skn"));
        QCOMPARE(main->Text3->text(), QStringLiteral("2"));
        QVERIFY(!m_folder->platform().programEnded());
    }

    void confirmingShowsOneMainWindow() {
        // The confirm button shows the main window, and the unload that
        // follows must not bring a second one.
        QPointer<Frm1> old = Frm1::showMain();
        chooseTheme(old, "Command44");
        settle();
        confirmationWindow()->k2_Click();
        settle();
        int mains = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<Frm1*>(w))
                ++mains;
        QCOMPARE(mains, 1);
        QVERIFY(!confirmationWindow());
    }

    void enterConfirmsAsThePictureDoes_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("onThePicture"); // else with the focus taken away
        QTest::newRow("enter on the picture") << int(Qt::Key_Return) << true;
        QTest::newRow("keypad enter on the picture") << int(Qt::Key_Enter) << true;
        QTest::newRow("space on the picture") << int(Qt::Key_Space) << true;
        QTest::newRow("enter on the window") << int(Qt::Key_Return) << false;
    }
    void enterConfirmsAsThePictureDoes() {
        QFETCH(int, key);
        QFETCH(bool, onThePicture);
        QPointer<Frm1> old = Frm1::showMain();
        chooseTheme(old, "Command43");
        settle();
        QPointer<Frmskin> confirm = confirmationWindow();
        QVERIFY(confirm);
        QVERIFY(QTest::qWaitForWindowActive(confirm));
        auto* picture = confirm->findChild<QWidget*>(QStringLiteral("k1Key"));
        QVERIFY(picture);
        QVERIFY(picture->hasFocus());
        QWidget* target = picture;
        if (!onThePicture) {
            picture->clearFocus();
            target = confirm;
        }
        QTest::keyClick(target, static_cast<Qt::Key>(key));
        settle();
        QVERIFY(confirm.isNull());
        QVERIFY(Frm1::instance());
        QVERIFY(Frm1::instance()->isVisible());
        QCOMPARE(skinOf(Frm1::instance()), QStringLiteral("galaxy.skn"));
    }

    void theConfirmPictureIsANamedButton() {
        Frmskin* confirm = Frmskin::showWindow();
        auto* picture = confirm->findChild<QWidget*>(QStringLiteral("k1Key"));
        QVERIFY(picture);
        QAccessibleInterface* button = QAccessible::queryAccessibleInterface(picture);
        QVERIFY(button);
        QCOMPARE(button->role(), QAccessible::Button);
        QCOMPARE(button->text(QAccessible::Name), QStringLiteral("تأييد"));
        QCOMPARE(picture->geometry(), confirm->k1->geometry());
    }

    void highlightFollowsThePointer() {
        Frmskin* confirm = Frmskin::showWindow();
        QVERIFY(confirm->k1->isVisible());
        QVERIFY(!confirm->k2->isVisible());
        QCOMPARE(confirm->k1->geometry(), QRect(108, 152, 96, 35));
        QCOMPARE(confirm->k2->geometry(), QRect(104, 152, 96, 35));
        QVERIFY(!confirm->k1->pixmap().isNull());
        QVERIFY(!confirm->k2->pixmap().isNull());
        QVERIFY(confirm->k1->pixmap().toImage() != confirm->k2->pixmap().toImage());

        hover(confirm->k1);
        QVERIFY(!confirm->k1->isVisible());
        QVERIFY(confirm->k2->isVisible());
        // The highlighted picture has no pointer handler: it stays.
        hover(confirm->k2);
        QVERIFY(confirm->k2->isVisible());
        QVERIFY(!confirm->k1->isVisible());
        // Back on the window's surface the normal picture returns.
        hover(confirm);
        QVERIFY(confirm->k1->isVisible());
        QVERIFY(!confirm->k2->isVisible());
    }

    void aPictureAppearingUnderAStillPointerConfirms() {
        // The theme button sits where the confirmation's picture appears: the
        // pointer does not move, the window system only reports its arrival.
        QPointer<Frm1> old = Frm1::showMain();
        chooseTheme(old, "Command44");
        settle();
        QPointer<Frmskin> confirm = confirmationWindow();
        QVERIFY(confirm);
        QVERIFY(confirm->k1->isVisible());
        QVERIFY(!confirm->k2->isVisible());
        const QPointF at(confirm->k1->width() / 2.0, confirm->k1->height() / 2.0);
        QEnterEvent arrival(at, at, confirm->k1->mapToGlobal(at));
        QApplication::sendEvent(confirm->k1, &arrival);
        QVERIFY(!confirm->k1->isVisible());
        QVERIFY(confirm->k2->isVisible());

        QTest::mouseClick(confirm->k2, Qt::LeftButton);
        settle();
        QVERIFY(confirm.isNull());
        QVERIFY(Frm1::instance());
        QVERIFY(Frm1::instance()->isVisible());
        QCOMPARE(skinOf(Frm1::instance()), QStringLiteral("Green.skn"));
    }

    void thePanelCoversTheHelpPictureAndTheHint_data() {
        QTest::addColumn<QString>("theme");
        for (int n = 1; n <= 11; ++n)
            QTest::newRow(qPrintable(skinFileFor(n))) << QString::number(n);
    }
    void thePanelCoversTheHelpPictureAndTheHint() {
        QFETCH(QString, theme);
        storeTheme(theme);
        Frm1* main = Frm1::showMain();
        click(main, "Command9");
        click(main, "Command68");
        QVERIFY(main->Frame6->isVisible());
        main->SkinLabel2->setText(QStringLiteral("راهنماي استفاده از ولمورا"));
        main->SkinLabel2->setVisible(true);
        const QImage shown = main->grab().toImage();
        main->Picture1->setVisible(false);
        main->SkinLabel2->setVisible(false);
        const QImage hidden = main->grab().toImage();
        const QString folder = qEnvironmentVariable("VELMORA_PICTURES");
        if (!folder.isEmpty())
            shown.save(folder + QStringLiteral("/theme-panel-%1.png").arg(theme));
        // Inside the panel (its rounded corners and border aside), nothing of
        // what lies under it shows.
        const QRect panel = main->Frame6->geometry().adjusted(12, 12, -12, -12);
        for (QWidget* under :
             {static_cast<QWidget*>(main->Picture1), static_cast<QWidget*>(main->SkinLabel2)}) {
            const QRect both = panel.intersected(under->geometry());
            QVERIFY2(!both.isEmpty(), qPrintable(under->objectName()));
            const qreal ratio = shown.devicePixelRatio();
            QCOMPARE(shown.copy(QRectF(both.topLeft() * ratio, both.size() * ratio).toRect()),
                     hidden.copy(QRectF(both.topLeft() * ratio, both.size() * ratio).toRect()));
        }
    }

    void windowsAlreadyOpenKeepTheirSkin() {
        storeTheme(QStringLiteral("3"));
        QPointer<Frmskin> before = Frmskin::showWindow();
        QCOMPARE(skinOf(before), QStringLiteral("galaxy.skn"));
        QPointer<Frm1> old = Frm1::showMain();
        chooseTheme(old, "Command52");
        settle();
        QVERIFY(before);
        QCOMPARE(skinOf(before), QStringLiteral("galaxy.skn"));
        // A window created after the change reads the new number.
        QPointer<Frmskin> after = Frmskin::showWindow();
        QCOMPARE(skinOf(after), QStringLiteral("winaqua.skn"));
    }

    void aFailedStoreLeavesTheMainWindow() {
        ProgramFolder::exec(Settings,
                            QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON \"Theme\" "
                                           "BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
        QPointer<Frm1> main = Frm1::showMain();
        chooseTheme(main, "Command52");
        settle();
        QCOMPARE(storedTheme(), QStringLiteral("1"));
        QCOMPARE(m_folder->platform().messageTexts().size(), 1);
        QVERIFY(main);
        QVERIFY(main->isVisible());
        QCOMPARE(Frm1::instance(), main.data());
        QCOMPARE(main->Text3->text(), QStringLiteral("2"));
        QCOMPARE(main->Text1->text(), QStringLiteral("1"));
        QVERIFY(!confirmationWindow());
    }

private:
    std::unique_ptr<ProgramFolder> m_folder;
};

VELMORA_TEST_MAIN(TestThemeChoice)
#include "tst_themechoice.moc"
