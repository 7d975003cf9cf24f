#pragma once

#include <cstdint>
#include <functional>
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

// "<lead> 888 (378h): <reason>.\n\n<remedy>", the lead being "No se pudo leer el puerto": how
// every error about an address is said.
std::string failureText(const std::string &lead, std::uint16_t address, const PortFailure &failure);

// The port doctor's word on an address an access failed at, given the driver's failure: the
// problem of the port there and its fix, or the driver's failure, kept where the doctor knows no
// better. The program gives the machine's (the doctor is built on this library); it runs only
// when an error is to be said.
using Advisor = std::function<PortFailure(std::uint16_t address, const PortFailure &driver)>;

// error's message, with the advisor's word on its address when there is an advisor.
std::string explained(const PortError &error, const Advisor &advisor);

// The symbolic name of an errno ("EACCES"), or "errno N".
std::string errnoName(int error);

} // namespace port
