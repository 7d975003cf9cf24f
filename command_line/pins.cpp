#include "pins.h"

#include <cstdio>

namespace command_line {

namespace {

const char *registerName(Register reg)
{
    return reg == Register::Data ? "datos" : reg == Register::Status ? "estado" : "control";
}

} // namespace

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
    text += registers.control & port::ControlReverse
                ? "Datos: entrada (bit 5 de control a 1): D0-D7 leen las líneas del conector.\n"
                : "Datos: salida (bit 5 de control a 0).\n";
    if (controlIsOwn)
        text += "* Por ppdev, los pines de control y el sentido de los datos son los que puso "
                "este proceso (cada programa tiene los suyos; uno nuevo empieza en 0Ch), no los "
                "que se ven en el conector.\n";
    return text;
}

} // namespace command_line
