#include "ui/MainWindow.h"

#include <utility>

namespace velmora {

namespace {
MainWindowLink& link() {
    static MainWindowLink installed;
    return installed;
}
} // namespace

void setMainWindowLink(MainWindowLink newLink) {
    link() = std::move(newLink);
}

QWidget* showMainWindow() {
    return link().show ? link().show() : nullptr;
}

bool mainWindowLoaded() {
    return link().loaded && link().loaded() != nullptr;
}

} // namespace velmora
