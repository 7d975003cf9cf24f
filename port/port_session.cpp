#include "port_session.h"

#include "connector.h"
#include "port_error.h"
#include "simulated_port.h"

#include <utility>

namespace port {

struct SessionState
{
    Opener opener;
    Fallback fallback = Fallback::Fail;
    NoticeSink notices;
    std::unique_ptr<PortDriver> driver;
    std::string whyNot;
    std::string remedy;
    Advisor advisor;
    int actions = 0;

    PortDriver *open(PortError::Access access, std::uint16_t address)
    {
        if (driver || !opener)
            return driver.get();
        Opened opened = std::exchange(opener, nullptr)(notices);
        driver = std::move(opened.driver);
        whyNot = std::move(opened.whyNot);
        remedy = std::move(opened.remedy);
        if (!driver && fallback == Fallback::Simulated) {
            driver = std::make_unique<SimulatedPort>();
            if (notices)
                notices(simulatedPortNotice(
                    explained(PortError(access, address, {whyNot, remedy, 0}), advisor)));
        }
        return driver.get();
    }

    PortDriver &reach(PortError::Access access, std::uint16_t address)
    {
        if (PortDriver *opened = open(access, address))
            return *opened;
        throw PortError(access, address, {whyNot, remedy, 0});
    }
};

Action::Action(SessionState *state)
    : m_state(state)
{
    ++m_state->actions;
}

Action::Action(Action &&other) noexcept
    : m_state(std::exchange(other.m_state, nullptr))
{}

Action::~Action()
{
    if (m_state && --m_state->actions == 0 && m_state->driver)
        m_state->driver->endAction();
}

Session::Session(Opener opener, Fallback fallback, NoticeSink notices)
    : m_state(std::make_unique<SessionState>())
{
    m_state->opener = std::move(opener);
    m_state->fallback = fallback;
    m_state->notices = std::move(notices);
}

Session::Session(std::unique_ptr<PortDriver> driver)
    : m_state(std::make_unique<SessionState>())
{
    m_state->driver = std::move(driver);
}

Session::~Session() = default;
Session::Session(Session &&) noexcept = default;
Session &Session::operator=(Session &&) noexcept = default;

PortValue Session::read(std::uint16_t address)
{
    const Action action = beginAction();
    return m_state->reach(PortError::Access::Read, address).read(address);
}

void Session::write(std::uint16_t address, PortValue value)
{
    const Action action = beginAction();
    m_state->reach(PortError::Access::Write, address).write(address, value);
}

Action Session::beginAction()
{
    return Action(m_state.get());
}

PortDriver *Session::openNow()
{
    return m_state->open(PortError::Access::Read, FirstPortBase);
}

PortDriver *Session::driver() const
{
    return m_state->driver.get();
}

const std::string &Session::whyNot() const
{
    return m_state->whyNot;
}

void Session::setAdvisor(Advisor advisor)
{
    m_state->advisor = std::move(advisor);
}

PortFailure Session::advice(std::uint16_t address, const PortFailure &driver) const
{
    return m_state->advisor ? m_state->advisor(address, driver) : driver;
}

std::string Session::explain(const PortError &error) const
{
    return explained(error, m_state->advisor);
}

std::string simulatedPortNotice(const std::string &failure)
{
    return failure
           + "\n\nNo hay ningún camino real a los puertos de este equipo: mientras tanto se usa "
             "un puerto paralelo simulado en 378h (888), y lo que envíe no llega a ningún puerto "
             "real.";
}

} // namespace port
