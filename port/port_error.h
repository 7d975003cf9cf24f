#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace port {

// Why a real port could not be reached and what the person at the machine can do about it, both
// in Spanish. Drivers build one of these; the driver that knows the address turns it into a
// PortError.
struct PortFailure
{
    std::string reason;
    std::string remedy;
    int error = 0; // the errno behind it, 0 when there is none
};

// An access to an address that no real path reaches, on a machine that has some real path. The
// message (UTF-8, Spanish) names the address in decimal and hexadecimal, the reason and what to
// do, e.g. "No se pudo leer el puerto 632 (278h): ... . Añada su usuario ...".
class PortError : public std::runtime_error
{
public:
    enum class Access { Read, Write };

    PortError(Access access, std::uint16_t address, const PortFailure &failure);

    Access access() const { return m_access; }
    std::uint16_t address() const { return m_address; }
    const PortFailure &failure() const { return m_failure; }

private:
    Access m_access;
    std::uint16_t m_address;
    PortFailure m_failure;
};

// "888 (378h)": how every message names an address.
std::string addressText(std::uint16_t address);

// The symbolic name of an errno ("EACCES"), or "errno N".
std::string errnoName(int error);

} // namespace port
