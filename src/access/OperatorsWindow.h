#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace velmora {

class DataControl;
class SkinEngine;
class SkinLabel;

// The operators window, for admins: the operators with their roles, whether
// they may sign in and when they last did; adding one, disabling and
// enabling, a new password; and the minutes without input after which this
// workstation locks. Every change is recorded in the audit trail. On a
// server the server decides too: only a role that may create roles changes
// operators there.
class OperatorsWindow : public QDialog {
    Q_OBJECT
public:
    explicit OperatorsWindow(QWidget* parent = nullptr);

    // Opens the window modally over owner for an admin; anyone else is told
    // who may.
    static void showModal(QWidget* owner);

    // --- Handlers ---
    void addClick();
    void disableClick();
    void enableClick();
    void passwordClick();
    void lockClick();

    // Reads the operators again.
    void refresh();

    DataControl* Adodc1 = nullptr; // Theme
    SkinEngine* Skin1 = nullptr;
    QLineEdit* Text1 = nullptr; // theme number (hidden)
    QTableWidget* operatorsGrid = nullptr;
    QLineEdit* nameBox = nullptr;
    QComboBox* roleList = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* disableButton = nullptr;
    QPushButton* enableButton = nullptr;
    QPushButton* passwordButton = nullptr;
    QLineEdit* lockBox = nullptr;
    QPushButton* lockButton = nullptr;
    QPushButton* closeButton = nullptr;

private:
    // The name of the operator the grid's current row shows; empty (and the
    // operator told) when no row is chosen.
    QString chosenName();
    // A new password typed twice; empty when cancelled or not the same.
    QString askPassword(const QString& name);
    void tell(bool done, const QString& error);
};

} // namespace velmora
