#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace velmora {

// The about window: names the product and its author, with four lines that
// scroll upward in an endless loop (the first cycling through colours, the
// third taking a random one) and a credit line that closes up letter by letter.
// Every animation step is a plain tick handler, so the whole behaviour can be
// stepped through without waiting on the timers.
class About : public QDialog {
    Q_OBJECT
public:
    explicit About(QWidget* parent = nullptr);

    // Shows the window modally over owner until the operator closes it.
    static void showModal(QWidget* owner);

    // --- Handlers ---
    void Command1_Click();
    void Timer1_Timer();  // colours
    void Timer2_Timer();  // caption movement
    void Timer3_Timer();  // credit line
    void Timer10_Timer(); // scroll

    // The 16-colour palette (numbers 0 to 15).
    static QColor paletteColour(int number);
    // The credit line as it starts (letters pulled apart) and as it ends.
    static QString creditLine();
    static QString finishedCreditLine();

    // Top of Label1..Label4 in twips (index 1..4).
    int labelTop(int index) const { return m_top.at(index); }
    // Entry n (1..11) of the line table.
    QString line(int n) const { return m_lines.at(n); }
    int nextLine() const { return m_nextLine; }
    int colourStep() const { return m_colourStep; }
    // The outer height of the window (frame included) in twips.
    int outerHeight() const;
    // Draws the pseudo-random numbers for Label3, each in [0, 1).
    void setRandomSource(std::function<double()> source) { m_random = std::move(source); }

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Text1 = nullptr; // the credit line
    QPushButton* Command1 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer10 = nullptr;
    QTimer* Timer3 = nullptr;
    QTimer* Timer2 = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Form_Load();
    QLabel* label(int index) const;
    void setLabelTop(int index, int top);
    void setLabelCaption(int index, const QString& caption);

    std::array<QString, 12> m_lines; // entries 1..11
    std::array<int, 5> m_top{};      // Label1..Label4, twips
    std::array<int, 5> m_right{};    // right edge of each label as designed, twips
    qint16 m_nextLine = 4;
    qint16 m_colourStep = 0;
    QString m_search = QStringLiteral(" ");
    QString m_replacement = QLatin1String("");
    QString m_captionState;
    std::function<double()> m_random;
};

} // namespace velmora
