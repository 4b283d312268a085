#include "access/Roles.h"

namespace velmora {

namespace Roles {

namespace {

struct Row {
    Action action;
    const char* key;
    const char* name; // UTF-8
    Role least;
};

// Reception registers, looks codes up and starts tests; a clinician also
// sees scores, charts, reports and history and exports them; an admin also
// backs up, restores, sets, manages operators and reads the trail.
const Row Table[] = {
    {Action::ProgramStart, "start", "شروع برنامه", Role::None},
    {Action::ProgramEnd, "end", "پايان برنامه", Role::None},
    {Action::SignIn, "sign-in", "ورود کاربر", Role::None},
    {Action::Lock, "lock", "قفل برنامه", Role::None},
    {Action::Unlock, "unlock", "باز کردن قفل", Role::None},
    {Action::Register, "register", "ثبت نام آزمودني", Role::Reception},
    {Action::LookUp, "lookup", "نمايش کد آزمودني", Role::Reception},
    {Action::LookUpSearch, "lookup-search", "جستجوي کد آزمودني", Role::Reception},
    {Action::LaunchTest, "test", "اجراي تست", Role::Reception},
    {Action::SaveAnswers, "answers", "ذخيره پاسخ", Role::Reception},
    {Action::SaveAndExit, "test-saved", "ذخيره و خروج از تست", Role::Reception},
    {Action::LeaveTest, "test-left", "خروج از تست بدون ذخيره", Role::Reception},
    {Action::Score, "scores", "کليد گذاري", Role::Clinician},
    {Action::Chart, "chart", "رسم نمودار", Role::Clinician},
    {Action::Report, "report", "گزارش", Role::Clinician},
    {Action::PrintReport, "report-print", "چاپ گزارش", Role::Clinician},
    {Action::SaveReportPdf, "report-pdf", "ذخيره گزارش به صورت PDF", Role::Clinician},
    {Action::History, "history", "سوابق آزمون", Role::Clinician},
    {Action::ExportCsv, "export-csv", "خروجي CSV", Role::Clinician},
    {Action::Backup, "backup", "تهيه نسخه پشتيبان", Role::Admin},
    {Action::Restore, "restore", "بازيابي اطلاعات", Role::Admin},
    {Action::Settings, "settings", "تنظيمات", Role::Admin},
    {Action::Operators, "operators", "کاربران", Role::Admin},
    {Action::AuditTrail, "audit", "رويدادنگار", Role::Admin},
    {Action::ExportAudit, "audit-export", "خروجي رويدادنگار", Role::Admin},
    {Action::VerifyAudit, "audit-verify", "بررسي رويدادنگار", Role::Admin},
    {Action::ExportResearch, "export-research", "خروجي پژوهشي", Role::Clinician},
    // Names and codes leave the clinic in it: the one who answers for the
    // data decides.
    {Action::ExportResearchIdentified, "export-research-identified", "خروجي پژوهشي با نام",
     Role::Admin},
    {Action::CorrectSubject, "correct", "اصلاح مشخصات آزمودني", Role::Clinician},
    // Nothing brings the rows back but an earlier backup.
    {Action::EraseSubject, "erase", "حذف اطلاعات آزمودني", Role::Admin},
};

const Row& rowOf(Action action) {
    for (const Row& row : Table)
        if (row.action == action)
            return row;
    return Table[0];
}

} // namespace

QString key(Action action) {
    return QString::fromLatin1(rowOf(action).key);
}

QString name(Action action) {
    return QString::fromUtf8(rowOf(action).name);
}

QString nameOfKey(const QString& key) {
    for (const Row& row : Table)
        if (key == QLatin1String(row.key))
            return QString::fromUtf8(row.name);
    return key;
}

QString outcomeKey(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done:
        return QStringLiteral("done");
    case Outcome::Refused:
        return QStringLiteral("refused");
    case Outcome::Failed:
        return QStringLiteral("failed");
    }
    return QString();
}

QString outcomeName(const QString& key) {
    if (key == QLatin1String("done"))
        return QStringLiteral("انجام شد");
    if (key == QLatin1String("refused"))
        return QStringLiteral("رد شد");
    if (key == QLatin1String("failed"))
        return QStringLiteral("ناموفق");
    return key;
}

Role minimumRole(Action action) {
    return rowOf(action).least;
}

bool mayDo(Role role, Action action) {
    return static_cast<int>(role) >= static_cast<int>(minimumRole(action));
}

QString roleName(Role role) {
    switch (role) {
    case Role::Reception:
        return QStringLiteral("پذيرش");
    case Role::Clinician:
        return QStringLiteral("درمانگر");
    case Role::Admin:
        return QStringLiteral("مدير");
    case Role::None:
        break;
    }
    return QStringLiteral("بدون نقش");
}

QString refusal(Action action, Role role) {
    QString who;
    switch (minimumRole(action)) {
    case Role::Admin:
        who = QStringLiteral("«مدير»");
        break;
    case Role::Clinician:
        who = QStringLiteral("«درمانگر» و «مدير»");
        break;
    default:
        who = QStringLiteral("«پذيرش»، «درمانگر» و «مدير»");
        break;
    }
    if (role == Role::None)
        return QStringLiteral("«%1» فقط کار نقش %2 است و هيچ کاربري وارد نشده است.")
            .arg(name(action), who);
    return QStringLiteral("«%1» فقط کار نقش %2 است. شما با نقش «%3» وارد شده ايد.")
        .arg(name(action), who, roleName(role));
}

} // namespace Roles

} // namespace velmora
