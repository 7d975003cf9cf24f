#include "simulated_port.h"

#include <gtest/gtest.h>

TEST(SimulatedPort, BehavesLikeAnIdlePortWithNothingPluggedIn)
{
    port::SimulatedPort port(true);
    EXPECT_EQ(port.read(888), 0);
    port.write(888, 300); // bits 8 and up do not exist on the register
    port.write(889, 0);
    port.write(890, 0x10C);
    port.write(632, 5);
    EXPECT_EQ(port.read(888), 300 & 0xFF);
    EXPECT_EQ(port.read(889), 0x78);
    EXPECT_EQ(port.read(890), 0x0C);
    EXPECT_EQ(port.read(632), 255);
    EXPECT_EQ(port.accesses().size(), 9u);
}
