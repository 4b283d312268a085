#pragma once

#include <QAbstractButton>
#include <QObject>

class QLabel;

namespace velmora {

// The side of a picture acting as a button that the keyboard and assistive
// technology reach. It lies over the picture and lets the pointer through to
// it, so the picture keeps its own mouse handling and look; it takes the focus
// (then drawing a frame round the picture), Enter or Space on it is a click,
// and a screen reader finds a push button called name. It is named after the
// picture with "Key" added (k1Key over k1).
class PictureKey : public QAbstractButton {
    Q_OBJECT
public:
    PictureKey(QWidget* picture, const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_picture;
};

// A button drawn as two pictures in one place: the picture at rest and, hidden
// over it, the highlighted picture that takes the click. The pointer over the
// resting picture (a move, or its arrival under a pointer that stands still)
// brings up the highlighted one; the window puts it back to rest when the
// pointer moves over its surface. The keyboard reaches it through its key,
// named name.
class PictureButton : public QObject {
    Q_OBJECT
public:
    PictureButton(QLabel* resting, QLabel* highlighted, const QString& name, QObject* parent);

    QLabel* resting() const { return m_resting; }
    QLabel* highlighted() const { return m_highlighted; }
    PictureKey* key() const { return m_key; }

    void highlight();
    void rest();

signals:
    // A left click released over the highlighted picture, or the key pressed.
    void clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_resting;
    QLabel* m_highlighted;
    PictureKey* m_key;
};

} // namespace velmora
