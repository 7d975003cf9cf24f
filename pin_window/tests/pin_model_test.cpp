#include "pin_model.h"

#include <gtest/gtest.h>

using pins::Level;

TEST(PinTrace, KeepsTheLastTenSecondsAndWhenTheLevelLastChanged)
{
    pins::PinTrace trace;
    trace.add(0, Level::Low);
    trace.add(50, Level::Low);
    EXPECT_EQ(trace.steps().size(), 1u);
    EXPECT_FALSE(trace.lastChange()) << "the first level is no change";
    trace.add(100, Level::Unknown); // a failed sample: a gap, not a change
    trace.add(150, Level::Low);
    EXPECT_FALSE(trace.lastChange());
    trace.add(200, Level::Unknown);
    trace.add(250, Level::High); // across the gap, low became high
    EXPECT_EQ(trace.lastChange(), 250);
    trace.add(300, Level::Low);
    EXPECT_EQ(trace.lastChange(), 300);
    EXPECT_EQ(trace.steps().size(), 6u);

    // Ten seconds on, the step in force at the span's start stays, older ones go.
    trace.add(300 + pins::TraceSpan, Level::Low);
    ASSERT_EQ(trace.steps().size(), 1u);
    EXPECT_EQ(trace.steps().front().at, 300);
    trace.add(20'000, Level::High);
    EXPECT_EQ(trace.steps().size(), 2u);
}

TEST(PinTexts, NameDirectionAndLevelAtTheConnector)
{
    const port::Registers idle{0x00, 0x78, 0x00};     // Busy's register bit 0: high at the pin
    const port::Registers reversed{0x01, 0x80, 0x2B}; // nStrobe, nAutoFeed, nSelectIn set: low
    const struct
    {
        int pin;
        std::optional<port::Registers> registers;
        const char *name;
    } cases[] = {
        {11, idle, "Pin 11, Busy, entrada, alto"},
        {11, reversed, "Pin 11, Busy, entrada, bajo"},
        {1, idle, "Pin 1, nStrobe, salida, alto"},
        {1, reversed, "Pin 1, nStrobe, salida, bajo"},
        {2, idle, "Pin 2, D0, salida, bajo"},
        {2, reversed, "Pin 2, D0, entrada, alto"},
        {16, reversed, "Pin 16, nInit, salida, bajo"},
        {15, std::nullopt, "Pin 15, nError, sin lectura"},
        {18, idle, "Pin 18, masa"},
        {25, std::nullopt, "Pin 25, masa"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(pins::accessibleName(c.pin, c.registers), c.name);
}

TEST(PinWrites, ToggleAnOutputAndSetTheDirectionKeepingTheOtherBits)
{
    const auto &pin = [](int number) { return port::signalPins()[std::size_t(number - 1)]; };
    const port::Registers out{0x81, 0x78, 0x04};
    EXPECT_EQ(pins::toggle(pin(2), out)->value, 0x80);
    EXPECT_EQ(pins::toggle(pin(9), out)->offset, 0);
    EXPECT_EQ(pins::toggle(pin(17), out)->value, 0x0C);
    EXPECT_EQ(pins::toggle(pin(17), out)->offset, 2);
    EXPECT_FALSE(pins::toggle(pin(11), out)) << "an input";
    const port::Registers in{0x81, 0x78, 0x24};
    EXPECT_FALSE(pins::toggle(pin(2), in)) << "a data line of a reversed port";
    EXPECT_EQ(pins::toggle(pin(16), in)->value, 0x20);

    EXPECT_EQ(pins::dataDirection(true, out).value, 0x24);
    EXPECT_EQ(pins::dataDirection(false, in).value, 0x04);
    EXPECT_EQ(pins::dataDirection(false, in).offset, 2);
}
