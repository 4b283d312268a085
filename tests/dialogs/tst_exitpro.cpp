#include "app/Frm1.h"
#include "backup/Frmbackup.h"
#include "dialogs/exitpro.h"
#include "support/ProgramFolder.h"
#include "ui/Twips.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace velmora;

class TestExitpro : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<ProgramFolder> m_folder;

    ScriptedPlatform& platform() { return m_folder->platform(); }

    static bool atRest(exitpro* w) {
        return w->k1->isVisible() && !w->k2->isVisible() && w->C1->isVisible() &&
               !w->C2->isVisible();
    }

    static QList<Frmbackup*> backupWindows() {
        QList<Frmbackup*> found;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<Frmbackup*>(w))
                found.append(b);
        return found;
    }

    static void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    static void moveOnto(QWidget* widget) { QTest::mouseMove(widget, widget->rect().center()); }

    // The part of a picture that takes the keyboard focus.
    static QWidget* key(QLabel* picture) {
        return picture->parentWidget()->findChild<QWidget*>(picture->objectName() + "Key");
    }

    static exitpro* shownAndActive() {
        exitpro* w = exitpro::showWindow();
        if (!QTest::qWaitForWindowActive(w))
            return nullptr;
        return w;
    }

    // Presses key on whatever has the keyboard focus.
    static void press(int key) {
        QWidget* focused = QApplication::focusWidget();
        QVERIFY(focused);
        QTest::keyClick(focused, static_cast<Qt::Key>(key));
    }

private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }

    void windowAtLoad() {
        exitpro* w = exitpro::showWindow();
        QVERIFY(w);
        QCOMPARE(exitpro::instance(), w);
        QCOMPARE(exitpro::showWindow(), w); // already shown: the same window
        QCOMPARE(w->objectName(), QStringLiteral("exitpro"));
        QCOMPARE(w->windowTitle(), QStringLiteral("تهيه نسخه پشتيبان"));
        QCOMPARE(w->size(), QSize(twips(4740), twips(3030)));
        QCOMPARE(w->pos(), QPoint(twips(5000), twips(4500)));
        QVERIFY(atRest(w));
        struct Image {
            QLabel* label;
            const char* name;
            int left;
        };
        for (const Image& i : {Image{w->k1, "k1", 2460}, Image{w->k2, "k2", 2460},
                               Image{w->C1, "C1", 360}, Image{w->C2, "C2", 360}}) {
            QCOMPARE(i.label->objectName(), QString::fromLatin1(i.name));
            QCOMPARE(i.label->geometry(),
                     QRect(twips(i.left), twips(2340), twips(1440), twips(525)));
            QVERIFY(!i.label->pixmap().isNull());
            QCOMPARE(i.label->cursor().shape(), Qt::BitmapCursor);
        }
        // The two looks of a button differ.
        QVERIFY(w->k1->pixmap().toImage() != w->k2->pixmap().toImage());
        QVERIFY(w->C1->pixmap().toImage() != w->C2->pixmap().toImage());
        QVERIFY(w->k1->pixmap().toImage() != w->C1->pixmap().toImage());
        QCOMPARE(w->Check1->objectName(), QStringLiteral("Check1"));
        QCOMPARE(w->Check1->text(), QStringLiteral("تهيه نسخه پشتيبان"));
        QVERIFY(!w->Check1->isChecked());
        QCOMPARE(w->Check1->geometry(), QRect(twips(1080), twips(1800), twips(2475), twips(375)));
        for (QTimer* t : {w->Timer2, w->Timer3, w->tmCaptionAnimate}) {
            QVERIFY(t->isActive());
            QCOMPARE(t->interval(), 500);
        }
        QCOMPARE(w->Timer2->objectName(), QStringLiteral("Timer2"));
        QCOMPARE(w->Timer3->objectName(), QStringLiteral("Timer3"));
        QCOMPARE(w->tmCaptionAnimate->objectName(), QStringLiteral("tmCaptionAnimate"));
    }

    void hoverSwapsThePictures() {
        exitpro* w = exitpro::showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        moveOnto(w->k1);
        QVERIFY(!w->k1->isVisible() && w->k2->isVisible());
        QVERIFY(w->C1->isVisible() && !w->C2->isVisible());
        // The highlighted picture stays while the pointer is on it.
        QTest::mouseMove(w->k2, w->k2->rect().center() + QPoint(3, 1));
        QVERIFY(w->k2->isVisible());
        // Only the background puts it back.
        QTest::mouseMove(w, QPoint(10, 10));
        QVERIFY(atRest(w));
        moveOnto(w->C1);
        QVERIFY(!w->C1->isVisible() && w->C2->isVisible());
        QVERIFY(w->k1->isVisible() && !w->k2->isVisible());
        QTest::mouseMove(w, QPoint(w->width() - 10, 10));
        QVERIFY(atRest(w));
        QCOMPARE(platform().endCount, 0);
    }

    void confirmWithoutBackupEndsTheProgram() {
        exitpro* w = exitpro::showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        moveOnto(w->k1);
        QTest::mouseClick(w->k2, Qt::LeftButton);
        QCOMPARE(platform().endCount, 1);
        QVERIFY(backupWindows().isEmpty());
        QVERIFY(platform().interactions.size() == 1); // nothing asked, nothing saved
    }

    void confirmWithBackupOpensTheBackupWindow() {
        exitpro* w = exitpro::showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTest::mouseClick(w->Check1, Qt::LeftButton);
        QVERIFY(w->Check1->isChecked());
        moveOnto(w->k1);
        QTest::mouseClick(w->k2, Qt::LeftButton);
        QCOMPARE(platform().endCount, 0);
        const QList<Frmbackup*> backups = backupWindows();
        QCOMPARE(backups.size(), 1);
        QVERIFY(backups.first()->isVisible());
        settle();
        QCOMPARE(exitpro::instance(), w); // hidden, not closed
        QVERIFY(!w->isVisible());
        // The program ends from the backup window.
        QTest::mouseClick(backups.first()->Command1, Qt::LeftButton);
        QCOMPARE(platform().endCount, 1);
    }

    void cancelBringsBackTheMainWindow() {
        QPointer<exitpro> w = exitpro::showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(Frm1::instance() == nullptr);
        moveOnto(w->C1);
        QTest::mouseClick(w->C2, Qt::LeftButton);
        settle();
        QVERIFY(Frm1::instance() != nullptr);
        QVERIFY(Frm1::instance()->isVisible());
        QCOMPARE(Frm1::instance()->pos(), QPoint(twips(2340), twips(765))); // its load steps ran
        QVERIFY(w.isNull());
        QVERIFY(exitpro::instance() == nullptr);
        QCOMPARE(platform().endCount, 0);
    }

    void closingByTheFrameEndsTheProgram() {
        exitpro* w = exitpro::showWindow();
        w->close();
        QCOMPARE(platform().endCount, 1);
    }

    void titleFlashesAndTheBoxFollows() {
        exitpro* w = exitpro::showWindow();
        w->Timer2_Timer();
        QCOMPARE(w->windowTitle(), QStringLiteral(" تهيه نسخه پشتيبان"));
        QVERIFY(!w->Timer2->isActive());
        QVERIFY(w->Timer3->isActive());
        w->tmCaptionAnimate_Timer();
        QCOMPARE(w->Check1->text(), QStringLiteral(" تهيه نسخه پشتيبان"));
        w->Timer3_Timer();
        QCOMPARE(w->windowTitle(), QStringLiteral("پشتيبان گيري"));
        QVERIFY(w->Timer2->isActive());
        QVERIFY(!w->Timer3->isActive());
        QCOMPARE(w->Check1->text(),
                 QStringLiteral(" تهيه نسخه پشتيبان")); // until its own timer ticks
        w->tmCaptionAnimate_Timer();
        QCOMPARE(w->Check1->text(), QStringLiteral("پشتيبان گيري"));
        w->Timer2_Timer();
        QCOMPARE(w->windowTitle(), QStringLiteral(" تهيه نسخه پشتيبان"));
    }

    void titleFlashesOnItsOwn() {
        exitpro* w = exitpro::showWindow();
        const QStringList texts{QStringLiteral(" تهيه نسخه پشتيبان"),
                                QStringLiteral("پشتيبان گيري")};
        QStringList titles;
        QStringList captions;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 1800) {
            QTest::qWait(50);
            if (titles.isEmpty() || titles.last() != w->windowTitle())
                titles.append(w->windowTitle());
            if (captions.isEmpty() || captions.last() != w->Check1->text())
                captions.append(w->Check1->text());
        }
        // Both texts come and go, and the box shows them too.
        QVERIFY(titles.size() >= 3);
        QVERIFY(titles.contains(texts.at(0)) && titles.contains(texts.at(1)));
        QVERIFY(captions.contains(texts.at(0)) && captions.contains(texts.at(1)));
        QVERIFY(texts.contains(w->Check1->text()));
    }

    void tabReachesBothPicturesAndTheBox() {
        exitpro* w = shownAndActive();
        QVERIFY(w);
        // Confirm, cancel, the backup box, and round again.
        QVERIFY(key(w->k1)->hasFocus());
        press(Qt::Key_Tab);
        QVERIFY(key(w->C1)->hasFocus());
        press(Qt::Key_Tab);
        QVERIFY(w->Check1->hasFocus());
        press(Qt::Key_Space);
        QVERIFY(w->Check1->isChecked());
        press(Qt::Key_Tab);
        QVERIFY(key(w->k1)->hasFocus());
        press(Qt::Key_Backtab);
        QVERIFY(w->Check1->hasFocus());
        // The pointer still swaps the pictures, and the focus stays on its button.
        press(Qt::Key_Backtab);
        QVERIFY(key(w->C1)->hasFocus());
        moveOnto(w->C1);
        QVERIFY(w->C2->isVisible());
        QVERIFY(key(w->C1)->hasFocus());
        QCOMPARE(platform().endCount, 0);
    }

    void theFocusedPictureShowsAFrame() {
        exitpro* w = shownAndActive();
        QVERIFY(w);
        const auto picture = [w](QLabel* label) { return w->grab(label->geometry()).toImage(); };
        QVERIFY(key(w->k1)->hasFocus());
        const QImage confirmFocused = picture(w->k1);
        const QImage cancelAtRest = picture(w->C1);
        press(Qt::Key_Tab);
        QVERIFY(key(w->C1)->hasFocus());
        QVERIFY(picture(w->k1) != confirmFocused);
        QVERIFY(picture(w->C1) != cancelAtRest);
        // The frame goes with the focus and leaves the picture as it was.
        press(Qt::Key_Tab);
        QCOMPARE(picture(w->C1), cancelAtRest);
    }

    void keysActivateThePictures_data() {
        QTest::addColumn<int>("tabs"); // from the confirm picture
        QTest::addColumn<bool>("backup");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("outcome"); // "end", "backup" or "main"
        QTest::newRow("enter on confirm") << 0 << false << int(Qt::Key_Return) << "end";
        QTest::newRow("keypad enter on confirm") << 0 << false << int(Qt::Key_Enter) << "end";
        QTest::newRow("space on confirm") << 0 << false << int(Qt::Key_Space) << "end";
        QTest::newRow("enter on confirm, box ticked")
            << 0 << true << int(Qt::Key_Return) << "backup";
        QTest::newRow("enter on cancel") << 1 << false << int(Qt::Key_Return) << "main";
        QTest::newRow("space on cancel") << 1 << true << int(Qt::Key_Space) << "main";
        QTest::newRow("escape on confirm") << 0 << true << int(Qt::Key_Escape) << "main";
        QTest::newRow("escape on the box") << 2 << false << int(Qt::Key_Escape) << "main";
    }
    void keysActivateThePictures() {
        QFETCH(int, tabs);
        QFETCH(bool, backup);
        QFETCH(int, key);
        QFETCH(QString, outcome);
        QPointer<exitpro> w = shownAndActive();
        QVERIFY(w);
        w->Check1->setChecked(backup);
        for (int i = 0; i < tabs; ++i)
            press(Qt::Key_Tab);
        press(key);
        settle();
        QCOMPARE(platform().endCount, outcome == QLatin1String("end") ? 1 : 0);
        QCOMPARE(backupWindows().size(), outcome == QLatin1String("backup") ? 1 : 0);
        QCOMPARE(Frm1::instance() != nullptr, outcome == QLatin1String("main"));
        if (outcome == QLatin1String("main"))
            QVERIFY(w.isNull());
    }

    void picturesAreNamedButtons() {
        exitpro* w = exitpro::showWindow();
        struct Expected {
            QLabel* picture;
            QString name;
        };
        for (const Expected& e :
             {Expected{w->k1, QStringLiteral("خروج")}, Expected{w->C1, QStringLiteral("انصراف")}}) {
            QAccessibleInterface* button = QAccessible::queryAccessibleInterface(key(e.picture));
            QVERIFY(button);
            QCOMPARE(button->role(), QAccessible::Button);
            QCOMPARE(button->text(QAccessible::Name), e.name);
            QVERIFY(button->actionInterface());
            QVERIFY(button->actionInterface()->actionNames().contains(
                QAccessibleActionInterface::pressAction()));
        }
        // A screen reader's press is the picture's click.
        QAccessibleInterface* cancel = QAccessible::queryAccessibleInterface(key(w->C1));
        QPointer<exitpro> window = w;
        cancel->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(window.isNull());
        QVERIFY(Frm1::instance());
    }

    void leavingTheMainWindowShowsIt_data() {
        QTest::addColumn<bool>("byButton");
        QTest::newRow("exit button") << true;
        QTest::newRow("window frame") << false;
    }
    void leavingTheMainWindowShowsIt() {
        QFETCH(bool, byButton);
        QPointer<Frm1> main = Frm1::showMain();
        if (byButton)
            QTest::mouseClick(main->Command6, Qt::LeftButton);
        else
            main->close();
        settle();
        QVERIFY(main.isNull());
        exitpro* w = exitpro::instance();
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QCOMPARE(w->pos(), QPoint(twips(5000), twips(1500)));
        QCOMPARE(w->pos(), QPoint(333, 100));
        QCOMPARE(platform().endCount, 0);
        // Cancel: back to a new main window.
        w->C2_Click();
        settle();
        QVERIFY(Frm1::instance() != nullptr);
        QVERIFY(exitpro::instance() == nullptr);
    }
};

VELMORA_TEST_MAIN(TestExitpro)
#include "tst_exitpro.moc"
