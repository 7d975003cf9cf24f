#include "windows_doctor.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace doctor {

namespace {

// The name the port library gives the service of the kernel driver it installs.
constexpr const char *DriverServiceName = "inpoutx64";
constexpr const char *LibraryName = "inpoutx64.dll";

std::string hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

std::string bitness(std::uint16_t machine)
{
    switch (machine) {
    case MachineI386:
        return "de 32 bits";
    case MachineAmd64:
        return "de 64 bits";
    case MachineArm64:
        return "de ARM64";
    case 0:
        return "sin cabecera de programa de Windows";
    }
    return "de la máquina " + hex(machine) + "h";
}

std::string serviceText(ServiceState state)
{
    switch (state) {
    case ServiceState::NotInstalled:
        return "no instalado";
    case ServiceState::Stopped:
        return "detenido";
    case ServiceState::Running:
        return "en marcha";
    case ServiceState::Blocked:
        return "bloqueado por Windows";
    case ServiceState::Unknown:
        break;
    }
    return "desconocido";
}

std::string joined(const std::vector<std::string> &parts)
{
    std::string text;
    for (const std::string &part : parts)
        text += (text.empty() ? "«" : " y «") + part + "»";
    return text;
}

const std::string AsAdministrator =
    "Inicie velmora una vez como administrador (clic derecho en velmora.exe, «Ejecutar como "
    "administrador»): la biblioteca instala y arranca su controlador; después basta su usuario.";

// The port library's state, the same for every port: reachable, or the problem and the one fix.
struct LibraryVerdict
{
    bool reachable = false;
    std::string problem;
    std::string fix;
    std::string note;
};

std::string unblockFix(const std::vector<std::string> &blockers)
{
    return "Windows bloquea el controlador de la biblioteca de puertos: en Seguridad de Windows, "
           "Seguridad del dispositivo, Aislamiento del núcleo, desactive "
           + (blockers.empty() ? std::string("«Integridad de memoria» y «Lista de bloqueo de "
                                             "controladores vulnerables de Microsoft»")
                               : joined(blockers))
           + ", reinicie el equipo y vuelva a abrir velmora.";
}

LibraryVerdict libraryVerdict(WindowsSystem &system)
{
    LibraryVerdict verdict;
    const std::string folder = system.programFolder();
    const std::uint16_t program = system.programMachine();
    const std::optional<PortLibraryFile> library = system.portLibrary();
    const ServiceState service = system.driverService();
    const bool elevated = system.elevated();
    verdict.note =
        "Biblioteca: "
        + (library ? library->path + ", " + bitness(library->machine) : std::string("ninguna"))
        + "; servicio de su controlador (" + DriverServiceName + "): " + serviceText(service)
        + "; este proceso " + (elevated ? "es administrador." : "no es administrador.");
    if (!library) {
        verdict.problem = std::string("no se encuentra la biblioteca de puertos ") + LibraryName
                          + " (ni junto al programa ni en System32)";
        verdict.fix = std::string("Ponga ") + LibraryName + " (la " + bitness(program)
                      + ") junto a velmora.exe, en " + folder + ".";
        return verdict;
    }
    if (library->machine != program) {
        verdict.problem = library->path + " es " + bitness(library->machine) + " y el programa "
                          + bitness(program) + ": Windows no la carga";
        // The program's folder is searched first, so a right one there wins over System32's.
        verdict.fix = std::string("Ponga la versión ") + bitness(program) + " de " + LibraryName
                      + " junto a velmora.exe, en " + folder + ", en lugar de " + library->path
                      + " (la de 32 bits se llama inpout32.dll y no sirve a este programa).";
        return verdict;
    }
    const std::vector<std::string> blockers = system.driverBlockers();
    if (service == ServiceState::Blocked) {
        verdict.problem = "Windows no deja cargar el controlador de la biblioteca de puertos";
        verdict.fix = unblockFix(blockers);
        return verdict;
    }
    if (service == ServiceState::NotInstalled || service == ServiceState::Unknown) {
        if (elevated) {
            // Loading the library from here would install its driver: the doctor only tells.
            verdict.problem = "el controlador de la biblioteca no está instalado; este proceso es "
                              "administrador, así que cargarla lo instalaría, y velmora ports no "
                              "cambia el sistema";
            verdict.fix = "Abra velmora como administrador: al abrir el puerto, la biblioteca "
                          "instala su controlador.";
        } else {
            verdict.problem = "el controlador de la biblioteca no está instalado, y solo un "
                              "administrador lo instala";
            verdict.fix = AsAdministrator;
        }
        return verdict;
    }
    const std::optional<bool> opens = system.driverOpens();
    verdict.note += opens ? (*opens ? " Su controlador abre." : " Su controlador no abre.") : "";
    if (opens.value_or(true)) {
        verdict.reachable = true;
        if (!opens)
            verdict.note += " La biblioteca no dice si su controlador abre (le falta "
                            "IsInpOutDriverOpen): si los pines no se mueven, es eso.";
        return verdict;
    }
    verdict.problem = "el controlador de la biblioteca no abre (IsInpOutDriverOpen dice que no)";
    if (!elevated && service == ServiceState::Stopped)
        verdict.fix = AsAdministrator;
    else if (!blockers.empty())
        verdict.fix = unblockFix(blockers);
    else
        verdict.fix = std::string("Reinicie el equipo; si sigue sin abrir, quite su servicio "
                                  "(«sc delete ")
                      + DriverServiceName
                      + "» en una consola de administrador) y abra velmora como administrador "
                        "para que lo instale de nuevo.";
    return verdict;
}

bool startsWith(const std::string &text, const char *prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

std::uint16_t idNumber(const std::string &instanceId, const char *key)
{
    const std::size_t at = instanceId.find(key);
    return at == std::string::npos
               ? 0
               : std::uint16_t(std::strtoul(instanceId.substr(at + 4, 4).c_str(), nullptr, 16));
}

bool standardBase(std::uint16_t base)
{
    return base == 0x378 || base == 0x278 || base == 0x3BC;
}

FoundPort foundPort(const WindowsLptDevice &device, const LibraryVerdict &library)
{
    FoundPort port;
    port.device = device.portName;
    port.sources.push_back(Source::Kernel);
    if (startsWith(device.instanceId, "PCI\\")) {
        port.sources.push_back(Source::Pci);
        PciCard card;
        card.slot = device.pciSlot;
        card.vendor = idNumber(device.instanceId, "VEN_");
        card.device = idNumber(device.instanceId, "DEV_");
        card.name = device.name;
        card.driver = device.driver;
        card.ioEnabled = !device.io.empty();
        port.pci = card;
    } else if (startsWith(device.instanceId, "ACPI\\")) {
        port.sources.push_back(Source::Firmware);
    } else if (startsWith(device.instanceId, "USB\\")) {
        port.sources = {Source::Usb};
        port.usbName = device.name;
        port.problem = "es un adaptador USB de impresora: habla solo el protocolo de impresora, "
                       "no da pines sueltos";
        return port;
    }
    if (!port.pci)
        port.note = "Dispositivo: " + device.name + "; controlador "
                    + (device.driver.empty() ? "ninguno" : device.driver) + ". ";
    port.note += library.note;
    if (device.io.empty()) {
        port.problem = "Windows no le dio direcciones de E/S";
        port.fix = "En el Administrador de dispositivos, en Puertos (COM y LPT), compruebe que "
                   + device.portName + " está habilitado y sin conflicto de recursos.";
        return port;
    }
    // The configuration lists the port's own registers first and then its ECP block.
    port.base = device.io[0].first;
    if (device.io.size() > 1)
        port.ecpBase = device.io[1].first;
    if (!library.reachable) {
        port.problem = library.problem;
        port.fix = library.fix;
        return port;
    }
    port.path = Path::PortLibrary;
    if (!standardBase(*port.base))
        port.fix = "En la ventana de velmora, escriba " + hex(*port.base)
                   + " como dirección del puerto: no está en 378h.";
    return port;
}

} // namespace

Findings findPortsWindows(WindowsSystem &system)
{
    Findings findings;
    const std::vector<WindowsLptDevice> devices = system.lptPorts();
    if (devices.empty())
        return findings;
    const LibraryVerdict library = libraryVerdict(system);
    for (const WindowsLptDevice &device : devices)
        findings.ports.push_back(foundPort(device, library));
    std::stable_sort(findings.ports.begin(), findings.ports.end(),
                     [](const FoundPort &a, const FoundPort &b) {
                         return a.base && (!b.base || *a.base < *b.base);
                     });
    return findings;
}

std::string renderWindowsText(const Findings &findings)
{
    if (!findings.ports.empty())
        return renderText(findings);
    return std::string("Puertos paralelos de este equipo (sin tocar ninguno):\n\n  Ninguno: "
                       "Windows no tiene ningún puerto LPT (Administrador de dispositivos, Puertos "
                       "(COM y LPT)).\n  ")
           + NoPortHint + "\n";
}

std::string portLibraryText(WindowsSystem &system)
{
    const LibraryVerdict library = libraryVerdict(system);
    std::string text = "\nUna dirección escrita a mano pasa por la biblioteca de puertos.\n  "
                       + library.note + "\n";
    if (!library.reachable)
        text += "  Por qué no llega: " + library.problem + ".\n  Solución: " + library.fix + "\n";
    return text;
}

} // namespace doctor
