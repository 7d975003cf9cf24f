#include "fake_parport.h"
#include "named_cases.h"

#include <gmock/gmock.h>

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

} // namespace
