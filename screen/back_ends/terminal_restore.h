// The terminal's modes taken and given back: raw mode and the alternate
// screen on while lister runs, and the terminal as it was on every way
// out: the normal end, exit(), a signal that ends or stops the process
// (Ctrl+C, Ctrl+\ and Ctrl+Z among them: the terminal still sends those),
// and a crash that raises a signal. There is one terminal per process.
#pragma once

#include <string>

namespace screen {

// Reads the terminal's modes and makes the pipe that wakes the window
// thread; false, with the reason, when either fails.
bool prepareTerminal(bool linuxConsole, std::string& why);
// Raw mode and the alternate screen on, the signal handlers installed.
void takeTerminal();
// The terminal as it was; the handlers removed, the pipe closed.
void giveTerminalBack();

bool terminalTaken();
// Whether the size changed, or the picture must be drawn whole (Ctrl+L, a
// continue after a stop), since the last ask; each clears its flag.
bool takeResized();
bool takeRedraw();
void askRedraw();

// The read end of the pipe that wake() writes to; drain it after a wait.
int wakeFd();
void wake();

}  // namespace screen
