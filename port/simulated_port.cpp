#include "simulated_port.h"

#include <algorithm>

namespace port {

SimulatedPort::SimulatedPort(bool recordAccesses)
    : m_recording(recordAccesses)
{}

PortValue SimulatedPort::read(std::uint16_t address)
{
    PortValue value = FloatingBus;
    switch (address) {
    case DataRegister:
        value = m_data;
        break;
    case StatusRegister:
        value = IdleStatus;
        break;
    case ControlRegister:
        value = m_control;
        break;
    }
    record(PortAccess::Kind::Read, address, value);
    return value;
}

void SimulatedPort::write(std::uint16_t address, PortValue value)
{
    record(PortAccess::Kind::Write, address, value);
    // The registers are eight bits wide: anything above bit 7 does not exist on the port.
    if (address == DataRegister)
        m_data = static_cast<PortValue>(value & 0xFF);
    else if (address == ControlRegister)
        m_control = static_cast<PortValue>(value & 0xFF);
}

int SimulatedPort::count(PortAccess::Kind kind, std::uint16_t address) const
{
    return static_cast<int>(
        std::count_if(m_accesses.begin(), m_accesses.end(),
                      [&](const PortAccess &a) { return a.kind == kind && a.address == address; }));
}

void SimulatedPort::record(PortAccess::Kind kind, std::uint16_t address, PortValue value)
{
    if (m_recording)
        m_accesses.push_back({kind, address, value});
}

} // namespace port
