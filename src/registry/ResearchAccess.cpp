#include "registry/ResearchAccess.h"

#include "access/Audit.h"
#include "registry/ResearchExport.h"

namespace velmora {

Action researchAction(const ResearchOptions& options) {
    return options.identified ? Action::ExportResearchIdentified : Action::ExportResearch;
}

bool recordResearch(const ResearchOptions& options, const ResearchSummary& summary,
                    QString* error) {
    // Counts and the kind of file only: never a name, a code or a path.
    const QString detail =
        QStringLiteral("%1 آزمودني، %2 سطر، %3%4")
            .arg(summary.subjects)
            .arg(summary.rows)
            .arg(options.format == ResearchFormat::Spss ? QStringLiteral("SPSS")
                                                        : QStringLiteral("Stata"))
            .arg(options.identified ? QStringLiteral("، با نام") : QString());
    return Audit::record(researchAction(options), QString(), Outcome::Done, detail, error);
}

} // namespace velmora
