#pragma once

#include "registry/SubjectExport.h"

#include <QDialog>
#include <QFrame>
#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace velmora {

class DataControl;
class SkinEngine;
class SkinLabel;
class SubjectRowsModel;
class NameListModel;

// A read-only grid of records under a caption line.
class DataGrid : public QFrame {
    Q_OBJECT
public:
    DataGrid(const QString& name, const QString& caption, QWidget* parent);
    QLabel* caption() const { return m_caption; }
    QTableView* table() const { return m_table; }

private:
    QLabel* m_caption;
    QTableView* m_table;
};

// The code lookup window: lists the registered subjects and narrows the list by
// group, last name or first name (one criterion at a time) so the operator can
// read off a forgotten code. It only reads.
//
// The grid and the name lists read the table a block at a time as they are
// scrolled, and every search is one indexed query, so opening and searching
// cost the same for a hundred subjects or a hundred thousand.
class FrmCode : public QDialog {
    Q_OBJECT
public:
    explicit FrmCode(QWidget* parent = nullptr);
    // Creates the window and shows it modally over owner until it closes.
    static void showModal(QWidget* owner);

    // --- Handlers ---
    void Combo3_Change();
    void Combo3_Click();
    void DataCombo1_Change();
    void DataCombo1_Click();
    void DataCombo6_Change();
    void DataCombo6_Click();
    void Command6_Click();
    // Writes the subjects the grid lists to a CSV file the operator names.
    void exportClick();
    // Opens the research export (SPSS or Stata) of the subjects the grid lists.
    void researchClick();
    // Opens the correction of the registration of the subject selected in the
    // grid; the grid then lists the corrected row.
    void correctClick();
    // Erases the selected subject on request (an admin's), after the code is
    // typed to confirm.
    void eraseClick();

    DataControl* Adodc1 = nullptr; // Theme
    DataControl* Adodc2 = nullptr; // IDE: the subjects the grid lists
    SkinEngine* Skin1 = nullptr;

    QLineEdit* Text1 = nullptr;      // theme number (hidden)
    QLineEdit* Text2 = nullptr;      // IDE.ID (hidden)
    QComboBox* DataCombo6 = nullptr; // first name
    QComboBox* DataCombo1 = nullptr; // last name
    QComboBox* Combo3 = nullptr;     // group
    std::array<SkinLabel*, 3> SkinLabel21{};
    DataGrid* DataGrid1 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* exportButton = nullptr;
    // Says so when a search finds nobody (hidden otherwise).
    SkinLabel* notFoundLabel = nullptr;
    QPushButton* researchButton = nullptr;
    QPushButton* correctButton = nullptr;
    QPushButton* eraseButton = nullptr;

private:
    void Form_Load();
    // The subjects the grid lists now, as an export reads them.
    SubjectFilter listedSubjects() const;
    // Replaces the filter of the subject list and shows the rows that match:
    // field equal to text, or (a typed name) beginning with it however its
    // yeh and kaf are written. An empty text shows every subject again.
    void filterSubjects(const QString& field, const QString& text, bool byBeginning = false);
    // Empties boxes the program clears; that is no search of its own.
    void emptyBoxes(std::initializer_list<QComboBox*> boxes);
    // Tells the operator that the subject file could not be read.
    void reportFailure(const QString& detail);
    // The code of the subject selected in the grid; empty when none is.
    QString selectedCode() const;
    // Reads the list and the name lists again, keeping the search shown.
    void reloadList();

    SubjectRowsModel* m_rows = nullptr;
    NameListModel* m_firstNames = nullptr;
    NameListModel* m_lastNames = nullptr;
    bool m_settingBoxes = false;
};

} // namespace velmora
