#include "direct_port.h"
#include "inpout.h"
#include "simulated_port.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using inpout::PortAccess;
using inpout::SimulatedPort;
using Kind = PortAccess::Kind;

TEST(SimulatedPort, BehavesLikeAnIdlePortWithNothingPluggedIn)
{
    SimulatedPort port(true);
    EXPECT_EQ(port.read(888), 0);
    port.write(888, 300); // bit 8 and up do not exist on the register
    EXPECT_EQ(port.read(888), 300 & 0xFF);
    port.write(888, -1);
    EXPECT_EQ(port.read(888), 255);
    EXPECT_EQ(port.read(889), 0x78);
    port.write(889, 0);
    EXPECT_EQ(port.read(889), 0x78);
    EXPECT_EQ(port.read(890), 0);
    port.write(890, 0x0C);
    EXPECT_EQ(port.read(890), 0x0C);
    port.write(632, 5);
    EXPECT_EQ(port.read(632), 255);
    EXPECT_EQ(port.read(0xFFFF), 255);

    EXPECT_EQ(port.accesses().front(), (PortAccess{Kind::Read, 888, 0}));
    EXPECT_EQ(port.accesses()[1], (PortAccess{Kind::Write, 888, 300}));
    EXPECT_EQ(port.count(Kind::Read, 888), 3);
    EXPECT_EQ(port.count(Kind::Write, 632), 1);
    EXPECT_EQ(port.accesses().size(), 14u);
}

TEST(SimulatedPort, RecordsNothingUnlessAsked)
{
    SimulatedPort port;
    port.write(888, 1);
    EXPECT_EQ(port.read(888), 1);
    EXPECT_TRUE(port.accesses().empty());
}

TEST(Inpout, PassesSixteenBitPatternsToTheInstalledDriver)
{
    auto owned = std::make_unique<SimulatedPort>(true);
    SimulatedPort *port = owned.get();
    inpout::installDriver(std::move(owned));
    ASSERT_EQ(inpout::currentDriver(), port);

    Out32(StatusPort, 255);
    EXPECT_EQ(Inp32(StatusPort), 255);
    Out32(-1, 300);
    EXPECT_EQ(Inp32(-32768), 255);
    EXPECT_EQ(port->accesses(), (std::vector<PortAccess>{{Kind::Write, 888, 255},
                                                          {Kind::Read, 888, 255},
                                                          {Kind::Write, 0xFFFF, 300},
                                                          {Kind::Read, 0x8000, 255}}));
}

TEST(Inpout, ExplainsInSpanishWhyThePortIsSimulated)
{
    std::string reason;
    // This machine, like CI, has neither /dev/port nor ioperm; on one that has them the test
    // would get real access, which it must not use.
    auto direct = inpout::DirectPort::open(reason);
    if (direct)
        GTEST_SKIP() << "this machine grants port access; not touching it";
    EXPECT_NE(reason.find("/dev/port: "), std::string::npos) << reason;

    const std::string notice = inpout::simulatedPortNotice(reason);
    EXPECT_NE(notice.find(reason), std::string::npos);
    EXPECT_NE(notice.find("CAP_SYS_RAWIO"), std::string::npos);
    EXPECT_NE(notice.find("puerto paralelo simulado"), std::string::npos);
}

TEST(Inpout, NamesTheSystemsReason)
{
    EXPECT_EQ(inpout::describePortError(ENOSYS, ""), "el sistema no lo admite (ENOSYS)");
    EXPECT_EQ(inpout::describePortError(EPERM, ""), "permiso denegado (EPERM)");
    EXPECT_EQ(inpout::describePortError(EPERM, "integrity"),
              "el núcleo está bloqueado (lockdown «integrity») y lo impide (EPERM)");
    EXPECT_EQ(inpout::describePortError(ENOENT, ""), "no existe (ENOENT)");
}

TEST(Inpout, FallsBackToASimulatedPortAndSaysSoOnce)
{
    inpout::installDriver(nullptr);
    inpout::setHardwareOpener([](std::string &whyNot) -> std::unique_ptr<inpout::PortDriver> {
        whyNot = "ioperm: el sistema no lo admite (ENOSYS)";
        return nullptr;
    });
    std::vector<std::string> notices;
    inpout::setNoticeHandler([&](const std::string &notice) { notices.push_back(notice); });

    Out32(StatusPort, 7);
    EXPECT_EQ(Inp32(StatusPort), 7);
    EXPECT_EQ(Inp32(889), SimulatedPort::IdleStatus);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("ioperm: el sistema no lo admite (ENOSYS)"), std::string::npos);
    EXPECT_NE(dynamic_cast<SimulatedPort *>(inpout::currentDriver()), nullptr);

    // A handler set after the fall-back still hears of it, once.
    inpout::installDriver(nullptr);
    inpout::setNoticeHandler(nullptr);
    Inp32(StatusPort);
    inpout::setNoticeHandler([&](const std::string &notice) { notices.push_back(notice); });
    inpout::setNoticeHandler([&](const std::string &notice) { notices.push_back(notice); });
    EXPECT_EQ(notices.size(), 2u);

    inpout::setNoticeHandler(nullptr);
    inpout::installDriver(std::make_unique<SimulatedPort>());
}

} // namespace
