// Paths, file names and Latin codes set into Persian text: laid out the way a
// right-to-left message box lays its text out, each keeps its own order whole
// and leaves the Persian words around it where they were.
#include "data/DirectionalText.h"
#include "support/ProgramFolder.h"
#include "ui/FormKit.h"
#include "ui/Twips.h"

#include <QGlyphRun>
#include <QLineEdit>
#include <QTest>
#include <QTextLayout>

using namespace velmora;

namespace {

// The text laid out on one line as a right-to-left label lays it out.
struct Line {
    explicit Line(const QString& text) : layout(text, formFont()) {
        QTextOption option(Qt::AlignRight | Qt::AlignAbsolute);
        option.setTextDirection(Qt::RightToLeft);
        layout.setTextOption(option);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(100000);
        layout.endLayout();
    }
    // Where the glyph of the character at position i is drawn, from the left.
    double x(qsizetype i) const {
        const QList<QGlyphRun> runs = layout.glyphRuns(int(i), 1);
        if (runs.isEmpty() || runs.first().positions().isEmpty())
            qFatal("no glyph for character %d", int(i));
        return runs.first().positions().first().x();
    }
    QTextLayout layout;
};

} // namespace

class TestDirectionalText : public QObject {
    Q_OBJECT

private slots:
    // Every character of the path stands to the right of the one before it:
    // the path reads as written, "/home/clinic1" and not "home/clinic1/".
    void aPathReadsLeftToRightInsidePersianText_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("after");
        QTest::newRow("folder") << QStringLiteral("پوشه اطلاعات برنامه آماده نشد: ")
                                << QStringLiteral("/home/clinic1/.local/share/velmora")
                                << QString();
        QTest::newRow("hidden name") << QStringLiteral("پرونده ") << QStringLiteral(".local")
                                     << QStringLiteral(" وجود دارد");
        QTest::newRow("relative") << QStringLiteral("کار با پرونده انجام نشد: ")
                                  << QStringLiteral("DBM/DB2.mdb") << QStringLiteral(" (قفل)");
        QTest::newRow("ends in a dot")
            << QStringLiteral("فايل ") << QStringLiteral("/tmp/backups/") << QStringLiteral(".");
    }
    void aPathReadsLeftToRightInsidePersianText() {
        QFETCH(QString, before);
        QFETCH(QString, path);
        QFETCH(QString, after);
        const QString text = before + isolatedPath(path) + after;
        const Line line(text);
        const qsizetype first = before.size() + 1; // past the opening isolate
        for (qsizetype i = first + 1; i < first + path.size(); ++i)
            QVERIFY2(line.x(i) > line.x(i - 1),
                     qPrintable(QStringLiteral("%1 then %2").arg(text.at(i - 1), text.at(i))));
        // The Persian words keep their places: the one before on the right of
        // the path, the one after on its left.
        QVERIFY(line.x(0) > line.x(first + path.size() - 1));
        if (!after.trimmed().isEmpty())
            QVERIFY(line.x(text.size() - 1) < line.x(first));
    }

    // A name with Persian words inside it stays one piece: its parts keep
    // their order from left to right.
    void aPersianFileNameStaysWhole() {
        const QString path = QStringLiteral("/home/clinic1/Back/پيش از بازيابي 1403-01-05.mdbB");
        const QString text = QStringLiteral("پايگاه داده در اين فايل نگه داشته شد: ") +
                             isolatedPath(path) + QStringLiteral(" پايان");
        const Line line(text);
        const qsizetype at = text.indexOf(path);
        const qsizetype back = at + path.indexOf(QStringLiteral("Back"));
        const qsizetype words = at + path.indexOf(QStringLiteral("پيش"));
        const qsizetype ending = at + path.indexOf(QStringLiteral(".mdbB"));
        QVERIFY(line.x(at) < line.x(back));
        QVERIFY(line.x(back) < line.x(words));
        QVERIFY(line.x(words) < line.x(ending));
        QVERIFY(line.x(text.indexOf(QStringLiteral("پايان"))) < line.x(at));
    }

    // A crafted file name that turns the text around stays inside its
    // isolate: the words after it read as they would after any name.
    void aNameThatTurnsTextAroundCannotReachOut() {
        const QString name = QStringLiteral("/tmp/") + QChar(0x202E) + QStringLiteral("fdp.exe");
        const QString after = QStringLiteral(" ذخيره شد");
        const QString text = QStringLiteral("گزارش در ") + isolatedPath(name) + after;
        const Line line(text);
        const qsizetype saved = text.indexOf(QStringLiteral("ذخيره"));
        // "ذخيره" then "شد" from right to left, both left of the name.
        QVERIFY(line.x(saved) > line.x(saved + 6));
        QVERIFY(line.x(saved) < line.x(text.indexOf(QStringLiteral("/tmp"))));
    }

    // A code or a server's name takes the direction of its first letter.
    void aCodeTakesItsOwnDirection() {
        const QString code = QStringLiteral("K-17/B");
        const QString text = QStringLiteral("کد ") + isolatedText(code) + QStringLiteral(" ثبت شد");
        const Line line(text);
        const qsizetype at = text.indexOf(code);
        for (qsizetype i = at + 1; i < at + code.size(); ++i)
            QVERIFY(line.x(i) > line.x(i - 1));
        QCOMPARE(isolatedText(code), QChar(0x2068) + code + QChar(0x2069));
        QCOMPARE(isolatedPath(code), QChar(0x2066) + code + QChar(0x2069));
    }

    void aPathBoxShowsThePathFromItsLeftEdge() {
        QWidget window;
        window.setLayoutDirection(Qt::RightToLeft);
        QLineEdit box(&window);
        showPathLeftToRight(&box);
        box.setText(QStringLiteral("/home/clinic1/Back/a.mdbB"));
        QCOMPARE(box.layoutDirection(), Qt::LeftToRight);
        QVERIFY(box.alignment() & Qt::AlignLeft);
        const auto caretX = [&box](int position) {
            box.setCursorPosition(position);
            return box.inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
        };
        QVERIFY(caretX(0) < caretX(5));
        QVERIFY(caretX(0) < box.width() / 4);
    }
};

VELMORA_TEST_MAIN(TestDirectionalText)
#include "tst_directionaltext.moc"
