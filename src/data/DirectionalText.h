#pragma once

#include <QString>

namespace velmora {

// A path, a file name, a URL or a Latin code set into Persian text is laid
// out by the text's right-to-left order unless it is isolated: "/home/clinic1"
// would read "home/clinic1/", ".local" would read "local.", and a path on the
// same line as a Persian word would break up around it. These put such a part
// between Unicode directional isolates, so it keeps its own order whole,
// wherever it stands in the sentence. (The data layer's own messages carry
// paths too, which is why this lives here and not in a window layer.)

// A path or file name (native separators), always left to right: LRI ... PDI.
QString isolatedPath(const QString& path);

// Any other part of its own direction (a code, a server's name, a URL): its
// direction comes from its first strong letter: FSI ... PDI.
QString isolatedText(const QString& text);

} // namespace velmora
