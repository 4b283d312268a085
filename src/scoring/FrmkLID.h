#pragma once

#include <QWidget>

// The scoring window (modeless; the main window is hidden while it is open).
class FrmkLID : public QWidget {
    Q_OBJECT
public:
    explicit FrmkLID(QWidget* parent = nullptr);
    static FrmkLID* showWindow();
};
