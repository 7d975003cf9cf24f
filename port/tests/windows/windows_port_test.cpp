// Console test of the Windows port binding. Without the real port library (never here) the
// program must fall back to the simulated port and say what is missing; with a stand-in library
// the binding must reach its entry points, and refuse one whose driver is not open.
#include "inpout.h"
#include "simulated_port.h"
#include "windows_port.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int passed = 0;
int failed = 0;

void check(bool ok, const std::string &what)
{
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    ++(ok ? passed : failed);
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

std::string narrow(const std::wstring &text)
{
    return std::string(text.begin(), text.end());
}

std::wstring programFolder()
{
    wchar_t path[MAX_PATH];
    const std::wstring program(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return program.substr(0, program.find_last_of(L'\\'));
}

void checkOpen(const std::wstring &library, bool bound, const std::vector<std::string> &why)
{
    std::string whyNot;
    auto port = port::WindowsPort::open(library, whyNot);
    const std::string name = narrow(library);
    check((port != nullptr) == bound, name + (bound ? " is bound " : " is refused: ") + whyNot);
    for (const std::string &part : why)
        check(contains(whyNot, part), "  the reason says \"" + part + "\"");
    if (port) {
        port->write(888, 0x5A);
        port->write(0xFFFF, 7);
        check(port->read(888) == 0x5A, "  Out32 then Inp32 reach the library");
        check(port->read(0xFFFF) == 7, "  address FFFFh passes as the pattern of -1");
    }
}

} // namespace

int main()
{
    using port::WindowsPort;

    const std::wstring library = WindowsPort::libraryName();
    check(library == (sizeof(void *) == 8 ? L"inpoutx64.dll" : L"inpout32.dll"),
          "the library named for this build's width");

    checkOpen(L"velmora_no_such_library.dll", false,
              {"velmora_no_such_library.dll", "no se encuentra"});
    checkOpen(L"velmora_fake_port_without_out32.dll", false, {"no tiene la función Out32"});
    checkOpen(L"velmora_fake_port_driver_closed.dll", false,
              {"velmora_fake_port_driver_closed.dll", "IsInpOutDriverOpen", "como administrador"});
    checkOpen(L"velmora_fake_port_driver_open.dll", true, {});
    checkOpen(L"velmora_fake_port.dll", true, {}); // a release without IsInpOutDriverOpen

    // A library found only in the current folder is not loaded, although the default search
    // order of LoadLibrary would find it there.
    const std::wstring folder = programFolder();
    const std::wstring elsewhere = folder + L"\\current_folder_only";
    CreateDirectoryW(elsewhere.c_str(), nullptr);
    CopyFileW((folder + L"\\velmora_fake_port.dll").c_str(),
              (elsewhere + L"\\velmora_fake_port_elsewhere.dll").c_str(), FALSE);
    SetCurrentDirectoryW(elsewhere.c_str());
    HMODULE plain = LoadLibraryW(L"velmora_fake_port_elsewhere.dll");
    check(plain != nullptr, "LoadLibraryW finds a library in the current folder");
    if (plain)
        FreeLibrary(plain);
    checkOpen(L"velmora_fake_port_elsewhere.dll", false, {"no se encuentra"});
    SetCurrentDirectoryW(folder.c_str());

    // The binding, as the program uses it, with the real library's name: absent here.
    std::vector<std::string> notices;
    port::setNoticeHandler([&](const std::string &notice) { notices.push_back(notice); });
    Out32(StatusPort, 0x33);
    check(Inp32(StatusPort) == 0x33, "the simulated port serves when the library is missing");
    check(Inp32(889) == port::SimulatedPort::IdleStatus, "with its idle status");
    check(dynamic_cast<port::SimulatedPort *>(port::currentDriver()) != nullptr,
          "the driver in use is the simulated port");
    check(notices.size() == 1 && contains(notices[0], narrow(library))
              && contains(notices[0], "puerto paralelo simulado"),
          "one notice, naming the missing library");

    // A library whose driver is not open: its reads would all be 0, so the port is simulated.
    port::installDriver(nullptr);
    port::setHardwareOpener([](std::string &whyNot) -> std::unique_ptr<port::PortDriver> {
        return WindowsPort::open(L"velmora_fake_port_driver_closed.dll", whyNot);
    });
    check(Inp32(889) == port::SimulatedPort::IdleStatus
              && dynamic_cast<port::SimulatedPort *>(port::currentDriver()) != nullptr,
          "a library whose driver is not open gives the simulated port");
    check(notices.size() == 2 && contains(notices[1], "velmora_fake_port_driver_closed.dll")
              && contains(notices[1], "IsInpOutDriverOpen")
              && contains(notices[1], "ejecute Velmora una vez como administrador"),
          "and one notice that names it and says to run Velmora once as administrator");

    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
