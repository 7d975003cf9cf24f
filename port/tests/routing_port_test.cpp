#include "fake_parport.h"
#include "named_cases.h"
#include "routing_port.h"
#include "simulated_port.h"
#include "temp_dir.h"

#include <gmock/gmock.h>

namespace {

struct RoutingCase : NamedCase
{
    int parport; // the kernel's port at 378h: -1 none, else the errno of opening /dev/parport0
    bool direct; // root
    bool helper; // the helper runs for this user
    // The routes of 378h (data), 37Ah (control), 37Bh (beyond ppdev's registers) and 278h, each
    // by its name's initial: p(pdev), d(irecto), a(yudante), n(inguno).
    const char *routes;
    std::uint16_t refused; // an address no path reaches, and what its error says
    const char *errorHas;
};

using Routing = testing::TestWithParam<RoutingCase>;

// Root's direct access and the helper are simulated ports here.
TEST_P(Routing, ServesEachAddressByThePathTheSetupHas)
{
    const RoutingCase &c = GetParam();
    TempDir root;
    FakeParport device;
    device.openError = std::max(c.parport, 0);
    if (c.parport >= 0)
        root.write("proc/sys/dev/parport/parport0/base-addr", "888\t0\n");
    const auto simulated = [](bool present) {
        return present ? std::make_unique<port::SimulatedPort>() : nullptr;
    };
    std::string whyNot;
    auto routing = port::RoutingPort::open({root.str() + "/proc", root.str() + "/dev",
                                            root.str() + "/sys", root.str() + "/portio.conf",
                                            device.calls(root.str() + "/dev/parport0"),
                                            [&](std::string &) { return simulated(c.direct); },
                                            [&](const std::string &, port::PortFailure &why) {
                                                why.reason = "el ayudante no está instalado";
                                                return simulated(c.helper);
                                            }},
                                           whyNot);
    ASSERT_NE(routing, nullptr) << whyNot;
    const std::array<std::uint16_t, 4> addresses{0x378, 0x37A, 0x37B, 0x278};
    for (std::size_t i = 0; i < addresses.size(); ++i)
        EXPECT_EQ(port::routeName(routing->route(addresses[i]))[0], c.routes[i])
            << std::hex << addresses[i];
    if (c.refused) {
        EXPECT_THAT([&] { routing->read(c.refused); },
                    testing::ThrowsMessage<port::PortError>(
                        testing::AllOf(testing::HasSubstr(port::addressText(c.refused) + ": "),
                                       testing::HasSubstr(c.errorHas))));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Setups, Routing,
    testing::Values(
        RoutingCase{"RootWithPort", 0, true, false, "ppdd", 0, ""},
        RoutingCase{"RootWithoutPort", -1, true, false, "dddd", 0, ""},
        RoutingCase{"RootWithoutPpdevModule", ENOENT, true, false, "dddd", 0, ""},
        RoutingCase{"RootPortHeld", EBUSY, true, false, "nndd", 0x378, "(EBUSY)"},
        RoutingCase{"LpGroupAndHelper", 0, false, true, "ppna", 0x37B,
                    "el controlador del núcleo tiene el puerto parport0 (378h-37Fh y 778h-77Ah)"},
        RoutingCase{"LpGroupOnly", 0, false, false, "ppnn", 0x278, "núcleo (378h-37Ah en "},
        RoutingCase{"HelperOnlyPortClosed", EACCES, false, true, "nnna", 0x378, "grupo lp"},
        RoutingCase{"HelperOnlyNoPort", -1, false, true, "aaaa", 0, ""},
        RoutingCase{"PortClosedOnly", EACCES, false, false, "nnnn", 0x278, "no está instalado"}),
    CaseName());

} // namespace
