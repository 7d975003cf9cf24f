#pragma once

#include "duration.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

// The commands themselves, on Linux's port drivers.
namespace command_line {

enum class Format { Decimal, Hex, Binary };

int readPort(std::uint16_t address, Format format, bool simulated, std::FILE *out, std::FILE *err);
int writePort(std::uint16_t address, std::uint8_t value, bool simulated, std::FILE *err);
// One snapshot, or with watch a sample every intervalMs until Ctrl-C or q (or count samples).
// What a watch writes besides, or in place of, its table or CSV lines.
struct WatchOutputs
{
    std::string vcd;                         // a Value Change Dump file, when named
    bool json = false;                       // one JSON object a sample (once without watch)
    std::optional<timing::Nanoseconds> fast; // --fast: this long, the port held throughout
};

int showPins(std::optional<std::uint16_t> base, bool watch, int intervalMs, long count,
             bool simulated, const WatchOutputs &outputs, std::FILE *out, std::FILE *err);
// Every parallel port of the machine and what reaches it; with json, one JSON array.
int listPorts(bool json, std::FILE *out);

} // namespace command_line
