#include "pin_model.h"

namespace pins {

std::array<Level, 17> levels(const std::optional<port::Registers> &registers)
{
    std::array<Level, 17> result;
    result.fill(Level::Unknown);
    if (registers)
        for (std::size_t i = 0; i < result.size(); ++i)
            result[i] = Level(port::level(port::signalPins()[i], *registers));
    return result;
}

void PinTrace::add(Millis now, Level level)
{
    if (m_steps.empty() || m_steps.back().level != level) {
        if (!m_steps.empty() && level != Level::Unknown) {
            // A change across a gap of failed samples is a change too, but not the first level.
            for (auto it = m_steps.rbegin(); it != m_steps.rend(); ++it)
                if (it->level != Level::Unknown) {
                    if (it->level != level)
                        m_lastChange = now;
                    break;
                }
        }
        m_steps.push_back({now, level});
    }
    // The step in force at the span's start is kept, so that the trace reaches back to it.
    while (m_steps.size() > 1 && m_steps[1].at <= now - TraceSpan)
        m_steps.pop_front();
}

std::string accessibleName(int pinNumber, const std::optional<port::Registers> &registers)
{
    std::string text = "Pin " + std::to_string(pinNumber);
    if (pinNumber < 1 || pinNumber > 17)
        return text + ", masa";
    const port::Pin &pin = port::signalPins()[std::size_t(pinNumber - 1)];
    text += std::string(", ") + pin.name;
    if (!registers)
        return text + ", sin lectura";
    return text + (port::isInput(pin, *registers) ? ", entrada" : ", salida")
           + (port::level(pin, *registers) ? ", alto" : ", bajo");
}

std::string verdictText(const selftest::PinResult &pin)
{
    std::string with;
    for (const int other : pin.with)
        with += std::string(with.empty() ? " " : ", ") + std::to_string(other);
    switch (pin.verdict) {
    case selftest::Verdict::Pass:
        return "pasa" + (with.empty() ? std::string() : " (con" + with + ")");
    case selftest::Verdict::StuckLow:
        return "atascada en bajo";
    case selftest::Verdict::StuckHigh:
        return "atascada en alto";
    case selftest::Verdict::Shorted:
        return "en corto con" + with;
    case selftest::Verdict::NotWired:
        return "sin cable en el conector";
    case selftest::Verdict::Untested:
        break;
    }
    return "sin probar";
}

std::optional<Write> toggle(const port::Pin &pin, const port::Registers &registers)
{
    if (port::isInput(pin, registers))
        return std::nullopt;
    const auto bit = std::uint8_t(1u << pin.bit);
    if (pin.reg == port::Register::Data)
        return Write{0, std::uint8_t(registers.data ^ bit)};
    return Write{2, std::uint8_t(registers.control ^ bit)};
}

Write dataDirection(bool inputs, const port::Registers &registers)
{
    const auto others = std::uint8_t(registers.control & ~port::ControlReverse);
    return {2, std::uint8_t(inputs ? others | port::ControlReverse : others)};
}

} // namespace pins
