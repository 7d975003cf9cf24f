#pragma once

#include "port_driver.h"
#include "port_error.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace port {

using Clock = std::chrono::steady_clock;

// How long one action of the person at the machine may wait, in all, for a port that another
// program holds.
inline constexpr std::chrono::milliseconds ActionWait{500};

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
    // PPCLAIM, given up after the milliseconds with -EINTR.
    std::function<int(int fd, int milliseconds)> claim;
    // Who holds the port now, as <procRoot>/sys/dev/parport/<name>/devices/active says: "none",
    // "lp0" (the printer driver), "ppdev0" (a program through ppdev); "" when it cannot be read.
    std::function<std::string(const std::string &name)> holder;

    static PpdevCalls system(const std::string &procRoot = "/proc");
};

// One parallel port reached through the kernel's ppdev driver (/dev/parportN), which needs no
// privilege beyond the lp group. It serves the data, status and control registers (base,
// base + 1, base + 2). The device is opened at its first use and kept open; the port is claimed
// for one action (from its first access to endAction) and given back after it, so that other
// programs and the printer driver can use the port between actions.
//
// The kernel's PPCLAIM does not fail when another holds the port: it sleeps, holding the lock
// every ppdev call on every port needs, so the holder could not even give the port back. A claim
// is therefore made only when devices/active says "none", and each PPCLAIM is cut short after
// ClaimSlice by a timer.
//
// What the kernel driver lets through differs from the bare register:
//  - control reads give the driver's copy of bits 0-3 (strobe, autofeed, init, select), and
//    writes of bits 4, 6 and 7 are dropped; bit 5, the data direction, is passed to the driver
//    as PPDATADIR and read back from what was last set;
//  - the control lines are this program's own: each claim restores the claimant's last control
//    register, and a device freshly opened starts from 0Ch. Data and status are shared;
//  - writes to the status register are ignored, as the hardware ignores them.
class PpdevPort : public PortDriver
{
public:
    static constexpr int ClaimSliceMs = 30;

    PpdevPort(Parport port, PpdevCalls calls = PpdevCalls::system());
    ~PpdevPort() override;
    PpdevPort(const PpdevPort &) = delete;
    PpdevPort &operator=(const PpdevPort &) = delete;

    const Parport &port() const { return m_port; }
    bool covers(std::uint16_t address) const;

    // Claims the port for the action unless it is claimed already, waiting for another holder
    // until the action's deadline; the failure, if it could not be. Once the port was found in
    // use, the rest of the action fails at once.
    std::optional<PortFailure> claim();

    // Throw PortError when the port cannot be claimed or the driver refuses the access.
    PortValue read(std::uint16_t address) override;
    void write(std::uint16_t address, PortValue value) override;
    // Gives the port back; the device stays open for the next action.
    void endAction() override;

private:
    enum class Attempt { Claimed, InUse, Failed };

    void closeDevice();
    Attempt claimOnce(PortFailure &failure);
    void claimOrThrow(PortError::Access access, std::uint16_t address);
    void call(PortError::Access access, std::uint16_t address, unsigned long request,
              void *argument);
    PortFailure inUse() const;

    Parport m_port;
    PpdevCalls m_calls;
    int m_fd = -1;
    bool m_claimed = false;
    std::optional<Clock::time_point> m_deadline;
    std::optional<PortFailure> m_inUse;
    // What this program last set, put back when a device reopened after a claim given up is
    // claimed, since a fresh device starts from 0Ch.
    bool m_reverse = false;
    std::optional<unsigned char> m_control;
    bool m_restore = false;
};

// What went wrong opening or claiming a ppdev device, and what to do about it.
PortFailure describePpdevFailure(const Parport &port, int error, bool opening);

// The program that devices/active names, in Spanish: "el controlador de impresora (lp0)".
std::string holderText(const std::string &holder);

} // namespace port
