#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QTimer;

namespace velmora {

class PictureButton;

// The exit confirmation through which the program ends: confirm (with the
// backup box ticked, the backup window comes first), or cancel and go back to
// the main window. Its title flashes to advertise the backup.
class exitpro : public QWidget {
    Q_OBJECT
public:
    explicit exitpro(QWidget* parent = nullptr);
    ~exitpro() override;

    // Shows the exit confirmation (creating it unless it is already shown).
    static exitpro* showWindow();
    // The loaded exit confirmation, or nullptr.
    static exitpro* instance();

    // --- Handlers ---
    void k1_MouseMove();
    void C1_MouseMove();
    void Form_MouseMove();
    void k2_Click(); // confirm
    void C2_Click(); // cancel
    void Timer2_Timer();
    void Timer3_Timer();
    void tmCaptionAnimate_Timer();

    QLabel* k1 = nullptr; // confirm, normal look
    QLabel* k2 = nullptr; // confirm, highlighted look
    QLabel* C1 = nullptr; // cancel, normal look
    QLabel* C2 = nullptr; // cancel, highlighted look
    QCheckBox* Check1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* Timer3 = nullptr;
    QTimer* tmCaptionAnimate = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    QLabel* makeImage(const char* name, const QPixmap& picture);

    QPixmap m_background;
    PictureButton* m_confirm = nullptr;
    PictureButton* m_cancel = nullptr;
    bool m_leaving = false; // closed by its own cancel button
};

} // namespace velmora
