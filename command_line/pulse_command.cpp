#include "pulse_command.h"

#include "arguments.h"
#include "command_line.h"

#include "duration.h"
#include "inpout.h"
#include "monotonic_clock.h"
#include "port_error.h"
#include "pulse_train.h"
#include "routing_port.h"
#include "simulated_port.h"

#include <csignal>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace command_line {

namespace {

const char *const PulseUsage =
    "Uso: velmora pulse DIRECCIÓN VALOR --width D [--count N --period D] [--idle VALOR]\n"
    "                   [--json] [--simulated]\n"
    "Escribe VALOR, espera el ancho D y escribe el valor de reposo (por omisión el que tenía\n"
    "el registro); con --count, N veces, una cada periodo. D como 250us, 1ms o 0.5s.\n"
    "Toma el puerto durante todo el tren; Ctrl-C lo acaba con el valor de reposo escrito.\n";

timing::CancelFlag cancelled{false};

void requestCancel(int)
{
    cancelled = true;
}

struct Options
{
    std::vector<std::string> operands;
    std::optional<std::string> width, count, period, idle;
    bool json = false;
    bool simulated = false;
};

int wrongUsage(std::FILE *err, const std::string &message)
{
    std::fprintf(err, "velmora: %s\nVea «velmora pulse --help».\n", message.c_str());
    return WrongUsage;
}

std::string micros(timing::Nanoseconds t)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f µs", double(t.count()) / 1000.0);
    return text;
}

std::string figuresText(const char *what, timing::Nanoseconds asked, const timing::Figures &f)
{
    return std::string(what) + " pedido " + micros(asked) + ": mín " + micros(f.min) + ", media "
           + micros(f.mean) + ", máx " + micros(f.max) + "; error p50 " + micros(f.errorP50)
           + ", p99 " + micros(f.errorP99) + " (" + std::to_string(f.count)
           + (f.count == 1 ? " medido)\n" : " medidos)\n");
}

std::string figuresJson(timing::Nanoseconds asked, const timing::Figures &f)
{
    if (f.count == 0)
        return "null";
    char text[256];
    std::snprintf(text, sizeof text,
                  "{\"requested_ns\":%lld,\"count\":%ld,\"min_ns\":%lld,\"mean_ns\":%lld,"
                  "\"max_ns\":%lld,\"error_p50_ns\":%lld,\"error_p99_ns\":%lld}",
                  (long long)asked.count(), f.count, (long long)f.min.count(),
                  (long long)f.mean.count(), (long long)f.max.count(),
                  (long long)f.errorP50.count(), (long long)f.errorP99.count());
    return text;
}

std::unique_ptr<port::PortDriver> openDriver(bool simulated, std::FILE *err)
{
    if (simulated)
        return std::make_unique<port::SimulatedPort>();
    port::setNoticeHandler(
        [err](const std::string &notice) { std::fprintf(err, "velmora: %s\n", notice.c_str()); });
    std::string whyNot;
    auto routing = port::RoutingPort::open(port::PortSystem{}, whyNot);
    if (!routing)
        std::fprintf(err,
                     "velmora: no hay ningún camino real a los puertos de este equipo: %s.\n\n"
                     "«velmora ports» dice qué falta y cómo conseguirlo; «--simulated» usa el "
                     "puerto simulado.\n",
                     whyNot.c_str());
    return routing;
}

// The train on an open port, as one action: the register's value read, the idle value written
// (which times one write on this path), the train, and the figures.
int pulse(port::PortDriver &driver, timing::Pulse request, std::optional<std::uint8_t> idle,
          bool json, std::FILE *out, std::FILE *err)
{
    timing::MonotonicClock clock;
    request.idle = idle.value_or(static_cast<std::uint8_t>(driver.read(request.address)));
    const timing::Nanoseconds cost =
        timing::measureWrite(driver, clock, request.address, request.idle);
    if (const auto why = timing::whyNot(request, cost)) {
        driver.endAction();
        return wrongUsage(err, *why);
    }
    if (const std::string note = timing::requestRealtime(); !note.empty())
        std::fprintf(err, "velmora: %s\n", note.c_str());
    const timing::PulseReport report = timing::runPulses(driver, clock, request, cost, cancelled);
    driver.endAction();

    if (json) {
        std::fprintf(out,
                     "{\"address\":%u,\"value\":%u,\"idle\":%u,\"pulses\":%ld,\"cancelled\":%s,"
                     "\"write_ns\":%lld,\"width\":%s,\"period\":%s}\n",
                     unsigned(request.address), unsigned(request.value), unsigned(request.idle),
                     report.pulses, report.cancelled ? "true" : "false", (long long)cost.count(),
                     figuresJson(request.width, report.width).c_str(),
                     figuresJson(request.period, report.period).c_str());
        return Done;
    }
    const std::string write =
        cost < std::chrono::microseconds(1) ? std::to_string(cost.count()) + " ns" : micros(cost);
    std::fprintf(out, "%ld %s de 0x%02X en %Xh, en reposo 0x%02X; una escritura tarda %s%s\n",
                 report.pulses, report.pulses == 1 ? "pulso" : "pulsos", unsigned(request.value),
                 unsigned(request.address), unsigned(request.idle), write.c_str(),
                 report.cancelled ? "; interrumpido, el puerto quedó en reposo" : "");
    if (report.width.count > 0)
        std::fputs(figuresText("ancho", request.width, report.width).c_str(), out);
    if (report.period.count > 0)
        std::fputs(figuresText("periodo", request.period, report.period).c_str(), out);
    return Done;
}

} // namespace

int pulseCommand(int argc, char **argv, std::FILE *out, std::FILE *err)
{
    Options o;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](std::optional<std::string> &into) {
            if (i + 1 >= argc)
                return false;
            into = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(PulseUsage, out);
            return Done;
        }
        if (arg == "--json")
            o.json = true;
        else if (arg == "--simulated")
            o.simulated = true;
        else if (arg == "--width" || arg == "--period") {
            if (!value(arg == "--width" ? o.width : o.period))
                return wrongUsage(err, "falta la duración tras " + arg);
        } else if (arg == "--count") {
            if (!value(o.count))
                return wrongUsage(err, "falta el número de pulsos tras --count");
        } else if (arg == "--idle") {
            if (!value(o.idle))
                return wrongUsage(err, "falta el VALOR de reposo tras --idle");
        } else if (arg.size() > 1 && arg[0] == '-')
            return wrongUsage(err, "no se conoce la opción «" + arg + "» de «velmora pulse»");
        else
            o.operands.push_back(arg);
    }

    if (o.operands.size() < 2)
        return wrongUsage(err, "faltan la DIRECCIÓN y el VALOR del pulso");
    if (o.operands.size() > 2)
        return wrongUsage(err, "sobra «" + o.operands[2] + "» en «velmora pulse»");
    timing::Pulse request;
    const auto address = parseAddress(o.operands[0]);
    if (!address)
        return wrongUsage(err, "«" + o.operands[0]
                                   + "» no es una dirección de puerto; escríbala en " + AddressForms
                                   + ".");
    request.address = *address;
    const auto byteOf = [&](const std::string &text, std::uint8_t &into) {
        const auto parsed = parseValue(text);
        into = parsed.value_or(0);
        return parsed.has_value();
    };
    if (!byteOf(o.operands[1], request.value))
        return wrongUsage(err, "«" + o.operands[1] + "» no es un valor de un byte; escríbalo en "
                                   + ValueForms + ".");
    std::optional<std::uint8_t> idle;
    if (o.idle) {
        std::uint8_t given = 0;
        if (!byteOf(*o.idle, given))
            return wrongUsage(err, "--idle «" + *o.idle
                                       + "» no es un valor de un byte; escríbalo en " + ValueForms
                                       + ".");
        idle = given;
    }
    const auto duration = [&](const char *option, const std::optional<std::string> &text,
                              timing::Nanoseconds &into) {
        const auto parsed = timing::parseDuration(text.value_or(""));
        into = parsed.value_or(timing::Nanoseconds(0));
        return parsed ? std::string()
                      : std::string(option) + " «" + text.value_or("") + "» no es una duración; "
                            + "escríbala como " + timing::DurationForms + ".";
    };
    if (!o.width)
        return wrongUsage(err, "falta --width, el ancho del pulso (como 250us, 1ms o 0.5s)");
    if (const std::string why = duration("--width", o.width, request.width); !why.empty())
        return wrongUsage(err, why);
    if (o.count) {
        char *end = nullptr;
        request.count = std::strtol(o.count->c_str(), &end, 10);
        if (o.count->empty() || *end || o.count->find_first_not_of("0123456789") != o.count->npos
            || request.count < 1 || request.count > 1'000'000'000)
            return wrongUsage(err, "--count va de 1 a 1000000000 pulsos, no «" + *o.count + "»");
    }
    if (request.count > 1 && !o.period)
        return wrongUsage(err, "con --count mayor que 1 hace falta --period, de un pulso al "
                               "siguiente (como 2ms)");
    if (o.period) {
        if (const std::string why = duration("--period", o.period, request.period); !why.empty())
            return wrongUsage(err, why);
    }

    auto driver = openDriver(o.simulated, err);
    if (!driver)
        return Unreachable;
    cancelled = false;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action
        {};
        ::sigaction(signal, nullptr, &action);
        if (action.sa_handler == SIG_IGN)
            continue;
        action.sa_handler = requestCancel;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no restart: the sleep ends at once, and the train with it
        ::sigaction(signal, &action, nullptr);
    }
    try {
        return pulse(*driver, request, idle, o.json, out, err);
    } catch (const port::PortError &error) {
        driver->endAction();
        std::fprintf(err, "velmora: %s\n", error.what());
        return Unreachable;
    }
}

} // namespace command_line
