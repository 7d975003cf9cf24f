#include "commands.h"

#include "command_line.h"
#include "pins.h"

#include "direct_port.h"
#include "helper_port.h"
#include "inpout.h"
#include "number_text.h"
#include "portio_policy.h"
#include "routing_port.h"
#include "simulated_port.h"

#include <csignal>
#include <ctime>
#include <fstream>
#include <grp.h>
#include <linux/capability.h>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/xattr.h>
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

void requestStop(int)
{
    stopRequested = 1;
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

int watchPins(Port &port, std::uint16_t base, int intervalMs, long count, bool own, std::FILE *out)
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

    const bool terminal = ::isatty(::fileno(out));
    std::optional<RawTerminal> keys;
    if (terminal) {
        // A screen of its own, and no cursor while the table is redrawn; both given back.
        if (::tcgetpgrp(STDIN_FILENO) == ::getpgrp())
            keys.emplace();
        std::fputs("\x1b[?1049h\x1b[?25l", out);
    } else {
        std::fprintf(out,
                     "# velmora pins %Xh cada %d ms; los pulsos más cortos no se ven.%s\n"
                     "hora,pin,señal,antes,después\n",
                     unsigned(base), intervalMs,
                     own ? " Por ppdev, los pines de control 1 14 16 y 17 son los de este "
                           "proceso: no se pueden observar."
                         : "");
    }
    std::fflush(out);

    std::optional<Registers> last;
    std::string lastFailure;
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
        const std::string time = now();
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
        } else if (!failure.empty()) {
            // One line when the failure starts or changes, five fields as every line has.
            if (failure != lastFailure) {
                std::string quoted;
                for (const char c : failure)
                    quoted += c == '\n'  ? std::string(" ")
                              : c == '"' ? std::string("\"\"")
                                         : std::string(1, c);
                std::fprintf(out, "%s,,error,,\"%s\"\n", time.c_str(), quoted.c_str());
            }
        } else if (last) {
            for (const Pin &pin : signalPins()) {
                if (own && pin.reg == Register::Control)
                    continue;
                if (level(pin, *last) != level(pin, now_))
                    std::fprintf(out, "%s,%d,%s,%d,%d\n", time.c_str(), pin.number, pin.name,
                                 level(pin, *last), level(pin, now_));
            }
        }
        lastFailure = failure;
        // A reader that has gone (a closed pipe) ends the watch.
        if (std::fflush(out) != 0 || std::ferror(out))
            break;
        if (failure.empty())
            last = now_;
    }
    if (terminal)
        std::fputs("\x1b[?25h\x1b[?1049l", out);
    std::fflush(out);
    return Done;
}

bool inGroup(const char *name)
{
    const group *g = ::getgrnam(name);
    if (!g)
        return false;
    std::vector<gid_t> groups(::getgroups(0, nullptr) + 1);
    const int n = ::getgroups(int(groups.size()), groups.data());
    for (int i = 0; i < n; ++i)
        if (groups[i] == g->gr_gid)
            return true;
    return ::getegid() == g->gr_gid;
}

bool hasRawIoCapability(const std::string &path)
{
    // Permitted and effective, as setcap cap_sys_rawio+ep gives it; room for the namespaced form.
    vfs_ns_cap_data capability{};
    const ssize_t size =
        ::getxattr(path.c_str(), "security.capability", &capability, sizeof capability);
    return size >= ssize_t(XATTR_CAPS_SZ_1) && (capability.magic_etc & VFS_CAP_FLAGS_EFFECTIVE)
           && (capability.data[0].permitted & (1u << CAP_SYS_RAWIO));
}

std::string firstLine(const std::string &path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
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
             bool simulated, std::FILE *out, std::FILE *err)
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
        return watchPins(*port, *base, intervalMs, count, own, out);
    try {
        const Registers registers = sample(*port->driver, *base);
        port->driver->endAction();
        std::fputs(pinTable(*base, registers, own).c_str(), out);
        return Done;
    } catch (const port::PortError &error) {
        return failed(error, err);
    }
}

int listPorts(std::FILE *out)
{
    const auto kernel = portio::kernelPorts();
    const bool root = ::geteuid() == 0;
    const bool lp = inGroup("lp");
    const bool ppdevLoaded = ::access("/sys/module/ppdev", F_OK) == 0;
    std::vector<std::string> todo;

    std::fputs("Puertos paralelos que conoce el núcleo:\n", out);
    if (kernel.empty())
        std::fputs("  ninguno (/proc/sys/dev/parport no lista ninguno; ¿está cargado "
                   "parport_pc?)\n",
                   out);
    for (const portio::KernelPort &port : kernel) {
        const std::string folder = "/proc/sys/dev/parport/" + port.name;
        const std::string device = "/dev/" + port.name;
        const std::string holder = firstLine(folder + "/devices/active");
        char ecp[24] = "ninguna";
        if (port.highBase)
            std::snprintf(ecp, sizeof ecp, "%Xh", unsigned(port.highBase));
        std::fprintf(out, "  %s: base %Xh, ECP %s, modos %s, ahora %s\n", device.c_str(),
                     unsigned(port.base), ecp, firstLine(folder + "/modes").c_str(),
                     holder == "none" || holder.empty() ? "libre"
                                                        : ("en uso por " + holder).c_str());
        const bool usable = ::access(device.c_str(), R_OK | W_OK) == 0;
        std::fprintf(out, "    %s %s\n", device.c_str(),
                     usable ? "se puede abrir" : "no se puede abrir con su usuario");
    }
    std::string standard;
    for (const portio::Block &block : portio::standardBlocks())
        standard += (standard.empty() ? "" : ", ") + portio::blockText(block);
    std::fprintf(out, "\nBloques estándar de puerto paralelo: %s\n", standard.c_str());

    std::fprintf(out,
                 "\nppdev (los puertos que conoce el núcleo):\n  módulo ppdev: %s\n"
                 "  grupo lp: %s\n",
                 ppdevLoaded ? "cargado" : "no cargado", lp ? "es miembro" : "no es miembro");
    if (!kernel.empty() && !ppdevLoaded)
        todo.push_back("sudo modprobe ppdev");
    if (!kernel.empty() && !lp && !root)
        todo.push_back("sudo usermod -aG lp $USER   (y vuelva a iniciar la sesión)");

    const std::string lockdown = port::kernelLockdown();
    std::fprintf(out,
                 "\nAcceso directo (cualquier dirección):\n  root: %s\n  bloqueo del núcleo: %s\n",
                 root ? "sí" : "no", lockdown.empty() ? "ninguno" : lockdown.c_str());

    std::fputs("\nAyudante velmora-portio (registros de puerto paralelo que el núcleo no "
               "controla):\n",
               out);
    const bool member = inGroup("velmora-port");
    bool installed = false;
    for (const std::string &path : port::HelperPort::defaultPaths()) {
        struct stat info
        {};
        if (::stat(path.c_str(), &info) != 0) {
            std::fprintf(out, "  %s: no está instalado\n", path.c_str());
            continue;
        }
        installed = true;
        const bool capable = hasRawIoCapability(path);
        std::fprintf(out, "  %s: instalado, %s la capacidad CAP_SYS_RAWIO\n", path.c_str(),
                     capable ? "con" : "sin");
        if (!capable)
            todo.push_back("sudo setcap cap_sys_rawio+ep " + path);
    }
    std::fprintf(out, "  grupo velmora-port: %s\n", member ? "es miembro" : "no es miembro");
    if (!installed && !root)
        todo.push_back("instale Velmora con su ayudante (el paquete velmora)");
    if (!member && !root)
        todo.push_back("sudo usermod -aG velmora-port $USER   (y vuelva a iniciar la sesión)");
    const portio::Policy policy = portio::Policy::load();
    std::string served;
    for (const portio::Block &block : policy.servedBlocks())
        served += (served.empty() ? "" : ", ") + portio::blockText(block);
    std::fprintf(out, "  sirve: %s\n", served.empty() ? "nada" : served.c_str());
    const portio::AdminFile &admin = policy.admin();
    if (!admin.present)
        std::fprintf(out, "  %s: no existe (solo se sirven los bloques estándar)\n",
                     admin.path.c_str());
    else if (admin.honoured)
        std::fprintf(out, "  %s: se tiene en cuenta (%zu bloques)\n", admin.path.c_str(),
                     admin.blocks.size());
    else {
        std::fprintf(out, "  %s: no se tiene en cuenta: %s\n", admin.path.c_str(),
                     admin.whyIgnored.c_str());
        todo.push_back(admin.remedy);
    }

    if (root && lockdown.empty())
        std::fputs("\nComo root, Velmora llega a cualquier dirección por sí mismo.\n", out);
    std::fputs(todo.empty() ? "\nNo falta nada.\n" : "\nLo que falta:\n", out);
    for (const std::string &step : todo)
        std::fprintf(out, "  %s\n", step.c_str());
    return Done;
}

} // namespace command_line
