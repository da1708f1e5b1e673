// Start-up of a window program: the application, the main window, the event loop.
#pragma once

#include "main/program_state.h"

namespace varnoke {

// Runs the window program until its window is closed. An optional first argument names
// a PCX picture to open at once. An exception that escapes is shown in a message box
// and ends the program. Returns the exit code, always 0.
int runWindowProgram(int& argc, char** argv, ScreenLayout layout);

}  // namespace varnoke
