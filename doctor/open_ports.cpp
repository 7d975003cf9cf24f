#include "doctor.h"

#include <utility>

namespace doctor {

port::Session openPorts(port::Fallback fallback, port::NoticeSink notices)
{
    port::Session session = port::open(fallback, std::move(notices));
    session.setAdvisor([](std::uint16_t address, const port::PortFailure &driver) {
        return adviceFor(address, driver);
    });
    return session;
}

} // namespace doctor
