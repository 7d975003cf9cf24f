#include "duration.h"
#include "fake_clock.h"
#include "fast_sampler.h"
#include "pulse_train.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using namespace timing;
using namespace std::chrono_literals;

TEST(Durations, EveryFormAndNothingElse)
{
    const std::pair<const char *, std::optional<Nanoseconds>> cases[] = {{"250us", 250us},
                                                                         {"250µs", 250us},
                                                                         {"1ms", 1ms},
                                                                         {"0.5s", 500ms},
                                                                         {"0.1s", 100ms},
                                                                         {".5ms", 500us},
                                                                         {"1.5us", 1500ns},
                                                                         {"3600s", 3600s},
                                                                         {"0.001us", 1ns},
                                                                         {"3601s", {}},
                                                                         {"0.0001us", {}},
                                                                         {"0s", {}},
                                                                         {"250", {}},
                                                                         {"us", {}},
                                                                         {".us", {}},
                                                                         {"1.2.3ms", {}},
                                                                         {"-1ms", {}},
                                                                         {"1 ms", {}},
                                                                         {"1MS", {}},
                                                                         {"1e3us", {}},
                                                                         {"0,5s", {}},
                                                                         {"", {}},
                                                                         {"99999999999999s", {}}};
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(parseDuration(text), expected) << "«" << text << "»";
    EXPECT_EQ(durationTextUp(2001ns), "3us");
    EXPECT_EQ(durationTextUp(1ms), "1ms");
    EXPECT_EQ(durationTextUp(1001us), "1001us");
}

// Both real clocks wait so: asleep to within the margin of the deadline (again after a wake-up
// that came early), then spinning; a cancel ends the wait.
TEST(SpinWait, SleepsToTheMarginThenSpins)
{
    Nanoseconds t{0};
    std::vector<Nanoseconds> wakes;
    const auto now = [&] { return t += 10ns; };
    const auto sleepUntil = [&](Nanoseconds wake) {
        wakes.push_back(wake);
        t = wake - (wakes.size() == 1 ? 300ns : 0ns);
    };
    const CancelFlag go{false}, cancelled{true};
    EXPECT_TRUE(spinWait(1000ns, 100ns, go, now, sleepUntil));
    EXPECT_EQ(wakes, (std::vector<Nanoseconds>{900ns, 900ns}));
    EXPECT_TRUE(t >= 1000ns && t < 1020ns) << t.count();
    EXPECT_FALSE(spinWait(t + 1s, 100ns, cancelled, now, sleepUntil));
}

TEST(Figures, PercentilesOfTheErrorByNearestRank)
{
    std::vector<Nanoseconds> achieved;
    for (int i = 1; i <= 100; ++i)
        achieved.push_back(Nanoseconds(100 + (i % 2 ? i : -i))); // errors 1..100, either way
    const Figures f = figuresOf(achieved, 100ns);
    EXPECT_EQ(f.count, 100);
    EXPECT_EQ(f.min, 0ns); // 100 - 100
    EXPECT_EQ(f.max, 199ns);
    EXPECT_EQ(f.errorP50, 50ns);
    EXPECT_EQ(f.errorP99, 99ns);
}

struct Train : testing::Test
{
    FakeClock clock;
    std::unique_ptr<TimedPort> owned = std::make_unique<TimedPort>(clock, 2500ns);
    TimedPort &port = *owned;
    port::Session session{std::move(owned)};
    Pulse pulse{888, 0xFF, 0x00, 1ms, 200, 3ms};
};

// Late wake-ups on every wait: the rises keep to their absolute deadlines (no drift over the
// train), and the widths are late only by a wake-up, with the writes' own cost taken out.
TEST_F(Train, KeepsToAbsoluteDeadlinesAndMeasuresAroundTheWrites)
{
    clock.lateness = {0us, 40us, 7us};
    ASSERT_EQ(measureWrite(session, clock, 888, 0x00), 2500ns);
    port.writes.clear();
    port.actionsEnded = 0;
    const PulseReport report = runPulses(session, clock, pulse, 2500ns, port.cancel);
    EXPECT_EQ(port.actionsEnded, 1); // the port held for the whole train

    ASSERT_EQ(port.writes.size(), 400u);
    const Nanoseconds first = port.writes[0].at;
    for (std::size_t i = 0; i < port.writes.size(); i += 2) {
        EXPECT_EQ(port.writes[i].value, 0xFF);
        EXPECT_EQ(port.writes[i + 1].value, 0x00);
        const Nanoseconds late = port.writes[i].at - (first + pulse.period * long(i / 2));
        EXPECT_TRUE(late >= 0ns && late <= 40us) << "rise " << i / 2 << " late " << late.count();
        const Nanoseconds width = port.writes[i + 1].at - port.writes[i].at;
        EXPECT_TRUE(width >= 1ms && width <= 1ms + 40us) << "width " << width.count();
    }
    EXPECT_FALSE(report.cancelled);
    EXPECT_EQ(report.pulses, 200);
    EXPECT_EQ(report.width.count, 200);
    EXPECT_EQ(report.period.count, 199);
    EXPECT_EQ(report.width.min, 1ms);
    EXPECT_EQ(report.width.max, 1ms + 40us);
    EXPECT_EQ(report.width.errorP99, 40us);
    EXPECT_LE(report.period.errorP99, 40us);
}

TEST_F(Train, CtrlCOrAFailedWriteEndsItWithTheIdleValueWritten)
{
    port.failAtWrite = 4; // the second pulse's fall: the failure is said, the line left idle
    EXPECT_THROW(runPulses(session, clock, pulse, 2500ns, port.cancel), port::PortError);
    EXPECT_EQ(port.read(888), 0x00);
    port.writes.clear();

    port.cancelAtWrite = 5; // during the third pulse's width
    const PulseReport report = runPulses(session, clock, pulse, 2500ns, port.cancel);
    ASSERT_EQ(port.writes.size(), 6u);
    EXPECT_EQ(port.writes.back().value, 0x00);
    EXPECT_EQ(port.read(888), 0x00);
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(report.pulses, 3);
    EXPECT_EQ(report.width.count, 2); // the cut one is not counted
}

TEST_F(Train, WidthsAndPeriodsTheWritesCannotMeetSayTheSmallestThatWorks)
{
    EXPECT_EQ(whyNot(pulse, 2500ns), std::nullopt);
    pulse.width = 2us;
    EXPECT_THAT(whyNot(pulse, 2500ns).value_or(""), testing::HasSubstr("es 3us"));
    pulse.width = 1ms;
    pulse.period = 1001us;
    EXPECT_THAT(whyNot(pulse, 2500ns).value_or(""), testing::HasSubstr("es 1003us"));
    pulse.count = 1; // a single pulse has no period
    EXPECT_EQ(whyNot(pulse, 2500ns), std::nullopt);
}

// A port whose data line D0 pulses from 1000 to 1020 µs and whose nAck pulses low from 3000 to
// 3006.
class PulsingPort : public TimedPort
{
public:
    using TimedPort::TimedPort;
    FakeClock *clockOf = nullptr;
    PortValue read(std::uint16_t address) override
    {
        const Nanoseconds at = clockOf->t - clockOf->t0;
        const PortValue held = TimedPort::read(address);
        if (address == 889 && at >= 3000us && at < 3006us)
            return held & ~0x40; // nAck low
        return address == 888 ? (at >= 1000us && at < 1020us ? 1 : 0) : held;
    }
};

struct Kept : SampleSink
{
    std::vector<std::pair<std::int64_t, int>> samples;
    std::int64_t end = -1;
    void sample(std::int64_t tUs, const port::Registers &r) override
    {
        samples.push_back({tUs, r.data});
    }
    void finish(std::int64_t tUs) override { end = tUs; }
};

TEST(FastSampler, KeepsOnlyChangesAndReportsRateAndLongestGap)
{
    FakeClock clock;
    clock.t0 = clock.t;
    auto owned = std::make_unique<PulsingPort>(clock, 1us); // 3 µs a sample
    PulsingPort &port = *owned;
    port::Session session(std::move(owned));
    port.clockOf = &clock;
    Kept kept;
    const CancelFlag cancel{false};
    const SamplingReport report = sampleFast(session, clock, 888, 5ms, cancel, kept);
    EXPECT_EQ(kept.samples, (std::vector<std::pair<std::int64_t, int>>{
                                {0, 0}, {1002, 1}, {1020, 0}, {3000, 0}, {3006, 0}}));
    EXPECT_EQ(report.samples, 1667); // 5 ms in 3 µs steps
    EXPECT_EQ(report.changes, 4);
    EXPECT_EQ(report.longestGap, 3us);
    EXPECT_EQ(port.actionsEnded, 1); // the port held throughout
    EXPECT_NEAR(report.perSecond(), 333'333, 100);
    EXPECT_EQ(kept.end, 5001);
}

// The VCD's real consumer reads what the watch wrote: 17 named wires, the levels at the start,
// and the pulse's two edges where the samples saw them. Then the same samples as JSON lines.
TEST(SampleStreams, SigrokReadsTheVcdAndScriptsTheJsonLines)
{
    if (std::system("sigrok-cli --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "sigrok-cli is missing: tools/install-deps.sh installs it";
    const std::string path = testing::TempDir() + "watch.vcd";
    std::FILE *file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    FakeClock clock;
    auto owned = std::make_unique<PulsingPort>(clock, 1us);
    PulsingPort &port = *owned;
    port::Session session(std::move(owned));
    port.clockOf = &clock;
    port.write(890, 0x0C);
    clock.t0 = clock.t;
    VcdWriter vcd(file);
    sampleFast(session, clock, 888, 5ms, port.cancel, vcd);
    std::fclose(file);

    std::FILE *sigrok = ::popen(("sigrok-cli -I vcd -i " + path + " -O vcd").c_str(), "r");
    ASSERT_NE(sigrok, nullptr);
    std::string names, changes, line;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, sigrok)) {
        line = buffer;
        if (line.rfind("$var wire 1 ", 0) == 0)
            names += line.substr(14, line.find(" $end") - 14) + " ";
        else if (line[0] == '#')
            changes += line;
    }
    EXPECT_EQ(::pclose(sigrok), 0);
    EXPECT_EQ(names, "pin1_nStrobe pin2_D0 pin3_D1 pin4_D2 pin5_D3 pin6_D4 pin7_D5 pin8_D6 pin9_D7 "
                     "pin10_nAck pin11_Busy pin12_PaperOut pin13_Select pin14_nAutoFeed "
                     "pin15_nError pin16_nInit pin17_nSelectIn ");
    // nStrobe, nAutoFeed and nSelectIn are inverted by the port: control 0Ch is 1 1 1 0 at them.
    EXPECT_EQ(changes, "#0 1! 0\" 0# 0$ 0% 0& 0' 0( 0) 1* 1+ 1, 1- 1. 1/ 10 01\n"
                       "#1002 1\"\n#1020 0\"\n#3000 0*\n#3006 1*\n#5001\n");

    file = std::tmpfile();
    JsonLinesWriter json(file, 888);
    clock.t0 = clock.t;
    sampleFast(session, clock, 888, 2ms, port.cancel, json);
    std::rewind(file);
    ASSERT_NE(std::fgets(buffer, sizeof buffer, file), nullptr);
    EXPECT_STREQ(buffer, "{\"t_us\":0,\"base\":888,\"data\":0,\"status\":120,\"control\":12,"
                         "\"pins\":[1,0,0,0,0,0,0,0,0,1,1,1,1,1,1,1,0]}\n");
    int lines = 1;
    while (std::fgets(buffer, sizeof buffer, file))
        ++lines;
    EXPECT_EQ(lines, 3);
    std::fclose(file);
}

} // namespace
