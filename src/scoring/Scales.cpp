#include "scoring/Scales.h"

#include "data/TextNumber.h"
#include "platform/Platform.h"

#include <cmath>

namespace velmora {

const QVector<Scale>& scales() {
    static const QVector<Scale> table = {
        {1,
         "Aggressive",
         QStringLiteral("پرخاشگرانه"),
         QStringLiteral("پرخاشگرانه"),
         0,
         {1, 2},
         1.0,
         1.0},
        {2,
         "Simplification",
         QStringLiteral("ساده بيني"),
         QStringLiteral("ساده بيني"),
         1,
         {3, 4, 9},
         1.5,
         1.0},
        {3,
         "Planning",
         QStringLiteral("برنامه ريزي"),
         QStringLiteral("برنامه ريزي"),
         2,
         {5, 6},
         1.0,
         1.0},
        {4,
         "EmotionalResponse",
         QStringLiteral("برخوردعاطفي"),
         QStringLiteral("برخورد عاطفي"),
         4,
         {7, 8},
         1.0,
         1.0},
        {5,
         "RiskTaking",
         QStringLiteral("ريسک پذيري"),
         QStringLiteral("ريسک پذيري"),
         5,
         {10, 12},
         1.0,
         1.0},
        {6,
         "NegativeThinking",
         QStringLiteral("منفي نگري"),
         QStringLiteral("منفي نگري"),
         6,
         {13, 14},
         1.0,
         1.0},
        {7,
         "SpecialTalent",
         QStringLiteral("استعداد ويژه"),
         QStringLiteral("استعداد ويژه"),
         7,
         {11},
         1.0,
         2.0},
    };
    return table;
}

const Scale& scaleNumber(int number) {
    Q_ASSERT(number >= 1 && number <= ScaleCount);
    return scales().at(number - 1);
}

double itemValue(const QString& answer) {
    // The answers the test window writes are one digit; anything else is read
    // the long way.
    if (answer.size() == 1 && answer.at(0) >= QLatin1Char('0') && answer.at(0) <= QLatin1Char('9'))
        return answer.at(0).unicode() - '0';
    return leadingNumber(answer);
}

double scaleScore(const Scale& scale, const QStringList& answers) {
    double sum = 0.0;
    for (const int item : scale.items)
        if (item - 1 < answers.size())
            sum += itemValue(answers.at(item - 1));
    return sum;
}

QString unansweredList(const QStringList& answers) {
    QString list;
    for (int item = 1; item <= ItemCount; ++item)
        if (item - 1 >= answers.size() || answers.at(item - 1).isEmpty())
            list += QStringLiteral(" %1").arg(item) + QStringLiteral("  ");
    return list;
}

QString unansweredMessage(const QString& list) {
    return QStringLiteral("شما به سوالات زير پاسخ نداده ايد") + QStringLiteral("\r\n") +
           QStringLiteral("\r\n") + list;
}

QString unansweredTitle() {
    return errorTitle();
}

QString numberText(double value) {
    if (value == 0.0)
        value = 0.0; // no "-0"
    // A whole number below 10^15 reads the same either way; sums of answers
    // are whole, and writing them is the hot part of an export.
    if (std::abs(value) < 1e15 && value == std::trunc(value))
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', 15);
}

QString chartValueText(const Scale& scale, const QString& scoreText) {
    if (scale.chartDivisor == 1.0 && scale.chartFactor == 1.0)
        return scoreText;
    return numberText(leadingNumber(scoreText) / scale.chartDivisor * scale.chartFactor);
}

double barHeight(double value) {
    return (value * 360 + value * 350 + value * 360 + value * 380 + value * 360) / 5;
}

} // namespace velmora
