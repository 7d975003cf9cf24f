#include "sample_stream.h"

#include <string>

namespace timing {

namespace {

// VCD names a wire by a short code of printable characters: one each, from '!'.
char code(std::size_t pin)
{
    return char('!' + pin);
}

} // namespace

void VcdWriter::sample(std::int64_t tUs, const port::Registers &registers)
{
    const auto &pins = port::signalPins();
    std::string text;
    if (!m_last) {
        text = "$timescale 1 us $end\n$scope module puerto $end\n";
        for (std::size_t i = 0; i < pins.size(); ++i)
            text += "$var wire 1 " + std::string(1, code(i)) + " pin"
                    + std::to_string(pins[i].number) + "_" + pins[i].name + " $end\n";
        text += "$upscope $end\n$enddefinitions $end\n#" + std::to_string(tUs) + "\n$dumpvars\n";
        for (std::size_t i = 0; i < pins.size(); ++i)
            text += char('0' + port::level(pins[i], registers)) + std::string(1, code(i)) + "\n";
        text += "$end\n";
        m_lastTime = tUs;
    } else {
        for (std::size_t i = 0; i < pins.size(); ++i)
            if (port::level(pins[i], registers) != port::level(pins[i], *m_last))
                text +=
                    char('0' + port::level(pins[i], registers)) + std::string(1, code(i)) + "\n";
        if (text.empty())
            return;
        // Changes within the same microsecond go under one timestamp: times only ever rise.
        if (tUs > m_lastTime)
            text = "#" + std::to_string(tUs) + "\n" + text;
        m_lastTime = std::max(m_lastTime, tUs);
    }
    m_last = registers;
    std::fputs(text.c_str(), m_file);
    std::fflush(m_file);
}

void VcdWriter::finish(std::int64_t tUs)
{
    if (m_last && tUs > m_lastTime)
        std::fprintf(m_file, "#%lld\n", static_cast<long long>(tUs));
    std::fflush(m_file);
}

void JsonLinesWriter::sample(std::int64_t tUs, const port::Registers &registers)
{
    std::string pins;
    for (const port::Pin &pin : port::signalPins()) {
        // Appended in two steps: GCC 12 warns falsely (-Wrestrict) on "," + std::to_string().
        if (!pins.empty())
            pins += ',';
        pins += std::to_string(port::level(pin, registers));
    }
    std::fprintf(m_file,
                 "{\"t_us\":%lld,\"base\":%u,\"data\":%u,\"status\":%u,\"control\":%u,"
                 "\"pins\":[%s]}\n",
                 static_cast<long long>(tUs), unsigned(m_base), unsigned(registers.data),
                 unsigned(registers.status), unsigned(registers.control), pins.c_str());
    std::fflush(m_file);
}

} // namespace timing
