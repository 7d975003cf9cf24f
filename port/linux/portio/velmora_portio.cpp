// velmora-portio: reads and writes single I/O ports for Velmora, which starts it and talks to it
// over standard input and output (see portio_protocol.h). It is the only part of Velmora that
// holds CAP_SYS_RAWIO, given by the install together with a mode that lets only the members of
// the velmora-port group run it. It takes no arguments and reads no environment.
//
// Before it says hello it reads the two sources of its policy (portio_policy.h): the ports the
// kernel has bound and the administrator's file. It then drops any I/O permission it inherited,
// takes ioperm for the blocks it serves and nothing else, drops every capability, forbids itself
// new privileges and installs a seccomp filter that leaves it read, write and exit. What it can
// reach from then on is fixed in the processor's I/O bitmap, and nothing it is sent can widen it.
// If any step fails it gives the ports back, says why in its hello and ends: it never serves
// half confined. It ends Lifetime seconds after it started, whatever it is doing.
#include "connector.h"
#include "portio_policy.h"
#include "portio_protocol.h"
#include "portio_server.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <linux/capability.h>
#include <linux/magic.h>
#include <seccomp.h>
#include <sys/io.h>
#include <sys/prctl.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

class ConfinedPortIo : public portio::PortIo
{
public:
    int probe() override { return 0; }

    int read(std::uint16_t address, std::uint8_t &value) override
    {
        value = inb(address);
        return 0;
    }

    int write(std::uint16_t address, std::uint8_t value) override
    {
        outb(value, address);
        return 0;
    }
};

constexpr unsigned ProbeAddress = port::FirstPortBase;

// Every port this process may reach, whoever granted it.
int dropPorts()
{
    // A kernel without I/O port permissions (ENOSYS) has given none.
    if ((iopl(0) != 0 || ioperm(0, 0x10000, 0) != 0) && errno != ENOSYS)
        return errno;
    return 0;
}

// Returns 0 once confined with the policy's ports, or the errno of the first step that failed.
int confine(const portio::Policy &policy)
{
    if (const int error = dropPorts())
        return error;
    // The kernel's list must come from the kernel: a /proc mounted over by something else could
    // leave out a port the kernel owns.
    struct statfs proc
    {};
    if (::statfs("/proc", &proc) != 0 || proc.f_type != PROC_SUPER_MAGIC)
        return EIO;
    if (policy.error())
        return policy.error();
    const auto blocks = policy.servedBlocks();
    for (const portio::Block &block : blocks)
        if (ioperm(block.first, unsigned(block.last) - block.first + 1, 1) != 0)
            return errno;
    // With nothing to serve, still tell the client whether it could have had the ports.
    if (blocks.empty() && ioperm(ProbeAddress, 1, 1) != 0)
        return errno;
    if (blocks.empty() && ioperm(ProbeAddress, 1, 0) != 0)
        return errno;

    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capset, &header, none) != 0)
        return errno;
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return errno;
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (!filter)
        return ENOMEM;
    for (const int call : {SCMP_SYS(read), SCMP_SYS(write), SCMP_SYS(exit), SCMP_SYS(exit_group),
                           SCMP_SYS(rt_sigreturn), SCMP_SYS(restart_syscall)}) {
        if (const int error = seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0); error < 0)
            return -error;
    }
    // The filter is not released: freeing it is not among the calls it allows.
    if (const int error = seccomp_load(filter); error < 0)
        return -error;
    return 0;
}

} // namespace

int main(int argc, char **)
{
    if (argc != 1) {
        std::fputs("velmora-portio no admite argumentos: lo arranca Velmora y le habla por su "
                   "entrada y su salida.\n",
                   stderr);
        _exit(portio::Malformed);
    }
    // Nothing the starting process left open is of use here.
    close_range(3, ~0U, 0);
    // The life limit, set while every system call is still allowed. Whoever started the helper
    // may have ignored or blocked SIGALRM, and both survive execve.
    std::signal(SIGALRM, SIG_DFL);
    sigset_t alarmOnly;
    sigemptyset(&alarmOnly);
    sigaddset(&alarmOnly, SIGALRM);
    sigprocmask(SIG_UNBLOCK, &alarmOnly, nullptr);
    alarm(portio::Lifetime);

    const portio::Policy policy = portio::Policy::load();
    if (const int error = confine(policy)) {
        dropPorts();
        const portio::Message hello =
            portio::message(portio::Hello, portio::Version, static_cast<std::uint16_t>(error));
        (void)!::write(STDOUT_FILENO, hello.data(), hello.size());
        _exit(portio::Refused);
    }
    ConfinedPortIo io;
    // _exit: no destructor and no heap trim may run under the filter.
    _exit(portio::serveRequests(STDIN_FILENO, STDOUT_FILENO, io, policy));
}
