#include "inpout.h"
#include "simulated_port.h"
#ifdef __linux__
#include "direct_port.h"
#include "temp_dir.h"
#endif

#include <gtest/gtest.h>

#include <ostream>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <optional>

namespace {

using port::PortAccess;
using port::SimulatedPort;
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
    port::installDriver(std::move(owned));
    ASSERT_EQ(port::currentDriver(), port);

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
    const std::string reason = "el núcleo no conoce ningún puerto paralelo; ioperm: permiso "
                               "denegado (EPERM)";
    const std::string notice = port::simulatedPortNotice(reason);
    EXPECT_NE(notice.find("Motivo: " + reason + "."), std::string::npos) << notice;
#ifdef _WIN32
    for (const char *part : {"inpoutx64.dll", "junto a Velmora", "como administrador",
                             "puerto paralelo simulado en 378h (888)"})
#else
    for (const char *part : {"sudo modprobe ppdev", "grupo lp", "velmora-portio",
                             "grupo velmora-port", "puerto paralelo simulado en 378h (888)"})
#endif
        EXPECT_NE(notice.find(part), std::string::npos) << part << " missing in: " << notice;
}

#ifdef __linux__
TEST(Inpout, NamesTheSystemsReason)
{
    EXPECT_EQ(port::describePortError(ENOSYS, ""), "el sistema no lo admite (ENOSYS)");
    EXPECT_EQ(port::describePortError(EPERM, ""), "permiso denegado (EPERM)");
    EXPECT_EQ(port::describePortError(EPERM, "integrity"),
              "el núcleo está bloqueado (lockdown «integrity») y lo impide (EPERM)");
    EXPECT_EQ(port::describePortError(ENOENT, ""), "no existe (ENOENT)");
}

struct LockdownCase
{
    const char *name;
    std::optional<std::string> file; // <sys>/kernel/security/lockdown, absent when empty
    std::string mode;
};

void PrintTo(const LockdownCase &c, std::ostream *os)
{
    *os << c.name;
}

class Lockdown : public testing::TestWithParam<LockdownCase>
{};

TEST_P(Lockdown, IsReadFromSecurityfs)
{
    TempDir sys;
    if (GetParam().file)
        sys.write("kernel/security/lockdown", *GetParam().file);
    EXPECT_EQ(port::kernelLockdown(sys.str()), GetParam().mode);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Lockdown,
    testing::Values(LockdownCase{"None", "[none] integrity confidentiality\n", ""},
                    LockdownCase{"Integrity", "none [integrity] confidentiality\n", "integrity"},
                    LockdownCase{"Confidentiality", "none integrity [confidentiality]\n",
                                 "confidentiality"},
                    LockdownCase{"NoSecurityfs", std::nullopt, ""},
                    LockdownCase{"Garbled", "integrity\n", ""}),
    [](const auto &info) { return std::string(info.param.name); });

// /dev/port is a file whose offset is the port address; a plain file of 64 KiB stands for it.
TEST(DirectPort, ReadsAndWritesTheDevPortFileAtTheAddress)
{
    TempDir dev;
    const auto file = dev.write("port", std::string(0x10000, '\xFF'));
    std::string whyNot;
    auto port = port::DirectPort::openDevPort(file.string(), whyNot);
    ASSERT_NE(port, nullptr) << whyNot;
    EXPECT_FALSE(port->usesIoperm());
    port->write(0x378, 0x1A5);
    port->write(0xFFFF, 0x01);
    EXPECT_EQ(port->read(0x378), 0xA5);
    EXPECT_EQ(port->read(0x379), 0xFF);
    EXPECT_EQ(port->read(0xFFFF), 0x01);

    std::ifstream bytes(file, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(bytes)), {});
    EXPECT_EQ(static_cast<unsigned char>(all[0x378]), 0xA5);
    EXPECT_EQ(static_cast<unsigned char>(all[0xFFFF]), 0x01);
}

TEST(DirectPort, AShortDevPortIsAnErrorNotAValue)
{
    TempDir dev;
    const auto file = dev.write("port", std::string(0x100, '\0'));
    std::string whyNot;
    auto port = port::DirectPort::openDevPort(file.string(), whyNot);
    ASSERT_NE(port, nullptr) << whyNot;
    EXPECT_EQ(port->read(0xFF), 0);
    try {
        port->read(0x378);
        FAIL() << "no error past the end of the file";
    } catch (const port::PortError &error) {
        EXPECT_NE(std::string(error.what()).find("888 (378h)"), std::string::npos) << error.what();
    }
}

TEST(DirectPort, NamesAMissingDevPortAndTheLockdown)
{
    TempDir root;
    root.write("sys/kernel/security/lockdown", "none [integrity] confidentiality\n");
    std::string whyNot;
    EXPECT_EQ(
        port::DirectPort::openDevPort(root.str() + "/dev/port", whyNot, root.str() + "/sys"),
        nullptr);
    EXPECT_EQ(whyNot, root.str() + "/dev/port: no existe (ENOENT)");
}

#endif // __linux__

struct MessageCase
{
    const char *name;
    port::PortError::Access access;
    std::uint16_t address;
    std::string start;
};

void PrintTo(const MessageCase &c, std::ostream *os)
{
    *os << c.name;
}

class PortErrorMessage : public testing::TestWithParam<MessageCase>
{};

TEST_P(PortErrorMessage, NamesTheAddressInDecimalAndHexTheReasonAndTheRemedy)
{
    const MessageCase &c = GetParam();
    const port::PortError error(c.access, c.address, {"un motivo", "Haga algo.", EACCES});
    EXPECT_EQ(std::string(error.what()), c.start + ": un motivo.\n\nHaga algo.");
    EXPECT_EQ(error.address(), c.address);
    EXPECT_EQ(error.failure().error, EACCES);
}

using Access = port::PortError::Access;
INSTANTIATE_TEST_SUITE_P(
    Cases, PortErrorMessage,
    testing::Values(MessageCase{"Read", Access::Read, 888, "No se pudo leer el puerto 888 (378h)"},
                    MessageCase{"Write", Access::Write, 0xD012,
                                "No se pudo escribir en el puerto 53266 (D012h)"},
                    MessageCase{"HighestAddress", Access::Read, 0xFFFF,
                                "No se pudo leer el puerto 65535 (FFFFh)"},
                    MessageCase{"Zero", Access::Read, 0, "No se pudo leer el puerto 0 (0h)"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Inpout, FallsBackToASimulatedPortAndSaysSoOnce)
{
    port::installDriver(nullptr);
    port::setHardwareOpener([](std::string &whyNot) -> std::unique_ptr<port::PortDriver> {
        whyNot = "ioperm: el sistema no lo admite (ENOSYS)";
        return nullptr;
    });
    std::vector<std::string> notices;
    port::setNoticeHandler([&](const std::string &notice) { notices.push_back(notice); });

    Out32(StatusPort, 7);
    EXPECT_EQ(Inp32(StatusPort), 7);
    EXPECT_EQ(Inp32(889), SimulatedPort::IdleStatus);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("ioperm: el sistema no lo admite (ENOSYS)"), std::string::npos);
    EXPECT_NE(dynamic_cast<SimulatedPort *>(port::currentDriver()), nullptr);

    // A handler set after the fall-back still hears of it, once.
    port::installDriver(nullptr);
    port::setNoticeHandler(nullptr);
    Inp32(StatusPort);
    port::setNoticeHandler([&](const std::string &notice) { notices.push_back(notice); });
    port::setNoticeHandler([&](const std::string &notice) { notices.push_back(notice); });
    EXPECT_EQ(notices.size(), 2u);

    port::setNoticeHandler(nullptr);
    port::installDriver(std::make_unique<SimulatedPort>());
}

} // namespace
