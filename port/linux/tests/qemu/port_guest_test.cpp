// Runs inside the emulator (tools/qemu-port-test.sh) as init's child, as root, on a kernel with an
// emulated parallel port at 378h. It checks, once each, what the port code takes for granted of
// the real kernel and what the fakes of the unit tests copy: ioperm as root, the helper's
// confinement and refusals, ppdev's claims, sleeps and per-device control lines, and the command
// line through each path. The first half runs before the kernel has bound the port (parport_pc
// not loaded), the second after. Prints one line per check and "N passed, N failed".
//
// Each part runs in a child process of its own, so that the port permission one part gets (ioperm
// is inherited by fork) never helps the next, and so that the unprivileged parts can drop root.
//
// Usage: port_guest_test <helper path> <command that loads parport_pc and ppdev> <velmora-cli>
#include "direct_port.h"
#include "doctor.h"
#include "portio_protocol.h"
#include "ppdev_port.h"

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/ppdev.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/io.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::uint16_t Data = 0x378;
constexpr std::uint16_t Status = 0x379;
constexpr std::uint16_t Control = 0x37A;
// The emulated port at rest: nBusy, nAck, Select and nError high, PaperOut low (bits 0-2 vary).
constexpr int IdleStatus = 0xD8;
// Init and select high, strobe low: the lines at rest, and what a fresh ppdev device starts from.
constexpr int ControlIdle = 0x0C;
constexpr int ControlReverse = 0x20;

constexpr gid_t LpGroup = 7;
constexpr gid_t PortGroup = 1000;
constexpr uid_t Nobody = 65534;

int *counts; // passed and failed, shared with every child
std::string helperPath;
std::string cliPath;

void check(bool ok, const std::string &what)
{
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    __atomic_add_fetch(&counts[ok ? 0 : 1], 1, __ATOMIC_SEQ_CST);
}

void checkValue(long got, long want, const std::string &what)
{
    check(got == want, what + ": " + std::to_string(got)
                           + (got == want ? "" : ", expected " + std::to_string(want)));
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

double milliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

void becomeUser(const std::vector<gid_t> &groups)
{
    if (setgroups(groups.size(), groups.data()) != 0 || setgid(Nobody) != 0 || setuid(Nobody) != 0)
        _exit(1);
}

// Runs part of the test in a child, as root or as user 65534 with the given groups. A part that
// throws ends abnormally, and the exception is printed.
void part(const std::string &name, const std::vector<gid_t> &groups, bool asRoot,
          const std::function<void()> &steps)
{
    std::printf("== %s\n", name.c_str());
    const pid_t child = fork();
    if (child == 0) {
        if (!asRoot)
            becomeUser(groups);
        steps();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    check(WIFEXITED(status) && WEXITSTATUS(status) == 0, name + ": the part ends normally");
}

std::string drain(int fd)
{
    std::string text;
    char buffer[512];
    for (ssize_t n; fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, std::size_t(n));
    close(fd);
    return text;
}

std::string readFile(const std::string &path)
{
    return drain(open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

std::string activeHolder()
{
    const std::string text = readFile("/proc/sys/dev/parport/parport0/devices/active");
    return text.substr(0, text.find('\n'));
}

// A field of /proc/PID/status, such as "State:\tS (sleeping)".
std::string statusField(pid_t pid, const std::string &key)
{
    const std::string text = readFile("/proc/" + std::to_string(pid) + "/status");
    const std::size_t at = std::min(text.find("\n" + key + ":\t"), text.size()) + key.size() + 3;
    return at > text.size() ? "?" : text.substr(at, text.find('\n', at) - at);
}

// The CMOS clock's RAM, read as root: what a user's write to 70h/71h would change.
std::vector<int> cmos()
{
    std::vector<int> bytes;
    if (ioperm(0x70, 2, 1) != 0)
        return bytes;
    for (int index = 0x10; index < 0x40; ++index) {
        outb(static_cast<unsigned char>(index), 0x70);
        bytes.push_back(inb(0x71));
    }
    ioperm(0x70, 2, 0);
    return bytes;
}

// A program started with its input and output on a socket, and its errors on a pipe; setup runs
// in the child just before the program (a limit a user can set, another user).
struct Child
{
    pid_t pid = -1;
    int io = -1;
    int err = -1;
    int status = -1;
    std::string printed;
    std::string complaint;
};

Child start(const std::string &path, std::vector<std::string> arguments,
            const std::function<void()> &setup = {})
{
    int io[2];
    int err[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, io) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(io[1], 0);
        dup2(io[1], 1);
        dup2(err[1], 2);
        if (setup)
            setup();
        arguments.insert(arguments.begin(), path);
        std::vector<char *> argv;
        for (std::string &a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        char *envp[] = {nullptr};
        execve(path.c_str(), argv.data(), envp);
        _exit(127);
    }
    close(io[1]);
    close(err[1]);
    return {pid, io[0], err[0], -1, {}, {}};
}

Child finish(Child child)
{
    child.complaint = drain(child.err);
    child.printed = drain(child.io);
    waitpid(child.pid, &child.status, 0);
    child.status = WIFEXITED(child.status) ? WEXITSTATUS(child.status) : 128;
    return child;
}

// Runs the command line (velmora-cli, the static build of `velmora COMMAND`), or takes one that
// ran, and checks its exit status and parts of what it printed, or of its error when it failed.
void checkCli(const std::vector<std::string> &arguments, int status,
              const std::vector<std::string> &parts = {""}, const Child *ran = nullptr)
{
    const Child run = ran ? *ran : finish(start(cliPath, arguments));
    std::string line = "velmora";
    for (const std::string &a : arguments)
        line += " " + a;
    const std::string &text = status == 0 ? run.printed : run.complaint;
    for (const std::string &part : parts)
        check(run.status == status && contains(text, part),
              "«" + line + "» exits " + std::to_string(run.status) + ", printing \""
                  + (contains(text, part) ? part : text) + "\"");
}

// The helper's replies (portio_protocol.h) to reads and writes: op, value and address each.
std::vector<std::uint8_t> exchange(Child helper, const std::vector<std::array<int, 3>> &requests)
{
    std::string bytes;
    for (const auto &[op, value, address] : requests)
        bytes += {char(op), char(value), char(address), char(address >> 8)};
    send(helper.io, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    shutdown(helper.io, SHUT_WR);
    const std::string replies = finish(helper).printed;
    return {replies.begin(), replies.end()};
}

void limit(int resource, rlim_t value)
{
    const rlimit limit{value, value};
    setrlimit(resource, &limit);
}

int errorOf(const std::vector<std::uint8_t> &replies, std::size_t i)
{
    return replies.size() < 4 * i + 4 ? -1 : replies[4 * i + 2] | replies[4 * i + 3] << 8;
}

// A helper once it has said hello: no capability left, and under its seccomp filter.
void checkConfined(const Child &helper, const std::string &what)
{
    std::uint8_t hello[4];
    (void)!recv(helper.io, hello, sizeof hello, MSG_WAITALL);
    check(statusField(helper.pid, "CapEff") == "0000000000000000"
              && statusField(helper.pid, "Seccomp") == "2",
          what + " runs with CapEff 0 and Seccomp 2");
}

// Data both ways, status, and control with the data direction. fixedBits: what the bare
// register adds to control reads (bits 6 and 7); ppdev gives its copy of what was written.
void checkRegisters(port::PortDriver &port, const std::string &path, int fixedBits)
{
    for (const int pattern : {0x55, 0xAA}) {
        port.write(Data, pattern);
        checkValue(port.read(Data), pattern, path + ": data read back");
    }
    checkValue(port.read(Status) & 0xF8, IdleStatus, path + ": status");
    port.write(Control, ControlIdle | ControlReverse);
    port.write(Data, 0x33);
    checkValue(port.read(Data), 0xFF, path + ": data in reverse direction reads the lines");
    checkValue(port.read(Control), ControlIdle | ControlReverse | fixedBits, path + ": control");
    port.write(Control, ControlIdle);
}

void rootIoperm()
{
    std::string why;
    auto ioperm = port::DirectPort::openIoperm(why);
    check(ioperm && ioperm->usesIoperm(), "ioperm as root" + why);
    if (ioperm) {
        checkRegisters(*ioperm, "ioperm", 0xC0);
        // The port doctor probing the same block, as the window asks it about an error while
        // its direct path stays open: that path must still reach the port.
        doctor::systemProbes()->ioperm(0x378, 3);
        checkRegisters(*ioperm, "ioperm after the port doctor's probe", 0xC0);
    }
    checkCli({"write", "0x378", "0b01011010"}, 0);
    checkCli({"read", "888"}, 0, {"90\n"});
}

// What a member of velmora-port reaches while the kernel owns no port: the parallel port, and
// nothing of what would let the group act as root.
void helperServesParallelPortsOnly()
{
    const Child helper = start(helperPath, {});
    checkConfined(helper, "the helper");
    const int refused[] = {0x70, 0x71, 0x64, 0xCF8, 0xCFC, 0x3F8};
    std::vector<std::array<int, 3>> requests = {{'w', 0x69, Data}, {'r', 0, Data}};
    // 30h to 70h picks a byte of the CMOS that cmos() reads, which FEh to 71h would overwrite.
    for (const int address : refused)
        requests.push_back({'w', address == 0x70 ? 0x30 : 0xFE, address});
    const auto replies = exchange(helper, requests);
    check(errorOf(replies, 1) == 0 && replies[5] == 0x69, "the helper serves 378h");
    for (std::size_t i = 0; i < std::size(refused); ++i)
        checkValue(errorOf(replies, i + 2), EACCES,
                   "the helper refuses port " + std::to_string(refused[i]));
    checkCli({"write", "378h", "0xA5"}, 0);
    checkCli({"read", "&H378", "--hex"}, 0, {"0xA5\n"});
    checkCli({"read", "0x70"}, 1, {"solo se les sirven registros de puerto paralelo"});
    // Before the kernel binds it, only the firmware knows the port.
    checkCli(
        {"ports"}, 0,
        {"378h\n  Lo conoce: firmware\n", "Camino para su usuario: el ayudante velmora-portio"});
}

// The firmware's port as `velmora ports` and the fakes of its tests read it: ACPI's PNP0400.
void firmwareListsThePort()
{
    std::string resources;
    std::unique_ptr<DIR, int (*)(DIR *)> dir(opendir("/sys/bus/pnp/devices"), closedir);
    while (const dirent *entry = dir ? readdir(dir.get()) : nullptr) {
        const std::string folder = std::string("/sys/bus/pnp/devices/") + entry->d_name;
        if (contains(readFile(folder + "/id"), "PNP0400"))
            resources = readFile(folder + "/resources");
    }
    check(contains(resources, "io 0x378-0x37f"), "the firmware lists PNP0400 with " + resources);
    // And a PCI function's I/O BAR: IORESOURCE_IO (100h) in its resource line's flags, and the
    // command register's I/O bit in the config space an ordinary user may read.
    std::string found = "none";
    dir.reset(opendir("/sys/bus/pci/devices"));
    while (const dirent *entry = dir ? readdir(dir.get()) : nullptr) {
        const std::string folder = std::string("/sys/bus/pci/devices/") + entry->d_name;
        const std::string config = readFile(folder + "/config");
        std::istringstream lines(readFile(folder + "/resource"));
        for (std::string line; std::getline(lines, line);) {
            unsigned long long start = 0, end = 0, flags = 0;
            if (std::sscanf(line.c_str(), "%llx %llx %llx", &start, &end, &flags) == 3 && start
                && (flags & 0x100) && config.size() >= 64 && (config[4] & 1))
                found = folder + ": " + line;
        }
    }
    check(found != "none", "a PCI I/O BAR as the fakes write it, " + found);
}

// Two programs on the port through the helper, which holds no claim: a fast watch writing a VCD
// sees a 20 ms pulse that another process gives, its width within twice the watch's longest gap
// (or 1 ms) of 20 ms.
void watchSeesAPulse()
{
    const std::string vcd = "/opt/watch.vcd";
    checkCli({"write", "378h", "0"}, 0);
    // The watch and the pulse share the guest's one processor, which a busy host can take away
    // for longer than the pulse: a run whose longest gap is over half the width could not have
    // measured it, and is tried again, up to three times.
    Child watched;
    double gapUs = 1e9;
    for (int attempt = 0; attempt < 3 && gapUs > 10'000; ++attempt) {
        const Child watch =
            start(cliPath, {"pins", "--watch", "--fast", "--duration", "1s", "--vcd", vcd});
        usleep(250'000);
        checkCli({"pulse", "378h", "0xFF", "--width", "20ms", "--idle", "0"}, 0, {"ancho pedido"});
        watched = finish(watch);
        const std::size_t gapAt = watched.complaint.find("hueco entre dos muestras fue de ");
        gapUs =
            gapAt == std::string::npos ? 1e9 : std::atof(watched.complaint.c_str() + gapAt + 32);
    }
    // D0 is the wire with code '"'; its first rise and the fall after it.
    const std::string file = readFile(vcd);
    const std::size_t body = file.find("$end\n#", file.find("$dumpvars"));
    long time = -1, rise = -1, fall = -1;
    for (std::size_t at = body; at < file.size();) {
        const std::size_t end = file.find('\n', at);
        const std::string line = file.substr(at, end - at);
        if (line[0] == '#')
            time = std::atol(line.c_str() + 1);
        else if (line == "1\"" && rise < 0)
            rise = time;
        else if (line == "0\"" && rise >= 0 && fall < 0)
            fall = time;
        at = end == std::string::npos ? end : end + 1;
    }
    // The same run's CSV has the same edges, at the same t_us (its last column).
    const auto csvTime = [&](const std::string &edge) {
        const std::size_t row = watched.printed.find(edge);
        const std::size_t end = watched.printed.find('\n', row);
        return row == std::string::npos
                   ? -2L
                   : std::atol(watched.printed.c_str() + watched.printed.rfind(',', end) + 1);
    };
    check(watched.printed.rfind("hora,pin,señal,antes,después,t_us\n", 0) == 0
              && csvTime(",2,D0,0,1,") == rise && csvTime(",2,D0,1,0,") == fall,
          "the watch's CSV, its header first, has the VCD's edges: " + watched.printed);
    const double allowed = std::max(2 * gapUs, 1000.0);
    check(watched.status == 0 && rise > 0 && fall > rise
              && std::abs(double(fall - rise) - 20000) <= allowed,
          "a fast watch's VCD shows the other process's 20 ms pulse as "
              + std::to_string(fall - rise) + " µs, longest gap " + std::to_string(gapUs)
              + " µs: " + watched.complaint);
}

// What became of a helper: it ended after a hello with an errno (e) or before any (x), or runs
// confined after a hello of 0 (c); anything else is '?'.
char outcome(const Child &helper)
{
    std::uint8_t hello[4]{};
    const bool said = recv(helper.io, hello, 4, MSG_WAITALL) == 4;
    const int error = said ? hello[2] | hello[3] << 8 : 0;
    const bool confined = said && error == 0
                          && statusField(helper.pid, "CapEff") == "0000000000000000"
                          && statusField(helper.pid, "Seccomp") == "2";
    bool gone = false;
    for (int i = 0; !confined && !gone && i < 100; ++i, usleep(10'000))
        gone = waitpid(helper.pid, nullptr, WNOHANG) == helper.pid;
    close(helper.io);
    close(helper.err);
    if (!gone)
        waitpid(helper.pid, nullptr, 0);
    return gone ? (error > 0 ? 'e' : said ? '?' : 'x') : confined ? 'c' : '?';
}

// Under address-space limits a user may set, a helper either ends (e with an errno in its hello,
// x before any) or runs confined (c): never unfiltered, nor holding its ports while it refuses.
// And under a kernel without seccomp() (made so by a filter that root sets before the helper
// starts) it cannot confine itself, and ends after a hello that says why.
void helperWhereConfinementFails()
{
    std::string outcomes;
    for (rlim_t kb = 1536; kb <= 2816; kb += 64) {
        outcomes += outcome(start(helperPath, {}, [kb] {
            becomeUser({PortGroup});
            limit(RLIMIT_AS, kb << 10);
        }));
    }
    check(outcomes.find('?') == std::string::npos && outcomes.find('c') != std::string::npos,
          "helpers under 1.5 to 2.75 MB of address space end or run confined: " + outcomes);
    const Child helper = start(helperPath, {}, [] {
        sock_filter rules[] = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                               BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_seccomp, 0, 1),
                               BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
                               BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
        const sock_fprog program{4, rules};
        if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
            _exit(1);
        becomeUser({PortGroup});
    });
    check(outcome(helper) == 'e', "a helper without seccomp() ends after a hello with an errno");
}

// ppdev itself, as the port code and the fakes of its tests take it, and two programs on one port.
void ppdevClaims()
{
    const auto ports = port::discoverParports();
    check(ports.size() == 1 && ports[0].base == Data, "parport0 discovered at 378h");
    port::PpdevPort port(ports.at(0));
    checkRegisters(port, "ppdev", 0);
    check(activeHolder() == "ppdev0", "devices/active names the holder: " + activeHolder());
    port.endAction();
    check(activeHolder() == "none", "the port is given back after the action: " + activeHolder());

    // PPCLAIM on a held port sleeps; the timer cuts it short. The device that gave up stays on the
    // kernel's wait list, and would be handed the port at the holder's release, unless closed.
    auto calls = port::PpdevCalls::system();
    const int a = calls.open(ports[0].device);
    const int b = calls.open(ports[0].device);
    check(calls.claim(a, 30) == 0, "a first claim");
    const double claimed = milliseconds();
    const int second = calls.claim(b, 30);
    check(second == -EINTR && milliseconds() - claimed < 200,
          "a claim of a held port ends at its timer: " + std::to_string(second));
    calls.close(b);
    calls.ioctl(a, PPRELEASE, nullptr);
    check(activeHolder() == "none", "a device closed after giving up is not handed the port");
    calls.close(a);

    // This program holds the port through ppdev while the command line tries it, then lets it go.
    port.write(Data, 0x11);    // claims, and keeps the port until the action ends
    port.write(Control, 0x06); // autofeed and init: nothing is sent to the printer
    const double begun = milliseconds();
    const Child waiter = start(cliPath, {"read", "888"});
    std::string states;
    for (int i = 0; i < 6; ++i) {
        usleep(40'000);
        states += statusField(waiter.pid, "State").substr(0, 1);
    }
    const double access = milliseconds();
    port.read(Data);
    check(milliseconds() - access < 100, "the holder is not held up by the other's attempts");
    const Child refused = finish(waiter);
    checkCli({"read", "888"}, 1, {"está en uso por otro programa"}, &refused);
    check(milliseconds() - begun < 1500, "and fails within about a second");
    check(!contains(states, "D"), "the waiting program is never in state D: " + states);
    port.endAction();
    checkCli({"read", "888"}, 0, {"17\n"}); // the data is the port's, shared
    checkCli({"read", "890"}, 0, {"12\n"}); // the control lines are each device's own, 0Ch at first
    checkValue(port.read(Control), 0x06, "the holder's next claim restores its own control lines");
    port.endAction();
}

void cliThroughPpdev()
{
    checkCli({"write", "888", "0b10100101"}, 0);
    checkCli({"pins"}, 0,
             {"  2  D0         salida      1", "  3  D1         salida      0",
              "  9  D7         salida      1", " 11  Busy       entrada     0", "Por ppdev"});
    // A watch in the background logs a write made meanwhile by another command, and nothing else.
    const Child watch = start(cliPath, {"pins", "--watch", "--interval", "20", "--count", "30"});
    usleep(250'000);
    checkCli({"write", "888", "0xA4"}, 0);
    const Child logged = finish(watch);
    checkCli({"pins", "--watch"}, 0, {",2,D0,1,0"}, &logged);
    check(!contains(logged.printed, ",3,D1,"), "the watch logs only what changed");
}

// Once the kernel owns the port, a fresh helper leaves it alone, and so does one that cannot read
// the kernel's list of ports (too few files): it fails closed. The command line says why.
void helperLeavesTheKernelsPort()
{
    checkCli({"read", "0x37B"}, 1, {"el controlador del núcleo tiene el puerto parport0"});
    checkCli({"ports"}, 0,
             {"378h, /dev/parport0\n  Lo conoce: núcleo, firmware\n", "Modos: PCSPP",
              "Camino para su usuario: ppdev", "No falta nada"});
    checkCli({"ports", "--json"}, 0,
             {"[\n {\"base\": 888, \"ecp_base\": null, \"sources\": [\"kernel\", \"firmware\"], "
              "\"kernel_port\": \"parport0\", \"device\": \"/dev/parport0\", \"pci\": null",
              "\"reachable\": true, \"path\": \"ppdev\", \"problem\": null, \"fix\": null}\n]\n"});
    for (const rlim_t files : {rlim_t(0), rlim_t(3), rlim_t(4)}) {
        const Child helper = start(helperPath, {}, [files] {
            if (files)
                limit(RLIMIT_NOFILE, files);
        });
        const std::string what =
            files ? "a helper limited to " + std::to_string(files) + " files" : "a fresh helper";
        if (!files)
            checkConfined(helper, what);
        // One that cannot read the list ends, after a hello that says why.
        check(errorOf(exchange(helper, {{'r', 0, Data}}), 0) > 0, what + " refuses 378h");
    }
}

// The self-test as root through ppdev, on a port that answers as a printer does (nInit and
// nStrobe move its status lines), so that its verdict is a fault or no plug, never a pass; then
// data and control read past ppdev as they were. A ppdev claim puts the device's own control
// lines on the port, for a fresh one 0Ch and the interrupt enable (10h) on a port with an IRQ,
// so the port starts from those.
void selfTestRestores()
{
    check(ioperm(Data, 3, 1) == 0, "ioperm for the self-test");
    outb(0x3C, Data);
    outb(ControlIdle | 0x10, Control);
    const int data = inb(Data);
    const int control = inb(Control);
    const Child run = finish(start(cliPath, {"selftest", "378h", "--yes"}));
    std::printf("%s%s", run.printed.c_str(), run.complaint.c_str());
    check((run.status == 3 || run.status == 4) && contains(run.printed, " accesos al puerto en "),
          "«velmora selftest 378h --yes» runs to the end and exits " + std::to_string(run.status));
    checkValue(inb(Data), data, "data after the self-test");
    checkValue(inb(Control), control, "control after the self-test");
}

} // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc != 4)
        return 2;
    helperPath = argv[1];
    cliPath = argv[3];
    counts = static_cast<int *>(
        mmap(nullptr, 2 * sizeof(int), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));

    firmwareListsThePort();
    part("root, the kernel owning no port", {}, true, rootIoperm);
    // The helper as the install leaves it: root:velmora-port, 0750, cap_sys_rawio+ep (chown
    // clears capabilities, so the capability comes last).
    const vfs_cap_data capability{VFS_CAP_REVISION_2 | VFS_CAP_FLAGS_EFFECTIVE,
                                  {{1u << CAP_SYS_RAWIO, 0}}};
    check(chown(argv[1], 0, PortGroup) == 0 && chmod(argv[1], 0750) == 0
              && setxattr(argv[1], "security.capability", &capability, sizeof capability, 0) == 0,
          "the helper installed");
    const std::vector<int> cmosBefore = cmos();
    part("user in velmora-port, the kernel owning no port", {PortGroup}, false,
         [] { helperServesParallelPortsOnly(); });
    part("root starting helpers that cannot confine themselves", {}, true,
         helperWhereConfinementFails);
    check(!cmosBefore.empty() && cmos() == cmosBefore, "the CMOS is unchanged");
    part("user in velmora-port: a watch and a pulse", {PortGroup}, false, watchSeesAPulse);
    part("user in no group", {}, false, [] {
        // The port doctor's verdict for the firmware's port at 378h: the helper's problem and fix.
        checkCli({"read", "888"}, 1,
                 {"(378h): su usuario no puede", "\n\nAñada su usuario al grupo velmora-port"});
    });

    // A helper started while the kernel owns no port, kept open across the insmod: it serves the
    // kernel's port until its life ends.
    const Child stale = start(helperPath, {}, [] { becomeUser({PortGroup}); });
    const double staleStarted = milliseconds();
    checkConfined(stale, "a helper started before the kernel owns the port");
    check(std::system(argv[2]) == 0, "parport_pc and ppdev loaded");
    const char request[] = {'r', 0, char(Control), char(Control >> 8)};
    std::uint8_t reply[4]{};
    check(send(stale.io, request, 4, 0) == 4 && recv(stale.io, reply, 4, MSG_WAITALL) == 4
              && !reply[2] && !reply[3],
          "the helper started before serves 37Ah after it");
    check(chown("/dev/parport0", 0, LpGroup) == 0 && chmod("/dev/parport0", 0660) == 0,
          "/dev/parport0 owned by root:lp, mode 0660, as udev leaves it");
    part("user in lp: ppdev", {LpGroup}, false, ppdevClaims);
    part("user in lp: command line", {LpGroup}, false, cliThroughPpdev);
    part("user in lp and velmora-port", {LpGroup, PortGroup}, false, helperLeavesTheKernelsPort);
    // Nor does one whose /proc is not the kernel's (a tmpfs over it, in a mount namespace of its
    // own), which would list no port.
    const Child masked = start(helperPath, {}, [] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr)
            || mount("tmpfs", "/proc", "tmpfs", 0, nullptr) != 0)
            _exit(1);
        becomeUser({PortGroup});
    });
    check(errorOf(exchange(masked, {{'r', 0, Data}}), 0) > 0,
          "a helper whose /proc is a tmpfs refuses 378h");

    const double end = staleStarted + (portio::Lifetime + 5) * 1e3;
    usleep(useconds_t(std::max(0.0, end - milliseconds()) * 1e3));
    int status = 0;
    check(waitpid(stale.pid, &status, WNOHANG) == stale.pid && WIFSIGNALED(status)
              && WTERMSIG(status) == SIGALRM,
          "the helper started before has ended by its life limit, within "
              + std::to_string(portio::Lifetime + 5) + " s");

    part("root: the self-test", {}, true, selfTestRestores);

    std::printf("%d passed, %d failed\n", counts[0], counts[1]);
    return counts[1] == 0 ? 0 : 1;
}
