// The doctor on Windows with a scripted system, and once on the real one, which under wine has no
// LPT port and must say so.
#include "windows_doctor.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <functional>

namespace {

using namespace doctor;

struct ScriptedWindows : WindowsSystem
{
    std::vector<WindowsLptDevice> ports;
    std::optional<PortLibraryFile> library =
        PortLibraryFile{"C:\\Velmora\\inpoutx64.dll", MachineAmd64};
    ServiceState service = ServiceState::Running;
    std::vector<std::string> blockers;
    bool isElevated = false;
    std::optional<bool> opens = true;
    int loads = 0;

    std::vector<WindowsLptDevice> lptPorts() override { return ports; }
    std::optional<PortLibraryFile> portLibrary() override { return library; }
    std::string programFolder() override { return "C:\\Velmora"; }
    std::uint16_t programMachine() override { return MachineAmd64; }
    ServiceState driverService() override { return service; }
    std::vector<std::string> driverBlockers() override { return blockers; }
    bool elevated() override { return isElevated; }
    std::optional<bool> driverOpens() override
    {
        ++loads;
        return opens;
    }
};

// A PCIe card whose two I/O windows Windows put at D010h (its registers) and D000h (its ECP
// block), beside the board's own port.
const WindowsLptDevice Card{"LPT3",
                            "PCI\\VEN_1C00&DEV_3050&SUBSYS_30501C00&REV_10\\4&1B2C3D4E&0&00E0",
                            "PCI Parallel Port (LPT3)",
                            "Parport",
                            "0000:03:00.0",
                            {{0xD010, 0xD017}, {0xD000, 0xD007}}};
const WindowsLptDevice Board{"LPT1",
                             "ACPI\\PNP0401\\0",
                             "Puerto de impresora (LPT1)",
                             "Parport",
                             "",
                             {{0x378, 0x37F}, {0x778, 0x77B}}};

TEST(WindowsDoctor, ACardAtD010hIsReachedThroughThePortLibraryAtItsRealAddress)
{
    ScriptedWindows windows;
    windows.ports = {Card, Board};
    const Findings findings = findPortsWindows(windows);
    ASSERT_EQ(findings.ports.size(), 2u);
    const FoundPort &board = findings.ports[0];
    const FoundPort &card = findings.ports[1];
    EXPECT_EQ(board.base, 0x378);
    EXPECT_EQ(board.ecpBase, 0x778);
    EXPECT_EQ(board.fix, "");
    EXPECT_EQ(card.base, 0xD010);
    EXPECT_EQ(card.ecpBase, 0xD000);
    EXPECT_EQ(card.path, Path::PortLibrary);
    EXPECT_NE(card.fix.find("escriba D010"), std::string::npos) << card.fix;

    const std::string json = renderJson(findings);
    EXPECT_NE(
        json.find("{\"base\": 53264, \"ecp_base\": 53248, \"sources\": [\"kernel\", \"pci\"], "
                  "\"kernel_port\": null, \"device\": \"LPT3\", \"pci\": {\"slot\": "
                  "\"0000:03:00.0\", \"vendor\": \"1c00\", \"device\": \"3050\", \"name\": "
                  "\"PCI Parallel Port (LPT3)\", \"driver\": \"Parport\", \"io_enabled\": "
                  "true}, \"modes\": [], \"reachable\": true, \"path\": \"port-library\""),
        std::string::npos)
        << json;
    EXPECT_NE(json.find("\"sources\": [\"kernel\", \"firmware\"]"), std::string::npos) << json;
    EXPECT_NE(renderWindowsText(findings).find("la biblioteca de puertos (inpoutx64.dll)"),
              std::string::npos);
}

// Each missing piece gives its own problem and its one fix; the library is loaded only where
// loading it cannot install its driver.
TEST(WindowsDoctor, EachMissingPieceHasItsOneFixAndNothingIsInstalled)
{
    const struct
    {
        const char *name;
        std::function<void(ScriptedWindows &)> script;
        const char *problem;
        const char *fix;
        int loads;
    } cases[] = {
        {"no library", [](ScriptedWindows &w) { w.library.reset(); }, "no se encuentra",
         "Ponga inpoutx64.dll (la de 64 bits) junto a velmora.exe, en C:\\Velmora", 0},
        {"32-bit library", [](ScriptedWindows &w) { w.library->machine = MachineI386; },
         "es de 32 bits y el programa de 64 bits:",
         "Ponga la versión de 64 bits de inpoutx64.dll junto a velmora.exe, en C:\\Velmora", 0},
        {"driver does not open",
         [](ScriptedWindows &w) {
             w.service = ServiceState::Stopped;
             w.opens = false;
         },
         "no abre", "como administrador", 1},
        {"driver blocked",
         [](ScriptedWindows &w) {
             w.service = ServiceState::Blocked;
             w.blockers = {"Integridad de memoria"};
         },
         "Windows no deja cargar", "desactive «Integridad de memoria»", 0},
        {"not installed, user", [](ScriptedWindows &w) { w.service = ServiceState::NotInstalled; },
         "no está instalado", "Inicie velmora una vez como administrador", 0},
        {"not installed, elevated",
         [](ScriptedWindows &w) {
             w.service = ServiceState::NotInstalled;
             w.isElevated = true;
         },
         "cargarla lo instalaría", "Abra velmora como administrador", 0},
    };
    for (const auto &c : cases) {
        ScriptedWindows windows;
        windows.ports = {Card};
        c.script(windows);
        const Findings findings = findPortsWindows(windows);
        ASSERT_EQ(findings.ports.size(), 1u) << c.name;
        const FoundPort &port = findings.ports[0];
        EXPECT_FALSE(port.path) << c.name;
        EXPECT_EQ(port.base, 0xD010) << c.name;
        EXPECT_NE(port.problem.find(c.problem), std::string::npos)
            << c.name << ": " << port.problem;
        EXPECT_NE(port.fix.find(c.fix), std::string::npos) << c.name << ": " << port.fix;
        EXPECT_EQ(windows.loads, c.loads) << c.name;
    }
}

TEST(WindowsDoctor, NoLptPortIsSaidPlainly)
{
    ScriptedWindows windows;
    const Findings findings = findPortsWindows(windows);
    EXPECT_TRUE(findings.ports.empty());
    EXPECT_EQ(windows.loads, 0);
    EXPECT_EQ(renderJson(findings), "[]\n");
    EXPECT_NE(renderWindowsText(findings).find("Ninguno: Windows no tiene ningún puerto LPT"),
              std::string::npos);
}

// Wine lists no LPT port: the real calls must run through and say so.
TEST(WindowsDoctor, TheRealSystemUnderWineHasNoPort)
{
    const std::unique_ptr<WindowsSystem> windows = windowsSystem();
    const Findings findings = findPortsWindows(*windows);
    EXPECT_TRUE(findings.ports.empty());
    EXPECT_EQ(renderJson(findings), "[]\n");
    EXPECT_EQ(windows->programMachine(), MachineAmd64);
    EXPECT_FALSE(windows->portLibrary()); // the real library is never beside a test

    wchar_t self[MAX_PATH];
    const std::wstring program(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    EXPECT_EQ(peMachine(program), MachineAmd64);
    const std::wstring notAProgram = program + L".txt";
    std::ofstream(std::filesystem::path(notAProgram)) << "MZ, and then no PE header at all";
    EXPECT_EQ(peMachine(notAProgram), 0);
    DeleteFileW(notAProgram.c_str());
}

} // namespace
