#pragma once

#include "port_session.h"
#include "simulated_port.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The loopback self-test of a parallel port: its latches, its direction bit, its ECP control
// register, and which of its inputs follow which outputs through a plug in the connector.
namespace selftest {

// A loopback plug many people own, by the wires it holds.
struct Plug
{
    const char *id;   // for JSON: "datos", "control"
    const char *name; // for people, in Spanish
    std::array<port::Wire, 5> wires;
};

// The common plug (2→15, 3→13, 4→12, 5→10, 6→11) first, then the one on the control lines.
const std::array<Plug, 2> &knownPlugs();

struct Options
{
    // Whether a control read gives the register: through ppdev it gives the driver's copy of what
    // was written, so the control latch cannot be tested there.
    bool controlReadsHardware = true;
    // The ECP block whose ECR (at + 2) this process may reach; none: not probed.
    std::optional<std::uint16_t> ecpBlock;
    // How long the inputs get to follow a write before they are read: a cable's lines take a few
    // microseconds; scripted ports need none.
    std::chrono::nanoseconds settle = std::chrono::microseconds(20);
    // Set (from a signal handler too: it is lock-free) to stop the test; the port is restored
    // all the same.
    const std::atomic<bool> *cancel = nullptr;
};

enum class Ending { Completed, NoPort, AccessFailed, Cancelled };
enum class Outcome { NotTested, Passed, Failed };
enum class Ecr { NotProbed, Absent, Present };
// An output passes when an input follows it; an input, when it follows one output.
enum class Verdict { Pass, StuckLow, StuckHigh, Shorted, NotWired, Untested };

struct Latch
{
    Outcome outcome = Outcome::NotTested;
    std::uint8_t written = 0; // the first value that did not read back, when failed
    std::uint8_t read = 0;
};

struct PinResult
{
    int pin = 0;
    Verdict verdict = Verdict::Untested;
    std::vector<int> with; // the pins it follows or is shorted to
};

struct Result
{
    std::uint16_t base = 0;
    Ending ending = Ending::Completed;
    std::string failure; // what the failed access said
    Latch data;
    Latch control;
    std::optional<bool> bidirectional;
    Ecr ecr = Ecr::NotProbed;
    std::uint16_t ecpBlock = 0;
    bool wiringTested = false;
    std::vector<port::Wire> wiring; // every output an input follows, as found
    const Plug *plug = nullptr;     // the known plug the wiring is, or nullptr
    std::array<PinResult, 17> pins{};
    bool restored = false; // data, control and ECR written back as found
    long accesses = 0;
    std::chrono::microseconds elapsed{0};
};

enum ExitStatus : int { Passed = 0, Unreachable = 1, Fault = 3, NoPlug = 4, Cancelled = 130 };

// The options the path to base calls for: through ppdev a control read gives the driver's copy,
// and the ECP block is probed only where some path reaches it. Opens the session's ports.
Options optionsFor(port::Session &session, std::uint16_t base);

// Runs the whole test as one action of the session. A port that fails an access
// ends the test early; so does the cancel flag. Either way the registers are restored.
Result run(port::Session &session, std::uint16_t base, const Options &options = {});

// No input follows any output: nothing is plugged in.
bool noPlug(const Result &result);
int exitStatus(const Result &result);

// A short table in Spanish, and the same as JSON.
std::string textReport(const Result &result);
std::string jsonReport(const Result &result);

} // namespace selftest
