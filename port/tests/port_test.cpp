// The session, the simulated port and the port errors: what every platform builds.
#include "inpout.h"
#include "simulated_port.h"

#include <gtest/gtest.h>

namespace {

TEST(SimulatedPort, BehavesLikeAnIdlePortWithNothingPluggedIn)
{
    port::SimulatedPort port(true);
    EXPECT_EQ(port.read(888), 0);
    // Each register: the value written, then what it reads once all are written. Bits 8 and up
    // do not exist on a register.
    const std::array<std::array<int, 3>, 4> registers{
        {{888, 300, 300 & 0xFF}, {889, 0, 0x78}, {890, 0x10C, 0x0C}, {632, 5, 255}}};
    for (const auto &[address, written, read] : registers)
        port.write(static_cast<std::uint16_t>(address), written);
    for (const auto &[address, written, read] : registers)
        EXPECT_EQ(port.read(static_cast<std::uint16_t>(address)), read) << address;
    EXPECT_EQ(port.accesses().size(), 9u);
}

// The plug on the control lines (2→15, 1→13, 14→12, 16→10, 17→11), and D0 and D1 both on 15,
// with the status bits the port's documentation gives for the lines at the connector.
TEST(SimulatedPort, APlugsInputsFollowTheirOutputsThroughThePortsInversions)
{
    port::SimulatedPort plug(false, {{2, 15}, {1, 13}, {14, 12}, {16, 10}, {17, 11}});
    port::SimulatedPort joined(false, {{2, 15}, {3, 15}});
    // data, control, status with the plug, status with D0 and D1 joined (a low one wins)
    const std::array<std::array<int, 4>, 4> samples{{{0x00, 0x00, 0x30, 0x70},
                                                     {0x01, 0x0F, 0xC8, 0x70},
                                                     {0x03, 0x00, 0x38, 0x78},
                                                     {0x00, 0x20, 0x38, 0x78}}};
    for (const auto &[data, control, status, joinedStatus] : samples) {
        for (port::SimulatedPort *port : {&plug, &joined}) {
            port->write(888, data);
            port->write(890, control);
        }
        EXPECT_EQ(plug.read(889), status) << data << " " << control;
        EXPECT_EQ(joined.read(889), joinedStatus) << data << " " << control;
    }
}

TEST(PortError, NamesTheAddressInDecimalAndHexTheReasonAndTheRemedy)
{
    using Access = port::PortError::Access;
    EXPECT_STREQ(port::PortError(Access::Read, 888, {"un motivo", "Haga algo.", 13}).what(),
                 "No se pudo leer el puerto 888 (378h): un motivo.\n\nHaga algo.");
    EXPECT_STREQ(port::PortError(Access::Write, 0xFFFF, {"otro motivo", "", 0}).what(),
                 "No se pudo escribir en el puerto 65535 (FFFFh): otro motivo.");
}

struct ActionCountingPort : port::SimulatedPort
{
    using SimulatedPort::SimulatedPort;
    void endAction() override { ++actionsEnded; }
    int actionsEnded = 0;
};

TEST(Session, PassesSixteenBitPatternsAndEndsEachOutermostAction)
{
    auto *port = new ActionCountingPort(true);
    Inpout window{port::Session(std::unique_ptr<port::PortDriver>(port))};
    window.Out32(-1, 300);
    {
        const port::Action click = window.session().beginAction();
        const port::Action refresh = window.session().beginAction();
        window.Inp32(-32768);
    }
    EXPECT_EQ(port->actionsEnded, 2);
    EXPECT_EQ(port->count(port::PortAccess::Kind::Write, 0xFFFF), 1);
    EXPECT_EQ(port->count(port::PortAccess::Kind::Read, 0x8000), 1);
}

// The ports are opened at the first access, not when the session is made; with no real path the
// window gets a simulated port and one notice, which says the advisor's word on the address of
// that first access.
TEST(Session, OpensAtTheFirstAccessAndFallsBackAsAsked)
{
    int opened = 0;
    const auto noPath = [&](const port::NoticeSink &) {
        ++opened;
        return port::Opened{nullptr, "ioperm: el sistema no lo admite (ENOSYS)", "Haga algo."};
    };
    std::vector<std::string> notices;
    port::Session window(noPath, port::Fallback::Simulated,
                         [&](const std::string &notice) { notices.push_back(notice); });
    window.setAdvisor([](std::uint16_t, const port::PortFailure &) {
        return port::PortFailure{"sin el grupo lp", "Únase a él.", 0};
    });
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(window.read(889), port::SimulatedPort::IdleStatus);
    window.read(StatusPort);
    EXPECT_EQ(opened, 1);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], "No se pudo leer el puerto 889 (379h): sin el grupo lp.\n\nÚnase a él."
                          "\n\nNo hay ningún camino real a los puertos de este equipo: mientras "
                          "tanto se usa un puerto paralelo simulado en 378h (888), y lo que envíe "
                          "no llega a ningún puerto real.");

    port::Session script(noPath, port::Fallback::Fail);
    EXPECT_EQ(script.openNow(), nullptr);
    EXPECT_EQ(script.whyNot(), "ioperm: el sistema no lo admite (ENOSYS)");
    EXPECT_THROW(script.write(888, 1), port::PortError);
}

} // namespace
