#pragma once

#include <QObject>

class QLabel;

namespace velmora {

// A button drawn as two pictures in one place: the picture at rest and, hidden
// over it, the highlighted picture that takes the click. The pointer over the
// resting picture (a move, or its arrival under a pointer that stands still)
// brings up the highlighted one; the window puts it back to rest when the
// pointer moves over its surface.
class PictureButton : public QObject {
    Q_OBJECT
public:
    PictureButton(QLabel* resting, QLabel* highlighted, QObject* parent);

    QLabel* resting() const { return m_resting; }
    QLabel* highlighted() const { return m_highlighted; }

    void highlight();
    void rest();

signals:
    // A left click released over the highlighted picture.
    void clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_resting;
    QLabel* m_highlighted;
};

} // namespace velmora
