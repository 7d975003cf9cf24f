#include "pins.h"

#include <cstdio>

namespace command_line {

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

namespace {

std::uint8_t byteOf(Register reg, const Registers &r)
{
    return reg == Register::Data ? r.data : reg == Register::Status ? r.status : r.control;
}

const char *registerName(Register reg)
{
    return reg == Register::Data ? "datos" : reg == Register::Status ? "estado" : "control";
}

constexpr std::uint8_t ControlReverse = 0x20;

} // namespace

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

std::string pinTable(std::uint16_t base, const Registers &registers, bool controlIsOwn,
                     const Registers *before)
{
    char line[160];
    std::string text;
    std::snprintf(line, sizeof line,
                  "Puerto %Xh: datos %02Xh, estado %02Xh, control %02Xh\n\n"
                  "Pin  Señal      Sentido  Nivel  Registro\n",
                  unsigned(base), unsigned(registers.data), unsigned(registers.status),
                  unsigned(registers.control));
    text += line;
    for (const Pin &pin : signalPins()) {
        const bool own = controlIsOwn && pin.reg == Register::Control;
        const bool changed = before && level(pin, *before) != level(pin, registers);
        std::snprintf(line, sizeof line, "%3d  %-10s %-8s %4d%s  %s bit %d%s%s\n", pin.number,
                      pin.name, isInput(pin, registers) ? "entrada" : "salida",
                      level(pin, registers), own ? "*" : " ", registerName(pin.reg), pin.bit,
                      pin.inverted ? ", invertido" : "", changed ? "   <- cambió" : "");
        text += line;
    }
    text += "18-25  masa\n\n";
    text += registers.control & ControlReverse
                ? "Datos: entrada (bit 5 de control a 1): D0-D7 leen las líneas del conector.\n"
                : "Datos: salida (bit 5 de control a 0).\n";
    if (controlIsOwn)
        text += "* Por ppdev, los pines de control y el sentido de los datos son los que puso "
                "este proceso (cada programa tiene los suyos; uno nuevo empieza en 0Ch), no los "
                "que se ven en el conector.\n";
    return text;
}

} // namespace command_line
