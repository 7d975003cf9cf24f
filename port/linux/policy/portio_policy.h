#pragma once

// Which I/O ports velmora-portio serves to the members of its group. The helper holds
// CAP_SYS_RAWIO, and nearly everything on a PC's I/O bus is dangerous to an ordinary user (the
// CMOS clock, the keyboard controller's reset line, PCI configuration, DMA), so it serves
// parallel-port registers only:
//  - the standard blocks 278h-27Fh, 378h-37Fh and 3BCh-3BEh (3BFh is a video card's
//    configuration register on machines that have one) and their ECP blocks, base + 400h to
//    base + 402h; 279h only for reading, since it is also the ISA Plug and Play ADDRESS port;
//  - the blocks an administrator lists in AdminFilePath, if that file and every folder above it
//    are owned by root and writable by nobody else, and no block reaches the system's own
//    registers or a range the kernel gives another driver;
//  - never the registers of a port the kernel has bound (base to base + 7 and its ECP block):
//    those are reached through ppdev, by the members of the lp group.
// The helper and every other part that needs to tell what it serves use this one unit, which
// only reads files and never touches a port.

#include <cstdint>
#include <string>
#include <vector>

namespace portio {

// /etc/velmora/portio.conf for a system install; set by the build from its configuration folder.
inline constexpr const char *AdminFilePath = VELMORA_PORTIO_CONF;

// A run of consecutive addresses, both ends included.
struct Block
{
    std::uint16_t first = 0;
    std::uint16_t last = 0;

    bool contains(std::uint16_t address) const { return address >= first && address <= last; }
    bool operator==(const Block &) const = default;
};

// A parallel port the kernel knows of, as /proc/sys/dev/parport/<name>/base-addr lists it.
struct KernelPort
{
    std::string name; // "parport0"
    std::uint16_t base = 0;
    std::uint16_t highBase = 0; // the ECP block the kernel gives, 0 when none

    bool operator==(const KernelPort &) const = default;
};

// The ports under <procRoot>/sys/dev/parport, by base address. A port without an I/O address
// (a USB adapter, base 0) is left out. error, when given, receives 0, or the errno of a listing
// that could not be read whole or understood (no folder at all is no port, not an error): a
// caller that grants by the list must then grant nothing.
std::vector<KernelPort> kernelPorts(const std::string &procRoot = "/proc", int *error = nullptr);

std::vector<Block> standardBlocks();

// The registers of a port the kernel has bound: base to base + 7 and its ECP block.
std::vector<Block> kernelBlocks(const KernelPort &port);

// The administrator's file: one block a line, in hexadecimal, "D010-D017" (both ends included)
// or a port's base alone, "D010", for its eight registers; "0x" before or "h" after a number
// are allowed; "#" starts a comment. A line of more than eight addresses, one that touches
// 000h-0FFh or CF8h-CFFh, or one inside an I/O range that sysRoot lists for a device bound to a
// driver (a PCI card's or a Plug and Play device's), has the whole file ignored.
struct AdminFile
{
    std::string path;
    bool present = false;
    bool honoured = false;
    std::string whyIgnored; // in Spanish, when present but not honoured
    std::string remedy;     // what an administrator does about it, in Spanish
    std::vector<Block> blocks;
};

AdminFile readAdminFile(const std::string &path = AdminFilePath,
                        const std::string &sysRoot = "/sys");

enum class Verdict { Served, KernelOwned, NotParallel, ReadOnly };

class Policy
{
public:
    // error: the errno of a list of the kernel's ports that could not be read; such a policy
    // serves nothing, since a port the kernel owns might be missing from it.
    Policy(std::vector<KernelPort> ports, AdminFile admin, int error = 0);
    static Policy load(const std::string &procRoot = "/proc",
                       const std::string &adminPath = AdminFilePath,
                       const std::string &sysRoot = "/sys");

    Verdict verdict(std::uint16_t address, bool writing) const;
    // What the helper serves, in order, each block as long as it can be: the blocks ioperm is
    // asked for.
    std::vector<Block> servedBlocks() const;

    const std::vector<KernelPort> &ports() const { return m_ports; }
    const AdminFile &admin() const { return m_admin; }
    int error() const { return m_error; }
    // The kernel port whose registers hold the address, or nullptr.
    const KernelPort *owner(std::uint16_t address) const;

private:
    std::vector<KernelPort> m_ports;
    AdminFile m_admin;
    int m_error = 0;
};

// "378h-37Fh", as messages and listings write a block.
std::string blockText(const Block &block);

} // namespace portio
