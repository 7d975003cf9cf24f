#include "simulated_port.h"

#include <algorithm>

namespace port {

SimulatedPort::SimulatedPort(bool recordAccesses, std::vector<Wire> plug)
    : m_recording(recordAccesses)
    , m_plug(std::move(plug))
{}

PortValue SimulatedPort::status() const
{
    const Registers lines{static_cast<std::uint8_t>(m_data), 0,
                          static_cast<std::uint8_t>(m_control)};
    const auto &pins = signalPins();
    int status = 0;
    for (const Pin &input : pins) {
        if (input.reg != Register::Status)
            continue;
        int high = 1;
        for (const Wire &wire : m_plug) {
            const Pin &output = pins[std::size_t(wire.output - 1)];
            // A data line turned into an input is driven by nothing here, so it floats high.
            if (wire.input == input.number && !isInput(output, lines))
                high &= level(output, lines);
        }
        status |= (input.inverted ? high ^ 1 : high) << input.bit;
    }
    return static_cast<PortValue>(status);
}

PortValue SimulatedPort::read(std::uint16_t address)
{
    PortValue value = FloatingBus;
    switch (address) {
    case DataRegister:
        value = m_data;
        break;
    case StatusRegister:
        value = status();
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
