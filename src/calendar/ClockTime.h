#pragma once

#include <QString>
#include <QTime>

namespace velmora {

// A time of day as the clinic's records hold it: the system's long time
// format without the time zone (a registration or an administration happens
// on the clinic's wall clock).
QString ClockTime(const QTime& time);

} // namespace velmora
