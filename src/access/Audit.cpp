#include "access/Audit.h"

#include "access/Session.h"
#include "data/AuditTrail.h"
#include "data/DataControl.h"
#include "data/Database.h"
#include "data/SubjectStore.h"

#include <QDateTime>
#include <QSysInfo>

namespace velmora {

namespace Audit {

namespace {

AuditEntry entryOf(Action action, const QString& code, Outcome outcome, const QString& detail) {
    AuditEntry entry;
    entry.time = now();
    entry.workstation = QSysInfo::machineHostName();
    entry.operatorName = Session::actor();
    entry.action = Roles::key(action);
    entry.code = code;
    entry.outcome = Roles::outcomeKey(outcome);
    entry.detail = detail;
    return entry;
}

bool described(bool ok, const QString& detail, QString* error) {
    if (!ok && error)
        *error = unrecordedText() + QStringLiteral("\n\n") +
                 SubjectStore::current().failureMessage(detail);
    return ok;
}

} // namespace

bool record(Action action, const QString& code, Outcome outcome, const QString& detail,
            QString* error) {
    QString why;
    return described(AuditTrail::append(entryOf(action, code, outcome, detail), &why), why, error);
}

bool recordAlone(Action action, const QString& code, Outcome outcome, const QString& detail,
                 QString* error) {
    QString why;
    return described(AuditTrail::appendAlone(entryOf(action, code, outcome, detail), &why), why,
                     error);
}

bool recordAround(Action action, const QString& code, const QString& detail,
                  const std::function<bool()>& act, QString* error) {
    error->clear();
    StoreTransaction transaction;
    if (!transaction.begun()) {
        described(false, transaction.error(), error);
        return false;
    }
    if (!record(action, code, Outcome::Done, detail, error))
        return false;
    if (!act()) {
        transaction.rollback();
        return false;
    }
    if (!transaction.commit()) {
        described(false, transaction.error(), error);
        return false;
    }
    return true;
}

QString unrecordedText() {
    return QStringLiteral("اين کار در رويدادنگار ثبت نشد و بنابراين انجام نشد.");
}

QString now() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

bool keepAnchor(const QString& place, qint64* seq, QString* hash, QString* firstHash,
                QString* error) {
    AuditTrail::Reader reader(QStringLiteral("velmora-audit-anchor"));
    if (!reader.isOpen()) {
        *error = reader.error();
        return false;
    }
    QSqlDatabase db = reader.db();
    return AuditTrail::head(db, seq, hash, error) && AuditTrail::firstHash(db, firstHash, error) &&
           AuditAnchors::keep(*seq, *hash, place, error);
}

} // namespace Audit

} // namespace velmora
