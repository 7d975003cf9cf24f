// The Linux drivers, ppdev and root's direct access, and the routing of each address to them or
// to the helper.
#include "direct_port.h"
#include "fake_parport.h"
#include "named_cases.h"
#include "port_session.h"
#include "routing_port.h"
#include "simulated_port.h"
#include "temp_dir.h"

#include <gmock/gmock.h>

#include <cstring>

namespace {

struct FailureCase : NamedCase
{
    int openError;
    unsigned long request; // the ioctl that fails, 0 for none
    int requestError;
    const char *otherHolder;      // holds the port from the start
    const char *takesItInBetween; // takes it just before this program's PPCLAIM
    const char *reasonHas;
    const char *remedyHas;
};

using PpdevFailures = testing::TestWithParam<FailureCase>;

// Whatever failed, no PPCLAIM sleeps in the kernel or is left waiting there (the holder's release
// must not hand the port to this idle program), and the next action tries again. A device that
// was closed meanwhile gets back the control lines and direction this program set: a fresh one
// starts at 0Ch. Control reads give the driver's copy of bits 0-3 and that direction.
TEST_P(PpdevFailures, SayWhatToDoAndLeaveNoClaimBehind)
{
    const FailureCase &c = GetParam();
    FakeParport device;
    port::PpdevPort port{{"parport0", 0x378, "/dev/parport0"}, device.calls("/dev/parport0")};
    if (!c.openError) {
        port.write(0x37A, 0xEE);
        port.endAction();
    }
    device.openError = c.openError;
    device.ioctlError[c.request] = c.requestError;
    device.otherHolder = c.otherHolder;
    device.takesItInBetween = c.takesItInBetween;
    EXPECT_THAT([&] { port.read(0x379); },
                testing::ThrowsMessage<port::PortError>(testing::AllOf(
                    testing::HasSubstr("889 (379h): "), testing::HasSubstr(c.reasonHas),
                    testing::HasSubstr(c.remedyHas))));
    EXPECT_EQ(device.claimsWhileHeld, 0);
    port.endAction();
    device.openError = 0;
    device.ioctlError.clear();
    device.otherReleases();
    EXPECT_EQ(device.active(), "none");
    EXPECT_EQ(port.read(0x378), 0x00);
    EXPECT_EQ(port.read(0x379), 0xD8);
    EXPECT_EQ(port.read(0x37A), c.openError ? 0x0C : 0x2E);
    EXPECT_EQ(device.direction, c.openError ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PpdevFailures,
    testing::Values(
        FailureCase{"NotInLpGroup", EACCES, 0, 0, "none", "", "permiso (EACCES)", "usermod -aG lp"},
        FailureCase{"NoPpdevModule", ENOENT, 0, 0, "none", "", "ppdev", "sudo modprobe ppdev"},
        FailureCase{"CardGoneAtOpen", ENXIO, 0, 0, "none", "", "ya no está", "de nuevo"},
        FailureCase{"CardGoneLater", 0, PPRSTATUS, ENODEV, "none", "", "ya no está", "de nuevo"},
        FailureCase{"HeldExclusively", 0, PPCLAIM, ENXIO, "none", "", "en exclusiva", "dmesg"},
        FailureCase{"RefusedIoctl", 0, PPRSTATUS, EIO, "none", "", "rechazó el acceso", "ppdev"},
        FailureCase{"HeldByLp", 0, 0, 0, "lp0", "", "impresora del núcleo (lp0)", "Espere"},
        FailureCase{"TakenBeforeTheClaim", 0, 0, 0, "none", "ppdev0", "ppdev (ppdev0)", "Espere"}),
    CaseName());

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

// A routing driver on the fake trees under root: direct access (root) and the helper are
// simulated ports, when present; helpers counts the helpers started.
std::unique_ptr<port::RoutingPort> openRouting(const TempDir &root, FakeParport &device,
                                               bool direct, bool helper, int *helpers = nullptr,
                                               const port::NoticeSink &notices = {})
{
    const auto simulated = [](bool present) {
        return present ? std::make_unique<port::SimulatedPort>() : nullptr;
    };
    std::string whyNot;
    auto routing = port::RoutingPort::open({root.str() + "/proc", root.str() + "/dev",
                                            root.str() + "/sys", root.str() + "/portio.conf",
                                            device.calls(root.str() + "/dev/parport0"),
                                            [=](std::string &) { return simulated(direct); },
                                            [=](const std::string &, port::PortFailure &why) {
                                                why.reason = "el ayudante no está instalado";
                                                if (helpers)
                                                    ++*helpers;
                                                return simulated(helper);
                                            }},
                                           whyNot, notices);
    EXPECT_NE(routing, nullptr) << whyNot;
    return routing;
}

TEST_P(Routing, ServesEachAddressByThePathTheSetupHas)
{
    const RoutingCase &c = GetParam();
    TempDir root;
    FakeParport device;
    device.openError = std::max(c.parport, 0);
    if (c.parport >= 0)
        root.write("proc/sys/dev/parport/parport0/base-addr", "888\t0\n");
    auto routing = openRouting(root, device, c.direct, c.helper);
    ASSERT_NE(routing, nullptr);
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

// The kernel's ports are looked up at each action: one bound after start-up goes to ppdev, and
// the helper started before is replaced; a list that cannot be read keeps the last one, never
// handing the kernel's port to the helper; a port gone has its device closed.
TEST(Routing, FollowsTheKernelsPorts)
{
    TempDir root;
    FakeParport device;
    int helpers = 0;
    auto routing = openRouting(root, device, false, true, &helpers);
    const auto routes = [&] { // of 378h and 37Bh, and the helpers started so far
        std::string text;
        for (const std::uint16_t address : {0x378, 0x37B})
            text += port::routeName(routing->route(address))[0];
        routing->endAction();
        return text + std::to_string(helpers) + (device.opened ? " open" : "");
    };
    EXPECT_EQ(routes(), "aa1");
    root.write("proc/sys/dev/parport/parport0/base-addr", "888\t0\n");
    EXPECT_EQ(routes(), "pn1 open");
    root.write("proc/sys/dev/parport/parport0/base-addr", "?\n");
    EXPECT_EQ(routes(), "pn1 open");
    std::filesystem::remove_all(root.str() + "/proc/sys/dev/parport/parport0");
    EXPECT_EQ(routes(), "aa2");
}

// A user served by the helper, which cannot say why it leaves the administrator's file aside,
// is told at start-up.
TEST(Routing, SaysWhyTheAdministratorsFileIsIgnored)
{
    std::vector<std::string> notices;
    TempDir root;
    FakeParport device;
    std::filesystem::create_symlink(root.write("admin.conf", "D010\n"),
                                    root.str() + "/portio.conf");
    openRouting(root, device, false, true, nullptr,
                [&](const std::string &notice) { notices.push_back(notice); });
    EXPECT_THAT(notices,
                testing::ElementsAre(testing::AllOf(
                    testing::HasSubstr("No se tiene en cuenta " + root.str() + "/portio.conf: "),
                    testing::HasSubstr("solo sirve los bloques de puerto paralelo"),
                    testing::HasSubstr("root"))));
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

// With no real path at all, the window's session runs on the simulated port after saying what was
// tried and what would give a path, the administrator's file left aside first.
TEST(Routing, WithNoRealPathTheNoticesSayWhatWasTriedAndWhatToDo)
{
    TempDir root;
    const auto conf = root.write("portio.conf", "D010\n");
    std::filesystem::permissions(conf, std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::add);
    const port::PortSystem system{root.str() + "/proc",
                                  root.str() + "/dev",
                                  root.str() + "/sys",
                                  conf.string(),
                                  {},
                                  [](std::string &why) {
                                      why = "ioperm: ENOSYS";
                                      return nullptr;
                                  },
                                  [](const std::string &, port::PortFailure &why) {
                                      why.reason = "el ayudante no está instalado";
                                      return nullptr;
                                  }};
    std::vector<std::string> notices;
    port::Session session([&](const port::NoticeSink &sink) { return openRouting(system, sink); },
                          port::Fallback::Simulated,
                          [&](const std::string &notice) { notices.push_back(notice); });
    EXPECT_EQ(session.read(889), port::SimulatedPort::IdleStatus);
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_THAT(notices[0], testing::StartsWith("No se tiene en cuenta " + conf.string()));
    EXPECT_THAT(notices[1], testing::AllOf(testing::HasSubstr("ioperm: ENOSYS; el ayudante no"),
                                           testing::HasSubstr("(sudo modprobe ppdev) y añada su "
                                                              "usuario al grupo lp")));
}

TEST(DirectPort, NamesTheSystemsReasonAndTheLockdown)
{
    EXPECT_EQ(port::describePortError(ENOSYS, ""), "el sistema no lo admite (ENOSYS)");
    EXPECT_EQ(port::describePortError(EPERM, "integrity"),
              "el núcleo está bloqueado (lockdown «integrity») y lo impide (EPERM)");
    TempDir root;
    root.write("sys/kernel/security/lockdown", "[none] integrity confidentiality\n");
    EXPECT_EQ(port::kernelLockdown(root.str() + "/sys"), "");
    // The lockdown is looked up after the failure; its own system calls must not change the errno.
    std::string whyNot;
    EXPECT_EQ(port::DirectPort::openDevPort(root.str(), whyNot, root.str() + "/none"), nullptr);
    EXPECT_EQ(whyNot, root.str() + ": " + std::strerror(EISDIR) + " (errno 21)");
    // Past the end of the /dev/port file is an error, never a value.
    auto port = port::DirectPort::openDevPort(root.write("port", "\x5A").string(), whyNot);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->read(0), 0x5A);
    EXPECT_THROW(port->read(0x378), port::PortError);
}

} // namespace
