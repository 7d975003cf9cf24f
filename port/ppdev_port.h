#pragma once

#include "port_driver.h"
#include "port_error.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace inpout {

// A parallel port the kernel knows of: its name ("parport0"), base address and device file.
struct Parport
{
    std::string name;
    std::uint16_t base = 0;
    std::string device;

    bool operator==(const Parport &) const = default;
};

// The ports listed under <procRoot>/sys/dev/parport/*/base-addr, by base address. A port whose
// base is 0 (a USB adapter) has no I/O address and is left out.
std::vector<Parport> discoverParports(const std::string &procRoot = "/proc",
                                      const std::string &devRoot = "/dev");

// The system calls the ppdev driver makes, replaceable in tests. Each returns the result, or
// -errno on failure.
struct PpdevCalls
{
    std::function<int(const std::string &path)> open;
    std::function<int(int fd, unsigned long request, void *argument)> ioctl;
    std::function<void(int fd)> close;

    static PpdevCalls system();
};

// One parallel port reached through the kernel's ppdev driver (/dev/parportN), which needs no
// privilege beyond the lp group. It serves the data, status and control registers (base,
// base + 1, base + 2). The port is opened and claimed at its first use and kept claimed.
// What the kernel driver lets through differs from the bare register in two ways:
//  - control reads give the driver's cached copy of bits 0-3 (strobe, autofeed, init, select),
//    and writes of bits 4, 6 and 7 are dropped; bit 5, the data direction, is passed to the
//    driver as PPDATADIR and read back from what was last set;
//  - writes to the status register are ignored, as the hardware ignores them.
class PpdevPort : public PortDriver
{
public:
    PpdevPort(Parport port, PpdevCalls calls = PpdevCalls::system());
    ~PpdevPort() override;
    PpdevPort(const PpdevPort &) = delete;
    PpdevPort &operator=(const PpdevPort &) = delete;

    const Parport &port() const { return m_port; }
    bool covers(std::uint16_t address) const;

    // Opens and claims the port if that has not been done; the failure, if it could not be.
    std::optional<PortFailure> claim();
    bool claimed() const { return m_fd >= 0; }

    // Throw PortError when the port cannot be claimed or the driver refuses the access.
    PortValue read(std::uint16_t address) override;
    void write(std::uint16_t address, PortValue value) override;

private:
    void claimOrThrow(PortError::Access access, std::uint16_t address);
    void call(PortError::Access access, std::uint16_t address, unsigned long request,
              void *argument);

    Parport m_port;
    PpdevCalls m_calls;
    int m_fd = -1;
    bool m_reverse = false;
};

// What went wrong opening or claiming a ppdev device, and what to do about it.
PortFailure describePpdevFailure(const Parport &port, int error, bool opening);

} // namespace inpout
