#include "arguments.h"
#include "command_line.h"
#include "no_hardware.h"
#include "pins.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
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
        {"0b101", {}},      {"+888", {}},    {"888.0", {}},    {"1e3", {}},
    };
    for (const auto &[text, expected] : addresses)
        EXPECT_EQ(parseAddress(text), expected) << "address «" << text << "»";

    const std::pair<const char *, std::optional<std::uint8_t>> values[] = {
        {"0", 0},      {"255", 255},   {"0xA5", 0xA5},
        {"A5h", 0xA5}, {"&HA5", 0xA5}, {"0b10100101", 0xA5},
        {"0B1", 1},    {"256", {}},    {"0x100", {}},
        {"0b102", {}}, {"0b", {}},     {"0b111111111", {}},
        {"-1", {}},    {"", {}},       {"12a", {}},
    };
    for (const auto &[text, expected] : values)
        EXPECT_EQ(parseValue(text), expected) << "value «" << text << "»";
}

TEST(CommandLine, OnlyQtsOwnArgumentsOpenTheWindow)
{
    const std::vector<std::vector<const char *>> window = {{},
                                                           {"-platform", "offscreen"},
                                                           {"--platform=xcb"},
                                                           {"-reverse"},
                                                           {"-style", "fusion", "--display", ":1"},
                                                           {"-geometry", "300x300"}};
    const std::vector<std::vector<const char *>> command = {
        {"read", "888"}, {"--help"}, {"--frobnicate"}, {"-platform", "xcb", "ports"}, {"x"}};
    for (const auto &[list, wanted] : {std::pair{window, true}, std::pair{command, false}}) {
        for (const auto &arguments : list) {
            std::vector<char *> argv{const_cast<char *>("velmora")};
            for (const char *a : arguments)
                argv.push_back(const_cast<char *>(a));
            EXPECT_EQ(wantsWindow(int(argv.size()), argv.data()), wanted)
                << (arguments.empty() ? "(none)" : arguments.front());
        }
    }
}

struct Outcome
{
    int status;
    std::string out;
    std::string err;
};

std::string contents(std::FILE *file)
{
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;)
        text += char(c);
    std::fclose(file);
    return text;
}

// Only usage errors and the simulated port: a test never reaches the machine's ports.
Outcome velmora(std::vector<const char *> arguments)
{
    arguments.insert(arguments.begin(), "velmora");
    std::FILE *out = std::tmpfile();
    std::FILE *err = std::tmpfile();
    const int status = run(int(arguments.size()), const_cast<char **>(arguments.data()), out, err);
    return {status, contents(out), contents(err)};
}

TEST(CommandLine, WrongUsageSaysWhatIsWrongAndEndsWithStatus2)
{
    const std::pair<std::vector<const char *>, const char *> cases[] = {
        {{"read"}, "falta la DIRECCIÓN"},
        {{"read", "70000"},
         "«70000» no es una dirección de puerto; escríbala en decimal de 0 a "
         "65535, o hexadecimal como 0x378, 378h o &H378"},
        {{"write", "378h"}, "faltan la DIRECCIÓN y el VALOR"},
        {{"write", "378h", "256"}, "«256» no es un valor de un byte"},
        {{"write", "378h", "1", "2"}, "sobra «2»"},
        {{"read", "378h", "--watch"}, "esa opción no es de «velmora read»"},
        {{"pins", "--watch", "--interval", "5"}, "--interval va de 10 a 10000"},
        {{"pins", "--watch", "--interval", "10001"}, "--interval va de 10 a 10000"},
        {{"pins", "--watch", "--interval"}, "falta el número de milisegundos"},
        {{"pins", "--watch", "--count", "0"}, "--count pide un número"},
        {{"pins", "--interval", "50"}, "son de «velmora pins --watch»"},
        {{"pins", "65535"}, "va hasta FFFDh"},
        {{"--simulated"}, "falta la orden"},
        {{"frobnicate"}, "no se conoce la orden «frobnicate»"},
        {{"read", "888", "--loud"}, "no se conoce la opción «--loud»"},
    };
    for (const auto &[arguments, message] : cases) {
        const Outcome o = velmora(arguments);
        EXPECT_EQ(o.status, WrongUsage) << arguments.front();
        EXPECT_NE(o.err.find(message), std::string::npos) << o.err;
        EXPECT_TRUE(o.out.empty()) << o.out;
    }
    EXPECT_EQ(velmora({"--help"}).status, Done);
    EXPECT_NE(velmora({"--help"}).out.find("pulsos más cortos que el intervalo"),
              std::string::npos);
    EXPECT_EQ(velmora({"--version"}).out, "velmora 1.0.0.0\n");
}

TEST(CommandLine, ReadsTheSimulatedPortOnlyWhenAskedTo)
{
    EXPECT_EQ(velmora({"read", "889", "--simulated"}).out, "120\n");
    EXPECT_EQ(velmora({"read", "0x379", "--hex", "--simulated"}).out, "0x78\n");
    EXPECT_EQ(velmora({"read", "&H379", "--bin", "--simulated"}).out, "0b01111000\n");
    const Outcome written = velmora({"write", "888", "0b1", "--simulated"});
    EXPECT_EQ(written.status, Done);
    EXPECT_EQ(written.out, "");
}

// The connector's 17 signal pins against the register bits, as the port's documentation gives
// them: setting one register bit moves exactly one pin, inverted for Busy, nStrobe, nAutoFeed and
// nSelectIn.
TEST(Pins, EachPinFollowsItsRegisterBit)
{
    struct Wiring
    {
        int pin;
        Register reg;
        int bit;
        bool inverted;
    };
    const Wiring wiring[] = {
        {1, Register::Control, 0, true},  {2, Register::Data, 0, false},
        {3, Register::Data, 1, false},    {4, Register::Data, 2, false},
        {5, Register::Data, 3, false},    {6, Register::Data, 4, false},
        {7, Register::Data, 5, false},    {8, Register::Data, 6, false},
        {9, Register::Data, 7, false},    {10, Register::Status, 6, false},
        {11, Register::Status, 7, true},  {12, Register::Status, 5, false},
        {13, Register::Status, 4, false}, {14, Register::Control, 1, true},
        {15, Register::Status, 3, false}, {16, Register::Control, 2, false},
        {17, Register::Control, 3, true},
    };
    for (const Wiring &w : wiring) {
        Registers r;
        (w.reg == Register::Data     ? r.data
         : w.reg == Register::Status ? r.status
                                     : r.control) = std::uint8_t(1 << w.bit);
        for (const Pin &pin : signalPins()) {
            const Registers none;
            const bool moved = level(pin, r) != level(pin, none);
            EXPECT_EQ(moved, pin.number == w.pin) << "bit " << w.bit << " moved pin " << pin.number;
            if (pin.number == w.pin) {
                EXPECT_EQ(level(pin, r), w.inverted ? 0 : 1) << "pin " << w.pin;
            }
        }
    }
}

TEST(Pins, TheSnapshotShowsLevelsDirectionAndTheControlLinesOrigin)
{
    const Outcome o = velmora({"pins", "--simulated"});
    EXPECT_EQ(o.status, Done) << o.err;
    // The simulated idle port: status 78h, Busy inverted to a high pin.
    for (const char *line :
         {"Puerto 378h: datos 00h, estado 78h, control 00h", " 11  Busy       entrada     1",
          " 10  nAck       entrada     1", "  2  D0         salida      0",
          "  1  nStrobe    salida      1", "18-25  masa", "Datos: salida"})
        EXPECT_NE(o.out.find(line), std::string::npos) << line << " in:\n" << o.out;

    Registers reversed;
    reversed.control = 0x20;
    const std::string table = pinTable(0x378, reversed, true);
    EXPECT_NE(table.find("  2  D0         entrada"), std::string::npos) << table;
    EXPECT_NE(table.find("1*  control bit 0"), std::string::npos) << table;
    EXPECT_NE(table.find("Por ppdev"), std::string::npos) << table;
}

TEST(Pins, AWatchOutsideATerminalLogsAHeaderThenChangesOnly)
{
    const Outcome o =
        velmora({"pins", "--simulated", "--watch", "--interval", "10", "--count", "3"});
    EXPECT_EQ(o.status, Done) << o.err;
    EXPECT_EQ(o.out.rfind("# velmora pins 378h cada 10 ms", 0), 0u) << o.out;
    EXPECT_NE(o.out.find("\nhora,pin,señal,antes,después\n"), std::string::npos) << o.out;
    EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '\n'), 2) << "a still port logged a change";
}

} // namespace

int main(int argc, char *argv[])
{
    installSimulatedPortForTests();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
