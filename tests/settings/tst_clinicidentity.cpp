#include "app/Frm1.h"
#include "settings/Frmskin.h"
#include "support/ProgramFolder.h"
#include "ui/SkinLabel.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <memory>

using namespace velmora;

namespace {

const QString Settings = QStringLiteral("DBM/DB.mdb");

// Name and address as stored, with NULL shown as "<null>" (an empty field
// must be stored as the empty text).
QStringList stored() {
    const QList<QStringList> rows = ProgramFolder::rows(
        Settings, QStringLiteral("SELECT COALESCE(\"Name\", '<null>'), "
                                 "COALESCE(\"Adress\", '<null>') FROM \"Theme\""));
    return rows.size() == 1 ? rows.first() : QStringList{QStringLiteral("<rows>")};
}

void store(const QString& name, const QString& address) {
    ProgramFolder::exec(Settings,
                        QStringLiteral("UPDATE \"Theme\" SET \"Name\" = ?, \"Adress\" = ?"),
                        {name, address});
}

void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void click(QWidget* window, const char* name) {
    auto* button = window->findChild<QPushButton*>(QString::fromLatin1(name));
    QVERIFY2(button, name);
    QTest::mouseClick(button, Qt::LeftButton);
}

// Opens the clinic panel through the settings panel, as the operator does.
Frm1* openClinicPanel() {
    Frm1* main = Frm1::showMain();
    click(main, "Command9");
    click(main, "Command67");
    return main;
}

// Replaces the box's text the way the operator does: select all, then type.
void retype(QLineEdit* box, const QString& text) {
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

} // namespace

class TestClinicIdentity : public QObject {
    Q_OBJECT
private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }

    void panelLayout() {
        Frm1* main = openClinicPanel();
        QVERIFY(main->Frame8->isVisible());
        QVERIFY(main->Frame9->isVisible());
        QCOMPARE(main->Frame9->geometry(), QRect(108, 56, 405, 153));
        auto* name = main->Frame9->findChild<SkinLabel*>(QStringLiteral("SkinLabel4"));
        auto* address = main->Frame9->findChild<SkinLabel*>(QStringLiteral("SkinLabel5"));
        QVERIFY(name && address);
        QCOMPARE(name->text(), QStringLiteral(" :نام"));
        QCOMPARE(name->geometry(), QRect(354, 28, 45, 25));
        QCOMPARE(address->text(), QStringLiteral(" :آدرس"));
        QCOMPARE(address->geometry(), QRect(354, 76, 45, 25));
        auto* text2 = main->Frame9->findChild<QLineEdit*>(QStringLiteral("Text2"));
        auto* text14 = main->Frame9->findChild<QLineEdit*>(QStringLiteral("Text14"));
        QVERIFY(text2 && text14);
        QCOMPARE(text2->geometry(), QRect(8, 20, 343, 41));
        QCOMPARE(text14->geometry(), QRect(8, 68, 343, 41));
        QVERIFY(text2->alignment() & Qt::AlignHCenter);
        QVERIFY(text14->alignment() & Qt::AlignHCenter);
        auto* save = main->Frame9->findChild<QPushButton*>(QStringLiteral("Command64"));
        auto* cancel = main->Frame9->findChild<QPushButton*>(QStringLiteral("Command7"));
        QVERIFY(save && cancel);
        QCOMPARE(save->text(), QStringLiteral("ذخيره "));
        QCOMPARE(save->geometry(), QRect(212, 112, 57, 33));
        QCOMPARE(cancel->text(), QStringLiteral("انصراف"));
        QCOMPARE(cancel->geometry(), QRect(140, 112, 57, 33));
    }

    void captionsShowWhole_data() {
        QTest::addColumn<QString>("theme");
        QTest::newRow("plain") << "0";
        for (int n = 1; n <= 11; ++n)
            QTest::newRow(qPrintable(QStringLiteral("theme %1").arg(n))) << QString::number(n);
    }
    void captionsShowWhole() {
        QFETCH(QString, theme);
        ProgramFolder::exec(Settings, "UPDATE \"Theme\" SET \"TH\" = ?", {theme});
        Frm1* main = openClinicPanel();
        QGroupBox* frame = main->Frame9;
        const QString folder = qEnvironmentVariable("VELMORA_PICTURES");
        if (!folder.isEmpty())
            frame->grab().save(folder + QStringLiteral("/clinic-%1.png").arg(theme));
        for (const QString& name : {QStringLiteral("SkinLabel4"), QStringLiteral("SkinLabel5")}) {
            auto* label = frame->findChild<SkinLabel*>(name);
            QVERIFY(label);
            // Inside the frame, clear of its border (at most 2 pixels in any skin).
            QVERIFY2(frame->rect().adjusted(4, 4, -4, -4).contains(label->geometry()),
                     qPrintable(QStringLiteral("%1 at %2, %3, %4 × %5 in a frame %6 wide")
                                    .arg(name)
                                    .arg(label->x())
                                    .arg(label->y())
                                    .arg(label->width())
                                    .arg(label->height())
                                    .arg(frame->width())));
            // Room for the whole caption, and the box beside it left alone.
            const int needed = label->fontMetrics().horizontalAdvance(label->text());
            QVERIFY2(needed <= label->contentsRect().width(),
                     qPrintable(QStringLiteral("%1 needs %2 pixels, has %3")
                                    .arg(name)
                                    .arg(needed)
                                    .arg(label->contentsRect().width())));
        }
        for (const QString& name : {QStringLiteral("Text2"), QStringLiteral("Text14")}) {
            auto* box = frame->findChild<QLineEdit*>(name);
            for (SkinLabel* label : frame->findChildren<SkinLabel*>())
                QVERIFY2(!label->geometry().intersects(box->geometry()),
                         qPrintable(label->objectName() + " covers " + name));
        }
    }

    void titleShowsTheStoredNameAtLoad() {
        store(QStringLiteral("Clinic North"), QStringLiteral("Street 1"));
        Frm1* main = Frm1::showMain();
        QCOMPARE(main->SkinLabel1->text(), QStringLiteral("Clinic North"));
        QCOMPARE(main->Frame9->Text2->text(), QStringLiteral("Clinic North"));
        QCOMPARE(main->Frame9->Text14->text(), QStringLiteral("Street 1"));
    }

    void titleFollowsEveryKeystroke() {
        store(QStringLiteral("Old"), QString());
        Frm1* main = openClinicPanel();
        main->Frame9->Text2->setFocus();
        QTest::keyClick(main->Frame9->Text2, Qt::Key_End);
        QTest::keyClick(main->Frame9->Text2, Qt::Key_Backspace);
        QCOMPARE(main->SkinLabel1->text(), QStringLiteral("Ol"));
        const QString typed = QStringLiteral("ive Tree");
        QString expected = QStringLiteral("Ol");
        for (const QChar c : typed) {
            QTest::keyClicks(main->Frame9->Text2, QString(c));
            expected += c;
            QCOMPARE(main->SkinLabel1->text(), expected);
        }
        // Nothing is stored by typing.
        QCOMPARE(stored().first(), QStringLiteral("Old"));
    }

    void saveStoresNameAndAddress_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::newRow("both") << "Mehr Clinic"
                              << "12 Azadi Street";
        QTest::newRow("empty name") << ""
                                    << "12 Azadi Street";
        QTest::newRow("empty address") << "Mehr Clinic"
                                       << "";
        QTest::newRow("both empty") << ""
                                    << "";
        QTest::newRow("apostrophe and quotes") << "O'Neil \"Care\""
                                               << "Flat 3; DROP TABLE";
        QTest::newRow("blanks kept") << "  Mehr  "
                                     << " a ";
    }
    void saveStoresNameAndAddress() {
        QFETCH(QString, name);
        QFETCH(QString, address);
        store(QStringLiteral("Old name"), QStringLiteral("Old address"));
        Frm1* main = openClinicPanel();
        retype(main->Frame9->Text2, name);
        retype(main->Frame9->Text14, address);
        click(main, "Command64");
        QCOMPARE(stored(), (QStringList{name, address}));
        QVERIFY(!main->Frame9->isVisible());
        QVERIFY(main->Frame8->isVisible());
        QCOMPARE(main->Frame9->Text2->text(), name);
        QCOMPARE(main->Frame9->Text14->text(), address);
        QCOMPARE(main->SkinLabel1->text(), name);
        QVERIFY(m_folder->platform().interactions.isEmpty()); // no message confirms it
        // The theme number is left alone.
        QCOMPARE(ProgramFolder::value(Settings, QStringLiteral("SELECT \"TH\" FROM \"Theme\"")),
                 QStringLiteral("1"));
    }

    void aSavedNameReachesTheNextMainWindow() {
        Frm1* main = openClinicPanel();
        retype(main->Frame9->Text2, QStringLiteral("Clinic East"));
        retype(main->Frame9->Text14, QStringLiteral("Road 5"));
        click(main, "Command64");
        // A theme change creates the main window again.
        click(main, "Command68");
        click(main, "Command52");
        settle();
        QPointer<Frmskin> confirm;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<Frmskin*>(w))
                confirm = f;
        QVERIFY(confirm);
        confirm->k2_Click();
        settle();
        Frm1* again = Frm1::instance();
        QVERIFY(again);
        QCOMPARE(again->SkinLabel1->text(), QStringLiteral("Clinic East"));
        QCOMPARE(again->Frame9->Text14->text(), QStringLiteral("Road 5"));
    }

    void cancelKeepsTheStoredNameAndTheTypedTitle() {
        store(QStringLiteral("Stored"), QStringLiteral("Stored address"));
        Frm1* main = openClinicPanel();
        retype(main->Frame9->Text2, QStringLiteral("Typed"));
        retype(main->Frame9->Text14, QStringLiteral("Typed address"));
        click(main, "Command7");
        QVERIFY(!main->Frame9->isVisible());
        QVERIFY(main->Frame8->isVisible());
        QCOMPARE(stored(),
                 (QStringList{QStringLiteral("Stored"), QStringLiteral("Stored address")}));
        QCOMPARE(main->SkinLabel1->text(), QStringLiteral("Typed"));
        QCOMPARE(main->Frame9->Text2->text(), QStringLiteral("Typed"));
        QCOMPARE(main->Frame9->Text14->text(), QStringLiteral("Typed address"));

        // Closing the panels does not take the typing back either...
        click(main, "Command69");
        QCOMPARE(main->SkinLabel1->text(), QStringLiteral("Typed"));

        // ...but a theme change (a refresh and a new load) does.
        click(main, "Command9");
        click(main, "Command68");
        click(main, "Command45");
        settle();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<Frmskin*>(w))
                f->k2_Click();
        settle();
        Frm1* again = Frm1::instance();
        QVERIFY(again);
        QCOMPARE(again->SkinLabel1->text(), QStringLiteral("Stored"));
        QCOMPARE(again->Frame9->Text2->text(), QStringLiteral("Stored"));
        QCOMPARE(stored(),
                 (QStringList{QStringLiteral("Stored"), QStringLiteral("Stored address")}));
    }

    void aFailedSaveKeepsWhatWasTyped() {
        store(QStringLiteral("Stored"), QString());
        ProgramFolder::exec(Settings,
                            QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON \"Theme\" "
                                           "BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
        Frm1* main = openClinicPanel();
        retype(main->Frame9->Text2, QStringLiteral("New name"));
        click(main, "Command64");
        QCOMPARE(m_folder->platform().messageTexts().size(), 1);
        QCOMPARE(stored().first(), QStringLiteral("Stored"));
        QVERIFY(main->Frame9->isVisible());
        QCOMPARE(main->Frame9->Text2->text(), QStringLiteral("New name"));
        QCOMPARE(main->SkinLabel1->text(), QStringLiteral("New name"));

        // Once the file takes writes again, the same press stores it.
        ProgramFolder::exec(Settings, QStringLiteral("DROP TRIGGER refuse"));
        click(main, "Command64");
        QCOMPARE(stored().first(), QStringLiteral("New name"));
        QVERIFY(!main->Frame9->isVisible());
    }

    void command69ClosesTheClinicPanelWithTheSettings() {
        Frm1* main = openClinicPanel();
        click(main, "Command69");
        QVERIFY(!main->Frame9->isVisible());
        QVERIFY(!main->Frame8->isVisible());
    }

private:
    std::unique_ptr<ProgramFolder> m_folder;
};

VELMORA_TEST_MAIN(TestClinicIdentity)
#include "tst_clinicidentity.moc"
