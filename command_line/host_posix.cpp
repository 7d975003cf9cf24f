#include "host.h"

#include "connector.h"
#include "doctor.h"
#include "portio_policy.h"

#include <csignal>
#include <ctime>
#include <poll.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

namespace command_line {

bool isTerminal(std::FILE *file)
{
    return ::isatty(::fileno(file));
}

struct RawKeys::Saved
{
    termios terminal{};
};

RawKeys::RawKeys()
{
    // Keys only in the foreground.
    if (!::isatty(STDIN_FILENO) || ::tcgetpgrp(STDIN_FILENO) != ::getpgrp())
        return;
    auto saved = std::make_unique<Saved>();
    if (::tcgetattr(STDIN_FILENO, &saved->terminal) != 0)
        return;
    termios raw = saved->terminal;
    raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0)
        m_saved = std::move(saved);
}

RawKeys::~RawKeys()
{
    if (m_saved)
        ::tcsetattr(STDIN_FILENO, TCSANOW, &m_saved->terminal);
}

namespace {

timing::CancelFlag stopRequested{false};

void requestStop(int)
{
    stopRequested = true;
}

} // namespace

bool waitForStop(int milliseconds, bool keys)
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
        action.sa_flags = 0; // no restart: a wait ends at once
        ::sigaction(signal, &action, nullptr);
    }
}

const timing::CancelFlag &stopFlag()
{
    return stopRequested;
}

std::string localTime()
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

std::FILE *openForWriting(const std::string &path)
{
    return std::fopen(path.c_str(), "w");
}

std::uint16_t defaultBase()
{
    const auto ports = portio::kernelPorts();
    return ports.empty() ? port::FirstPortBase : ports.front().base;
}

std::string portsReport(bool json, std::string &)
{
    const doctor::System system;
    const auto probes = doctor::systemProbes();
    const doctor::Findings findings = doctor::findPorts(system, *probes);
    return json ? doctor::renderJson(findings) : doctor::renderText(findings);
}

} // namespace command_line
