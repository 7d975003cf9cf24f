#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace command_line {

// The three registers of a port, as read in one sample.
struct Registers
{
    std::uint8_t data = 0;
    std::uint8_t status = 0;
    std::uint8_t control = 0;

    bool operator==(const Registers &) const = default;
};

enum class Register { Data, Status, Control };

// One of the 17 signal pins of the 25-pin connector, and the register bit it comes from.
struct Pin
{
    int number;
    const char *name;
    Register reg;
    int bit;
    bool inverted; // the port inverts the line between the pin and the register
};

// Pins 1 to 17 in order. Busy, nStrobe, nAutoFeed and nSelectIn are inverted by the port.
const std::array<Pin, 17> &signalPins();

// The level at the pin, 0 or 1, with the port's inversions applied.
int level(const Pin &pin, const Registers &registers);

// Whether the pin is an input of this computer now (the data lines are, with control bit 5 set).
bool isInput(const Pin &pin, const Registers &registers);

// The table of the 17 pins, a line each, then the ground pins and the data direction.
// controlIsOwn: the control register read back is this process's own (through ppdev), not the
// lines at the connector. changed marks pins whose level differs from that in before.
std::string pinTable(std::uint16_t base, const Registers &registers, bool controlIsOwn,
                     const Registers *before = nullptr);

} // namespace command_line
