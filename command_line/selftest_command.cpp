#include "selftest_command.h"

#include "arguments.h"
#include "command_line.h"

#include "inpout.h"
#include "portio_policy.h"
#include "routing_port.h"
#include "selftest.h"
#include "simulated_port.h"

#include <csignal>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

namespace command_line {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

// As pins --watch does: Ctrl-C and the like only ask the test to stop, so that it restores the
// port first; a signal that the script starting it ignored stays ignored.
void stopOnSignals()
{
    for (const int signal : {SIGINT, SIGTERM, SIGQUIT, SIGHUP}) {
        struct sigaction action
        {};
        ::sigaction(signal, nullptr, &action);
        if (action.sa_handler == SIG_IGN)
            continue;
        action.sa_handler = requestStop;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        ::sigaction(signal, &action, nullptr);
    }
}

int wrongUsage(std::FILE *err, const std::string &message)
{
    std::fprintf(err, "velmora: %s\nVea «velmora --help».\n", message.c_str());
    return WrongUsage;
}

bool confirmed(std::uint16_t base, std::FILE *err)
{
    std::fprintf(err,
                 "La autoprueba mueve todas las líneas de salida del puerto %Xh: las 8 de datos "
                 "(pines 2 a 9) y las 4 de control (pines 1, 14, 16 y 17). Un aparato conectado, "
                 "como una impresora, recibiría esas señales: desconéctelo y, si tiene un tapón "
                 "de bucle, póngalo. Al acabar, datos y control quedan como estaban.\n"
                 "¿Seguir? [s/N] ",
                 unsigned(base));
    std::fflush(err);
    char answer[16] = "";
    return std::fgets(answer, sizeof answer, stdin) && (answer[0] == 's' || answer[0] == 'S');
}

} // namespace

int selfTest(int argc, char **argv, std::FILE *out, std::FILE *err)
{
    std::optional<std::uint16_t> base;
    bool yes = false;
    bool json = false;
    std::optional<std::vector<port::Wire>> simulated;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            char name[] = "velmora";
            char help[] = "--help";
            char *arguments[] = {name, help, nullptr};
            return run(2, arguments, out, err);
        }
        if (arg == "--yes")
            yes = true;
        else if (arg == "--json")
            json = true;
        else if (arg == "--simulated")
            simulated.emplace();
        else if (arg == "--simulated=loopback") {
            const auto &wires = selftest::knownPlugs().front().wires;
            simulated.emplace(wires.begin(), wires.end());
        } else if (arg.size() > 1 && arg[0] == '-')
            return wrongUsage(err, arg.rfind("--simulated=", 0) == 0
                                       ? "--simulated solo admite «=loopback», no «" + arg + "»"
                                       : "esa opción no es de «velmora selftest»: «" + arg + "»");
        else if (base)
            return wrongUsage(err, "sobra «" + arg + "» en «velmora selftest»");
        else if (const auto given = parseAddress(arg); !given)
            return wrongUsage(err, "«" + arg + "» no es una dirección de puerto; escríbala en "
                                       + AddressForms + ".");
        else if (*given > 0xFFFD) // its three registers must lie within the 16-bit space
            return wrongUsage(err, "la BASE de un puerto va hasta FFFDh, no «" + arg + "»");
        else
            base = *given;
    }
    const auto kernel = portio::kernelPorts();
    if (!base)
        base = simulated || kernel.empty() ? std::uint16_t(0x378) : kernel.front().base;
    if (!yes && !::isatty(STDIN_FILENO))
        return wrongUsage(err, "la autoprueba mueve todas las salidas del puerto; fuera de un "
                               "terminal, confírmelo con --yes");

    selftest::Options options;
    std::unique_ptr<port::PortDriver> driver;
    if (simulated) {
        driver = std::make_unique<port::SimulatedPort>(false, *simulated);
    } else {
        port::setNoticeHandler([err](const std::string &notice) {
            std::fprintf(err, "velmora: %s\n", notice.c_str());
        });
        std::string whyNot;
        auto routing = port::RoutingPort::open(port::PortSystem{}, whyNot);
        if (!routing) {
            std::fprintf(err,
                         "velmora: no hay ningún camino real a los puertos de este equipo: %s.\n\n"
                         "«velmora ports» dice qué falta y cómo conseguirlo; «--simulated» usa el "
                         "puerto simulado.\n",
                         whyNot.c_str());
            return Unreachable;
        }
        options.controlReadsHardware = !routing->throughPpdev(std::uint16_t(*base + 2));
        // The kernel's port names its ECP block (on a PCI card it is not base + 400h); other
        // ports have theirs where an ISA port does.
        unsigned ecp = *base + 0x400u;
        for (const portio::KernelPort &port : kernel)
            if (port.base == *base && port.highBase)
                ecp = port.highBase;
        if (ecp + 2 <= 0xFFFF && routing->route(std::uint16_t(ecp + 2)) != port::Route::None)
            options.ecpBlock = std::uint16_t(ecp);
        driver = std::move(routing);
    }
    if (!yes && !confirmed(*base, err)) {
        std::fputs("velmora: no se ha tocado el puerto.\n", err);
        return selftest::Cancelled;
    }
    stopOnSignals();
    options.cancel = &stopRequested;
    const selftest::Result result = selftest::run(*driver, *base, options);
    if (result.ending == selftest::Ending::AccessFailed)
        std::fprintf(err, "velmora: %s\n", result.failure.c_str());
    std::fputs((json ? selftest::jsonReport(result) : selftest::textReport(result)).c_str(), out);
    return selftest::exitStatus(result);
}

} // namespace command_line
