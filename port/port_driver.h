#pragma once

#include <cstdint>

using PortAddress = std::int16_t;
using PortValue = std::int16_t;

namespace port {

// One way of reaching I/O ports. Addresses arrive as their 16-bit pattern (address -1 is 0xFFFF).
class PortDriver
{
public:
    virtual ~PortDriver() = default;

    virtual PortValue read(std::uint16_t address) = 0;
    virtual void write(std::uint16_t address, PortValue value) = 0;
    // The end of one action of the person at the machine (a click, the refresh a keystroke
    // runs): a driver gives back what it claimed for it, such as a port shared with others.
    virtual void endAction() {}
};

} // namespace port
