#pragma once

#include <QString>

namespace velmora {

// The command line's questions to the clinic's IT person. A secret is read
// from the terminal without echo when standard input is one (the prompt goes
// to the terminal), otherwise as one line of standard input, so a script can
// pipe it in without it ever appearing in the process list. False with a
// description when nothing could be read (end of input, no terminal).
bool readSecret(const QString& prompt, QString* secret, QString* error);

// A yes-or-no question on the terminal; yes only for an explicit "y" or "yes"
// (Persian "بله" too). False when standard input is not a terminal: nothing
// is confirmed on behalf of nobody.
bool confirmOnTerminal(const QString& question);

} // namespace velmora
