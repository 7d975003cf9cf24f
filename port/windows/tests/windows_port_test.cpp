// Console test of the Windows port binding against stand-in port libraries (the real one is never
// here): it must reach their entry points, and refuse a library that lacks one, whose driver is
// not open, or that only the current folder holds. The session's fall-back to the simulated port
// is the port_tests suite's, which runs under wine too; what Windows' notice says, the installed
// program's (e2e/velmora_wine_e2e.sh).
#include "windows_port.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

int failed = 0;

// whyHas: part of the reason the library is refused, or nullptr when it must be bound.
void checkOpen(const std::wstring &library, const char *whyHas)
{
    std::string whyNot;
    auto port = port::WindowsPort::open(library, whyNot);
    bool ok = whyHas ? !port && whyNot.find(whyHas) != std::string::npos : port != nullptr;
    if (port) {
        port->write(0xFFFF, 0x15A); // the pattern of -1; a port is a byte wide
        ok = ok && port->read(0xFFFF) == 0x5A;
    }
    std::printf("%s %ls: %s\n", ok ? "ok  " : "FAIL", library.c_str(), whyNot.c_str());
    failed += !ok;
}

} // namespace

int main()
{
    checkOpen(L"velmora_no_such_library.dll", "no se encuentra");
    checkOpen(L"velmora_fake_port_without_out32.dll", "no tiene la función Out32");
    checkOpen(L"velmora_fake_port_driver_closed.dll", "IsInpOutDriverOpen");
    checkOpen(L"velmora_fake_port_driver_open.dll", nullptr);
    checkOpen(L"velmora_fake_port.dll", nullptr); // a release without IsInpOutDriverOpen

    // A library only the current folder holds is not loaded, though LoadLibrary's own search
    // order would find it there.
    wchar_t path[MAX_PATH];
    std::wstring folder(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    folder.erase(folder.find_last_of(L'\\'));
    const std::wstring elsewhere = folder + L"\\current_folder_only";
    CreateDirectoryW(elsewhere.c_str(), nullptr);
    CopyFileW((folder + L"\\velmora_fake_port.dll").c_str(),
              (elsewhere + L"\\velmora_fake_port_elsewhere.dll").c_str(), FALSE);
    SetCurrentDirectoryW(elsewhere.c_str());
    HMODULE plain = LoadLibraryW(L"velmora_fake_port_elsewhere.dll");
    failed += plain == nullptr; // else the next check would prove nothing
    FreeLibrary(plain);
    checkOpen(L"velmora_fake_port_elsewhere.dll", "no se encuentra");
    std::printf("%d failed\n", failed);
    return failed == 0 ? 0 : 1;
}
