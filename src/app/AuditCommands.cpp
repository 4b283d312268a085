#include "app/AuditCommands.h"

#include "access/Access.h"
#include "access/Audit.h"
#include "access/AuditReport.h"

#include <QDir>
#include <QTextStream>

namespace velmora {

namespace {

int failed(QTextStream& err, const QString& persian, const QString& english) {
    err << "velmora: " << persian << '\n' << "velmora: " << english << '\n';
    err.flush();
    return 1;
}

} // namespace

int verifyAuditCommand(QTextStream& out, QTextStream& err) {
    if (!Access::permitCommand(Action::VerifyAudit, err))
        return 1;
    QList<AuditAnchor> anchors;
    QString error;
    if (!AuditReport::keptAnchors(&anchors, &error))
        return failed(err, QStringLiteral("لنگرهاي رويدادنگار خوانده نشد: ") + error,
                      QStringLiteral("the anchors could not be read"));
    AuditVerdict verdict;
    {
        AuditTrail::Reader reader(QStringLiteral("velmora-verify"));
        if (!reader.isOpen())
            return failed(err, reader.error(), QStringLiteral("the trail could not be opened"));
        QSqlDatabase db = reader.db();
        verdict = AuditReport::check(db, anchors);
    }
    Audit::record(Action::VerifyAudit, QString(),
                  verdict.intact() ? Outcome::Done : Outcome::Failed,
                  AuditReport::persian(verdict));
    if (verdict.intact()) {
        // A trail found whole is a point worth keeping outside it.
        qint64 seq = 0;
        QString hash, first, ignored;
        Audit::keepAnchor(QStringLiteral("بررسي رويدادنگار"), &seq, &hash, &first, &ignored);
        out << AuditReport::persian(verdict) << " — " << AuditReport::english(verdict) << '\n';
        out.flush();
        return 0;
    }
    return failed(err, AuditReport::persian(verdict), AuditReport::english(verdict));
}

int exportAuditCommand(const QString& file, QTextStream& err) {
    if (!Access::permitCommand(Action::ExportAudit, err))
        return 1;
    const QString path = QDir::current().absoluteFilePath(file);
    AuditTrail::Reader reader(QStringLiteral("velmora-export-audit"));
    if (!reader.isOpen())
        return failed(err, reader.error(), QStringLiteral("the trail could not be opened"));
    QSqlDatabase db = reader.db();
    qint64 written = 0;
    QString error;
    const auto recordIt = [](qint64 count, QString* why) {
        qint64 seq = 0;
        QString hash, first, ignored;
        Audit::keepAnchor(QStringLiteral("خروجي رويدادنگار"), &seq, &hash, &first, &ignored);
        return Audit::record(Action::ExportAudit, QString(), Outcome::Done,
                             QStringLiteral("%1 رويداد").arg(count), why);
    };
    if (AuditReport::exportCsv(db, path, AuditTrail::Filter(), AuditReport::Order::OldestFirst, {},
                               recordIt, &written, &error))
        return 0;
    return failed(err,
                  QStringLiteral("رويدادنگار ذخيره نشد و پرونده اي ساخته نشد:\n%1\n\n%2")
                      .arg(QDir::toNativeSeparators(path), error),
                  QStringLiteral("the audit trail was not exported"));
}

} // namespace velmora
