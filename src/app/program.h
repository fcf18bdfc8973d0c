// The program from start to exit, the same on every system.
#pragma once

#include "platform/platform.h"

namespace pixtrel {

// Builds the windows, applies the show command the process was started with, runs the
// platform's event loop until Quit, and shuts down. The process's exit code.
int RunProgram(Platform& platform, int show_command);

}  // namespace pixtrel
