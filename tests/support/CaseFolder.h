#pragma once

#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>
#include <functional>

class QObject;
class QSqlDatabase;

namespace velmora {

// A fresh data folder for one test case: a temporary folder with an empty
// Back folder, made the working directory, with both databases created.
// Everything is undone (connections closed, folder removed) on destruction.
// The data layer's own tests use it alone; the window tests' ProgramFolder
// builds on it.
class CaseFolder {
public:
    explicit CaseFolder(bool openDatabases = true);
    virtual ~CaseFolder();
    CaseFolder(const CaseFolder&) = delete;
    CaseFolder& operator=(const CaseFolder&) = delete;

    QString path() const { return m_dir.path(); }

    // With VELMORA_TEST_STORE=postgresql the subject tables of each case live
    // in a fresh database of the test server (the test command's, or one the
    // program starts), dropped again at the end of the case; the static
    // helpers below then read and write DBM/DB2.mdb there.
    static bool onServer();
    static QString caseDatabase();
    QString file(const QString& relative) const;

    // Direct SQL against a database file of this folder (for fixtures and for
    // reading back what the program stored). Values are bound, in order.
    static void exec(const QString& dbFile, const QString& sql, const QVariantList& values = {});
    static QList<QStringList> rows(const QString& dbFile, const QString& sql,
                                   const QVariantList& values = {});
    static QString value(const QString& dbFile, const QString& sql,
                         const QVariantList& values = {});
    // Runs work on a connection of its own to the subject store of the case
    // (the file, or the case's database on the server), for fixtures too
    // large for exec().
    static void withSubjects(const std::function<void(QSqlDatabase&)>& work);
    // An SQL expression for the kind of value a subject column holds, as
    // SQLite's typeof names it ("null", "text", ...), on either store.
    static QString typeOf(const QString& quotedColumn);
    // Makes every insert into a subject table fail with message from now on
    // (a disk that is full for that table), on either store.
    static void refuseInserts(const QString& table, const QString& message);
    // Takes refuseInserts back.
    static void allowInserts(const QString& table);

    // Adds a registered subject (IDE row and empty answer sheet) directly.
    static void addSubject(const QString& code, const QString& firstName = QStringLiteral("F"),
                           const QString& lastName = QStringLiteral("L"),
                           const QString& group = QStringLiteral("A"));
    // The stored answer of item (1..14) on a subject's sheet.
    static QString storedAnswer(const QString& code, int item);
    // Sets answers of a subject's sheet: answers[i] is item i+1 ("" unanswered).
    static void setAnswers(const QString& code, const QStringList& answers);
    // Adds a kept administration of a subject directly (answers as above).
    static void addAdministration(const QString& code, const QString& date, const QString& time,
                                  const QStringList& answers);

private:
    QTemporaryDir m_dir;
    QString m_previousDir;
};

// A test main for tests of the layers below the windows: no widgets, no
// platform, no program start-up.
int runDataTest(int argc, char** argv, QObject* test);

#define VELMORA_DATA_TEST_MAIN(TestClass)                                                          \
    int main(int argc, char** argv) {                                                              \
        TestClass test;                                                                            \
        return velmora::runDataTest(argc, argv, &test);                                            \
    }

} // namespace velmora
