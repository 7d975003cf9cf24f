#include "arguments.h"
#include "command_line.h"
#include "named_cases.h"
#include "pins.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace command_line;

TEST(Arguments, AddressesAndValuesInEveryFormAndNothingElse)
{
    const std::pair<const char *, std::optional<std::uint16_t>> addresses[] = {
        {"888", 888},       {"0", 0},        {"65535", 65535}, {"53264", 53264}, {"0x378", 0x378},
        {"0X378", 0x378},   {"378h", 0x378}, {"378H", 0x378},  {"&H378", 0x378}, {"&h378", 0x378},
        {"0xFFFF", 0xFFFF}, {"65536", {}},   {"0x10000", {}},  {"-1", {}},       {"", {}},
        {"0x", {}},         {"h", {}},       {"&H", {}},       {"378g", {}},     {"3 78", {}},
        {"0b101", {}},      {"+888", {}},    {"888.0", {}},    {"1e3", {}}};
    for (const auto &[text, expected] : addresses)
        EXPECT_EQ(parseAddress(text), expected) << "address «" << text << "»";
    const std::pair<const char *, std::optional<std::uint8_t>> values[] = {
        {"0", 0},      {"255", 255},   {"0xA5", 0xA5},
        {"A5h", 0xA5}, {"&HA5", 0xA5}, {"0b10100101", 0xA5},
        {"0B1", 1},    {"256", {}},    {"0x100", {}},
        {"0b102", {}}, {"0b", {}},     {"0b111111111", {}},
        {"-1", {}},    {"", {}},       {"12a", {}}};
    for (const auto &[text, expected] : values)
        EXPECT_EQ(parseValue(text), expected) << "value «" << text << "»";
}

// A command and a part of what it prints: on standard output when done, else on standard error.
struct Run : NamedCase
{
    std::vector<const char *> arguments;
    int status;
    const char *printed;
};

using Commands = testing::TestWithParam<Run>;

// Only usage errors and the simulated port: a test never reaches the machine's ports.
TEST_P(Commands, EndWithTheirStatusAndSaySo)
{
    std::vector<const char *> arguments = GetParam().arguments;
    arguments.insert(arguments.begin(), "velmora");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(run(int(arguments.size()), const_cast<char **>(arguments.data())), GetParam().status);
    const std::string printed = testing::internal::GetCapturedStdout();
    const std::string complaint = testing::internal::GetCapturedStderr();
    EXPECT_THAT(GetParam().status ? complaint : printed, testing::HasSubstr(GetParam().printed));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Commands,
    testing::Values(
        Run{"NoAddress", {"read"}, WrongUsage, "falta la DIRECCIÓN"},
        Run{"BadAddress", {"read", "70000"}, WrongUsage, "«70000» no es una dirección de puerto"},
        Run{"NoValue", {"write", "378h"}, WrongUsage, "faltan la DIRECCIÓN y el VALOR"},
        Run{"BadValue", {"write", "378h", "256"}, WrongUsage, "«256» no es un valor de un byte"},
        Run{"OneTooMany", {"write", "378h", "1", "2"}, WrongUsage, "sobra «2»"},
        Run{"WatchOfRead", {"read", "378h", "--watch"}, WrongUsage, "no es de «velmora read»"},
        Run{"JsonOfRead", {"read", "378h", "--json"}, WrongUsage, "no es de «velmora read»"},
        Run{"IntervalShort", {"pins", "--watch", "--interval", "9"}, WrongUsage, "de 10 a 10000"},
        Run{"IntervalLong", {"pins", "--watch", "--interval", "10001"}, WrongUsage, "a 10000"},
        Run{"NoInterval", {"pins", "--watch", "--interval"}, WrongUsage, "falta el número"},
        Run{"NoCount", {"pins", "--watch", "--count", "0"}, WrongUsage, "--count pide un número"},
        Run{"NoWatch", {"pins", "--interval", "50"}, WrongUsage, "de «velmora pins --watch»"},
        Run{"PinsTooHigh", {"pins", "65535"}, WrongUsage, "va hasta FFFDh"},
        Run{"NoCommand", {"--simulated"}, WrongUsage, "falta la orden"},
        Run{"Unknown", {"frobnicate"}, WrongUsage, "no se conoce la orden «frobnicate»"},
        Run{"UnknownOption", {"read", "888", "--loud"}, WrongUsage, "la opción «--loud»"},
        Run{"Binary", {"read", "&H379", "--bin", "--simulated"}, Done, "0b01111000\n"}),
    CaseName());

// The connector's pins against the register bits as the port's documentation gives them, with
// their levels: nStrobe, nAutoFeed, Busy and nSelectIn inverted, D0-D7 inputs in reverse.
TEST(Pins, TheTableGivesEveryPinItsBitAndLevel)
{
    const Registers before{0xA4, 0x58, 0x2B};
    EXPECT_THAT(pinTable(0x378, {0xA5, 0x58, 0x2B}, true, &before),
                testing::HasSubstr("  1  nStrobe    salida      0*  control bit 0, invertido\n"
                                   "  2  D0         entrada     1   datos bit 0   <- cambió\n"
                                   "  3  D1         entrada     0   datos bit 1\n"
                                   "  4  D2         entrada     1   datos bit 2\n"
                                   "  5  D3         entrada     0   datos bit 3\n"
                                   "  6  D4         entrada     0   datos bit 4\n"
                                   "  7  D5         entrada     1   datos bit 5\n"
                                   "  8  D6         entrada     0   datos bit 6\n"
                                   "  9  D7         entrada     1   datos bit 7\n"
                                   " 10  nAck       entrada     1   estado bit 6\n"
                                   " 11  Busy       entrada     1   estado bit 7, invertido\n"
                                   " 12  PaperOut   entrada     0   estado bit 5\n"
                                   " 13  Select     entrada     1   estado bit 4\n"
                                   " 14  nAutoFeed  salida      0*  control bit 1, invertido\n"
                                   " 15  nError     entrada     1   estado bit 3\n"
                                   " 16  nInit      salida      0*  control bit 2\n"
                                   " 17  nSelectIn  salida      0*  control bit 3, invertido\n"));
}

} // namespace
