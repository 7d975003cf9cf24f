#include "routing_port.h"

#include "direct_port.h"

#include <cstdio>

namespace inpout {

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

std::unique_ptr<RoutingPort> RoutingPort::open(PortSystem system, std::string &whyNot)
{
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

    for (Parport &port : discoverParports(s.procRoot, s.devRoot))
        routing->m_parports.push_back(std::make_unique<PpdevPort>(std::move(port), s.ppdev));
    routing->m_parportBypassed.assign(routing->m_parports.size(), false);
    routing->m_direct = s.openDirect(routing->m_whyNoDirect);
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

PortDriver *RoutingPort::helper(PortFailure &whyNot)
{
    if (!m_helper)
        m_helper = m_system.startHelper(m_lockdown, whyNot);
    return m_helper.get();
}

std::string RoutingPort::knownPortsText() const
{
    std::string text;
    for (std::size_t i = 0; i < m_parports.size(); ++i) {
        const Parport &port = m_parports[i]->port();
        char range[32];
        std::snprintf(range, sizeof range, "%Xh-%Xh", static_cast<unsigned>(port.base),
                      static_cast<unsigned>(port.base + 2));
        text += (i ? ", " : "") + std::string(range) + " en " + port.device;
    }
    return text;
}

RoutingPort::Resolved RoutingPort::resolve(PortError::Access access, std::uint16_t address)
{
    std::optional<PortFailure> ppdevFailure;
    std::size_t covering = m_parports.size();
    for (std::size_t i = 0; i < m_parports.size(); ++i) {
        if (!m_parports[i]->covers(address))
            continue;
        covering = i;
        if (!m_parportBypassed[i]) {
            ppdevFailure = m_parports[i]->claim();
            if (!ppdevFailure)
                return {m_parports[i].get(), Route::Ppdev};
        }
        break;
    }
    // Once a raw path has stood in for a port that ppdev could not open, it keeps doing so, so
    // that one port is not served by two paths in turn.
    const auto bypass = [&] {
        if (covering < m_parports.size())
            m_parportBypassed[covering] = true;
    };
    if (m_direct) {
        bypass();
        return {m_direct.get(), Route::Direct};
    }
    PortFailure whyNoHelper;
    if (PortDriver *raw = helper(whyNoHelper)) {
        bypass();
        return {raw, Route::Helper};
    }
    if (ppdevFailure) {
        ppdevFailure->reason += "; tampoco hay otro camino: " + whyNoHelper.reason;
        throw PortError(access, address, *ppdevFailure);
    }
    throw PortError(access, address,
                    {"la dirección no es de ningún puerto que conozca el núcleo ("
                         + knownPortsText() + ") y " + whyNoHelper.reason,
                     whyNoHelper.remedy, whyNoHelper.error});
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

} // namespace inpout
