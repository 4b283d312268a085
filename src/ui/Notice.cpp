#include "ui/Notice.h"

#include "platform/Platform.h"

namespace velmora {

void ShowNotice(QWidget* owner, const QString& text, int intervalMs) {
    platform().notice(owner, text, intervalMs);
}

} // namespace velmora
