#include "portio_protocol.h"
#include "portio_server.h"

#include <gtest/gtest.h>

#include <ostream>

#include <array>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using portio::Message;

// Records what the server asks of the ports; every read gives 0x42.
class RecordingPortIo : public portio::PortIo
{
public:
    int probe() override { return probeResult; }
    int read(std::uint16_t address, std::uint8_t &value) override
    {
        calls.push_back({'r', 0, address});
        value = 0x42;
        return accessResult;
    }
    int write(std::uint16_t address, std::uint8_t value) override
    {
        calls.push_back({'w', value, address});
        return accessResult;
    }

    struct Call
    {
        char op;
        std::uint8_t value;
        std::uint16_t address;
        bool operator==(const Call &) const = default;
    };
    int probeResult = 0;
    int accessResult = 0;
    std::vector<Call> calls;
};

// Feeds the server a byte stream in one go (the input then ends) and collects its replies.
struct Session
{
    portio::ExitStatus status;
    std::vector<Message> replies;
};

portio::Policy servesEverything()
{
    portio::AdminFile admin;
    admin.blocks = {{0, 0xFFFF}};
    return portio::Policy({}, admin);
}

Session serve(const std::vector<std::uint8_t> &input, RecordingPortIo &io,
              const portio::Policy &policy = servesEverything())
{
    int in[2];
    int out[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, in), 0);
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, out), 0);
    EXPECT_EQ(::write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::shutdown(in[1], SHUT_WR);
    Session session{portio::serveRequests(in[0], out[1], io, policy), {}};
    ::close(out[1]);
    Message m{};
    while (::read(out[0], m.data(), m.size()) == static_cast<ssize_t>(m.size()))
        session.replies.push_back(m);
    for (const int fd : {in[0], in[1], out[0]})
        ::close(fd);
    return session;
}

std::vector<std::uint8_t> bytes(std::initializer_list<Message> messages)
{
    std::vector<std::uint8_t> all;
    for (const Message &m : messages)
        all.insert(all.end(), m.begin(), m.end());
    return all;
}

TEST(PortioServer, GreetsThenServesUntilTheInputEnds)
{
    RecordingPortIo io;
    const Session s =
        serve(bytes({portio::message('w', 0x5A, 0x378), portio::message('r', 0, 0x379),
                     portio::message('r', 0, 0xFFFF)}),
              io);
    EXPECT_EQ(s.status, portio::Finished);
    ASSERT_EQ(s.replies.size(), 4u);
    EXPECT_EQ(s.replies[0], portio::message('V', portio::Version, 0));
    EXPECT_EQ(s.replies[1], portio::message('w', 0x5A, 0));
    EXPECT_EQ(s.replies[2], portio::message('r', 0x42, 0));
    EXPECT_EQ(s.replies[3], portio::message('r', 0x42, 0));
    EXPECT_EQ(io.calls, (std::vector<RecordingPortIo::Call>{
                            {'w', 0x5A, 0x378}, {'r', 0, 0x379}, {'r', 0, 0xFFFF}}));
}

// The CMOS, the keyboard controller, PCI configuration, a serial port, and the registers of the
// port the kernel has bound at 378h are refused without reaching the ports; 278h is served.
TEST(PortioServer, ServesOnlyWhatThePolicyAllows)
{
    RecordingPortIo io;
    const portio::Policy policy({{"parport0", 0x378, 0}}, {});
    std::vector<Message> sent;
    for (const std::uint16_t address : {0x70, 0x71, 0x64, 0xCF8, 0xCFC, 0x3F8, 0x378, 0x37F, 0x77A})
        sent.push_back(portio::message('w', 0xFE, address));
    sent.push_back(portio::message('w', 0x5A, 0x278));
    std::vector<std::uint8_t> input;
    for (const Message &m : sent)
        input.insert(input.end(), m.begin(), m.end());
    const Session s = serve(input, io, policy);
    EXPECT_EQ(s.status, portio::Finished);
    ASSERT_EQ(s.replies.size(), sent.size() + 1);
    for (std::size_t i = 0; i + 1 < sent.size(); ++i)
        EXPECT_EQ(portio::word(s.replies[i + 1]), EACCES) << "request " << i;
    EXPECT_EQ(portio::word(s.replies.back()), 0);
    EXPECT_EQ(io.calls, (std::vector<RecordingPortIo::Call>{{'w', 0x5A, 0x278}}));
}

TEST(PortioServer, PassesOnTheSystemsRefusal)
{
    RecordingPortIo io;
    io.probeResult = EPERM;
    io.accessResult = EPERM;
    const Session s = serve(bytes({portio::message('r', 0, 0x378)}), io);
    EXPECT_EQ(s.status, portio::Finished);
    ASSERT_EQ(s.replies.size(), 2u);
    EXPECT_EQ(portio::word(s.replies[0]), EPERM);
    EXPECT_EQ(portio::word(s.replies[1]), EPERM);
}

struct MalformedCase
{
    const char *name;
    std::vector<std::uint8_t> input;
    std::size_t accessesBefore;
    bool refusalSent; // a whole request gets an EINVAL reply; a cut-off one gets nothing
};

void PrintTo(const MalformedCase &c, std::ostream *os)
{
    *os << c.name;
}

class PortioServerMalformed : public testing::TestWithParam<MalformedCase>
{};

TEST_P(PortioServerMalformed, RefusesAndStops)
{
    RecordingPortIo io;
    const Session s = serve(GetParam().input, io);
    EXPECT_EQ(s.status, portio::Malformed);
    // Nothing after the bad request is served.
    EXPECT_EQ(io.calls.size(), GetParam().accessesBefore);
    ASSERT_EQ(s.replies.size(), 1 + GetParam().accessesBefore + (GetParam().refusalSent ? 1 : 0));
    if (GetParam().refusalSent) {
        EXPECT_EQ(portio::word(s.replies.back()), EINVAL);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortioServerMalformed,
    testing::Values(
        MalformedCase{"UnknownOperation", bytes({portio::message('x', 0, 0x378)}), 0, true},
        MalformedCase{"HelloFromThePeer", bytes({portio::message('V', 1, 0)}), 0, true},
        MalformedCase{"ReadWithAValue", bytes({portio::message('r', 1, 0x378)}), 0, true},
        MalformedCase{"ShortRequest", {'r', 0, 0x78}, 0, false},
        MalformedCase{"BadAfterGood",
                      bytes({portio::message('r', 0, 0x378), portio::message('R', 0, 0x378),
                             portio::message('r', 0, 0x379)}),
                      1, true}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(PortioServer, StopsWhenItsRepliesCannotBeSent)
{
    RecordingPortIo io;
    int in[2];
    int out[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, in), 0);
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, out), 0);
    ::close(out[0]);
    // MSG_NOSIGNAL is not used by the helper, which may die of SIGPIPE; here it must not.
    signal(SIGPIPE, SIG_IGN);
    EXPECT_EQ(portio::serveRequests(in[0], out[1], io, servesEverything()), portio::ChannelBroken);
    signal(SIGPIPE, SIG_DFL);
    for (const int fd : {in[0], in[1], out[1]})
        ::close(fd);
}

} // namespace
