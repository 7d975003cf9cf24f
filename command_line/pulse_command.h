#pragma once

#include <cstdio>

namespace command_line {

// velmora pulse ADDRESS VALUE --width D [--count N --period D] [--idle VALUE] [--json]
// [--simulated]: the arguments after "pulse". Returns the program's exit status.
int pulseCommand(int argc, char **argv, std::FILE *out, std::FILE *err);

} // namespace command_line
