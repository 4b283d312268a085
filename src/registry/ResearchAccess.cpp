#include "registry/ResearchAccess.h"

#include "registry/ResearchExport.h"

namespace velmora {

QString researchRefusal(const ResearchOptions&) {
    return QString();
}

void researchWritten(const QString&, const ResearchOptions&, const ResearchSummary&) {}

} // namespace velmora
