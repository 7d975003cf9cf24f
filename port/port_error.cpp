#include "port_error.h"

#include <cerrno>
#include <cstdio>

namespace port {

namespace {

std::string message(PortError::Access access, std::uint16_t address, const PortFailure &failure)
{
    return failureText(access == PortError::Access::Read ? "No se pudo leer el puerto"
                                                         : "No se pudo escribir en el puerto",
                       address, failure);
}

} // namespace

PortError::PortError(Access access, std::uint16_t address, const PortFailure &failure)
    : std::runtime_error(message(access, address, failure))
    , m_access(access)
    , m_address(address)
    , m_failure(failure)
{}

std::string addressText(std::uint16_t address)
{
    char text[24];
    std::snprintf(text, sizeof text, "%u (%Xh)", static_cast<unsigned>(address),
                  static_cast<unsigned>(address));
    return text;
}

std::string failureText(const std::string &lead, std::uint16_t address, const PortFailure &failure)
{
    std::string text = lead + " " + addressText(address) + ": " + failure.reason + ".";
    if (!failure.remedy.empty())
        text += "\n\n" + failure.remedy;
    return text;
}

std::string explained(const PortError &error, const Advisor &advisor)
{
    if (!advisor)
        return error.what();
    return PortError(error.access(), error.address(), advisor(error.address(), error.failure()))
        .what();
}

std::string errnoName(int error)
{
    switch (error) {
    case ENOSYS:
        return "ENOSYS";
    case EPERM:
        return "EPERM";
    case EACCES:
        return "EACCES";
    case ENOENT:
        return "ENOENT";
    case EINVAL:
        return "EINVAL";
    case ENXIO:
        return "ENXIO";
    case ENODEV:
        return "ENODEV";
    case EBUSY:
        return "EBUSY";
    case ENOTTY:
        return "ENOTTY";
    case EIO:
        return "EIO";
    case EPIPE:
        return "EPIPE";
    case ETIMEDOUT:
        return "ETIMEDOUT";
    default:
        return "errno " + std::to_string(error);
    }
}

} // namespace port
