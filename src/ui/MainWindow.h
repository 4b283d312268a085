#pragma once

#include <functional>

class QWidget;

namespace velmora {

// What the other windows need of the main window, without knowing its class:
// the start-up installs the real calls, so a feature window never reaches up
// into the window that opens it.
struct MainWindowLink {
    // Shows the main window, creating it (and running its load steps) when it
    // is unloaded.
    std::function<QWidget*()> show;
    // The loaded main window, or nullptr while it is unloaded.
    std::function<QWidget*()> loaded;
};

void setMainWindowLink(MainWindowLink link);

QWidget* showMainWindow();
bool mainWindowLoaded();

} // namespace velmora
