#pragma once

#include "duration.h"
#include "pulse_train.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Each command's arguments, read into its own options before anything runs. A parse… function
// throws UsageError for anything it cannot take; the command line says it and exits with 2.
namespace command_line {

struct UsageError
{
    std::string message;
    std::string help = "velmora --help"; // where the usage is told
};

// The arguments as given, sorted into the command, its operands and the options.
struct Arguments
{
    std::string command;
    std::vector<std::string> operands;
    std::vector<std::string> options; // each option's name as given, for which command takes it
    bool hex = false;
    bool bin = false;
    bool watch = false;
    bool simulated = false;
    bool json = false;
    bool fast = false;
    bool yes = false;
    std::optional<std::string> simulatedAs; // --simulated=WIRING
    std::optional<std::string> interval, count, vcd, duration, width, period, idle;
};

enum class Format { Decimal, Hex, Binary };

struct ReadOptions
{
    std::uint16_t address = 0;
    Format format = Format::Decimal;
    bool simulated = false;
};

struct WriteOptions
{
    std::uint16_t address = 0;
    std::uint8_t value = 0;
    bool simulated = false;
};

struct WatchOptions
{
    int intervalMs = 100;
    long count = 0;                          // samples; 0 until stopped
    std::optional<std::string> vcd;          // a Value Change Dump file as well
    std::optional<timing::Nanoseconds> fast; // --fast: this long, the port held throughout
};

struct PinsOptions
{
    std::optional<std::uint16_t> base; // the first port the kernel knows when not given
    std::optional<WatchOptions> watch;
    bool json = false; // one JSON object a sample
    bool simulated = false;
};

struct PortsOptions
{
    bool json = false;
};

struct PulseOptions
{
    timing::Pulse pulse;              // its idle value is idle's, when given
    std::optional<std::uint8_t> idle; // the register's value when not given
    bool json = false;
    bool simulated = false;
};

struct SelftestOptions
{
    std::optional<std::uint16_t> base; // the first port the kernel knows when not given
    bool yes = false;                  // no question asked
    bool json = false;
    bool simulated = false;
    bool loopback = false; // the simulated port with the common plug in it
};

ReadOptions parseRead(const Arguments &arguments);
WriteOptions parseWrite(const Arguments &arguments);
PinsOptions parsePins(const Arguments &arguments);
PortsOptions parsePorts(const Arguments &arguments);
PulseOptions parsePulse(const Arguments &arguments);
SelftestOptions parseSelftest(const Arguments &arguments);
// For a command that is none of these: what is wrong with it.
UsageError unknownCommand(const Arguments &arguments);

// A whole number in decimal digits, from least to most, or nothing: no sign, no other base.
std::optional<long> parseWhole(const std::string &text, long least, long most);

} // namespace command_line
