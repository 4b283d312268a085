#include "calendar/ClockTime.h"

#include <QLocale>
#include <QRegularExpression>

namespace velmora {

QString ClockTime(const QTime& time) {
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*[(\\[]?\\bt+\\b[)\\]]?")));
    format = format.trimmed();
    if (format.isEmpty())
        format = QStringLiteral("HH:mm:ss");
    return QLocale::system().toString(time, format);
}

} // namespace velmora
