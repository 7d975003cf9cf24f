#include "connector.h"

namespace port {

const std::array<Pin, 17> &signalPins()
{
    static const std::array<Pin, 17> pins{{
        {1, "nStrobe", Register::Control, 0, true},
        {2, "D0", Register::Data, 0, false},
        {3, "D1", Register::Data, 1, false},
        {4, "D2", Register::Data, 2, false},
        {5, "D3", Register::Data, 3, false},
        {6, "D4", Register::Data, 4, false},
        {7, "D5", Register::Data, 5, false},
        {8, "D6", Register::Data, 6, false},
        {9, "D7", Register::Data, 7, false},
        {10, "nAck", Register::Status, 6, false},
        {11, "Busy", Register::Status, 7, true},
        {12, "PaperOut", Register::Status, 5, false},
        {13, "Select", Register::Status, 4, false},
        {14, "nAutoFeed", Register::Control, 1, true},
        {15, "nError", Register::Status, 3, false},
        {16, "nInit", Register::Control, 2, false},
        {17, "nSelectIn", Register::Control, 3, true},
    }};
    return pins;
}

std::uint8_t byteOf(Register reg, const Registers &r)
{
    return reg == Register::Data ? r.data : reg == Register::Status ? r.status : r.control;
}

int level(const Pin &pin, const Registers &registers)
{
    const int bit = (byteOf(pin.reg, registers) >> pin.bit) & 1;
    return pin.inverted ? bit ^ 1 : bit;
}

bool isInput(const Pin &pin, const Registers &registers)
{
    return pin.reg == Register::Status
           || (pin.reg == Register::Data && (registers.control & ControlReverse));
}

} // namespace port
