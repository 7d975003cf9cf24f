#include "ppdev_port.h"

#include "connector.h"
#include "portio_policy.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <map>
#include <memory>
#include <pthread.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace port {

namespace {

constexpr unsigned char ControlLines = 0x0F; // strobe, autofeed, init, select
constexpr auto HolderPoll = std::chrono::milliseconds(20);

int claimTimeoutSignal()
{
    return SIGRTMIN + 5;
}

void interruptOnly(int) {}

// PPCLAIM with a timer aimed at this thread alone (the program has other threads), repeating so
// that a signal that lands just before the ioctl starts to sleep is followed by another. Each
// thread makes its timer once and only arms and disarms it per claim.
int claimWithin(int fd, int milliseconds)
{
    static const bool handled = [] {
        struct sigaction action
        {};
        action.sa_handler = interruptOnly;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART: PPCLAIM must come back with EINTR
        return ::sigaction(claimTimeoutSignal(), &action, nullptr) == 0;
    }();
    if (!handled)
        return -ENOTSUP;
    thread_local timer_t timer{};
    thread_local int made = 0; // 1 made, -errno when it could not be
    if (made == 0) {
        sigevent event{};
        event.sigev_notify = SIGEV_THREAD_ID;
        event.sigev_signo = claimTimeoutSignal();
        event._sigev_un._tid = ::gettid(); // sigev_notify_thread_id, which this glibc does not name
        made = ::timer_create(CLOCK_MONOTONIC, &event, &timer) == 0 ? 1 : -errno;
        sigset_t wanted;
        sigemptyset(&wanted);
        sigaddset(&wanted, claimTimeoutSignal());
        ::pthread_sigmask(SIG_UNBLOCK, &wanted, nullptr);
    }
    if (made < 0)
        return made;
    if (milliseconds <= 0)
        return -EINVAL;
    itimerspec when{};
    when.it_value.tv_sec = milliseconds / 1000;
    when.it_value.tv_nsec = long(milliseconds % 1000) * 1000000L;
    when.it_interval.tv_nsec = 10 * 1000000L;
    // Never a PPCLAIM without its timer: that is the sleep this is all about.
    if (::timer_settime(timer, 0, &when, nullptr) != 0)
        return -errno;
    const int result = ::ioctl(fd, PPCLAIM) == 0 ? 0 : -errno;
    const itimerspec off{};
    ::timer_settime(timer, 0, &off, nullptr);
    return result;
}

// devices/active, kept open and read again from its start: the kernel writes it anew at each
// read, and looking its path up each time costs more than the claim itself.
class HolderFile
{
public:
    explicit HolderFile(std::string path)
        : m_path(std::move(path))
    {}
    ~HolderFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    HolderFile(const HolderFile &) = delete;
    HolderFile &operator=(const HolderFile &) = delete;

    std::string read()
    {
        if (m_fd < 0)
            m_fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
        char name[64];
        const ssize_t got = m_fd < 0 ? -1 : ::pread(m_fd, name, sizeof name - 1, 0);
        if (got <= 0) {
            // A port that went away takes its file with it: look the path up again next time.
            if (m_fd >= 0)
                ::close(m_fd);
            m_fd = -1;
            return {};
        }
        std::string text(name, std::size_t(got));
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        return text;
    }

private:
    std::string m_path;
    int m_fd = -1;
};

bool portGone(int error)
{
    return error == ENODEV || error == ENXIO;
}

} // namespace

std::vector<Parport> discoverParports(const std::string &procRoot, const std::string &devRoot)
{
    std::vector<Parport> ports;
    for (const portio::KernelPort &port : portio::kernelPorts(procRoot))
        ports.push_back({port.name, port.base, devRoot + "/" + port.name});
    return ports;
}

PpdevCalls PpdevCalls::system(const std::string &procRoot)
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
        claimWithin,
        [procRoot, files = std::make_shared<std::map<std::string, std::unique_ptr<HolderFile>>>()](
            const std::string &name) {
            auto &file = (*files)[name];
            if (!file)
                file = std::make_unique<HolderFile>(procRoot + "/sys/dev/parport/" + name
                                                    + "/devices/active");
            return file->read();
        },
    };
}

std::string holderText(const std::string &holder)
{
    if (holder.rfind("lp", 0) == 0)
        return "el controlador de impresora del núcleo (" + holder + ")";
    if (holder.rfind("ppdev", 0) == 0)
        return "otro programa, a través de ppdev (" + holder + ")";
    return holder.empty() || holder == "none" ? "otro programa" : "«" + holder + "»";
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
    case ENXIO:
    case ENODEV:
        return {what + ": el puerto ya no está (¿se ha quitado la tarjeta o el adaptador?)" + code,
                "Vuelva a conectarlo y repita la acción: el puerto se busca de nuevo.", error};
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
    closeDevice();
}

void PpdevPort::closeDevice()
{
    if (m_fd < 0)
        return;
    if (m_claimed)
        m_calls.ioctl(m_fd, PPRELEASE, nullptr);
    m_calls.close(m_fd);
    m_fd = -1;
    m_claimed = false;
    // The next device starts from 0Ch, forward: what this program set is put back then.
    m_restore = true;
}

bool PpdevPort::covers(std::uint16_t address) const
{
    return address >= m_port.base && address - m_port.base <= 2;
}

PortFailure PpdevPort::inUse() const
{
    return {"el puerto " + m_port.device + " está en uso por "
                + holderText(m_calls.holder(m_port.name)),
            "Espere a que lo deje o ciérrelo, y vuelva a intentarlo.", EBUSY};
}

// One try: the device opened if it is not, and PPCLAIM if nobody holds the port.
PpdevPort::Attempt PpdevPort::claimOnce(PortFailure &failure)
{
    if (m_fd < 0) {
        const int fd = m_calls.open(m_port.device);
        if (fd < 0) {
            failure = describePpdevFailure(m_port, -fd, true);
            return Attempt::Failed;
        }
        m_fd = fd;
    }
    const std::string holder = m_calls.holder(m_port.name);
    if (!holder.empty() && holder != "none")
        return Attempt::InUse;
    const int result = m_calls.claim(m_fd, ClaimSliceMs);
    if (result == -EINTR) {
        // Someone took the port between the look and the claim. The device now waits on the
        // kernel's list, and the holder's release would hand it the port while this program is
        // idle: closing it takes it off the list.
        closeDevice();
        return Attempt::InUse;
    }
    if (result < 0) {
        // ppdev answers ENXIO when it cannot register with the port, which is also what a
        // device that keeps the port for itself (PPEXCL, an exclusive driver) causes: if the
        // kernel still lists the port, that is what happened.
        const std::string holder = m_calls.holder(m_port.name);
        if (result == -ENXIO && !holder.empty())
            failure = {"el puerto " + m_port.device + " lo tiene en exclusiva " + holderText(holder)
                           + " (ENXIO)",
                       "Cierre el programa que lo tiene, o descargue el controlador que lo "
                       "reserva (vea «dmesg»), y vuelva a intentarlo.",
                       ENXIO};
        else
            failure = describePpdevFailure(m_port, -result, false);
        closeDevice();
        return Attempt::Failed;
    }
    m_claimed = true;
    if (m_restore) {
        m_restore = false;
        int direction = m_reverse ? 1 : 0;
        if (m_reverse)
            m_calls.ioctl(m_fd, PPDATADIR, &direction);
        if (m_control) {
            unsigned char lines = *m_control;
            m_calls.ioctl(m_fd, PPWCONTROL, &lines);
        }
    }
    return Attempt::Claimed;
}

std::optional<PortFailure> PpdevPort::claim()
{
    if (m_claimed)
        return std::nullopt;
    if (m_inUse)
        return m_inUse;
    if (!m_deadline)
        m_deadline = Clock::now() + ActionWait;
    for (;;) {
        PortFailure failure;
        switch (claimOnce(failure)) {
        case Attempt::Claimed:
            return std::nullopt;
        case Attempt::Failed:
            return failure;
        case Attempt::InUse:
            break;
        }
        const auto left = *m_deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            m_inUse = inUse();
            return m_inUse;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(left, HolderPoll));
    }
}

void PpdevPort::endAction()
{
    if (m_claimed && m_fd >= 0) {
        m_calls.ioctl(m_fd, PPRELEASE, nullptr);
        m_claimed = false;
    }
    m_deadline.reset();
    m_inUse.reset();
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
    if (result >= 0)
        return;
    const int error = -result;
    if (portGone(error)) {
        // A card or adapter taken away: never read as 0, and found afresh at the next access.
        closeDevice();
        throw PortError(access, address, describePpdevFailure(m_port, error, false));
    }
    throw PortError(access, address,
                    {m_port.device + ": el controlador ppdev rechazó el acceso: "
                         + std::strerror(error) + " (" + errnoName(error) + ")",
                     "Vuelva a intentarlo; si se repite, descargue y vuelva a cargar el "
                     "módulo ppdev.",
                     error});
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
        m_control = lines;
        break;
    }
    }
}

} // namespace port
