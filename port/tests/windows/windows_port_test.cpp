// Console test of the Windows port binding. Without the real port library (never here) the
// program must fall back to the simulated port and say what is missing; with a stand-in library
// the binding must reach its entry points.
#include "inpout.h"
#include "simulated_port.h"
#include "windows_port.h"

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

} // namespace

int main()
{
    using inpout::WindowsPort;

    const std::wstring library = WindowsPort::libraryName();
    check(library == (sizeof(void *) == 8 ? L"inpoutx64.dll" : L"inpout32.dll"),
          "the library named for this build's width");

    std::string whyNot;
    check(WindowsPort::open(L"velmora_no_such_library.dll", whyNot) == nullptr,
          "a missing library gives no driver");
    check(contains(whyNot, "velmora_no_such_library.dll") && contains(whyNot, "no se encuentra"),
          "and names it: " + whyNot);

    whyNot.clear();
    check(WindowsPort::open(L"velmora_fake_port_without_out32.dll", whyNot) == nullptr,
          "a library without Out32 gives no driver");
    check(contains(whyNot, "no tiene la función Out32"), "and names the entry: " + whyNot);

    whyNot.clear();
    auto port = WindowsPort::open(L"velmora_fake_port.dll", whyNot);
    check(port != nullptr, "a library with both entries is bound " + whyNot);
    if (port) {
        port->write(888, 0x5A);
        port->write(0xFFFF, 7);
        check(port->read(888) == 0x5A, "Out32 then Inp32 reach the library");
        check(port->read(0xFFFF) == 7, "address FFFFh passes as the pattern of -1");
    }

    // The binding, as the program uses it, with the real library's name: absent here.
    std::vector<std::string> notices;
    inpout::setNoticeHandler([&](const std::string &notice) { notices.push_back(notice); });
    Out32(StatusPort, 0x33);
    check(Inp32(StatusPort) == 0x33, "the simulated port serves when the library is missing");
    check(Inp32(889) == inpout::SimulatedPort::IdleStatus, "with its idle status");
    check(dynamic_cast<inpout::SimulatedPort *>(inpout::currentDriver()) != nullptr,
          "the driver in use is the simulated port");
    check(notices.size() == 1, "one notice");
    if (!notices.empty()) {
        const std::string name(library.begin(), library.end());
        check(contains(notices[0], name) && contains(notices[0], "puerto paralelo simulado"),
              "the notice names the missing library");
    }

    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
