#pragma once

#include "connector.h"
#include "port_driver.h"
#include "port_error.h"

#include <functional>
#include <memory>
#include <string>

// The program's own parallel port: the data register of the first port, 0x378. Despite its name
// it is the data register, not the status register (379h): the display shows the pins 2-9.
inline constexpr PortAddress StatusPort = port::FirstPortBase;

// Every hardware access of the program goes through these two calls. The port driver is chosen
// at the first call, not at start-up: on Linux a routing driver (routing_port.h) that serves each
// address by ppdev, direct access or the helper velmora-portio; on Windows the port I/O library
// (windows_port.h). With no real path at all, a simulated port (simulated_port.h) after a notice.
//
// Both throw port::PortError when the machine has some real path to its ports but none reaches
// this address, or the path that should reach it fails (no permission, port held by another
// driver, helper gone). Its what() is the Spanish message for the person at the machine. Nothing
// is read or written then: a failed Inp32 returns no value.
PortValue Inp32(PortAddress address);
void Out32(PortAddress address, PortValue value);

namespace port {

// One action of the person at the machine: a click, or the refresh a keystroke runs. A port
// shared with other programs is claimed at the action's first access and given back when the
// last PortAction ends, so that others can use it between actions. Actions nest; an access made
// outside any is an action of its own.
class PortAction
{
public:
    PortAction();
    ~PortAction();
    PortAction(const PortAction &) = delete;
    PortAction &operator=(const PortAction &) = delete;
};

// Replaces the driver that Inp32 and Out32 use. Tests install a simulated port before anything
// calls them, so that no test can reach the machine's ports.
void installDriver(std::unique_ptr<PortDriver> driver);

// The driver in use, or nullptr before the first call.
PortDriver *currentDriver();

// How the first call gets hold of the hardware: a driver, or nullptr with the reason filled in,
// after which a simulated port is used. Replaceable so that the fall-back can be tested without
// reaching for the machine's ports.
using HardwareOpener = std::function<std::unique_ptr<PortDriver>(std::string &whyNot)>;
void setHardwareOpener(HardwareOpener opener);

// Receives, once, the explanation (in Spanish) of why the program runs on a simulated port. A
// notice raised before a handler was set is delivered when the handler is set.
void setNoticeHandler(std::function<void(const std::string &)> handler);

// The text of that notice, for the reason the system gave.
std::string simulatedPortNotice(const std::string &reason);

// Passes a remark on the ports (in Spanish) to the notice handler, or keeps it until one is set.
void raiseNotice(const std::string &text);

} // namespace port
