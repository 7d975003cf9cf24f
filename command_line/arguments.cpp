#include "arguments.h"

namespace command_line {

namespace {

// The digits of text in the base, or nothing if any is not one or the number passes limit.
std::optional<unsigned> digits(std::string_view text, unsigned base, unsigned limit)
{
    if (text.empty())
        return std::nullopt;
    unsigned number = 0;
    for (const char c : text) {
        unsigned digit = base;
        if (c >= '0' && c <= '9')
            digit = unsigned(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = unsigned(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = unsigned(c - 'A' + 10);
        if (digit >= base)
            return std::nullopt;
        number = number * base + digit;
        if (number > limit)
            return std::nullopt;
    }
    return number;
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
