#pragma once

#include <QDialog>

// The about window.
class About : public QDialog {
    Q_OBJECT
public:
    explicit About(QWidget* parent = nullptr);
    static void showModal(QWidget* owner);
};
