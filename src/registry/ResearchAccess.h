#pragma once

#include "access/Roles.h"

#include <QString>

namespace velmora {

struct ResearchOptions;
struct ResearchSummary;

// Who may take research data out, and the record that they did: the two
// points where the clinic's operators and their trail meet the research
// export, each called from one place.

// The action a research file of this kind is: one that keeps names and codes
// asks more of the operator's role than a pseudonymised one.
Action researchAction(const ResearchOptions& options);

// Records, before the file takes its name, what is being written (how many
// subjects and rows, pseudonymised or not); false with error when it could
// not be recorded: the file is then not kept.
bool recordResearch(const ResearchOptions& options, const ResearchSummary& summary, QString* error);

} // namespace velmora
