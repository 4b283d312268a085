#include "data/CodeKeys.h"
#include "data/Database.h"
#include "data/SubjectStore.h"
#include "support/CaseFolder.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

using namespace velmora;

namespace {
const QString Subjects = QStringLiteral("DBM/DB2.mdb");
// Written with escapes: the differences are invisible or nearly so.
const QString AliPersian = QStringLiteral("\u0639\u0644\u06CC");
const QString AliArabic = QStringLiteral("\u0639\u0644\u064A");
} // namespace

// Codes that read the same, and the table that finds them.
class TestCodeKeys : public QObject {
    Q_OBJECT

private slots:
    void readTheSame_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("right-to-left marks") << "12" << QStringLiteral("\u200F12\u200F") << true;
        QTest::newRow("left-to-right mark and Arabic letter mark")
            << "12" << QStringLiteral("\u200E1\u061C2") << true;
        QTest::newRow("embeddings and isolates")
            << "12" << QStringLiteral("\u202B\u20671\u2069\u202C2\u202E") << true;
        QTest::newRow("zero-width characters")
            << "AB12" << QStringLiteral("\uFEFFA\u200BB\u200C1\u200D2\u2060") << true;
        QTest::newRow("soft hyphen and variation selector")
            << "AB" << QStringLiteral("A\u00ADB\uFE0F") << true;
        QTest::newRow("Arabic yeh") << AliPersian << AliArabic << true;
        QTest::newRow("alef maksura") << AliPersian << QStringLiteral("\u0639\u0644\u0649") << true;
        QTest::newRow("Arabic kaf")
            << QStringLiteral("\u06A9-1") << QStringLiteral("\u0643-1") << true;
        QTest::newRow("Persian and Arabic-Indic digits")
            << QStringLiteral("\u06F1\u06F2") << QStringLiteral("\u0661\u0662") << true;
        QTest::newRow("Persian digits and 0 to 9")
            << QStringLiteral("\u06F1\u06F2") << "12" << true;
        QTest::newRow("everything at once")
            << QStringLiteral("\u06A9\u0644\u06CC-12")
            << QStringLiteral("\u202B\u0643\u0644\u064A\u200C-\u06F1\u0662\u202C") << true;
        QTest::newRow("letter case") << "ab"
                                     << "AB" << false;
        QTest::newRow("blanks") << "ab"
                                << "ab " << false;
        QTest::newRow("another digit") << "12" << QStringLiteral("\u06F1\u06F3") << false;
        QTest::newRow("a letter more") << AliPersian << AliPersian + QChar(0x06CC) << false;
        // Seen, although formatting characters: an Arabic number sign.
        QTest::newRow("number sign") << "12" << QStringLiteral("\u060012") << false;
    }
    void readTheSame() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QCOMPARE(codeKey(a) == codeKey(b), same);
        QVERIFY(!codeKey(a).isNull());
    }

    void anOlderFileGetsTheKeysOfAllItsSubjectsOnce() {
        CaseFolder folder;
        // Subjects of an older file, stored without keys.
        for (int i = 1; i <= 10; ++i)
            CaseFolder::addSubject(QStringLiteral("S-%1").arg(i));
        CaseFolder::addSubject(AliArabic);
        QString stored, error;
        QVERIFY2(CodeKeys::findLookAlike(AliPersian, &stored, &error), qPrintable(error));
        QCOMPARE(stored, AliArabic);
        QCOMPARE(CaseFolder::value(Subjects, "SELECT COUNT(*) FROM \"CodeKey\""), QString("11"));
        QCOMPARE(CaseFolder::value(Subjects, "SELECT COUNT(*) FROM \"CodeKey\" JOIN \"IDE\" "
                                             "USING (\"ID\")"),
                 QString("11"));

        // Subjects stored later by other means are found as well.
        CaseFolder::addSubject(QStringLiteral("\u06A9-7"));
        QVERIFY(CodeKeys::findLookAlike(QStringLiteral("\u0643-7"), &stored, &error));
        QCOMPARE(stored, QStringLiteral("\u06A9-7"));
        QCOMPARE(CaseFolder::value(Subjects, "SELECT COUNT(*) FROM \"CodeKey\""), QString("12"));

        // The code itself, and a code nobody has, find nothing.
        QVERIFY(CodeKeys::findLookAlike(AliArabic, &stored, &error));
        QCOMPARE(stored, QString());
        QVERIFY(CodeKeys::findLookAlike(QStringLiteral("S-11"), &stored, &error));
        QCOMPARE(stored, QString());
    }

    // Keys are not drawn in the order registrations are stored (two
    // workstations at once, another program choosing its own number): a
    // subject stored under a number below the last key still gets its key
    // before the next look-alike check.
    void aSubjectStoredBelowTheLastKeyIsFound() {
        CaseFolder folder;
        for (int i = 1; i <= 5; ++i)
            CaseFolder::addSubject(QStringLiteral("S-%1").arg(i));
        QString stored, error;
        QVERIFY2(CodeKeys::findLookAlike(QStringLiteral("S-9"), &stored, &error),
                 qPrintable(error));
        CaseFolder::exec(Subjects, "DELETE FROM \"IDE\" WHERE \"ID\" = 3");
        CaseFolder::exec(Subjects, "INSERT INTO \"IDE\" (\"ID\", \"Code\") VALUES (3, ?)",
                         {QStringLiteral("\u06A9-3")});
        QVERIFY2(CodeKeys::findLookAlike(QStringLiteral("\u0643-3"), &stored, &error),
                 qPrintable(error));
        QCOMPARE(stored, QStringLiteral("\u06A9-3"));
        // So is a code changed by another program.
        CaseFolder::exec(Subjects, "UPDATE \"IDE\" SET \"Code\" = ? WHERE \"ID\" = 4", {AliArabic});
        QVERIFY(CodeKeys::findLookAlike(AliPersian, &stored, &error));
        QCOMPARE(stored, AliArabic);
        QCOMPARE(
            CaseFolder::value(Subjects, "SELECT COUNT(*) FROM \"CodeKey\" WHERE \"Key\" IS NULL"),
            QString("0"));
    }

    // A file whose keys an earlier version kept (and could leave out) gets
    // every key once, when it is opened.
    void anEarlierVersionsKeysAreMadeAgainWhole() {
        if (CaseFolder::onServer())
            QSKIP("the file's form of the keys");
        CaseFolder folder;
        for (int i = 1; i <= 6; ++i)
            CaseFolder::addSubject(QStringLiteral("S-%1").arg(i));
        CaseFolder::addSubject(AliArabic);
        Database::closeAll();
        for (const char* sql :
             {"DROP TRIGGER \"IDE_CodeKey_Insert\"", "DROP TRIGGER \"IDE_CodeKey_Update\"",
              "DROP TABLE \"CodeKey\"",
              "CREATE TABLE \"CodeKey\" (\"ID\" INTEGER PRIMARY KEY, \"Key\" TEXT NOT NULL)",
              "CREATE INDEX \"CodeKey_Key\" ON \"CodeKey\" (\"Key\")",
              "INSERT INTO \"CodeKey\" VALUES (6, 'S-6')"})
            CaseFolder::exec(Subjects, QString::fromLatin1(sql));
        QString error;
        QVERIFY2(Database::openAll(&error), qPrintable(error));
        QCOMPARE(CaseFolder::value(Subjects, "SELECT COUNT(*) FROM \"CodeKey\""), QString("7"));
        QString stored;
        QVERIFY(CodeKeys::findLookAlike(AliPersian, &stored, &error));
        QCOMPARE(stored, AliArabic);
        QVERIFY2(Database::isSoundSubjectDatabase(Subjects, &error), qPrintable(error));
    }

    void aKeyIsFoundThroughItsIndex() {
        if (CaseFolder::onServer())
            QSKIP("the file's query plan");
        CaseFolder folder;
        QString error;
        QVERIFY(CodeKeys::fillMissing(SubjectStore::current(), &error));
        QSqlQuery plan(Database::connection(DbFile::Subjects));
        QVERIFY(plan.exec("EXPLAIN QUERY PLAN SELECT \"IDE\".\"Code\" FROM \"CodeKey\" JOIN "
                          "\"IDE\" ON \"IDE\".\"ID\" = \"CodeKey\".\"ID\" WHERE "
                          "\"CodeKey\".\"Key\" = 'x'"));
        QStringList steps;
        while (plan.next())
            steps.append(plan.value(3).toString());
        QVERIFY2(
            steps.join('\n').contains(QRegularExpression("USING (COVERING )?INDEX CodeKey_Key")),
            qPrintable(steps.join('\n')));
    }

    void aFileOtherProgramsHoldIsReported() {
        if (CaseFolder::onServer())
            QSKIP("a lock on the subject file");
        CaseFolder folder;
        CaseFolder::addSubject(QStringLiteral("a"));
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other-program");
        other.setDatabaseName(Database::absoluteFileName(DbFile::Subjects));
        QVERIFY(other.open());
        QSqlQuery lock(other);
        QVERIFY(lock.exec("BEGIN EXCLUSIVE"));
        QString stored = "<unset>", error;
        QVERIFY(!CodeKeys::findLookAlike(QStringLiteral("a"), &stored, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(lock.exec("ROLLBACK"));
        lock.finish();
        other.close();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase("other-program");
        // Nothing half done: the next look-up adds the keys and answers.
        QVERIFY(CodeKeys::findLookAlike(QStringLiteral("\u200Ea"), &stored, &error));
        QCOMPARE(stored, QStringLiteral("a"));
    }
};

VELMORA_DATA_TEST_MAIN(TestCodeKeys)
#include "tst_codekeys.moc"
