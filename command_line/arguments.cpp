#include "arguments.h"

#include "number_text.h"

namespace command_line {

namespace {

// The whole of text as digits of the base, or nothing if there are none, any character is not
// one, or the number passes limit.
std::optional<unsigned> digits(std::string_view text, int base, unsigned limit)
{
    const auto read = number_text::LeadingDigits(text, base);
    if (read.count == 0 || read.count != text.size() || read.value > limit)
        return std::nullopt;
    return static_cast<unsigned>(read.value);
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if ((text[i] | 0x20) != (prefix[i] | 0x20))
            return false;
    return true;
}

std::optional<unsigned> number(std::string_view text, unsigned limit, bool binary)
{
    if (startsWith(text, "0x") || startsWith(text, "&h"))
        return digits(text.substr(2), 16, limit);
    if (binary && startsWith(text, "0b"))
        return digits(text.substr(2), 2, limit);
    if (!text.empty() && (text.back() == 'h' || text.back() == 'H'))
        return digits(text.substr(0, text.size() - 1), 16, limit);
    return digits(text, 10, limit);
}

} // namespace

std::optional<std::uint16_t> parseAddress(std::string_view text)
{
    const auto n = number(text, 0xFFFF, false);
    return n ? std::optional<std::uint16_t>(static_cast<std::uint16_t>(*n)) : std::nullopt;
}

std::optional<std::uint8_t> parseValue(std::string_view text)
{
    const auto n = number(text, 0xFF, true);
    return n ? std::optional<std::uint8_t>(static_cast<std::uint8_t>(*n)) : std::nullopt;
}

} // namespace command_line
