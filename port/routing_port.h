#pragma once

#include "helper_port.h"
#include "port_driver.h"
#include "port_error.h"
#include "ppdev_port.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace inpout {

// What the routing driver asks of the machine. Every part is replaceable, so that tests run on
// fake /proc, /dev and /sys trees and injected drivers and never reach the real ports.
struct PortSystem
{
    std::string procRoot = "/proc";
    std::string devRoot = "/dev";
    std::string sysRoot = "/sys";
    PpdevCalls ppdev = PpdevCalls::system();
    // Gets ports for a privileged process (root): DirectPort::open on <devRoot>/port by default.
    std::function<std::unique_ptr<PortDriver>(std::string &whyNot)> openDirect;
    // Starts the helper: HelperPort::start on HelperPort::defaultPaths() by default.
    std::function<std::unique_ptr<PortDriver>(const std::string &lockdown, PortFailure &whyNot)>
        startHelper;
};

enum class Route { Ppdev, Direct, Helper, None };

// Decides, address by address, which real path serves an access:
//  1. the registers of a parallel port the kernel knows (base, base + 1, base + 2): ppdev;
//  2. anything else, or a known port whose device cannot be opened, in a process that may reach
//     the ports itself (root): ioperm or /dev/port;
//  3. otherwise: the helper velmora-portio, started at the first such access;
//  4. otherwise: a PortError naming what was tried and what to do.
// Simulated values never mix with real ones: a machine with no real path at all gets no routing
// driver (open returns nullptr) and the caller falls back to the simulated port.
class RoutingPort : public PortDriver
{
public:
    static std::unique_ptr<RoutingPort> open(PortSystem system, std::string &whyNot);

    // Which path an access to the address takes now: it may claim a ppdev port or start the
    // helper to find out, but reads or writes no port.
    Route route(std::uint16_t address);

    PortValue read(std::uint16_t address) override;
    void write(std::uint16_t address, PortValue value) override;

    const std::vector<std::unique_ptr<PpdevPort>> &parports() const { return m_parports; }

private:
    struct Resolved
    {
        PortDriver *driver;
        Route route;
    };

    RoutingPort(PortSystem system, std::string lockdown);
    Resolved resolve(PortError::Access access, std::uint16_t address);
    PortDriver *helper(PortFailure &whyNot);
    std::string knownPortsText() const;

    PortSystem m_system;
    std::string m_lockdown;
    std::vector<std::unique_ptr<PpdevPort>> m_parports;
    std::vector<bool> m_parportBypassed; // ppdev failed and a raw path took over
    std::unique_ptr<PortDriver> m_direct;
    std::string m_whyNoDirect;
    std::unique_ptr<PortDriver> m_helper;
};

const char *routeName(Route route);

} // namespace inpout
