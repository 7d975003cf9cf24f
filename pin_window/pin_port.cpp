#include "pin_port.h"

#include "doctor.h"
#include "port_error.h"

namespace pins {

PinPort::PinPort(port::Session &session)
    : m_session(session)
{}

Reading PinPort::sample(std::uint16_t base)
{
    Reading reading;
    try {
        const port::Action action = m_session.beginAction();
        port::Registers r;
        r.data = std::uint8_t(m_session.read(base));
        r.status = std::uint8_t(m_session.read(std::uint16_t(base + 1)));
        r.control = std::uint8_t(m_session.read(std::uint16_t(base + 2)));
        reading.registers = r;
    } catch (const port::PortError &error) {
        reading.failure = error.what();
    }
    return reading;
}

std::string PinPort::write(std::uint16_t address, std::uint8_t value)
{
    try {
        const port::Action action = m_session.beginAction();
        m_session.write(address, value);
    } catch (const port::PortError &error) {
        // A click's error: the port doctor's word on the address. The polled reading above keeps
        // the driver's reason, as the doctor runs only when a person is to be told.
        return m_session.explain(error);
    }
    return {};
}

selftest::Result PinPort::selfTest(std::uint16_t base)
{
    return selftest::run(m_session, base, selftest::optionsFor(m_session, base));
}

std::vector<OfferedPort> offeredPorts()
{
    std::vector<OfferedPort> offered;
    for (const doctor::NamedPort &port : doctor::namedPorts())
        offered.push_back({port.base, port.label});
    if (offered.empty())
        offered = {{0x378, "LPT1"}, {0x278, "LPT2"}, {0x3BC, "LPT1 (vídeo)"}};
    return offered;
}

} // namespace pins
