#include "selftest.h"

#include "connector.h"

#include <cstdio>

namespace selftest {

namespace {

std::string hex(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02Xh", value);
    return text;
}

std::string pinList(const std::vector<int> &pins)
{
    std::string text;
    for (const int pin : pins)
        text += (text.empty() ? "" : ", ") + std::to_string(pin) + " "
                + port::signalPins()[std::size_t(pin - 1)].name;
    return text;
}

std::string wiringText(const std::vector<port::Wire> &wiring)
{
    std::string text;
    for (const port::Wire &wire : wiring) {
        // Appended piece by piece: GCC 12's -Wrestrict takes "literal" + std::string for an
        // overlap.
        text += text.empty() ? "" : " ";
        text += std::to_string(wire.output) + "→" + std::to_string(wire.input);
    }
    return text;
}

std::string latchText(const Latch &latch, const char *tested)
{
    if (latch.outcome == Outcome::Failed)
        return "falla: escrito " + hex(latch.written) + ", leído " + hex(latch.read);
    return std::string("pasa (") + tested + ")";
}

bool isInput(int pin)
{
    return port::signalPins()[std::size_t(pin - 1)].reg == port::Register::Status;
}

std::string verdictText(const PinResult &pin, bool input)
{
    switch (pin.verdict) {
    case Verdict::Pass:
        return (input ? "pasa: sigue al pin " : "pasa: la sigue el pin ") + pinList(pin.with);
    case Verdict::StuckLow:
        return "FALLO: atascado a 0";
    case Verdict::StuckHigh:
        return "FALLO: atascado a 1";
    case Verdict::Shorted: {
        const bool inputs = !pin.with.empty() && isInput(pin.with.front());
        if (pin.with.empty())
            return "FALLO: cambia sin seguir a ninguna línea";
        if (input == inputs)
            return "FALLO: en corto con " + pinList(pin.with);
        if (!input)
            return "FALLO: mueve " + pinList(pin.with) + " sin que la siga";
        return pin.with.size() > 1 ? "FALLO: sigue a la vez a " + pinList(pin.with)
                                   : "FALLO: cambia con " + pinList(pin.with) + " sin seguirla";
    }
    case Verdict::NotWired:
        return "sin cablear";
    case Verdict::Untested:
        break;
    }
    return "sin probar";
}

const char *const VerdictIds[] = {"pass",    "stuck_low", "stuck_high",
                                  "shorted", "not_wired", "untested"};

std::string quoted(const std::string &text)
{
    std::string json = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            json += {'\\', c};
        else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(c));
            json += escape;
        } else
            json += c;
    }
    return json + "\"";
}

std::string numbers(const std::vector<int> &values)
{
    std::string json;
    for (const int value : values) {
        json += json.empty() ? "" : ",";
        json += std::to_string(value);
    }
    return "[" + json + "]";
}

} // namespace

std::string textReport(const Result &r)
{
    std::string text = "Autoprueba del puerto " + hex(r.base) + "\n";
    if (r.ending == Ending::NoPort)
        return text + "No hay ningún puerto en " + hex(r.base)
               + ": todas las lecturas dan FFh. Compruebe la dirección con «velmora ports».\n";
    const auto line = [&](const std::string &part, const std::string &what) {
        // Padded by characters, not bytes: «ó» takes two in UTF-8.
        std::size_t width = 0;
        for (const char c : part)
            width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        text += "  " + part + std::string(22 - width, ' ') + what + "\n";
    };
    line("Registro de datos", r.data.outcome == Outcome::NotTested
                                  ? "sin probar"
                                  : latchText(r.data, "uno y cero que caminan, 00h FFh 55h AAh"));
    line("Registro de control",
         r.control.outcome != Outcome::NotTested ? latchText(r.control, "bits 0-3 y 5")
         : r.wiringTested ? "sin probar: por ppdev se lee la copia del controlador, no el registro"
                          : "sin probar");
    line("Bidireccional", !r.bidirectional   ? "sin probar"
                          : *r.bidirectional ? "sí: el bit de dirección se respeta"
                                             : "no: el bit de dirección no cambia nada");
    const std::string ecr = "ECR en " + hex(unsigned(r.ecpBlock + 2)) + ": ";
    line("Control ECP", r.ecr == Ecr::Present  ? ecr + "está (modo PS/2 durante la prueba)"
                        : r.ecr == Ecr::Absent ? ecr + "no está"
                                               : "sin probar: no hay bloque ECP a su alcance");
    if (r.wiringTested)
        line("Tapón", noPlug(r) ? "ninguno: ninguna entrada sigue a ninguna salida, así que solo "
                                  "se probaron los registros"
                      : r.plug  ? std::string(r.plug->name) + " (" + wiringText(r.wiring) + ")"
                      : r.wiring.empty()
                          ? "desconocido: ninguna entrada sigue a una sola salida"
                          : "desconocido, con estos cables: " + wiringText(r.wiring));

    if (r.wiringTested || r.data.outcome == Outcome::Failed
        || r.control.outcome == Outcome::Failed) {
        text += "\n Pin  Señal      Resultado\n";
        for (const PinResult &pin : r.pins) {
            const port::Pin &info = port::signalPins()[std::size_t(pin.pin - 1)];
            char head[32];
            std::snprintf(head, sizeof head, " %3d  %-10s ", pin.pin, info.name);
            text += head + verdictText(pin, info.reg == port::Register::Status) + "\n";
        }
    }

    text += "\n";
    switch (exitStatus(r)) {
    case Passed:
        text += "Resultado: todo lo probado pasa.\n";
        break;
    case Fault:
        text += "Resultado: se encontró al menos un fallo.\n";
        break;
    case NoPlug:
        text += "Resultado: sin fallos, pero sin tapón las entradas quedan sin probar.\n";
        break;
    case Cancelled:
        text += "Resultado: interrumpida con Ctrl-C antes de acabar.\n";
        break;
    default:
        text += "Resultado: falló un acceso al puerto, y la prueba se detuvo ahí.\n";
    }
    text += !r.restored ? "ATENCIÓN: no se pudieron dejar los registros como estaban: compruebe "
                          "lo que hay conectado y vuelva a escribirlos con «velmora write».\n"
            : r.ecr == Ecr::Present ? "Datos, control y ECR quedan como estaban.\n"
                                    : "Datos y control quedan como estaban.\n";
    return text + std::to_string(r.accesses) + " accesos al puerto en "
           + std::to_string(r.elapsed.count()) + " µs.\n";
}

std::string jsonReport(const Result &r)
{
    static const char *const endings[] = {"completed", "no_port", "access_failed", "cancelled"};
    static const char *const outcomes[] = {"not_tested", "passed", "failed"};
    static const char *const ecrs[] = {"not_probed", "absent", "present"};
    std::string json =
        "{\"base\":" + std::to_string(r.base) + ",\"ending\":\"" + endings[int(r.ending)]
        + "\",\"exit_status\":" + std::to_string(exitStatus(r))
        + ",\"failure\":" + (r.failure.empty() ? "null" : quoted(r.failure))
        + ",\"data_register\":\"" + outcomes[int(r.data.outcome)] + "\",\"control_register\":\""
        + outcomes[int(r.control.outcome)]
        + "\",\"bidirectional\":" + (r.bidirectional ? *r.bidirectional ? "true" : "false" : "null")
        + ",\"ecr\":\"" + ecrs[int(r.ecr)]
        + "\",\"ecp_block\":" + (r.ecr == Ecr::NotProbed ? "null" : std::to_string(r.ecpBlock))
        + ",\"plug\":" + (r.plug ? quoted(r.plug->id) : "null")
        + ",\"no_plug\":" + (noPlug(r) ? "true" : "false") + ",\"wiring\":[";
    for (std::size_t i = 0; i < r.wiring.size(); ++i) {
        json += i ? "," : "";
        json += numbers({r.wiring[i].output, r.wiring[i].input});
    }
    json += "],\"pins\":[";
    for (const PinResult &pin : r.pins)
        json += std::string(pin.pin > 1 ? "," : "") + "{\"pin\":" + std::to_string(pin.pin)
                + ",\"signal\":\"" + port::signalPins()[std::size_t(pin.pin - 1)].name
                + "\",\"verdict\":\"" + VerdictIds[int(pin.verdict)]
                + "\",\"with\":" + numbers(pin.with) + "}";
    return json + "],\"restored\":" + (r.restored ? "true" : "false")
           + ",\"accesses\":" + std::to_string(r.accesses)
           + ",\"microseconds\":" + std::to_string(r.elapsed.count()) + "}\n";
}

} // namespace selftest
