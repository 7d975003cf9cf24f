// Runs inside the emulator (tools/qemu-port-test.sh) as init's child, as root, on a kernel with an
// emulated parallel port at 378h and the parport, parport_pc and ppdev modules loaded. Every path
// to the port is tried for real: ioperm, /dev/port, ppdev, the helper velmora-portio (as root and,
// with its file capability and group, as an unprivileged user), the routing between them and,
// last, the same under kernel lockdown. Prints one line per check and "N passed, N failed".
//
// Each part runs in a child process of its own, so that the port permission one part gets (ioperm
// is inherited by fork) never helps the next, and so that the unprivileged parts can drop root.
//
// Usage: port_guest_test <helper path>
#include "direct_port.h"
#include "helper_port.h"
#include "inpout.h"
#include "portio/portio_protocol.h"
#include "ppdev_port.h"
#include "routing_port.h"
#include "simulated_port.h"

#include <grp.h>
#include <linux/capability.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using inpout::Route;

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
    } catch (const inpout::PortError &error) {
        for (const std::string &p : parts)
            checkText(error.what(), p, what);
    }
}

// One byte out to the printer side, which the host finds in its file. The emulated printer then
// answers on the status lines, one step per status read: busy, the acknowledge pulse, idle again.
void strobe(inpout::PortDriver &port, const std::string &path, char byte)
{
    port.write(Data, byte);
    port.write(Control, ControlStrobe);
    port.write(Control, ControlIdle);
    std::string steps;
    for (int i = 0; i < 3; ++i)
        steps += hex(port.read(Status) & 0xF8) + " ";
    check(steps == "58h 18h D8h ", path + ": the printer's handshake after a strobe: " + steps);
}

// The same checks for every path that reaches the bare registers (not ppdev).
void rawRegisters(inpout::PortDriver &port, const std::string &path, char strobed)
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
    checkValue(port.read(0x2F8 + 2), 0xFF, path + ": absent port 2FAh");
    strobe(port, path, strobed);
}

std::vector<std::string> helperAt(const std::string &path)
{
    return {path};
}

std::unique_ptr<inpout::HelperPort> startHelper(const std::string &path, std::string &why)
{
    inpout::PortFailure failure;
    auto helper = inpout::HelperPort::start(helperAt(path), inpout::kernelLockdown(), failure);
    why = helper ? "" : failure.reason + " / " + failure.remedy;
    return helper;
}

// Talks to the real helper binary directly, bytes in and out, to see it refuse what is malformed.
struct RawHelper
{
    pid_t pid = -1;
    int fd = -1;

    RawHelper(const std::string &path, bool withArgument = false)
    {
        int ends[2];
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends);
        pid = fork();
        if (pid == 0) {
            dup2(ends[1], 0);
            dup2(ends[1], 1);
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
        const auto got = helper.exchange({'r', 1, 0x78, 0x03}, false);
        check(got.size() == 8 && (got[6] | (got[7] << 8)) == EINVAL,
              "a read carrying a value is refused");
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
        const auto got = helper.exchange({'r', 0, 0x78, 0x03}, true);
        check(got.size() == 8 && got[4] == 'r' && got[6] == 0 && got[7] == 0,
              "a good request then end of input: served");
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
    // /dev/parport0 as udev leaves it on Debian.
    check(chown("/dev/parport0", 0, LpGroup) == 0 && chmod("/dev/parport0", 0660) == 0,
          "/dev/parport0 owned by root:lp, mode 0660");
}

inpout::PortSystem systemWithHelper(const std::string &path)
{
    inpout::PortSystem system;
    system.startHelper = [path](const std::string &lockdown, inpout::PortFailure &why) {
        return std::unique_ptr<inpout::PortDriver>(
            inpout::HelperPort::start(helperAt(path), lockdown, why));
    };
    return system;
}

void checkRoutes(inpout::RoutingPort &routing, Route data, Route absent, const std::string &setup)
{
    const Route gotData = routing.route(Data);
    const Route gotAbsent = routing.route(Absent);
    check(gotData == data, setup + ": 378h by " + inpout::routeName(gotData));
    check(gotAbsent == absent, setup + ": 278h by " + inpout::routeName(gotAbsent));
}

void rootDirect()
{
    std::string why;
    auto ioperm = inpout::DirectPort::openIoperm(why);
    check(ioperm && ioperm->usesIoperm(), "ioperm as root" + detail(why));
    if (ioperm)
        rawRegisters(*ioperm, "ioperm", 'I');
    auto devPort = inpout::DirectPort::openDevPort("/dev/port", why);
    check(devPort != nullptr, "/dev/port as root" + detail(why));
    if (devPort)
        rawRegisters(*devPort, "/dev/port", 'P');
}

void rootPpdev()
{
    const auto ports = inpout::discoverParports();
    check(ports.size() == 1, "one port discovered: " + std::to_string(ports.size()));
    if (ports.empty())
        return;
    check(ports[0].base == Data && ports[0].device == "/dev/parport0",
          "parport0 at " + hex(ports[0].base) + " on " + ports[0].device);
    inpout::PpdevPort port(ports[0]);
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

    // The same register seen from the bare path.
    std::string why;
    auto direct = inpout::DirectPort::openIoperm(why);
    check(direct != nullptr, "ioperm beside ppdev" + detail(why));
    if (!direct)
        return;
    port.write(Data, 0x5A);
    checkValue(direct->read(Data), 0x5A, "ppdev writes what ioperm reads");
    direct->write(Data, 0xA5);
    checkValue(port.read(Data), 0xA5, "ioperm writes what ppdev reads");
}

void rootHelper(const std::string &path)
{
    std::string why;
    auto helper = startHelper(path, why);
    check(helper != nullptr, "helper as root" + detail(why));
    if (!helper)
        return;
    rawRegisters(*helper, "helper", 'H');
    kill(helper->pid(), SIGKILL);
    expectPortError([&] { helper->read(Data); }, {"velmora-portio", "(señal 9)"},
                    "a killed helper is an error");
    helper->write(Data, 0x3C);
    checkValue(helper->read(Data), 0x3C, "the helper is started again at the next access");
}

void unprivilegedWithPortGroup(const std::string &path)
{
    std::string why;
    check(!inpout::DirectPort::open(why), "no direct access without root: " + why);
    auto helper = startHelper(path, why);
    check(helper != nullptr, "helper runs for a member of velmora-port" + detail(why));
    if (helper) {
        helper->write(Data, 0x69);
        checkValue(helper->read(Data), 0x69, "helper: data read back as an unprivileged user");
        checkValue(helper->read(Absent), 0xFF, "helper: absent port as an unprivileged user");
    }
    helper.reset();
    why.clear();
    auto routing = inpout::RoutingPort::open(systemWithHelper(path), why);
    check(routing != nullptr, "routing driver" + detail(why));
    if (!routing)
        return;
    // Not in the lp group: ppdev cannot open the port, so the helper stands in for it.
    checkRoutes(*routing, Route::Helper, Route::Helper, "velmora-port only");
    routing->write(Data, 0x96);
    checkValue(routing->read(Data), 0x96, "routing: data through the helper");
}

void unprivilegedWithLpGroup(const std::string &path)
{
    std::string why;
    auto helper = startHelper(path, why);
    check(!helper, "helper refused outside velmora-port");
    checkText(why, "grupo velmora-port", "the refusal");
    why.clear();
    auto routing = inpout::RoutingPort::open(systemWithHelper(path), why);
    check(routing != nullptr, "routing driver" + detail(why));
    if (!routing)
        return;
    checkRoutes(*routing, Route::Ppdev, Route::None, "lp only");
    routing->write(Data, 0x77);
    checkValue(routing->read(Data), 0x77, "routing: data through ppdev");
    expectPortError([&] { routing->read(Absent); },
                    {"632 (278h)", "378h-37Ah en /dev/parport0", "grupo velmora-port"},
                    "an address nothing reaches");
}

void unprivilegedWithBothGroups(const std::string &path)
{
    std::string why;
    auto routing = inpout::RoutingPort::open(systemWithHelper(path), why);
    check(routing != nullptr, "routing driver" + detail(why));
    if (!routing)
        return;
    checkRoutes(*routing, Route::Ppdev, Route::Helper, "lp and velmora-port");
    routing->write(Data, 0x18);
    checkValue(routing->read(Data), 0x18, "routing: data through ppdev");
    checkValue(routing->read(Absent), 0xFF, "routing: absent port through the helper");
}

void unprivilegedWithNothing(const std::string &path)
{
    std::string why;
    auto routing = inpout::RoutingPort::open(systemWithHelper(path), why);
    check(routing != nullptr, "a known port is a real path even when closed to the user");
    if (routing) {
        checkRoutes(*routing, Route::None, Route::None, "no group");
        expectPortError([&] { routing->read(Data); }, {"888 (378h)", "grupo lp"},
                        "the known port names the lp group");
    }

    // A machine whose kernel knows no port: nothing real at all.
    mkdir("/tmp/noports", 0755);
    inpout::PortSystem bare = systemWithHelper(path);
    bare.procRoot = "/tmp/noports";
    why.clear();
    check(!inpout::RoutingPort::open(bare, why), "no real path: no routing driver");
    for (const char *p : {"no lista ninguno", "ioperm: permiso denegado (EPERM)",
                          "/dev/port: permiso denegado (EACCES)", "grupo velmora-port"})
        checkText(why, p, "the reason names what was tried");
    std::vector<std::string> notices;
    inpout::setHardwareOpener([bare](std::string &reason) -> std::unique_ptr<inpout::PortDriver> {
        return inpout::RoutingPort::open(bare, reason);
    });
    inpout::setNoticeHandler([&](const std::string &notice) { notices.push_back(notice); });
    Out32(StatusPort, 0x42);
    checkValue(Inp32(StatusPort), 0x42, "the simulated port serves");
    checkValue(Inp32(889), inpout::SimulatedPort::IdleStatus, "with its idle status");
    check(notices.size() == 1, "one notice");
    if (!notices.empty())
        checkText(notices[0], "puerto paralelo simulado", "the notice");
}

void rootBinding()
{
    // The program's own binding, unchanged: routing on the real machine.
    Out32(StatusPort, 0xC3);
    checkValue(Inp32(StatusPort), 0xC3, "Inp32/Out32: data read back");
    auto *routing = dynamic_cast<inpout::RoutingPort *>(inpout::currentDriver());
    check(routing != nullptr, "Inp32/Out32 bound the routing driver");
    if (!routing)
        return;
    checkRoutes(*routing, Route::Ppdev, Route::Direct, "root");
    checkValue(Inp32(Absent), 0xFF, "Inp32: absent port through ioperm");
    checkValue(Inp32(static_cast<PortAddress>(Control)), ControlIdle, "Inp32: control by ppdev");
}

void lockedDown(const std::string &path)
{
    check(inpout::kernelLockdown() == "integrity",
          "lockdown read back: " + inpout::kernelLockdown());
    std::string why;
    check(!inpout::DirectPort::open(why), "no direct access for root under lockdown");
    checkText(why, "ioperm: el núcleo está bloqueado (lockdown «integrity»)", "ioperm's reason");
    checkText(why, "/dev/port: el núcleo está bloqueado (lockdown «integrity»)",
              "/dev/port's reason");
    auto helper = startHelper(path, why);
    check(!helper, "the helper is refused too, capability or not");
    checkText(why, "lockdown «integrity»", "the helper's reason");
    why.clear();
    auto routing = inpout::RoutingPort::open(systemWithHelper(path), why);
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
    if (argc != 2) {
        std::fprintf(stderr, "usage: port_guest_test <helper path>\n");
        return 2;
    }
    const std::string helper = argv[1];
    counts = static_cast<Counts *>(
        mmap(nullptr, sizeof(Counts), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));

    part("root: ioperm and /dev/port", {}, true, rootDirect);
    part("root: ppdev", {}, true, rootPpdev);
    part("root: helper", {}, true, [&] { rootHelper(helper); });
    part("helper refuses what is malformed", {}, true,
         [&] { helperRefusesMalformedRequests(helper); });
    part("install the helper", {}, true, [&] { installHelper(helper); });
    part("user in velmora-port", {PortGroup}, false, [&] { unprivilegedWithPortGroup(helper); });
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
