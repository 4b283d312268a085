#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

// The configuration files a clinic's IT may name the subject server in (key
// "database", INI format), the first found wins: the data folder's, then the
// machine's. The format: "key = value" lines (the value may stand in double
// quotes), "[section]" lines (a key counts at the top or in [General]), blank
// lines and comments beginning with "#" or ";".
QStringList storeConfigFiles(const QString& dataFolder);

// Which subject store this run uses: the first of the command line's URL, the
// environment's (VELMORA_DATABASE) and the configuration files'. None: the
// data folder's file. Sets it for the data layer; false with a Persian
// message (never the URL itself, it may hold a password) when the chosen text
// is not a store URL, or when a configuration file that is looked at exists
// but cannot be read or is not a configuration file: a workstation must never
// go on with a subject file of its own because its server's name could not be
// read. The message names the file and what is wrong with it.
bool chooseSubjectStore(const QString& commandLine, const QString& environment,
                        const QStringList& configFiles, QString* error);

} // namespace velmora
