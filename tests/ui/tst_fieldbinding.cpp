#include "data/DataControl.h"
#include "data/Database.h"
#include "support/ProgramFolder.h"
#include "ui/FieldBinding.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QWidget>
#include <memory>

using namespace velmora;

namespace {
const QString Subjects = QStringLiteral("DBM/DB2.mdb");

// Holds a write lock on the subject file from another connection, as another
// program (or workstation) would, until destroyed.
class WriteLock {
public:
    WriteLock() {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other-program");
        db.setDatabaseName(Database::absoluteFileName(DbFile::Subjects));
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("BEGIN EXCLUSIVE"));
    }
    ~WriteLock() {
        {
            QSqlDatabase db = QSqlDatabase::database("other-program", false);
            QSqlQuery(db).exec("ROLLBACK");
            db.close();
        }
        QSqlDatabase::removeDatabase("other-program");
    }
};
} // namespace

// Line edits and labels bound to a data control's fields: they follow its
// current record, and what is typed into them is what the control stores.
class TestFieldBinding : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<QWidget> m_window;

private slots:
    void init() {
        m_folder = std::make_unique<ProgramFolder>();
        m_window = std::make_unique<QWidget>();
    }
    void cleanup() {
        m_window.reset();
        m_folder.reset();
    }

    void refreshAfterAddNewStoresNothing() {
        DataControl ide("IDE", m_window.get(), "Adodc2");
        QLineEdit code;
        bind(&ide, &code, QStringLiteral("Code"));
        ide.addNew();
        QTest::keyClicks(&code, "pending");
        QCOMPARE(ide.field("Code"), QString("pending"));
        QVERIFY(ide.refresh());
        QCOMPARE(ProgramFolder::value(Subjects, "SELECT COUNT(*) FROM \"IDE\""), QString("0"));
        QVERIFY(code.text().isEmpty());
    }

    void boundWidgetsFollowTheCurrentRecord() {
        ProgramFolder::addSubject("a", "Ann");
        ProgramFolder::addSubject("b", "Bob");
        DataControl ide("IDE", m_window.get(), "Adodc2");
        QLineEdit first;
        QLabel code;
        bind(&ide, &first, QStringLiteral("FName"));
        bind(&ide, &code, QStringLiteral("Code"));
        QCOMPARE(first.text(), QString("Ann"));
        QVERIFY(ide.setFilter("Code", "b"));
        QCOMPARE(first.text(), QString("Bob"));
        QCOMPARE(code.text(), QString("b"));
        ide.addNew();
        QVERIFY(first.text().isEmpty());
        // Typing edits the pending record; update stores it.
        QTest::keyClicks(&first, "Cy");
        ide.setField("Code", "c");
        QCOMPARE(code.text(), QString("c"));
        QVERIFY(ide.update());
        QCOMPARE(ProgramFolder::value(Subjects, "SELECT \"FName\" FROM \"IDE\" WHERE \"Code\"='c'"),
                 QString("Cy"));
        // Binding again moves a widget to another field.
        bind(&ide, &first, QStringLiteral("Code"));
        QCOMPARE(first.text(), QString("c"));
    }

    void editsOfTheCurrentRecordAreStoredByUpdate() {
        ProgramFolder::addSubject("a", "Ann");
        DataControl ide("IDE", m_window.get(), "Adodc3");
        QLineEdit first;
        bind(&ide, &first, QStringLiteral("FName"));
        first.setText("Anna");
        QVERIFY(ide.isDirty());
        QVERIFY(ide.save());
        QVERIFY(!ide.isDirty());
        QCOMPARE(ProgramFolder::value(Subjects, "SELECT \"FName\" FROM \"IDE\""), QString("Anna"));
        // An empty text is stored as the empty text.
        first.clear();
        QVERIFY(ide.save());
        QCOMPARE(
            ProgramFolder::value(Subjects, "SELECT COUNT(*) FROM \"IDE\" WHERE \"FName\" = ''"),
            QString("1"));
    }

    void changesWithNoRecordToHoldThemAreNotReportedAsStored() {
        ProgramFolder::addSubject("a", "Ann");
        DataControl ide("IDE", m_window.get(), "Adodc3");
        QLineEdit first;
        bind(&ide, &first, QStringLiteral("FName"));
        QVERIFY(ide.setFilter("Code", "nobody"));
        QTest::keyClicks(&first, "typed");
        QSignalSpy failures(&ide, &DataControl::failed);
        QVERIFY(!ide.save());
        QCOMPARE(failures.size(), 1);
        // The data layer reports; it never shows a window itself.
        QVERIFY(m_folder->platform().messageTexts().isEmpty());
        QCOMPARE(ProgramFolder::value(Subjects, "SELECT \"FName\" FROM \"IDE\""), QString("Ann"));
    }

    void aLockedFileIsReportedAndTheWindowGoesOn() {
        if (ProgramFolder::onServer())
            QSKIP("a lock on the subject file; the server's row locks are another matter");
        ProgramFolder::addSubject("a", "Ann");
        DataControl ide("IDE", m_window.get(), "Adodc2");
        QLineEdit first;
        bind(&ide, &first, QStringLiteral("FName"));
        first.setText("changed");
        QSignalSpy failures(&ide, &DataControl::failed);
        {
            WriteLock lock;
            QVERIFY(!ide.save());
        }
        QCOMPARE(failures.size(), 1);
        QVERIFY(failures.first().first().toString().contains("DB2.mdb"));
        // Nothing was lost: the change is still pending and stores once the lock is gone.
        QCOMPARE(ide.field("FName"), QString("changed"));
        QVERIFY(ide.save());
        QCOMPARE(ProgramFolder::value(Subjects, "SELECT \"FName\" FROM \"IDE\""),
                 QString("changed"));
    }
};

VELMORA_TEST_MAIN(TestFieldBinding)
#include "tst_fieldbinding.moc"
