#include "port_error.h"
#include "selftest.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <tuple>

namespace {

using namespace selftest;
using port::Wire;

const std::vector<Wire> Common{{2, 15}, {3, 13}, {4, 12}, {5, 10}, {6, 11}};
const std::vector<Wire> OnControl{{2, 15}, {1, 13}, {14, 12}, {16, 10}, {17, 11}};

enum class EcrModel { None, Real, AliasOfControl };

// The simulated port with a plug, pin by pin through the connector's inversions, and the faults
// of a real one: lines stuck at a level at the connector, a direction bit, an ECR at 77Ah, an
// access that fails, and Ctrl-C pressed at a given access.
class ScriptedPort : public port::PortDriver
{
public:
    ScriptedPort(std::vector<Wire> plug, std::map<int, int> stuck)
        : lines(false, std::move(plug))
        , m_stuck(std::move(stuck))
    {}

    PortValue read(std::uint16_t address) override
    {
        step(port::PortError::Access::Read, address);
        if (address == 0x77A && ecr != EcrModel::None)
            return ecr == EcrModel::Real ? (ecrValue & 0xFC) | 0x01 : lines.read(890);
        if (address == 888 && bidirectional && (lines.read(890) & port::ControlReverse))
            return 0xFF;
        return address == 889 ? stuck(lines.read(889), port::Register::Status)
                              : lines.read(address);
    }
    void write(std::uint16_t address, PortValue value) override
    {
        step(port::PortError::Access::Write, address);
        if (address == 0x77A && ecr == EcrModel::Real)
            ecrValue = std::uint8_t(value);
        else
            lines.write(
                address == 0x77A && ecr == EcrModel::AliasOfControl ? 890 : address,
                stuck(value, address == 890 ? port::Register::Control : port::Register::Data));
    }
    void endAction() override { ++actionsEnded; }

    port::SimulatedPort lines;
    EcrModel ecr = EcrModel::None;
    std::uint8_t ecrValue = 0x15;
    bool bidirectional = false;
    long failAt = -1;
    long cancelAt = -1;
    std::atomic<bool> cancel{false};
    int actionsEnded = 0;

private:
    // Data and control pins are stuck in what they latch, status pins in what they read.
    PortValue stuck(PortValue value, port::Register reg) const
    {
        for (const auto &[number, level] : m_stuck) {
            const port::Pin &pin = port::signalPins()[std::size_t(number - 1)];
            if (pin.reg != reg)
                continue;
            const int bit = 1 << pin.bit;
            value = PortValue(level ^ pin.inverted ? value | bit : value & ~bit);
        }
        return value;
    }
    void step(port::PortError::Access access, std::uint16_t address)
    {
        if (++m_accesses == cancelAt)
            cancel = true;
        if (m_accesses == failAt)
            throw port::PortError(access, address, {"el puerto dejó de responder", "", 5});
    }

    std::map<int, int> m_stuck;
    long m_accesses = 0;
};

struct Case
{
    const char *name;
    std::vector<Wire> plug;
    int status;
    const char *plugId = nullptr;
    std::vector<std::tuple<int, Verdict, std::vector<int>>> pins = {};
    std::map<int, int> stuck = {};
    std::uint16_t base = 888;
    long failAt = -1;
    long cancelAt = -1;
    EcrModel ecr = EcrModel::None;
    bool controlReadsHardware = true;
};

// Every verdict, each on a port that starts from data 5Ah, control 0Eh and ECR 15h, and is
// always left so, in one action.
TEST(SelfTest, FindsEachFaultAndLeavesThePortAsItWas)
{
    using enum Verdict;
    const std::vector<Wire> swapped{{2, 13}, {3, 15}, {4, 12}, {5, 10}, {6, 11}};
    std::vector<Wire> shorted = Common; // 15 and 13 joined: each sees D0 and D1, low winning
    shorted.insert(shorted.end(), {{2, 13}, {3, 15}});
    // clang-format off
    const Case cases[] = {
        {"CommonPlug", Common, Passed, "datos",
         {{2, Pass, {15}}, {15, Pass, {2}}, {11, Pass, {6}}, {7, NotWired, {}}, {1, NotWired, {}}}},
        {"ControlPlugThroughPpdev", OnControl, Passed, "control",
         {{1, Pass, {13}}, {17, Pass, {11}}, {14, Pass, {12}}, {3, NotWired, {}}},
         {}, 888, -1, -1, EcrModel::None, false},
        {"NothingPlugged", {}, NoPlug, nullptr, {{15, NotWired, {}}, {2, NotWired, {}}}},
        {"InputStuckLow", Common, Fault, "datos", {{13, StuckLow, {}}, {3, Untested, {}}}, {{13, 0}}},
        {"InputStuckHigh", Common, Fault, "datos", {{11, StuckHigh, {}}}, {{11, 1}}},
        {"DataLineStuckHigh", Common, Fault, "datos", {{5, StuckHigh, {}}, {10, Untested, {}}}, {{5, 1}}},
        {"ControlLineStuckLow", OnControl, Fault, "control",
         {{17, StuckLow, {}}, {11, Untested, {}}, {1, Pass, {13}}}, {{17, 0}}},
        {"InputsShorted", shorted, Fault, "datos",
         {{15, Shorted, {13}}, {13, Shorted, {15}}, {2, Shorted, {3}}, {4, Pass, {12}}}},
        {"SwappedPair", swapped, Passed, nullptr, {{2, Pass, {13}}, {13, Pass, {2}}}},
        {"NoPortThere", Common, Unreachable, nullptr, {}, {}, 0x278},
        {"AccessFailsHalfway", Common, Unreachable, nullptr, {}, {}, 888, 50},
        {"CtrlC", Common, Cancelled, nullptr, {}, {}, 888, -1, 100},
        {"EcrPresent", Common, Passed, "datos", {}, {}, 888, -1, -1, EcrModel::Real},
        {"EcrIsControlAgain", Common, Passed, "datos", {}, {}, 888, -1, -1, EcrModel::AliasOfControl},
    };
    // clang-format on
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto owned = std::make_unique<ScriptedPort>(c.plug, c.stuck);
        ScriptedPort &port = *owned;
        port::Session session(std::move(owned));
        session.setAdvisor([](std::uint16_t, const port::PortFailure &) {
            return port::PortFailure{"sin el grupo lp", "Únase a él.", 0};
        });
        port.lines.write(888, 0x5A);
        port.lines.write(890, 0x0E);
        port.ecr = c.ecr;
        port.bidirectional = c.ecr == EcrModel::Real;
        port.failAt = c.failAt;
        port.cancelAt = c.cancelAt;
        Options options{c.controlReadsHardware, {}, {}, &port.cancel};
        if (c.ecr != EcrModel::None)
            options.ecpBlock = 0x778;
        const Result result = run(session, c.base, options);

        EXPECT_EQ(exitStatus(result), c.status);
        EXPECT_STREQ(result.plug ? result.plug->id : nullptr, c.plugId);
        for (const auto &[pin, verdict, with] : c.pins) {
            EXPECT_EQ(result.pins[std::size_t(pin - 1)].verdict, verdict) << "pin " << pin;
            EXPECT_EQ(result.pins[std::size_t(pin - 1)].with, with) << "pin " << pin;
        }
        if (c.status != Unreachable && c.status != Cancelled) {
            EXPECT_EQ(result.control.outcome == Outcome::NotTested, !c.controlReadsHardware);
        }
        if (c.ecr != EcrModel::None) {
            EXPECT_EQ(result.ecr, c.ecr == EcrModel::Real ? Ecr::Present : Ecr::Absent);
            EXPECT_EQ(result.bidirectional, c.ecr == EcrModel::Real);
        }
        // What a person is told of a failed access: the port doctor's word on its address.
        EXPECT_EQ(result.failure.ends_with(": sin el grupo lp.\n\nÚnase a él."), c.failAt > 0);
        EXPECT_TRUE(result.restored);
        EXPECT_EQ(port.lines.read(888), 0x5A);
        EXPECT_EQ(port.lines.read(890), 0x0E);
        EXPECT_EQ(port.ecrValue, 0x15);
        EXPECT_EQ(port.actionsEnded, 1);
    }
}

} // namespace
