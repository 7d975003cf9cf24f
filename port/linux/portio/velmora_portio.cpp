// velmora-portio: reads and writes single I/O ports for Velmora, which starts it and talks to it
// over standard input and output (see portio_protocol.h). It is the only part of Velmora that
// holds CAP_SYS_RAWIO, given by the install together with a mode that lets only the members of
// the velmora-port group run it. It takes no arguments and reads no environment.
//
// Before it says hello it reads the two sources of its policy (portio_policy.h): the ports the
// kernel has bound and the administrator's file. It then takes ioperm for the blocks it serves
// and nothing else, drops every capability, forbids itself new privileges and installs a seccomp
// filter that leaves it read, write and exit. What it can reach from then on is fixed in the
// processor's I/O bitmap, and nothing it is sent can widen it.
#include "connector.h"
#include "portio_policy.h"
#include "portio_server.h"

#include <cerrno>
#include <cstdio>
#include <linux/capability.h>
#include <seccomp.h>
#include <sys/io.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

class ConfinedPortIo : public portio::PortIo
{
public:
    explicit ConfinedPortIo(const portio::Policy &policy) { m_error = confine(policy); }

    int probe() override { return m_error; }

    int read(std::uint16_t address, std::uint8_t &value) override
    {
        if (m_error)
            return m_error;
        value = inb(address);
        return 0;
    }

    int write(std::uint16_t address, std::uint8_t value) override
    {
        if (m_error)
            return m_error;
        outb(value, address);
        return 0;
    }

private:
    // Whatever happens on the way, the helper ends without its capability and under its filter;
    // the first failure is what its hello reports.
    static int confine(const portio::Policy &policy)
    {
        int failure = policy.error();
        const auto blocks = policy.servedBlocks();
        std::size_t granted = 0;
        for (; granted < blocks.size() && !failure; ++granted) {
            const portio::Block &block = blocks[granted];
            if (ioperm(block.first, unsigned(block.last) - block.first + 1, 1) != 0)
                failure = errno;
        }
        if (failure) {
            for (std::size_t i = 0; i < granted; ++i)
                ioperm(blocks[i].first, unsigned(blocks[i].last) - blocks[i].first + 1, 0);
        } else if (blocks.empty()) {
            // With nothing to serve, still tell the client whether it could have had the ports.
            if (ioperm(ProbeAddress, 1, 1) != 0)
                failure = errno;
            else
                ioperm(ProbeAddress, 1, 0);
        }

        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3]{};
        if (::syscall(SYS_capset, &header, none) != 0)
            return errno;
        if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
            return errno;
        scmp_filter_ctx filter = seccomp_init(SCMP_ACT_KILL_PROCESS);
        if (!filter)
            return ENOMEM;
        for (const int call :
             {SCMP_SYS(read), SCMP_SYS(write), SCMP_SYS(exit), SCMP_SYS(exit_group),
              SCMP_SYS(rt_sigreturn), SCMP_SYS(restart_syscall)}) {
            if (const int error = seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0); error < 0)
                return -error;
        }
        // The filter is not released: freeing it is not among the calls it allows.
        if (const int error = seccomp_load(filter); error < 0)
            return -error;
        return failure;
    }

    static constexpr unsigned ProbeAddress = port::FirstPortBase;
    int m_error = 0;
};

} // namespace

int main(int argc, char **)
{
    if (argc != 1) {
        std::fputs("velmora-portio no admite argumentos: lo arranca Velmora y le habla por su "
                   "entrada y su salida.\n",
                   stderr);
        return portio::Malformed;
    }
    // Nothing the starting process left open is of use here.
    close_range(3, ~0U, 0);
    const portio::Policy policy = portio::Policy::load();
    ConfinedPortIo io(policy);
    return portio::serveRequests(STDIN_FILENO, STDOUT_FILENO, io, policy);
}
