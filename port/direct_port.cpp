#include "direct_port.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define VELMORA_HAS_IOPERM 1
#endif

namespace inpout {

namespace {

constexpr int PortCount = 0x10000;

std::string errnoName(int error)
{
    switch (error) {
    case ENOSYS: return "ENOSYS";
    case EPERM: return "EPERM";
    case EACCES: return "EACCES";
    case ENOENT: return "ENOENT";
    case EINVAL: return "EINVAL";
    case ENXIO: return "ENXIO";
    case ENODEV: return "ENODEV";
    default: return "errno " + std::to_string(error);
    }
}

} // namespace

std::string kernelLockdown()
{
    // The file reads like "none [integrity] confidentiality"; the bracketed word is in force.
    std::ifstream file("/sys/kernel/security/lockdown");
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
    case ENOSYS: text = "el sistema no lo admite"; break;
    case EPERM:
    case EACCES:
        text = lockdown.empty() ? "permiso denegado"
                                : "el núcleo está bloqueado (lockdown «" + lockdown + "») y lo impide";
        break;
    case ENOENT: text = "no existe"; break;
    case ENXIO:
    case ENODEV: text = "no hay dispositivo"; break;
    default: text = std::strerror(error); break;
    }
    return text + " (" + errnoName(error) + ")";
}

std::unique_ptr<DirectPort> DirectPort::open(std::string &whyNot)
{
    const std::string lockdown = kernelLockdown();
    whyNot.clear();
#ifdef VELMORA_HAS_IOPERM
    if (ioperm(0, PortCount, 1) == 0)
        return std::unique_ptr<DirectPort>(new DirectPort(-1));
    whyNot = "ioperm: " + describePortError(errno, lockdown) + "; ";
#endif
    const int fd = ::open("/dev/port", O_RDWR | O_CLOEXEC);
    if (fd >= 0)
        return std::unique_ptr<DirectPort>(new DirectPort(fd));
    whyNot += "/dev/port: " + describePortError(errno, lockdown);
    return nullptr;
}

DirectPort::DirectPort(int devPort)
    : m_devPort(devPort)
{
}

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
    unsigned char byte = 0xFF;
    if (::pread(m_devPort, &byte, 1, address) != 1)
        byte = 0xFF; // what an absent port reads
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
    [[maybe_unused]] const auto written = ::pwrite(m_devPort, &byte, 1, address);
}

} // namespace inpout
