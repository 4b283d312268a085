#include "app/ResearchCommand.h"

#include "app/App.h"
#include "app/CommandLine.h"
#include "registry/ResearchExport.h"

#include <QTextStream>

#include <cstdio>

namespace velmora {

int runResearchExport(int argc, char** argv, const CommandLine& command) {
    ResearchOptions options;
    options.perAdministration = command.allAdministrations;
    options.identified = command.identified;
    options.dates = command.datesAsYear ? ResearchDates::Year : ResearchDates::Shifted;
    options.ageBands = command.ageBands;
    return runWithoutWindow(argc, argv, command, [&](QTextStream& err) {
        QTextStream out(stdout);
        return exportResearchCommand(command.exportResearch, options, out, err);
    });
}

} // namespace velmora
