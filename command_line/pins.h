#pragma once

#include "connector.h"

#include <cstdint>
#include <string>

namespace command_line {

using port::isInput;
using port::level;
using port::Pin;
using port::Register;
using port::Registers;
using port::signalPins;

// The table of the 17 pins, a line each, then the ground pins and the data direction.
// controlIsOwn: the control register read back is this process's own (through ppdev), not the
// lines at the connector. changed marks pins whose level differs from that in before.
std::string pinTable(std::uint16_t base, const Registers &registers, bool controlIsOwn,
                     const Registers *before = nullptr);

} // namespace command_line
