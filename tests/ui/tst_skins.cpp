#include "data/TextNumber.h"
#include "support/ProgramFolder.h"
#include "ui/FormKit.h"
#include "ui/Skins.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QPainter>
#include <QTest>
#include <QWidget>
#include <memory>

using namespace velmora;

namespace {

// A picture of one colour, as the help picture or a hint under a panel.
class Picture : public QWidget {
public:
    using QWidget::QWidget;
    QColor colour = Qt::red;

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), colour); }
};

} // namespace

class TestSkins : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;

private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(false); }
    void cleanup() { m_folder.reset(); }

    void leadingNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("integer") << "3" << 3.0;
        QTest::newRow("fraction") << "3.5" << 3.5;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("letters") << "abc" << 0.0;
        QTest::newRow("trailing letters") << "12abc" << 12.0;
        QTest::newRow("leading blanks") << "  7" << 7.0;
        QTest::newRow("negative") << "-1" << -1.0;
        QTest::newRow("leading zeros") << "07" << 7.0;
        QTest::newRow("exponent") << "1e1" << 10.0;
        QTest::newRow("lone point") << "." << 0.0;
        QTest::newRow("persian digits are not read") << QString::fromUtf8("\u06f3") << 0.0;
    }
    void leadingNumber() {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(::leadingNumber(text), expected);
    }

    void themeNumberSelectsTheSkinFile_data() {
        QTest::addColumn<QString>("th");
        QTest::addColumn<QString>("standard");
        QTest::addColumn<QString>("backup");
        QTest::newRow("3") << "3"
                           << "galaxy.skn"
                           << "galaxy.skn";
        QTest::newRow("1") << "1"
                           << "chizh.skn"
                           << "chizh.skn";
        QTest::newRow("7") << "7"
                           << "O-Universe.skn"
                           << "Zippo.skn";
        QTest::newRow("10") << "10"
                            << "winaqua.skn"
                            << "winaqua.skn";
        QTest::newRow("11") << "11"
                            << "office2007.skn"
                            << "office2007.skn";
        QTest::newRow("3.5") << "3.5"
                             << ""
                             << "";
        QTest::newRow("7.5") << "7.5"
                             << ""
                             << "";
        QTest::newRow("0") << "0"
                           << ""
                           << "";
        QTest::newRow("12") << "12"
                            << ""
                            << "";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
        QTest::newRow("abc") << "abc"
                             << ""
                             << "";
    }
    void themeNumberSelectsTheSkinFile() {
        QFETCH(QString, th);
        QFETCH(QString, standard);
        QFETCH(QString, backup);
        QWidget window;
        auto* skin = new SkinEngine(&window);
        QCOMPARE(skin->objectName(), QString("Skin1"));
        QCOMPARE(ApplyTheme(&window, th, skin), standard);
        if (standard.isEmpty()) {
            QVERIFY(window.styleSheet().isEmpty()); // the plain look
        } else {
            QFile f(standard);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(window.styleSheet(), QString::fromUtf8(f.readAll()));
        }
        QWidget backupWindow;
        auto* backupSkin = new SkinEngine(&backupWindow);
        QCOMPARE(ApplyTheme(&backupWindow, th, backupSkin, SkinTable::BackupWindow), backup);
    }

    void everyThemeHasItsOwnLook() {
        QSet<QString> looks;
        for (int n = 1; n <= 11; ++n) {
            QFile f(skinFileFor(n));
            QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
            looks.insert(QString::fromUtf8(f.readAll()));
        }
        QFile zippo("Zippo.skn");
        QVERIFY(zippo.open(QIODevice::ReadOnly));
        looks.insert(QString::fromUtf8(zippo.readAll()));
        QCOMPARE(looks.size(), 12);
    }

    void aPanelCoversWhatLiesUnderIt_data() {
        QTest::addColumn<QString>("file");
        // Every skin file there is, the backup window's Zippo.skn too.
        const QDir skins(QStringLiteral(VELMORA_ASSETS_DIR "/skins"));
        for (const QString& file : skins.entryList({QStringLiteral("*.skn")}, QDir::Files))
            QTest::newRow(qPrintable(file)) << file;
    }
    void aPanelCoversWhatLiesUnderIt() {
        QFETCH(QString, file);
        QWidget window;
        window.setObjectName(QStringLiteral("Frm1"));
        window.resize(300, 200);
        auto* skin = new SkinEngine(&window);
        QVERIFY(skin->loadSkin(file));
        auto* picture = new Picture(&window);
        picture->setGeometry(0, 0, 300, 200);
        QGroupBox* panel = makeFrame(QStringLiteral("Frame6"), &window);
        panel->setGeometry(50, 40, 200, 120);
        skin->applyTo(&window);
        // Inside the panel (its rounded corners and border aside) the picture
        // under it makes no difference.
        const QRect inside = panel->geometry().adjusted(12, 12, -12, -12);
        picture->colour = Qt::red;
        const QImage overRed = window.grab(inside).toImage();
        picture->colour = Qt::green;
        const QImage overGreen = window.grab(inside).toImage();
        QCOMPARE(overRed, overGreen);
    }

    void aMissingSkinFileLeavesThePlainLook() {
        QVERIFY(QFile::remove("galaxy.skn"));
        QWidget window;
        auto* skin = new SkinEngine(&window);
        QCOMPARE(ApplyTheme(&window, "3", skin), QString());
        QVERIFY(window.styleSheet().isEmpty());
    }
};

VELMORA_TEST_MAIN(TestSkins)
#include "tst_skins.moc"
