#pragma once

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
};

// The arguments as given, sorted into the command, its operands and the options.
struct Arguments
{
    std::string command;
    std::vector<std::string> operands;
    bool hex = false;
    bool bin = false;
    bool watch = false;
    bool simulated = false;
    std::optional<std::string> interval;
    std::optional<std::string> count;
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
    long count = 0; // samples; 0 until stopped
};

struct PinsOptions
{
    std::optional<std::uint16_t> base; // the first port the kernel knows when not given
    std::optional<WatchOptions> watch;
    bool simulated = false;
};

ReadOptions parseRead(const Arguments &arguments);
WriteOptions parseWrite(const Arguments &arguments);
PinsOptions parsePins(const Arguments &arguments);
void parsePorts(const Arguments &arguments);
// For a command that is none of these: what is wrong with it.
UsageError unknownCommand(const Arguments &arguments);

// A whole number in decimal digits, from least to most, or nothing: no sign, no other base.
std::optional<long> parseWhole(const std::string &text, long least, long most);

} // namespace command_line
