#include "options.h"

#include "arguments.h"

#include <climits>

namespace command_line {

namespace {

// An option of another command is a wrong usage, whatever else the arguments hold.
void onlyOptionsOf(const Arguments &a, bool formats, bool watch)
{
    if ((!formats && (a.hex || a.bin)) || (!watch && (a.watch || a.interval || a.count)))
        throw UsageError{"esa opción no es de «velmora " + a.command + "»"};
}

void atMost(const Arguments &a, std::size_t operands)
{
    if (a.operands.size() > operands)
        throw UsageError{"sobra «" + a.operands[operands] + "» en «velmora " + a.command + "»"};
}

std::uint16_t address(const std::string &text)
{
    if (const auto parsed = parseAddress(text))
        return *parsed;
    throw UsageError{"«" + text + "» no es una dirección de puerto; escríbala en " + AddressForms
                     + "."};
}

} // namespace

std::optional<long> parseWhole(const std::string &text, long least, long most)
{
    if (text.empty())
        return std::nullopt;
    long number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || number > (most - (c - '0')) / 10)
            return std::nullopt;
        number = number * 10 + (c - '0');
    }
    return number < least ? std::nullopt : std::optional<long>(number);
}

ReadOptions parseRead(const Arguments &a)
{
    onlyOptionsOf(a, true, false);
    if (a.operands.empty())
        throw UsageError{"falta la DIRECCIÓN que leer"};
    atMost(a, 1);
    return {address(a.operands[0]),
            a.hex   ? Format::Hex
            : a.bin ? Format::Binary
                    : Format::Decimal,
            a.simulated};
}

WriteOptions parseWrite(const Arguments &a)
{
    onlyOptionsOf(a, false, false);
    if (a.operands.size() < 2)
        throw UsageError{"faltan la DIRECCIÓN y el VALOR"};
    atMost(a, 2);
    const std::uint16_t port = address(a.operands[0]);
    const auto value = parseValue(a.operands[1]);
    if (!value)
        throw UsageError{"«" + a.operands[1] + "» no es un valor de un byte; escríbalo en "
                         + ValueForms + "."};
    return {port, *value, a.simulated};
}

PinsOptions parsePins(const Arguments &a)
{
    onlyOptionsOf(a, false, true);
    if (!a.watch && (a.interval || a.count))
        throw UsageError{"--interval y --count son de «velmora pins --watch»"};
    atMost(a, 1);
    PinsOptions options;
    options.simulated = a.simulated;
    if (!a.operands.empty()) {
        // Its three registers must lie within the 16-bit space.
        options.base = address(a.operands[0]);
        if (*options.base > 0xFFFD)
            throw UsageError{"la BASE de un puerto va hasta FFFDh, no «" + a.operands[0] + "»"};
    }
    if (!a.watch)
        return options;
    WatchOptions &watch = options.watch.emplace();
    if (a.interval) {
        const auto ms = parseWhole(*a.interval, 10, 10000);
        if (!ms)
            throw UsageError{"--interval va de 10 a 10000 milisegundos, no «" + *a.interval + "»"};
        watch.intervalMs = int(*ms);
    }
    if (a.count) {
        const auto count = parseWhole(*a.count, 1, LONG_MAX);
        if (!count)
            throw UsageError{"--count pide un número de muestras, no «" + *a.count + "»"};
        watch.count = *count;
    }
    return options;
}

void parsePorts(const Arguments &a)
{
    onlyOptionsOf(a, false, false);
    atMost(a, 0);
}

UsageError unknownCommand(const Arguments &a)
{
    onlyOptionsOf(a, false, false);
    return {"no se conoce la orden «" + a.command + "»"};
}

} // namespace command_line
