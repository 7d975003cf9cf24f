#include "direct_port.h"
#include "fake_parport.h"
#include "inpout.h"
#include "routing_port.h"
#include "simulated_port.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <sys/stat.h>

namespace {

using port::PortError;
using port::PortFailure;
using port::Route;
using port::RoutingPort;
using port::SimulatedPort;

// A stand-in for one real path: it keeps whatever is written, per address, so that where a value
// went can be told by which path has it.
class MarkedPort : public port::PortDriver
{
public:
    explicit MarkedPort(PortValue mark)
        : m_mark(mark)
    {}
    PortValue read(std::uint16_t address) override
    {
        ++accesses;
        const auto kept = values.find(address);
        return kept == values.end() ? m_mark : kept->second;
    }
    void write(std::uint16_t address, PortValue value) override
    {
        ++accesses;
        values[address] = value;
    }

    std::map<std::uint16_t, PortValue> values;
    int accesses = 0;

private:
    PortValue m_mark;
};

constexpr PortValue DirectMark = 0x0D;
constexpr PortValue HelperMark = 0x4E;

// One machine: which paths it has. The fakes it builds are what the routing driver sees.
struct Machine
{
    bool parport = false; // the kernel knows a port at 378h, as /dev/parport0
    int parportError = 0; // errno of opening /dev/parport0 (EACCES outside the lp group)
    bool direct = false;  // root
    bool helper = false;  // helper installed and runnable by the user
    std::string lockdown;
    std::string adminFile; // the administrator's file, when there is one

    TempDir root;
    FakeParport device;
    MarkedPort *directPort = nullptr;
    MarkedPort *helperPort = nullptr;
    int helperStarts = 0;

    port::PortSystem system()
    {
        if (parport)
            root.write("proc/sys/dev/parport/parport0/base-addr", "888\t0\n");
        if (!lockdown.empty())
            root.write("sys/kernel/security/lockdown", "none [" + lockdown + "] confidentiality\n");
        device.openError = parportError;
        port::PortSystem s;
        s.procRoot = root.str() + "/proc";
        s.devRoot = root.str() + "/dev";
        s.sysRoot = root.str() + "/sys";
        s.ppdev = FakeParport::calls({{s.devRoot + "/parport0", &device}});
        s.adminFile = root.str() + "/etc/velmora/portio.conf";
        if (!adminFile.empty())
            root.write("etc/velmora/portio.conf", adminFile);
        s.openDirect = [this](std::string &whyNot) -> std::unique_ptr<port::PortDriver> {
            if (!direct) {
                whyNot = "ioperm: permiso denegado (EPERM); /dev/port: permiso denegado (EACCES)";
                return nullptr;
            }
            auto port = std::make_unique<MarkedPort>(DirectMark);
            directPort = port.get();
            return port;
        };
        s.startHelper = [this](const std::string &,
                               PortFailure &whyNot) -> std::unique_ptr<port::PortDriver> {
            ++helperStarts;
            if (!helper) {
                whyNot = {"el ayudante velmora-portio (/x/velmora-portio) no está instalado",
                          "Instale Velmora con su ayudante velmora-portio, o ejecútelo como root.",
                          ENOENT};
                return nullptr;
            }
            auto port = std::make_unique<MarkedPort>(HelperMark);
            helperPort = port.get();
            return port;
        };
        return s;
    }

    std::unique_ptr<RoutingPort> open(std::string &whyNot)
    {
        return RoutingPort::open(system(), whyNot);
    }
};

struct RoutingCase
{
    const char *name;
    bool parport;
    int parportError;
    bool direct;
    bool helper;
    // Routes of 378h (data), 37Ah (control), 37Bh (beyond the known port) and 278h.
    std::array<Route, 4> routes;
};

void PrintTo(const RoutingCase &c, std::ostream *os)
{
    *os << c.name;
}

class Routing : public testing::TestWithParam<RoutingCase>
{};

// The README's table of setups, address by address.
TEST_P(Routing, ServesEachAddressByThePathTheSetupHas)
{
    const RoutingCase &c = GetParam();
    Machine machine;
    machine.parport = c.parport;
    machine.parportError = c.parportError;
    machine.direct = c.direct;
    machine.helper = c.helper;
    std::string whyNot;
    auto routing = machine.open(whyNot);
    ASSERT_NE(routing, nullptr) << whyNot;
    const std::array<std::uint16_t, 4> addresses{0x378, 0x37A, 0x37B, 0x278};
    for (std::size_t i = 0; i < addresses.size(); ++i)
        EXPECT_EQ(routing->route(addresses[i]), c.routes[i])
            << "address " << std::hex << addresses[i] << ": " << port::routeName(c.routes[i])
            << " expected, " << port::routeName(routing->route(addresses[i])) << " taken";
}

constexpr auto P = Route::Ppdev;
constexpr auto D = Route::Direct;
constexpr auto H = Route::Helper;
constexpr auto N = Route::None;

INSTANTIATE_TEST_SUITE_P(
    Setups, Routing,
    testing::Values(
        RoutingCase{"RootWithPort", true, 0, true, false, {P, P, D, D}},
        RoutingCase{"RootWithoutPort", false, 0, true, false, {D, D, D, D}},
        RoutingCase{"RootWithoutPpdevModule", true, ENOENT, true, false, {D, D, D, D}},
        RoutingCase{"RootPortHeldExclusively", true, EBUSY, true, false, {N, N, D, D}},
        RoutingCase{"LpGroupAndHelper", true, 0, false, true, {P, P, N, H}},
        RoutingCase{"LpGroupOnly", true, 0, false, false, {P, P, N, N}},
        RoutingCase{"HelperOnlyPortNotOpenable", true, EACCES, false, true, {N, N, N, H}},
        RoutingCase{"HelperOnlyNoPort", false, 0, false, true, {H, H, H, H}},
        RoutingCase{"PortNotOpenableNothingElse", true, EACCES, false, false, {N, N, N, N}}),
    [](const auto &info) { return std::string(info.param.name); });

// The lockdown look-up opens a file of its own, which must not overwrite the errno reported.
TEST(DirectPort, NamesTheErrnoTheSystemGave)
{
    TempDir folder;
    std::string whyNot;
    EXPECT_EQ(port::DirectPort::openDevPort(folder.str(), whyNot, folder.str() + "/sys"),
              nullptr);
    EXPECT_NE(whyNot.find("(errno " + std::to_string(EISDIR) + ")"), std::string::npos) << whyNot;
}

TEST(RoutingPort, NoRealPathAtAllGivesNoDriverAndSaysWhatWasTried)
{
    Machine machine;
    machine.lockdown = "integrity";
    std::string whyNot;
    EXPECT_EQ(machine.open(whyNot), nullptr);
    for (const char *part : {"/sys/dev/parport no lista ninguno", "ioperm: permiso denegado",
                             "/dev/port: permiso denegado", "velmora-portio", "no está instalado",
                             "lockdown «integrity»"})
        EXPECT_NE(whyNot.find(part), std::string::npos) << part << " missing in: " << whyNot;
}

TEST(RoutingPort, ValuesGoWhereTheRouteSays)
{
    Machine machine;
    machine.parport = true;
    machine.helper = true;
    std::string whyNot;
    auto routing = machine.open(whyNot);
    ASSERT_NE(routing, nullptr) << whyNot;
    routing->write(0x378, 0x1A5);
    routing->write(0x278, 0x33);
    EXPECT_EQ(machine.device.data, 0xA5);
    EXPECT_EQ(routing->read(0x378), 0xA5);
    EXPECT_EQ(routing->read(0x379), machine.device.status);
    ASSERT_NE(machine.helperPort, nullptr);
    EXPECT_EQ(machine.helperPort->values, (std::map<std::uint16_t, PortValue>{{0x278, 0x33}}));
    EXPECT_EQ(routing->read(0x278), 0x33);
    EXPECT_EQ(routing->read(0x2F8), HelperMark);
}

TEST(RoutingPort, StartsTheHelperOnlyWhenAnAccessNeedsIt)
{
    Machine withPort;
    withPort.parport = true;
    withPort.helper = true;
    std::string whyNot;
    auto routing = withPort.open(whyNot);
    ASSERT_NE(routing, nullptr);
    routing->read(0x378);
    EXPECT_EQ(withPort.helperStarts, 0);
    routing->read(0x278);
    routing->read(0x2F8);
    EXPECT_EQ(withPort.helperStarts, 1);

    // Without a known port the very first access needs it, so it is started with the driver.
    Machine withoutPort;
    withoutPort.helper = true;
    auto raw = withoutPort.open(whyNot);
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(withoutPort.helperStarts, 1);
    raw->read(0x378);
    EXPECT_EQ(withoutPort.helperStarts, 1);
}

TEST(RoutingPort, AnAddressNoPathReachesIsAnErrorNeverASimulatedValue)
{
    Machine machine;
    machine.parport = true;
    std::string whyNot;
    auto routing = machine.open(whyNot);
    ASSERT_NE(routing, nullptr);
    try {
        routing->write(0x278, 1);
        FAIL() << "no error";
    } catch (const PortError &error) {
        const std::string text = error.what();
        EXPECT_EQ(error.access(), PortError::Access::Write);
        EXPECT_EQ(error.address(), 0x278);
        EXPECT_EQ(text.rfind("No se pudo escribir en el puerto 632 (278h): ", 0), 0u) << text;
        EXPECT_NE(text.find("378h-37Ah en "), std::string::npos) << text;
        EXPECT_NE(text.find("no está instalado"), std::string::npos) << text;
        EXPECT_NE(text.find("Instale Velmora con su ayudante"), std::string::npos) << text;
    }
    EXPECT_EQ(machine.device.requests.size(), 0u) << "the known port was touched";
    // A helper installed in the meantime is found at the next access.
    machine.helper = true;
    EXPECT_EQ(routing->read(0x278), HelperMark);
}

TEST(RoutingPort, APortThatCannotBeOpenedNamesTheLpGroup)
{
    Machine machine;
    machine.parport = true;
    machine.parportError = EACCES;
    std::string whyNot;
    auto routing = machine.open(whyNot);
    ASSERT_NE(routing, nullptr);
    try {
        routing->read(888);
        FAIL() << "no error";
    } catch (const PortError &error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("888 (378h)"), std::string::npos) << text;
        EXPECT_NE(text.find("grupo lp"), std::string::npos) << text;
    }
}

// The kernel's port is reached by the members of lp, through ppdev, and by nobody else: not by
// the helper when ppdev refuses, not for the registers ppdev does not serve.
TEST(RoutingPort, AKernelPortIsNeverServedRawToAUser)
{
    Machine machine;
    machine.parport = true;
    machine.parportError = EACCES;
    machine.helper = true;
    std::string whyNot;
    auto routing = machine.open(whyNot);
    ASSERT_NE(routing, nullptr);
    EXPECT_THROW(routing->write(0x378, 0x11), PortError);
    try {
        routing->read(0x37B);
        FAIL() << "no error";
    } catch (const PortError &error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("891 (37Bh): el controlador del núcleo tiene el puerto parport0 "
                            "(378h-37Fh y 778h-77Ah); por ppdev solo se llega a sus registros de "
                            "datos, estado y control (378h-37Ah)"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("rmmod lp ppdev parport_pc"), std::string::npos) << text;
    }
    EXPECT_EQ(machine.helperStarts, 0);
    routing->endAction();
    machine.device.openError = 0; // the user joins the lp group meanwhile
    routing->write(0x378, 0x22);
    EXPECT_EQ(machine.device.data, 0x22);
}

// The kernel's ports are looked up at each action: a port bound later goes through ppdev, and
// the helper started before it, which would still serve it, is replaced; a port taken away is
// no longer routed to its device.
TEST(RoutingPort, FollowsThePortsTheKernelBindsAndLoses)
{
    Machine machine;
    machine.helper = true;
    std::string whyNot;
    auto routing = machine.open(whyNot);
    ASSERT_NE(routing, nullptr) << whyNot;
    EXPECT_EQ(routing->route(0x378), Route::Helper);
    EXPECT_EQ(machine.helperStarts, 1);
    routing->endAction();

    machine.root.write("proc/sys/dev/parport/parport0/base-addr", "888\t0\n");
    EXPECT_EQ(routing->route(0x378), Route::Ppdev);
    EXPECT_EQ(routing->route(0x278), Route::Helper);
    EXPECT_EQ(machine.helperStarts, 2) << "the helper that predates the kernel's port stayed";
    routing->endAction();

    std::filesystem::remove_all(machine.root.path() / "proc/sys/dev/parport/parport0");
    EXPECT_EQ(routing->route(0x378), Route::Helper);
    EXPECT_EQ(machine.device.opens, machine.device.closes) << "the lost port's device is open";
}

// The helper cannot say why it leaves the administrator's file aside, so the program does.
TEST(Inpout, SaysWhenTheAdministratorsFileIsIgnored)
{
    Machine machine;
    machine.parport = true;
    machine.helper = true;
    machine.adminFile = "D010-D017\n";
    std::string whyNot;
    std::vector<std::string> notices;
    port::setNoticeHandler([&](const std::string &notice) { notices.push_back(notice); });
    auto routing = machine.open(whyNot);
    ::chmod((machine.root.str() + "/etc/velmora/portio.conf").c_str(), 0666);
    routing = machine.open(whyNot);
    port::setNoticeHandler(nullptr);
    ASSERT_FALSE(notices.empty());
    EXPECT_NE(notices.back().find("No se tiene en cuenta " + machine.root.str()
                                  + "/etc/velmora/portio.conf"),
              std::string::npos)
        << notices.back();
}

TEST(Inpout, ThrowsThePortErrorThroughInp32AndOut32)
{
    Machine machine;
    machine.parport = true;
    std::string whyNot;
    port::installDriver(machine.open(whyNot));
    std::vector<std::string> notices;
    port::setNoticeHandler([&](const std::string &notice) { notices.push_back(notice); });

    Out32(StatusPort, 0x42);
    EXPECT_EQ(Inp32(StatusPort), 0x42);
    EXPECT_EQ(machine.device.active(), "none") << "an access outside an action kept the port";
    {
        const port::PortAction click;
        Inp32(StatusPort);
        Inp32(StatusPort + 1);
        EXPECT_EQ(machine.device.active(), "ppdev0");
    }
    EXPECT_EQ(machine.device.active(), "none");
    EXPECT_EQ(std::count(machine.device.requests.begin(), machine.device.requests.end(),
                         static_cast<unsigned long>(PPCLAIM)),
              3)
        << "one claim per action";
    EXPECT_THROW(Inp32(0x278), PortError);
    EXPECT_THROW(Out32(-1, 0), PortError);
    EXPECT_TRUE(notices.empty()) << "a machine with a real port was told it has none";

    port::setNoticeHandler(nullptr);
    port::installDriver(std::make_unique<SimulatedPort>());
}

} // namespace
