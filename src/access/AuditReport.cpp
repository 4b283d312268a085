#include "access/AuditReport.h"

#include "access/Roles.h"
#include "calendar/SolarCalendar.h"
#include "data/CsvFile.h"

#include <QDateTime>
#include <QDir>

namespace velmora {

namespace AuditReport {

namespace {

// Entries read per query of an export.
constexpr int ExportBlock = 5000;

QDateTime localOf(const QString& utcTime) {
    QDateTime moment = QDateTime::fromString(utcTime, Qt::ISODateWithMs);
    return moment.isValid() ? moment.toLocalTime() : moment;
}

QString anchorWhere(const AuditAnchor& anchor) {
    return QStringLiteral("%1، %2").arg(anchor.place, solarDateOf(anchor.time));
}

} // namespace

bool keptAnchors(QList<AuditAnchor>* anchors, QString* error) {
    return AuditAnchors::kept(anchors, error);
}

AuditVerdict check(QSqlDatabase& db, const QList<AuditAnchor>& anchors,
                   const std::function<bool(qint64)>& progress) {
    return AuditTrail::verify(db, anchors, progress);
}

QString persian(const AuditVerdict& v) {
    const QString entry = QStringLiteral("رويداد %1").arg(v.badSeq);
    const QString when =
        v.badTime.isEmpty()
            ? QString()
            : QStringLiteral(" (%1 %2)").arg(solarDateOf(v.badTime), clockTimeOf(v.badTime));
    switch (v.problem) {
    case AuditVerdict::Problem::None:
        return QStringLiteral("زنجيره رويدادنگار با %1 رويداد سالم است.").arg(v.entries);
    case AuditVerdict::Problem::Changed:
        return entry + when +
               QStringLiteral(": محتوا يا جاي آن در زنجيره با هش آن نمي خواند؛ رويداد تغيير کرده، "
                              "جابجا شده يا رويداد پيش از آن عوض شده است.");
    case AuditVerdict::Problem::Missing:
        return entry + when +
               QStringLiteral(": رويدادهاي پيش از آن (از شماره %1) نيستند؛ حذف شده اند.")
                   .arg(v.entries + 1);
    case AuditVerdict::Problem::Truncated:
        return entry +
               QStringLiteral(": رويدادنگار پس از رويداد %1 تمام مي شود، اما لنگر «%2» رويداد %3 "
                              "را نام مي برد؛ رويدادهاي آخر حذف شده اند يا نسخه اي قديمي تر جاي "
                              "پرونده را گرفته است.")
                   .arg(v.badSeq - 1)
                   .arg(anchorWhere(v.anchor))
                   .arg(v.anchor.seq);
    case AuditVerdict::Problem::Rewritten:
        return entry + when +
               QStringLiteral(": هش آن با لنگر «%1» نمي خواند؛ زنجيره تا اين رويداد از نو ساخته "
                              "شده است.")
                   .arg(anchorWhere(v.anchor));
    case AuditVerdict::Problem::Unreadable:
        return QStringLiteral("رويدادنگار خوانده نشد: ") + v.detail;
    case AuditVerdict::Problem::Stopped:
        return QStringLiteral("بررسي رويدادنگار نيمه کاره ماند.");
    }
    return QString();
}

QString english(const AuditVerdict& v) {
    const QString entry = QStringLiteral("entry %1").arg(v.badSeq);
    const QString when = v.badTime.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(v.badTime);
    switch (v.problem) {
    case AuditVerdict::Problem::None:
        return QStringLiteral("%1 entries, intact").arg(v.entries);
    case AuditVerdict::Problem::Changed:
        return entry + when + QStringLiteral(": does not match its hash (changed or moved)");
    case AuditVerdict::Problem::Missing:
        return entry + when +
               QStringLiteral(": the entries before it, from %1 on, are missing")
                   .arg(v.entries + 1);
    case AuditVerdict::Problem::Truncated:
        return entry + QStringLiteral(": missing; the trail ends at %1 but the anchor in %2 names "
                                      "entry %3 (entries removed, or an older copy put in place)")
                           .arg(v.badSeq - 1)
                           .arg(v.anchor.place)
                           .arg(v.anchor.seq);
    case AuditVerdict::Problem::Rewritten:
        return entry + when +
               QStringLiteral(": its hash differs from the anchor in %1 (the chain was rewritten)")
                   .arg(v.anchor.place);
    case AuditVerdict::Problem::Unreadable:
        return QStringLiteral("the trail could not be read: ") + v.detail;
    case AuditVerdict::Problem::Stopped:
        return QStringLiteral("the check was stopped");
    }
    return QString();
}

QString solarDateOf(const QString& utcTime) {
    const QDateTime local = localOf(utcTime);
    return local.isValid() ? SolarDate(local.date(), 0) : utcTime;
}

QString clockTimeOf(const QString& utcTime) {
    const QDateTime local = localOf(utcTime);
    return local.isValid() ? local.time().toString(QStringLiteral("HH:mm:ss")) : QString();
}

bool dayBound(const QString& solarText, bool until, QString* utcTime) {
    if (solarText.trimmed().isEmpty()) {
        utcTime->clear();
        return true;
    }
    QDate day;
    if (!ParseSolarDate(solarText, &day))
        return false;
    if (until)
        day = day.addDays(1);
    *utcTime = QDateTime(day, QTime(0, 0), Qt::LocalTime).toUTC().toString(Qt::ISODateWithMs);
    return true;
}

QStringList csvHeader() {
    return {QStringLiteral("شماره"), QStringLiteral("زمان (UTC)"), QStringLiteral("تاريخ"),
            QStringLiteral("ساعت"),  QStringLiteral("رايانه"),     QStringLiteral("کاربر"),
            QStringLiteral("کار"),   QStringLiteral("کد آزمودني"), QStringLiteral("نتيجه"),
            QStringLiteral("توضيح"), QStringLiteral("کليد کار"),   QStringLiteral("هش")};
}

QStringList csvRow(const AuditEntry& e) {
    return {QString::number(e.seq),
            e.time,
            solarDateOf(e.time),
            clockTimeOf(e.time),
            e.workstation,
            e.operatorName,
            Roles::nameOfKey(e.action),
            e.code,
            Roles::outcomeName(e.outcome),
            e.detail,
            e.action,
            e.hash};
}

bool exportCsv(QSqlDatabase& db, const QString& path, const AuditTrail::Filter& filter, Order order,
               const std::function<bool(qint64)>& progress,
               const std::function<bool(qint64, QString*)>& beforeCommit, qint64* written,
               QString* error) {
    *written = 0;
    CsvFile file(path);
    if (!file.open(error) || !file.writeRow(csvHeader(), error))
        return false;
    qint64 last = 0;
    for (;;) {
        QList<AuditEntry> block;
        QString why;
        const bool read = order == Order::NewestFirst
                              ? AuditTrail::readBlock(db, filter, last, ExportBlock, &block, &why)
                              : AuditTrail::readAfter(db, last, ExportBlock, &block, &why);
        if (!read) {
            *error = QStringLiteral("رويدادنگار خوانده نشد: ") + why;
            return false;
        }
        for (const AuditEntry& entry : std::as_const(block))
            if (!file.writeRow(csvRow(entry), error))
                return false;
        *written += block.size();
        if (progress && !progress(*written)) {
            file.discard();
            error->clear();
            return false;
        }
        if (block.size() < ExportBlock)
            break;
        last = block.constLast().seq;
    }
    if (beforeCommit && !beforeCommit(*written, error)) {
        file.discard();
        return false;
    }
    return file.commit(error);
}

} // namespace AuditReport

} // namespace velmora
