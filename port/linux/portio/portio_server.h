#pragma once

#include "portio_policy.h"

#include <cstdint>

namespace portio {

// The port accesses the helper performs. Each returns 0 or an errno.
class PortIo
{
public:
    virtual ~PortIo() = default;

    // Whether port access can be had at all, without touching any port.
    virtual int probe() = 0;
    virtual int read(std::uint16_t address, std::uint8_t &value) = 0;
    virtual int write(std::uint16_t address, std::uint8_t value) = 0;
};

// Refused: the helper could not confine itself, or may serve nothing; its hello said why.
enum ExitStatus : int { Finished = 0, Malformed = 2, ChannelBroken = 3, Refused = 4 };

// Sends the hello, then serves requests from in, one reply each to out, until in ends. An
// address the policy does not serve gets EACCES and io never sees it.
ExitStatus serveRequests(int in, int out, PortIo &io, const Policy &policy);

} // namespace portio
