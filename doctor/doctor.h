#pragma once

// Finds every parallel port of the machine without touching one: the kernel's ports, PCI and
// PCIe cards, the firmware's ports, the administrator's blocks and USB printer adapters, merged
// by base address; and for each, which path reaches it for this user now, found by trying the
// path (opening the device, ioperm on and off, the helper's greeting), or the one fix that works.

#include "port_error.h"
#include "port_session.h"
#include "portio_policy.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace doctor {

enum class Source { Kernel, Pci, Firmware, Admin, Usb };
enum class Path { Ppdev, Helper, DevPort, Direct, PortLibrary }; // PortLibrary: Windows

const char *sourceName(Source source); // "kernel", as the JSON writes it
const char *pathName(Path path);       // "ppdev", "helper", "dev-port", "direct", "port-library"

struct PciCard
{
    std::string slot; // "0000:03:00.0"
    std::uint16_t vendor = 0;
    std::uint16_t device = 0;
    std::string name;   // from pci.ids, "" when unknown
    std::string driver; // the bound kernel driver, "" when none
    bool ioEnabled = false;
    std::string knownTo; // the kernel driver whose table lists it, "" for a plain class 07 01 card
};

struct FoundPort
{
    std::optional<std::uint16_t> base; // none for a USB adapter
    std::optional<std::uint16_t> ecpBase;
    std::vector<Source> sources;
    std::string kernelPort; // "parport1"
    std::string device;     // "/dev/parport1", "/dev/usb/lp0"
    std::optional<PciCard> pci;
    std::string usbName;
    std::vector<std::string> modes;
    std::string holder;                // devices/active: "none", "lp0", "" unknown
    std::vector<std::string> openedBy; // "1234 (cupsd)", for the processes this user may see
    std::optional<Path> path;
    std::string problem;     // in Spanish, "" when reachable
    std::string fix;         // commands to copy, one a line; "" when there is none
    std::string alternative; // parport_pc's io= and io_hi=, for a port the kernel could take
    std::string note;        // what else a person should know
};

struct Findings
{
    std::vector<FoundPort> ports; // by base, USB adapters last
    std::string lockdown;
    portio::AdminFile admin;
};

// Where the machine is read: fake trees in the tests.
struct System
{
    std::string procRoot = "/proc";
    std::string sysRoot = "/sys";
    std::string devRoot = "/dev";
    std::string adminFile = portio::AdminFilePath;
    std::string pciIds = "/usr/share/misc/pci.ids";
};

// The paths, each tried without reading or writing a register. Each returns 0 or an errno.
class Probes
{
public:
    virtual ~Probes() = default;
    // Opens the device read and write and closes it; ppdev claims nothing on open.
    virtual int openDevice(const std::string &path) = 0;
    // ioperm on the block and off again.
    virtual int ioperm(std::uint16_t first, unsigned count) = 0;
    virtual int openDevPort(const std::string &path) = 0;
    // Starts velmora-portio, waits for its greeting and stops it; the failure, if it was not
    // greeted.
    virtual std::optional<port::PortFailure> helper(const std::string &lockdown) = 0;
};

std::unique_ptr<Probes> systemProbes();

Findings findPorts(const System &system, Probes &probes);

// What the error of an access to address that failed as driver says is to say: the problem and
// fix of the port whose registers or ECP block hold it; the driver's failure where that port is
// reachable (the driver's reason is the truth then); where the system knows no port there, the
// driver's failure, that, and which ports it knows.
port::PortFailure adviceFor(const Findings &findings, std::uint16_t address,
                            const port::PortFailure &driver);
// The same on this machine, found now (its probes start the helper): findPorts on Linux,
// findPortsWindows on Windows.
port::PortFailure adviceFor(std::uint16_t address, const port::PortFailure &driver);

// A port the system's own records name, and how a person knows it: "parport0", "LPT1", a card's
// name, "firmware".
struct NamedPort
{
    std::uint16_t base = 0;
    std::string label;
};
// The ports of findings that have a base, by base.
std::vector<NamedPort> namedPorts(const Findings &findings);
// This machine's, read from its records without trying any path (no helper is started): the
// kernel's, PCI cards and the firmware's on Linux, the LPT ports on Windows.
std::vector<NamedPort> namedPorts();

// The machine's ports (port::open), with adviceFor as the session's advisor.
port::Session openPorts(port::Fallback fallback, port::NoticeSink notices);

// What to check on a machine where the system knows no parallel port at all.
inline constexpr const char *NoPortHint =
    "Si hay una tarjeta, compruebe que está bien puesta y que el sistema tiene su controlador; un "
    "adaptador USB de impresora no puede mover pines sueltos.";

std::string renderText(const Findings &findings);
// One JSON array, one object per port (documented in the manual page).
std::string renderJson(const Findings &findings);

} // namespace doctor
