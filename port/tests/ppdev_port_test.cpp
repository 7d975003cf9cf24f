#include "fake_parport.h"
#include "ppdev_port.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

using inpout::Parport;
using inpout::PortError;
using inpout::PpdevPort;

struct DiscoveryCase
{
    const char *name;
    std::map<std::string, std::string> files; // below <proc>/sys/dev/parport
    std::vector<std::pair<std::string, std::uint16_t>> found;
};

void PrintTo(const DiscoveryCase &c, std::ostream *os)
{
    *os << c.name;
}

class Discovery : public testing::TestWithParam<DiscoveryCase>
{};

TEST_P(Discovery, ListsThePortsTheKernelKnowsByBase)
{
    TempDir proc;
    for (const auto &[file, text] : GetParam().files)
        proc.write("sys/dev/parport/" + file, text);
    std::vector<Parport> expected;
    for (const auto &[name, base] : GetParam().found)
        expected.push_back({name, base, "/fakedev/" + name});
    EXPECT_EQ(inpout::discoverParports(proc.str(), "/fakedev"), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Discovery,
    testing::Values(
        DiscoveryCase{"MotherboardPort",
                      {{"parport0/base-addr", "888\t0\n"}, {"default/spintime", "500\n"}},
                      {{"parport0", 0x378}}},
        DiscoveryCase{
            "PcieCard", {{"parport1/base-addr", "53264\t53248\n"}}, {{"parport1", 0xD010}}},
        DiscoveryCase{"SortedByBase",
                      {{"parport0/base-addr", "888\t1912\n"},
                       {"parport1/base-addr", "632\t0\n"},
                       {"parport2/base-addr", "956\t0\n"}},
                      {{"parport1", 0x278}, {"parport0", 0x378}, {"parport2", 0x3BC}}},
        DiscoveryCase{"UsbAdapterHasNoAddress", {{"parport0/base-addr", "0\t0\n"}}, {}},
        DiscoveryCase{"Unreadable", {{"parport0/base-addr", "abc\n"}}, {}},
        DiscoveryCase{"RegistersBeyondTheAddressSpace", {{"parport0/base-addr", "65534\t0\n"}}, {}},
        DiscoveryCase{"NoParportAtAll", {}, {}}),
    [](const auto &info) { return std::string(info.param.name); });

class PpdevPortTest : public testing::Test
{
protected:
    FakeParport device;
    PpdevPort port{{"parport0", 0x378, "/dev/parport0"},
                   FakeParport::calls({{"/dev/parport0", &device}})};
};

TEST_F(PpdevPortTest, CoversTheThreeRegistersOfItsPort)
{
    EXPECT_FALSE(port.covers(0x377));
    EXPECT_TRUE(port.covers(0x378));
    EXPECT_TRUE(port.covers(0x379));
    EXPECT_TRUE(port.covers(0x37A));
    EXPECT_FALSE(port.covers(0x37B));
    EXPECT_THROW(port.read(0x37B), PortError);
    EXPECT_EQ(device.opens, 0) << "an address it does not cover opened the device";
}

struct RegisterCase
{
    const char *name;
    bool write;
    std::uint16_t address;
    PortValue value;                     // written, or expected from a read
    std::vector<unsigned long> requests; // after PPCLAIM
};

void PrintTo(const RegisterCase &c, std::ostream *os)
{
    *os << c.name;
}

class PpdevRegisters : public PpdevPortTest, public testing::WithParamInterface<RegisterCase>
{};

TEST_P(PpdevRegisters, MapToTheDriversIoctls)
{
    const RegisterCase &c = GetParam();
    device.data = 0x5A;
    device.status = 0xD8;
    device.control = 0xCC; // the hardware's upper bits; ppdev hands out only bits 0-3
    if (c.write)
        port.write(c.address, c.value);
    else
        EXPECT_EQ(port.read(c.address), c.value);
    std::vector<unsigned long> expected{PPCLAIM};
    expected.insert(expected.end(), c.requests.begin(), c.requests.end());
    EXPECT_EQ(device.requests, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PpdevRegisters,
    testing::Values(RegisterCase{"ReadData", false, 0x378, 0x5A, {PPRDATA}},
                    RegisterCase{"ReadStatus", false, 0x379, 0xD8, {PPRSTATUS}},
                    RegisterCase{"ReadControlCachedBits", false, 0x37A, 0x0C, {PPRCONTROL}},
                    RegisterCase{"WriteData", true, 0x378, 0x1A5, {PPWDATA}},
                    RegisterCase{"WriteStatusIgnored", true, 0x379, 0xFF, {}},
                    RegisterCase{"WriteControl", true, 0x37A, 0x04, {PPWCONTROL}},
                    RegisterCase{
                        "WriteControlReverse", true, 0x37A, 0x2C, {PPDATADIR, PPWCONTROL}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(PpdevPortTest, WritesTheLowByteOfData)
{
    port.write(0x378, 0x1A5);
    EXPECT_EQ(device.data, 0xA5);
    EXPECT_EQ(port.read(0x378), 0xA5);
}

TEST_F(PpdevPortTest, ControlKeepsItsLinesAndTheDirectionBit)
{
    port.write(0x37A, 0xFF);
    EXPECT_EQ(device.controlWrites.back(), 0x0F) << "bits 4-7 reached PPWCONTROL";
    EXPECT_EQ(device.direction, 1);
    EXPECT_EQ(port.read(0x37A), 0x2F);
    EXPECT_EQ(port.read(0x378), 0xFF) << "a reversed port reads its input lines";
    port.write(0x37A, 0x0C);
    EXPECT_EQ(device.direction, 0);
    EXPECT_EQ(port.read(0x37A), 0x0C);
    const auto directionChanges = std::count(device.requests.begin(), device.requests.end(),
                                             static_cast<unsigned long>(PPDATADIR));
    port.write(0x37A, 0x0D);
    EXPECT_EQ(std::count(device.requests.begin(), device.requests.end(),
                         static_cast<unsigned long>(PPDATADIR)),
              directionChanges)
        << "the direction was set again without a change";
}

TEST_F(PpdevPortTest, ClaimsOnceAtFirstUseAndReleasesAtTheEnd)
{
    EXPECT_EQ(device.opens, 0);
    port.read(0x378);
    port.write(0x378, 1);
    port.read(0x379);
    EXPECT_EQ(device.opens, 1);
    EXPECT_EQ(std::count(device.requests.begin(), device.requests.end(),
                         static_cast<unsigned long>(PPCLAIM)),
              1);
    {
        FakeParport other;
        {
            PpdevPort temporary({"parport1", 0x278, "/dev/parport1"},
                                FakeParport::calls({{"/dev/parport1", &other}}));
            temporary.read(0x278);
        }
        EXPECT_EQ(other.requests.back(), static_cast<unsigned long>(PPRELEASE));
        EXPECT_EQ(other.closes, 1);
    }
}

struct FailureCase
{
    const char *name;
    int openError;
    int claimError;
    std::string reasonHas;
    std::string remedyHas;
};

void PrintTo(const FailureCase &c, std::ostream *os)
{
    *os << c.name;
}

class PpdevFailures : public PpdevPortTest, public testing::WithParamInterface<FailureCase>
{};

TEST_P(PpdevFailures, SayWhatToDo)
{
    const FailureCase &c = GetParam();
    device.openError = c.openError;
    if (c.claimError)
        device.ioctlError[PPCLAIM] = c.claimError;
    try {
        port.read(0x379);
        FAIL() << "no error";
    } catch (const PortError &error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("889 (379h)"), std::string::npos) << text;
        EXPECT_NE(text.find("/dev/parport0"), std::string::npos) << text;
        EXPECT_NE(text.find(c.reasonHas), std::string::npos) << text;
        EXPECT_NE(text.find(c.remedyHas), std::string::npos) << text;
    }
    EXPECT_EQ(device.opens, device.closes) << "a device that could not be claimed was kept open";
    // Retried at the next access, so that a fix takes effect without restarting.
    device.openError = 0;
    device.ioctlError.clear();
    EXPECT_EQ(port.read(0x379), device.status);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PpdevFailures,
    testing::Values(
        FailureCase{"NotInLpGroup", EACCES, 0, "no tiene permiso (EACCES)", "grupo lp"},
        FailureCase{"ModuleNotLoaded", ENOENT, 0, "ppdev", "sudo modprobe ppdev"},
        FailureCase{"HeldByAnotherDriverAtOpen", ENXIO, 0, "otro controlador", "sudo rmmod lp"},
        FailureCase{"HeldByAnotherDriverAtClaim", 0, EBUSY, "(EBUSY)", "sudo rmmod lp"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(PpdevPortTest, ARefusedIoctlIsAnError)
{
    device.ioctlError[PPRSTATUS] = EIO;
    EXPECT_THROW(port.read(0x379), PortError);
    EXPECT_EQ(port.read(0x378), device.data);
}

} // namespace
