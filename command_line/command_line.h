#pragma once

#include "port_session.h"

#include <cstdio>

// Velmora's command line: read, write, watch the pins of, and diagnose a port from a shell,
// without a window, a display or Qt. With no command the program opens its window.
namespace command_line {

// Interrupted: a pulse train or a self-test stopped by Ctrl-C before its end.
enum ExitStatus : int { Done = 0, Unreachable = 1, WrongUsage = 2, Interrupted = 130 };

// Whether the arguments ask for the window: none at all, or only those Qt takes itself
// (-platform, -display, -style, -geometry, -reverse, and their -- forms).
bool wantsWindow(int argc, char **argv);

// Runs the command the arguments give, on ports opened with openPorts (port::open: the machine's)
// unless --simulated asks for the simulated port, and returns the program's exit status. Linux
// and Windows have the command line; elsewhere it says so on err and returns WrongUsage.
int run(int argc, char **argv, const port::SessionOpener &openPorts, std::FILE *out = stdout,
        std::FILE *err = stderr);

} // namespace command_line
