#pragma once

#include "data/Database.h"

#include <QString>
#include <QStringList>
#include <QVector>

namespace velmora {

// The questionnaire's seven scales. The scoring window, the chart and the
// report all read this one table, so a scale's items and captions cannot
// drift apart between them.
struct Scale {
    int number;         // 1..7: the order of the score boxes, chart columns and report rows
    const char* key;    // the scale's name in code
    QString name;       // caption beside the score box and under the chart column
    QString reportName; // caption of the report row
    int scoreBox;       // index in the scoring window's Text3 array (3 is the first name)
    QVector<int> items; // the items whose answers are summed
    // The chart brings every scale to the range of a two-item scale: the score
    // is divided by chartDivisor and multiplied by chartFactor.
    double chartDivisor;
    double chartFactor;
};

constexpr int ScaleCount = 7;

// Scales 1..7 in order.
const QVector<Scale>& scales();
// The scale with this number (1..7).
const Scale& scaleNumber(int number);

// The value of an answer as scoring reads it: the number its text begins
// with; an empty or non-numeric text counts 0.
double itemValue(const QString& answer);

// The score of a scale. answers[i] is the text of item i + 1; missing
// entries count 0.
double scaleScore(const Scale& scale, const QStringList& answers);

// Items without an answer (empty text), each written as " n" followed by two
// blanks, in ascending order: " 3   11  ". Empty when every item is answered.
QString unansweredList(const QStringList& answers);

// The message that lists the unanswered items, and its title.
QString unansweredMessage(const QString& list);
QString unansweredTitle();

// A number as the windows write it: the shortest decimal form with at most 15
// significant digits (7, not 7.0; 20/3 as 6.66666666666667).
QString numberText(double value);

// The text of a chart value box from the text of the scale's score box: the
// two rescaled scales are computed, the others copied as they are.
QString chartValueText(const Scale& scale, const QString& scoreText);

// Height in twips of a chart bar for value v: the mean of the designer's five
// measurements of one point (360, 350, 360, 380 and 360 twips), i.e. 362 per point.
double barHeight(double value);

} // namespace velmora
