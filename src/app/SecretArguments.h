#pragma once

namespace velmora {

// Every local user can read a process's arguments (/proc/PID/cmdline, ps), and
// a database URL on the command line may carry a password. Overwrites, in the
// process's own argument memory, each password of a URL (user:PASSWORD@host,
// ?password=..., ?sslpassword=...) with asterisks, so that from then on the
// process list shows the server and the user but never the password. Call it
// once the arguments have been read, before anything slow happens.
void hidePasswordsInArguments(int argc, char** argv);

// The same for one argument, in place.
void hidePasswordsInArgument(char* argument);

} // namespace velmora
