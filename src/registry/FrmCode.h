#pragma once

#include <QDialog>

// The code lookup window: finds a subject's code by group, last or first name.
class FrmCode : public QDialog {
    Q_OBJECT
public:
    explicit FrmCode(QWidget* parent = nullptr);
    // Creates the window and shows it modally over owner until it closes.
    static void showModal(QWidget* owner);
};
