#include "named_cases.h"
#include "portio_protocol.h"
#include "portio_server.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using portio::message;
using portio::Message;

// Counts what reaches the ports; every read gives 42h.
class CountingPortIo : public portio::PortIo
{
public:
    int probe() override { return 0; }
    int read(std::uint16_t, std::uint8_t &value) override
    {
        value = 0x42;
        ++accesses;
        return 0;
    }
    int write(std::uint16_t, std::uint8_t) override
    {
        ++accesses;
        return 0;
    }

    int accesses = 0;
};

struct ServerCase : NamedCase
{
    Message request;
    Message reply;
    portio::ExitStatus status;
};

class PortioServer : public testing::TestWithParam<ServerCase>
{};

// The kernel has bound a port at 378h. Each session is the case's request, then a read of 278h,
// then the end of the input; a malformed request ends the session, with nothing after it served.
TEST_P(PortioServer, AnswersWhatThePolicyAllowsAndRefusesTheRest)
{
    const ServerCase &c = GetParam();
    int in[2];
    int out[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, in), 0);
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, out), 0);
    for (const Message &m : {c.request, message('r', 0, 0x278)})
        ASSERT_EQ(::write(in[1], m.data(), m.size()), 4);
    ::shutdown(in[1], SHUT_WR);
    CountingPortIo io;
    EXPECT_EQ(
        portio::serveRequests(in[0], out[1], io, portio::Policy({{"parport0", 0x378, 0}}, {})),
        c.status);
    ::close(out[1]);
    std::vector<Message> replies;
    for (Message m{}; ::read(out[0], m.data(), m.size()) == 4;)
        replies.push_back(m);
    for (const int fd : {in[0], in[1], out[0]})
        ::close(fd);
    std::vector<Message> expected{message(portio::Hello, portio::Version, 0), c.reply};
    if (c.status == portio::Finished)
        expected.push_back(message('r', 0x42, 0));
    EXPECT_EQ(replies, expected);
    EXPECT_EQ(io.accesses, (portio::word(c.reply) == 0) + int(expected.size()) - 2);
}

// The CMOS, the keyboard controller's reset, PCI configuration and the kernel's port are refused.
INSTANTIATE_TEST_SUITE_P(
    Cases, PortioServer,
    testing::Values(
        ServerCase{"Write", message('w', 0x5A, 0x27A), message('w', 0x5A, 0), portio::Finished},
        ServerCase{"Read", message('r', 0, 0x3BC), message('r', 0x42, 0), portio::Finished},
        ServerCase{"Cmos", message('w', 0x8F, 0x70), message('w', 0x8F, EACCES), portio::Finished},
        ServerCase{"Reset", message('w', 0xFE, 0x64), message('w', 0xFE, EACCES), portio::Finished},
        ServerCase{"Pci", message('r', 0, 0xCF8), message('r', 0, EACCES), portio::Finished},
        ServerCase{"KernelPort", message('w', 0, 0x37A), message('w', 0, EACCES), portio::Finished},
        ServerCase{"KernelEcp", message('r', 0, 0x77A), message('r', 0, EACCES), portio::Finished},
        ServerCase{"UnknownOperation", message('R', 0, 0x278), message('R', 0, EINVAL),
                   portio::Malformed},
        ServerCase{"ReadWithAValue", message('r', 1, 0x278), message('r', 0, EINVAL),
                   portio::Malformed}),
    CaseName());

} // namespace
