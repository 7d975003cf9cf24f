#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace command_line {

// A port address as a script writes it: decimal, 0 to 65535 (a PCIe card at 53264 can be typed so),
// or hexadecimal as 0x378, 378h or &H378, in either case.
std::optional<std::uint16_t> parseAddress(std::string_view text);

// A byte: decimal 0 to 255, hexadecimal as an address is, or binary as 0b10100101.
std::optional<std::uint8_t> parseValue(std::string_view text);

// The Spanish words that say which forms are accepted, for the messages of wrong usage.
inline constexpr const char *AddressForms =
    "decimal de 0 a 65535, o hexadecimal como 0x378, 378h o &H378";
inline constexpr const char *ValueForms =
    "decimal de 0 a 255, hexadecimal como 0xA5, A5h o &HA5, o binario como 0b10100101";

} // namespace command_line
