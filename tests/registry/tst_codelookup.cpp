#include "app/Frm1.h"
#include "data/Database.h"
#include "registry/FrmCode.h"
#include "support/ProgramFolder.h"
#include "ui/SkinLabel.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <memory>

using namespace velmora;

namespace {

const QString SubjectDb = QStringLiteral("DBM/DB2.mdb");

// Every row the grid can show, read to the end.
QList<QStringList> gridRows(FrmCode* w) {
    QAbstractItemModel* model = w->DataGrid1->table()->model();
    while (model->canFetchMore(QModelIndex()))
        model->fetchMore(QModelIndex());
    QList<QStringList> rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < model->columnCount(); ++c)
            row.append(model->index(r, c).data().toString());
        rows.append(row);
    }
    return rows;
}

QStringList gridCodes(FrmCode* w) {
    QStringList codes;
    for (const QStringList& row : gridRows(w))
        codes.append(row.first());
    return codes;
}

QStringList listItems(QComboBox* box) {
    QAbstractItemModel* model = box->model();
    while (model->canFetchMore(QModelIndex()))
        model->fetchMore(QModelIndex());
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items.append(box->itemText(i));
    return items;
}

void type(QWidget* widget, const QString& text) {
    for (const QChar c : text)
        QTest::keyClick(widget, c.toLatin1());
}

// The subjects every case starts with: code, first name, last name, group.
const QList<QStringList> Subjects = {
    {"1", "Sara", "Karimi", "A"}, {"2", "Ali", "Karimi", "B"},  {"3", "Sara", "Ahmadi", "B"},
    {"4", "Reza", "Moradi", "C"}, {"5", "Nima", "O'Neil", "B"}, {"6", "Ali", "Ahmadi", "G"},
};

QStringList codesWhere(int column, const QString& value) {
    QStringList codes;
    for (const QStringList& s : Subjects)
        if (s.at(column) == value)
            codes.append(s.first());
    return codes;
}

} // namespace

class TestCodeLookup : public QObject {
    Q_OBJECT

    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<FrmCode> m_window;

    FrmCode* open() {
        m_window = std::make_unique<FrmCode>();
        m_window->show();
        return m_window.get();
    }

private slots:
    void init() {
        m_folder = std::make_unique<ProgramFolder>();
        for (const QStringList& s : Subjects)
            ProgramFolder::addSubject(s.at(0), s.at(1), s.at(2), s.at(3));
    }
    void cleanup() {
        m_window.reset();
        m_folder.reset();
    }

    void openingListsEverySubject() {
        FrmCode* w = open();
        QCOMPARE(w->windowTitle(), QStringLiteral("کد آزمودني"));
        QCOMPARE(gridRows(w), Subjects);
        for (QComboBox* box : {w->DataCombo6, w->DataCombo1, w->Combo3})
            QVERIFY2(box->currentText().isEmpty(), qPrintable(box->objectName()));
        QVERIFY(m_folder->platform().interactions.isEmpty());
    }

    void gridColumns() {
        FrmCode* w = open();
        QCOMPARE(w->DataGrid1->caption()->text(), QStringLiteral("مشخصات آزمودني"));
        const QStringList captions = {QStringLiteral("کد"), QStringLiteral("نام"),
                                      QStringLiteral("نام خانوادگي"), QStringLiteral("گروه")};
        const QList<int> widths = {915, 1515, 1920, 1515};
        QTableView* table = w->DataGrid1->table();
        QCOMPARE(table->model()->columnCount(), 4);
        for (int c = 0; c < 4; ++c) {
            QCOMPARE(table->model()->headerData(c, Qt::Horizontal).toString(), captions.at(c));
            QCOMPARE(table->columnWidth(c), widths.at(c) / 15);
        }
        QCOMPARE(w->DataGrid1->geometry(), QRect(20, 48, 417, 449));
    }

    void labelsStandRightOfTheirBoxes_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("caption");
        QTest::newRow("first name") << "SkinLabel21(1)"
                                    << "DataCombo6" << QStringLiteral(" :نام ");
        QTest::newRow("last name") << "SkinLabel21(0)"
                                   << "DataCombo1" << QStringLiteral(" :نام خانوادگي");
        QTest::newRow("group") << "SkinLabel21(2)"
                               << "Combo3" << QStringLiteral(" :گروه");
    }
    void labelsStandRightOfTheirBoxes() {
        QFETCH(QString, label);
        QFETCH(QString, box);
        QFETCH(QString, caption);
        FrmCode* w = open();
        auto* l = w->findChild<QLabel*>(label);
        auto* b = w->findChild<QComboBox*>(box);
        QVERIFY(l && b);
        QCOMPARE(l->text(), caption);
        QVERIFY(l->geometry().left() >= b->geometry().right());
    }

    void groupListsExactlyThatGroup() {
        FrmCode* w = open();
        type(w->DataCombo1->lineEdit(), QStringLiteral("Karimi"));
        type(w->DataCombo6->lineEdit(), QStringLiteral("Sara"));
        // Pick "B" from the list with the keyboard.
        w->Combo3->setFocus();
        QTest::keyClick(w->Combo3, Qt::Key_Down);
        QTest::keyClick(w->Combo3, Qt::Key_Down);
        QCOMPARE(w->Combo3->currentText(), QStringLiteral("B"));
        QCOMPARE(gridCodes(w), codesWhere(3, "B"));
        QCOMPARE(w->DataCombo1->currentText(), QString());
        QCOMPARE(w->DataCombo6->currentText(), QString());
    }

    void typedGroupSearchesTheSameWay_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("codes");
        QTest::newRow("B") << "B" << codesWhere(3, "B");
        QTest::newRow("G") << "G" << codesWhere(3, "G");
        QTest::newRow("lower case is another text") << "b" << QStringList();
        QTest::newRow("not a group") << "Z" << QStringList();
    }
    void typedGroupSearchesTheSameWay() {
        QFETCH(QString, typed);
        QFETCH(QStringList, codes);
        FrmCode* w = open();
        type(w->Combo3->lineEdit(), typed);
        QCOMPARE(w->Combo3->currentText(), typed);
        QCOMPARE(gridCodes(w), codes);
    }

    // A typed name finds every name that begins with it; the other boxes
    // are emptied, the typed one stays.
    void aTypedLastNameFindsNamesByTheirBeginning() {
        FrmCode* w = open();
        w->Combo3->lineEdit()->setFocus();
        type(w->Combo3->lineEdit(), QStringLiteral("A"));
        type(w->DataCombo6->lineEdit(), QStringLiteral("Nima"));
        type(w->DataCombo1->lineEdit(), QStringLiteral("K"));
        QCOMPARE(gridCodes(w), codesWhere(2, "Karimi"));
        type(w->DataCombo1->lineEdit(), QStringLiteral("arimi"));
        QCOMPARE(gridCodes(w), codesWhere(2, "Karimi"));
        QVERIFY(!w->notFoundLabel->isVisible());
        // Any group; the other boxes are emptied, the last name stays.
        QCOMPARE(w->DataCombo1->currentText(), QStringLiteral("Karimi"));
        QCOMPARE(w->DataCombo6->currentText(), QString());
        QCOMPARE(w->Combo3->currentText(), QString());
        // One letter more than any name has: nobody, and the window says so.
        type(w->DataCombo1->lineEdit(), QStringLiteral("s"));
        QCOMPARE(gridCodes(w), QStringList());
        QVERIFY(w->notFoundLabel->isVisible());
        QCOMPARE(w->notFoundLabel->text(), QStringLiteral("آزمودني اي با اين مشخصات پيدا نشد"));
    }

    void pickingALastNameFromTheList() {
        FrmCode* w = open();
        w->DataCombo1->setFocus();
        QTest::keyClick(w->DataCombo1, Qt::Key_Down);
        QCOMPARE(w->DataCombo1->currentText(), QStringLiteral("Ahmadi"));
        QCOMPARE(gridCodes(w), codesWhere(2, "Ahmadi"));
    }

    void firstNameReplacesTheLastName() {
        FrmCode* w = open();
        type(w->DataCombo1->lineEdit(), QStringLiteral("Karimi"));
        type(w->DataCombo6->lineEdit(), QStringLiteral("Sara"));
        QCOMPARE(gridCodes(w), codesWhere(1, "Sara"));
        QCOMPARE(w->DataCombo6->currentText(), QStringLiteral("Sara"));
        QCOMPARE(w->DataCombo1->currentText(), QString());
        QCOMPARE(w->Combo3->currentText(), QString());
    }

    // Clearing the search brings the whole list back, whichever box it was.
    void emptyingABoxShowsEveryoneAgain_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::newRow("first name") << "DataCombo6"
                                    << "Ali";
        QTest::newRow("last name") << "DataCombo1"
                                   << "Nobody";
        QTest::newRow("group") << "Combo3"
                               << "C";
    }
    void emptyingABoxShowsEveryoneAgain() {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        FrmCode* w = open();
        auto* combo = w->findChild<QComboBox*>(box);
        type(combo->lineEdit(), typed);
        QVERIFY(gridCodes(w).size() < Subjects.size());
        combo->lineEdit()->selectAll();
        QTest::keyClick(combo->lineEdit(), Qt::Key_Backspace);
        QCOMPARE(gridRows(w), Subjects);
        QVERIFY(!w->notFoundLabel->isVisible());
    }

    // Names written with Arabic or Persian yeh and kaf are found whichever way
    // the search is typed, by their beginning; a name picked from the list
    // finds exactly that name.
    void namesAreFoundWhateverTheirYehAndKaf_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("codes");
        const QString arabicYeh = QStringLiteral("مريم");
        const QString persianYeh = QStringLiteral("مریم");
        QTest::newRow("as stored, Persian yeh")
            << "DataCombo6" << persianYeh << QStringList{"P1", "P2", "P4"};
        QTest::newRow("Arabic yeh finds Persian")
            << "DataCombo6" << arabicYeh << QStringList{"P1", "P2", "P4"};
        QTest::newRow("beginning")
            << "DataCombo6" << QStringLiteral("مر") << QStringList{"P3", "P1", "P2", "P4"};
        QTest::newRow("beginning with Arabic yeh")
            << "DataCombo6" << QStringLiteral("مري") << QStringList{"P1", "P2", "P4"};
        QTest::newRow("Arabic kaf finds Persian")
            << "DataCombo1" << QStringLiteral("كريمي") << QStringList{"P1", "P3"};
        QTest::newRow("Persian kaf and yeh find Arabic")
            << "DataCombo1" << QStringLiteral("کریمی") << QStringList{"P1", "P3"};
        QTest::newRow("no such beginning")
            << "DataCombo6" << QStringLiteral("مریمک") << QStringList();
        QTest::newRow("middle of a name") << "DataCombo6" << QStringLiteral("ریم") << QStringList();
    }
    void namesAreFoundWhateverTheirYehAndKaf() {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QStringList, codes);
        // Arabic kaf and yeh in one last name, Persian in another: the same name.
        ProgramFolder::addSubject("P1", QStringLiteral("مریم"), QStringLiteral("کريمي"), "A");
        ProgramFolder::addSubject("P2", QStringLiteral("مريم"), QStringLiteral("رضايي"), "A");
        ProgramFolder::addSubject("P3", QStringLiteral("مرتضی"), QStringLiteral("كریمی"), "B");
        ProgramFolder::addSubject("P4", QStringLiteral("مریم‌السادات"),
                                  QStringLiteral("نوری"), "B");
        FrmCode* w = open();
        auto* combo = w->findChild<QComboBox*>(box);
        combo->lineEdit()->setText(typed);
        // By name, then by registration: "مرتضی" before every "مریم".
        QCOMPARE(gridCodes(w), codes);
        QCOMPARE(w->notFoundLabel->isVisible(), codes.isEmpty());
    }

    void pickingANameFromTheListFindsThatNameAlone() {
        ProgramFolder::addSubject("P1", QStringLiteral("مریم"), "L", "A");
        ProgramFolder::addSubject("P2", QStringLiteral("مریم‌السادات"), "L", "A");
        ProgramFolder::addSubject("P3", QStringLiteral("مريم"), "L", "A");
        FrmCode* w = open();
        const int row = w->DataCombo6->findText(QStringLiteral("مریم"));
        QVERIFY(row >= 0);
        w->DataCombo6->setCurrentIndex(row);
        emit w->DataCombo6->activated(row);
        QCOMPARE(gridCodes(w), QStringList{"P1"});
        QCOMPARE(w->DataCombo6->currentText(), QStringLiteral("مریم"));
    }

    // More matches than one block, many with the same name: every one is
    // listed once, in order, as the grid reads on.
    void aSearchReadsOnAcrossBlocks() {
        const int many = 700;
        QVariantList values;
        QString sql = QStringLiteral("INSERT INTO \"IDE\" (\"Code\", \"FName\", \"LName\", "
                                     "\"Group\") VALUES ");
        for (int i = 0; i < many; ++i) {
            sql += QStringLiteral("%1(?, ?, 'L', 'D')").arg(i ? QStringLiteral(", ") : QString());
            // Three names, two of them the same name written two ways.
            const QString name = i % 3 == 0   ? QStringLiteral("علي")
                                 : i % 3 == 1 ? QStringLiteral("علی")
                                              : QStringLiteral("علیرضا");
            values << QStringLiteral("M%1").arg(i, 4, 10, QLatin1Char('0')) << name;
        }
        ProgramFolder::exec(SubjectDb, sql, values);
        FrmCode* w = open();
        w->DataCombo6->lineEdit()->setText(QStringLiteral("عل"));
        QAbstractItemModel* model = w->DataGrid1->table()->model();
        QVERIFY(model->rowCount() < many);
        QStringList expected;
        for (int i = 0; i < many; ++i)
            if (i % 3 != 2)
                expected.append(QStringLiteral("M%1").arg(i, 4, 10, QLatin1Char('0')));
        for (int i = 2; i < many; i += 3)
            expected.append(QStringLiteral("M%1").arg(i, 4, 10, QLatin1Char('0')));
        QCOMPARE(gridCodes(w), expected);
    }

    // The name searches read along indexes of their own, which the schema
    // check of a restored file knows as the program's.
    void theNameSearchHasItsIndexes() {
        open();
        const QString indexes = ProgramFolder::onServer()
                                    ? QStringLiteral("SELECT indexname FROM pg_indexes WHERE "
                                                     "tablename = 'IDE' ORDER BY indexname")
                                    : QStringLiteral("SELECT name FROM sqlite_master WHERE "
                                                     "type = 'index' AND tbl_name = 'IDE' "
                                                     "ORDER BY name");
        const QList<QStringList> names = ProgramFolder::rows(SubjectDb, indexes);
        QVERIFY(names.contains(QStringList{"IDE_FNameKey"}));
        QVERIFY(names.contains(QStringList{"IDE_LNameKey"}));
        if (!ProgramFolder::onServer()) {
            QString why;
            QVERIFY2(Database::isSoundSubjectDatabase(m_folder->file(SubjectDb), &why),
                     qPrintable(why));
        }
    }

    void apostropheIsJustACharacter() {
        FrmCode* w = open();
        type(w->DataCombo1->lineEdit(), QStringLiteral("O'Neil"));
        QCOMPARE(gridCodes(w), QStringList{"5"});
        type(w->Combo3->lineEdit(), QStringLiteral("'"));
        QCOMPARE(gridCodes(w), QStringList());
        QVERIFY(m_folder->platform().interactions.isEmpty());
    }

    void nameListsOfferEachNameOnce() {
        FrmCode* w = open();
        QCOMPARE(listItems(w->DataCombo1), (QStringList{"Ahmadi", "Karimi", "Moradi", "O'Neil"}));
        QCOMPARE(listItems(w->DataCombo6), (QStringList{"Ali", "Nima", "Reza", "Sara"}));
        QCOMPARE(listItems(w->Combo3),
                 (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
                              QStringLiteral("D"), QStringLiteral("E"), QStringLiteral("F"),
                              QStringLiteral("G")}));
        // A search narrows the grid, not the lists.
        type(w->Combo3->lineEdit(), QStringLiteral("C"));
        QCOMPARE(listItems(w->DataCombo1).size(), 4);
    }

    void manySubjectsAreReadAsNeeded() {
        const int many = 1000;
        QVariantList values;
        QString sql = QStringLiteral("INSERT INTO \"IDE\" (\"Code\", \"FName\", \"LName\", "
                                     "\"Group\") VALUES ");
        for (int i = 0; i < many; ++i) {
            sql += QStringLiteral("%1(?, ?, ?, 'D')").arg(i ? QStringLiteral(", ") : QString());
            values << QStringLiteral("M%1").arg(i, 4, 10, QLatin1Char('0'))
                   << QStringLiteral("F%1").arg(i % 300) << QStringLiteral("L%1").arg(i);
        }
        ProgramFolder::exec(SubjectDb, sql, values);
        FrmCode* w = open();
        // The grid starts with part of the rows and reads on as it scrolls.
        QAbstractItemModel* model = w->DataGrid1->table()->model();
        QVERIFY(model->rowCount() < many);
        w->DataGrid1->table()->scrollToBottom();
        QTRY_VERIFY(model->rowCount() > 256);
        const QStringList codes = gridCodes(w);
        QCOMPARE(codes.size(), Subjects.size() + many);
        QCOMPARE(codes.last(), QStringLiteral("M0999"));

        type(w->Combo3->lineEdit(), QStringLiteral("D"));
        QCOMPARE(gridCodes(w).size(), many);
        QCOMPARE(listItems(w->DataCombo6).size(), 4 + 300);
        QCOMPARE(listItems(w->DataCombo1).size(), 4 + many);
    }

    void subjectsStoredLaterAreNotListed() {
        FrmCode* w = open();
        ProgramFolder::addSubject(QStringLiteral("7"), QStringLiteral("Sara"),
                                  QStringLiteral("Later"), QStringLiteral("B"));
        type(w->Combo3->lineEdit(), QStringLiteral("B"));
        QCOMPARE(gridCodes(w), codesWhere(3, "B"));
    }

    void searchingChangesNoData() {
        const QString dump = QStringLiteral("SELECT * FROM \"IDE\" ORDER BY \"ID\"");
        const QList<QStringList> before = ProgramFolder::rows(SubjectDb, dump);
        FrmCode* w = open();
        type(w->DataCombo1->lineEdit(), QStringLiteral("Karimi"));
        type(w->DataCombo6->lineEdit(), QStringLiteral("Ali"));
        type(w->Combo3->lineEdit(), QStringLiteral("B"));
        QTest::mouseClick(w->Command6, Qt::LeftButton);
        QVERIFY(!w->isVisible());
        QCOMPARE(ProgramFolder::rows(SubjectDb, dump), before);
    }

    void openedModallyFromTheMainWindow() {
        Frm1* main = Frm1::showMain();
        bool seen = false;
        whenModal([&](QWidget* modal) {
            auto* w = qobject_cast<FrmCode*>(modal);
            QVERIFY(w);
            seen = true;
            QCOMPARE(w->objectName(), QStringLiteral("FrmCode"));
            QCOMPARE(gridCodes(w).size(), Subjects.size());
            QTest::mouseClick(w->Command6, Qt::LeftButton);
        });
        QTest::mouseClick(main->Command4, Qt::LeftButton);
        QVERIFY(seen);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(!main->findChild<FrmCode*>());
    }
};

VELMORA_TEST_MAIN(TestCodeLookup)
#include "tst_codelookup.moc"
