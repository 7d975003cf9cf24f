#include "command_line.h"
#include "commands.h"
#include "watch.h"

#include "host.h"
#include "selftest.h"
#include "simulated_port.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace command_line {

namespace {

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

int selfTest(const SelftestOptions &options, const port::SessionOpener &openPorts, std::FILE *out,
             std::FILE *err)
{
    const std::uint16_t base =
        options.base.value_or(options.simulated ? port::FirstPortBase : defaultBase());
    if (!options.yes && !isTerminal(stdin))
        return wrongUsage(err, "la autoprueba mueve todas las salidas del puerto; fuera de un "
                               "terminal, confírmelo con --yes");

    selftest::Options test;
    std::optional<port::Session> session;
    if (options.simulated) {
        std::vector<port::Wire> wires;
        if (options.loopback)
            wires.assign(selftest::knownPlugs().front().wires.begin(),
                         selftest::knownPlugs().front().wires.end());
        session.emplace(std::make_unique<port::SimulatedPort>(false, wires));
    } else {
        session = openPort(base, false, openPorts, err);
        if (!session)
            return Unreachable;
        test = selftest::optionsFor(*session, base);
    }
    if (!options.yes && !confirmed(base, err)) {
        std::fputs("velmora: no se ha tocado el puerto.\n", err);
        return selftest::Cancelled;
    }
    stopOnSignals();
    test.cancel = &stopFlag();
    std::fflush(err); // said before the test, where the stream is buffered (velmora.com)
    const selftest::Result result = selftest::run(*session, base, test);
    if (result.ending == selftest::Ending::AccessFailed)
        std::fprintf(err, "velmora: %s\n", result.failure.c_str());
    std::fputs((options.json ? selftest::jsonReport(result) : selftest::textReport(result)).c_str(),
               out);
    return selftest::exitStatus(result);
}

} // namespace command_line
