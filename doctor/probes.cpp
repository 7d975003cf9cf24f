#include "doctor.h"

#include "helper_port.h"

#include <cerrno>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define VELMORA_HAS_IOPERM 1
#endif

namespace doctor {

namespace {

int openAndClose(const std::string &path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
}

class SystemProbes : public Probes
{
public:
    int openDevice(const std::string &path) override
    {
        return openAndClose(path, O_RDWR | O_NONBLOCK);
    }

    int ioperm(std::uint16_t first, unsigned count) override
    {
#ifdef VELMORA_HAS_IOPERM
        // ioperm is the calling thread's. Turned off again here, it would take the range from
        // this process's own direct path (the window asks the doctor about an error and goes
        // on), and that path's next inb would fault: the probe has a thread of its own, whose
        // permission ends with it.
        int error = 0;
        std::thread([&] {
            if (::ioperm(first, count, 1) != 0)
                error = errno;
        }).join();
        return error;
#else
        (void)first;
        (void)count;
        return ENOSYS;
#endif
    }

    int openDevPort(const std::string &path) override
    {
        return openAndClose(path, O_RDWR);
    }

    std::optional<port::PortFailure> helper(const std::string &lockdown) override
    {
        port::PortFailure whyNot;
        if (port::HelperPort::start(port::HelperPort::defaultPaths(), lockdown, whyNot))
            return std::nullopt;
        return whyNot;
    }
};

// Tries nothing: every path answers as if absent, for a listing that only needs the records.
class NoProbes : public Probes
{
public:
    int openDevice(const std::string &) override { return ENOSYS; }
    int ioperm(std::uint16_t, unsigned) override { return ENOSYS; }
    int openDevPort(const std::string &) override { return ENOSYS; }
    std::optional<port::PortFailure> helper(const std::string &) override
    {
        return port::PortFailure{"no se ha probado", "", ENOSYS};
    }
};

} // namespace

std::vector<NamedPort> namedPorts()
{
    NoProbes probes;
    return namedPorts(findPorts(System{}, probes));
}

std::unique_ptr<Probes> systemProbes()
{
    return std::make_unique<SystemProbes>();
}

port::PortFailure adviceFor(std::uint16_t address, const port::PortFailure &driver)
{
    SystemProbes probes;
    return adviceFor(findPorts(System{}, probes), address, driver);
}

} // namespace doctor
