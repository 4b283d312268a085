#pragma once

#include <QWidget>

// The exit confirmation through which the program ends.
class exitpro : public QWidget {
    Q_OBJECT
public:
    explicit exitpro(QWidget* parent = nullptr);
    // Shows the exit confirmation (creating it unless it is already shown).
    static exitpro* showWindow();
};
