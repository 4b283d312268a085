#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;

namespace velmora {

class PictureButton;

class DataControl;
class SkinEngine;

// The small window that shows the operator the theme just chosen: it is drawn
// in the new skin while the main window is unloaded, and its confirm button
// brings the main window back in that skin.
class Frmskin : public QWidget {
    Q_OBJECT
public:
    explicit Frmskin(QWidget* parent = nullptr);

    // Creates and shows the window (modeless; it is destroyed when it closes).
    static Frmskin* showWindow();

    // --- Handlers ---
    void Form_MouseMove();
    void k1_MouseMove();
    void k2_Click();

    DataControl* Adodc1 = nullptr; // Theme
    QLineEdit* Text1 = nullptr;    // theme number (hidden)
    SkinEngine* Skin1 = nullptr;
    QLabel* k1 = nullptr; // confirm button, normal look
    QLabel* k2 = nullptr; // confirm button, highlighted look

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();

    PictureButton* m_confirm = nullptr;
};

} // namespace velmora
