#pragma once

#include "connector.h"
#include "selftest.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace pins {

// One sample of a port's three registers, or why there is none.
struct Reading
{
    std::optional<port::Registers> registers;
    std::string failure; // in Spanish, when there are no registers
};

// The pin window's one way to its port. Each call is one action of the port, so that a port
// shared with the main window and other programs is claimed for it only and given back.
class PinPort
{
public:
    // The driver of the moment, or nullptr with the reason filled in.
    using DriverSource = std::function<port::PortDriver *(std::string &whyNot)>;

    explicit PinPort(DriverSource source);

    Reading sample(std::uint16_t base);
    // The failure's text, or empty.
    std::string write(std::uint16_t address, std::uint8_t value);
    selftest::Result selfTest(std::uint16_t base);

private:
    DriverSource m_source;
};

// On the driver that Inp32 and Out32 use.
PinPort boundPinPort();

// The bases offered to choose from, in hexadecimal: the kernel's parallel ports where it names
// them, else the three usual ones.
struct OfferedPort
{
    std::uint16_t base;
    std::string label; // "parport0", "LPT1"
};
std::vector<OfferedPort> offeredPorts();

} // namespace pins
