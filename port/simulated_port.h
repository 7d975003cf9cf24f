#pragma once

#include "connector.h"
#include "port_driver.h"

#include <vector>

namespace port {

struct PortAccess
{
    enum class Kind { Read, Write };

    Kind kind;
    std::uint16_t address;
    PortValue value;

    bool operator==(const PortAccess &) const = default;
};

// A wire of a plug in the connector, from an output pin to an input pin, by pin number.
struct Wire
{
    int output;
    int input;

    bool operator==(const Wire &) const = default;
};

// A parallel port at 0x378 that exists only in memory, for machines without port access and for
// tests. It behaves like an idle port, with nothing plugged in unless a plug's wires are given:
//  - data (888) keeps the low 8 bits of the last write and reads them back; 0 at start;
//  - status (889): every input line is pulled high, and a wired one follows its outputs (several
//    outputs on one input: a low one wins). With nothing plugged in it reads IdleStatus: 1 on
//    nError, Select, PaperOut and nAck (bits 3-6), 0 on Busy (bit 7, inverted by the port); the
//    unused bits 0-2 read 0. Each line's level goes through the connector's inversions;
//  - control (890) keeps the low 8 bits of the last write and reads them back; 0 at start;
//  - any other address reads 255, as a floating bus does, and ignores writes.
class SimulatedPort : public PortDriver
{
public:
    static constexpr std::uint16_t DataRegister = FirstPortBase;
    static constexpr std::uint16_t StatusRegister = FirstPortBase + 1;
    static constexpr std::uint16_t ControlRegister = FirstPortBase + 2;
    static constexpr PortValue IdleStatus = 0x78;
    static constexpr PortValue FloatingBus = 0xFF;

    // Recording is for tests; the program leaves it off so a long session does not grow.
    explicit SimulatedPort(bool recordAccesses = false, std::vector<Wire> plug = {});

    PortValue read(std::uint16_t address) override;
    void write(std::uint16_t address, PortValue value) override;

    const std::vector<PortAccess> &accesses() const { return m_accesses; }
    int count(PortAccess::Kind kind, std::uint16_t address) const;
    void clearAccesses() { m_accesses.clear(); }

private:
    void record(PortAccess::Kind kind, std::uint16_t address, PortValue value);
    PortValue status() const;

    bool m_recording;
    std::vector<Wire> m_plug;
    PortValue m_data = 0;
    PortValue m_control = 0;
    std::vector<PortAccess> m_accesses;
};

} // namespace port
