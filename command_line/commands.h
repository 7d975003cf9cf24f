#pragma once

#include "options.h"
#include "port_session.h"

#include <cstdint>
#include <cstdio>
#include <optional>

// The commands themselves, on Linux's port drivers: each takes its options, opens its session
// (the simulated port with --simulated) and returns the exit status.
namespace command_line {

int readPort(const ReadOptions &options, const port::SessionOpener &openPorts, std::FILE *out,
             std::FILE *err);
int writePort(const WriteOptions &options, const port::SessionOpener &openPorts, std::FILE *err);
// One snapshot, or with watch a sample every interval until Ctrl-C or q (or count samples).
int showPins(const PinsOptions &options, const port::SessionOpener &openPorts, std::FILE *out,
             std::FILE *err);
// A pulse train as one action, and what it achieved.
int pulseTrain(const PulseOptions &options, const port::SessionOpener &openPorts, std::FILE *out,
               std::FILE *err);
// Every parallel port of the machine and what reaches it; with json, one JSON array.
// A note beside the JSON goes to err.
int listPorts(const PortsOptions &options, std::FILE *out, std::FILE *err);
// The loopback self-test as one action; its exit status is selftest::exitStatus's.
int selfTest(const SelftestOptions &options, const port::SessionOpener &openPorts, std::FILE *out,
             std::FILE *err);

// The machine's real paths, or with simulated the simulated port. A script never gets a made-up
// value for a real one: with no real path at all this says on err why not to address, the
// command's, and gives nothing.
std::optional<port::Session> openPort(std::uint16_t address, bool simulated,
                                      const port::SessionOpener &openPorts, std::FILE *err);

} // namespace command_line
