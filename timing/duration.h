#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace timing {

using Nanoseconds = std::chrono::nanoseconds;

// A duration as a person types it: a number, with a fraction if wanted, and its unit: 250us
// (or 250µs), 1ms, 0.5s. More than zero and up to an hour; finer than a nanosecond is refused.
std::optional<Nanoseconds> parseDuration(std::string_view text);

// The Spanish words that say which forms are accepted, for the messages of wrong usage.
inline constexpr const char *DurationForms =
    "un número y su unidad, us, ms o s, como 250us, 1ms o 0.5s (más de 0 y hasta 1 hora)";

// The duration rounded up to whole microseconds, in the form parseDuration reads: the smallest
// figure a message can suggest that still works.
std::string durationTextUp(Nanoseconds duration);

} // namespace timing
