#include "direct_port.h"

#include "port_error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define VELMORA_HAS_IOPERM 1
#endif

namespace port {

namespace {

constexpr int PortCount = 0x10000;

[[noreturn]] void fail(PortError::Access access, std::uint16_t address, int error)
{
    throw PortError(access, address,
                    {"/dev/port: " + describePortError(error, {}),
                     "Compruebe que el núcleo sigue ofreciendo /dev/port y vuelva a intentarlo.",
                     error});
}

} // namespace

std::string kernelLockdown(const std::string &sysRoot)
{
    // The file reads like "none [integrity] confidentiality"; the bracketed word is in force.
    std::ifstream file(sysRoot + "/kernel/security/lockdown");
    std::string line;
    if (!std::getline(file, line))
        return {};
    const auto open = line.find('[');
    const auto close = line.find(']', open);
    if (open == std::string::npos || close == std::string::npos)
        return {};
    const std::string mode = line.substr(open + 1, close - open - 1);
    return mode == "none" ? std::string() : mode;
}

std::string describePortError(int error, const std::string &lockdown)
{
    std::string text;
    switch (error) {
    case ENOSYS:
        text = "el sistema no lo admite";
        break;
    case EPERM:
    case EACCES:
        text = lockdown.empty()
                   ? "permiso denegado"
                   : "el núcleo está bloqueado (lockdown «" + lockdown + "») y lo impide";
        break;
    case ENOENT:
        text = "no existe";
        break;
    case ENXIO:
    case ENODEV:
        text = "no hay dispositivo";
        break;
    default:
        text = std::strerror(error);
        break;
    }
    return text + " (" + errnoName(error) + ")";
}

std::unique_ptr<DirectPort> DirectPort::open(std::string &whyNot, const std::string &devPort,
                                             const std::string &sysRoot)
{
    std::string whyNotIoperm;
    if (auto port = openIoperm(whyNotIoperm, sysRoot))
        return port;
    std::string whyNotDevPort;
    if (auto port = openDevPort(devPort, whyNotDevPort, sysRoot))
        return port;
    whyNot = whyNotIoperm + "; " + whyNotDevPort;
    return nullptr;
}

std::unique_ptr<DirectPort> DirectPort::openIoperm(std::string &whyNot, const std::string &sysRoot)
{
#ifdef VELMORA_HAS_IOPERM
    if (ioperm(0, PortCount, 1) == 0)
        return std::unique_ptr<DirectPort>(new DirectPort(-1));
    // errno first: looking up the lockdown makes system calls of its own.
    const int error = errno;
    whyNot = "ioperm: " + describePortError(error, kernelLockdown(sysRoot));
#else
    whyNot = "ioperm: este procesador no tiene puertos de E/S propios";
#endif
    return nullptr;
}

std::unique_ptr<DirectPort> DirectPort::openDevPort(const std::string &path, std::string &whyNot,
                                                    const std::string &sysRoot)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0)
        return std::unique_ptr<DirectPort>(new DirectPort(fd));
    const int error = errno;
    whyNot = path + ": " + describePortError(error, kernelLockdown(sysRoot));
    return nullptr;
}

DirectPort::DirectPort(int devPort)
    : m_devPort(devPort)
{}

DirectPort::~DirectPort()
{
    if (m_devPort >= 0)
        ::close(m_devPort);
}

PortValue DirectPort::read(std::uint16_t address)
{
#ifdef VELMORA_HAS_IOPERM
    if (m_devPort < 0)
        return inb(address);
#endif
    unsigned char byte = 0;
    const ssize_t got = ::pread(m_devPort, &byte, 1, address);
    if (got != 1)
        fail(PortError::Access::Read, address, got < 0 ? errno : EIO);
    return byte;
}

void DirectPort::write(std::uint16_t address, PortValue value)
{
    const auto byte = static_cast<unsigned char>(value & 0xFF);
#ifdef VELMORA_HAS_IOPERM
    if (m_devPort < 0) {
        outb(byte, address);
        return;
    }
#endif
    const ssize_t put = ::pwrite(m_devPort, &byte, 1, address);
    if (put != 1)
        fail(PortError::Access::Write, address, put < 0 ? errno : EIO);
}

} // namespace port
