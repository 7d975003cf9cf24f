#pragma once

// The doctor on Windows: the LPT ports Windows knows, with the I/O ranges its configuration
// manager gave them, and for each whether the port library reaches it (found, of the program's
// bitness, its driver's service installed and not blocked, its driver open) or the one fix. The
// system is read through WindowsSystem, which the tests script; nothing is changed: where loading
// the port library would install its driver, the findings say so instead of loading it.

#include "doctor.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace doctor {

struct IoRange
{
    std::uint16_t first = 0;
    std::uint16_t last = 0;
};

struct WindowsLptDevice
{
    std::string portName;    // "LPT1", its PortName
    std::string instanceId;  // "PCI\VEN_1C00&DEV_3050&...", "ACPI\PNP0401\0"
    std::string name;        // the device's name in the Device Manager
    std::string driver;      // its driver's service, "Parport"
    std::string pciSlot;     // "0000:03:00.0" on a PCI bus, "" elsewhere
    std::vector<IoRange> io; // the allocated configuration's, in its order
};

// IMAGE_FILE_MACHINE_* of a PE header.
inline constexpr std::uint16_t MachineI386 = 0x014C;
inline constexpr std::uint16_t MachineAmd64 = 0x8664;
inline constexpr std::uint16_t MachineArm64 = 0xAA64;

// The machine a program or DLL is built for, from its PE header; 0 when the file has none.
std::uint16_t peMachine(const std::wstring &path);

struct PortLibraryFile
{
    std::string path;
    std::uint16_t machine = 0; // 0 when the file has no PE header
};

enum class ServiceState { NotInstalled, Stopped, Running, Blocked, Unknown };

class WindowsSystem
{
public:
    virtual ~WindowsSystem() = default;
    virtual std::vector<WindowsLptDevice> lptPorts() = 0;
    // Where the binding loads the port library from: the program's folder, then System32.
    virtual std::optional<PortLibraryFile> portLibrary() = 0;
    virtual std::string programFolder() = 0;
    virtual std::uint16_t programMachine() = 0;
    virtual ServiceState driverService() = 0;
    // The Windows settings now on that refuse some port drivers, by their names in Windows
    // Security, in Spanish.
    virtual std::vector<std::string> driverBlockers() = 0;
    virtual bool elevated() = 0;
    // Loads the library as the binding does and asks IsInpOutDriverOpen; nullopt when the library
    // lacks that entry. Called only where loading cannot install the driver.
    virtual std::optional<bool> driverOpens() = 0;
};

std::unique_ptr<WindowsSystem> windowsSystem();

Findings findPortsWindows(WindowsSystem &system);
// renderText, with what "no port" means on Windows.
std::string renderWindowsText(const Findings &findings);
// The port library's state on its own, for the text when Windows lists no LPT port: an address
// typed by hand still goes through it.
std::string portLibraryText(WindowsSystem &system);

} // namespace doctor
