#include "doctor.h"

#include <cstdio>

namespace doctor {

namespace {

std::string hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%Xh", value);
    return text;
}

std::string joined(const std::vector<std::string> &parts, const char *separator)
{
    std::string text;
    for (const std::string &part : parts)
        text += (text.empty() ? "" : separator) + part;
    return text;
}

std::string indented(const std::string &text, const std::string &indent)
{
    std::string out = indent;
    for (const char c : text)
        out += c == '\n' ? "\n" + indent : std::string(1, c);
    return out;
}

const char *sourceText(Source source)
{
    switch (source) {
    case Source::Kernel:
        return "núcleo";
    case Source::Pci:
        return "PCI";
    case Source::Firmware:
        return "firmware";
    case Source::Admin:
        return "archivo del administrador";
    case Source::Usb:
        return "USB";
    }
    return "?";
}

const char *pathText(Path path)
{
    switch (path) {
    case Path::Ppdev:
        return "ppdev";
    case Path::Helper:
        return "el ayudante velmora-portio";
    case Path::DevPort:
        return "/dev/port";
    case Path::Direct:
        return "directo (ioperm)";
    case Path::PortLibrary:
        return "la biblioteca de puertos (inpoutx64.dll)";
    }
    return "?";
}

std::string quoted(const std::string &text)
{
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\')
            out += std::string("\\") + char(c);
        else if (c == '\n')
            out += "\\n";
        else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(c));
            out += escape;
        } else
            out += char(c);
    }
    return out + "\"";
}

std::string orNull(const std::string &text)
{
    return text.empty() ? "null" : quoted(text);
}

std::string orNull(const std::optional<std::uint16_t> &value)
{
    return value ? std::to_string(*value) : "null";
}

std::string hex4(std::uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", unsigned(value));
    return text;
}

} // namespace

const char *sourceName(Source source)
{
    switch (source) {
    case Source::Kernel:
        return "kernel";
    case Source::Pci:
        return "pci";
    case Source::Firmware:
        return "firmware";
    case Source::Admin:
        return "admin";
    case Source::Usb:
        return "usb";
    }
    return "?";
}

const char *pathName(Path path)
{
    switch (path) {
    case Path::Ppdev:
        return "ppdev";
    case Path::Helper:
        return "helper";
    case Path::DevPort:
        return "dev-port";
    case Path::Direct:
        return "direct";
    case Path::PortLibrary:
        return "port-library";
    }
    return "?";
}

std::string renderText(const Findings &findings)
{
    std::string out = "Puertos paralelos de este equipo (sin tocar ninguno):\n";
    if (findings.ports.empty())
        out += "\n  Ninguno: ni el núcleo (/proc/sys/dev/parport), ni una tarjeta PCI de puerto "
               "paralelo, ni el firmware (PNP0400, PNP0401), ni "
               + findings.admin.path + " dan ninguno.\n  " + NoPortHint + "\n";
    std::vector<std::string> missing;
    for (const FoundPort &port : findings.ports) {
        std::string title = port.base ? hex(*port.base) : "USB";
        if (port.ecpBase)
            title += ", ECP " + hex(*port.ecpBase);
        if (!port.device.empty())
            title += ", " + port.device;
        std::vector<std::string> sources;
        for (const Source source : port.sources)
            sources.push_back(sourceText(source));
        out += "\n" + title + "\n  Lo conoce: " + joined(sources, ", ") + "\n";
        if (!port.kernelPort.empty())
            out += "  El núcleo: " + port.kernelPort
                   + (port.holder.empty() || port.holder == "none" ? ", libre"
                                                                   : ", en uso por " + port.holder)
                   + (port.openedBy.empty() ? "" : "; abierto por " + joined(port.openedBy, ", "))
                   + "\n";
        if (port.pci)
            out += "  Tarjeta " + port.pci->slot + " [" + hex4(port.pci->vendor) + ":"
                   + hex4(port.pci->device) + "]"
                   + (port.pci->name.empty() ? "" : " " + port.pci->name) + "; controlador "
                   + (port.pci->driver.empty() ? "ninguno" : port.pci->driver)
                   + (port.pci->ioEnabled ? "" : "; decodificación de E/S apagada") + "\n";
        if (!port.usbName.empty())
            out += "  Adaptador: " + port.usbName + "\n";
        if (!port.modes.empty())
            out += "  Modos: " + joined(port.modes, ", ") + "\n";
        if (port.path)
            out += std::string("  Camino para su usuario: ") + pathText(*port.path) + "\n";
        else if (port.base)
            out += "  Camino para su usuario: ninguno\n";
        if (!port.problem.empty())
            out += "  Por qué: " + port.problem + "\n";
        if (!port.fix.empty()) {
            out += "  Solución (cópiela):\n" + indented(port.fix, "    ") + "\n";
            missing.push_back(port.fix);
        }
        if (!port.alternative.empty() && !port.path)
            out += "  O bien, que lo tome el núcleo (con io= parport_pc solo prueba los "
                   "puertos que se le dan, así que van todos los del equipo):\n"
                   + indented(port.alternative, "    ") + "\n";
        if (!port.note.empty())
            out += "  " + port.note + "\n";
    }
    if (!findings.lockdown.empty())
        out += "\nEl núcleo está bloqueado (lockdown «" + findings.lockdown
               + "»): solo se llega a los puertos de un controlador del núcleo, por ppdev.\n";
    bool allReached = !findings.ports.empty();
    for (const FoundPort &port : findings.ports)
        allReached = allReached && (port.path || !port.base);
    if (allReached && missing.empty())
        out += "\nNo falta nada: su usuario llega a todos los puertos.\n";
    else if (!missing.empty())
        out +=
            "\nLo que falta: " + std::string(missing.size() == 1 ? "la solución" : "las soluciones")
            + " de arriba.\n";
    return out;
}

std::vector<NamedPort> namedPorts(const Findings &findings)
{
    std::vector<NamedPort> named;
    for (const FoundPort &port : findings.ports) {
        if (!port.base)
            continue;
        std::string label = port.kernelPort;
        if (label.empty() && port.pci)
            label = port.pci->name.empty() ? "PCI " + port.pci->slot : port.pci->name;
        if (label.empty() && !port.sources.empty())
            label =
                port.sources.front() == Source::Firmware ? "firmware (ACPI)" : "del administrador";
        named.push_back({*port.base, label});
    }
    return named;
}

port::PortFailure adviceFor(const Findings &findings, std::uint16_t address,
                            const port::PortFailure &driver)
{
    const auto holds = [address](const std::optional<std::uint16_t> &first) {
        return first && address >= *first && address - *first < 8;
    };
    std::vector<std::string> known;
    for (const FoundPort &port : findings.ports) {
        if (holds(port.base) || holds(port.ecpBase)) {
            if (port.path || port.problem.empty())
                return driver;
            return {port.problem, port.fix.empty() ? port.alternative : port.fix, driver.error};
        }
        if (port.base)
            known.push_back(port::addressText(*port.base));
    }
    // A path may still reach an address the system does not list, as a card without its driver:
    // the driver's reason stays, and what the system knows is added.
    port::PortFailure said = driver;
    std::string hint = NoPortHint;
    if (known.empty()) {
        said.reason += "; además, en este equipo no se encuentra ningún puerto paralelo";
    } else {
        const bool one = known.size() == 1;
        said.reason += std::string("; además, el sistema no conoce ningún puerto paralelo en esa "
                                   "dirección; conoce ")
                       + (one ? "el de " : "los de ") + joined(known, ", ");
        hint = one ? "Use la dirección de ese puerto." : "Use la dirección de uno de ellos.";
    }
    said.remedy += (said.remedy.empty() ? "" : "\n\n") + hint;
    return said;
}

std::string renderJson(const Findings &findings)
{
    std::string out = "[";
    for (std::size_t i = 0; i < findings.ports.size(); ++i) {
        const FoundPort &port = findings.ports[i];
        std::string sources, modes;
        for (const Source source : port.sources)
            sources += (sources.empty() ? "" : ", ") + quoted(sourceName(source));
        for (const std::string &mode : port.modes)
            modes += (modes.empty() ? "" : ", ") + quoted(mode);
        std::string pci = "null";
        if (port.pci)
            pci = "{\"slot\": " + quoted(port.pci->slot) + ", \"vendor\": \""
                  + hex4(port.pci->vendor) + "\", \"device\": \"" + hex4(port.pci->device)
                  + "\", \"name\": " + orNull(port.pci->name)
                  + ", \"driver\": " + orNull(port.pci->driver)
                  + ", \"io_enabled\": " + (port.pci->ioEnabled ? "true" : "false") + "}";
        out += std::string(i ? ",\n " : "\n ") + "{\"base\": " + orNull(port.base)
               + ", \"ecp_base\": " + orNull(port.ecpBase) + ", \"sources\": [" + sources
               + "], \"kernel_port\": " + orNull(port.kernelPort)
               + ", \"device\": " + orNull(port.device) + ", \"pci\": " + pci + ", \"modes\": ["
               + modes + "], \"reachable\": " + (port.path ? "true" : "false")
               + ", \"path\": " + (port.path ? quoted(pathName(*port.path)) : "null")
               + ", \"problem\": " + orNull(port.problem) + ", \"fix\": " + orNull(port.fix) + "}";
    }
    return out + (findings.ports.empty() ? "]\n" : "\n]\n");
}

} // namespace doctor
