#include "platform/QtPlatform.h"
#include "support/ProgramFolder.h"
#include "ui/Notice.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace velmora;

class TestNotice : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;
    QtPlatform m_real;

private slots:
    void init() {
        m_folder = std::make_unique<ProgramFolder>(false);
        setPlatform(&m_real); // this test shows real boxes
    }
    void cleanup() { m_folder.reset(); }

    void aRealNoticeClosesItselfAfterItsInterval() {
        QWidget owner;
        owner.show();
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::Warning;
        int buttons = 0;
        QTimer::singleShot(300, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                title = box->windowTitle();
                text = box->text();
                icon = box->icon();
                buttons = box->buttons().size();
            }
        });
        QElapsedTimer clock;
        clock.start();
        ShowNotice(&owner, QStringLiteral("شما بايد شماره آزمودني مورد نظر را وارد كنيد"));
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 950 && elapsed < 4000, qPrintable(QString::number(elapsed)));
        QCOMPARE(title, QStringLiteral("پيام"));
        QCOMPARE(text, QStringLiteral("شما بايد شماره آزمودني مورد نظر را وارد كنيد"));
        QCOMPARE(icon, QMessageBox::NoIcon);
        QCOMPARE(buttons, 1);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void anEarlyOkLeavesTheNextNoticeAlone() {
        QWidget owner;
        owner.show();
        QTimer::singleShot(100, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->button(QMessageBox::Ok)->click();
        });
        QElapsedTimer clock;
        clock.start();
        ShowNotice(&owner, QStringLiteral("شما بايد شماره آزمودني مورد نظر را وارد كنيد"),
                   LongNoticeInterval);
        QVERIFY(clock.elapsed() < 900);
        // The first notice's timer must not close a box opened after it.
        clock.restart();
        ShowNotice(&owner, QStringLiteral("شما بايد شماره آزمودني مورد نظر را وارد كنيد"), 1500);
        QVERIFY2(clock.elapsed() >= 1450, qPrintable(QString::number(clock.elapsed())));
    }
};

VELMORA_TEST_MAIN(TestNotice)
#include "tst_notice.moc"
