#pragma once

#include "options.h"
#include "port_session.h"

#include <cstdio>

// The commands themselves, on Linux's port drivers: each takes its options, opens its session
// (the simulated port with --simulated) and returns the exit status.
namespace command_line {

int readPort(const ReadOptions &options, const port::SessionOpener &openPorts, std::FILE *out,
             std::FILE *err);
int writePort(const WriteOptions &options, const port::SessionOpener &openPorts, std::FILE *err);
// One snapshot, or with watch a sample every interval until Ctrl-C or q (or count samples).
int showPins(const PinsOptions &options, const port::SessionOpener &openPorts, std::FILE *out,
             std::FILE *err);
int listPorts(std::FILE *out);

} // namespace command_line
