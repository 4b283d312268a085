#include "calendar/SolarCalendar.h"

#include <algorithm>
#include <array>

namespace velmora {

namespace {

constexpr int BaseYear = 1332;
constexpr int AnchorYear = 1309;
constexpr int LastDayOfFirstHalf = 185; // 6 months of 31 days: days 0..185
constexpr int FirstDayOfSecondHalf = 186;

const QDate Epoch(1953, 3, 21);

// Month names, month 1 first.
const QString MonthNames[12] = {
    QStringLiteral("فروردين"), QStringLiteral("ارديبهشت"), QStringLiteral("خرداد"),
    QStringLiteral("تير"),     QStringLiteral("مرداد"),    QStringLiteral("شهريور"),
    QStringLiteral("مهر"),     QStringLiteral("آبان"),     QStringLiteral("آذر"),
    QStringLiteral("دي"),      QStringLiteral("بهمن"),     QStringLiteral("اسفند")};

// Weekday names, Sunday first.
const QString WeekdayNames[7] = {QStringLiteral("يکشنبه"),  QStringLiteral("دوشنبه"),
                                 QStringLiteral("سه شنبه"), QStringLiteral("چهارشنبه"),
                                 QStringLiteral("پنجشنبه"), QStringLiteral("جمعه"),
                                 QStringLiteral("شنبه")};

QString twoDigits(int n) {
    return QString::number(n).rightJustified(2, QLatin1Char('0'));
}

} // namespace

bool IsSolarLeapYear(int yearOffset) {
    const int n = BaseYear + yearOffset - AnchorYear;
    const int r = n % 32 - n / 32;
    return r % 4 == 0;
}

namespace {

// The years whose first day is looked up rather than counted to: a research
// export converts two dates a row, a million rows at a time.
constexpr int TabledYears = 700;

// The day counts of 1 Farvardin of the years 1332 .. 1332 + TabledYears.
const std::array<qint64, TabledYears + 1>& yearStarts() {
    static const std::array<qint64, TabledYears + 1> starts = [] {
        std::array<qint64, TabledYears + 1> days{};
        for (int y = 0; y < TabledYears; ++y)
            days[size_t(y) + 1] = days[size_t(y)] + (IsSolarLeapYear(y) ? 366 : 365);
        return days;
    }();
    return starts;
}

} // namespace

bool DaysToSolar(qint64 dayCount, SolarDay* result) {
    if (dayCount < 0)
        return false;
    int y = 0;
    const auto& starts = yearStarts();
    if (dayCount < starts.back()) {
        y = int(std::upper_bound(starts.begin(), starts.end(), dayCount) - starts.begin()) - 1;
        dayCount -= starts[size_t(y)];
    } else {
        y = TabledYears;
        dayCount -= starts.back();
    }
    for (;;) {
        const int length = IsSolarLeapYear(y) ? 366 : 365;
        if (dayCount - length < 0)
            break;
        dayCount -= length;
        ++y;
    }
    const int d = static_cast<int>(dayCount);
    result->year = BaseYear + y;
    if (d <= LastDayOfFirstHalf) {
        result->month = d / 31 + 1;
        result->day = d % 31 + 1;
    } else {
        const int e = d - FirstDayOfSecondHalf;
        result->month = e / 30 + 7;
        result->day = e % 30 + 1;
    }
    return true;
}

bool SolarToDate(int year, int month, int day, QDate* date) {
    if (year < BaseYear || year > BaseYear + 9999 || month < 1 || month > 12 || day < 1)
        return false;
    const int yearOffset = year - BaseYear;
    const int monthLength =
        month <= 6 ? 31 : (month <= 11 ? 30 : (IsSolarLeapYear(yearOffset) ? 30 : 29));
    if (day > monthLength)
        return false;
    qint64 days = 0;
    for (int y = 0; y < yearOffset; ++y)
        days += IsSolarLeapYear(y) ? 366 : 365;
    days += month <= 7 ? (month - 1) * 31 : 6 * 31 + (month - 7) * 30;
    days += day - 1;
    *date = Epoch.addDays(days);
    return true;
}

bool ParseSolarDate(const QString& text, QDate* date) {
    QString latin;
    for (const QChar c : text.trimmed()) {
        const int digit = c.digitValue();
        if (digit >= 0)
            latin += QChar(u'0' + digit);
        else if (c == u'/' || c == u'-' || c == u'.')
            latin += u'/';
        else
            return false;
    }
    const QStringList parts = latin.split(u'/');
    if (parts.size() != 3 || parts.contains(QString()))
        return false;
    return SolarToDate(parts.at(0).toInt(), parts.at(1).toInt(), parts.at(2).toInt(), date);
}

bool SolarToDays(const SolarDay& date, qint64* dayCount) {
    if (date.year < BaseYear || date.month < 1 || date.month > 12 || date.day < 1)
        return false;
    const int offset = date.year - BaseYear;
    const int monthLength =
        date.month <= 6 ? 31 : (date.month <= 11 || IsSolarLeapYear(offset) ? 30 : 29);
    if (date.day > monthLength)
        return false;
    const auto& starts = yearStarts();
    qint64 days = starts[size_t(std::min(offset, TabledYears))];
    for (int y = TabledYears; y < offset; ++y)
        days += IsSolarLeapYear(y) ? 366 : 365;
    days += date.month <= 7 ? (date.month - 1) * 31 : FirstDayOfSecondHalf + (date.month - 7) * 30;
    *dayCount = days + date.day - 1;
    return true;
}

QDate SolarEpoch() {
    // Made here rather than copied from Epoch: a constant of another file may
    // ask for it before Epoch itself is made.
    return QDate(1953, 3, 21);
}

QString SolarMonthName(int month) {
    return month >= 1 && month <= 12 ? MonthNames[month - 1] : QString();
}

QString SolarWeekdayName(int weekday) {
    return weekday >= 1 && weekday <= 7 ? WeekdayNames[weekday - 1] : QString();
}

QString SolarDate(const QDate& date, int layout) {
    SolarDay s;
    if (!date.isValid() || !DaysToSolar(Epoch.daysTo(date), &s))
        return QString();
    const QString sp = QStringLiteral(" ");
    const QString year = QString::number(s.year);
    const QString month = QString::number(s.month);
    const QString day = QString::number(s.day);
    // Qt counts Monday as 1 and Sunday as 7; the names start on Sunday.
    const QString weekday = SolarWeekdayName(date.dayOfWeek() % 7 + 1);
    switch (layout) {
    case 0:
        return year + '/' + twoDigits(s.month) + '/' + twoDigits(s.day);
    case 1:
        return day + sp + SolarMonthName(s.month) + sp + year;
    case 2:
        return weekday + sp + year + '/' + month + '/' + day;
    case 3:
        return weekday + sp + day + sp + SolarMonthName(s.month) + sp + year;
    case 4:
        return year + '.' + month + '.' + day;
    default:
        return QString();
    }
}

QString SolarDate(const QDateTime& moment, int layout) {
    return SolarDate(moment.date(), layout);
}

} // namespace velmora
