#include "doctor.h"

#include "cards.h"
#include "direct_port.h"
#include "helper_port.h"
#include "pci_ids.h"
#include "ppdev_port.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <map>
#include <set>
#include <unistd.h>

namespace doctor {

namespace {

// Bounds on what a listing of /proc or /sys is read for: far past any real machine.
constexpr std::size_t EntryLimit = 4096;
constexpr std::size_t FileLimit = 8192;
constexpr unsigned long IoResource = 0x100; // IORESOURCE_IO in a sysfs resource line's flags

std::string readText(const std::string &path, std::size_t limit = FileLimit)
{
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "re"), std::fclose);
    if (!file)
        return {};
    std::string text(limit, '\0');
    text.resize(std::fread(text.data(), 1, limit, file.get()));
    return text;
}

std::string firstLine(const std::string &path)
{
    const std::string text = readText(path, 512);
    return text.substr(0, text.find('\n'));
}

std::vector<std::string> entries(const std::string &folder)
{
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(folder.c_str()), ::closedir);
    while (dir && names.size() < EntryLimit) {
        const dirent *entry = ::readdir(dir.get());
        if (!entry)
            break;
        if (entry->d_name[0] != '.')
            names.emplace_back(entry->d_name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string linkTarget(const std::string &path)
{
    char target[512];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, std::size_t(n)) : std::string();
}

std::string baseName(const std::string &path)
{
    return path.substr(path.rfind('/') + 1);
}

unsigned long number(const std::string &text)
{
    return std::strtoul(text.c_str(), nullptr, 0);
}

std::string hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        if (end > start)
            parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

class Merger
{
public:
    FoundPort &at(std::uint16_t base, Source source)
    {
        FoundPort &port = m_ports[base];
        port.base = base;
        if (std::find(port.sources.begin(), port.sources.end(), source) == port.sources.end())
            port.sources.push_back(source);
        std::sort(port.sources.begin(), port.sources.end());
        return port;
    }
    std::map<std::uint16_t, FoundPort> &ports() { return m_ports; }

private:
    std::map<std::uint16_t, FoundPort> m_ports;
};

// The processes that have each device open, as far as /proc shows this user.
std::map<std::string, std::vector<std::string>> openers(const std::string &procRoot,
                                                        const std::set<std::string> &devices)
{
    std::map<std::string, std::vector<std::string>> found;
    if (devices.empty())
        return found;
    for (const std::string &pid : entries(procRoot)) {
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string folder = procRoot + "/" + pid;
        for (const std::string &fd : entries(folder + "/fd")) {
            const std::string target = linkTarget(folder + "/fd/" + fd);
            if (devices.count(target)) {
                found[target].push_back(pid + " (" + firstLine(folder + "/comm") + ")");
                break;
            }
        }
    }
    return found;
}

void kernelPorts(const System &system, Merger &merger)
{
    std::set<std::string> devices;
    for (const portio::KernelPort &kernel : portio::kernelPorts(system.procRoot)) {
        const std::string folder = system.procRoot + "/sys/dev/parport/" + kernel.name;
        FoundPort &port = merger.at(kernel.base, Source::Kernel);
        port.kernelPort = kernel.name;
        port.device = system.devRoot + "/" + kernel.name;
        if (kernel.highBase)
            port.ecpBase = kernel.highBase;
        port.modes = split(firstLine(folder + "/modes"), ',');
        port.holder = firstLine(folder + "/devices/active");
        devices.insert(port.device);
    }
    const auto open = openers(system.procRoot, devices);
    for (auto &[base, port] : merger.ports())
        if (const auto it = open.find(port.device); it != open.end())
            port.openedBy = it->second;
}

struct Bar
{
    unsigned long start = 0;
    bool io = false;
};

std::vector<std::string> progIfModes(unsigned long classCode)
{
    if (classCode >> 8 != 0x0701)
        return {};
    switch (classCode & 0xFF) {
    case 0:
        return {"SPP"};
    case 1:
        return {"bidireccional"};
    case 2:
        return {"ECP"};
    case 3:
        return {"IEEE 1284"};
    }
    return {};
}

void pciCards(const System &system, Merger &merger)
{
    const std::string root = system.sysRoot + "/bus/pci/devices/";
    std::set<PciId> wanted;
    for (const std::string &slot : entries(root)) {
        const std::string folder = root + slot + "/";
        const auto id = [&](const char *file) {
            return static_cast<std::uint16_t>(number(firstLine(folder + file)));
        };
        const unsigned long classCode = number(firstLine(folder + "class"));
        const Card *card =
            findCard(id("vendor"), id("device"), id("subsystem_vendor"), id("subsystem_device"));
        if (!card && classCode >> 8 != 0x0701)
            continue;
        std::vector<Bar> bars;
        for (const std::string &line : split(readText(folder + "resource"), '\n')) {
            unsigned long long start = 0, end = 0, flags = 0;
            if (bars.size() == 6
                || std::sscanf(line.c_str(), "%llx %llx %llx", &start, &end, &flags) != 3)
                break;
            bars.push_back({static_cast<unsigned long>(start), (flags & IoResource) != 0});
        }
        PciCard info;
        info.slot = slot;
        info.vendor = id("vendor");
        info.device = id("device");
        info.driver = baseName(linkTarget(folder + "driver"));
        // The command register's I/O space bit (config space offset 4, bit 0), which every
        // user may read; "enable" only counts the drivers that asked for the device.
        const std::string config = readText(folder + "config", 64);
        info.ioEnabled =
            config.size() > 4 ? (config[4] & 1) != 0 : firstLine(folder + "enable") == "1";
        std::vector<CardPort> layout;
        if (card) {
            info.knownTo = card->driver;
            for (const CardPort &p : card->ports)
                if (p.bar >= 0)
                    layout.push_back(p);
        } else {
            std::vector<std::int8_t> io;
            for (std::size_t i = 0; i < bars.size(); ++i)
                if (bars[i].io && bars[i].start)
                    io.push_back(std::int8_t(i));
            if (!io.empty())
                layout.push_back({io[0], io.size() > 1 ? io[1] : std::int8_t(-1)});
        }
        const auto ioStart = [&](int bar) -> unsigned long {
            return bar >= 0 && std::size_t(bar) < bars.size() && bars[bar].io ? bars[bar].start : 0;
        };
        for (const CardPort &p : layout) {
            const unsigned long base = ioStart(p.bar);
            if (!base || base > 0xFFF8)
                continue;
            FoundPort &port = merger.at(static_cast<std::uint16_t>(base), Source::Pci);
            port.pci = info;
            if (const unsigned long ecp = ioStart(p.ecpBar); ecp && ecp <= 0xFFFD && !port.ecpBase)
                port.ecpBase = static_cast<std::uint16_t>(ecp);
            if (port.modes.empty())
                port.modes = progIfModes(classCode);
            wanted.insert({info.vendor, info.device});
        }
    }
    const auto names = pciNames(wanted, system.pciIds);
    for (auto &[base, port] : merger.ports())
        if (port.pci)
            if (const auto it = names.find({port.pci->vendor, port.pci->device}); it != names.end())
                port.pci->name = it->second;
}

// ACPI's PNP0400 (a standard printer port) and PNP0401 (an ECP one); their first I/O range is
// the port, the second its ECP block.
void firmwarePorts(const System &system, Merger &merger)
{
    const std::string root = system.sysRoot + "/bus/pnp/devices/";
    for (const std::string &device : entries(root)) {
        const std::string ids = readText(root + device + "/id", 512);
        if (ids.find("PNP0400") == std::string::npos && ids.find("PNP0401") == std::string::npos)
            continue;
        std::vector<unsigned long> ranges;
        for (const std::string &line : split(readText(root + device + "/resources"), '\n')) {
            unsigned long first = 0;
            if (std::sscanf(line.c_str(), "io %lx", &first) == 1)
                ranges.push_back(first);
        }
        if (ranges.empty() || !ranges[0] || ranges[0] > 0xFFF8)
            continue;
        FoundPort &port = merger.at(static_cast<std::uint16_t>(ranges[0]), Source::Firmware);
        if (ranges.size() > 1 && ranges[1] && ranges[1] <= 0xFFFD && !port.ecpBase)
            port.ecpBase = static_cast<std::uint16_t>(ranges[1]);
    }
}

std::vector<FoundPort> usbAdapters(const System &system)
{
    std::vector<FoundPort> adapters;
    const std::string root = system.sysRoot + "/class/usbmisc/";
    for (const std::string &name : entries(root)) {
        if (name.rfind("lp", 0) != 0)
            continue;
        FoundPort port;
        port.sources = {Source::Usb};
        port.device = system.devRoot + "/usb/" + name;
        const std::string usb = root + name + "/device/../";
        for (const char *file : {"manufacturer", "product"})
            if (const std::string part = firstLine(usb + file); !part.empty())
                port.usbName += (port.usbName.empty() ? "" : " ") + part;
        port.problem = "es un adaptador USB de impresora: habla solo el protocolo de impresora "
                       "(usblp), y no puede mover ni leer pines sueltos";
        adapters.push_back(port);
    }
    return adapters;
}

class Verdicts
{
public:
    Verdicts(const System &system, Probes &probes, const Findings &findings)
        : m_system(system)
        , m_probes(probes)
        , m_findings(findings)
        , m_policy(portio::Policy::load(system.procRoot, system.adminFile))
    {}

    void decide(FoundPort &port)
    {
        const std::uint16_t base = *port.base;
        if (!port.kernelPort.empty())
            kernelPort(port, base);
        else
            otherPort(port, base);
    }

private:
    std::optional<Path> direct(std::uint16_t base)
    {
        if (m_probes.ioperm(base, 3) == 0)
            return Path::Direct;
        if (m_probes.openDevPort(m_system.devRoot + "/port") == 0)
            return Path::DevPort;
        return std::nullopt;
    }

    const std::optional<port::PortFailure> &helper()
    {
        if (!m_helperTried)
            m_helper = m_probes.helper(m_findings.lockdown);
        m_helperTried = true;
        return m_helper;
    }

    void kernelPort(FoundPort &port, std::uint16_t base)
    {
        const int error = m_probes.openDevice(port.device);
        if (error == 0)
            port.path = Path::Ppdev;
        else if (error == ENOENT)
            port.path = direct(base); // root goes direct where ppdev is missing altogether
        if (!port.path) {
            port.problem =
                port::describePpdevFailure({port.kernelPort, base, port.device}, error, true)
                    .reason;
            port.fix = error == ENOENT                     ? "sudo modprobe ppdev"
                       : error == EACCES || error == EPERM ? "sudo usermod -aG lp $USER"
                                                             "   # y vuelva a iniciar la sesión"
                                                           : "";
        }
        if (port.ecpBase) {
            const auto failure =
                port::kernelOwnedFailure({port.kernelPort, base, port.ecpBase.value_or(0)});
            port.note = "Su bloque ECP es del controlador del núcleo. " + failure.remedy;
        }
    }

    static void add(FoundPort &port, const std::string &problem, const std::string &fix)
    {
        port.problem += (port.problem.empty() || problem.empty() ? "" : "; además, ") + problem;
        port.fix += (port.fix.empty() || fix.empty() ? "" : "\n") + fix;
    }

    // A card that does not decode I/O answers no path: it is enabled first, and what else it
    // needs follows.
    void otherPort(FoundPort &port, std::uint16_t base)
    {
        alternative(port);
        const bool decodes = !port.pci || port.pci->ioEnabled;
        if (!decodes)
            add(port,
                "la tarjeta " + port.pci->slot
                    + " tiene apagada la decodificación de E/S: sus registros no responden",
                "echo 1 | sudo tee " + m_system.sysRoot + "/bus/pci/devices/" + port.pci->slot
                    + "/enable");
        if (const auto path = direct(base)) {
            port.path = decodes ? path : std::nullopt;
            return;
        }
        if (!m_findings.lockdown.empty()) {
            const bool bindable =
                port.pci && !port.pci->knownTo.empty() && port.pci->driver.empty();
            add(port,
                "el núcleo está bloqueado (lockdown «" + m_findings.lockdown
                    + "»): ni root ni velmora-portio llegan a registros de E/S, y ningún ajuste "
                      "salta ese bloqueo",
                bindable ? "sudo modprobe " + port.pci->knownTo
                               + " && sudo modprobe ppdev   # el núcleo toma la tarjeta y ppdev "
                                 "la sirve"
                         : "");
            return;
        }
        const bool served = m_policy.verdict(base, true) == portio::Verdict::Served
                            && m_policy.verdict(base + 2, true) == portio::Verdict::Served;
        const auto &failure = helper();
        if (served && !failure) {
            port.path = decodes ? std::optional(Path::Helper) : std::nullopt;
            return;
        }
        const portio::AdminFile &admin = m_findings.admin;
        if (!served && admin.present && !admin.honoured)
            add(port,
                "velmora-portio no sirve " + hex(base) + "h: " + admin.path
                    + " no se tiene en cuenta (" + admin.whyIgnored + ")",
                admin.remedy);
        else if (!served) {
            std::string lines = hex(base) + "-" + hex(base + 7u) + "\\n";
            if (port.ecpBase)
                lines += hex(*port.ecpBase) + "-" + hex(*port.ecpBase + 2u) + "\\n";
            add(port,
                "velmora-portio no sirve " + hex(base)
                    + "h: solo sirve los bloques estándar y los que lista " + admin.path,
                "sudo mkdir -p " + admin.path.substr(0, admin.path.rfind('/')) + " && printf '"
                    + lines + "' | sudo tee -a " + admin.path);
        }
        if (failure)
            add(port, failure->reason, failure->remedy);
    }

    // parport_pc's io= and io_hi= make it probe the listed ports alone, so they must list every
    // port of the machine; they are honoured only when the module is loaded anew, and a locked
    // kernel refuses them.
    void alternative(FoundPort &port)
    {
        if (!m_findings.lockdown.empty() || (!port.pci && !has(port, Source::Firmware)))
            return;
        std::string io, high;
        for (const FoundPort &other : m_findings.ports) {
            if (!other.base
                || !(has(other, Source::Kernel) || has(other, Source::Pci)
                     || has(other, Source::Firmware)))
                continue;
            io += (io.empty() ? "0x" : ",0x") + hex(*other.base);
            high += (high.empty() ? "0x" : ",0x") + hex(other.ecpBase.value_or(0));
        }
        port.alternative = "sudo rmmod lp ppdev parport_pc\nsudo modprobe parport_pc io=" + io
                           + " io_hi=" + high + "\nsudo modprobe ppdev";
    }

    static bool has(const FoundPort &port, Source source)
    {
        return std::find(port.sources.begin(), port.sources.end(), source) != port.sources.end();
    }

    const System &m_system;
    Probes &m_probes;
    const Findings &m_findings;
    portio::Policy m_policy;
    bool m_helperTried = false;
    std::optional<port::PortFailure> m_helper;
};

} // namespace

Findings findPorts(const System &system, Probes &probes)
{
    Findings findings;
    findings.lockdown = port::kernelLockdown(system.sysRoot);
    findings.admin = portio::readAdminFile(system.adminFile);
    Merger merger;
    kernelPorts(system, merger);
    pciCards(system, merger);
    firmwarePorts(system, merger);
    for (const portio::Block &block : findings.admin.blocks)
        if (block.last - block.first >= 7) // a port's eight registers, not an ECP block
            merger.at(block.first, Source::Admin);
    for (auto &[base, port] : merger.ports())
        findings.ports.push_back(std::move(port));

    Verdicts verdicts(system, probes, findings);
    for (FoundPort &port : findings.ports)
        verdicts.decide(port);
    for (FoundPort &adapter : usbAdapters(system))
        findings.ports.push_back(std::move(adapter));
    return findings;
}

} // namespace doctor
