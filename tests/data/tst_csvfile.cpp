#include "data/CsvFile.h"
#include "support/Files.h"
#include "support/Targets.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#ifdef Q_OS_LINUX
#include "support/FileSizeLimit.h"
#include "support/Unprivileged.h"
#endif

using namespace velmora;

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_ASAN
#endif
#endif

namespace {

const QByteArray Bom("\xEF\xBB\xBF");

// Reads a file the way RFC 4180 describes it, strictly, so that anything the
// writer gets wrong shows: a byte-order mark first, every row ended by CRLF,
// no bare CR or LF and no quote outside a quoted field, valid UTF-8.
QList<QStringList> readCsv(const QString& path, QString* error) {
    const QByteArray data = bytesOf(path);
    QList<QStringList> rows;
    auto fail = [&](const QString& why, qsizetype at) {
        *error = QStringLiteral("%1 at byte %2").arg(why).arg(at);
        return QList<QStringList>();
    };
    if (!data.startsWith(Bom))
        return fail(QStringLiteral("no byte-order mark"), 0);
    QStringList row;
    qsizetype at = Bom.size();
    while (at < data.size()) {
        QByteArray field;
        if (data[at] == '"') {
            for (++at;; ++at) {
                if (at >= data.size())
                    return fail(QStringLiteral("unterminated quoted field"), at);
                if (data[at] != '"') {
                    field += data[at];
                } else if (at + 1 < data.size() && data[at + 1] == '"') {
                    field += '"';
                    ++at;
                } else {
                    ++at;
                    break;
                }
            }
        } else {
            for (; at < data.size() && data[at] != ',' && data[at] != '\r'; ++at) {
                if (data[at] == '"' || data[at] == '\n')
                    return fail(QStringLiteral("quote or line feed in an unquoted field"), at);
                field += data[at];
            }
        }
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        row << utf8.decode(field);
        if (utf8.hasError())
            return fail(QStringLiteral("invalid UTF-8"), at);
        if (at < data.size() && data[at] == ',') {
            ++at;
            if (at == data.size())
                return fail(QStringLiteral("last row not ended by CRLF"), at);
        } else if (data.mid(at, 2) == "\r\n") {
            at += 2;
            rows << row;
            row.clear();
        } else {
            return fail(QStringLiteral("field not followed by a comma or CRLF"), at);
        }
    }
    return rows;
}

QString longName() {
    // A Persian name with the characters that need care spread through it.
    QString name;
    const QString piece = QStringLiteral("محمدعلي \"کريمي\", ");
    while (name.size() < 10000)
        name += piece;
    name.truncate(10000);
    return name;
}

mode_t modeOf(const QString& path) {
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

// Starts the peak resident memory of this process afresh from what it holds
// now, so that an earlier test's peak cannot hide this one's.
void resetPeakResident() {
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

// The peak resident memory of this process so far, in kilobytes.
qint64 peakResidentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

// One subject's row as an export writes it: code, names, group, date, seven scores.
QStringList subjectRow(int code) {
    return {QString::number(code), QStringLiteral("زهرا"),      QStringLiteral("احمدي"),
            QStringLiteral("A"),   QStringLiteral("1402/7/15"), QStringLiteral("12"),
            QStringLiteral("7"),   QStringLiteral("9"),         QStringLiteral("15"),
            QStringLiteral("3"),   QStringLiteral("11"),        QStringLiteral("8")};
}

} // namespace

class TestCsvFile : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;

    QString file(const QString& name) const { return m_dir->filePath(name); }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup() {
        QFile::setPermissions(m_dir->path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_dir.reset();
    }

    void cell_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("written");
        QTest::newRow("plain") << "Ali"
                               << "Ali";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("comma") << "a,b"
                               << "\"a,b\"";
        QTest::newRow("quotes") << "say \"hi\""
                                << "\"say \"\"hi\"\"\"";
        QTest::newRow("only a quote") << "\""
                                      << "\"\"\"\"";
        QTest::newRow("line feed") << "a\nb"
                                   << "\"a\nb\"";
        QTest::newRow("carriage return") << "a\rb"
                                         << "\"a\rb\"";
        QTest::newRow("equals") << "=1+2"
                                << "'=1+2";
        QTest::newRow("plus") << "+98 912"
                              << "'+98 912";
        QTest::newRow("minus alone") << "-"
                                     << "'-";
        QTest::newRow("at") << "@SUM(A1)"
                            << "'@SUM(A1)";
        QTest::newRow("tab") << "\t=1"
                             << "'\t=1";
        QTest::newRow("carriage return first") << "\r=1"
                                               << "\"'\r=1\"";
        QTest::newRow("formula with quotes and commas")
            << "=HYPERLINK(\"http://x\",\"y\")"
            << "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"";
        QTest::newRow("equals inside") << "a=b"
                                       << "a=b";
        QTest::newRow("apostrophe first") << "'quoted"
                                          << "'quoted";
        QTest::newRow("Persian") << "علي کريمي"
                                 << "علي کريمي";
    }
    void cell() {
        QFETCH(QString, value);
        QFETCH(QString, written);
        QCOMPARE(CsvFile::cell(value), written);
    }

    // Each value sits between two others, so that a quoting fault shows as a
    // shifted or split field, not only as a changed one.
    void roundTrip_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("readBack");
        const QString name = longName();
        const QList<std::pair<const char*, QString>> survive = {
            {"commas", "a,b,c"},
            {"only a quote", "\""},
            {"quotes and a comma", "say \"hi\", then go"},
            {"CRLF inside", "line\r\nbreak"},
            {"line feed", "line\nfeed"},
            {"carriage return", "carriage\rreturn"},
            {"line break at the end", "trailing\r\n"},
            {"Persian digits", "۰۱۲۳۴۵۶۷۸۹"},
            {"Arabic-Indic digits", "٠١٢٣٤٥٦٧٨٩"},
            {"Persian text with both digits", "کد ۱۲۳، گروه ٤"},
            {"empty", ""},
            {"blanks only", "   "},
            {"apostrophe first", "'already text"},
            {"10,000 characters", name},
        };
        for (const auto& [row, value] : survive)
            QTest::newRow(row) << value << value;
        const QList<std::pair<const char*, QString>> inert = {
            {"equals", "=1+2"},
            {"plus", "+98"},
            {"minus alone", "-"},
            {"negative number", "-12"},
            {"at", "@SUM(A1)"},
            {"tab", "\tx"},
            {"carriage return first", "\r\n=1"},
            {"command", "=cmd|' /C calc'!A0"},
            {"10,000 characters after equals", "=" + name},
        };
        for (const auto& [row, value] : inert)
            QTest::addRow("inert: %s", row) << value << "'" + value;
    }
    void roundTrip() {
        QFETCH(QString, value);
        QFETCH(QString, readBack);
        const QString path = file("out.csv");
        QString error;
        {
            CsvFile csv(path);
            QVERIFY2(csv.open(&error), qPrintable(error));
            QVERIFY(csv.writeRow({"code", "name", "group"}, &error));
            QVERIFY(csv.writeRow({"before", value, "after"}, &error));
            QVERIFY(csv.writeRow({value}, &error));
            QVERIFY2(csv.commit(&error), qPrintable(error));
        }
        const QList<QStringList> rows = readCsv(path, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const QList<QStringList> expected = {
            {"code", "name", "group"}, {"before", readBack, "after"}, {readBack}};
        QCOMPARE(rows, expected);
    }

    void bytesOnDisk() {
        const QString path = file("out.csv");
        QString error;
        CsvFile csv(path);
        QVERIFY(csv.open(&error));
        QVERIFY(csv.writeRow({"کد", "نام"}, &error));
        QVERIFY(csv.writeRow({"1", "a,b", "=x"}, &error));
        QVERIFY(csv.writeRow({}, &error));
        QVERIFY(csv.writeRow({"two\nlines"}, &error));
        QVERIFY(csv.commit(&error));
        QCOMPARE(bytesOf(path), Bom + QStringLiteral("کد,نام\r\n").toUtf8() +
                                    "1,\"a,b\",'=x\r\n\r\n\"two\nlines\"\r\n");
    }

    // The file holds the subjects' names: only its owner may read it, while it
    // is written and afterwards, whatever the umask and whatever file it replaces.
    void ownerOnly_data() {
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("existingMode");
        QTest::newRow("umask 000") << 0000 << -1;
        QTest::newRow("umask 022") << 0022 << -1;
        QTest::newRow("umask 277") << 0277 << -1;
        QTest::newRow("umask 000, replacing a 0666 file") << 0000 << 0666;
    }
    void ownerOnly() {
        QFETCH(int, mask);
        QFETCH(int, existingMode);
        const QString path = file("out.csv");
        if (existingMode >= 0) {
            writeFile(path, "old");
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), existingMode), 0);
        }
        QString error;
        const Umask umask(static_cast<mode_t>(mask));
        CsvFile csv(path);
        QVERIFY(csv.open(&error));
        QVERIFY(csv.writeRow({"x"}, &error));
        const QStringList during = filesIn(m_dir->path()).filter(QStringLiteral(".part"));
        QCOMPARE(during.size(), 1);
        QCOMPARE(modeOf(file(during.first())), mode_t(0600));
        QVERIFY(csv.commit(&error));
        QCOMPARE(modeOf(path), mode_t(0600));
    }

    void aFileAlreadyThereIsReplacedOnlyOnCommit() {
        const QString path = file("out.csv");
        writeFile(path, "the last export");
        QString error;
        CsvFile csv(path);
        QVERIFY(csv.open(&error));
        for (int code = 1; code <= 20000; ++code)
            QVERIFY(csv.writeRow(subjectRow(code), &error));
        QCOMPARE(bytesOf(path), QByteArray("the last export"));
        QVERIFY(csv.commit(&error));
        const QList<QStringList> rows = readCsv(path, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(rows.size(), 20000);
        QCOMPARE(rows.last(), subjectRow(20000));
        QCOMPARE(filesIn(m_dir->path()), QStringList{"out.csv"});
    }

    // 244 bytes of the 255 a file name may have: the temporary name must not
    // need more than the final one.
    void aNameNearTheLengthLimit() {
        const QString path = file(QString(120, QChar(0x0645)) + ".csv");
        QCOMPARE(QFile::encodeName(QFileInfo(path).fileName()).size(), 244);
        QString error;
        CsvFile csv(path);
        QVERIFY2(csv.open(&error), qPrintable(error));
        QVERIFY(csv.writeRow({"x"}, &error));
        QVERIFY2(csv.commit(&error), qPrintable(error));
        QCOMPARE(readCsv(path, &error), QList<QStringList>{QStringList{"x"}});
    }

    void twoWritersOfOneFile() {
        const QString path = file("out.csv");
        QString error;
        CsvFile first(path);
        CsvFile second(path);
        QVERIFY(first.open(&error));
        QVERIFY(second.open(&error));
        QVERIFY(first.writeRow({"first"}, &error));
        QVERIFY(second.writeRow({"second"}, &error));
        QVERIFY(second.commit(&error));
        QVERIFY(first.commit(&error));
        QCOMPARE(readCsv(path, &error), QList<QStringList>{QStringList{"first"}});
        QCOMPARE(filesIn(m_dir->path()), QStringList{"out.csv"});
    }

    void cancelLeavesNoFile_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("existing");
        for (const char* how : {"discard", "destructor", "discard, then commit"}) {
            QTest::addRow("%s", how) << how << false;
            QTest::addRow("%s, a file already there", how) << how << true;
        }
    }
    void cancelLeavesNoFile() {
        QFETCH(QString, how);
        QFETCH(bool, existing);
        const QString path = file("out.csv");
        if (existing)
            writeFile(path, "the last export");
        const QStringList before = filesIn(m_dir->path());
        QString error;
        {
            CsvFile csv(path);
            QVERIFY(csv.open(&error));
            // Several buffers' worth, so part of it is on the disk already.
            for (int code = 1; code <= 5000; ++code)
                QVERIFY(csv.writeRow(subjectRow(code), &error));
            QCOMPARE(filesIn(m_dir->path()).size(), before.size() + 1);
            if (how != QLatin1String("destructor"))
                csv.discard();
            if (how == QLatin1String("discard, then commit")) {
                QVERIFY(!csv.commit(&error));
                QVERIFY(error.contains(QDir::toNativeSeparators(path)));
            }
        }
        QCOMPARE(filesIn(m_dir->path()), before);
        if (existing)
            QCOMPARE(bytesOf(path), QByteArray("the last export"));
    }

    // A file-size limit fails the writes as a full disk does. The small limit
    // is hit only when commit() writes the last buffer, the large one in the
    // middle of the rows.
    void aFullDiskLeavesNoFile_data() {
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("existing");
        for (int limit : {100, 300000}) {
            QTest::addRow("limit %d", limit) << limit << false;
            QTest::addRow("limit %d, a file already there", limit) << limit << true;
        }
    }
    void aFullDiskLeavesNoFile() {
#ifdef Q_OS_LINUX
        QFETCH(int, limit);
        QFETCH(bool, existing);
        const QString path = file("out.csv");
        if (existing)
            writeFile(path, "the last export");
        const QStringList before = filesIn(m_dir->path());
        QString error;
        CsvFile csv(path);
        bool written = true;
        {
            FileSizeLimit sizeLimit(static_cast<rlim_t>(limit));
            QVERIFY(csv.open(&error));
            for (int code = 1; code <= 20000 && written; ++code)
                written = csv.writeRow(subjectRow(code), &error);
            if (written)
                written = csv.commit(&error);
        }
        QVERIFY(!written);
        QVERIFY2(error.contains(QStringLiteral("ديسک پر است")), qPrintable(error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
        QVERIFY2(error.endsWith(QString::fromLocal8Bit(strerror(EFBIG))), qPrintable(error));
        QCOMPARE(filesIn(m_dir->path()), before);
        if (existing)
            QCOMPARE(bytesOf(path), QByteArray("the last export"));
        // The failure stays: nothing more is written, nothing is put in place.
        QString again;
        QVERIFY(!csv.writeRow({"x"}, &again));
        QVERIFY(!csv.commit(&again));
        QCOMPARE(again, error);
        QCOMPARE(filesIn(m_dir->path()), before);
#else
        QSKIP("needs a per-process file size limit");
#endif
    }

    void aPlaceThatCannotTakeTheFile_data() {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("reason");
        QTest::newRow("read-only folder") << "locked/out.csv"
                                          << "اجازه نوشتن در اين پوشه نيست";
        QTest::newRow("missing folder") << "missing/out.csv"
                                        << "اين پوشه وجود ندارد";
        QTest::newRow("a folder under the name") << "out.csv"
                                                 << "پوشه اي با همين نام";
    }
    void aPlaceThatCannotTakeTheFile() {
        QFETCH(QString, where);
        QFETCH(QString, reason);
        QVERIFY(QDir(m_dir->path()).mkpath("locked"));
        QVERIFY(QDir(m_dir->path()).mkpath("out.csv"));
        QVERIFY(QFile::setPermissions(file("locked"), QFile::ReadOwner | QFile::ExeOwner));
        const QString path = file(where);
        QString error;
        bool opened = true;
        {
#ifdef Q_OS_LINUX
            const WithoutPermissionOverride asAnyUser;
#endif
            if (where.startsWith(QLatin1String("locked")) &&
                ::faccessat(AT_FDCWD, QFile::encodeName(file("locked")).constData(), W_OK,
                            AT_EACCESS) == 0)
                QSKIP("this user writes into read-only folders");
            CsvFile csv(path);
            opened = csv.open(&error);
        }
        QVERIFY(!opened);
        QVERIFY2(error.contains(reason), qPrintable(error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
        QVERIFY(filesIn(file("locked")).isEmpty());
        QVERIFY(filesIn(file("out.csv")).isEmpty());
        QVERIFY(filesIn(m_dir->path()).isEmpty());
    }

    // Where the export may be pointed: a device, a folder or a link to nothing
    // is refused and stays as it was (as root, /dev/full once became a file of
    // patient rows); a pipe takes the rows as they come; a link to a file is
    // written through.
    void everyKindOfTarget_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("device node") << "device"
                                     << "refused";
        QTest::newRow("/dev/full") << "/dev/full"
                                   << "refused";
        QTest::newRow("folder") << "folder"
                                << "refused";
        QTest::newRow("dangling link") << "dangling link"
                                       << "refused";
        QTest::newRow("pipe") << "pipe"
                              << "stream";
        QTest::newRow("link to a file") << "link to a file"
                                        << "through";
    }
    void everyKindOfTarget() {
        QFETCH(QString, kind);
        QFETCH(QString, outcome);
        const QString target = makeTarget(kind, m_dir->path(), QStringLiteral("out.csv"));
        if (target.isEmpty())
            QSKIP("this machine does not let the test make such a target");
        const QStringList before = filesIn(m_dir->path());
        std::unique_ptr<PipeReader> reader;
        if (outcome == QLatin1String("stream"))
            reader = std::make_unique<PipeReader>(target);
        QString error;
        bool written = false;
        {
            CsvFile csv(target);
            written = csv.open(&error);
            for (int code = 1; code <= 3000 && written; ++code)
                written = csv.writeRow(subjectRow(code), &error);
            written = written && csv.commit(&error);
        }
        QCOMPARE(filesIn(m_dir->path()), before);
        if (outcome == QLatin1String("refused")) {
            QVERIFY(!written);
            QVERIFY2(error.contains(QDir::toNativeSeparators(target)), qPrintable(error));
            QCOMPARE(targetKind(target), kindBefore(kind));
            return;
        }
        QVERIFY2(written, qPrintable(error));
        if (outcome == QLatin1String("stream")) {
            const QByteArray rows = reader->finish();
            QVERIFY(
                rows.startsWith(QByteArray(Bom + subjectRow(1).join(QLatin1Char(',')).toUtf8())));
            QVERIFY(rows.endsWith(
                QByteArray(subjectRow(3000).join(QLatin1Char(',')).toUtf8() + "\r\n")));
            QCOMPARE(targetKind(target), QStringLiteral("pipe"));
        } else {
            QCOMPARE(targetKind(target), QStringLiteral("link"));
            const QList<QStringList> rows = readCsv(linkedFile(target), &error);
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QCOMPARE(rows.size(), 3000);
        }
    }

    // The rename at the very end can still fail; the rows must not stay behind.
    void aFolderMadeUnderTheNameMeanwhile() {
        const QString path = file("out.csv");
        QString error;
        CsvFile csv(path);
        QVERIFY(csv.open(&error));
        QVERIFY(csv.writeRow(subjectRow(1), &error));
        QVERIFY(QDir(m_dir->path()).mkpath("out.csv/inside"));
        QVERIFY(!csv.commit(&error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
        QCOMPARE(filesIn(m_dir->path()), QStringList());
        QVERIFY(QFileInfo(file("out.csv/inside")).isDir());
    }

    // A clinic's whole subject file goes out in one export; memory must not
    // grow with it.
    void memoryStaysFlatForAMillionRows() {
#if defined(__SANITIZE_ADDRESS__) || defined(VELMORA_ASAN)
        QSKIP("the address sanitizer keeps freed memory on purpose");
#endif
        const QString path = file("out.csv");
        QString error;
        QElapsedTimer timer;
        timer.start();
        CsvFile csv(path);
        QVERIFY(csv.open(&error));
        QVERIFY(csv.writeRow(subjectRow(0), &error));
        resetPeakResident();
        const qint64 before = peakResidentKb();
        QVERIFY(before > 0);
        for (int code = 1; code <= 1000000; ++code)
            if (!csv.writeRow(subjectRow(code), &error))
                QFAIL(qPrintable(error));
        QVERIFY2(csv.commit(&error), qPrintable(error));
        const qint64 growth = peakResidentKb() - before;
        qDebug("%lld ms, peak resident memory grew by %lld kB, file %lld bytes",
               static_cast<long long>(timer.elapsed()), static_cast<long long>(growth),
               static_cast<long long>(QFileInfo(path).size()));
        QVERIFY2(growth < 20 * 1024, qPrintable(QString::number(growth)));
    }
};

QTEST_GUILESS_MAIN(TestCsvFile)
#include "tst_csvfile.moc"
