#pragma once

#include <QColor>
#include <QDialog>
#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

class DataControl;
class SkinEngine;

// A bar of the profile chart (Shape1..Shape7): a solid rectangle whose place
// is kept in twips, as the chart computes it, and shown at the nearest pixel.
class ChartBar : public QWidget {
    Q_OBJECT
public:
    ChartBar(const QString& name, const QColor& fill, QWidget* parent);

    // The chart works in single precision, as the bars' own geometry does.
    void setTwips(float left, float top, float width, float height);
    float left() const { return m_left; }
    float top() const { return m_top; }
    float width() const { return m_width; }
    float height() const { return m_height; }
    QColor fill() const { return m_fill; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_fill;
    float m_left = 0, m_top = 0, m_width = 0, m_height = 0;
};

// The chart window: the searched subject's data and the seven scale scores as
// bars on a fixed axis from 1 to 10. Shown modally over the scoring window,
// which fills every box before showing it.
class Frm2 : public QDialog {
    Q_OBJECT
public:
    // owner: the window the chart is shown over (it keeps its own look: the
    // chart is printed and stays in the plain look whatever the skin).
    explicit Frm2(QWidget* owner = nullptr);
    ~Frm2() override;

    void Command1_Click(); // draw the bars
    void Command2_Click(); // print the window
    void Command6_Click(); // exit

    // Value box of column 1..7 (Text1..Text7) and its bar (Shape1..Shape7).
    QLineEdit* valueBox(int column) const { return m_values.at(column - 1); }
    ChartBar* bar(int column) const { return m_bars.at(column - 1); }

    DataControl* Adodc1 = nullptr; // Theme: clinic name and address
    SkinEngine* Skin1 = nullptr;
    QLineEdit* Text11 = nullptr; // theme number (hidden)

    // Label18(0..8): captions of the subject frame; (9) clinic name, (10)
    // address, (11) the address caption.
    std::array<QLabel*, 12> Label18{};

    QGroupBox* Frame1 = nullptr;
    QLineEdit* Text18 = nullptr; // code
    QLineEdit* Text17 = nullptr; // first name
    QLineEdit* Text16 = nullptr; // last name
    QLineEdit* Text10 = nullptr; // gender
    QLineEdit* Text15 = nullptr; // age
    QLineEdit* Text8 = nullptr;  // marital status
    QLineEdit* Text14 = nullptr; // education
    QLineEdit* Text12 = nullptr; // registration date
    QLineEdit* Text9 = nullptr;  // registration time

    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command6 = nullptr;

    // An image of the client area as it is now, at three times the screen's
    // resolution so that the printout stays sharp.
    QImage clientImage();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void buildSubjectFrame();
    void buildChart();
    void Form_Load();

    std::array<QLineEdit*, 7> m_values{};
    std::array<ChartBar*, 7> m_bars{};
};

} // namespace velmora
