#include "port_session.h"
#include "routing_port.h"

namespace port {

Opened openRouting(PortSystem system, const NoticeSink &notices)
{
    Opened opened;
    opened.driver = RoutingPort::open(std::move(system), opened.whyNot, notices);
    opened.remedy = RealPortsRemedy;
    return opened;
}

Session open(Fallback fallback, NoticeSink notices)
{
    return Session([](const NoticeSink &sink) { return openRouting(PortSystem{}, sink); }, fallback,
                   std::move(notices));
}

} // namespace port
