#pragma once

#include "connector.h"
#include "port_driver.h"
#include "port_error.h"
#include "port_session.h"

#include <utility>

// The program's own parallel port: the data register of the first port, 0x378. Despite its name
// it is the data register, not the status register (379h): the display shows the pins 2-9.
inline constexpr PortAddress StatusPort = port::FirstPortBase;

// The window's way to the session it was given, by the names and signatures of the port library
// its design was written on. Addresses pass on as their 16-bit pattern (address -1 is 0xFFFF).
// Both throw port::PortError as the session does.
class Inpout
{
public:
    explicit Inpout(port::Session session)
        : m_session(std::move(session))
    {}

    PortValue Inp32(PortAddress address)
    {
        return m_session.read(static_cast<std::uint16_t>(address));
    }
    void Out32(PortAddress address, PortValue value)
    {
        m_session.write(static_cast<std::uint16_t>(address), value);
    }

    port::Session &session() { return m_session; }
    const port::Session &session() const { return m_session; }

private:
    port::Session m_session;
};
