#include "duration.h"

#include <cstdint>

namespace timing {

std::optional<Nanoseconds> parseDuration(std::string_view text)
{
    std::size_t end = 0;
    while (end < text.size() && ((text[end] >= '0' && text[end] <= '9') || text[end] == '.'))
        ++end;
    const std::string_view number = text.substr(0, end);
    const std::string_view unit = text.substr(end);
    std::int64_t scale = 0;
    if (unit == "us" || unit == "µs")
        scale = 1'000;
    else if (unit == "ms")
        scale = 1'000'000;
    else if (unit == "s")
        scale = 1'000'000'000;
    const auto dot = number.find('.');
    const bool twoDots = dot != number.npos && number.find('.', dot + 1) != number.npos;
    if (scale == 0 || twoDots || number.find_first_of("0123456789") == number.npos)
        return std::nullopt;

    // Whole part and fraction apart, in integers: 0.1s is exactly 100 ms, as typed.
    constexpr std::int64_t Limit = 3'600'000'000'000; // an hour, in nanoseconds
    std::int64_t whole = 0;
    for (const char c : number.substr(0, dot)) {
        whole = whole * 10 + (c - '0');
        if (whole > Limit / scale)
            return std::nullopt;
    }
    std::int64_t total = whole * scale;
    if (dot != number.npos) {
        std::int64_t place = scale;
        for (const char c : number.substr(dot + 1)) {
            place /= 10;
            if (c != '0' && place == 0)
                return std::nullopt; // finer than a nanosecond
            total += (c - '0') * place;
        }
    }
    if (total <= 0 || total > Limit)
        return std::nullopt;
    return Nanoseconds(total);
}

std::string durationTextUp(Nanoseconds duration)
{
    const std::int64_t us = (duration.count() + 999) / 1000;
    if (us >= 1000 && us % 1000 == 0)
        return std::to_string(us / 1000) + "ms";
    return std::to_string(us) + "us";
}

} // namespace timing
