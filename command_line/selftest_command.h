#pragma once

#include <cstdio>

namespace command_line {

// velmora selftest [BASE] [--yes] [--json] [--simulated[=loopback]]: arguments are those after
// the command's name. Returns the exit status selftest::exitStatus gives, or WrongUsage.
int selfTest(int argc, char **argv, std::FILE *out, std::FILE *err);

} // namespace command_line
