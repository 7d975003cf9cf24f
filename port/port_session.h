#pragma once

#include "port_driver.h"
#include "port_error.h"

#include <functional>
#include <memory>
#include <string>

namespace port {

// Receives remarks on the ports, in Spanish, for the person at the machine: why the program runs
// on a simulated port, or that the administrator's helper file is left aside.
using NoticeSink = std::function<void(const std::string &)>;

// What opening the machine's ports gives: a driver, or nullptr with why there is none and what
// would give one (the remedy of the simulated port's notice and of the errors, when the advisor
// has none better).
struct Opened
{
    std::unique_ptr<PortDriver> driver;
    std::string whyNot;
    std::string remedy;
};

// Opens the machine's ports, saying any remark to the sink.
using Opener = std::function<Opened(const NoticeSink &notices)>;

// What a session does when the machine has no real path to its ports at all: the window goes on
// on a simulated port after one notice; a script never takes a made-up value for a real one.
enum class Fallback { Simulated, Fail };

struct SessionState;

// One action of the person at the machine: a click, the refresh a keystroke runs, one command, a
// whole pulse train. A port shared with other programs is claimed at the action's first access
// and given back when the last Action of its session ends, so that others can use it between
// actions. Actions nest; an access made outside any is an action of its own.
class [[nodiscard]] Action
{
public:
    ~Action();
    Action(Action &&other) noexcept;
    Action &operator=(Action &&) = delete;
    Action(const Action &) = delete;
    Action &operator=(const Action &) = delete;

private:
    friend class Session;
    explicit Action(SessionState *state);
    SessionState *m_state;
};

// The ports of one program run or one command. The driver is opened at the first access (the
// window's first refresh), not when the session is made, unless openNow() asks for it.
//
// read and write throw PortError when the machine has some real path to its ports but none
// reaches this address, or the path that should reach it fails (no permission, port held by
// another driver, helper gone); with Fallback::Fail, also when there is no real path at all. Its
// what() is the Spanish message for the person at the machine. Nothing is read or written then.
class Session
{
public:
    Session(Opener opener, Fallback fallback, NoticeSink notices = {});
    // A driver handed straight in: the command line's simulated port, a test's port.
    explicit Session(std::unique_ptr<PortDriver> driver);
    ~Session();
    Session(Session &&) noexcept;
    Session &operator=(Session &&) noexcept;

    PortValue read(std::uint16_t address);
    void write(std::uint16_t address, PortValue value);
    Action beginAction();

    // Opens the ports now: the driver, or nullptr (Fallback::Fail) with whyNot() saying why.
    PortDriver *openNow();
    // The driver in use, or nullptr before the first access.
    PortDriver *driver() const;
    const std::string &whyNot() const;

    // The port doctor, for the simulated port's notice and for explain; without one the driver's
    // reason is said.
    void setAdvisor(Advisor advisor);
    // The advisor's word on an access to address that failed as driver says, asked now.
    PortFailure advice(std::uint16_t address, const PortFailure &driver) const;
    // An error's message for the person at the machine: explained with the advisor, asked once.
    std::string explain(const PortError &error) const;

private:
    std::unique_ptr<SessionState> m_state;
};

// The machine's own ports: each system's library defines it (port/linux, port/windows).
Session open(Fallback fallback, NoticeSink notices);

// What the start-up and the command line open their session with: open, or a test's own ports.
using SessionOpener = std::function<Session(Fallback fallback, NoticeSink notices)>;

// The notice of a machine without port access: the failure of the access that opened the ports,
// explained, and that a simulated port stands in.
std::string simulatedPortNotice(const std::string &failure);

} // namespace port
