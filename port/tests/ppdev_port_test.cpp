#include "fake_parport.h"
#include "ppdev_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

namespace {

using port::PortError;
using port::PpdevPort;

class PpdevPortTest : public testing::Test
{
protected:
    int count(unsigned long request) const
    {
        return int(std::count(device.requests.begin(), device.requests.end(), request));
    }
    std::string errorOf(const std::function<void()> &access)
    {
        try {
            access();
        } catch (const PortError &error) {
            return error.what();
        }
        return "no error";
    }
    FakeParport::Device &opened() { return device.devices.begin()->second; }

    FakeParport device;
    PpdevPort port{{"parport0", 0x378, "/dev/parport0"},
                   FakeParport::calls({{"/dev/parport0", &device}})};
};

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
                    RegisterCase{"ReadControl", false, 0x37A, 0x0C, {PPRCONTROL}},
                    RegisterCase{"WriteData", true, 0x378, 0x1A5, {PPWDATA}},
                    RegisterCase{"WriteStatusIgnored", true, 0x379, 0xFF, {}},
                    RegisterCase{"WriteControl", true, 0x37A, 0x04, {PPWCONTROL}},
                    RegisterCase{
                        "WriteControlReverse", true, 0x37A, 0x2C, {PPDATADIR, PPWCONTROL}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(PpdevPortTest, ControlKeepsItsLinesAndTheDirectionBit)
{
    EXPECT_THROW(port.read(0x37B), PortError);
    EXPECT_EQ(device.opens, 0) << "an address it does not cover opened the device";
    port.write(0x378, 0x1A5);
    EXPECT_EQ(device.data, 0xA5);
    port.write(0x37A, 0xFF);
    EXPECT_EQ(opened().control, 0x0F) << "bits 4-7 reached PPWCONTROL";
    EXPECT_EQ(opened().direction, 1);
    EXPECT_EQ(port.read(0x37A), 0x2F);
    EXPECT_EQ(port.read(0x378), 0xFF) << "a reversed port reads its input lines";
    port.write(0x37A, 0x0C);
    EXPECT_EQ(opened().direction, 0);
    const int directionChanges = count(PPDATADIR);
    port.write(0x37A, 0x0D);
    EXPECT_EQ(count(PPDATADIR), directionChanges) << "the direction was set again unchanged";
}

// The device stays open for the session; the port is the program's only during an action.
TEST_F(PpdevPortTest, ClaimsForOneActionAndGivesThePortBackAtItsEnd)
{
    port.read(0x378);
    port.write(0x378, 1);
    port.read(0x379);
    EXPECT_EQ(count(PPCLAIM), 1);
    port.endAction();
    EXPECT_EQ(device.active(), "none") << "the port stayed claimed between actions";
    port.read(0x379);
    EXPECT_EQ(count(PPCLAIM), 2);
    EXPECT_EQ(device.opens, 1);
    port.endAction();
    EXPECT_EQ(count(PPRELEASE), 2);
}

TEST_F(PpdevPortTest, APortInUseFailsTheActionWithoutWaitingInTheKernel)
{
    device.otherHolder = "lp0";
    const std::string text = errorOf([&] { port.read(0x378); });
    EXPECT_NE(text.find("888 (378h)"), std::string::npos) << text;
    EXPECT_NE(text.find("está en uso por el controlador de impresora del núcleo (lp0)"),
              std::string::npos)
        << text;
    EXPECT_EQ(count(PPCLAIM), 0) << "PPCLAIM was called while the port was held";
    // The rest of the action fails at once, with the same reason.
    const auto before = device.requests.size();
    for (const std::string &next :
         {errorOf([&] { port.write(0x378, 1); }), errorOf([&] { port.read(0x379); })})
        EXPECT_NE(next.find("en uso por el controlador de impresora"), std::string::npos) << next;
    EXPECT_EQ(device.requests.size(), before);
    port.endAction();

    device.otherReleases();
    EXPECT_EQ(port.read(0x379), 0xD8) << "the next action did not try again";
}

// Another program claims the port between the look at devices/active and PPCLAIM: the timer cuts
// the claim short, the device is closed so that the holder's release cannot hand it the port,
// and the reopened device gets back the control lines this program had set.
TEST_F(PpdevPortTest, AClaimGivenUpLeavesNothingBehind)
{
    port.write(0x37A, 0x25);
    port.endAction();
    device.takesItInBetween = "ppdev0";
    const std::string text = errorOf([&] { port.read(0x378); });
    EXPECT_NE(text.find("en uso por otro programa"), std::string::npos) << text;
    EXPECT_EQ(device.opens - device.closes, 1) << "a device left on the wait list is still open";
    EXPECT_TRUE(std::none_of(device.devices.begin(), device.devices.end(),
                             [](const auto &d) { return d.second.waiting; }));
    device.otherReleases();
    EXPECT_EQ(device.active(), "none") << "the port was handed to a claim given up";
    port.endAction();

    EXPECT_EQ(port.read(0x37A), 0x25);
    EXPECT_EQ(opened().direction, 1);
    EXPECT_EQ(opened().control, 0x05);
}

// A device closed for any reason (here a card that went away for a moment) comes back with the
// direction and control lines this program had set, not the fresh device's 0Ch.
TEST_F(PpdevPortTest, AReopenedDeviceGetsBackWhatThisProgramSet)
{
    port.write(0x37A, 0x2E);
    port.endAction();
    device.ioctlError[PPRSTATUS] = ENODEV;
    EXPECT_THROW(port.read(0x379), PortError);
    port.endAction();
    device.ioctlError.clear();
    EXPECT_EQ(port.read(0x37A), 0x2E);
    EXPECT_EQ(opened().direction, 1);
    EXPECT_EQ(opened().control, 0x0E);
}

struct FailureCase
{
    const char *name;
    int openError;
    unsigned long request; // the ioctl that fails, 0 for none
    int requestError;
    std::string reasonHas;
    std::string remedyHas;
};

void PrintTo(const FailureCase &c, std::ostream *os)
{
    *os << c.name;
}

class PpdevFailures : public PpdevPortTest, public testing::WithParamInterface<FailureCase>
{};

TEST_P(PpdevFailures, SayWhatToDoAndAreTriedAgainAtTheNextAction)
{
    const FailureCase &c = GetParam();
    device.openError = c.openError;
    if (c.request)
        device.ioctlError[c.request] = c.requestError;
    const std::string text = errorOf([&] { port.read(0x379); });
    EXPECT_NE(text.find("889 (379h)"), std::string::npos) << text;
    EXPECT_NE(text.find(c.reasonHas), std::string::npos) << text;
    EXPECT_NE(text.find(c.remedyHas), std::string::npos) << text;
    port.endAction();
    device.openError = 0;
    device.ioctlError.clear();
    EXPECT_EQ(port.read(0x379), device.status);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PpdevFailures,
    testing::Values(
        FailureCase{"NotInLpGroup", EACCES, 0, 0, "no tiene permiso (EACCES)", "grupo lp"},
        FailureCase{"ModuleNotLoaded", ENOENT, 0, 0, "ppdev", "sudo modprobe ppdev"},
        FailureCase{"HeldExclusively", 0, PPCLAIM, ENXIO, "lo tiene en exclusiva", "dmesg"},
        FailureCase{"CardRemovedAtOpen", ENXIO, 0, 0, "ya no está", "se busca de nuevo"},
        FailureCase{"CardRemovedWhileOpen", 0, PPRSTATUS, ENODEV,
                    "ya no está (¿se ha quitado la tarjeta", "se busca de nuevo"},
        FailureCase{"RefusedIoctl", 0, PPRSTATUS, EIO, "rechazó el acceso", "ppdev"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
