#include "files/OutputFile.h"
#include "support/CaseFolder.h"
#include "support/Files.h"
#include "support/Targets.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;

namespace {

// The program's own sentence comes first, in Persian.
bool persianSentence(const QString& text) {
    return !text.isEmpty() && text.at(0).unicode() >= 0x0600 && text.at(0).unicode() <= 0x06ff;
}

QByteArray content(int size) {
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char('a' + i % 26);
    return data;
}

// Writes data to path as one writer does: open, write, commit.
bool writeWhole(const QString& path, OutputFile::Streams streams, const QByteArray& data,
                QString* error) {
    OutputFile out(path, streams);
    return out.open(error) && out.write(data.constData(), data.size(), error) && out.commit(error);
}

} // namespace

class TestOutputFile : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;

    QString file(const QString& name) const { return m_dir->filePath(name); }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup() { m_dir.reset(); }

    // One rule for every writer. "refused": nothing written or created, the
    // target as it was, a Persian message naming it; "through": the link stays
    // and the file it leads to gets the bytes; "stream": the bytes flow into
    // the pipe, and no file is made.
    void everyKindOfTarget_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("streams");
        QTest::addColumn<QString>("outcome");
        for (const bool streams : {true, false}) {
            const char* who = streams ? "a writer of streams" : "a backup";
            QTest::addRow("device node, %s", who) << "device" << streams << "refused";
            QTest::addRow("/dev/full, %s", who) << "/dev/full" << streams << "refused";
            QTest::addRow("folder, %s", who) << "folder" << streams << "refused";
            QTest::addRow("dangling link, %s", who) << "dangling link" << streams << "refused";
            QTest::addRow("link to a file, %s", who) << "link to a file" << streams << "through";
            QTest::addRow("pipe, %s", who) << "pipe" << streams << (streams ? "stream" : "refused");
        }
    }
    void everyKindOfTarget() {
        QFETCH(QString, kind);
        QFETCH(bool, streams);
        QFETCH(QString, outcome);
        const QString target = makeTarget(kind, m_dir->path(), QStringLiteral("out.csv"));
        if (target.isEmpty())
            QSKIP("this machine does not let the test make such a target");
        const QStringList before = filesIn(m_dir->path());
        std::unique_ptr<PipeReader> reader;
        if (outcome == QLatin1String("stream"))
            reader = std::make_unique<PipeReader>(target);
        const QByteArray data = content(300000);
        QString error;
        const bool written = writeWhole(
            target, streams ? OutputFile::Streams::WriteThrough : OutputFile::Streams::Refuse, data,
            &error);
        if (outcome == QLatin1String("refused")) {
            QVERIFY(!written);
            QVERIFY2(persianSentence(error), qPrintable(error));
            QVERIFY2(error.contains(QDir::toNativeSeparators(target)), qPrintable(error));
            QCOMPARE(targetKind(target), kindBefore(kind));
        } else if (outcome == QLatin1String("stream")) {
            QVERIFY2(written, qPrintable(error));
            QCOMPARE(reader->finish(), data);
            QCOMPARE(targetKind(target), QStringLiteral("pipe"));
        } else {
            QVERIFY2(written, qPrintable(error));
            QCOMPARE(targetKind(target), QStringLiteral("link"));
            QCOMPARE(bytesOf(linkedFile(target)), data);
            QCOMPARE(fileMode(linkedFile(target)), 0600);
            QCOMPARE(filesIn(QFileInfo(linkedFile(target)).absolutePath()), QStringList{"out.csv"});
        }
        // No part file left anywhere the writer looked.
        QCOMPARE(filesIn(m_dir->path()), before);
    }

    // This process's own output named as a file is a stream: what a shell
    // pipes on (velmora --export-csv /dev/stdout | gzip), never replaced by a
    // file, and refused by a writer that must read back what it wrote.
    void theProgramsOwnOutput_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("streams");
        QTest::newRow("/dev/stdout") << "/dev/stdout" << true;
        QTest::newRow("/dev/fd/1") << "/dev/fd/1" << true;
        QTest::newRow("/dev/stdout, a backup") << "/dev/stdout" << false;
    }
    void theProgramsOwnOutput() {
        QFETCH(QString, name);
        QFETCH(bool, streams);
        // Standard output goes into a pipe for the length of the case.
        int pipeEnds[2];
        QVERIFY(::pipe(pipeEnds) == 0);
        ::fflush(stdout);
        const int saved = ::dup(STDOUT_FILENO);
        QVERIFY(::dup2(pipeEnds[1], STDOUT_FILENO) >= 0);
        ::close(pipeEnds[1]);
        QString error;
        const bool written = writeWhole(
            name, streams ? OutputFile::Streams::WriteThrough : OutputFile::Streams::Refuse,
            QByteArray("rows\r\n"), &error);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        char buffer[64] = {};
        const int flags = ::fcntl(pipeEnds[0], F_GETFL);
        ::fcntl(pipeEnds[0], F_SETFL, flags | O_NONBLOCK);
        const ssize_t got = ::read(pipeEnds[0], buffer, sizeof buffer);
        ::close(pipeEnds[0]);
        if (streams) {
            QVERIFY2(written, qPrintable(error));
            QCOMPARE(QByteArray(buffer, int(got)), QByteArray("rows\r\n"));
        } else {
            QVERIFY(!written);
            QVERIFY2(persianSentence(error), qPrintable(error));
            QVERIFY(got <= 0);
        }
    }

    // A pipe that nobody reads would hold the program for good; it is given
    // up on after a while.
    void aPipeNobodyReads() {
        const QString pipe = makeTarget("pipe", m_dir->path(), QStringLiteral("out.csv"));
        QElapsedTimer clock;
        clock.start();
        QString error;
        QVERIFY(!writeWhole(pipe, OutputFile::Streams::WriteThrough, "x", &error));
        QVERIFY(clock.elapsed() >= OutputFile::ReaderWaitMs);
        QVERIFY(clock.elapsed() < OutputFile::ReaderWaitMs + 3000);
        QVERIFY2(error.contains(QStringLiteral("نمي خواند")), qPrintable(error));
        QCOMPARE(targetKind(pipe), QStringLiteral("pipe"));
    }

    // The reader goes away (gzip killed, head has its lines): the write fails
    // with a message instead of ending the whole program on SIGPIPE.
    void aReaderThatGoesAway() {
        const QString pipe = makeTarget("pipe", m_dir->path(), QStringLiteral("out.csv"));
        std::thread reader([name = QFile::encodeName(pipe)] {
            const int fd = ::open(name.constData(), O_RDONLY);
            char buffer[100];
            [[maybe_unused]] const ssize_t got = ::read(fd, buffer, sizeof buffer);
            ::close(fd);
        });
        QString error;
        OutputFile out(pipe, OutputFile::Streams::WriteThrough);
        QVERIFY2(out.open(&error), qPrintable(error));
        bool ok = true;
        const QByteArray block = content(65536);
        for (int i = 0; i < 200 && ok; ++i)
            ok = out.write(block.constData(), block.size(), &error);
        reader.join();
        QVERIFY(!ok);
        QVERIFY2(error.contains(QStringLiteral("پيش از پايان بسته شد")), qPrintable(error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(pipe)), qPrintable(error));
        QVERIFY(!out.commit(nullptr));
    }

    // The part file: hidden, of a name the clean-up knows, the owner's alone,
    // held while it is written; the target untouched until commit.
    void thePartFile() {
        const QString target = file("report.pdf");
        writeFile(target, "the earlier report");
        const Umask open(0);
        QString error;
        OutputFile out(target, OutputFile::Streams::WriteThrough);
        QVERIFY2(out.open(&error), qPrintable(error));
        const QString part = out.partPath();
        QCOMPARE(QFileInfo(part).absolutePath(), m_dir->path());
        QVERIFY2(QFileInfo(part).fileName().startsWith(".report.pdf."), qPrintable(part));
        QVERIFY(OutputFile::isPartName(QFileInfo(part).fileName()));
        QCOMPARE(fileMode(part), 0600);
        const int other = ::open(QFile::encodeName(part).constData(), O_RDONLY);
        QVERIFY(::flock(other, LOCK_EX | LOCK_NB) != 0);
        ::close(other);
        QVERIFY(out.write("new", 3, &error));
        // Another writer in the same folder meanwhile leaves the live part alone.
        QVERIFY(writeWhole(file("other.csv"), OutputFile::Streams::WriteThrough, "x", &error));
        QVERIFY(QFileInfo::exists(part));
        QCOMPARE(bytesOf(target), QByteArray("the earlier report"));
        QVERIFY2(out.commit(&error), qPrintable(error));
        QCOMPARE(bytesOf(target), QByteArray("new"));
        QCOMPARE(fileMode(target), 0600);
        QCOMPARE(filesIn(m_dir->path()), QStringList({"other.csv", "report.pdf"}));
    }

    // A second writer puts something else under the name while the content
    // is written: the rename at the end must not put the file in its place.
    void theNameTakenMeanwhile_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a pipe") << "pipe";
        QTest::newRow("a device node") << "device";
        QTest::newRow("a folder") << "folder";
    }
    void theNameTakenMeanwhile() {
        QFETCH(QString, kind);
        const QString target = file("out.csv");
        QString error;
        OutputFile out(target, OutputFile::Streams::WriteThrough);
        QVERIFY(out.open(&error));
        QVERIFY(out.write("rows", 4, &error));
        if (makeTarget(kind, m_dir->path(), QStringLiteral("out.csv")).isEmpty())
            QSKIP("this machine does not let the test make such a target");
        QVERIFY(!out.commit(&error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(target)), qPrintable(error));
        QCOMPARE(targetKind(target), kind);
        QCOMPARE(filesIn(m_dir->path()), kind == "folder" ? QStringList() : QStringList{"out.csv"});
    }

    // What killed writers left is removed by the next writer in the folder:
    // this version's names and the earlier ones, with their journals; never
    // a part a live writer holds, another user's, or a name that only looks
    // alike.
    void leftoversAreRemovedByTheNextWriter() {
        const QStringList ours = {".out.csv.0123abcd.part",        ".b.mdbB.89abcdef.part",
                                  ".b.mdbB.89abcdef.part-journal", "b.mdbB.part-deadbeef",
                                  "b.mdbB.part-deadbeef-journal",  ".report.pdf.Ab12Cd",
                                  ".gone.mdbB.00000000.part-wal"};
        const QStringList theirs = {"notes.part",      ".out.csv.part", ".out.csv.0123ABCD.part",
                                    "b.mdbB.part-xyz", ".hidden",       "report.pdf.Ab12Cd"};
        for (const QString& name : ours + theirs)
            writeFile(file(name), "rows");
        const QString held = file(".live.csv.00c0ffee.part");
        writeFile(held, "being written");
        const int fd = ::open(QFile::encodeName(held).constData(), O_RDONLY);
        QVERIFY(::flock(fd, LOCK_EX | LOCK_NB) == 0);
        writeFile(file(".live.csv.00c0ffee.part-journal"), "its journal");
        const QString anothers = file(".their.csv.11111111.part");
        writeFile(anothers, "another user's export");
        QVERIFY(::chown(QFile::encodeName(anothers).constData(), 65534, 65534) == 0);

        QString error;
        QVERIFY2(writeWhole(file("next.csv"), OutputFile::Streams::WriteThrough, "x", &error),
                 qPrintable(error));
        for (const QString& name : ours)
            QVERIFY2(!QFileInfo::exists(file(name)), qPrintable(name));
        for (const QString& name : theirs)
            QVERIFY2(QFileInfo::exists(file(name)), qPrintable(name));
        QVERIFY(QFileInfo::exists(held));
        QVERIFY(QFileInfo::exists(file(".live.csv.00c0ffee.part-journal")));
        QVERIFY(QFileInfo::exists(anothers));
        ::close(fd);
        OutputFile::removeLeftovers(m_dir->path());
        QVERIFY(!QFileInfo::exists(held));
        QVERIFY(!QFileInfo::exists(file(".live.csv.00c0ffee.part-journal")));
    }

    // A process that ends on a signal takes its part files with it.
    void removePartsNowTakesTheLiveParts() {
        QString error;
        OutputFile first(file("a.csv"));
        OutputFile second(file("b.mdbB"));
        QVERIFY(first.open(&error));
        QVERIFY(second.open(&error));
        writeFile(second.partPath() + "-journal", "its journal");
        QCOMPARE(filesIn(m_dir->path()).size(), 3);
        OutputFile::removePartsNow();
        QCOMPARE(filesIn(m_dir->path()), QStringList());
    }

    // The printer's file is written by name: only in a folder nobody else may
    // enter, taken from the runtime folder only when that is private.
    void aPrivateFolder_data() {
        QTest::addColumn<int>("runtimeMode"); // -1: no runtime folder
        QTest::addColumn<bool>("inRuntime");
        QTest::newRow("a private runtime folder") << 0700 << true;
        QTest::newRow("a runtime folder others may write") << 0777 << false;
        QTest::newRow("no runtime folder") << -1 << false;
    }
    void aPrivateFolder() {
        QFETCH(int, runtimeMode);
        QFETCH(bool, inRuntime);
        const QString runtime = file("run");
        const QByteArray before = qgetenv("XDG_RUNTIME_DIR");
        if (runtimeMode >= 0) {
            QVERIFY(QDir().mkpath(runtime));
            QVERIFY(::chmod(QFile::encodeName(runtime).constData(), mode_t(runtimeMode)) == 0);
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        } else {
            qunsetenv("XDG_RUNTIME_DIR");
        }
        QString made;
        {
            const PrivateFolder folder;
            made = folder.path();
            QVERIFY2(folder.isValid(), qPrintable(folder.errorString()));
            QCOMPARE(fileMode(made), 0700);
            QVERIFY(PrivateFolder::isPrivate(made));
            QCOMPARE(QFileInfo(made).absolutePath() == runtime, inRuntime);
            writeFile(folder.filePath("report.pdf"), "pages");
        }
        if (before.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", before);
        QVERIFY(!QFileInfo::exists(made));
    }
};

VELMORA_DATA_TEST_MAIN(TestOutputFile)
#include "tst_outputfile.moc"
