#pragma once

#include "port_driver.h"

#include <memory>
#include <string>

namespace port {

// Direct access to the machine's I/O ports, for a process with the privilege to do so (root or
// CAP_SYS_RAWIO): ioperm with inb/outb on x86, /dev/port elsewhere. Any 16-bit address is reached;
// a write sends the low 8 bits of the value, since the ports are a byte wide.
class DirectPort : public PortDriver
{
public:
    // Gets hold of the ports (ioperm first, then the /dev/port file at devPort), or returns
    // nullptr and fills whyNot with the system's reason, in Spanish, for each way that was tried.
    static std::unique_ptr<DirectPort> open(std::string &whyNot,
                                            const std::string &devPort = "/dev/port",
                                            const std::string &sysRoot = "/sys");
    static std::unique_ptr<DirectPort> openIoperm(std::string &whyNot,
                                                  const std::string &sysRoot = "/sys");
    // The file is read and written at the port's address as offset, as the kernel's /dev/port is.
    static std::unique_ptr<DirectPort> openDevPort(const std::string &path, std::string &whyNot,
                                                   const std::string &sysRoot = "/sys");
    ~DirectPort() override;

    PortValue read(std::uint16_t address) override;
    void write(std::uint16_t address, PortValue value) override;

    bool usesIoperm() const { return m_devPort < 0; }

private:
    explicit DirectPort(int devPort);

    int m_devPort; // -1 when ioperm gave access
};

// The system's reason, in Spanish, for an errno of ioperm or of opening /dev/port; it also names a
// kernel lockdown, which is what EPERM means for root on a locked-down kernel.
std::string describePortError(int error, const std::string &lockdown);

// The kernel's lockdown mode ("integrity" or "confidentiality"), or "" when none is in force or
// the kernel has no lockdown at all. sysRoot is where sysfs is mounted.
std::string kernelLockdown(const std::string &sysRoot = "/sys");

} // namespace port
