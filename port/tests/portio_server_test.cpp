#include "named_cases.h"
#include "portio_server.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <vector>

namespace {

// A port in memory that notes the addresses reaching it.
struct MemoryPortIo : portio::PortIo
{
    std::vector<std::uint16_t> touched;
    int probe() override { return 0; }
    int read(std::uint16_t address, std::uint8_t &) override { return write(address, 0); }
    int write(std::uint16_t address, std::uint8_t) override
    {
        touched.push_back(address);
        return 0;
    }
};

struct MalformedCase : NamedCase
{
    std::vector<std::uint8_t> requests; // after a read of 278h
};

using PortioServerMalformed = testing::TestWithParam<MalformedCase>;

// A request that is not a read or a write ends the helper: a whole one gets EINVAL, a cut-off one
// nothing, and neither it nor what follows reaches the port.
TEST_P(PortioServerMalformed, IsRefusedAndEndsTheHelper)
{
    const std::vector<std::uint8_t> &bad = GetParam().requests;
    std::vector<std::uint8_t> input{'r', 0, 0x78, 2};
    input.insert(input.end(), bad.begin(), bad.end());
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    ::send(ends[1], input.data(), input.size(), 0);
    ::shutdown(ends[1], SHUT_WR);
    MemoryPortIo io;
    EXPECT_EQ(portio::serveRequests(ends[0], ends[0], io, portio::Policy({}, {})),
              portio::Malformed);
    EXPECT_EQ(io.touched, std::vector<std::uint16_t>{0x278});
    std::vector<std::uint8_t> replies(16);
    replies.resize(std::max(::recv(ends[1], replies.data(), replies.size(), MSG_DONTWAIT), 0l));
    std::vector<std::uint8_t> expected{'V', 1, 0, 0, 'r', 0, 0, 0};
    if (bad.size() >= 4)
        expected.insert(expected.end(), {bad[0], 0, EINVAL, 0});
    EXPECT_EQ(replies, expected);
    ::close(ends[0]);
    ::close(ends[1]);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortioServerMalformed,
    testing::Values(MalformedCase{"UnknownOperation", {'x', 0, 0x78, 2, 'r', 0, 0x79, 2}},
                    MalformedCase{"HelloFromThePeer", {'V', 1, 0, 0, 'r', 0, 0x79, 2}},
                    MalformedCase{"ReadCarryingAValue", {'r', 1, 0x78, 2, 'r', 0, 0x79, 2}},
                    MalformedCase{"ShortRequest", {'w', 0x5A, 0x78}}),
    CaseName());

} // namespace
