#include "watch.h"

#include "port_error.h"

#include <csignal>
#include <ctime>
#include <poll.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

namespace command_line {

namespace {

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

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

} // namespace

void stopOnSignals()
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
}

namespace {

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

bool flushed(std::FILE *out)
{
    return std::fflush(out) == 0 && !std::ferror(out);
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
    RawTerminal(const RawTerminal &) = delete;
    RawTerminal &operator=(const RawTerminal &) = delete;
    bool active() const { return m_active; }

private:
    termios m_saved{};
    bool m_active = false;
};

class TerminalView : public WatchView
{
public:
    TerminalView(std::FILE *out, std::uint16_t base, int intervalMs, bool controlIsOwn)
        : m_out(out)
        , m_base(base)
        , m_intervalMs(intervalMs)
        , m_own(controlIsOwn)
    {
        // Keys only in the foreground; a screen of its own, and no cursor while the table is
        // redrawn; both given back.
        if (::tcgetpgrp(STDIN_FILENO) == ::getpgrp())
            m_keys.emplace();
        std::fputs("\x1b[?1049h\x1b[?25l", m_out);
        std::fflush(m_out);
    }
    ~TerminalView() override
    {
        std::fputs("\x1b[?25h\x1b[?1049l", m_out);
        std::fflush(m_out);
    }

    bool readsKeys() const override { return m_keys && m_keys->active(); }

    bool show(const Sample &sample) override
    {
        std::string screen = "\x1b[H\x1b[2J" + sample.time + "\n";
        if (sample.registers)
            screen += pinTable(m_base, *sample.registers, m_own, m_last ? &*m_last : nullptr);
        else
            screen += "Error: " + sample.failure + "\n";
        char footer[160];
        std::snprintf(footer, sizeof footer,
                      "\nCada %d ms (los pulsos más cortos no se ven). Pulse q o Ctrl-C "
                      "para salir.\n",
                      m_intervalMs);
        std::fputs((screen + footer).c_str(), m_out);
        if (sample.registers)
            m_last = sample.registers;
        return flushed(m_out);
    }

private:
    std::FILE *m_out;
    std::uint16_t m_base;
    int m_intervalMs;
    bool m_own;
    std::optional<RawTerminal> m_keys;
    std::optional<Registers> m_last; // the last sample read
};

class CsvLog : public WatchView
{
public:
    CsvLog(std::FILE *out, std::uint16_t base, int intervalMs, bool controlIsOwn)
        : m_out(out)
        , m_own(controlIsOwn)
    {
        std::fprintf(m_out,
                     "# velmora pins %Xh cada %d ms; los pulsos más cortos no se ven.%s\n"
                     "hora,pin,señal,antes,después\n",
                     unsigned(base), intervalMs,
                     m_own ? " Por ppdev, los pines de control 1 14 16 y 17 son los de este "
                             "proceso: no se pueden observar."
                           : "");
        std::fflush(m_out);
    }
    ~CsvLog() override { std::fflush(m_out); }

    bool show(const Sample &sample) override
    {
        if (!sample.registers) {
            // One line when the failure starts or changes, five fields as every line has.
            if (sample.failure != m_lastFailure) {
                std::string quoted;
                for (const char c : sample.failure)
                    quoted += c == '\n'  ? std::string(" ")
                              : c == '"' ? std::string("\"\"")
                                         : std::string(1, c);
                std::fprintf(m_out, "%s,,error,,\"%s\"\n", sample.time.c_str(), quoted.c_str());
            }
        } else if (m_last) {
            for (const Pin &pin : signalPins()) {
                if (m_own && pin.reg == Register::Control)
                    continue;
                if (level(pin, *m_last) != level(pin, *sample.registers))
                    std::fprintf(m_out, "%s,%d,%s,%d,%d\n", sample.time.c_str(), pin.number,
                                 pin.name, level(pin, *m_last), level(pin, *sample.registers));
            }
        }
        m_lastFailure = sample.failure;
        if (sample.registers)
            m_last = sample.registers;
        return flushed(m_out);
    }

private:
    std::FILE *m_out;
    bool m_own;
    std::optional<Registers> m_last; // the last sample read
    std::string m_lastFailure;       // the sample before's, empty when it was read
};

} // namespace

std::unique_ptr<WatchView> terminalView(std::FILE *out, std::uint16_t base, int intervalMs,
                                        bool controlIsOwn)
{
    return std::make_unique<TerminalView>(out, base, intervalMs, controlIsOwn);
}

std::unique_ptr<WatchView> csvLog(std::FILE *out, std::uint16_t base, int intervalMs,
                                  bool controlIsOwn)
{
    return std::make_unique<CsvLog>(out, base, intervalMs, controlIsOwn);
}

Registers sample(port::Session &session, std::uint16_t base)
{
    Registers r;
    r.data = static_cast<std::uint8_t>(session.read(base));
    r.status = static_cast<std::uint8_t>(session.read(base + 1));
    r.control = static_cast<std::uint8_t>(session.read(base + 2));
    return r;
}

void watchPins(port::Session &session, std::uint16_t base, const WatchOptions &options,
               const std::vector<WatchView *> &views)
{
    bool keys = false;
    for (const WatchView *view : views)
        keys = keys || view->readsKeys();
    for (long n = 0; !stopRequested && (options.count == 0 || n < options.count); ++n) {
        if (n > 0 && !wait(options.intervalMs, keys))
            break;
        Sample s;
        try {
            const port::Action action = session.beginAction();
            s.registers = sample(session, base);
        } catch (const port::PortError &error) {
            s.failure = error.what();
        }
        s.time = now();
        bool read = true;
        for (WatchView *view : views)
            read = view->show(s) && read;
        if (!read)
            break;
    }
}

} // namespace command_line
