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
//
// Usage: port_paths_bench <helper path> <velmora-cli path>; runs as root.
#include "direct_port.h"
#include "helper_port.h"
#include "ppdev_port.h"

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
            20000);
        ::close(ends[0]);
        ::waitpid(echo, nullptr, 0);
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
    return 0;
}
