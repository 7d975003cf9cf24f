#include "command_line.h"

#include "options.h"
#include "velmora_version.h"

#if defined(__linux__) || defined(_WIN32)
#include "commands.h"
#endif

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
    "BASE por omisión: el primer puerto del núcleo (en Windows, el primer LPT) o 378h.\n"
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

const char *const PulseUsage =
    "Uso: velmora pulse DIRECCIÓN VALOR --width D [--count N --period D] [--idle VALOR]\n"
    "                   [--json] [--simulated]\n"
    "Escribe VALOR, espera el ancho D y escribe el valor de reposo (por omisión el que tenía\n"
    "el registro); con --count, N veces, una cada periodo. D como 250us, 1ms o 0.5s.\n"
    "Toma el puerto durante todo el tren; Ctrl-C lo acaba con el valor de reposo escrito.\n";

int wrongUsage(std::FILE *err, const UsageError &usage)
{
    std::fprintf(err, "velmora: %s\nVea «%s».\n", usage.message.c_str(), usage.help.c_str());
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

// Sorts the arguments into the command, its operands and the options; --help and --version
// answer at once.
std::optional<Arguments> sortArguments(int argc, char **argv, std::FILE *out)
{
    Arguments a;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](std::optional<std::string> &into, const std::string &missing) {
            if (i + 1 >= argc)
                throw UsageError{missing,
                                 a.command == "pulse" ? "velmora pulse --help" : "velmora --help"};
            into = argv[++i];
        };
        if (bool takesValue = false; isQtOption(arg, takesValue)) {
            i += takesValue ? 1 : 0; // Qt's own, which a command has no use for
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(a.command == "pulse" ? PulseUsage : Usage, out);
            return std::nullopt;
        }
        if (arg == "--version") {
            std::fputs("velmora " VELMORA_VERSION_TEXT "\n", out);
            return std::nullopt;
        }
        if (arg.size() > 1 && arg[0] == '-')
            a.options.push_back(arg.rfind("--simulated=", 0) == 0 ? "--simulated=" : arg);
        if (arg == "--hex")
            a.hex = true;
        else if (arg == "--bin")
            a.bin = true;
        else if (arg == "--watch")
            a.watch = true;
        else if (arg == "--simulated")
            a.simulated = true;
        else if (arg.rfind("--simulated=", 0) == 0) {
            a.simulated = true;
            a.simulatedAs = arg.substr(std::strlen("--simulated="));
        } else if (arg == "--json")
            a.json = true;
        else if (arg == "--fast")
            a.fast = true;
        else if (arg == "--yes")
            a.yes = true;
        else if (arg == "--interval")
            value(a.interval, "falta el número de milisegundos tras --interval");
        else if (arg == "--count")
            value(a.count, a.command == "pulse" ? "falta el número de pulsos tras --count"
                                                : "falta el número de muestras tras --count");
        else if (arg == "--vcd")
            value(a.vcd, "falta el archivo tras --vcd");
        else if (arg == "--duration")
            value(a.duration, "falta la duración tras --duration");
        else if (arg == "--width" || arg == "--period")
            value(arg == "--width" ? a.width : a.period, "falta la duración tras " + arg);
        else if (arg == "--idle")
            value(a.idle, "falta el VALOR de reposo tras --idle");
        else if (arg.size() > 1 && arg[0] == '-')
            throw UsageError{"no se conoce la opción «" + arg + "»"};
        else if (a.command.empty())
            a.command = arg;
        else
            a.operands.push_back(arg);
    }
    return a;
}

int runCommand(int argc, char **argv, const port::SessionOpener &openPorts, std::FILE *out,
               std::FILE *err)
{
    try {
        const std::optional<Arguments> a = sortArguments(argc, argv, out);
        if (!a)
            return Done;
#if !defined(__linux__) && !defined(_WIN32)
        (void)openPorts;
        throw UsageError{"este sistema no tiene la línea de órdenes de Velmora; abra Velmora sin "
                         "argumentos para usar su ventana"};
#else
        if (a->command.empty())
            throw UsageError{"falta la orden: read, write, pins, pulse, ports o selftest"};
        if (a->command == "read")
            return readPort(parseRead(*a), openPorts, out, err);
        if (a->command == "write")
            return writePort(parseWrite(*a), openPorts, err);
        if (a->command == "pins")
            return showPins(parsePins(*a), openPorts, out, err);
        if (a->command == "pulse")
            return pulseTrain(parsePulse(*a), openPorts, out, err);
        if (a->command == "ports")
            return listPorts(parsePorts(*a), out, err);
        if (a->command == "selftest")
            return selfTest(parseSelftest(*a), openPorts, out, err);
        throw unknownCommand(*a);
#endif
    } catch (const UsageError &usage) {
        return wrongUsage(err, usage);
    }
}

} // namespace

int run(int argc, char **argv, const port::SessionOpener &openPorts, std::FILE *out, std::FILE *err)
{
    // The last resort: whatever escapes a command is said in Spanish, never as an abort.
    try {
        return runCommand(argc, argv, openPorts, out, err);
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
