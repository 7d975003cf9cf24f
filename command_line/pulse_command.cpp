#include "command_line.h"
#include "commands.h"
#include "watch.h"

#include "port_error.h"
#include "pulse_train.h"
#include "system_clock.h"

#include <memory>
#include <optional>
#include <string>

namespace command_line {

namespace {

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

// The train on an open port, as one action: the register's value read, the idle value written
// (which times one write on this path), the train, and the figures.
int pulse(port::Session &session, timing::Pulse request, std::optional<std::uint8_t> idle,
          bool json, std::FILE *out, std::FILE *err)
{
    const port::Action train = session.beginAction();
    const std::unique_ptr<timing::Clock> clock = timing::trainClock();
    const auto held = static_cast<std::uint8_t>(session.read(request.address));
    request.idle = idle.value_or(held);
    const timing::Nanoseconds cost =
        timing::measureWrite(session, *clock, request.address, request.idle);
    if (const auto why = timing::whyNot(request, cost)) {
        if (request.idle
            != held) // timing the write changed the register: a refusal changes nothing
            session.write(request.address, held);
        return wrongUsage(err, *why);
    }
    if (const std::string note = timing::requestRealtime(); !note.empty())
        std::fprintf(err, "velmora: %s\n", note.c_str());
    std::fflush(err); // said before the train, where the stream is buffered (velmora.com)
    const timing::PulseReport report =
        timing::runPulses(session, *clock, request, cost, stopFlag());

    if (json) {
        std::fprintf(out,
                     "{\"address\":%u,\"value\":%u,\"idle\":%u,\"pulses\":%ld,\"cancelled\":%s,"
                     "\"write_ns\":%lld,\"width\":%s,\"period\":%s}\n",
                     unsigned(request.address), unsigned(request.value), unsigned(request.idle),
                     report.pulses, report.cancelled ? "true" : "false", (long long)cost.count(),
                     figuresJson(request.width, report.width).c_str(),
                     figuresJson(request.period, report.period).c_str());
        return report.cancelled ? Interrupted : Done;
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
    return report.cancelled ? Interrupted : Done;
}

} // namespace

int pulseTrain(const PulseOptions &options, const port::SessionOpener &openPorts, std::FILE *out,
               std::FILE *err)
{
    auto session = openPort(options.pulse.address, options.simulated, openPorts, err);
    if (!session)
        return Unreachable;
    stopOnSignals();
    try {
        return pulse(*session, options.pulse, options.idle, options.json, out, err);
    } catch (const port::PortError &error) {
        std::fprintf(err, "velmora: %s\n", session->explain(error).c_str());
        return Unreachable;
    }
}

} // namespace command_line
