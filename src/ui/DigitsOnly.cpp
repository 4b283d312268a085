#include "ui/DigitsOnly.h"

#include "platform/Platform.h"
#include "ui/Notice.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace velmora {

namespace {

class DigitsOnlyFilter : public QObject {
public:
    DigitsOnlyFilter(QLineEdit* box, QWidget* owner) : QObject(box), m_owner(owner) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        auto* key = static_cast<QKeyEvent*>(event);
        if (keyPasses(key))
            return QObject::eventFilter(watched, event);
        platform().beep();
        ShowNotice(m_owner, digitsOnlyNotice());
        return true;
    }

private:
    static bool keyPasses(const QKeyEvent* key) {
        // Keys that type nothing (arrows, Tab, shortcuts such as Ctrl+C) pass
        // as they would anywhere; of the typing keys only digits, Backspace and
        // Enter do.
        switch (key->key()) {
        case Qt::Key_Backspace:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return true;
        default:
            break;
        }
        const QString text = key->text();
        // Keys that type nothing (arrows, Tab, Delete, Escape) and Ctrl
        // shortcuts such as Ctrl+V are not typing keys; the validator guards
        // what a paste brings. Anything else that types a character (Alt+a, a
        // zero-width non-joiner of a Persian keyboard) is a wrong key.
        if (text.isEmpty() || text.at(0).category() == QChar::Other_Control ||
            key->modifiers().testFlag(Qt::ControlModifier))
            return true;
        return text.size() == 1 && text.at(0) >= QLatin1Char('0') && text.at(0) <= QLatin1Char('9');
    }

    QWidget* m_owner;
};

} // namespace

QString digitsOnlyNotice() {
    return QStringLiteral("شما بايد عدد وارد كنيد");
}

void makeDigitsOnly(QLineEdit* box, QWidget* owner, int maxLength) {
    box->setMaxLength(maxLength);
    // The validator keeps pasted or dropped text to digits as well.
    box->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
    box->installEventFilter(new DigitsOnlyFilter(box, owner));
}

} // namespace velmora
