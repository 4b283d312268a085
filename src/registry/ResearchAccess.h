#pragma once

#include <QString>

namespace velmora {

struct ResearchOptions;
struct ResearchSummary;

// Who may take research data out, and the record that they did: the two
// points where the clinic's operators and their trail meet the research
// export, each called from one place.

// Empty when the one at this workstation may make a research file of this
// kind; otherwise a Persian reason. A file that keeps names is the
// clinician's to make once operators have roles; until then everyone may.
QString researchRefusal(const ResearchOptions& options);

// Called once a research file is in place under its name: what was written
// (how many subjects and rows, pseudonymised or not) goes into the clinic's
// trail once there is one.
void researchWritten(const QString& path, const ResearchOptions& options,
                     const ResearchSummary& summary);

} // namespace velmora
