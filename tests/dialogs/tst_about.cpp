#include "app/Frm1.h"
#include "dialogs/About.h"
#include "support/ProgramFolder.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QQueue>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace velmora;

namespace {

// An about window whose animations are stepped by hand.
std::unique_ptr<About> stoppedWindow() {
    auto window = std::make_unique<About>();
    for (QTimer* t : window->findChildren<QTimer*>())
        t->stop();
    return window;
}

QColor textColour(QLabel* label) {
    return label->palette().color(QPalette::WindowText);
}

// The line number a tick gave to the label that went to the bottom.
int lineGiven(const About& window) {
    return window.nextLine() == 0 ? 9 : window.nextLine();
}

} // namespace

class TestAbout : public QObject {
    Q_OBJECT
private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }

    void windowAtLoad() {
        auto window = stoppedWindow();
        QCOMPARE(window->windowTitle(), QStringLiteral("about"));
        QCOMPARE(window->size(), QSize(562, 480));
        QCOMPARE(window->pos(), QPoint(73, 80));
        QCOMPARE(window->line(1), QStringLiteral("نام نرم افزار:"));
        for (int n = 2; n <= 7; ++n)
            QVERIFY2(!window->line(n).trimmed().isEmpty(), qPrintable(QString::number(n)));
        for (int n = 8; n <= 11; ++n)
            QCOMPARE(window->line(n), QString());
        QLabel* labels[] = {window->Label1, window->Label2, window->Label3, window->Label4};
        const int tops[] = {1920, 2640, 3240, 3840};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(labels[i]->text(), window->line(i + 1));
            QCOMPARE(window->labelTop(i + 1), tops[i]);
            QCOMPARE(labels[i]->y(), tops[i] / 15);
        }
        QCOMPARE(window->nextLine(), 4);
        QCOMPARE(window->Text1->text(), About::creditLine());
        QCOMPARE(window->Text1->geometry(), QRect(136, 440, 273, 19));
        QCOMPARE(window->Command1->text(), QStringLiteral("خروج"));
        QCOMPARE(window->Command1->geometry(), QRect(448, 424, 61, 45));
    }

    void timers() {
        About window;
        const struct {
            const char* name;
            int interval;
        } expected[] = {{"Timer1", 700}, {"Timer10", 55}, {"Timer3", 1}, {"Timer2", 55}};
        for (const auto& e : expected) {
            auto* timer = window.findChild<QTimer*>(QString::fromLatin1(e.name));
            QVERIFY2(timer, e.name);
            QCOMPARE(timer->interval(), e.interval);
            QVERIFY2(timer->isActive(), e.name); // the credit line's timer is started at load
        }
    }

    void theCreditLineSpellsTheFinishedLineApart() {
        const QString spaced = About::creditLine();
        const QString finished = About::finishedCreditLine();
        QVERIFY(finished.contains(QStringLiteral("Velmora")));
        QVERIFY(spaced.contains(QStringLiteral("  ")));
        QCOMPARE(spaced.count(QLatin1Char('.')), finished.count(QLatin1Char(' ')));
        QString closed = spaced;
        closed.remove(QLatin1Char(' '));
        closed.replace(QLatin1Char('.'), QLatin1Char(' '));
        QCOMPARE(closed, finished);
    }

    void label1ReachesTheBottomOnThe63rdTick() {
        auto window = stoppedWindow();
        for (int tick = 1; tick <= 62; ++tick)
            window->Timer10_Timer();
        QCOMPARE(window->labelTop(1), 990);
        QCOMPARE(window->Label1->text(), window->line(1));
        QCOMPARE(window->nextLine(), 4);
        window->Timer10_Timer();
        // Set to the outer height minus 1500, then moved up with the others.
        const int bottom = window->outerHeight() - 1500;
        QCOMPARE(window->labelTop(1), bottom - 15);
        QCOMPARE(window->Label1->y(), (bottom - 15) / 15);
        QCOMPARE(window->Label1->text(), window->line(5));
        QCOMPARE(window->nextLine(), 5);
        QCOMPARE(window->labelTop(2), 2640 - 63 * 15);
    }

    void theLoopShowsNineLinesAndNeverTenOrEleven() {
        auto window = stoppedWindow();
        QList<int> given;
        for (int tick = 0; tick < 3000; ++tick) {
            const int before = window->nextLine();
            window->Timer10_Timer();
            QVERIFY(window->nextLine() >= 0 && window->nextLine() <= 8);
            if (window->nextLine() != before)
                given.append(lineGiven(*window));
        }
        QVERIFY(given.size() > 20);
        // 5, 6, 7, 8, 9, then 1 again: the seven lines and a gap of two.
        for (int i = 0; i < given.size(); ++i)
            QCOMPARE(given.at(i), (4 + i) % 9 + 1);
        // Every label stays inside the window.
        for (int i = 1; i <= 4; ++i) {
            QVERIFY(window->labelTop(i) > 1000 - 15);
            QVERIFY(window->labelTop(i) < window->outerHeight() - 1500);
        }
    }

    void atMostOneLabelWrapsPerTick() {
        auto window = stoppedWindow();
        for (int tick = 0; tick < 2000; ++tick) {
            int tops[5];
            for (int i = 1; i <= 4; ++i)
                tops[i] = window->labelTop(i);
            window->Timer10_Timer();
            int wrapped = 0;
            for (int i = 1; i <= 4; ++i) {
                if (window->labelTop(i) == tops[i] - 15)
                    continue;
                ++wrapped;
                QVERIFY(tops[i] <= 1000);
            }
            QVERIFY(wrapped <= 1);
        }
    }

    void label1StepsThroughTheEvenColours() {
        auto window = stoppedWindow();
        const QColor expected[] = {QColor(0, 0, 0),     QColor(0, 128, 0),     QColor(128, 0, 0),
                                   QColor(128, 128, 0), QColor(128, 128, 128), QColor(0, 255, 0),
                                   QColor(255, 0, 0),   QColor(255, 255, 0)};
        for (int round = 0; round < 3; ++round) {
            for (int step = 0; step < 8; ++step) {
                window->Timer1_Timer();
                QCOMPARE(textColour(window->Label1), expected[step]);
            }
        }
        QCOMPARE(window->colourStep(), 16);
    }

    void label3TakesTheDrawnColour() {
        auto window = stoppedWindow();
        QQueue<double> draws;
        draws << 0.2 << 0.999 << 0.0 << 0.5 << 0.0019 << 0.0021;
        window->setRandomSource([&draws] { return draws.dequeue(); });
        window->Timer1_Timer();
        QCOMPARE(textColour(window->Label3), QColor(51, 255, 0));
        window->Timer1_Timer();
        QCOMPARE(textColour(window->Label3), QColor(128, 0, 1));
        QVERIFY(draws.isEmpty());
    }

    void theCreditLineExample() {
        auto window = stoppedWindow();
        window->Text1->setText(QStringLiteral("a  b.c"));
        const QString afterTick[] = {QStringLiteral("a b.c"), QStringLiteral("ab.c"),
                                     QStringLiteral("ab.c"),  QStringLiteral("ab c"),
                                     QStringLiteral("ab c"),  QStringLiteral("ab c")};
        for (const QString& expected : afterTick) {
            window->Timer3_Timer();
            QCOMPARE(window->Text1->text(), expected);
        }
    }

    void aLineWithoutBlanksOrStopsStays() {
        auto window = stoppedWindow();
        window->Text1->setText(QStringLiteral("Velmora"));
        for (int tick = 0; tick < 50; ++tick)
            window->Timer3_Timer();
        QCOMPARE(window->Text1->text(), QStringLiteral("Velmora"));
    }

    void theCreditLineClosesUpOneStepPerTick() {
        auto window = stoppedWindow();
        const QString spaced = About::creditLine();
        const int blanks = spaced.count(QLatin1Char(' '));
        const int stops = spaced.count(QLatin1Char('.'));
        QString previous = window->Text1->text();
        int changes = 0;
        for (int tick = 0; tick < blanks + stops + 20; ++tick) {
            window->Timer3_Timer();
            const QString now = window->Text1->text();
            if (now != previous) {
                ++changes;
                QCOMPARE(now.size(), previous.size() - (changes <= blanks ? 1 : 0));
            }
            previous = now;
        }
        QCOMPARE(changes, blanks + stops);
        QCOMPARE(window->Text1->text(), About::finishedCreditLine());
    }

    void theCaptionDoesNotMove() {
        auto window = stoppedWindow();
        for (int tick = 0; tick < 500; ++tick)
            window->Timer2_Timer();
        QCOMPARE(window->windowTitle(), QStringLiteral("about"));
    }

    void theTimersRunTheAnimationsOnTheirOwn() {
        About window;
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(window.Text1->text() == About::finishedCreditLine(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(window.labelTop(1) < 1920 - 15 * 5, 5000);
        QCOMPARE(window.windowTitle(), QStringLiteral("about"));
    }

    void command12OpensItModallyAndCommand1ClosesIt() {
        Frm1* main = Frm1::showMain();
        QTest::mouseClick(main->Command9, Qt::LeftButton);
        QVERIFY(main->Frame8->isVisible());
        QPointer<QWidget> seen;
        bool modal = false;
        whenModal([&](QWidget* w) {
            seen = w;
            modal = qobject_cast<QDialog*>(w) && w->isModal();
            auto* exit = w->findChild<QPushButton*>(QStringLiteral("Command1"));
            QVERIFY(exit);
            QTest::mouseClick(exit, Qt::LeftButton);
        });
        QTest::mouseClick(main->Command12, Qt::LeftButton);
        QVERIFY(seen.isNull()); // gone once it closes
        QVERIFY(modal);
        QVERIFY(!main->Frame8->isVisible()); // the panels were closed first
        QVERIFY(main->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
    }

    void escapeClosesIt() {
        Frm1* main = Frm1::showMain();
        QString seen;
        whenModal([&](QWidget* w) {
            seen = w->objectName();
            pressKey(w, Qt::Key_Escape);
        });
        QTest::mouseClick(main->Command12, Qt::LeftButton);
        QCOMPARE(seen, QStringLiteral("About")); // and gone once it closes
        QVERIFY(!QApplication::activeModalWidget());
    }

    void itTakesNoSkinFromTheMainWindow() {
        // A dark skin's label colours would hide the lines on the about
        // window's paper and override their changing colours.
        ProgramFolder::exec("DBM/DB.mdb", "UPDATE \"Theme\" SET \"TH\" = '3'");
        Frm1* main = Frm1::showMain();
        QVERIFY(!main->styleSheet().isEmpty());
        QStringList sheets;
        whenModal([&](QWidget* w) {
            for (QWidget* p = w; p; p = p->parentWidget())
                sheets.append(p->styleSheet());
            w->close();
        });
        QTest::mouseClick(main->Command12, Qt::LeftButton);
        QVERIFY(!sheets.isEmpty());
        for (const QString& sheet : sheets)
            QVERIFY(sheet.isEmpty());
    }

    void everyOpeningStartsAfresh() {
        auto first = stoppedWindow();
        for (int tick = 0; tick < 100; ++tick) {
            first->Timer10_Timer();
            first->Timer1_Timer();
            first->Timer3_Timer();
        }
        auto second = stoppedWindow();
        QCOMPARE(second->labelTop(1), 1920);
        QCOMPARE(second->nextLine(), 4);
        QCOMPARE(second->colourStep(), 0);
        QCOMPARE(second->Text1->text(), About::creditLine());
    }

private:
    std::unique_ptr<ProgramFolder> m_folder;
};

VELMORA_TEST_MAIN(TestAbout)
#include "tst_about.moc"
