// The cost of one port access by each path, measured inside the emulated machine
// (tools/bench.sh --ports, through tools/qemu-port-test.sh --bench), each beside its bare floor
// measured in the same run:
//   direct    DirectPort::read with ioperm        a bare inb loop
//   /dev/port DirectPort::read on /dev/port       a bare pread
//   ppdev     PpdevPort::read, claim and release  a bare PPRSTATUS on a claimed port
//   helper    HelperPort::read                    a four-byte round trip to an echoing process
// Under software emulation an emulated inb is far cheaper than a real bus cycle (about a
// microsecond), so these ratios are upper bounds on the overhead on real hardware.
// Then `velmora pins --watch` at 20 Hz through ppdev: its processor time over the wall time.
// Last, the timing library on ppdev and the helper through port::Session, as `velmora pulse`
// and `velmora pins --fast` use them (with real-time scheduling, as root has it): pulse trains of
// 100 µs, 1 ms and 10 ms at twice their width, their width and period error (p50, p99) beside
// how late clock_nanosleep alone wakes from a sleep of the width and two bare writes on the path;
// and `--fast` samples per second beside a bare loop of the same three reads through the same
// session.
//
// Usage: port_paths_bench <helper path> <velmora-cli path>; runs as root.
#include "direct_port.h"
#include "helper_port.h"
#include "ppdev_port.h"

#include "fast_sampler.h"
#include "monotonic_clock.h"
#include "pulse_train.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/io.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

volatile int sink;

// Nanoseconds per call, the median of five rounds.
double perCall(const std::function<void()> &call, int count)
{
    std::vector<double> rounds;
    for (int round = 0; round < 5; ++round) {
        const auto start = Clock::now();
        for (int i = 0; i < count; ++i)
            call();
        rounds.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count()
                         / count);
    }
    std::sort(rounds.begin(), rounds.end());
    return rounds[2];
}

void report(const char *path, double measured, double floor, const char *floorName, double goal)
{
    const double ratio = measured / floor;
    std::printf("%-10s %10.0f ns  %-36s %10.0f ns  %6.2fx  goal %.1fx: %s\n", path, measured,
                floorName, floor, ratio, goal, ratio <= goal ? "met" : "MISSED");
}

constexpr std::uint16_t Status = 0x379;
constexpr std::uint16_t Absent = 0x279; // served by the helper: the kernel owns 378h-37Fh

// Nanoseconds of one four-byte round trip to a process that echoes it: the helper's floor.
double echoRoundTrip(int count)
{
    int ends[2];
    ::socketpair(AF_UNIX, SOCK_STREAM, 0, ends);
    const pid_t echo = fork();
    if (echo == 0) {
        ::close(ends[0]);
        unsigned char message[4];
        while (::read(ends[1], message, 4) == 4 && ::write(ends[1], message, 4) == 4) {
        }
        _exit(0);
    }
    ::close(ends[1]);
    unsigned char message[4] = {'r', 0, 0x79, 0x02};
    const double floor = perCall(
        [&] { sink = int(::send(ends[0], message, 4, 0) + ::recv(ends[0], message, 4, 0)); },
        count);
    ::close(ends[0]);
    ::waitpid(echo, nullptr, 0);
    return floor;
}

using timing::Nanoseconds;
using namespace std::chrono_literals;

const timing::CancelFlag never{false};
constexpr std::array<Nanoseconds, 3> Widths{100us, 1ms, 10ms};

std::string shown(double ns)
{
    char text[32];
    if (ns < 1e3)
        std::snprintf(text, sizeof text, "%.0f ns", ns);
    else if (ns < 1e6)
        std::snprintf(text, sizeof text, "%.1f us", ns / 1e3);
    else
        std::snprintf(text, sizeof text, "%.2f ms", ns / 1e6);
    return text;
}

std::string shown(Nanoseconds t)
{
    return shown(double(t.count()));
}

// At least 50 pulses, and about half a second of them.
long pulsesOf(Nanoseconds width)
{
    return std::max(50L, long(250ms / width));
}

// How late clock_nanosleep alone wakes from a sleep of the width: the floor of a wait. Each
// deadline is a width from the last wake-up, since here wake-ups can come later than 100 µs
// apart, and deadlines fixed a width apart would leave them further behind at each one.
timing::Figures sleepAlone(timing::Clock &clock, Nanoseconds width)
{
    std::vector<Nanoseconds> late;
    for (long i = 0; i < pulsesOf(width); ++i) {
        const Nanoseconds deadline = clock.now() + width;
        const timespec at{time_t(deadline.count() / 1'000'000'000),
                          long(deadline.count() % 1'000'000'000)};
        ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
        late.push_back(clock.now() - deadline);
    }
    return timing::figuresOf(late, 0ns);
}

double ratio(Nanoseconds a, Nanoseconds b)
{
    return double(a.count()) / double(std::max<std::int64_t>(b.count(), 1));
}

// Trains on the path as `velmora pulse` gives them, each beside the floor of the same run.
void pulseTrains(const char *path, port::Session &session, timing::Clock &clock,
                 std::uint16_t address, double twoBareWrites,
                 const std::array<timing::Figures, 3> &asleep)
{
    const port::Action held = session.beginAction();
    const Nanoseconds cost = timing::measureWrite(session, clock, address, 0x00);
    for (std::size_t i = 0; i < Widths.size(); ++i) {
        const timing::Pulse pulse{address,      0xFF, 0x00, Widths[i], pulsesOf(Widths[i]),
                                  Widths[i] * 2};
        std::printf("%-6s pulse %-6s", path, shown(Widths[i]).c_str());
        if (const auto why = timing::whyNot(pulse, cost)) {
            std::printf(" cannot be given: %s\n", why->c_str());
            continue;
        }
        const timing::PulseReport r = timing::runPulses(session, clock, pulse, cost, never);
        const timing::Figures &s = asleep[i];
        std::printf(" width error p50 %s p99 %s, period error p50 %s p99 %s; floor: "
                    "clock_nanosleep late p50 %s p99 %s, two bare writes %s; ratio p50/p99 "
                    "width %.2fx/%.2fx, period %.2fx/%.2fx\n",
                    shown(r.width.errorP50).c_str(), shown(r.width.errorP99).c_str(),
                    shown(r.period.errorP50).c_str(), shown(r.period.errorP99).c_str(),
                    shown(s.errorP50).c_str(), shown(s.errorP99).c_str(),
                    shown(twoBareWrites).c_str(), ratio(r.width.errorP50, s.errorP50),
                    ratio(r.width.errorP99, s.errorP99), ratio(r.period.errorP50, s.errorP50),
                    ratio(r.period.errorP99, s.errorP99));
    }
}

struct Discard : timing::SampleSink
{
    void sample(std::int64_t, const port::Registers &) override {}
};

// `--fast` on the path beside a bare loop of the same three reads through the same session.
void fastSampling(const char *path, port::Session &session, timing::Clock &clock,
                  std::uint16_t base, int count)
{
    Discard discard;
    const double fast = timing::sampleFast(session, clock, base, 500ms, never, discard).perSecond();
    const port::Action held = session.beginAction();
    const double bare =
        1e9 / perCall([&] { sink = timing::readRegisters(session, base).status; }, count);
    std::printf("%-6s --fast %10.0f samples/s  a bare loop of the same three reads %10.0f/s  "
                "%.2fx\n",
                path, fast, bare, fast / bare);
}

} // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc != 3) {
        std::fprintf(stderr, "usage: port_paths_bench <helper> <velmora-cli>\n");
        return 2;
    }
    std::string why;

    if (auto direct = port::DirectPort::openIoperm(why)) {
        const double measured = perCall([&] { sink = direct->read(Status); }, 200000);
        const double floor = perCall([] { sink = inb(Status); }, 200000);
        report("direct", measured, floor, "bare inb", 1.1);
    }
    ioperm(0, 0x10000, 0);

    if (auto devPort = port::DirectPort::openDevPort("/dev/port", why)) {
        const double measured = perCall([&] { sink = devPort->read(Status); }, 50000);
        const int fd = ::open("/dev/port", O_RDONLY);
        unsigned char byte = 0;
        const double floor = perCall([&] { sink = int(::pread(fd, &byte, 1, Status)); }, 50000);
        ::close(fd);
        report("/dev/port", measured, floor, "bare pread", 1.2);
    }

    const auto ports = port::discoverParports();
    if (!ports.empty()) {
        double measured = 0;
        {
            port::PpdevPort port(ports.front());
            measured = perCall(
                [&] {
                    sink = port.read(Status);
                    port.endAction();
                },
                20000);
        }
        const int fd = ::open(ports.front().device.c_str(), O_RDWR);
        ::ioctl(fd, PPCLAIM);
        unsigned char byte = 0;
        const double floor = perCall([&] { sink = ::ioctl(fd, PPRSTATUS, &byte); }, 20000);
        ::ioctl(fd, PPRELEASE);
        report("ppdev", measured, floor, "bare PPRSTATUS, port claimed", 3.0);
        // The two ioctls of sharing alone, with nothing of Velmora's around them.
        const double shared = perCall(
            [&] {
                ::ioctl(fd, PPCLAIM);
                sink = ::ioctl(fd, PPRSTATUS, &byte);
                ::ioctl(fd, PPRELEASE);
            },
            20000);
        report("ppdev", measured, shared, "bare PPCLAIM, PPRSTATUS, PPRELEASE", 3.0);
        // Where the time of a shared access goes.
        const auto calls = port::PpdevCalls::system();
        std::printf("  of which: devices/active read %.0f ns; PPCLAIM with its timer and PPRELEASE "
                    "%.0f ns; bare PPCLAIM and PPRELEASE %.0f ns\n",
                    perCall([&] { sink = int(calls.holder(ports.front().name).size()); }, 5000),
                    perCall(
                        [&] {
                            sink = calls.claim(fd, 30);
                            ::ioctl(fd, PPRELEASE);
                        },
                        5000),
                    perCall(
                        [&] {
                            sink = ::ioctl(fd, PPCLAIM);
                            ::ioctl(fd, PPRELEASE);
                        },
                        5000));
        ::close(fd);
    }

    port::PortFailure failure;
    if (auto helper = port::HelperPort::start({argv[1]}, {}, failure)) {
        const double measured = perCall([&] { sink = helper->read(Absent); }, 20000);
        const double floor = echoRoundTrip(20000);
        report("helper", measured, floor, "bare 4-byte round trip", 1.5);
    } else {
        std::printf("helper: %s\n", failure.reason.c_str());
    }

    // pins --watch at 20 Hz through ppdev, for a fixed number of samples.
    const auto start = Clock::now();
    const pid_t watch = fork();
    if (watch == 0) {
        if (!freopen("/dev/null", "w", stdout))
            _exit(127);
        char pins[] = "pins", option[] = "--watch", interval[] = "--interval", ms[] = "50",
             countOption[] = "--count", count[] = "100";
        char *arguments[] = {argv[2], pins, option, interval, ms, countOption, count, nullptr};
        char *environment[] = {nullptr};
        execve(argv[2], arguments, environment);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(watch, &status, 0, &usage);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                       + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("pins --watch at 20 Hz through ppdev, 100 samples: %.3f s of processor in %.2f s, "
                "%.2f %% of a core (goal under 1 %%: %s)\n",
                cpu, wall, 100 * cpu / wall, 100 * cpu / wall < 1 ? "met" : "MISSED");

    // Last, since its real-time scheduling would pass to the watch above. The helper starts
    // before it, as at `velmora pulse`'s first access.
    timing::MonotonicClock clock;
    auto helper = port::HelperPort::start({argv[1]}, {}, failure);
    const std::string realtime = timing::requestRealtime();
    std::printf("timing: spin margin %s; %s\n", shown(clock.spinMargin()).c_str(),
                realtime.empty() ? "real-time scheduling" : realtime.c_str());
    std::array<timing::Figures, 3> asleep;
    for (std::size_t i = 0; i < Widths.size(); ++i)
        asleep[i] = sleepAlone(clock, Widths[i]);
    if (!ports.empty()) {
        const int fd = ::open(ports.front().device.c_str(), O_RDWR);
        ::ioctl(fd, PPCLAIM);
        unsigned char low = 0x00, high = 0xFF;
        const double twoWrites = perCall(
            [&] {
                ::ioctl(fd, PPWDATA, &high);
                ::ioctl(fd, PPWDATA, &low);
            },
            20000);
        ::ioctl(fd, PPRELEASE);
        ::close(fd);
        port::Session session(std::make_unique<port::PpdevPort>(ports.front()));
        pulseTrains("ppdev", session, clock, ports.front().base, twoWrites, asleep);
        fastSampling("ppdev", session, clock, ports.front().base, 5000);
    }
    if (helper) {
        const double twoWrites = 2 * echoRoundTrip(2000);
        port::Session session(std::move(helper));
        pulseTrains("helper", session, clock, Absent - 1, twoWrites, asleep);
        fastSampling("helper", session, clock, Absent - 1, 200);
    }
    return 0;
}
