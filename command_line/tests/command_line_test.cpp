#include "arguments.h"
#include "command_line.h"
#include "named_cases.h"
#include "pins.h"
#include "port_error.h"
#include "simulated_port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <unistd.h>
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
// The exit statuses are the command line's contract with scripts.
struct Run : NamedCase
{
    std::vector<const char *> arguments;
    int status;
    const char *printed;
    bool noRealPath = false; // the machine has no way to its ports at all
};

// The machine of a test: 278h is beyond every path, 3BCh breaks unexpectedly, the rest answers
// as the simulated port does.
struct Machine : port::SimulatedPort
{
    static void check(port::PortError::Access access, std::uint16_t address)
    {
        if (address == 0x278)
            throw port::PortError(access, address, {"ninguna vía llega a esta dirección", "", 0});
        if (address == 0x3BC)
            throw std::runtime_error("lectura rota");
    }
    PortValue read(std::uint16_t address) override
    {
        check(port::PortError::Access::Read, address);
        return SimulatedPort::read(address);
    }
    void write(std::uint16_t address, PortValue value) override
    {
        check(port::PortError::Access::Write, address);
        SimulatedPort::write(address, value);
    }
};

using Commands = testing::TestWithParam<Run>;

TEST_P(Commands, EndWithTheirStatusAndSaySo)
{
    std::vector<const char *> arguments = GetParam().arguments;
    arguments.insert(arguments.begin(), "velmora");
    const auto openPorts = [noPath = GetParam().noRealPath](port::Fallback fallback,
                                                            port::NoticeSink notices) {
        port::Session session(
            [noPath](const port::NoticeSink &) {
                return noPath ? port::Opened{nullptr, "ioperm: no lo admite (ENOSYS)", ""}
                              : port::Opened{std::make_unique<Machine>(), "", ""};
            },
            fallback, std::move(notices));
        // The port doctor of the test's machine: 378h is beyond reach for want of a group.
        session.setAdvisor([](std::uint16_t address, const port::PortFailure &driver) {
            return address != 0x378 ? driver : port::PortFailure{"no está en el grupo lp", "x", 0};
        });
        return session;
    };
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(run(int(arguments.size()), const_cast<char **>(arguments.data()), openPorts),
              GetParam().status);
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
        Run{"SignedCount", {"pins", "--watch", "--count", "+1"}, WrongUsage, "«+1»"},
        Run{"NoWatch", {"pins", "--interval", "50"}, WrongUsage, "de «velmora pins --watch»"},
        Run{"PinsTooHigh", {"pins", "65535"}, WrongUsage, "va hasta FFFDh"},
        Run{"NoCommand", {"--simulated"}, WrongUsage, "falta la orden"},
        Run{"Unknown", {"frobnicate"}, WrongUsage, "no se conoce la orden «frobnicate»"},
        Run{"UnknownOption", {"read", "888", "--loud"}, WrongUsage, "la opción «--loud»"},
        Run{"Binary", {"read", "&H379", "--bin", "--simulated"}, Done, "0b01111000\n"},
        Run{"PulseBadIdle",
            {"pulse", "378h", "1", "--width", "1ms", "--idle", "x"},
            WrongUsage,
            "--idle «x» no es un valor"},
        Run{"PulseNoPeriod",
            {"pulse", "378h", "1", "--width", "1ms", "--count", "2"},
            WrongUsage,
            "hace falta --period"},
        Run{"PulseShortPeriod",
            {"pulse", "378h", "1", "--width", "1ms", "--count", "2", "--period", "1ms",
             "--simulated"},
            WrongUsage,
            "el periodo más corto que funciona es 1001us"},
        Run{"FastAlone", {"pins", "--watch", "--fast"}, WrongUsage, "--fast --duration 2s"},
        Run{"BadDuration",
            {"pins", "--watch", "--fast", "--duration", "2"},
            WrongUsage,
            "«2» no es una duración"},
        Run{"WatchJson",
            {"pins", "--watch", "--json", "--count", "1", "--simulated"},
            Done,
            "{\"t_us\":0,\"base\":888,\"data\":0,\"status\":120,"},
        Run{"Pulse",
            {"pulse", "378h", "1", "--width", "1us", "--json", "--simulated"},
            Done,
            "\"value\":1,\"idle\":0,\"pulses\":1,\"cancelled\":false"},
        Run{"Help", {"read", "--help"}, Done, "Estado de salida: 0 hecho"},
        Run{"Read", {"read", "889", "--hex"}, Done, "0x78\n"},
        Run{"Write", {"write", "888", "5"}, Done, ""},
        Run{"Pins", {"pins", "888"}, Done, " 11  Busy       entrada     1"},
        Run{"Watch", {"pins", "--watch", "--count", "2", "--interval", "10"}, Done, "hora,pin"},
        Run{"VcdOnAFullDisk",
            {"pins", "--watch", "--count", "2", "--interval", "10", "--vcd", "/dev/full"},
            Unreachable,
            "«/dev/full» no se pudo escribir entero"},
        Run{"VcdInNoFolder",
            {"pins", "--watch", "--count", "1", "--vcd", "/nonexistent/pins.vcd"},
            WrongUsage,
            "«/nonexistent/pins.vcd»: la carpeta no existe. Elija otro archivo."},
        Run{"ReadRefused", {"read", "278h"}, Unreachable, "leer el puerto 632 (278h): ninguna"},
        Run{"WriteRefused", {"write", "278h", "1"}, Unreachable, "escribir en el puerto 632"},
        Run{"PinsRefused", {"pins", "278h"}, Unreachable, "leer el puerto 632 (278h)"},
        Run{"NoRealPath",
            {"read", "378h"},
            Unreachable,
            "no hay ningún camino real al puerto 888 (378h): no está en el grupo lp.\n\nx\n\n«",
            true},
        Run{"Unexpected", {"read", "3BCh"}, Unreachable, "de forma inesperada: lectura rota"}),
    CaseName());

// Ctrl-C ends a train early, with the idle value written, and a script must be able to tell that
// from a whole train. In a child process of its own: the stop request outlives the command.
TEST(Pulse, CtrlCEndsTheTrainWithStatus130)
{
    const auto interrupted = [] {
        std::signal(SIGINT, SIG_DFL); // a run started in the background has it ignored
        std::thread([] {
            struct sigaction action
            {};
            for (; action.sa_handler == SIG_DFL; std::this_thread::yield())
                ::sigaction(SIGINT, nullptr, &action);
            ::kill(::getpid(), SIGINT);
        }).detach();
        const char *arguments[] = {"velmora", "pulse",   "378h",     "1",   "--width",    "1ms",
                                   "--count", "1000000", "--period", "2ms", "--simulated"};
        std::exit(run(int(std::size(arguments)), const_cast<char **>(arguments), {}));
    };
    EXPECT_EXIT(interrupted(), testing::ExitedWithCode(Interrupted), "");
}

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

// The self-test's exit statuses, a contract for scripts, and its reports, on the simulated port,
// with standard input no terminal, as in a script.
TEST(SelfTest, EndsWithTheStatusItsVerdictGives)
{
    const int input = ::dup(STDIN_FILENO);
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::dup2(nothing, STDIN_FILENO);
    const std::tuple<std::vector<const char *>, int, const char *> cases[] = {
        {{"--simulated=loopback", "--yes"},
         0,
         "  Tapón                 el tapón de bucle habitual (2→15 3→13 4→12 5→10 6→11)\n"},
        {{"--json", "--simulated=loopback", "--yes"},
         0,
         "\"plug\":\"datos\",\"no_plug\":false,\"wiring\":[[2,15],[3,13],[4,12],[5,10],[6,11]]"},
        {{"--simulated", "--yes"}, 4, "ninguno: ninguna entrada sigue a ninguna salida"},
        {{"--simulated", "--yes", "--json"}, 4, "\"exit_status\":4"},
        {{"278h", "--simulated", "--yes"}, 1, "No hay ningún puerto en 278h"},
        {{"--simulated=loopback"}, 2, "fuera de un terminal, confírmelo con --yes"},
        {{"--simulated=all", "--yes"}, 2, "solo admite «=loopback»"},
        {{"378h", "379h", "--yes"}, 2, "sobra «379h»"},
    };
    for (const auto &[options, status, text] : cases) {
        std::vector<const char *> arguments{"velmora", "selftest"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const auto simulatedOnly = [](port::Fallback, port::NoticeSink) -> port::Session {
            throw std::logic_error("the self-test reached for the machine's ports");
        };
        EXPECT_EQ(run(int(arguments.size()), const_cast<char **>(arguments.data()), simulatedOnly),
                  status)
            << text;
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_THAT(printed + testing::internal::GetCapturedStderr(), testing::HasSubstr(text));
    }
    ::dup2(input, STDIN_FILENO);
    ::close(input);
    ::close(nothing);
}

} // namespace
