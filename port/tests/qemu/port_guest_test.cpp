// Runs inside the emulator (tools/qemu-port-test.sh) as init's child, as root, on a kernel with an
// emulated parallel port at 378h. Every path to the port is tried for real: ioperm, /dev/port,
// ppdev, the helper velmora-portio (as root and, with its file capability and group, as an
// unprivileged user), the routing between them, two programs sharing the port through ppdev and,
// last, the same under kernel lockdown. The first half runs before the kernel has bound the port
// (parport_pc not loaded), the second after. Prints one line per check and "N passed, N failed".
//
// Each part runs in a child process of its own, so that the port permission one part gets (ioperm
// is inherited by fork) never helps the next, and so that the unprivileged parts can drop root.
//
// Usage: port_guest_test <helper path> <script that loads parport_pc and ppdev> <velmora-cli>
#include "direct_port.h"
#include "helper_port.h"
#include "inpout.h"
#include "portio/portio_protocol.h"
#include "ppdev_port.h"
#include "routing_port.h"
#include "simulated_port.h"

#include <grp.h>
#include <linux/capability.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/io.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using port::Route;

constexpr std::uint16_t Data = 0x378;
constexpr std::uint16_t Status = 0x379;
constexpr std::uint16_t Control = 0x37A;
constexpr std::uint16_t Absent = 0x278;
// The emulated port at rest: nBusy, nAck, Select and nError high, PaperOut low (bits 0-2 vary).
constexpr int IdleStatus = 0xD8;
// The emulated port reads control bits 6 and 7 as 1 whatever was written.
constexpr int ControlFixedBits = 0xC0;
// Init and select high: a strobe (bit 0) sends the data byte to the printer side.
constexpr int ControlIdle = 0x0C;
constexpr int ControlStrobe = 0x0D;
constexpr int ControlReverse = 0x20;

constexpr gid_t LpGroup = 7;
constexpr gid_t PortGroup = 1000;
constexpr uid_t Nobody = 65534;

struct Counts
{
    int passed;
    int failed;
};
Counts *counts; // shared with every child

void check(bool ok, const std::string &what)
{
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    __atomic_add_fetch(ok ? &counts->passed : &counts->failed, 1, __ATOMIC_SEQ_CST);
}

std::string hex(long value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%lXh", value);
    return text;
}

void checkValue(long got, long want, const std::string &what)
{
    check(got == want, what + ": " + hex(got) + (got == want ? "" : ", expected " + hex(want)));
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

std::string detail(const std::string &why)
{
    return why.empty() ? "" : ": " + why;
}

void checkText(const std::string &text, const std::string &part, const std::string &what)
{
    check(contains(text, part), what + " (\"" + part + "\" in: " + text + ")");
}

// Runs part of the test in a child, as root or as user 65534 with the given groups.
void part(const std::string &name, const std::vector<gid_t> &groups, bool asRoot,
          const std::function<void()> &steps)
{
    std::printf("== %s\n", name.c_str());
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        if (!asRoot) {
            if (setgroups(groups.size(), groups.data()) != 0 || setgid(Nobody) != 0
                || setuid(Nobody) != 0) {
                check(false, "dropping root: " + std::string(std::strerror(errno)));
                _exit(1);
            }
        }
        try {
            steps();
        } catch (const std::exception &error) {
            check(false, std::string("unexpected exception: ") + error.what());
        }
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        check(false, name + ": the part ended abnormally (status " + std::to_string(status) + ")");
}

void expectPortError(const std::function<void()> &access, const std::vector<std::string> &parts,
                     const std::string &what)
{
    try {
        access();
        check(false, what + ": no error");
    } catch (const port::PortError &error) {
        for (const std::string &p : parts)
            checkText(error.what(), p, what);
    }
}

// One byte out to the printer side, which the host finds in its file. The emulated printer then
// answers on the status lines, one step per status read: busy, the acknowledge pulse, idle again.
void strobe(port::PortDriver &port, const std::string &path, char byte)
{
    port.write(Data, byte);
    port.write(Control, ControlStrobe);
    port.write(Control, ControlIdle);
    std::string steps;
    for (int i = 0; i < 3; ++i)
        steps += hex(port.read(Status) & 0xF8) + " ";
    check(steps == "58h 18h D8h ", path + ": the printer's handshake after a strobe: " + steps);
}

// The same checks for every path that reaches the bare registers (not ppdev). serial: whether
// the path may reach the serial port at 2F8h, which the helper refuses.
void rawRegisters(port::PortDriver &port, const std::string &path, char strobed, bool serial)
{
    for (const int pattern : {0x55, 0xAA, 0x00, 0xFF}) {
        port.write(Data, pattern);
        checkValue(port.read(Data), pattern, path + ": data write " + hex(pattern) + " read back");
    }
    checkValue(port.read(Status) & 0xF8, IdleStatus, path + ": status");
    port.write(Control, ControlIdle);
    checkValue(port.read(Control), ControlIdle | ControlFixedBits, path + ": control");
    port.write(Control, ControlIdle | ControlReverse);
    port.write(Data, 0x33);
    checkValue(port.read(Data), 0xFF, path + ": data in reverse direction reads the lines");
    port.write(Control, ControlIdle);
    checkValue(port.read(Absent), 0xFF, path + ": absent port 278h");
    if (serial)
        checkValue(port.read(0x2F8 + 2), 0xFF, path + ": absent port 2FAh");
    strobe(port, path, strobed);
}

std::vector<std::string> helperAt(const std::string &path)
{
    return {path};
}

std::unique_ptr<port::HelperPort> startHelper(const std::string &path, std::string &why)
{
    port::PortFailure failure;
    auto helper = port::HelperPort::start(helperAt(path), port::kernelLockdown(), failure);
    why = helper ? "" : failure.reason + " / " + failure.remedy;
    return helper;
}

std::string readFile(const std::string &path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string activeHolder()
{
    std::string text = readFile("/proc/sys/dev/parport/parport0/devices/active");
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

std::string statusLine(pid_t pid, const std::string &key)
{
    std::istringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key + ":", 0) == 0)
            return line.substr(line.find_first_not_of(" \t", key.size() + 1));
    return "?";
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

double millisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// The command line (velmora-cli, the static build of `velmora COMMAND`), run as this process runs.
struct Cli
{
    int status = -1;
    std::string out;
    std::string err;
};

std::string cliPath;

std::string drain(int fd)
{
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, std::size_t(n));
    close(fd);
    return text;
}

Cli velmora(std::vector<std::string> arguments)
{
    int out[2];
    int err[2];
    if (pipe(out) != 0 || pipe(err) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        std::vector<char *> argv{cliPath.data()};
        for (std::string &a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        char *envp[] = {nullptr};
        execve(cliPath.c_str(), argv.data(), envp);
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    Cli result;
    result.err = drain(err[0]);
    result.out = drain(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

void checkCli(const std::vector<std::string> &arguments, int status, const std::string &part,
              const std::string &what)
{
    const Cli run = velmora(arguments);
    std::string line = "velmora";
    for (const std::string &a : arguments)
        line += " " + a;
    const std::string &text = status == 0 ? run.out : run.err;
    check(run.status == status && contains(text, part),
          what + ": «" + line + "» exits " + std::to_string(run.status) + " with \""
              + text.substr(0, 200) + "\"");
}

// A one-byte message between two processes.
struct Channel
{
    int fds[2] = {-1, -1};
    Channel() { (void)!pipe(fds); }
    void send(char c) { (void)!write(fds[1], &c, 1); }
    char receive()
    {
        char c = 0;
        (void)!read(fds[0], &c, 1);
        return c;
    }
};

// Talks to the real helper binary directly, bytes in and out, to see it refuse what is malformed.
struct RawHelper
{
    pid_t pid = -1;
    int fd = -1;

    // files: a limit on open files for the helper (0: none), which a user can set for it.
    RawHelper(const std::string &path, bool withArgument = false, rlim_t files = 0)
    {
        int ends[2];
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends);
        pid = fork();
        if (pid == 0) {
            dup2(ends[1], 0);
            dup2(ends[1], 1);
            const rlimit limit{files, files};
            if (files)
                setrlimit(RLIMIT_NOFILE, &limit);
            char name[] = "velmora-portio";
            char argument[] = "--help";
            char *argv[] = {name, withArgument ? argument : nullptr, nullptr};
            char *envp[] = {nullptr};
            execve(path.c_str(), argv, envp);
            _exit(127);
        }
        close(ends[1]);
        fd = ends[0];
    }

    std::vector<std::uint8_t> exchange(const std::vector<std::uint8_t> &bytes, bool closeAfter)
    {
        if (!bytes.empty())
            send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (closeAfter)
            shutdown(fd, SHUT_WR);
        std::vector<std::uint8_t> got;
        std::uint8_t buffer[64];
        ssize_t n;
        while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0)
            got.insert(got.end(), buffer, buffer + n);
        return got;
    }

    int exitStatus()
    {
        close(fd);
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

void helperRefusesMalformedRequests(const std::string &path)
{
    {
        RawHelper helper(path);
        const auto got = helper.exchange({'x', 0, 0x78, 0x03, 'r', 0, 0x78, 0x03}, false);
        check(got.size() == 8, "unknown operation: hello and one refusal, nothing more ("
                                   + std::to_string(got.size()) + " bytes)");
        if (got.size() == 8)
            checkValue(got[6] | (got[7] << 8), EINVAL, "the refusal is EINVAL");
        checkValue(helper.exitStatus(), 2, "and the helper ends with status 2");
    }
    {
        RawHelper helper(path);
        const auto got = helper.exchange({'r', 0}, true);
        checkValue(static_cast<long>(got.size()), 4, "a cut-off request gets only the hello");
        checkValue(helper.exitStatus(), 2, "and the helper ends with status 2");
    }
    {
        RawHelper helper(path);
        const auto got = helper.exchange({'r', 0, 0x78, 0x03, 'w', 0xFE, 0x64, 0x00}, true);
        check(got.size() == 12 && got[4] == 'r' && got[6] == 0 && got[7] == 0,
              "a good request then end of input: served");
        check(got.size() == 12 && (got[10] | (got[11] << 8)) == EACCES,
              "the keyboard controller's reset (FEh to 64h) refused with EACCES");
        checkValue(helper.exitStatus(), 0, "and the helper ends with status 0 at end of input");
    }
    {
        RawHelper helper(path, true);
        helper.exchange({}, true);
        checkValue(helper.exitStatus(), 2, "an argument is refused with status 2");
    }
}

void installHelper(const std::string &path)
{
    // As the install does: root:velmora-port, 0750, cap_sys_rawio+ep. chown clears capabilities,
    // so the capability comes last.
    check(chown(path.c_str(), 0, PortGroup) == 0, "helper owned by root:velmora-port");
    check(chmod(path.c_str(), 0750) == 0, "helper mode 0750");
    vfs_cap_data capability{};
    capability.magic_etc = VFS_CAP_REVISION_2 | VFS_CAP_FLAGS_EFFECTIVE;
    capability.data[0].permitted = 1u << CAP_SYS_RAWIO;
    const int set =
        setxattr(path.c_str(), "security.capability", &capability, sizeof capability, 0);
    check(set == 0, "helper given cap_sys_rawio+ep"
                        + (set ? ": " + std::string(std::strerror(errno)) : std::string()));
}

port::PortSystem systemWithHelper(const std::string &path)
{
    port::PortSystem system;
    system.startHelper = [path](const std::string &lockdown, port::PortFailure &why) {
        return std::unique_ptr<port::PortDriver>(
            port::HelperPort::start(helperAt(path), lockdown, why));
    };
    return system;
}

void checkRoutes(port::RoutingPort &routing, Route data, Route absent, const std::string &setup)
{
    const Route gotData = routing.route(Data);
    const Route gotAbsent = routing.route(Absent);
    check(gotData == data, setup + ": 378h by " + port::routeName(gotData));
    check(gotAbsent == absent, setup + ": 278h by " + port::routeName(gotAbsent));
    routing.endAction();
}

void rootDirect()
{
    std::string why;
    auto ioperm = port::DirectPort::openIoperm(why);
    check(ioperm && ioperm->usesIoperm(), "ioperm as root" + detail(why));
    if (ioperm)
        rawRegisters(*ioperm, "ioperm", 'I', true);
    auto devPort = port::DirectPort::openDevPort("/dev/port", why);
    check(devPort != nullptr, "/dev/port as root" + detail(why));
    if (devPort)
        rawRegisters(*devPort, "/dev/port", 'P', true);
}

void rootHelper(const std::string &path)
{
    std::string why;
    auto helper = startHelper(path, why);
    check(helper != nullptr, "helper as root" + detail(why));
    if (!helper)
        return;
    rawRegisters(*helper, "helper", 'H', false);
    kill(helper->pid(), SIGKILL);
    expectPortError([&] { helper->read(Data); }, {"velmora-portio", "(señal 9)"},
                    "a killed helper is an error");
    helper->write(Data, 0x3C);
    checkValue(helper->read(Data), 0x3C, "the helper is started again at the next access");
}

// What a member of velmora-port reaches while the kernel owns no port: the parallel port, and
// nothing of what would let the group act as root.
void helperServesParallelPortsOnly(const std::string &path)
{
    std::string why;
    check(!port::DirectPort::open(why), "no direct access without root: " + why);
    auto helper = startHelper(path, why);
    check(helper != nullptr, "helper runs for a member of velmora-port" + detail(why));
    if (!helper)
        return;
    helper->write(Data, 0x69);
    checkValue(helper->read(Data), 0x69, "helper: 378h served when the kernel owns no port");
    const std::string capabilities = statusLine(helper->pid(), "CapEff");
    check(capabilities == "0000000000000000",
          "the running helper's effective capabilities: " + capabilities);
    check(statusLine(helper->pid(), "Seccomp") == "2", "the running helper is under seccomp");
    for (const auto &[address, value] : std::vector<std::pair<std::uint16_t, int>>{
             {0x70, 0x30}, {0x71, 0xFE}, {0x64, 0xFE}, {0xCF8, 0x80}, {0xCFC, 0xFF}, {0x3F8, 0x41}})
        expectPortError(
            [&] { helper->write(address, value); },
            {port::addressText(address), "solo se les sirven registros de puerto paralelo"},
            "helper: " + hex(address) + " refused");
    checkValue(helper->read(Data), 0x69, "the helper goes on after refusals");
    auto routing = port::RoutingPort::open(systemWithHelper(path), why);
    check(routing != nullptr, "routing driver" + detail(why));
    if (routing)
        checkRoutes(*routing, Route::Helper, Route::Helper, "velmora-port, no kernel port");
}

void cliRoot()
{
    checkCli({"write", "0x378", "0b01011010"}, 0, "", "root writes through ioperm");
    checkCli({"read", "888"}, 0, "90\n", "and reads back");
    checkCli({"read", "0x2FA", "--hex"}, 0, "0xFF\n", "root reads any address");
}

void cliPortGroup()
{
    checkCli({"write", "378h", "0xA5"}, 0, "",
             "a member of velmora-port writes through the helper");
    checkCli({"read", "&H378", "--hex"}, 0, "0xA5\n", "and reads back");
    checkCli({"read", "0x70"}, 1, "solo se les sirven registros de puerto paralelo",
             "a refused address");
}

void noRealPath(const std::string &path)
{
    checkCli({"read", "888"}, 1, "no hay ningún camino real", "no path at all: status 1");
    checkCli({"read", "888", "--simulated"}, 0, "0\n", "unless the simulated port is asked for");
    std::string why;
    check(!port::RoutingPort::open(systemWithHelper(path), why), "no real path: no driver");
    for (const char *p : {"no lista ninguno", "ioperm: permiso denegado (EPERM)",
                          "/dev/port: permiso denegado (EACCES)", "grupo velmora-port"})
        checkText(why, p, "the reason names what was tried, with the system's errno");
    std::vector<std::string> notices;
    port::setHardwareOpener([path](std::string &reason) -> std::unique_ptr<port::PortDriver> {
        return port::RoutingPort::open(systemWithHelper(path), reason);
    });
    port::setNoticeHandler([&](const std::string &notice) { notices.push_back(notice); });
    Out32(StatusPort, 0x42);
    checkValue(Inp32(StatusPort), 0x42, "the simulated port serves");
    checkValue(Inp32(889), port::SimulatedPort::IdleStatus, "with its idle status");
    check(notices.size() == 1, "one notice");
    if (!notices.empty())
        checkText(notices[0], "puerto paralelo simulado", "the notice");
}

void rootPpdev()
{
    const auto ports = port::discoverParports();
    check(ports.size() == 1, "one port discovered: " + std::to_string(ports.size()));
    if (ports.empty())
        return;
    check(ports[0].base == Data && ports[0].device == "/dev/parport0",
          "parport0 at " + hex(ports[0].base) + " on " + ports[0].device);
    check(chown("/dev/parport0", 0, LpGroup) == 0 && chmod("/dev/parport0", 0660) == 0,
          "/dev/parport0 owned by root:lp, mode 0660, as udev leaves it");
    port::PpdevPort port(ports[0]);
    for (const int pattern : {0x55, 0xAA, 0x00, 0xFF}) {
        port.write(Data, pattern);
        checkValue(port.read(Data), pattern, "ppdev: data write " + hex(pattern) + " read back");
    }
    checkValue(port.read(Status) & 0xF8, IdleStatus, "ppdev: status");
    port.write(Control, ControlIdle);
    checkValue(port.read(Control), ControlIdle, "ppdev: control, the driver's bits 0-3");
    port.write(Control, ControlIdle | ControlReverse);
    checkValue(port.read(Control), ControlIdle | ControlReverse, "ppdev: control with reverse");
    checkValue(port.read(Data), 0xFF, "ppdev: data in reverse direction reads the lines");
    port.write(Control, ControlIdle);
    port.write(Status, 0);
    checkValue(port.read(Status) & 0xF8, IdleStatus, "ppdev: a status write changes nothing");
    strobe(port, "ppdev", 'D');
    check(activeHolder() == "ppdev0", "devices/active names a ppdev holder: " + activeHolder());
    port.endAction();
    check(activeHolder() == "none", "given back at the end of the action: " + activeHolder());
}

// What the fakes of ppdev take for granted, on the kernel's own driver.
void ppdevAsTheFakesAssume()
{
    auto calls = port::PpdevCalls::system();
    const int a = calls.open("/dev/parport0");
    const int b = calls.open("/dev/parport0");
    check(a >= 0 && b >= 0, "two devices open on one port");
    unsigned char byte = 0;
    checkValue(-calls.ioctl(a, PPRDATA, &byte), EINVAL, "a register ioctl before PPCLAIM");
    check(calls.claim(a, 30) == 0, "the first claim");
    // Autofeed and init: no strobe, so the emulated printer raises no interrupt meanwhile.
    unsigned char lines = 0x06;
    byte = 0x3C;
    calls.ioctl(a, PPWCONTROL, &lines);
    calls.ioctl(a, PPWDATA, &byte);
    const auto start = std::chrono::steady_clock::now();
    const int second = calls.claim(b, 30);
    const double waited = millisecondsSince(start);
    check(second == -EINTR && waited < 200,
          "a claim while held sleeps until the timer: " + std::to_string(second) + " after "
              + std::to_string(int(waited)) + " ms");
    // The claim given up leaves the device on the kernel's wait list. Released then, the port is
    // handed to it (the kernel's own code says so); here the holder's PPRELEASE did not even
    // return, and the emulated machine stopped. Closing the device first takes it off the list.
    calls.close(b);
    calls.ioctl(a, PPRELEASE, nullptr);
    check(activeHolder() == "none",
          "a device closed after its claim was given up is not handed the port: " + activeHolder());
    const int c = calls.open("/dev/parport0");
    check(calls.claim(c, 30) == 0, "a fresh device claims");
    calls.ioctl(c, PPRCONTROL, &byte);
    checkValue(byte & 0x0F, ControlIdle, "a fresh device starts from 0Ch");
    calls.ioctl(c, PPRDATA, &byte);
    checkValue(byte, 0x3C, "data is the port's, shared");
    calls.ioctl(c, PPRELEASE, nullptr);
    calls.claim(a, 30);
    calls.ioctl(a, PPRCONTROL, &byte);
    checkValue(byte & 0x0F, 0x06, "each claim restores the claimant's own control lines");
    calls.ioctl(a, PPRELEASE, nullptr);
    calls.close(a);
    calls.close(c);
}

// Two programs on one port through ppdev, as two Velmora windows would be.
void twoProgramsShareThePort()
{
    const auto ports = port::discoverParports();
    if (ports.empty())
        return;
    Channel toHolder, fromHolder, toWaiter, fromWaiter;
    const pid_t holder = fork();
    if (holder == 0) {
        port::PpdevPort port(ports[0]);
        port.write(Data, 0x11); // claims, and keeps the port until the action ends
        port.write(Control, 0x06);
        fromHolder.send('h');
        toHolder.receive();
        const auto start = std::chrono::steady_clock::now();
        port.read(Data);
        const double took = millisecondsSince(start);
        check(took < 100, "the holder's next access is not held up by the other's attempt: "
                              + std::to_string(took) + " ms");
        toHolder.receive();
        port.endAction();
        fromHolder.send('r');
        toHolder.receive();
        checkValue(port.read(Control), 0x06, "the holder keeps its own control lines");
        port.endAction();
        _exit(0);
    }
    fromHolder.receive();
    const pid_t waiter = fork();
    if (waiter == 0) {
        port::PpdevPort port(ports[0]);
        const auto start = std::chrono::steady_clock::now();
        expectPortError([&] { port.read(Data); },
                        {"888 (378h)", "en uso por otro programa, a través de ppdev (ppdev0)"},
                        "an action on a port another program holds");
        const double took = millisecondsSince(start);
        check(took < 1000, "fails within a second: " + std::to_string(int(took)) + " ms");
        port.endAction();
        fromWaiter.send('f');
        toWaiter.receive();
        checkValue(port.read(Data), 0x11, "the next action works, and sees the holder's data");
        checkValue(port.read(Control), ControlIdle,
                   "with this program's own control lines, not the holder's");
        port.endAction();
        _exit(0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    toHolder.send('g');
    std::string states;
    for (int i = 0; i < 5; ++i) {
        for (const pid_t pid : {holder, waiter})
            states += statusLine(pid, "State").substr(0, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    check(states.find('D') == std::string::npos, "no process in state D: " + states);
    fromWaiter.receive();
    toHolder.send('x');
    fromHolder.receive();
    check(activeHolder() == "none",
          "the program that gave up does not end up holding the port: " + activeHolder());
    toWaiter.send('g');
    toHolder.send('e');
    for (const pid_t pid : {holder, waiter}) {
        int status = 0;
        waitpid(pid, &status, 0);
        check(WIFEXITED(status) && WEXITSTATUS(status) == 0,
              "both programs finish: " + std::to_string(status));
    }
}

void cliThroughPpdev()
{
    checkCli({"write", "888", "0"}, 0, "", "a member of lp writes through ppdev");
    const pid_t writer = fork();
    if (writer == 0) {
        const Cli run = velmora({"write", "888", "0b10100101"});
        _exit(run.status);
    }
    int status = 0;
    waitpid(writer, &status, 0);
    const Cli pins = velmora({"pins"});
    check(pins.status == 0, "pins: " + pins.err);
    for (const char *line :
         {"  2  D0         salida      1", "  3  D1         salida      0",
          "  9  D7         salida      1", " 11  Busy       entrada     0",
          " 10  nAck       entrada     1", "  1  nStrobe    salida      1*", "Por ppdev"})
        checkText(pins.out, line, "pins shows another process's byte and the printer's status");

    checkCli({"write", "890", "0x06"}, 0, "", "one command sets the control lines");
    checkCli({"read", "890"}, 0, "12\n", "the next command has its own, 0Ch");

    // A watch in the background sees a write made meanwhile by another command.
    int log[2];
    (void)!pipe(log);
    const pid_t watcher = fork();
    if (watcher == 0) {
        dup2(log[1], 1);
        close(log[0]);
        std::string p = cliPath;
        char pins_[] = "pins", watch[] = "--watch", interval[] = "--interval", ms[] = "20",
             countOption[] = "--count", count[] = "30";
        char *argv[] = {p.data(), pins_, watch, interval, ms, countOption, count, nullptr};
        char *envp[] = {nullptr};
        execve(p.c_str(), argv, envp);
        _exit(127);
    }
    close(log[1]);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    checkCli({"write", "888", "0xA4"}, 0, "", "a write while the watch runs");
    const std::string logged = drain(log[0]);
    waitpid(watcher, &status, 0);
    check(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the watch finishes");
    checkText(logged, "hora,pin,señal,antes,después", "the watch's header");
    checkText(logged, ",2,D0,1,0", "the watch logs D0 falling");
    check(logged.find(",3,D1,") == std::string::npos, "and nothing that did not change");

    // A port another program holds.
    Channel held, done;
    const pid_t holder = fork();
    if (holder == 0) {
        port::PpdevPort port(port::discoverParports().at(0));
        port.read(Data);
        held.send('h');
        done.receive();
        port.endAction();
        _exit(0);
    }
    held.receive();
    checkCli({"read", "888"}, 1, "está en uso por otro programa", "a port held by another");
    done.send('d');
    waitpid(holder, &status, 0);
}

void cliBothGroups()
{
    checkCli({"read", "0x37B"}, 1, "el controlador del núcleo tiene el puerto parport0",
             "a register of the kernel's port that ppdev does not serve");
    checkCli({"read", "632"}, 0, "255\n", "278h through the helper");
    const Cli ports = velmora({"ports"});
    check(ports.status == 0, "ports");
    for (const char *part : {"/dev/parport0: base 378h", "módulo ppdev: cargado",
                             "grupo lp: es miembro", "grupo velmora-port: es miembro"})
        checkText(ports.out, part, "ports");
    std::printf("---- velmora ports\n%s---- velmora pins\n%s----\n", ports.out.c_str(),
                velmora({"pins"}).out.c_str());
}

void portGroupWithKernelPort(const std::string &path)
{
    // Too few files to read the kernel's list of ports: the helper must serve nothing rather
    // than take 378h for a port the kernel does not own, and still drop its capability.
    for (const rlim_t files : {rlim_t(3), rlim_t(4)}) {
        RawHelper limited(path, false, files);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::string capabilities = statusLine(limited.pid, "CapEff");
        const auto got = limited.exchange({'r', 0, 0x78, 0x03}, true);
        const std::string what = "a helper limited to " + std::to_string(files) + " files";
        check(got.size() == 8 && (got[2] | (got[3] << 8)) != 0 && (got[6] | (got[7] << 8)) != 0,
              what + " says so in its hello and refuses 378h");
        check(capabilities == "0000000000000000", what + " drops its capability: " + capabilities);
        limited.exitStatus();
    }

    std::string why;
    auto helper = startHelper(path, why);
    check(helper != nullptr, "a fresh helper" + detail(why));
    if (helper)
        expectPortError([&] { helper->read(Data); },
                        {"el controlador del núcleo tiene el puerto parport0"},
                        "the helper refuses 378h once the kernel owns it");
    auto routing = port::RoutingPort::open(systemWithHelper(path), why);
    check(routing != nullptr, "routing driver" + detail(why));
    if (!routing)
        return;
    checkRoutes(*routing, Route::None, Route::Helper, "velmora-port only");
    expectPortError([&] { routing->read(Data); }, {"888 (378h)", "grupo lp"},
                    "the kernel's port needs the lp group");
}

void unprivilegedWithLpGroup(const std::string &path)
{
    std::string why;
    auto helper = startHelper(path, why);
    check(!helper, "helper refused outside velmora-port");
    checkText(why, "grupo velmora-port", "the refusal");
    why.clear();
    auto routing = port::RoutingPort::open(systemWithHelper(path), why);
    check(routing != nullptr, "routing driver" + detail(why));
    if (!routing)
        return;
    checkRoutes(*routing, Route::Ppdev, Route::None, "lp only");
    routing->write(Data, 0x77);
    checkValue(routing->read(Data), 0x77, "routing: 378h served through ppdev to a member of lp");
    expectPortError([&] { routing->read(Absent); },
                    {"632 (278h)", "378h-37Ah en /dev/parport0", "grupo velmora-port"},
                    "an address nothing reaches");
}

void unprivilegedWithBothGroups(const std::string &path)
{
    std::string why;
    auto routing = port::RoutingPort::open(systemWithHelper(path), why);
    check(routing != nullptr, "routing driver" + detail(why));
    if (!routing)
        return;
    checkRoutes(*routing, Route::Ppdev, Route::Helper, "lp and velmora-port");
    routing->write(Data, 0x18);
    checkValue(routing->read(Data), 0x18, "routing: data through ppdev");
    checkValue(routing->read(Absent), 0xFF, "routing: absent port through the helper");
    expectPortError([&] { routing->read(0x37B); },
                    {"891 (37Bh)", "el controlador del núcleo tiene el puerto parport0"},
                    "a register ppdev does not serve");
}

void unprivilegedWithNothing(const std::string &path)
{
    std::string why;
    auto routing = port::RoutingPort::open(systemWithHelper(path), why);
    check(routing != nullptr, "a known port is a real path even when closed to the user");
    if (!routing)
        return;
    checkRoutes(*routing, Route::None, Route::None, "no group");
    expectPortError([&] { routing->read(Data); }, {"888 (378h)", "grupo lp"},
                    "the known port names the lp group");
}

void rootBinding()
{
    // The program's own binding, unchanged: routing on the real machine.
    Out32(StatusPort, 0xC3);
    checkValue(Inp32(StatusPort), 0xC3, "Inp32/Out32: data read back");
    check(activeHolder() == "none", "Inp32/Out32 give the port back: " + activeHolder());
    auto *routing = dynamic_cast<port::RoutingPort *>(port::currentDriver());
    check(routing != nullptr, "Inp32/Out32 bound the routing driver");
    if (!routing)
        return;
    checkRoutes(*routing, Route::Ppdev, Route::Direct, "root");
    checkValue(Inp32(Absent), 0xFF, "Inp32: absent port through ioperm");
    checkValue(Inp32(static_cast<PortAddress>(Control)), ControlIdle, "Inp32: control by ppdev");
}

void lockedDown(const std::string &path)
{
    check(port::kernelLockdown() == "integrity",
          "lockdown read back: " + port::kernelLockdown());
    std::string why;
    check(!port::DirectPort::open(why), "no direct access for root under lockdown");
    checkText(why, "ioperm: el núcleo está bloqueado (lockdown «integrity»)", "ioperm's reason");
    checkText(why, "/dev/port: el núcleo está bloqueado (lockdown «integrity»)",
              "/dev/port's reason");
    auto helper = startHelper(path, why);
    check(!helper, "the helper is refused too, capability or not");
    checkText(why, "lockdown «integrity»", "the helper's reason");
    why.clear();
    auto routing = port::RoutingPort::open(systemWithHelper(path), why);
    check(routing != nullptr, "routing driver under lockdown" + detail(why));
    if (!routing)
        return;
    checkRoutes(*routing, Route::Ppdev, Route::None, "root under lockdown");
    routing->write(Data, 0x24);
    checkValue(routing->read(Data), 0x24, "ppdev still works under lockdown");
    expectPortError([&] { routing->read(Absent); }, {"632 (278h)", "lockdown «integrity»"},
                    "under lockdown an address beyond the port names it");
}

} // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc != 4) {
        std::fprintf(stderr,
                     "usage: port_guest_test <helper path> <module loader> <command line>\n");
        return 2;
    }
    const std::string helper = argv[1];
    cliPath = argv[3];
    counts = static_cast<Counts *>(
        mmap(nullptr, sizeof(Counts), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));

    std::printf("== the kernel owns no port\n");
    part("root: ioperm and /dev/port", {}, true, rootDirect);
    part("root: helper", {}, true, [&] { rootHelper(helper); });
    part("root: command line", {}, true, cliRoot);
    part("helper refuses what is malformed", {}, true,
         [&] { helperRefusesMalformedRequests(helper); });
    part("install the helper", {}, true, [&] { installHelper(helper); });
    const std::vector<int> cmosBefore = cmos();
    part("user in velmora-port", {PortGroup}, false,
         [&] { helperServesParallelPortsOnly(helper); });
    part("user in velmora-port: command line", {PortGroup}, false, cliPortGroup);
    check(!cmosBefore.empty() && cmos() == cmosBefore,
          "the CMOS is unchanged and the machine still runs");
    part("user in no group", {}, false, [&] { noRealPath(helper); });

    std::printf("== the kernel owns the port at 378h\n");
    std::fflush(stdout);
    check(std::system(argv[2]) == 0, "parport_pc and ppdev loaded");
    part("root: ppdev", {}, true, rootPpdev);
    part("root: ppdev as the fakes assume", {}, true, ppdevAsTheFakesAssume);
    part("two programs in lp on one port", {LpGroup}, false, twoProgramsShareThePort);
    part("user in lp: command line", {LpGroup}, false, cliThroughPpdev);
    part("user in lp and velmora-port: command line", {LpGroup, PortGroup}, false, cliBothGroups);
    part("user in velmora-port", {PortGroup}, false, [&] { portGroupWithKernelPort(helper); });
    part("user in lp", {LpGroup}, false, [&] { unprivilegedWithLpGroup(helper); });
    part("user in lp and velmora-port", {LpGroup, PortGroup}, false,
         [&] { unprivilegedWithBothGroups(helper); });
    part("user in no group", {}, false, [&] { unprivilegedWithNothing(helper); });
    part("root: Inp32 and Out32", {}, true, rootBinding);

    std::printf("== kernel lockdown\n");
    std::ofstream("/sys/kernel/security/lockdown") << "integrity\n";
    part("root under lockdown", {}, true, [&] { lockedDown(helper); });

    std::printf("%d passed, %d failed\n", counts->passed, counts->failed);
    return counts->failed == 0 ? 0 : 1;
}
