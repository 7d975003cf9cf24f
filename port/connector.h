#pragma once

#include <array>
#include <cstdint>

namespace port {

// The three registers of a port, as read in one sample.
struct Registers
{
    std::uint8_t data = 0;
    std::uint8_t status = 0;
    std::uint8_t control = 0;

    bool operator==(const Registers &) const = default;
};

enum class Register { Data, Status, Control };

// The data register of the first parallel port, 888 (378h); status and control follow it. The
// window shows this port, the simulated port stands for it, and the command line and the helper
// start from it.
inline constexpr std::uint16_t FirstPortBase = 0x378;

// Control bit 5: the data lines are inputs (a bidirectional port reads the connector's lines).
inline constexpr std::uint8_t ControlReverse = 0x20;

// One of the 17 signal pins of the 25-pin connector, and the register bit it comes from.
struct Pin
{
    int number;
    const char *name;
    Register reg;
    int bit;
    bool inverted; // the port inverts the line between the pin and the register
};

// Pins 1 to 17 in order. Busy, nStrobe, nAutoFeed and nSelectIn are inverted by the port; 18 to
// 25 are ground.
const std::array<Pin, 17> &signalPins();

// The register's byte in a sample.
std::uint8_t byteOf(Register reg, const Registers &registers);

// The level at the pin, 0 or 1, with the port's inversions applied.
int level(const Pin &pin, const Registers &registers);

// Whether the pin is an input of this computer now (the data lines are, with control bit 5 set).
bool isInput(const Pin &pin, const Registers &registers);

} // namespace port
