#pragma once

#include "connector.h"
#include "selftest.h"

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

// What the pin window shows, without widgets: the levels of a sample, their traces, the texts
// that name a pin, and the writes that a click on a pin makes.
namespace pins {

using Millis = std::int64_t;

// How far back the traces reach.
inline constexpr Millis TraceSpan = 10'000;

enum class Level : signed char { Unknown = -1, Low = 0, High = 1 };

// The level of each of the 17 signal pins in a sample; Unknown for all without one.
std::array<Level, 17> levels(const std::optional<port::Registers> &registers);

struct Step
{
    Millis at;
    Level level;
};

// One pin's levels over the last TraceSpan, as the steps at which it changed.
class PinTrace
{
public:
    void add(Millis now, Level level);
    void clear()
    {
        m_steps.clear();
        m_lastChange.reset();
    }

    // Oldest first; the first one may lie before the span, as the level in force at its start.
    const std::deque<Step> &steps() const { return m_steps; }
    // When a known level last changed to another known one.
    std::optional<Millis> lastChange() const { return m_lastChange; }

private:
    std::deque<Step> m_steps;
    std::optional<Millis> m_lastChange;
};

// "Pin 11, Busy, entrada, alto"; without a sample, "Pin 11, Busy, sin lectura"; ground pins
// (18 to 25), "Pin 18, masa".
std::string accessibleName(int pinNumber, const std::optional<port::Registers> &registers);

// The verdict of the self-test for a person: "pasa", "atascada en bajo", ...
std::string verdictText(const selftest::PinResult &pin);

// A register to write with the value it gets.
struct Write
{
    std::uint16_t offset; // from the base: 0 data, 2 control
    std::uint8_t value;
};

// The write that inverts an output pin's level; none for an input.
std::optional<Write> toggle(const port::Pin &pin, const port::Registers &registers);

// The write that makes the data lines inputs (reversed) or outputs.
Write dataDirection(bool inputs, const port::Registers &registers);

} // namespace pins
