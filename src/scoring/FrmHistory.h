#pragma once

#include "data/History.h"

#include <QDialog>

class QPushButton;
class QTableWidget;

namespace velmora {

class SkinEngine;

// A subject's past results: every administration kept for the code, newest
// first, with its date, time and the seven scale scores of its sheet. Opened
// modally from the scoring window; it only reads.
class FrmHistory : public QDialog {
    Q_OBJECT
public:
    FrmHistory(const QString& code, const QList<History::Administration>& administrations,
               const QString& themeNumber, QWidget* owner);

    // Column captions: date, time, then the scale names in scale order.
    static QStringList captions();

    QTableWidget* GridHistory = nullptr;
    QPushButton* CommandClose = nullptr;
    SkinEngine* Skin1 = nullptr;
};

} // namespace velmora
