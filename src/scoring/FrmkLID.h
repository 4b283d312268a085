#pragma once

#include "access/Roles.h"
#include "data/History.h"

#include <QWidget>
#include <array>
#include <memory>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

class DataControl;
class DataRPrint;
class SkinEngine;

// The scoring window: finds a subject's answer sheet by code, lists the
// unanswered items and shows the seven scale scores; from here the chart is
// drawn and the report printed. Modeless; the main window is hidden while it
// is open and shown again when it closes.
class FrmkLID : public QWidget {
    Q_OBJECT
public:
    explicit FrmkLID(QWidget* parent = nullptr);
    ~FrmkLID() override;

    // Creates and shows a new scoring window.
    static FrmkLID* showWindow();

    void Command1_Click(); // search and score
    void Command2_Click(); // profile chart
    void Command6_Click(); // printed report
    void Command4_Click(); // exit
    // The searched subject's past results, in a window of their own.
    void historyClick();
    // Opens the correction of the searched subject's registration; the
    // window then shows the corrected row.
    void correctClick();

    // The report, once something has been printed (nullptr before).
    DataRPrint* report() const { return m_report.get(); }

    DataControl* Adodc1 = nullptr; // Theme: theme number, clinic name and address
    DataControl* Adodc2 = nullptr; // Answer: the answer sheet searched for
    DataControl* Adodc3 = nullptr; // IDE: the subject frame
    SkinEngine* Skin1 = nullptr;

    // Subject frame.
    QGroupBox* Frame5 = nullptr;
    QLineEdit* Text15 = nullptr; // Code
    QLineEdit* Text12 = nullptr; // LName
    QLineEdit* Text10 = nullptr; // Jens
    QLineEdit* Text6 = nullptr;  // Sen
    QLineEdit* Text11 = nullptr; // Taahol
    QLineEdit* Text7 = nullptr;  // Tahsil
    QLineEdit* Text8 = nullptr;  // Date
    QLineEdit* Text9 = nullptr;  // Time
    QLineEdit* Text13 = nullptr; // clinic name (hidden)
    QLineEdit* Text16 = nullptr; // clinic address (hidden)

    // Score boxes 0, 1, 2, 4, 5, 6, 7; Text3[3] is the first name (FName).
    std::array<QLineEdit*, 8> Text3{};
    std::array<QLabel*, 8> scaleLabels{}; // the scale name beside each score box

    // Score frame: the score boxes and the window's copy of the answer sheet.
    QGroupBox* Frame3 = nullptr;
    std::array<QLineEdit*, 15> Txt3{}; // items 1..14; index 0 unused

    // Button frame.
    QGroupBox* Frame1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command4 = nullptr;
    // Shown after a search whose subject has administrations kept.
    QPushButton* historyButton = nullptr;
    // Shown after a successful search.
    QPushButton* correctButton = nullptr;

    QLineEdit* Text5 = nullptr; // the code of the last successful search (hidden)
    QLineEdit* Text1 = nullptr; // theme number (hidden)

protected:
    void closeEvent(QCloseEvent* event) override;
    // Escape leaves as the exit button does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildSubjectFrame();
    void buildScoreFrame();
    void buildButtonFrame();
    void Form_Load();
    void Form_Unload();
    // Shows the subject with code in the subject frame and its sheet in the
    // window's copy, as a search does; false when the store could not be read.
    bool showSubject(const QString& code);
    // Reads the administrations of the subject the frame shows.
    bool readHistory(QList<History::Administration>* administrations);
    // Records that the operator sees action's result for code; false (and
    // the operator told) when that could not be recorded.
    bool recorded(Action action, const QString& code);
    // Whether the subject the frame shows has administrations kept (the
    // operator told when they could not be read).
    bool hasHistory();
    // The report's captions as this window shows them: the clinic, the scores
    // and the subject.
    void fillReport(DataRPrint* report) const;

    std::unique_ptr<DataRPrint> m_report;
    bool m_unloaded = false;
    QString m_historyCode; // the subject of the last successful search
};

} // namespace velmora
