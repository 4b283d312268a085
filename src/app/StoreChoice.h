#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

// The configuration files a clinic's IT may name the subject server in (key
// "database", INI format), the first found wins: the data folder's, then the
// machine's.
QStringList storeConfigFiles(const QString& dataFolder);

// Which subject store this run uses: the first of the command line's URL, the
// environment's (VELMORA_DATABASE) and the configuration files'. None: the
// data folder's file. Sets it for the data layer; false with a Persian
// message (never the URL itself, it may hold a password) when the chosen text
// is not a store URL.
bool chooseSubjectStore(const QString& commandLine, const QString& environment,
                        const QStringList& configFiles, QString* error);

} // namespace velmora
