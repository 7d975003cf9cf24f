#pragma once

// The wire format between Velmora and its port helper, velmora-portio. Every message in either
// direction is exactly four bytes:
//
//   request  op    value  address-low  address-high     op 'r' (read, value 0) or 'w' (write)
//   reply    op    value  error-low    error-high       op echoed; value read or written;
//                                                       error is an errno, 0 when done
//   hello    'V'   version error-low   error-high       sent once by the helper at start: 0
//                                                       when it may use the ports
//
// A malformed request gets a reply with EINVAL and ends the helper. A helper that may not serve
// (its hello carries an errno) ends after its hello. Every helper ends, by SIGALRM, Lifetime
// seconds after it started: it reads the kernel's list of ports once, and one started before the
// kernel took a port must not go on serving that port's registers for long.

#include <array>
#include <cstdint>

namespace portio {

using Message = std::array<std::uint8_t, 4>;

inline constexpr std::uint8_t Hello = 'V';
inline constexpr std::uint8_t Read = 'r';
inline constexpr std::uint8_t Write = 'w';
inline constexpr std::uint8_t Version = 1;
inline constexpr unsigned Lifetime = 60;

constexpr Message message(std::uint8_t op, std::uint8_t value, std::uint16_t word)
{
    return {op, value, static_cast<std::uint8_t>(word & 0xFF),
            static_cast<std::uint8_t>(word >> 8)};
}

constexpr std::uint16_t word(const Message &m)
{
    return static_cast<std::uint16_t>(m[2] | (m[3] << 8));
}

} // namespace portio
