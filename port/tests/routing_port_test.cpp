#include "fake_parport.h"
#include "named_cases.h"
#include "routing_port.h"
#include "simulated_port.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace {

using port::Route;

// A machine by the paths it has: a port the kernel knows at 378h (/dev/parport0, a fake), root's
// direct access and the helper (simulated ports here).
struct Machine
{
    bool direct = false;
    bool helper = false;
    int helperStarts = 0;
    TempDir root;
    FakeParport device;

    void bindPort() const { root.write("proc/sys/dev/parport/parport0/base-addr", "888\t0\n"); }

    std::unique_ptr<port::RoutingPort> open()
    {
        const auto simulated = [](bool present) {
            return present ? std::make_unique<port::SimulatedPort>() : nullptr;
        };
        port::PortSystem s{root.str() + "/proc",
                           root.str() + "/dev",
                           root.str() + "/sys",
                           root.str() + "/portio.conf",
                           device.calls(root.str() + "/dev/parport0"),
                           [=, this](std::string &) { return simulated(direct); },
                           [=, this](const std::string &, port::PortFailure &whyNot) {
                               whyNot.reason = "el ayudante no está instalado";
                               ++helperStarts;
                               return simulated(helper);
                           }};
        std::string whyNot;
        return port::RoutingPort::open(s, whyNot);
    }
};

struct RoutingCase : NamedCase
{
    bool parport;
    int parportError; // errno of opening /dev/parport0
    bool direct;
    bool helper;
    // The routes of 378h (data), 37Ah (control), 37Bh (beyond ppdev's registers) and 278h, each
    // by its name's initial: p(pdev), d(irecto), a(yudante), n(inguno).
    const char *routes;
    std::uint16_t refused; // an address no path reaches, and what its error says
    const char *errorHas;
};

class Routing : public testing::TestWithParam<RoutingCase>
{};

TEST_P(Routing, ServesEachAddressByThePathTheSetupHas)
{
    const RoutingCase &c = GetParam();
    Machine machine;
    machine.direct = c.direct;
    machine.helper = c.helper;
    machine.device.openError = c.parportError;
    if (c.parport)
        machine.bindPort();
    auto routing = machine.open();
    ASSERT_NE(routing, nullptr);
    const std::array<std::uint16_t, 4> addresses{0x378, 0x37A, 0x37B, 0x278};
    for (std::size_t i = 0; i < addresses.size(); ++i)
        EXPECT_EQ(port::routeName(routing->route(addresses[i]))[0], c.routes[i])
            << std::hex << addresses[i];
    if (!c.refused)
        return;
    try {
        routing->read(c.refused);
        FAIL() << "no error";
    } catch (const port::PortError &error) {
        const std::string text = error.what();
        EXPECT_NE(text.find(port::addressText(c.refused) + ": "), std::string::npos) << text;
        EXPECT_NE(text.find(c.errorHas), std::string::npos) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Setups, Routing,
    testing::Values(
        RoutingCase{"RootWithPort", true, 0, true, false, "ppdd", 0, ""},
        RoutingCase{"RootWithoutPort", false, 0, true, false, "dddd", 0, ""},
        RoutingCase{"RootWithoutPpdevModule", true, ENOENT, true, false, "dddd", 0, ""},
        RoutingCase{"RootPortHeld", true, EBUSY, true, false, "nndd", 0x378, "(EBUSY)"},
        RoutingCase{"LpGroupAndHelper", true, 0, false, true, "ppna", 0x37B,
                    "el controlador del núcleo tiene el puerto parport0 (378h-37Fh y 778h-77Ah)"},
        RoutingCase{"LpGroupOnly", true, 0, false, false, "ppnn", 0x278,
                    "ningún puerto que conozca el núcleo (378h-37Ah en "},
        RoutingCase{"HelperOnlyPortClosed", true, EACCES, false, true, "nnna", 0x378, "grupo lp"},
        RoutingCase{"HelperOnlyNoPort", false, 0, false, true, "aaaa", 0, ""},
        RoutingCase{"PortClosedNothingElse", true, EACCES, false, false, "nnnn", 0x278,
                    "no está instalado"}),
    CaseName());

// The kernel's ports are looked up at each action: a port bound later goes through ppdev, and the
// helper started before it, which would still serve it raw, is replaced; a port taken away is no
// longer routed to its device.
TEST(RoutingPort, FollowsThePortsTheKernelBindsAndLoses)
{
    Machine machine;
    machine.helper = true;
    auto routing = machine.open();
    EXPECT_EQ(routing->route(0x378), Route::Helper);
    routing->endAction();
    machine.bindPort();
    EXPECT_EQ(routing->route(0x378), Route::Ppdev);
    EXPECT_EQ(routing->route(0x278), Route::Helper);
    EXPECT_EQ(machine.helperStarts, 2) << "the helper that predates the kernel's port stayed";
    routing->endAction();
    std::filesystem::remove_all(machine.root.path() / "proc/sys/dev/parport/parport0");
    EXPECT_EQ(routing->route(0x378), Route::Helper);
    EXPECT_TRUE(!machine.device.open) << "the lost port's device is open";
}

} // namespace
