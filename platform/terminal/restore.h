// What gives the terminal back in the shell's modes however the program
// ends: prepared while curses runs, so that a signal handler needs only
// write() and tcsetattr(), both safe there.
#pragma once

#include <termios.h>

#include <string_view>

namespace vx::terminal {

// A new session on `inFd` (modes `saved`, as the shell left them) drawing on
// `outFd`. Opens the file that holds standard error back, once.
void PrepareRestore(int inFd, int outFd, const termios& saved);
// Adds to what is written to the terminal on restoring (curses' reset
// sequences); what does not fit the prepared room is left out.
void AddRestoreSequence(std::string_view sequence);
// The terminal is in the dialogs' mode: a restore is due, and standard
// error is held back.
void ArmRestore();
// The session gives the terminal back itself: no restore is due any more.
void DisarmRestore();
// Shows what was held back from standard error and lets it through again.
void ShowHeldErrors();
// Restores now, if due. Safe in a signal handler.
void RestoreNow();
// Restores on every signal that would end the process, at exit and on
// std::terminate. Once per process.
void InstallRestoreHandlers();

}  // namespace vx::terminal
