#pragma once

#include "helper_port.h"
#include "port_driver.h"
#include "port_error.h"
#include "port_session.h"
#include "portio_policy.h"
#include "ppdev_port.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace port {

// What the routing driver asks of the machine. Every part is replaceable, so that tests run on
// fake /proc, /dev and /sys trees and injected drivers and never reach the real ports.
struct PortSystem
{
    std::string procRoot = "/proc";
    std::string devRoot = "/dev";
    std::string sysRoot = "/sys";
    std::string adminFile = portio::AdminFilePath;
    // PpdevCalls::system(procRoot) when left empty.
    PpdevCalls ppdev;
    // Gets ports for a privileged process (root): DirectPort::open on <devRoot>/port by default.
    std::function<std::unique_ptr<PortDriver>(std::string &whyNot)> openDirect;
    // Starts the helper: HelperPort::start on HelperPort::defaultPaths() by default.
    std::function<std::unique_ptr<PortDriver>(const std::string &lockdown, PortFailure &whyNot)>
        startHelper;
};

// What gives this system real ports, for the notice of a machine that has none.
inline constexpr const char *RealPortsRemedy =
    "Para trabajar con el puerto real: cargue el módulo ppdev (sudo modprobe ppdev) y añada su "
    "usuario al grupo lp, para los puertos que conoce el núcleo; o instale Velmora con su "
    "ayudante velmora-portio y añada su usuario al grupo velmora-port, para los registros de "
    "puerto paralelo que el núcleo no controla. Como root se llega a todas las direcciones, salvo "
    "con el núcleo bloqueado (lockdown).";

enum class Route { Ppdev, Direct, Helper, None };

// Decides, address by address, which real path serves an access:
//  1. the data, status and control registers of a parallel port the kernel knows: ppdev, claimed
//     for the action and given back at its end; root goes direct only when ppdev is not loaded;
//  2. anything else in a process that may reach the ports itself (root): ioperm or /dev/port;
//  3. the kernel's port's other registers (base + 3 to + 7, its ECP block): nothing, for a user;
//  4. otherwise: the helper velmora-portio, started at the first such access, which serves
//     parallel-port registers only (portio_policy.h);
//  5. otherwise: a PortError naming what was tried and what to do.
// The kernel's ports are looked up afresh at each action: a card taken away is found gone, and a
// port the kernel binds later is never served raw, since the helper started before it is replaced.
// Simulated values never mix with real ones: a machine with no real path at all gets no routing
// driver (open returns nullptr) and the caller falls back to the simulated port.
class RoutingPort : public PortDriver
{
public:
    // Remarks on the way (the administrator's file left aside) go to notices.
    static std::unique_ptr<RoutingPort> open(PortSystem system, std::string &whyNot,
                                             const NoticeSink &notices = {});

    // Which path an access to the address takes now: it may claim a ppdev port or start the
    // helper to find out, but reads or writes no port.
    Route route(std::uint16_t address);

    // Whether an access to the address would go through ppdev, found without claiming anything:
    // there the control lines read back are this process's own.
    bool throughPpdev(std::uint16_t address);

    PortValue read(std::uint16_t address) override;
    void write(std::uint16_t address, PortValue value) override;
    void endAction() override;

    const std::vector<std::unique_ptr<PpdevPort>> &parports() const { return m_parports; }
    bool privileged() const { return m_direct != nullptr; }

private:
    struct Resolved
    {
        PortDriver *driver;
        Route route;
    };

    RoutingPort(PortSystem system, std::string lockdown);
    void beginAction();
    void lookUpPorts();
    Resolved resolve(PortError::Access access, std::uint16_t address);
    PortDriver *helper(PortFailure &whyNot);
    std::string knownPortsText() const;

    PortSystem m_system;
    std::string m_lockdown;
    bool m_inAction = false;
    std::vector<portio::KernelPort> m_kernelPorts;
    std::vector<std::unique_ptr<PpdevPort>> m_parports;
    std::unique_ptr<PortDriver> m_direct;
    std::string m_whyNoDirect;
    std::unique_ptr<PortDriver> m_helper;
    std::vector<portio::KernelPort> m_helperPorts; // the kernel's ports when the helper started
};

const char *routeName(Route route);

// The routing driver on the system given, for a session: port::open's, on the machine's own.
Opened openRouting(PortSystem system, const NoticeSink &notices);

} // namespace port
