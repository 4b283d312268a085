#include "scoring/Frm2.h"
#include "scoring/FrmkLID.h"
#include "scoring/Scales.h"
#include "support/ProgramFolder.h"
#include "ui/Skins.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <functional>
#include <memory>

using namespace velmora;

namespace {

struct BarState {
    float top, height;
    bool operator==(const BarState& o) const { return top == o.top && height == o.height; }
};

QList<BarState> bars(const Frm2* chart) {
    QList<BarState> states;
    for (int k = 1; k <= ScaleCount; ++k)
        states.append({chart->bar(k)->top(), chart->bar(k)->height()});
    return states;
}

QList<BarState> designBars() {
    return QList<BarState>(ScaleCount, BarState{5820, 195});
}

QString pdfText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}

} // namespace

// The profile chart: opened from the scoring window, drawn, printed.
class TestFrm2 : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;
    FrmkLID* m_scoring = nullptr;

    ScriptedPlatform& platform() { return m_folder->platform(); }

    // A scored subject in an open scoring window.
    void scoreSubject(const QStringList& answers, const QString& code = QStringLiteral("77")) {
        ProgramFolder::addSubject(code, QStringLiteral("Ann"), QStringLiteral("Smith"),
                                  QStringLiteral("C"));
        ProgramFolder::setAnswers(code, answers);
        m_scoring = FrmkLID::showWindow();
        platform().inputAnswers.enqueue(code);
        QTest::mouseClick(m_scoring->Command1, Qt::LeftButton);
        platform().clear();
    }

    // Opens the chart with the scoring window's button and runs action in it
    // while it is shown; then closes it with its exit button.
    bool withChart(const std::function<void(Frm2*)>& action) {
        bool ran = false;
        whenModal([&](QWidget* modal) {
            auto* chart = qobject_cast<Frm2*>(modal);
            if (!chart)
                return;
            ran = true;
            action(chart);
            QTest::mouseClick(chart->Command6, Qt::LeftButton);
        });
        QTest::mouseClick(m_scoring->Command2, Qt::LeftButton);
        return ran;
    }

private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() {
        m_scoring = nullptr;
        m_folder.reset();
    }

    void needsASearchFirst() {
        ProgramFolder::addSubject(QStringLiteral("1"));
        m_scoring = FrmkLID::showWindow();
        QTest::mouseClick(m_scoring->Command2, Qt::LeftButton);
        const auto notices = platform().ofKind(QStringLiteral("notice"));
        QCOMPARE(notices.size(), 1);
        QCOMPARE(notices.first().text, QStringLiteral("ابتدا روي جستجو کليک کرده و سپس کد آزمودني "
                                                      "را وارد کنيد بعد روي رسم نمودار کليک کنيد"));
        QCOMPARE(notices.first().interval, 1000);
        QCOMPARE(notices.first().owner, m_scoring);
        for (QWidget* top : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<Frm2*>(top));
    }

    void receivesTheSubjectAndTheValues() {
        scoreSubject(QStringList(14, QStringLiteral("5")));
        const bool opened = withChart([&](Frm2* chart) {
            QVERIFY(chart->isModal());
            QCOMPARE(chart->objectName(), QStringLiteral("Frm2"));
            QCOMPARE(chart->windowTitle(), QStringLiteral("رسم نمودار"));
            QCOMPARE(chart->pos(), QPoint(156, 51));
            QCOMPARE(chart->Text18->text(), QStringLiteral("77"));
            QCOMPARE(chart->Text17->text(), QStringLiteral("Ann"));
            QCOMPARE(chart->Text16->text(), QStringLiteral("Smith"));
            QCOMPARE(chart->Text15->text(), QStringLiteral("30"));
            QCOMPARE(chart->Text12->text(), QStringLiteral("1393/08/11"));
            QCOMPARE(chart->Text9->text(), QStringLiteral("10:00:00"));
            for (int k = 1; k <= ScaleCount; ++k) {
                QLineEdit* box = chart->findChild<QLineEdit*>(QStringLiteral("Text%1").arg(k));
                QCOMPARE(box, chart->valueBox(k));
                QCOMPARE(box->text(), QStringLiteral("10"));
                QVERIFY(box->isReadOnly());
            }
            // Nothing is drawn until the operator asks.
            QCOMPARE(bars(chart), designBars());
        });
        QVERIFY(opened);
        QVERIFY(m_scoring->isVisible());
    }

    void scaleTwoOfTenIsTwentyThirds() {
        QStringList answers(14, QStringLiteral("3"));
        answers[2] = QStringLiteral("5");
        answers[3] = QStringLiteral("4");
        answers[8] = QStringLiteral("1");
        scoreSubject(answers);
        QCOMPARE(m_scoring->Text3[1]->text(), QStringLiteral("10"));
        QVERIFY(withChart([](Frm2* chart) {
            QCOMPARE(chart->valueBox(2)->text(), QStringLiteral("6.66666666666667"));
            QTest::mouseClick(chart->Command1, Qt::LeftButton);
            QVERIFY(qAbs(chart->bar(2)->height() - 2413.33f) < 0.01f);
            QCOMPARE(chart->bar(2)->top() + chart->bar(2)->height(), 6015.0f);
        }));
    }

    void draws_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<float>("height");
        QTest::addColumn<float>("top");
        QTest::newRow("all 5") << "5" << 3620.0f << 2395.0f;
        QTest::newRow("all 1") << "1" << 724.0f << 5291.0f;
        QTest::newRow("no answers") << "" << 0.0f << 6015.0f;
    }
    void draws() {
        QFETCH(QString, answer);
        QFETCH(float, height);
        QFETCH(float, top);
        scoreSubject(QStringList(14, answer));
        QVERIFY(withChart([&](Frm2* chart) {
            QTest::mouseClick(chart->Command1, Qt::LeftButton);
            const QList<BarState> drawn = bars(chart);
            QCOMPARE(drawn, QList<BarState>(ScaleCount, BarState{top, height}));
            // Drawing again with the same values changes nothing.
            QTest::mouseClick(chart->Command1, Qt::LeftButton);
            QCOMPARE(bars(chart), drawn);
            for (int k = 1; k <= ScaleCount; ++k) {
                QCOMPARE(chart->bar(k)->width(), 615.0f);
                QCOMPARE(chart->bar(k)->objectName(), QStringLiteral("Shape%1").arg(k));
                QCOMPARE(chart->bar(k)->fill(), k % 2 ? QColor(0, 0, 0) : QColor(255, 0, 0));
            }
            QVERIFY(platform().messageTexts().isEmpty());
        }));
    }

    void reopeningStartsWithDesignBars() {
        scoreSubject(QStringList(14, QStringLiteral("4")));
        QVERIFY(withChart([](Frm2* chart) {
            QTest::mouseClick(chart->Command1, Qt::LeftButton);
            QCOMPARE(chart->bar(1)->height(), 2896.0f);
        }));
        QVERIFY(withChart([](Frm2* chart) { QCOMPARE(bars(chart), designBars()); }));
    }

    void rangeOfTheFirstTwoBoxes_data() {
        QTest::addColumn<QString>("box1");
        QTest::addColumn<QString>("box2");
        QTest::addColumn<int>("refused"); // 0: drawn
        QTest::newRow("zero") << "0"
                              << "0" << 0;
        QTest::newRow("1001 is allowed") << "1001"
                                         << "1001" << 0;
        QTest::newRow("box 1 below 0") << "-1"
                                       << "5" << 1;
        QTest::newRow("box 1 above 1001") << "1001.5"
                                          << "5" << 1;
        QTest::newRow("box 1 far above") << "1002"
                                         << "5" << 1;
        QTest::newRow("box 2 below 0") << "5"
                                       << "-0.5" << 2;
        QTest::newRow("box 2 above 1001") << "5"
                                          << "1002" << 2;
        QTest::newRow("box 1 is tested first") << "-3"
                                               << "-3" << 1;
        // 1002 typed on a Persian keyboard is 1002, not a text without a number.
        QTest::newRow("box 1 above 1001 in Persian digits") << QStringLiteral("۱۰۰۲") << "5" << 1;
        QTest::newRow("box 2 above 1001 in Arabic-Indic digits")
            << "5" << QStringLiteral("١٠٠٢") << 2;
    }
    void rangeOfTheFirstTwoBoxes() {
        QFETCH(QString, box1);
        QFETCH(QString, box2);
        QFETCH(int, refused);
        scoreSubject(QStringList(14, QStringLiteral("3")));
        QVERIFY(withChart([&](Frm2* chart) {
            chart->valueBox(1)->setText(box1);
            chart->valueBox(2)->setText(box2);
            QTest::mouseClick(chart->Command1, Qt::LeftButton);
            const auto boxes = platform().ofKind(QStringLiteral("messageBox"));
            if (refused == 0) {
                QVERIFY(boxes.isEmpty());
                QCOMPARE(chart->bar(3)->height(), 2172.0f);
                return;
            }
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(boxes.first().text, QStringLiteral("عدد وارد شده يا کمه يا زياد"));
            QCOMPARE(boxes.first().title, QStringLiteral("Velmora"));
            QCOMPARE(boxes.first().icon, QMessageBox::NoIcon);
            QCOMPARE(boxes.first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
            QCOMPARE(chart->focusWidget(), chart->valueBox(refused));
            QCOMPARE(bars(chart), designBars());
        }));
    }

    void valuesInPersianDigits_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<float>("height");
        QTest::newRow("Persian 5") << QStringLiteral("۵") << 1810.0f;
        QTest::newRow("Arabic-Indic 5") << QStringLiteral("٥") << 1810.0f;
        QTest::newRow("Persian 7.5") << QStringLiteral("۷.۵") << 2715.0f;
        QTest::newRow("Persian 10") << QStringLiteral("۱۰") << 3620.0f;
    }
    void valuesInPersianDigits() {
        QFETCH(QString, value);
        QFETCH(float, height);
        scoreSubject(QStringList(14, QStringLiteral("1")));
        QVERIFY(withChart([&](Frm2* chart) {
            for (int k = 1; k <= ScaleCount; ++k)
                chart->valueBox(k)->setText(value);
            QTest::mouseClick(chart->Command1, Qt::LeftButton);
            QVERIFY(platform().messageTexts().isEmpty());
            QCOMPARE(bars(chart), QList<BarState>(ScaleCount, BarState{6015 - height, height}));
        }));
    }

    void noBarBelowTheBaseline_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("negative") << "-8";
        QTest::newRow("small negative") << "-0.5";
        QTest::newRow("not a number") << "abc";
        QTest::newRow("empty") << "";
    }
    void noBarBelowTheBaseline() {
        QFETCH(QString, value);
        scoreSubject(QStringList(14, QStringLiteral("2")));
        QVERIFY(withChart([&](Frm2* chart) {
            for (int k = 3; k <= ScaleCount; ++k)
                chart->valueBox(k)->setText(value);
            QTest::mouseClick(chart->Command1, Qt::LeftButton);
            QVERIFY(platform().messageTexts().isEmpty());
            for (int k = 3; k <= ScaleCount; ++k) {
                QCOMPARE(chart->bar(k)->height(), 0.0f);
                QCOMPARE(chart->bar(k)->top(), 6015.0f);
            }
            QCOMPARE(chart->bar(1)->height(), 1448.0f);
        }));
    }

    void hugeValuesDrawABarStandingOnTheBaseline_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("beyond single precision") << "1e39";
        QTest::newRow("1e300") << "1e300";
        QTest::newRow("overflowing the height") << "1e308";
        QTest::newRow("largest double") << "1.7976931348623157e308";
    }
    void hugeValuesDrawABarStandingOnTheBaseline() {
        QFETCH(QString, value);
        scoreSubject(QStringList(14, QStringLiteral("2")));
        QVERIFY(withChart([&](Frm2* chart) {
            for (int k = 3; k <= ScaleCount; ++k)
                chart->valueBox(k)->setText(value);
            QTest::mouseClick(chart->Command1, Qt::LeftButton);
            QVERIFY(platform().messageTexts().isEmpty());
            for (int k = 3; k <= ScaleCount; ++k) {
                const ChartBar* bar = chart->bar(k);
                QVERIFY2(std::isfinite(bar->top()) && std::isfinite(bar->height()),
                         qPrintable(QStringLiteral("%1 %2").arg(bar->top()).arg(bar->height())));
                // Taller than the window, down to the baseline.
                QVERIFY(bar->top() < 0);
                QCOMPARE(bar->top() + bar->height(), 6015.0f);
                QVERIFY(bar->geometry().top() < 0);
                QCOMPARE(bar->geometry().bottom() + 1, 401);
            }
            QCOMPARE(chart->bar(1)->height(), 1448.0f);
        }));
    }

    void negativeAnswersDrawNoBar() {
        // A sheet edited outside the program: scale 3 scores -8.
        QStringList answers(14, QStringLiteral("2"));
        answers[4] = QStringLiteral("-4");
        answers[5] = QStringLiteral("-4");
        scoreSubject(answers);
        QVERIFY(withChart([](Frm2* chart) {
            QCOMPARE(chart->valueBox(3)->text(), QStringLiteral("-8"));
            QTest::mouseClick(chart->Command1, Qt::LeftButton);
            QCOMPARE(chart->bar(3)->height(), 0.0f);
            QCOMPARE(chart->bar(3)->top(), 6015.0f);
            QVERIFY(chart->bar(3)->geometry().bottom() < 6015 / 15 + 1);
        }));
    }

    void prints() {
        scoreSubject(QStringList(14, QStringLiteral("5")));
        QVERIFY(withChart([&](Frm2* chart) {
            QTest::mouseClick(chart->Command1, Qt::LeftButton);
            QTest::mouseClick(chart->Command2, Qt::LeftButton);
            QCOMPARE(platform().printedFiles.size(), 1);
            const auto jobs = platform().ofKind(QStringLiteral("print"));
            QCOMPARE(jobs.size(), 1);
            QCOMPARE(jobs.first().owner, chart);
            QVERIFY(platform().messageTexts().isEmpty());
            for (QPushButton* b : {chart->Command1, chart->Command2, chart->Command6})
                QVERIFY(b->isVisible());
            QVERIFY(pdfText(platform().printedFiles.first()).contains("/Count 1"));
            keepPicture(platform().printedFiles.first(), QStringLiteral("chart.pdf"));
        }));
    }

    void failedPrintShowsTheReason() {
        scoreSubject(QStringList(14, QStringLiteral("5")));
        platform().printFailure = QStringLiteral("The printer is out of paper.");
        QVERIFY(withChart([&](Frm2* chart) {
            QTest::mouseClick(chart->Command1, Qt::LeftButton);
            const QList<BarState> drawn = bars(chart);
            bool buttonsBack = false;
            platform().onModal = [&](const ScriptedPlatform::Interaction&) {
                buttonsBack = chart->Command1->isVisible() && chart->Command2->isVisible() &&
                              chart->Command6->isVisible();
            };
            QTest::mouseClick(chart->Command2, Qt::LeftButton);
            platform().onModal = nullptr;
            const auto boxes = platform().ofKind(QStringLiteral("messageBox"));
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(boxes.first().title, QStringLiteral("Error"));
            QCOMPARE(boxes.first().text, QStringLiteral("The printer is out of paper."));
            QCOMPARE(boxes.first().icon, QMessageBox::Warning);
            QCOMPARE(boxes.first().owner, chart);
            QVERIFY(buttonsBack);
            QVERIFY(platform().printedFiles.isEmpty());
            QCOMPARE(bars(chart), drawn);
        }));
    }

    void printedImageHasNoButtons() {
        scoreSubject(QStringList(14, QStringLiteral("5")));
        QVERIFY(withChart([](Frm2* chart) {
            // The picture is taken while the buttons are hidden.
            const QImage shown = chart->clientImage();
            for (QPushButton* b : {chart->Command1, chart->Command2, chart->Command6})
                b->setVisible(false);
            const QImage hidden = chart->clientImage();
            for (QPushButton* b : {chart->Command1, chart->Command2, chart->Command6})
                b->setVisible(true);
            QCOMPARE(shown.size(), chart->size() * 3);
            QVERIFY(shown != hidden);
        }));
    }

    void showsTheClinic() {
        ProgramFolder::exec(
            "DBM/DB.mdb", "UPDATE Theme SET TH = '10', Name = ?, Adress = ?",
            {QStringLiteral("Hope Clinic"), QStringLiteral("12 Park Road, Shiraz")});
        scoreSubject(QStringList(14, QStringLiteral("5")));
        QVERIFY(withChart([](Frm2* chart) {
            auto* name = chart->findChild<QLabel*>(QStringLiteral("Label18(9)"));
            auto* address = chart->findChild<QLabel*>(QStringLiteral("Label18(10)"));
            QVERIFY(name && address);
            QCOMPARE(name->text(), QStringLiteral("Hope Clinic"));
            QCOMPARE(address->text(), QStringLiteral("12 Park Road, Shiraz"));
            auto* caption = chart->findChild<QLabel*>(QStringLiteral("Label18(11)"));
            QVERIFY(caption);
            QCOMPARE(caption->text(), QStringLiteral(" :آدرس"));
            // The chart keeps the plain look, whatever the theme.
            QCOMPARE(chart->Skin1->loadedFile(), QString());
            QCOMPARE(chart->Text11->text(), QStringLiteral("10"));
        }));
    }

    void exitLeavesTheScoringWindow() {
        scoreSubject(QStringList(14, QStringLiteral("5")));
        QVERIFY(withChart([](Frm2*) {}));
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* chart = qobject_cast<Frm2*>(top))
                QVERIFY(!chart->isVisible());
        QVERIFY(m_scoring->isVisible());
        QCOMPARE(m_scoring->Text5->text(), QStringLiteral("77"));
    }

    void escapeLeavesTheChart() {
        scoreSubject(QStringList(14, QStringLiteral("5")));
        QPointer<Frm2> seen;
        whenModal([&](QWidget* modal) {
            seen = qobject_cast<Frm2*>(modal);
            QVERIFY(seen);
            pressKey(modal, Qt::Key_Escape);
        });
        QTest::mouseClick(m_scoring->Command2, Qt::LeftButton);
        QVERIFY(!seen || !seen->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(m_scoring->isVisible());
    }

private:
    // Keeps a rendered file for looking at when VELMORA_PICTURES names a folder.
    static void keepPicture(const QString& file, const QString& name) {
        const QString folder = qEnvironmentVariable("VELMORA_PICTURES");
        if (folder.isEmpty())
            return;
        QFile::remove(folder + "/" + name);
        QFile::copy(file, folder + "/" + name);
    }
};

VELMORA_TEST_MAIN(TestFrm2)
#include "tst_frm2.moc"
