#include "command_line.h"

#include "arguments.h"
#include "commands.h"
#include "pulse_command.h"
#include "selftest_command.h"
#include "velmora_version.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace command_line {

namespace {

// Qt's own options that take a value, and those that do not.
bool isQtOption(const std::string &arg, bool &takesValue)
{
    std::string name = arg;
    if (name.rfind("--", 0) == 0)
        name.erase(0, 1);
    const auto equals = name.find('=');
    const bool inline_ = equals != std::string::npos;
    if (inline_)
        name.erase(equals);
    for (const char *option : {"-platform", "-display", "-style", "-geometry", "-qwindowgeometry",
                               "-platformtheme", "-qwindowtitle", "-qwindowicon"}) {
        if (name == option) {
            takesValue = !inline_;
            return true;
        }
    }
    takesValue = false;
    return name == "-reverse";
}

const char *const Usage =
    "Uso: velmora                         abre la ventana\n"
    "     velmora read DIRECCIÓN [--hex|--bin] [--simulated]\n"
    "                                     lee un byte del puerto y lo escribe (en decimal)\n"
    "     velmora write DIRECCIÓN VALOR [--simulated]\n"
    "                                     escribe un byte en el puerto\n"
    "     velmora pins [BASE] [--json] [--watch [--interval MS] [--count N] [--vcd ARCHIVO]\n"
    "                  [--fast --duration D]] [--simulated]\n"
    "                                     los 17 pines de señal del conector de 25 pines\n"
    "     velmora pulse DIRECCIÓN VALOR --width D [--count N --period D] [--idle VALOR]\n"
    "                   [--json] [--simulated]\n"
    "                                     pulsos de VALOR, del ancho D, a un periodo\n"
    "     velmora ports [--json]          todos los puertos paralelos, qué camino llega a cada\n"
    "                                     uno para su usuario y, si no llega ninguno, qué hacer\n"
    "     velmora selftest [BASE] [--yes] [--json] [--simulated[=loopback]]\n"
    "                                     prueba el puerto con un tapón de bucle (man velmora)\n"
    "     velmora --help | --version\n"
    "\n"
    "DIRECCIÓN y BASE: decimal de 0 a 65535, o hexadecimal como 0x378, 378h o &H378.\n"
    "VALOR: decimal de 0 a 255, hexadecimal (0xA5, A5h, &HA5) o binario (0b10100101).\n"
    "BASE por omisión: el primer puerto que conoce el núcleo, o 378h.\n"
    "\n"
    "pins --watch vuelve a leer el puerto cada MS milisegundos (de 10 a 10000; 100 por\n"
    "omisión) y marca lo que cambia, hasta Ctrl-C o q. Fuera de un terminal escribe una\n"
    "línea CSV por cambio. Los pulsos más cortos que el intervalo (nStrobe y nAck duran\n"
    "microsegundos) no se ven. Cada muestra toma el puerto solo mientras lee, de modo que\n"
    "otros programas pueden usarlo a la vez; por ppdev, cualquier orden, incluso pins,\n"
    "deja los pines de control de este proceso (0Ch al empezar). La columna t_us, la\n"
    "última, son los microsegundos desde que empezó. --vcd ARCHIVO escribe además los\n"
    "niveles en un Value Change Dump (para PulseView o GTKWave); --json, un objeto JSON por\n"
    "muestra. --fast --duration D toma el puerto durante D, lee tan deprisa como puede y\n"
    "dice al acabar cuántas muestras tomó y el mayor hueco entre dos de ellas.\n"
    "\n"
    "pulse escribe VALOR, espera el ancho D y vuelve al valor de reposo (por omisión, el que\n"
    "tenía el registro), N veces a un periodo. D como 250us, 1ms o 0.5s. Toma el puerto\n"
    "durante todo el tren (otros programas esperan) y al acabar dice el ancho y el periodo\n"
    "conseguidos, medidos alrededor de las escrituras; Ctrl-C lo acaba en reposo.\n"
    "\n"
    "ports busca los puertos sin tocar ninguno: los del núcleo, las tarjetas PCI y PCIe,\n"
    "los del firmware, los del archivo del administrador y los adaptadores USB. Con --json\n"
    "escribe una lista JSON, un objeto por puerto (sus claves, en man velmora).\n"
    "\n"
    "--simulated usa el puerto simulado en lugar del real. Sin él, si no hay camino real\n"
    "a la dirección la orden falla: nunca se da un valor inventado por uno real.\n"
    "\n"
    "Estado de salida: 0 hecho; 1 no se pudo llegar al puerto; 2 uso incorrecto; de selftest\n"
    "además 3 un fallo, 4 sin fallos pero sin tapón, 130 interrumpida.\n"
    "Más detalles: man velmora.\n";

struct Parsed
{
    std::string command;
    std::vector<std::string> operands;
    bool hex = false;
    bool bin = false;
    bool watch = false;
    bool simulated = false;
    bool json = false;
    std::string interval;
    std::string count;
    std::optional<std::string> vcd;
    bool fast = false;
    std::optional<std::string> duration;
};

int wrongUsage(std::FILE *err, const std::string &message)
{
    std::fprintf(err, "velmora: %s\nVea «velmora --help».\n", message.c_str());
    return WrongUsage;
}

} // namespace

bool wantsWindow(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        bool takesValue = false;
        if (!isQtOption(argv[i], takesValue))
            return false;
        if (takesValue)
            ++i;
    }
    return true;
}

namespace {

int runCommand(int argc, char **argv, std::FILE *out, std::FILE *err)
{
#ifdef __linux__
    if (argc > 1 && std::strcmp(argv[1], "selftest") == 0)
        return selfTest(argc - 2, argv + 2, out, err);
    if (argc > 1 && std::strcmp(argv[1], "pulse") == 0)
        return pulseCommand(argc - 2, argv + 2, out, err);
#endif
    Parsed p;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](std::string &into) {
            if (i + 1 >= argc)
                return false;
            into = argv[++i];
            return true;
        };
        if (bool takesValue = false; isQtOption(arg, takesValue)) {
            i += takesValue ? 1 : 0; // Qt's own, which a command has no use for
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, out);
            return Done;
        }
        if (arg == "--version") {
            std::fputs("velmora " VELMORA_VERSION_TEXT "\n", out);
            return Done;
        }
        if (arg == "--hex")
            p.hex = true;
        else if (arg == "--bin")
            p.bin = true;
        else if (arg == "--watch")
            p.watch = true;
        else if (arg == "--simulated")
            p.simulated = true;
        else if (arg == "--json")
            p.json = true;
        else if (arg == "--fast")
            p.fast = true;
        else if (arg == "--vcd" || arg == "--duration") {
            std::string given;
            if (!value(given))
                return wrongUsage(err, arg == "--vcd" ? "falta el archivo tras --vcd"
                                                      : "falta la duración tras --duration");
            (arg == "--vcd" ? p.vcd : p.duration) = given;
        } else if (arg == "--interval") {
            if (!value(p.interval))
                return wrongUsage(err, "falta el número de milisegundos tras --interval");
        } else if (arg == "--count") {
            if (!value(p.count))
                return wrongUsage(err, "falta el número de muestras tras --count");
        } else if (arg.size() > 1 && arg[0] == '-')
            return wrongUsage(err, "no se conoce la opción «" + arg + "»");
        else if (p.command.empty())
            p.command = arg;
        else
            p.operands.push_back(arg);
    }

#ifndef __linux__
    (void)out;
    return wrongUsage(err, "la línea de órdenes de Velmora es la de Linux; en este sistema "
                           "abra Velmora sin argumentos para usar su ventana");
#else
    const auto address = [&](const std::string &text, std::uint16_t &into) {
        const auto parsed = parseAddress(text);
        if (parsed)
            into = *parsed;
        return parsed.has_value();
    };
    const auto badAddress = [&](const std::string &text) {
        return wrongUsage(err, "«" + text + "» no es una dirección de puerto; escríbala en "
                                   + AddressForms + ".");
    };
    const auto extra = [&](std::size_t allowed) {
        return p.operands.size() > allowed ? wrongUsage(
                   err, "sobra «" + p.operands[allowed] + "» en «velmora " + p.command + "»")
                                           : -1;
    };
    if (p.command.empty())
        return wrongUsage(err, "falta la orden: read, write, pins, pulse, ports o selftest");
    const bool onlyRead = !(p.hex || p.bin) || p.command == "read";
    const bool onlyPins =
        !(p.watch || !p.interval.empty() || !p.count.empty() || p.vcd || p.fast || p.duration)
        || p.command == "pins";
    const bool onlyJson = !p.json || p.command == "pins" || p.command == "ports";
    if (!onlyRead || !onlyPins || !onlyJson)
        return wrongUsage(err, "esa opción no es de «velmora " + p.command + "»");
    if (!p.watch && (!p.interval.empty() || !p.count.empty() || p.vcd || p.fast || p.duration))
        return wrongUsage(err,
                          "--interval, --count, --vcd, --fast y --duration son de «velmora pins "
                          "--watch»");
    if (p.fast != p.duration.has_value())
        return wrongUsage(err, "--fast y --duration van juntas: --fast --duration 2s");
    if (p.fast && (!p.interval.empty() || !p.count.empty()))
        return wrongUsage(err, "--fast muestrea tan deprisa como puede: sin --interval ni --count");

    if (p.command == "read" || p.command == "write") {
        const std::size_t wanted = p.command == "read" ? 1 : 2;
        if (p.operands.size() < wanted)
            return wrongUsage(err, p.command == "read" ? "falta la DIRECCIÓN que leer"
                                                       : "faltan la DIRECCIÓN y el VALOR");
        if (const int status = extra(wanted); status >= 0)
            return status;
        std::uint16_t port = 0;
        if (!address(p.operands[0], port))
            return badAddress(p.operands[0]);
        if (p.command == "read")
            return readPort(port,
                            p.hex   ? Format::Hex
                            : p.bin ? Format::Binary
                                    : Format::Decimal,
                            p.simulated, out, err);
        const auto value = parseValue(p.operands[1]);
        if (!value)
            return wrongUsage(err, "«" + p.operands[1]
                                       + "» no es un valor de un byte; escríbalo en " + ValueForms
                                       + ".");
        return writePort(port, *value, p.simulated, err);
    }
    if (p.command == "pins") {
        if (const int status = extra(1); status >= 0)
            return status;
        std::optional<std::uint16_t> base;
        if (!p.operands.empty()) {
            std::uint16_t given = 0;
            if (!address(p.operands[0], given))
                return badAddress(p.operands[0]);
            // Its three registers must lie within the 16-bit space.
            if (given > 0xFFFD)
                return wrongUsage(err, "la BASE de un puerto va hasta FFFDh, no «" + p.operands[0]
                                           + "»");
            base = given;
        }
        int interval = 100;
        if (!p.interval.empty()) {
            const auto ms = parseAddress(p.interval);
            if (!ms || *ms < 10 || *ms > 10000
                || p.interval.find_first_not_of("0123456789") != std::string::npos)
                return wrongUsage(err, "--interval va de 10 a 10000 milisegundos, no «" + p.interval
                                           + "»");
            interval = *ms;
        }
        long count = 0;
        if (!p.count.empty()) {
            char *end = nullptr;
            count = std::strtol(p.count.c_str(), &end, 10);
            if (*end || count < 1)
                return wrongUsage(err, "--count pide un número de muestras, no «" + p.count + "»");
        }
        WatchOutputs outputs;
        outputs.vcd = p.vcd.value_or("");
        outputs.json = p.json;
        if (p.duration) {
            outputs.fast = timing::parseDuration(*p.duration);
            if (!outputs.fast)
                return wrongUsage(err, "--duration «" + *p.duration + "» no es una duración; "
                                           + "escríbala como " + timing::DurationForms + ".");
        }
        return showPins(base, p.watch, interval, count, p.simulated, outputs, out, err);
    }
    if (p.command == "ports") {
        if (const int status = extra(0); status >= 0)
            return status;
        return listPorts(p.json, out);
    }
    return wrongUsage(err, "no se conoce la orden «" + p.command + "»");
#endif
}

} // namespace

int run(int argc, char **argv, std::FILE *out, std::FILE *err)
{
    // The last resort: whatever escapes a command is said in Spanish, never as an abort.
    try {
        return runCommand(argc, argv, out, err);
    } catch (const std::bad_alloc &) {
        std::fputs("velmora: no hay memoria suficiente para la orden.\n", err);
    } catch (const std::exception &error) {
        std::fprintf(err, "velmora: algo falló de forma inesperada: %s\n", error.what());
    } catch (...) {
        std::fputs("velmora: algo falló de forma inesperada: un error desconocido.\n", err);
    }
    return Unreachable;
}

} // namespace command_line
