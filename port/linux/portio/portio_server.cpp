#include "portio_server.h"

#include "portio_protocol.h"

#include <cerrno>
#include <unistd.h>

namespace portio {

namespace {

enum class Got { Message, End, Partial, Failed };

Got receive(int in, Message &m)
{
    std::size_t have = 0;
    while (have < m.size()) {
        const ssize_t n = ::read(in, m.data() + have, m.size() - have);
        if (n > 0)
            have += static_cast<std::size_t>(n);
        else if (n == 0)
            return have == 0 ? Got::End : Got::Partial;
        else if (errno != EINTR)
            return Got::Failed;
    }
    return Got::Message;
}

bool send(int out, const Message &m)
{
    std::size_t sent = 0;
    while (sent < m.size()) {
        const ssize_t n = ::write(out, m.data() + sent, m.size() - sent);
        if (n > 0)
            sent += static_cast<std::size_t>(n);
        else if (n == 0 || errno != EINTR)
            return false;
    }
    return true;
}

} // namespace

ExitStatus serveRequests(int in, int out, PortIo &io, const Policy &policy)
{
    if (!send(out, message(Hello, Version, static_cast<std::uint16_t>(io.probe()))))
        return ChannelBroken;
    for (;;) {
        Message request{};
        switch (receive(in, request)) {
        case Got::End:
            return Finished;
        case Got::Partial:
            return Malformed;
        case Got::Failed:
            return ChannelBroken;
        case Got::Message:
            break;
        }
        const std::uint8_t op = request[0];
        const std::uint16_t address = word(request);
        std::uint8_t value = request[1];
        int error = 0;
        if ((op != Read || value != 0) && op != Write) {
            send(out, message(op, 0, EINVAL));
            return Malformed;
        }
        if (policy.verdict(address, op == Write) != Verdict::Served)
            error = EACCES;
        else if (op == Read)
            error = io.read(address, value);
        else
            error = io.write(address, value);
        if (!send(out, message(op, value, static_cast<std::uint16_t>(error))))
            return ChannelBroken;
    }
}

} // namespace portio
