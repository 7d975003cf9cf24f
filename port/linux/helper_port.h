#pragma once

#include "port_driver.h"
#include "port_error.h"
#include "portio_policy.h"
#include "portio_protocol.h"

#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace port {

// Ports reached through velmora-portio, the small helper that holds CAP_SYS_RAWIO so that Velmora
// itself never needs it. The helper runs as a child process, started without a shell and with an
// empty environment, and talks over a socket pair on its standard input and output. A helper that
// dies is reported as a PortError for the access that found it dead, and started again at the
// next access; one that ended at the end of its life is started again silently.
class HelperPort : public PortDriver
{
public:
    // Where the helper is looked for: where the install puts it and, for a program run from its
    // build tree by a user other than root, beside it.
    static std::vector<std::string> defaultPaths();

    // Starts the first helper on the list that runs and is allowed to reach the ports, or returns
    // nullptr with the reason for each one that was tried and the remedy for the one that came
    // closest. lockdown is the kernel's lockdown mode.
    static std::unique_ptr<HelperPort> start(const std::vector<std::string> &paths,
                                             const std::string &lockdown, PortFailure &whyNot);
    ~HelperPort() override;
    HelperPort(const HelperPort &) = delete;
    HelperPort &operator=(const HelperPort &) = delete;

    PortValue read(std::uint16_t address) override;
    void write(std::uint16_t address, PortValue value) override;

    const std::string &path() const { return m_path; }
    // The running helper's process id, or -1 while none runs.
    pid_t pid() const { return m_pid; }
    // How long a reply may take before the helper is taken for hung and stopped.
    void setReplyTimeout(int milliseconds) { m_replyTimeoutMs = milliseconds; }

private:
    HelperPort(std::string path, std::string lockdown);
    std::optional<PortFailure> launch();
    std::optional<PortFailure> exchange(const portio::Message *request, portio::Message &reply);
    PortFailure stop(const std::string &what);
    PortValue access(PortError::Access access, std::uint16_t address, std::uint8_t value);

    std::string m_path;
    std::string m_lockdown;
    pid_t m_pid = -1;
    int m_socket = -1;
    int m_replyTimeoutMs = 5000;
};

// The commands that give the helper at path its group, mode and capability, leaving it
// root:velmora-port 0750: a capability on a file anyone may run would give everyone the ports.
std::string grantCommands(const std::string &path);

// For a user, the message about a register of a port the kernel owns that ppdev does not serve.
PortFailure kernelOwnedFailure(const portio::KernelPort &port);

// Why the helper refused an address (EACCES), and what an administrator can do about it.
PortFailure helperRefusal(std::uint16_t address, const portio::Policy &policy);

} // namespace port
