#pragma once

#include <QString>

namespace velmora {

// The read-only resources (skins, the help page, pictures) live apart from the
// writable data folder: beside the executable in a build tree, or in the
// installed share folder. The data folder is the working directory.

// The folder the resources are read from; the working directory until the
// start-up sets it.
QString resourceFolder();
void setResourceFolder(const QString& folder);
// A resource by its path relative to the resource folder ("help/index.html").
QString resourceFile(const QString& relative);

// Where the resources of an executable in executableFolder are: beside it when
// the skins are there, else the share folder of its installation prefix
// (executableFolder/../share/velmora), else the empty text.
QString findResourceFolder(const QString& executableFolder);

} // namespace velmora
