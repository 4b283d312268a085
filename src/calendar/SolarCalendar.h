#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

namespace velmora {

// The Persian solar calendar, counted in days from Gregorian 21 March 1953
// (solar 1332/01/01), with an integer leap-year rule and no table of years.

struct SolarDay {
    int year = 0;
    int month = 0;
    int day = 0;
};

// True when the solar year 1332 + yearOffset has 366 days.
bool IsSolarLeapYear(int yearOffset);

// Splits a day count since 21 March 1953 into a solar date. A negative count
// (a date before the epoch) gives no date: false.
bool DaysToSolar(qint64 dayCount, SolarDay* result);

// The Gregorian date of a solar date, from 1332/01/01 on; false (and no date)
// for a day the solar calendar does not have (month 13, day 31 of Mehr, day
// 30 of Esfand in a common year).
bool SolarToDate(int year, int month, int day, QDate* date);

// Reads a solar date typed as year/month/day (also with dashes or dots, and
// Persian or Arabic-Indic digits): false when it names no solar day.
bool ParseSolarDate(const QString& text, QDate* date);

// The other way: the day count since 21 March 1953 of a solar date. False for
// a date before the epoch or one the calendar does not have (month 13, day 31
// of the seventh month, 30 Esfand of a common year).
bool SolarToDays(const SolarDay& date, qint64* dayCount);

// 21 March 1953 (solar 1332/01/01), day 0 of the counts above.
QDate SolarEpoch();

// The date written in one of five layouts:
//   0  1393/08/11              1  11 آبان 1393
//   2  <weekday> 1393/8/11     3  <weekday> 11 آبان 1393
//   4  1393.8.11
// Another layout, or a date before 21 March 1953, gives the empty text.
QString SolarDate(const QDate& date, int layout = 0);
QString SolarDate(const QDateTime& moment, int layout = 0);

// The month (1..12) and weekday (1 Sunday .. 7 Saturday) names.
QString SolarMonthName(int month);
QString SolarWeekdayName(int weekday);

} // namespace velmora
