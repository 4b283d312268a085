#include "ui/FieldBinding.h"

#include "data/DataControl.h"

#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QPointer>

namespace velmora {

namespace {

// The widgets bound to one control, kept with the control.
class Binder : public QObject {
public:
    explicit Binder(DataControl* control) : QObject(control), m_control(control) {
        setObjectName(QStringLiteral("velmora-field-binder"));
        connect(control, &DataControl::currentChanged, this, &Binder::showAll);
        connect(control, &DataControl::fieldChanged, this,
                [this](const QString& field, const QString& value) {
                    for (const Binding& b : std::as_const(m_bindings))
                        if (b.field == field)
                            show(b.widget, value);
                });
    }

    static Binder* of(DataControl* control) {
        for (QObject* child : control->children())
            if (auto* binder = dynamic_cast<Binder*>(child))
                return binder;
        return new Binder(control);
    }

    void add(QWidget* widget, const QString& field) {
        remove(widget);
        m_bindings.append({widget, field});
        if (auto* edit = qobject_cast<QLineEdit*>(widget))
            connect(edit, &QLineEdit::textChanged, this, [this, edit](const QString& text) {
                if (m_showing)
                    return;
                for (const Binding& b : std::as_const(m_bindings))
                    if (b.widget == edit) {
                        m_control->setFieldFromWidget(b.field, text);
                        break;
                    }
            });
        show(widget, m_control->field(field));
    }

    void remove(QWidget* widget) {
        for (qsizetype i = m_bindings.size() - 1; i >= 0; --i)
            if (m_bindings.at(i).widget == widget || !m_bindings.at(i).widget)
                m_bindings.removeAt(i);
        if (widget)
            disconnect(widget, nullptr, this, nullptr);
    }

private:
    struct Binding {
        QPointer<QWidget> widget;
        QString field;
    };

    // A box left as it is when it already holds the value, so its cursor does
    // not jump; what the program puts there is not taken for typing.
    void show(QWidget* widget, const QString& value) {
        m_showing = true;
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            if (edit->text() != value)
                edit->setText(value);
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            label->setText(value);
        }
        m_showing = false;
    }

    void showAll() {
        for (const Binding& b : std::as_const(m_bindings))
            show(b.widget, m_control->field(b.field));
    }

    DataControl* m_control;
    QList<Binding> m_bindings;
    bool m_showing = false;
};

} // namespace

void bind(DataControl* control, QLineEdit* edit, const QString& field) {
    Binder::of(control)->add(edit, field);
}

void bind(DataControl* control, QLabel* label, const QString& field) {
    Binder::of(control)->add(label, field);
}

void unbind(DataControl* control, QWidget* widget) {
    Binder::of(control)->remove(widget);
}

} // namespace velmora
