#pragma once

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace velmora {

// The correction of a registration is a window of the subjects' feature, and
// the scoring window, a layer below it, opens it too: the start-up installs
// the real call here, as it does the main window's.
//
// The call opens the correction of the subject with code over owner and
// returns the code the subject has once it is stored (the same code or the
// corrected one); nothing when nothing was corrected.
using CorrectionLink = std::function<std::optional<QString>(QWidget* owner, const QString& code)>;

void setCorrectionLink(CorrectionLink link);

// False while no correction is installed (a window shown without the start-up).
bool correctionAvailable();
std::optional<QString> openCorrection(QWidget* owner, const QString& code);

} // namespace velmora
