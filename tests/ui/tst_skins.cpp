#include "data/TextNumber.h"
#include "support/ProgramFolder.h"
#include "ui/FormKit.h"
#include "ui/Skins.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QWidget>
#include <functional>
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

    void theKeyboardFocusShowsInEverySkin_data() {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QString>("kind");
        const QStringList skins =
            QDir(QStringLiteral(VELMORA_ASSETS_DIR "/skins")).entryList({QStringLiteral("*.skn")});
        QCOMPARE(skins.size(), 12);
        for (const QString& skin : skins)
            for (const char* kind :
                 {"button", "text box", "list", "typed list", "option", "check box", "grid"})
                QTest::newRow(qPrintable(skin + QLatin1Char(' ') + QLatin1String(kind)))
                    << skin << QString::fromLatin1(kind);
    }
    // Two like controls in a skinned window: the one the keyboard reaches
    // looks different from the other.
    void theKeyboardFocusShowsInEverySkin() {
        QFETCH(QString, skin);
        QFETCH(QString, kind);
        const std::function<QWidget*(QWidget*)> make = [&kind](QWidget* parent) -> QWidget* {
            if (kind == "button")
                return new QPushButton(QStringLiteral("ذخيره"), parent);
            if (kind == "text box")
                return new QLineEdit(parent); // empty: no selected text on arrival
            if (kind == "option")
                return new QRadioButton(QStringLiteral("موافقم"), parent);
            if (kind == "check box")
                return new QCheckBox(QStringLiteral("تهيه نسخه پشتيبان"), parent);
            if (kind == "grid") {
                auto* grid = new QTableView(parent);
                grid->setModel(new QStandardItemModel(3, 2, grid));
                return grid;
            }
            auto* list = new QComboBox(parent);
            list->setEditable(kind == "typed list");
            list->addItems({QStringLiteral("مرد"), QStringLiteral("زن")});
            list->setCurrentIndex(-1);
            return list;
        };
        QWidget window;
        window.setObjectName(QStringLiteral("Frm1"));
        auto* skinEngine = new SkinEngine(&window);
        QVERIFY(skinEngine->loadSkin(skin));
        skinEngine->applyTo(&window);
        auto* panel = new QGroupBox(&window);
        panel->setGeometry(0, 0, 400, 100);
        QWidget* reached = make(panel);
        QWidget* other = make(panel);
        reached->setGeometry(10, 20, 150, 60);
        other->setGeometry(200, 20, 150, 60);
        window.resize(400, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        // As a Tab press brings it (a grid and a group of options keep Tab
        // presses of their own).
        window.setAttribute(Qt::WA_KeyboardFocusChange);
        reached->setFocus(Qt::TabFocusReason);
        QVERIFY(reached->hasFocus());
        // Seen on the window, whose skin shows through around the text.
        const auto seen = [&window](QWidget* w) {
            return window.grab(QRect(w->mapTo(&window, QPoint()), w->size())).toImage();
        };
        const QImage focused = seen(reached);
        const QImage plain = seen(other);
        QCOMPARE(focused.size(), plain.size());
        // Pixels that stand out: a plain change of shade is not a frame.
        int differing = 0;
        for (int y = 0; y < plain.height(); ++y)
            for (int x = 0; x < plain.width(); ++x) {
                const QColor a = focused.pixelColor(x, y);
                const QColor b = plain.pixelColor(x, y);
                differing += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                                 std::abs(a.blue() - b.blue()) >
                             120;
            }
        // At least a ring round a caption.
        QVERIFY2(differing >= 90, qPrintable(QString::number(differing)));
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
