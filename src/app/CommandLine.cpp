#include "app/CommandLine.h"

#include "data/Operators.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSet>

namespace velmora {

namespace {

// The options Qt's windowing takes for itself, with and without a value.
const QSet<QString>& windowSystemOptionsWithValue() {
    static const QSet<QString> options{
        QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
        QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
        QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
        QStringLiteral("qwindowtitle"),    QStringLiteral("session"),
        QStringLiteral("style"),           QStringLiteral("stylesheet"),
        QStringLiteral("display"),         QStringLiteral("geometry"),
        QStringLiteral("title"),           QStringLiteral("name")};
    return options;
}

const QSet<QString>& windowSystemFlags() {
    static const QSet<QString> flags{QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                                     QStringLiteral("nograb"), QStringLiteral("dograb"),
                                     QStringLiteral("sync")};
    return flags;
}

QStringList withoutWindowSystemOptions(const QStringList& arguments) {
    QStringList kept;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (i > 0 && argument.startsWith('-')) {
            QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
            const int equals = name.indexOf('=');
            const bool joinedValue = equals >= 0;
            if (joinedValue)
                name.truncate(equals);
            if (windowSystemFlags().contains(name))
                continue;
            if (windowSystemOptionsWithValue().contains(name)) {
                if (!joinedValue)
                    ++i;
                continue;
            }
        }
        kept.append(argument);
    }
    return kept;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Velmora: registers subjects, administers and scores the 14-item "
                       "defence-styles questionnaire, and keeps the clinic's records."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption data(
        QStringLiteral("data"),
        QStringLiteral("Keep the subject and settings databases, backups, velmora.conf and the "
                       "single-instance lock in DIR (default: $VELMORA_DATA, else the user's data "
                       "folder). DIR must be yours and closed to other users' writing; what others "
                       "may read in it is made private."),
        QStringLiteral("DIR"));
    parser.addOption(data);
    const QCommandLineOption database(
        QStringLiteral("database"),
        QStringLiteral("Keep the subject tables on the PostgreSQL server named by URL, "
                       "postgresql://[user[:password]@][host][:port]/[dbname][?keyword=value...], "
                       "parts left out as libpq fills them (default: $VELMORA_DATABASE, else "
                       "database= in velmora.conf of the data folder or of /etc/velmora, else "
                       "DBM/DB2.mdb in the data folder). A password written here is hidden from "
                       "the process list once the program has read it, but not before: keep it in "
                       "~/.pgpass, PGPASSWORD or a service file instead."),
        QStringLiteral("URL"));
    parser.addOption(database);
    const QCommandLineOption exportCsv(
        QStringLiteral("export-csv"),
        QStringLiteral(
            "Write every subject and administration to FILE as CSV and end, without a "
            "window (status 0 on success; 128 + the signal when ended by SIGTERM, SIGINT "
            "or SIGHUP, leaving no part of the file). FILE may be a pipe or /dev/stdout; "
            "a folder, a device or a link to nothing is refused."),
        QStringLiteral("FILE"));
    parser.addOption(exportCsv);
    const QCommandLineOption signInAs(
        QStringLiteral("operator"),
        QStringLiteral("Run the command as operator NAME, whose password is read from the "
                       "terminal without echo (or as one line of standard input). Needed once "
                       "operators are set up on the data folder; on a server, NAME logs in."),
        QStringLiteral("NAME"));
    const QCommandLineOption addOperator(
        QStringLiteral("add-operator"),
        QStringLiteral("Add operator NAME with the role given by --role; the new password is read "
                       "as --operator describes. Once an admin exists, every start signs in."),
        QStringLiteral("NAME"));
    const QCommandLineOption role(QStringLiteral("role"),
                                  QStringLiteral("The new operator's role: reception, clinician or "
                                                 "admin."),
                                  QStringLiteral("ROLE"));
    const QCommandLineOption disableOperator(
        QStringLiteral("disable-operator"),
        QStringLiteral("Stop operator NAME from signing in (the last admin stays)."),
        QStringLiteral("NAME"));
    const QCommandLineOption enableOperator(QStringLiteral("enable-operator"),
                                            QStringLiteral("Let operator NAME sign in again."),
                                            QStringLiteral("NAME"));
    const QCommandLineOption resetPassword(
        QStringLiteral("reset-password"),
        QStringLiteral("Give operator NAME a new password, read as --operator describes."),
        QStringLiteral("NAME"));
    const QCommandLineOption listOperators(
        QStringLiteral("list-operators"),
        QStringLiteral("List the operators: name, role, enabled, last sign-in."));
    const QCommandLineOption verifyAudit(
        QStringLiteral("verify-audit"),
        QStringLiteral("Check the whole audit trail and its anchors: status 0 and one line when "
                       "it is intact, status 1 and the first entry that fails otherwise."));
    const QCommandLineOption exportAudit(
        QStringLiteral("export-audit"),
        QStringLiteral("Write the whole audit trail to FILE as CSV (UTF-8 with a byte-order "
                       "mark) and end."),
        QStringLiteral("FILE"));
    for (const QCommandLineOption* option :
         {&signInAs, &addOperator, &role, &disableOperator, &enableOperator, &resetPassword,
          &listOperators, &verifyAudit, &exportAudit})
        parser.addOption(*option);
    const QCommandLineOption exportResearch(
        QStringLiteral("export-research"),
        QStringLiteral("Write every subject to FILE for SPSS (FILE.sav) or Stata (FILE.dta), with "
                       "variable and value labels, and end without a window. Names are left out, "
                       "codes become pseudonyms keyed by the clinic's research key and dates are "
                       "shifted per subject, unless --identified is given."),
        QStringLiteral("FILE"));
    parser.addOption(exportResearch);
    const QCommandLineOption allAdministrations(
        QStringLiteral("all-administrations"),
        QStringLiteral("With --export-research: one row per kept administration, numbered, "
                       "instead of one per subject (its latest)."));
    parser.addOption(allAdministrations);
    const QCommandLineOption identified(
        QStringLiteral("identified"),
        QStringLiteral("With --export-research: keep names, codes and the real dates."));
    parser.addOption(identified);
    const QCommandLineOption researchDates(
        QStringLiteral("research-dates"),
        QStringLiteral("With --export-research: what a pseudonymised file keeps of the dates, "
                       "'shift' (moved back by a fixed number of days per subject, the default) "
                       "or 'year' (the solar year only)."),
        QStringLiteral("shift|year"));
    parser.addOption(researchDates);
    const QCommandLineOption ageBands(
        QStringLiteral("age-bands"),
        QStringLiteral("With --export-research: age in bands of five years (20 for 20 to 24)."));
    parser.addOption(ageBands);
    const QCommandLineOption backup(
        QStringLiteral("backup"),
        QStringLiteral("Write a checked backup of the subject store (file or server) to FILE and "
                       "end, without a window, while the program may be in use. FILE ending in "
                       ".age is sealed with the clinic key (which must be set); any other FILE is "
                       "a plain subject file. Status 0 only when the backup was checked."),
        QStringLiteral("FILE"));
    parser.addOption(backup);
    const QCommandLineOption restore(
        QStringLiteral("restore"),
        QStringLiteral("Replace the subjects with those of the backup FILE (plain or sealed) and "
                       "end, as the backup window's restore does: the same checks, the current "
                       "subjects kept in Back first. A sealed backup asks for the clinic key's "
                       "passphrase or its recovery key (on the terminal without echo, or one line "
                       "of standard input). Asks for confirmation on the terminal; refused while "
                       "the program runs on the same data folder."),
        QStringLiteral("FILE"));
    parser.addOption(restore);
    const QCommandLineOption eraseSubject(
        QStringLiteral("erase-subject"),
        QStringLiteral("Erase every row of the subject with code CODE (registration, answer sheet, "
                       "administrations, code key) from the subject store, file or server, in one "
                       "transaction recorded in the audit trail (code only), and end. An admin's "
                       "command. Prints the backups in Back that still hold the subject, asks for "
                       "confirmation on the terminal, and ends with status 0 only when no row of "
                       "the code is left; 1 when the code is unknown, refused or not erased."),
        QStringLiteral("CODE"));
    parser.addOption(eraseSubject);
    const QCommandLineOption yes(QStringLiteral("yes"),
                                 QStringLiteral("Do not ask for confirmation (--restore, "
                                                "--new-backup-key, --erase-subject)."));
    parser.addOption(yes);
    const QCommandLineOption newBackupKey(
        QStringLiteral("new-backup-key"),
        QStringLiteral("Make the clinic key that seals backups, sealed in the data folder with a "
                       "passphrase typed twice (terminal without echo, or two lines of standard "
                       "input), print its recovery key (AGE-SECRET-KEY-1...) on standard output "
                       "and end. A key already set is replaced (after confirmation): backups "
                       "sealed with it open only with its own recovery key."));
    parser.addOption(newBackupKey);
    const QCommandLineOption backupInto(
        QStringLiteral("backup-into"),
        QStringLiteral("Write a sealed backup named velmora-DATE-TIME.mdbB.age into the existing "
                       "folder DIR, then remove all but the newest --keep such backups there (the "
                       "scheduled backup). Needs the clinic key."),
        QStringLiteral("DIR"));
    parser.addOption(backupInto);
    const QCommandLineOption keep(
        QStringLiteral("keep"),
        QStringLiteral("With --backup-into: how many dated backups to keep (default 14)."),
        QStringLiteral("N"));
    parser.addOption(keep);

    CommandLine result;
    if (!parser.parse(withoutWindowSystemOptions(arguments))) {
        result.action = CommandLine::Action::Error;
        result.message = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.action = CommandLine::Action::Help;
        result.message =
            parser.helpText().replace(QLatin1String("<executable_name>"), QLatin1String("velmora"));
        return result;
    }
    if (parser.isSet(version)) {
        result.action = CommandLine::Action::Version;
        result.message = QCoreApplication::applicationName() + ' ' +
                         QCoreApplication::applicationVersion() + '\n';
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.action = CommandLine::Action::Error;
        result.message = QStringLiteral("Unexpected argument '%1'.")
                             .arg(parser.positionalArguments().constFirst());
        return result;
    }
    const auto refuse = [&result](const QString& message) {
        result.action = CommandLine::Action::Error;
        result.message = message;
        return result;
    };
    if (!parser.isSet(exportResearch)) {
        for (const QCommandLineOption& option :
             {allAdministrations, identified, researchDates, ageBands})
            if (parser.isSet(option))
                return refuse(QStringLiteral("--%1 goes with --export-research.")
                                  .arg(option.names().constFirst()));
    } else {
        if (parser.isSet(exportCsv))
            return refuse(
                QStringLiteral("One export at a time: --export-csv or --export-research."));
        const QString dates = parser.value(researchDates);
        if (parser.isSet(researchDates) && dates != QLatin1String("shift") &&
            dates != QLatin1String("year"))
            return refuse(
                QStringLiteral("--research-dates is 'shift' or 'year', not '%1'.").arg(dates));
        if (parser.isSet(researchDates) && parser.isSet(identified))
            return refuse(QStringLiteral("--identified keeps the real dates; --research-dates "
                                         "is for pseudonymised files."));
        result.exportResearch = QDir::current().absoluteFilePath(parser.value(exportResearch));
        result.allAdministrations = parser.isSet(allAdministrations);
        result.identified = parser.isSet(identified);
        result.datesAsYear = dates == QLatin1String("year");
        result.ageBands = parser.isSet(ageBands);
    }
    result.dataFolder = parser.value(data);
    result.database = parser.value(database);
    // The run moves into the data folder: a relative file is meant from here.
    if (parser.isSet(exportCsv))
        result.exportCsv = QDir::current().absoluteFilePath(parser.value(exportCsv));
    if (parser.isSet(backup))
        result.backup = QDir::current().absoluteFilePath(parser.value(backup));
    if (parser.isSet(restore))
        result.restore = QDir::current().absoluteFilePath(parser.value(restore));
    if (parser.isSet(backupInto))
        result.backupInto = QDir::current().absoluteFilePath(parser.value(backupInto));
    result.newBackupKey = parser.isSet(newBackupKey);
    result.yes = parser.isSet(yes);
    result.signInAs = parser.value(signInAs);
    result.addOperator = parser.value(addOperator);
    result.role = parser.value(role);
    result.disableOperator = parser.value(disableOperator);
    result.enableOperator = parser.value(enableOperator);
    result.resetPassword = parser.value(resetPassword);
    result.listOperators = parser.isSet(listOperators);
    result.verifyAudit = parser.isSet(verifyAudit);
    if (parser.isSet(exportAudit))
        result.exportAudit = QDir::current().absoluteFilePath(parser.value(exportAudit));
    result.eraseSubject = parser.value(eraseSubject);
    if (parser.isSet(eraseSubject) && result.eraseSubject.isEmpty())
        return refuse(QStringLiteral("--erase-subject needs the subject's code."));
    // One command a run: each reads its own secrets from the same input.
    int commands = 0;
    for (const QCommandLineOption* option :
         {&exportCsv, &exportResearch, &addOperator, &disableOperator, &enableOperator,
          &resetPassword, &listOperators, &verifyAudit, &exportAudit, &backup, &restore,
          &backupInto, &newBackupKey, &eraseSubject})
        commands += parser.isSet(*option) ? 1 : 0;
    const auto error = [&result](const QString& text) {
        result.action = CommandLine::Action::Error;
        result.message = text;
        return result;
    };
    if (commands > 1)
        return error(QStringLiteral("Give one command at a time."));
    if (parser.isSet(addOperator) != parser.isSet(role))
        return error(QStringLiteral("--add-operator and --role go together."));
    if (parser.isSet(role) && roleFromKey(result.role) == Role::None)
        return error(QStringLiteral("The role must be reception, clinician or admin."));
    if (parser.isSet(signInAs) && commands == 0)
        return error(QStringLiteral("--operator names who runs a command; give the command too."));
    if (parser.isSet(keep)) {
        bool number = false;
        result.keep = parser.value(keep).toInt(&number);
        if (!parser.isSet(backupInto) || !number || result.keep < 1 || result.keep > 10000) {
            result.action = CommandLine::Action::Error;
            result.message = parser.isSet(backupInto)
                                 ? QStringLiteral("--keep takes a number from 1 to 10000.")
                                 : QStringLiteral("--keep goes with --backup-into.");
            return result;
        }
    }
    return result;
}

} // namespace velmora
