// What a screen reader finds in every window: each control the operator can
// use has a name, taken from the caption beside it, and the self-closing
// notices are alerts.
#include "app/Frm1.h"
#include "backup/Frmbackup.h"
#include "data/DataControl.h"
#include "dialogs/About.h"
#include "dialogs/exitpro.h"
#include "platform/QtPlatform.h"
#include "questionnaire/FrmTest.h"
#include "registry/FrmCode.h"
#include "scoring/Frm2.h"
#include "scoring/FrmkLID.h"
#include "scoring/Scales.h"
#include "settings/Frmskin.h"
#include "support/ProgramFolder.h"
#include "ui/AccessibleNames.h"
#include "ui/SkinLabel.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace velmora;

namespace {

// Seen on the screen: shown, and not lying wholly outside its containers
// (as the score frame's copy of the answer sheet and the settings panel's
// blank buttons do).
bool seen(const QWidget* w) {
    if (!w->isVisible())
        return false;
    QRect area = w->rect();
    for (const QWidget* p = w; !p->isWindow(); p = p->parentWidget()) {
        area.translate(p->pos());
        area &= p->parentWidget()->rect();
    }
    return !area.isEmpty();
}

// The headers, corner button and viewport of a grid are read through the
// grid itself.
bool partOfAGrid(const QWidget* w) {
    for (const QWidget* p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget())
        if (qobject_cast<const QAbstractItemView*>(p))
            return true;
    return false;
}

bool takesInput(const QWidget* w) {
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QAbstractItemView*>(w) || qobject_cast<const QAbstractButton*>(w);
}

QString accessibleName(QWidget* w) {
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
    return i ? i->text(QAccessible::Name) : QString();
}

// The controls of window a screen reader reaches without a name.
QStringList unnamed(QWidget* window, int* checked) {
    QStringList found;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!takesInput(w) || !seen(w) || partOfAGrid(w))
            continue;
        ++*checked;
        if (accessibleName(w).trimmed().isEmpty())
            found.append(QStringLiteral("%1 (%2)").arg(
                w->objectName(), QString::fromLatin1(w->metaObject()->className())));
    }
    return found;
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<QWidget> m_owned;

    // Opens the window (or the main window's panels) a row names, in the state
    // in which the operator uses it.
    QWidget* open(const QString& window) {
        ProgramFolder::addSubject(QStringLiteral("S1"), QStringLiteral("Mina"),
                                  QStringLiteral("Karimi"));
        if (window.startsWith(QLatin1String("main"))) {
            Frm1* main = Frm1::showMain();
            if (window == QLatin1String("main: registration"))
                main->Command1->click();
            else if (window == QLatin1String("main: clinic"))
                main->Command67_Click();
            else if (window == QLatin1String("main: themes"))
                main->Command68_Click();
            return main;
        }
        if (window.startsWith(QLatin1String("test"))) {
            FrmTest* test = FrmTest::loaded();
            test->Adodc2->setFilter(QStringLiteral("code"), QStringLiteral("S1"));
            test->Adodc3->setFilter(QStringLiteral("code"), QStringLiteral("S1"));
            test->show();
            if (window == QLatin1String("test: started"))
                test->Command1->click();
            return test;
        }
        if (window == QLatin1String("scoring") || window == QLatin1String("chart")) {
            FrmkLID* scoring = FrmkLID::showWindow();
            m_folder->platform().inputAnswers.enqueue(QStringLiteral("S1"));
            scoring->Command1->click();
            if (window == QLatin1String("scoring"))
                return scoring;
            m_owned = std::make_unique<Frm2>(scoring);
        } else if (window == QLatin1String("code lookup")) {
            m_owned = std::make_unique<FrmCode>();
        } else if (window == QLatin1String("about")) {
            m_owned = std::make_unique<About>();
        } else if (window == QLatin1String("backup")) {
            return Frmbackup::showWindow();
        } else if (window == QLatin1String("exit confirmation")) {
            return exitpro::showWindow();
        } else if (window == QLatin1String("theme confirmation")) {
            return Frmskin::showWindow();
        }
        if (!m_owned)
            return nullptr;
        m_owned->show();
        return m_owned.get();
    }

private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() {
        m_owned.reset();
        m_folder.reset();
    }

    void captionsGiveNames_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("name");
        QTest::newRow("colon and blank before") << QStringLiteral(" :کد") << QStringLiteral("کد");
        QTest::newRow("colon only") << QStringLiteral(":تاريخ") << QStringLiteral("تاريخ");
        QTest::newRow("blank after too") << QStringLiteral(" :نام ") << QStringLiteral("نام");
        QTest::newRow("two words")
            << QStringLiteral(" :نام خانوادگي") << QStringLiteral("نام خانوادگي");
        QTest::newRow("no colon") << QStringLiteral("مشخصات آزمودني")
                                  << QStringLiteral("مشخصات آزمودني");
        QTest::newRow("colon after") << QStringLiteral("راهنما: ") << QStringLiteral("راهنما");
        QTest::newRow("nothing but colon and blanks") << QStringLiteral(" : ") << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void captionsGiveNames() {
        QFETCH(QString, caption);
        QFETCH(QString, name);
        QCOMPARE(nameFromCaption(caption), name);
    }

    void everyControlHasAName_data() {
        QTest::addColumn<QString>("window");
        for (const char* window :
             {"main: menu", "main: registration", "main: clinic", "main: themes", "test: ready",
              "test: started", "scoring", "chart", "code lookup", "backup", "exit confirmation",
              "theme confirmation", "about"})
            QTest::newRow(window) << QString::fromLatin1(window);
    }
    void everyControlHasAName() {
        QFETCH(QString, window);
        QWidget* w = open(window);
        QVERIFY(w);
        QVERIFY(w->isVisible());
        int checked = 0;
        const QStringList missing = unnamed(w, &checked);
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(", "))));
        QVERIFY(checked > 0);
    }

    void namesComeFromTheCaptions_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::newRow("code box") << "main: registration"
                                  << "Text11" << QStringLiteral("کد");
        QTest::newRow("last name box") << "main: registration"
                                       << "Text4" << QStringLiteral("نام خانوادگي");
        QTest::newRow("gender list") << "main: registration"
                                     << "Combo2" << QStringLiteral("جنس");
        QTest::newRow("clinic address") << "main: clinic"
                                        << "Text14" << QStringLiteral("آدرس");
        QTest::newRow("test: education") << "test: started"
                                         << "Text7" << QStringLiteral("ميزان تحصيلات");
        QTest::newRow("scoring: date") << "scoring"
                                       << "Text8" << QStringLiteral("تاريخ");
        QTest::newRow("scoring: first score") << "scoring"
                                              << "Text3(0)" << scaleNumber(1).name;
        QTest::newRow("chart: code") << "chart"
                                     << "Text18" << QStringLiteral("کد");
        QTest::newRow("chart: seventh value") << "chart"
                                              << "Text7" << scaleNumber(7).name;
        QTest::newRow("lookup: last name") << "code lookup"
                                           << "DataCombo1" << QStringLiteral("نام خانوادگي");
        QTest::newRow("lookup: grid") << "code lookup"
                                      << "DataGrid1" << QStringLiteral("مشخصات آزمودني");
        QTest::newRow("exit: confirm") << "exit confirmation"
                                       << "k1Key" << QStringLiteral("خروج");
        QTest::newRow("exit: cancel") << "exit confirmation"
                                      << "C1Key" << QStringLiteral("انصراف");
    }
    void namesComeFromTheCaptions() {
        QFETCH(QString, window);
        QFETCH(QString, control);
        QFETCH(QString, name);
        QWidget* w = open(window);
        QVERIFY(w);
        QWidget* field = w->findChild<QWidget*>(control);
        QVERIFY2(field, qPrintable(control));
        // The grid is read through its table.
        if (auto* grid = field->findChild<QTableView*>())
            field = grid;
        QCOMPARE(accessibleName(field), name);
        // A list typed into names its text part too.
        if (auto* list = qobject_cast<QComboBox*>(field); list && list->lineEdit())
            QCOMPARE(accessibleName(list->lineEdit()), name);
    }

    void windowsAreWindows_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<int>("role");
        for (const char* window :
             {"main: menu", "scoring", "backup", "exit confirmation", "theme confirmation"})
            QTest::newRow(window) << QString::fromLatin1(window) << int(QAccessible::Window);
        for (const char* dialog : {"test: ready", "chart", "code lookup", "about"})
            QTest::newRow(dialog) << QString::fromLatin1(dialog) << int(QAccessible::Dialog);
    }
    // A screen reader announces a window that comes up by its role and title.
    void windowsAreWindows() {
        QFETCH(QString, window);
        QFETCH(int, role);
        QWidget* w = open(window);
        QVERIFY(w);
        QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
        QCOMPARE(int(i->role()), role);
        QCOMPARE(i->text(QAccessible::Name), w->windowTitle());
        QVERIFY(!w->windowTitle().trimmed().isEmpty());
    }

    void aCaptionLabelsItsField() {
        Frm1* main = Frm1::showMain();
        main->Command1->click();
        QCOMPARE(main->Frame10->SkinLbl->buddy(), main->Frame10->Text11);
        // The caption is not changed by naming.
        QCOMPARE(main->Frame10->SkinLbl->text(), QStringLiteral(" :کد"));
    }

    // The notice box is an alert to a screen reader, which reads it out when
    // it appears (Qt announces an alert box as it is shown).
    void noticesAreAlerts() {
        QWidget owner;
        owner.show();
        QAccessible::Role role = QAccessible::NoRole;
        QString name;
        QStringList texts;
        QTimer::singleShot(10, &owner, [&] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box);
            QAccessibleInterface* alert = QAccessible::queryAccessibleInterface(box);
            role = alert->role();
            name = alert->text(QAccessible::Name);
            for (int i = 0; i < alert->childCount(); ++i)
                texts.append(alert->child(i)->text(QAccessible::Name));
        });
        QtPlatform real;
        real.notice(&owner, QStringLiteral("کد آزمودني را وارد کنيد"), 200);
        QCOMPARE(role, QAccessible::AlertMessage);
        QCOMPARE(name, QStringLiteral("پيام"));
        QVERIFY2(texts.contains(QStringLiteral("کد آزمودني را وارد کنيد")),
                 qPrintable(texts.join(QLatin1Char('|'))));
    }
};

VELMORA_TEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
