#include "commands.h"

#include "command_line.h"
#include "pins.h"
#include "watch.h"

#include "direct_port.h"
#include "helper_port.h"
#include "portio_policy.h"
#include "routing_port.h"
#include "simulated_port.h"

#include <fstream>
#include <grp.h>
#include <linux/capability.h>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace command_line {

namespace {

// The machine's real paths, or with simulated the simulated port. A script never gets a made-up
// value for a real one: with no real path at all this fails.
std::optional<port::Session> openPort(bool simulated, const port::SessionOpener &openPorts,
                                      std::FILE *err)
{
    if (simulated)
        return port::Session(std::make_unique<port::SimulatedPort>());
    port::Session session = openPorts(port::Fallback::Fail, [err](const std::string &notice) {
        std::fprintf(err, "velmora: %s\n", notice.c_str());
    });
    if (!session.openNow()) {
        std::fprintf(err,
                     "velmora: no hay ningún camino real a los puertos de este equipo: %s.\n\n"
                     "«velmora ports» dice qué falta y cómo conseguirlo; «--simulated» usa el "
                     "puerto simulado.\n",
                     session.whyNot().c_str());
        return std::nullopt;
    }
    return session;
}

int failed(const port::PortError &error, std::FILE *err)
{
    std::fprintf(err, "velmora: %s\n", error.what());
    return Unreachable;
}

std::string bits(std::uint8_t value)
{
    std::string text;
    for (int bit = 7; bit >= 0; --bit)
        text += (value >> bit) & 1 ? '1' : '0';
    return text;
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

int readPort(const ReadOptions &options, const port::SessionOpener &openPorts, std::FILE *out,
             std::FILE *err)
{
    auto session = openPort(options.simulated, openPorts, err);
    if (!session)
        return Unreachable;
    try {
        const auto value = static_cast<std::uint8_t>(session->read(options.address));
        if (options.format == Format::Hex)
            std::fprintf(out, "0x%02X\n", unsigned(value));
        else if (options.format == Format::Binary)
            std::fprintf(out, "0b%s\n", bits(value).c_str());
        else
            std::fprintf(out, "%u\n", unsigned(value));
        return Done;
    } catch (const port::PortError &error) {
        return failed(error, err);
    }
}

int writePort(const WriteOptions &options, const port::SessionOpener &openPorts, std::FILE *err)
{
    auto session = openPort(options.simulated, openPorts, err);
    if (!session)
        return Unreachable;
    try {
        session->write(options.address, options.value);
        return Done;
    } catch (const port::PortError &error) {
        return failed(error, err);
    }
}

int showPins(const PinsOptions &options, const port::SessionOpener &openPorts, std::FILE *out,
             std::FILE *err)
{
    std::uint16_t base = 0x378;
    if (options.base)
        base = *options.base;
    else if (const auto ports = portio::kernelPorts(); !options.simulated && !ports.empty())
        base = ports.front().base;
    auto session = openPort(options.simulated, openPorts, err);
    if (!session)
        return Unreachable;
    auto *routing = dynamic_cast<port::RoutingPort *>(session->driver());
    const bool own = routing && routing->throughPpdev(std::uint16_t(base + 2));
    if (options.watch) {
        stopOnSignals();
        const auto view = ::isatty(::fileno(out))
                              ? terminalView(out, base, options.watch->intervalMs, own)
                              : csvLog(out, base, options.watch->intervalMs, own);
        watchPins(*session, base, *options.watch, {view.get()});
        return Done;
    }
    try {
        const Registers registers = [&] {
            const port::Action snapshot = session->beginAction();
            return sample(*session, base);
        }();
        std::fputs(pinTable(base, registers, own).c_str(), out);
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
