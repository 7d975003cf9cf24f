#include "options.h"

#include "arguments.h"

#include <algorithm>
#include <climits>
#include <initializer_list>

namespace command_line {

namespace {

// An option of another command is a wrong usage, whatever else the arguments hold. Every command
// that reaches a port takes --simulated.
void onlyOptionsOf(const Arguments &a, std::initializer_list<std::string_view> taken,
                   const char *help = "velmora --help")
{
    for (const std::string &option : a.options)
        if (option != "--simulated" && std::find(taken.begin(), taken.end(), option) == taken.end())
            throw UsageError{"esa opción no es de «velmora " + a.command + "»", help};
}

void atMost(const Arguments &a, std::size_t operands, const char *help = "velmora --help")
{
    if (a.operands.size() > operands)
        throw UsageError{"sobra «" + a.operands[operands] + "» en «velmora " + a.command + "»",
                         help};
}

std::uint16_t address(const std::string &text, const char *help = "velmora --help")
{
    if (const auto parsed = parseAddress(text))
        return *parsed;
    throw UsageError{
        "«" + text + "» no es una dirección de puerto; escríbala en " + AddressForms + ".", help};
}

// A port's BASE: its three registers must lie within the 16-bit space.
std::uint16_t base(const std::string &text)
{
    const std::uint16_t given = address(text);
    if (given > 0xFFFD)
        throw UsageError{"la BASE de un puerto va hasta FFFDh, no «" + text + "»"};
    return given;
}

timing::Nanoseconds duration(const char *option, const std::string &text, const char *help)
{
    if (const auto parsed = timing::parseDuration(text))
        return *parsed;
    throw UsageError{std::string(option) + " «" + text + "» no es una duración; escríbala como "
                         + timing::DurationForms + ".",
                     help};
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
    onlyOptionsOf(a, {"--hex", "--bin"});
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
    onlyOptionsOf(a, {});
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
    onlyOptionsOf(a,
                  {"--json", "--watch", "--interval", "--count", "--vcd", "--fast", "--duration"});
    if (!a.watch && (a.interval || a.count || a.vcd || a.fast || a.duration))
        throw UsageError{"--interval, --count, --vcd, --fast y --duration son de «velmora pins "
                         "--watch»"};
    if (a.fast != a.duration.has_value())
        throw UsageError{"--fast y --duration van juntas: --fast --duration 2s"};
    if (a.fast && (a.interval || a.count))
        throw UsageError{"--fast muestrea tan deprisa como puede: sin --interval ni --count"};
    atMost(a, 1);
    PinsOptions options;
    options.simulated = a.simulated;
    options.json = a.json;
    if (!a.operands.empty())
        options.base = base(a.operands[0]);
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
    watch.vcd = a.vcd;
    if (a.duration)
        watch.fast = duration("--duration", *a.duration, "velmora --help");
    return options;
}

PortsOptions parsePorts(const Arguments &a)
{
    onlyOptionsOf(a, {"--json"});
    atMost(a, 0);
    return {a.json};
}

PulseOptions parsePulse(const Arguments &a)
{
    const char *const help = "velmora pulse --help";
    onlyOptionsOf(a, {"--json", "--width", "--count", "--period", "--idle"}, help);
    if (a.operands.size() < 2)
        throw UsageError{"faltan la DIRECCIÓN y el VALOR del pulso", help};
    atMost(a, 2, help);
    PulseOptions options;
    options.json = a.json;
    options.simulated = a.simulated;
    timing::Pulse &pulse = options.pulse;
    pulse.address = address(a.operands[0], help);
    const auto value = parseValue(a.operands[1]);
    if (!value)
        throw UsageError{"«" + a.operands[1] + "» no es un valor de un byte; escríbalo en "
                             + ValueForms + ".",
                         help};
    pulse.value = *value;
    if (a.idle) {
        options.idle = parseValue(*a.idle);
        if (!options.idle)
            throw UsageError{"--idle «" + *a.idle + "» no es un valor de un byte; escríbalo en "
                                 + ValueForms + ".",
                             help};
    }
    if (!a.width)
        throw UsageError{"falta --width, el ancho del pulso (como 250us, 1ms o 0.5s)", help};
    pulse.width = duration("--width", *a.width, help);
    if (a.count) {
        const auto count = parseWhole(*a.count, 1, 1'000'000'000);
        if (!count)
            throw UsageError{"--count va de 1 a 1000000000 pulsos, no «" + *a.count + "»", help};
        pulse.count = *count;
    }
    if (pulse.count > 1 && !a.period)
        throw UsageError{"con --count mayor que 1 hace falta --period, de un pulso al siguiente "
                         "(como 2ms)",
                         help};
    if (a.period)
        pulse.period = duration("--period", *a.period, help);
    return options;
}

SelftestOptions parseSelftest(const Arguments &a)
{
    onlyOptionsOf(a, {"--yes", "--json", "--simulated="});
    atMost(a, 1);
    SelftestOptions options;
    if (!a.operands.empty())
        options.base = base(a.operands[0]);
    options.yes = a.yes;
    options.json = a.json;
    options.simulated = a.simulated;
    if (a.simulatedAs) {
        if (*a.simulatedAs != "loopback")
            throw UsageError{
                "--simulated solo admite «=loopback», no «--simulated=" + *a.simulatedAs + "»"};
        options.loopback = true;
    }
    return options;
}

UsageError unknownCommand(const Arguments &a)
{
    onlyOptionsOf(a, {});
    return {"no se conoce la orden «" + a.command + "»"};
}

} // namespace command_line
