#pragma once
// --plot and --history: the log history without the main window.

#include "app/command_line.h"

namespace corvane {

// True when the arguments ask for --plot, which draws into a file and needs no display.
bool WantsPlotOnly(int argc, char** argv);

// Runs --plot or --history (a QApplication exists); the program's exit status. Errors are one
// line on stderr and status 2.
int RunHistoryCommand(const CommandLine& cl);

}  // namespace corvane
