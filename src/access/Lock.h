#pragma once

#include <functional>

namespace velmora {

// The lock of a program whose operators are set up: after a while without
// input (a setting of the workstation, ten minutes unless changed; 0:
// never) and on Ctrl+L in any window, every window is covered and the
// sign-in window asks for an operator. What was typed stays where it was:
// the same operator, or one whose role is not lower, goes on with it; for a
// lower role the windows that hold it are closed first.
namespace Lock {

// Starts watching the program's input (once; later calls only change the time).
void install(int idleMinutes);
// The time without input before the lock; 0 never locks on its own.
void setIdle(int milliseconds);
int idleMilliseconds();

// Locks now, while operators are set up; returns once an operator has
// signed in again or the program has been told to end (true: locked and left).
bool lockNow();
bool isLocked();

// Closes what holds the typed data of an operator whose place a lower role
// takes (the main window's open panel and every other window); given by the
// start-up, which knows the windows.
void setLowerRoleReset(std::function<void()> reset);

// Forgets a lock that a run left when it ended while locked, and stops
// locking on its own (a new run in the same process: a test case).
void reset();

} // namespace Lock

} // namespace velmora
