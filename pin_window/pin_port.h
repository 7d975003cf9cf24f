#pragma once

#include "connector.h"
#include "port_session.h"
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

// The pin window's one way to its port: the main window's session, which outlives it. Each call
// is one action of the session, so that a port shared with the main window and other programs is
// claimed for it only and given back.
class PinPort
{
public:
    explicit PinPort(port::Session &session);

    Reading sample(std::uint16_t base);
    // The failure's text, or empty.
    std::string write(std::uint16_t address, std::uint8_t value);
    selftest::Result selfTest(std::uint16_t base);

private:
    port::Session &m_session;
};

// The bases offered to choose from, in hexadecimal: the ports the system's records name (the
// port doctor's list: the kernel's, PCI cards and the firmware's; Windows' LPT ports), else the
// three usual ones.
struct OfferedPort
{
    std::uint16_t base;
    std::string label; // "parport0", "LPT1"
};
std::vector<OfferedPort> offeredPorts();

} // namespace pins
