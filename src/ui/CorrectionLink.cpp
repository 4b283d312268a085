#include "ui/CorrectionLink.h"

#include <utility>

namespace velmora {

namespace {
CorrectionLink& link() {
    static CorrectionLink installed;
    return installed;
}
} // namespace

void setCorrectionLink(CorrectionLink newLink) {
    link() = std::move(newLink);
}

bool correctionAvailable() {
    return static_cast<bool>(link());
}

std::optional<QString> openCorrection(QWidget* owner, const QString& code) {
    if (!link())
        return std::nullopt;
    return link()(owner, code);
}

} // namespace velmora
