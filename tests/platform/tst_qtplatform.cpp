// The real platform's print preview, with a command of the program's own.
#include "platform/QtPlatform.h"
#include "support/ProgramFolder.h"

#include <QAction>
#include <QApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using namespace velmora;

class TestQtPlatform : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { deleteAllWindows(); }

    // The extra command stands in the preview's tool bar under its name and
    // caption; using it hands over the preview and the page layout it shows.
    void previewOffersTheProgramsCommands() {
        QWidget owner;
        owner.show();
        QWidget* seenPreview = nullptr;
        QPageLayout seenLayout;
        int runs = 0;
        QtPlatform platform;
        platform.printPreview(&owner, QStringLiteral("report"),
                              [](QPrinter& printer) {
                                  QPainter painter(&printer);
                                  painter.drawText(QPointF(100, 100), QStringLiteral("page"));
                              },
                              {{QStringLiteral("SavePdf"), QStringLiteral("ذخيره به صورت PDF"),
                                [&](QWidget* preview, const QPageLayout& layout) {
                                    seenPreview = preview;
                                    seenLayout = layout;
                                    ++runs;
                                }}});
        QPrintPreviewDialog* preview = owner.findChild<QPrintPreviewDialog*>();
        QVERIFY(preview);
        QVERIFY(preview->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(preview));
        if (const QString folder = qEnvironmentVariable("VELMORA_PICTURES"); !folder.isEmpty())
            preview->grab().save(folder + QStringLiteral("/preview.png"));
        QVERIFY(!preview->isModal());
        auto* button = preview->findChild<QToolButton*>(QStringLiteral("SavePdf"));
        QVERIFY(button);
        QVERIFY(button->isVisible());
        QCOMPARE(button->defaultAction()->text(), QStringLiteral("ذخيره به صورت PDF"));
        preview->printer()->setPageOrientation(QPageLayout::Landscape);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(runs, 1);
        QCOMPARE(seenPreview, preview);
        QCOMPARE(seenLayout.orientation(), QPageLayout::Landscape);
        QCOMPARE(seenLayout, preview->printer()->pageLayout());
    }
};

VELMORA_TEST_MAIN(TestQtPlatform)
#include "tst_qtplatform.moc"
