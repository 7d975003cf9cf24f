#include "routing_port.h"

#include "direct_port.h"

#include <cerrno>
#include <unistd.h>

namespace port {

const char *routeName(Route route)
{
    switch (route) {
    case Route::Ppdev:
        return "ppdev";
    case Route::Direct:
        return "directo";
    case Route::Helper:
        return "ayudante";
    case Route::None:
        return "ninguno";
    }
    return "?";
}

std::unique_ptr<RoutingPort> RoutingPort::open(PortSystem system, std::string &whyNot,
                                               const NoticeSink &notices)
{
    if (!system.ppdev.open)
        system.ppdev = PpdevCalls::system(system.procRoot);
    if (!system.openDirect) {
        system.openDirect = [devPort = system.devRoot + "/port",
                             sysRoot = system.sysRoot](std::string &why) {
            return std::unique_ptr<PortDriver>(DirectPort::open(why, devPort, sysRoot));
        };
    }
    if (!system.startHelper) {
        system.startHelper = [](const std::string &lockdown, PortFailure &why) {
            return std::unique_ptr<PortDriver>(
                HelperPort::start(HelperPort::defaultPaths(), lockdown, why));
        };
    }
    const std::string lockdown = kernelLockdown(system.sysRoot);
    std::unique_ptr<RoutingPort> routing(new RoutingPort(std::move(system), lockdown));
    const PortSystem &s = routing->m_system;

    routing->lookUpPorts();
    routing->m_direct = s.openDirect(routing->m_whyNoDirect);
    if (!routing->m_direct) {
        // The helper cannot say why it leaves the administrator's file aside: say it here.
        const portio::AdminFile admin = portio::readAdminFile(s.adminFile, s.sysRoot);
        if (admin.present && !admin.honoured && notices)
            notices("No se tiene en cuenta " + admin.path + ": " + admin.whyIgnored
                    + ". velmora-portio solo sirve los bloques de puerto paralelo "
                      "estándar.\n\n"
                    + admin.remedy);
    }
    if (!routing->m_parports.empty() || routing->m_direct)
        return routing;

    // Without a known port every access needs raw I/O, the first one included: the helper is
    // wanted now.
    PortFailure whyNoHelper;
    if (routing->helper(whyNoHelper))
        return routing;

    whyNot = "el núcleo no conoce ningún puerto paralelo (" + s.procRoot
             + "/sys/dev/parport no lista ninguno); " + routing->m_whyNoDirect + "; "
             + whyNoHelper.reason;
    if (!lockdown.empty())
        whyNot += "; el núcleo está bloqueado (lockdown «" + lockdown + "»)";
    return nullptr;
}

RoutingPort::RoutingPort(PortSystem system, std::string lockdown)
    : m_system(std::move(system))
    , m_lockdown(std::move(lockdown))
{}

// The kernel's ports as they are now. A port that stays keeps its open device (and with it the
// control lines this program set); one that is gone is closed. A list that cannot be read leaves
// the last one in place: the kernel's ports are not handed to the helper for it.
void RoutingPort::lookUpPorts()
{
    int error = 0;
    std::vector<portio::KernelPort> now = portio::kernelPorts(m_system.procRoot, &error);
    if (error || (now == m_kernelPorts && m_parports.size() == now.size()))
        return;
    std::vector<std::unique_ptr<PpdevPort>> kept;
    for (const portio::KernelPort &port : now) {
        const Parport wanted{port.name, port.base, m_system.devRoot + "/" + port.name};
        std::unique_ptr<PpdevPort> device;
        for (auto &old : m_parports)
            if (old && old->port() == wanted)
                device = std::move(old);
        kept.push_back(device ? std::move(device)
                              : std::make_unique<PpdevPort>(wanted, m_system.ppdev));
    }
    m_parports = std::move(kept);
    m_kernelPorts = std::move(now);
}

void RoutingPort::beginAction()
{
    if (m_inAction)
        return;
    m_inAction = true;
    lookUpPorts();
    // A helper started before the kernel bound a port would serve that port raw: a new one
    // reads the kernel's ports again.
    if (m_helper && m_helperPorts != m_kernelPorts)
        m_helper.reset();
}

void RoutingPort::endAction()
{
    for (auto &port : m_parports)
        port->endAction();
    m_inAction = false;
}

PortDriver *RoutingPort::helper(PortFailure &whyNot)
{
    if (!m_helper) {
        m_helperPorts = m_kernelPorts;
        m_helper = m_system.startHelper(m_lockdown, whyNot);
    }
    return m_helper.get();
}

std::string RoutingPort::knownPortsText() const
{
    std::string text;
    for (const auto &port : m_parports) {
        const Parport &p = port->port();
        text += (text.empty() ? "" : ", ")
                + portio::blockText({p.base, static_cast<std::uint16_t>(p.base + 2)}) + " en "
                + p.device;
    }
    return text;
}

RoutingPort::Resolved RoutingPort::resolve(PortError::Access access, std::uint16_t address)
{
    beginAction();
    for (auto &port : m_parports) {
        if (!port->covers(address))
            continue;
        const auto failure = port->claim();
        if (!failure)
            return {port.get(), Route::Ppdev};
        // Root reaches the bare registers only where ppdev is missing altogether, never past a
        // port that another program holds.
        if (m_direct && failure->error == ENOENT)
            return {m_direct.get(), Route::Direct};
        throw PortError(access, address, *failure);
    }
    if (m_direct)
        return {m_direct.get(), Route::Direct};
    const portio::Policy policy(m_kernelPorts, {});
    if (const portio::KernelPort *owner = policy.owner(address))
        throw PortError(access, address, kernelOwnedFailure(*owner));
    PortFailure whyNoHelper;
    if (PortDriver *raw = helper(whyNoHelper))
        return {raw, Route::Helper};
    const std::string known = knownPortsText();
    throw PortError(access, address,
                    {(known.empty() ? std::string()
                                    : "la dirección no es de ningún puerto que conozca el núcleo ("
                                          + known + ") y ")
                         + whyNoHelper.reason,
                     whyNoHelper.remedy, whyNoHelper.error});
}

bool RoutingPort::throughPpdev(std::uint16_t address)
{
    lookUpPorts();
    for (const auto &port : m_parports)
        if (port->covers(address))
            return !m_direct || ::access(port->port().device.c_str(), F_OK) == 0;
    return false;
}

Route RoutingPort::route(std::uint16_t address)
{
    try {
        return resolve(PortError::Access::Read, address).route;
    } catch (const PortError &) {
        return Route::None;
    }
}

PortValue RoutingPort::read(std::uint16_t address)
{
    return resolve(PortError::Access::Read, address).driver->read(address);
}

void RoutingPort::write(std::uint16_t address, PortValue value)
{
    resolve(PortError::Access::Write, address).driver->write(address, value);
}

} // namespace port
