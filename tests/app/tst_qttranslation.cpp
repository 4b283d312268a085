// Qt's own dialogs in Persian: the translation is read from Qt's translation
// folder at start-up, and a missing or damaged one leaves English dialogs and
// a program that runs.
#include "app/App.h"
#include "app/Frm1.h"
#include "app/QtTranslation.h"
#include "support/ProgramFolder.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <memory>

using namespace velmora;

namespace {

QString systemCatalogue() {
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_fa.qm");
}

// The text Qt gives the cancel button of its standard dialogs.
QString cancelText() {
    QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    return box.button(QDialogButtonBox::Cancel)->text();
}

} // namespace

class TestQtTranslation : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;

private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() {
        m_folder.reset();
        removeQtTranslation(*QCoreApplication::instance());
    }

    void theStartUpInstallsIt() {
        if (!QFile::exists(systemCatalogue()))
            QSKIP("Qt's Persian translation (qt6-translations-l10n) is not installed");
        QCOMPARE(cancelText(), QStringLiteral("Cancel")); // the kit takes it out
        prepareApplication(*qApp);
        QVERIFY(cancelText() != QStringLiteral("Cancel"));
        QVERIFY(cancelText().isRightToLeft());
    }

    void standardButtonsSpeakPersian() {
        if (!QFile::exists(systemCatalogue()))
            QSKIP("Qt's Persian translation (qt6-translations-l10n) is not installed");
        QTranslator* translator = installQtTranslation(*QCoreApplication::instance());
        QVERIFY(translator);
        const QString persian = translator->translate("QPlatformTheme", "Cancel");
        QVERIFY(!persian.isEmpty());
        QVERIFY(persian.isRightToLeft());
        QCOMPARE(cancelText(), persian);
        // Installing again replaces the translation rather than stacking a second.
        QTranslator* again = installQtTranslation(*QCoreApplication::instance());
        QVERIFY(again);
        QCOMPARE(QCoreApplication::instance()->findChildren<QTranslator*>().size(), 1);
        QCOMPARE(cancelText(), persian);
    }

    void withoutTheTranslationTheProgramRunsInEnglish_data() {
        QTest::addColumn<QByteArray>("catalogue"); // content of qtbase_fa.qm; null: no file
        QTest::newRow("no translation") << QByteArray();
        QTest::newRow("damaged file") << QByteArray("not a Qt translation\n").repeated(40);
        QTest::newRow("empty file") << QByteArray("");
    }
    void withoutTheTranslationTheProgramRunsInEnglish() {
        QFETCH(QByteArray, catalogue);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        if (!catalogue.isNull()) {
            QFile file(folder.filePath(QStringLiteral("qtbase_fa.qm")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(catalogue);
        }
        // A translation installed earlier goes, whatever replaces it.
        if (QFile::exists(systemCatalogue()))
            QVERIFY(installQtTranslation(*QCoreApplication::instance()));
        QVERIFY(!installQtTranslation(*QCoreApplication::instance(), folder.path()));
        QVERIFY(QCoreApplication::instance()->findChildren<QTranslator*>().isEmpty());
        QCOMPARE(cancelText(), QStringLiteral("Cancel"));

        QVERIFY(startVelmora());
        QVERIFY(Frm1::instance() && Frm1::instance()->isVisible());
    }
};

VELMORA_TEST_MAIN(TestQtTranslation)
#include "tst_qttranslation.moc"
