#include "ppdev_port.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace inpout {

namespace {

constexpr unsigned char ControlLines = 0x0F; // strobe, autofeed, init, select
constexpr unsigned char ControlReverse = 0x20;

} // namespace

std::vector<Parport> discoverParports(const std::string &procRoot, const std::string &devRoot)
{
    namespace fs = std::filesystem;
    std::vector<Parport> ports;
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(procRoot + "/sys/dev/parport", error)) {
        // "888\t0": the base, then the high base used by ECP ports (0 when there is none).
        std::ifstream file(entry.path() / "base-addr");
        long base = 0;
        if (!(file >> base) || base <= 0 || base > 0xFFFD)
            continue;
        const std::string name = entry.path().filename().string();
        ports.push_back({name, static_cast<std::uint16_t>(base), devRoot + "/" + name});
    }
    std::sort(ports.begin(), ports.end(),
              [](const Parport &a, const Parport &b) { return a.base < b.base; });
    return ports;
}

PpdevCalls PpdevCalls::system()
{
    return {
        [](const std::string &path) {
            const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
            return fd >= 0 ? fd : -errno;
        },
        [](int fd, unsigned long request, void *argument) {
            return ::ioctl(fd, request, argument) == 0 ? 0 : -errno;
        },
        [](int fd) { ::close(fd); },
    };
}

PortFailure describePpdevFailure(const Parport &port, int error, bool opening)
{
    const std::string what = (opening ? "no se pudo abrir " : "no se pudo reservar ") + port.device;
    const std::string code = " (" + errnoName(error) + ")";
    switch (error) {
    case EACCES:
    case EPERM:
        return {what + ": su usuario no tiene permiso" + code,
                "Añada su usuario al grupo lp (sudo usermod -aG lp $USER) y vuelva a iniciar la "
                "sesión.",
                error};
    case ENOENT:
        return {what + ": no existe; el módulo ppdev del núcleo no está cargado" + code,
                "Cárguelo con «sudo modprobe ppdev» (y, para que se cargue siempre, añada ppdev a "
                "/etc/modules).",
                error};
    case EBUSY:
    case ENXIO:
    case ENODEV:
        return {what + ": el puerto lo tiene otro controlador, como el de impresora lp" + code,
                "Cierre el programa que usa el puerto o quite el controlador de impresora con "
                "«sudo rmmod lp».",
                error};
    default:
        return {what + ": " + std::strerror(error) + code, "Vuelva a intentarlo.", error};
    }
}

PpdevPort::PpdevPort(Parport port, PpdevCalls calls)
    : m_port(std::move(port))
    , m_calls(std::move(calls))
{}

PpdevPort::~PpdevPort()
{
    if (m_fd >= 0) {
        m_calls.ioctl(m_fd, PPRELEASE, nullptr);
        m_calls.close(m_fd);
    }
}

bool PpdevPort::covers(std::uint16_t address) const
{
    return address >= m_port.base && address - m_port.base <= 2;
}

std::optional<PortFailure> PpdevPort::claim()
{
    if (m_fd >= 0)
        return std::nullopt;
    const int fd = m_calls.open(m_port.device);
    if (fd < 0)
        return describePpdevFailure(m_port, -fd, true);
    // Until PPCLAIM every register ioctl fails with EINVAL.
    const int claimed = m_calls.ioctl(fd, PPCLAIM, nullptr);
    if (claimed < 0) {
        m_calls.close(fd);
        return describePpdevFailure(m_port, -claimed, false);
    }
    m_fd = fd;
    m_reverse = false;
    return std::nullopt;
}

void PpdevPort::claimOrThrow(PortError::Access access, std::uint16_t address)
{
    if (auto failure = claim())
        throw PortError(access, address, *failure);
}

void PpdevPort::call(PortError::Access access, std::uint16_t address, unsigned long request,
                     void *argument)
{
    const int result = m_calls.ioctl(m_fd, request, argument);
    if (result < 0) {
        const int error = -result;
        throw PortError(access, address,
                        {m_port.device + ": el controlador ppdev rechazó el acceso: "
                             + std::strerror(error) + " (" + errnoName(error) + ")",
                         "Vuelva a intentarlo; si se repite, descargue y vuelva a cargar el "
                         "módulo ppdev.",
                         error});
    }
}

PortValue PpdevPort::read(std::uint16_t address)
{
    constexpr auto access = PortError::Access::Read;
    if (!covers(address))
        throw PortError(access, address,
                        {"no es un registro de " + m_port.device, "Use otra dirección.", EINVAL});
    claimOrThrow(access, address);
    unsigned char byte = 0;
    switch (address - m_port.base) {
    case 0:
        call(access, address, PPRDATA, &byte);
        break;
    case 1:
        call(access, address, PPRSTATUS, &byte);
        break;
    default:
        call(access, address, PPRCONTROL, &byte);
        byte = static_cast<unsigned char>((byte & ControlLines) | (m_reverse ? ControlReverse : 0));
        break;
    }
    return byte;
}

void PpdevPort::write(std::uint16_t address, PortValue value)
{
    constexpr auto access = PortError::Access::Write;
    if (!covers(address))
        throw PortError(access, address,
                        {"no es un registro de " + m_port.device, "Use otra dirección.", EINVAL});
    claimOrThrow(access, address);
    unsigned char byte = static_cast<unsigned char>(value & 0xFF);
    switch (address - m_port.base) {
    case 0:
        call(access, address, PPWDATA, &byte);
        break;
    case 1:
        break; // the status register is read-only
    default: {
        const bool reverse = (byte & ControlReverse) != 0;
        if (reverse != m_reverse) {
            int direction = reverse ? 1 : 0;
            call(access, address, PPDATADIR, &direction);
            m_reverse = reverse;
        }
        unsigned char lines = byte & ControlLines;
        call(access, address, PPWCONTROL, &lines);
        break;
    }
    }
}

} // namespace inpout
