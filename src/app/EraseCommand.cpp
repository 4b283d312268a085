#include "app/EraseCommand.h"

#include "access/Access.h"
#include "app/App.h"
#include "app/CommandLine.h"
#include "app/Terminal.h"
#include "data/SubjectErasure.h"
#include "data/SubjectStore.h"
#include "registry/Erasure.h"

#include <QDir>
#include <QTextStream>

#include <cstdio>

namespace velmora {

namespace {

// A Persian sentence, then the same in plain English.
void say(QTextStream& stream, const QString& persian, const QString& english) {
    stream << persian << '\n' << english << '\n';
    stream.flush();
}

int eraseCommand(const QString& code, bool yes, QTextStream& err) {
    if (!Access::permitCommand(Action::EraseSubject, err))
        return 1;
    SubjectStore& store = SubjectStore::current();
    SubjectErasure::RowCounts held;
    QString error;
    if (!SubjectErasure::countRows(store, code, &held, &error)) {
        say(err, store.failureMessage(error),
            QStringLiteral("The subject store could not be read; nothing was erased."));
        return 1;
    }
    if (SubjectErasure::total(held) == 0) {
        say(err, Erasure::unknownText(code),
            QStringLiteral("No subject has the code '%1'; nothing was erased.").arg(code));
        return 1;
    }
    QTextStream out(stdout);
    const QList<Erasure::KeptBackup> backups =
        Erasure::backupsHolding(QDir::current().absoluteFilePath(QStringLiteral("Back")), code);
    say(out, Erasure::backupsText(backups), Erasure::backupsEnglish(backups));
    if (!yes && !confirmOnTerminal(QStringLiteral("همه اطلاعات اين آزمودني حذف شود؟ Erase every "
                                                  "row of subject '%1' (%2)?")
                                       .arg(code, SubjectErasure::countsText(held)))) {
        say(err, QStringLiteral("حذف تاييد نشد و چيزي حذف نشد."),
            QStringLiteral("Not confirmed: nothing was erased (--yes confirms where no terminal "
                           "can)."));
        return 1;
    }
    QString message;
    switch (Erasure::eraseSubject(code, &message)) {
    case Erasure::Result::Erased:
        say(out, message,
            QStringLiteral("Subject '%1' was erased: no row of it is left in the subject store.")
                .arg(code));
        return 0;
    case Erasure::Result::Unknown:
        say(err, message,
            QStringLiteral("No subject has the code '%1'; nothing was erased.").arg(code));
        return 1;
    case Erasure::Result::Failed:
        break;
    }
    say(err, message,
        QStringLiteral("Subject '%1' was not erased, or not wholly (see above).").arg(code));
    return 1;
}

} // namespace

int runEraseCommand(int argc, char** argv, const CommandLine& command) {
    if (command.eraseSubject.isEmpty())
        return -1;
    return runWithoutWindow(argc, argv, command, [&command](QTextStream& err) {
        return eraseCommand(command.eraseSubject, command.yes, err);
    });
}

} // namespace velmora
