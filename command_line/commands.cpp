#include "commands.h"

#include "command_line.h"
#include "doctor.h"
#include "pins.h"

#include "fast_sampler.h"
#include "inpout.h"
#include "monotonic_clock.h"
#include "number_text.h"
#include "portio_policy.h"
#include "routing_port.h"
#include "sample_stream.h"
#include "simulated_port.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace command_line {

namespace {

struct Port
{
    std::unique_ptr<port::PortDriver> driver;
    port::RoutingPort *routing = nullptr;
};

// The machine's real paths, or with simulated the simulated port. A script never gets a made-up
// value for a real one: with no real path at all this fails.
std::optional<Port> openPort(bool simulated, std::FILE *err)
{
    if (simulated)
        return Port{std::make_unique<port::SimulatedPort>(), nullptr};
    port::setNoticeHandler(
        [err](const std::string &notice) { std::fprintf(err, "velmora: %s\n", notice.c_str()); });
    std::string whyNot;
    auto routing = port::RoutingPort::open(port::PortSystem{}, whyNot);
    if (!routing) {
        std::fprintf(err,
                     "velmora: no hay ningún camino real a los puertos de este equipo: %s.\n\n"
                     "«velmora ports» dice qué falta y cómo conseguirlo; «--simulated» usa el "
                     "puerto simulado.\n",
                     whyNot.c_str());
        return std::nullopt;
    }
    Port port;
    port.routing = routing.get();
    port.driver = std::move(routing);
    return port;
}

int failed(const port::PortError &error, std::FILE *err)
{
    std::fprintf(err, "velmora: %s\n", error.what());
    return Unreachable;
}

// Local time as ISO 8601, with milliseconds and the offset: 2026-12-07T14:03:09.125+01:00.
std::string now()
{
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    tm local{};
    ::localtime_r(&tv.tv_sec, &local);
    char date[32];
    char zone[8];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    std::strftime(zone, sizeof zone, "%z", &local);
    char text[64];
    std::snprintf(text, sizeof text, "%s.%03ld%.3s:%s", date, long(tv.tv_usec / 1000), zone,
                  zone + 3);
    return text;
}

Registers sample(port::PortDriver &port, std::uint16_t base)
{
    Registers r;
    r.data = static_cast<std::uint8_t>(port.read(base));
    r.status = static_cast<std::uint8_t>(port.read(base + 1));
    r.control = static_cast<std::uint8_t>(port.read(base + 2));
    return r;
}

volatile std::sig_atomic_t stopRequested = 0;
timing::CancelFlag stopFlag{false};

void requestStop(int)
{
    stopRequested = 1;
    stopFlag = true;
}

// The CSV lines of a watch: one per pin that changed since the sample before, with the local
// time and, last, the microseconds since the watch began.
class CsvRows : public timing::SampleSink
{
public:
    CsvRows(std::FILE *out, bool own)
        : m_out(out)
        , m_own(own)
    {}

    void sample(std::int64_t tUs, const Registers &now_) override
    {
        if (m_last) {
            const std::string time = now();
            for (const Pin &pin : signalPins()) {
                if (m_own && pin.reg == Register::Control)
                    continue;
                if (level(pin, *m_last) != level(pin, now_))
                    std::fprintf(m_out, "%s,%d,%s,%d,%d,%lld\n", time.c_str(), pin.number, pin.name,
                                 level(pin, *m_last), level(pin, now_),
                                 static_cast<long long>(tUs));
            }
        }
        m_last = now_;
    }

private:
    std::FILE *m_out;
    bool m_own;
    std::optional<Registers> m_last;
};

// Every sample to each of several streams.
class Streams : public timing::SampleSink
{
public:
    std::vector<timing::SampleSink *> sinks;

    void sample(std::int64_t tUs, const Registers &registers) override
    {
        for (timing::SampleSink *sink : sinks)
            sink->sample(tUs, registers);
    }
    void finish(std::int64_t tUs) override
    {
        for (timing::SampleSink *sink : sinks)
            sink->finish(tUs);
    }
};

// The --fast watch: the port held throughout, every sample that changes something kept.
int watchFast(Port &port, std::uint16_t base, timing::Nanoseconds duration, bool claimed,
              timing::SampleSink &sink, std::FILE *err)
{
    // Only ppdev has a claim to hold; the helper and the direct path serve others meanwhile.
    if (claimed)
        std::fprintf(err, "velmora: --fast toma el puerto durante toda la vigilancia: otros "
                          "programas esperan a que acabe.\n");
    if (const std::string note = timing::requestRealtime(); !note.empty())
        std::fprintf(err, "velmora: %s\n", note.c_str());
    timing::MonotonicClock clock;
    try {
        const timing::SamplingReport report =
            timing::sampleFast(*port.driver, clock, base, duration, stopFlag, sink);
        port.driver->endAction();
        std::fprintf(err,
                     "velmora: %ld muestras en %.3f s, %.0f por segundo; el mayor hueco entre "
                     "dos muestras fue de %.1f µs (un pulso más corto puede no verse).\n",
                     report.samples, double(report.elapsed.count()) / 1e9, report.perSecond(),
                     double(report.longestGap.count()) / 1e3);
        return Done;
    } catch (const port::PortError &error) {
        port.driver->endAction();
        return failed(error, err);
    }
}

// The terminal as the watch needs it (keys one by one, unechoed), given back as it was.
class RawTerminal
{
public:
    RawTerminal()
    {
        if (::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &m_saved) == 0) {
            termios raw = m_saved;
            raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
            raw.c_cc[VMIN] = 0;
            raw.c_cc[VTIME] = 0;
            m_active = ::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
        }
    }
    ~RawTerminal()
    {
        if (m_active)
            ::tcsetattr(STDIN_FILENO, TCSANOW, &m_saved);
    }
    bool active() const { return m_active; }

private:
    termios m_saved{};
    bool m_active = false;
};

// Waits the interval; false when the person asked to stop (q, Ctrl-C).
bool wait(int milliseconds, bool keys)
{
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&input, keys ? 1 : 0, milliseconds);
    if (ready > 0 && keys) {
        char key = 0;
        if (::read(STDIN_FILENO, &key, 1) == 1 && (key == 'q' || key == 'Q'))
            return false;
    }
    return !stopRequested;
}

int watchPins(Port &port, std::uint16_t base, int intervalMs, long count, bool own,
              const WatchOutputs &outputs, std::FILE *out, std::FILE *err)
{
    for (const int signal : {SIGINT, SIGTERM, SIGQUIT, SIGHUP}) {
        struct sigaction action
        {};
        ::sigaction(signal, nullptr, &action);
        if (action.sa_handler == SIG_IGN)
            continue; // a script that started the watch with SIGINT ignored keeps it so
        action.sa_handler = requestStop;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        ::sigaction(signal, &action, nullptr);
    }

    std::unique_ptr<std::FILE, int (*)(std::FILE *)> vcdFile(nullptr, std::fclose);
    if (!outputs.vcd.empty()) {
        vcdFile.reset(std::fopen(outputs.vcd.c_str(), "w"));
        if (!vcdFile) {
            std::fprintf(err, "velmora: no se puede escribir «%s»: %s. Elija otro archivo.\n",
                         outputs.vcd.c_str(), std::strerror(errno));
            return WrongUsage;
        }
    }
    std::optional<timing::VcdWriter> vcd;
    if (vcdFile)
        vcd.emplace(vcdFile.get());
    // Outside a terminal the first line is the CSV header: the note goes to standard error.
    const bool terminal = ::isatty(::fileno(out)) && !outputs.json && !outputs.fast;
    timing::JsonLinesWriter json(out, base);
    CsvRows csv(out, own);
    Streams streams;
    if (outputs.json)
        streams.sinks.push_back(&json);
    else if (!terminal) {
        std::fputs("hora,pin,señal,antes,después,t_us\n", out);
        streams.sinks.push_back(&csv);
    }
    if (vcd)
        streams.sinks.push_back(&*vcd);
    if (outputs.fast)
        return watchFast(port, base, *outputs.fast, own, streams, err);
    std::optional<RawTerminal> keys;
    if (terminal) {
        // A screen of its own, and no cursor while the table is redrawn; both given back.
        if (::tcgetpgrp(STDIN_FILENO) == ::getpgrp())
            keys.emplace();
        std::fputs("\x1b[?1049h\x1b[?25l", out);
    } else {
        std::fprintf(err, "velmora: pins %Xh cada %d ms; los pulsos más cortos no se ven.%s\n",
                     unsigned(base), intervalMs,
                     own ? " Por ppdev, los pines de control 1 14 16 y 17 son los de este "
                           "proceso: no se pueden observar."
                         : "");
    }
    std::fflush(out);

    std::optional<Registers> last;
    std::string lastFailure;
    std::optional<std::chrono::steady_clock::time_point> start; // the first sample's
    std::int64_t tUs = 0;
    for (long n = 0; !stopRequested && (count == 0 || n < count); ++n) {
        if (n > 0 && !wait(intervalMs, keys && keys->active()))
            break;
        std::string failure;
        Registers now_{};
        try {
            now_ = sample(*port.driver, base);
        } catch (const port::PortError &error) {
            failure = error.what();
        }
        port.driver->endAction();
        const auto sampled = std::chrono::steady_clock::now();
        start = start.value_or(sampled);
        tUs = std::chrono::duration_cast<std::chrono::microseconds>(sampled - *start).count();
        const std::string time = now();
        if (failure.empty())
            streams.sample(tUs, now_);
        if (terminal) {
            std::string screen = "\x1b[H\x1b[2J" + time + "\n";
            if (failure.empty())
                screen += pinTable(base, now_, own, last ? &*last : nullptr);
            else
                screen += "Error: " + failure + "\n";
            char footer[160];
            std::snprintf(footer, sizeof footer,
                          "\nCada %d ms (los pulsos más cortos no se ven). Pulse q o Ctrl-C "
                          "para salir.\n",
                          intervalMs);
            std::fputs((screen + footer).c_str(), out);
        } else if (!failure.empty() && failure != lastFailure) {
            // One line when the failure starts or changes, with the fields every line has.
            std::string quoted;
            for (const char c : failure)
                quoted += c == '\n'                  ? std::string(" ")
                          : c == '"' && outputs.json ? std::string("\\\"")
                          : c == '"'                 ? std::string("\"\"")
                                                     : std::string(1, c);
            if (outputs.json)
                std::fprintf(out, "{\"t_us\":%lld,\"error\":\"%s\"}\n", static_cast<long long>(tUs),
                             quoted.c_str());
            else
                std::fprintf(out, "%s,,error,,\"%s\",%lld\n", time.c_str(), quoted.c_str(),
                             static_cast<long long>(tUs));
        }
        lastFailure = failure;
        // A reader that has gone (a closed pipe) ends the watch.
        if (std::fflush(out) != 0 || std::ferror(out))
            break;
        if (failure.empty())
            last = now_;
    }
    streams.finish(tUs);
    if (terminal)
        std::fputs("\x1b[?25h\x1b[?1049l", out);
    std::fflush(out);
    return Done;
}

} // namespace

int readPort(std::uint16_t address, Format format, bool simulated, std::FILE *out, std::FILE *err)
{
    auto port = openPort(simulated, err);
    if (!port)
        return Unreachable;
    try {
        const auto value = static_cast<std::uint8_t>(port->driver->read(address));
        port->driver->endAction();
        if (format == Format::Hex)
            std::fprintf(out, "0x%02X\n", unsigned(value));
        else if (format == Format::Binary)
            std::fprintf(out, "0b%s\n",
                         number_text::BitText(value, number_text::BitOrder::HighFirst).c_str());
        else
            std::fprintf(out, "%u\n", unsigned(value));
        return Done;
    } catch (const port::PortError &error) {
        return failed(error, err);
    }
}

int writePort(std::uint16_t address, std::uint8_t value, bool simulated, std::FILE *err)
{
    auto port = openPort(simulated, err);
    if (!port)
        return Unreachable;
    try {
        port->driver->write(address, value);
        port->driver->endAction();
        return Done;
    } catch (const port::PortError &error) {
        return failed(error, err);
    }
}

int showPins(std::optional<std::uint16_t> base, bool watch, int intervalMs, long count,
             bool simulated, const WatchOutputs &outputs, std::FILE *out, std::FILE *err)
{
    if (!base) {
        const auto ports = portio::kernelPorts();
        base = simulated || ports.empty() ? port::FirstPortBase : ports.front().base;
    }
    auto port = openPort(simulated, err);
    if (!port)
        return Unreachable;
    const bool own = port->routing && port->routing->throughPpdev(std::uint16_t(*base + 2));
    if (watch)
        return watchPins(*port, *base, intervalMs, count, own, outputs, out, err);
    try {
        const Registers registers = sample(*port->driver, *base);
        port->driver->endAction();
        if (outputs.json)
            timing::JsonLinesWriter(out, *base).sample(0, registers);
        else
            std::fputs(pinTable(*base, registers, own).c_str(), out);
        return Done;
    } catch (const port::PortError &error) {
        return failed(error, err);
    }
}

int listPorts(bool json, std::FILE *out)
{
    const doctor::System system;
    const auto probes = doctor::systemProbes();
    const doctor::Findings findings = doctor::findPorts(system, *probes);
    std::fputs((json ? doctor::renderJson(findings) : doctor::renderText(findings)).c_str(), out);
    return Done;
}

} // namespace command_line
