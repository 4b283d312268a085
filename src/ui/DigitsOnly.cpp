#include "ui/DigitsOnly.h"

#include "data/TextNumber.h"
#include "platform/Platform.h"
#include "ui/Notice.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QValidator>

namespace velmora {

namespace {

bool isDigit(QChar c) {
    const QChar latin = latinDigits(QString(c)).at(0);
    return latin >= QLatin1Char('0') && latin <= QLatin1Char('9');
}

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
        return text.size() == 1 && isDigit(text.at(0));
    }

    QWidget* m_owner;
};

// Keeps the box to digits, whether typed, pasted or dropped. The digits of a
// Persian keyboard (and Arabic-Indic ones) become the digits 0 to 9 as they
// arrive, so the box shows and stores what every reader of the number expects.
class DigitsValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = latinDigits(input);
        for (const QChar c : std::as_const(input))
            if (!isDigit(c))
                return Invalid;
        return Acceptable;
    }
};

} // namespace

QString digitsOnlyNotice() {
    return QStringLiteral("شما بايد عدد وارد كنيد");
}

void makeDigitsOnly(QLineEdit* box, QWidget* owner, int maxLength) {
    box->setMaxLength(maxLength);
    box->setValidator(new DigitsValidator(box));
    box->installEventFilter(new DigitsOnlyFilter(box, owner));
}

} // namespace velmora
