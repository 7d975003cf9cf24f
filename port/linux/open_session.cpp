#include "port_session.h"
#include "routing_port.h"

namespace port {

Session open(Fallback fallback, NoticeSink notices)
{
    return Session(
        [](const NoticeSink &sink) {
            Opened opened;
            opened.driver = RoutingPort::open(PortSystem{}, opened.whyNot, sink);
            opened.remedy = RealPortsRemedy;
            return opened;
        },
        fallback, std::move(notices));
}

} // namespace port
