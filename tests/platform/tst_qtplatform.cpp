// The real platform's print preview, with a command of the program's own.
#include "platform/QtPlatform.h"
#include "support/ProgramFolder.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QPageLayout>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <QTemporaryDir>
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

    // On the clinic's smallest screen the preview opens wide enough for every
    // command of its tool bar: none is folded behind the chevron, and the
    // window stays on the screen.
    void previewShowsEveryCommand() {
        QCOMPARE(QGuiApplication::primaryScreen()->geometry().size(), QSize(1024, 768));
        QWidget owner;
        owner.show();
        QtPlatform platform;
        platform.printPreview(&owner, QStringLiteral("report"), [](QPrinter&) {},
                              {{QStringLiteral("SavePdf"), QStringLiteral("ذخيره به صورت PDF"),
                                [](QWidget*, const QPageLayout&) {}}});
        auto* preview = owner.findChild<QPrintPreviewDialog*>();
        QVERIFY(preview);
        QVERIFY(QTest::qWaitForWindowExposed(preview));
        if (const QString folder = qEnvironmentVariable("VELMORA_PICTURES"); !folder.isEmpty())
            preview->grab().save(folder + QStringLiteral("/preview-1024.png"));
        auto* tools = preview->findChild<QToolBar*>();
        QVERIFY(tools);
        int commands = 0;
        for (QAction* action : tools->actions()) {
            if (action->isSeparator() || !action->isVisible())
                continue;
            QWidget* button = tools->widgetForAction(action);
            QVERIFY2(button && button->isVisible(), qPrintable(action->objectName()));
            QVERIFY2(tools->rect().contains(button->geometry()), qPrintable(action->objectName()));
            ++commands;
        }
        QVERIFY(commands > 15);
        for (auto* button : tools->findChildren<QToolButton*>())
            if (button->objectName() == QLatin1String("qt_toolbar_ext_button"))
                QVERIFY(!button->isVisible());
        QVERIFY(preview->width() <= 1024);
        // As tall as Qt makes it: two thirds of the screen.
        QVERIFY(preview->height() >= 768 / 2);
        QVERIFY(preview->height() <= 768);
    }
};

// The screen the tests draw on is the smallest a clinic uses, 1024×768.
int main(int argc, char** argv) {
    QTemporaryDir folder;
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && folder.isValid()) {
        const QString config = folder.filePath(QStringLiteral("screen.json"));
        QFile file(config);
        if (file.open(QIODevice::WriteOnly))
            file.write(R"({"screens": [{"name": "clinic", "x": 0, "y": 0, "width": 1024,
                           "height": 768, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        file.close();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
    }
    TestQtPlatform test;
    return runVelmoraTest(argc, argv, &test);
}
#include "tst_qtplatform.moc"
