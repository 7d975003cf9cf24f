#include "commands.h"

#include "command_line.h"
#include "pins.h"
#include "watch.h"

#include "fast_sampler.h"
#include "host.h"
#include "number_text.h"
#include "port_error.h"
#include "sample_stream.h"
#include "selftest.h"
#include "simulated_port.h"
#include "system_clock.h"

#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace command_line {

namespace {

int failed(const port::Session &session, const port::PortError &error, std::FILE *err)
{
    std::fprintf(err, "velmora: %s\n", session.explain(error).c_str());
    return Unreachable;
}

// Why a file could not be written, in Spanish: strerror speaks the C locale's English.
std::string fileReason(int error)
{
    switch (error) {
    case ENOSPC:
        return "no queda sitio en el disco";
    case EACCES:
    case EPERM:
        return "no tiene permiso para escribir ahí";
    case ENOENT:
        return "la carpeta no existe";
    case EROFS:
        return "el disco es de solo lectura";
    case EISDIR:
        return "es una carpeta";
    case EINVAL:
        return "el nombre no es válido";
    case EIO:
        return "el disco dio un error de entrada/salida";
    default:
        return "el sistema dio el error " + port::errnoName(error);
    }
}

int watchInto(std::FILE *vcd, port::Session &session, std::uint16_t base, bool own, bool json,
              const WatchOptions &options, std::FILE *out, std::FILE *err);

// The watch, and its VCD file closed: a file the disk could not take whole is said, since a
// waveform that ends early looks like a line that stopped changing.
int watch(port::Session &session, std::uint16_t base, bool own, bool json,
          const WatchOptions &options, std::FILE *out, std::FILE *err)
{
    std::FILE *vcd = nullptr;
    if (options.vcd) {
        vcd = openForWriting(*options.vcd);
        if (!vcd) {
            std::fprintf(err, "velmora: no se puede escribir «%s»: %s. Elija otro archivo.\n",
                         options.vcd->c_str(), fileReason(errno).c_str());
            return WrongUsage;
        }
    }
    const int status = watchInto(vcd, session, base, own, json, options, out, err);
    if (!vcd)
        return status;
    const bool written = !std::ferror(vcd);
    errno = 0;
    if (std::fclose(vcd) == 0 && written)
        return status;
    std::fprintf(err,
                 "velmora: «%s» no se pudo escribir entero%s%s: el archivo está incompleto. "
                 "Compruebe que queda sitio en el disco y repita la vigilancia.\n",
                 options.vcd->c_str(), errno ? ": " : "", errno ? fileReason(errno).c_str() : "");
    return Unreachable;
}

int watchInto(std::FILE *vcd, port::Session &session, std::uint16_t base, bool own, bool json,
              const WatchOptions &options, std::FILE *out, std::FILE *err)
{
    stopOnSignals();
    // Outside a terminal the first line is the CSV header: the note goes to standard error.
    const bool terminal = isTerminal(out) && !json && !options.fast;
    std::vector<std::unique_ptr<WatchView>> owned;
    if (terminal)
        owned.push_back(terminalView(out, base, options.intervalMs, own));
    else
        owned.push_back(json ? jsonLines(out, base) : csvLog(out, own));
    if (vcd)
        owned.push_back(vcdDump(vcd));
    std::vector<WatchView *> views;
    for (const auto &view : owned)
        views.push_back(view.get());
    if (!options.fast) {
        if (!terminal)
            std::fprintf(err, "velmora: pins %Xh cada %d ms; los pulsos más cortos no se ven.%s\n",
                         unsigned(base), options.intervalMs,
                         own ? " Por ppdev, los pines de control 1 14 16 y 17 son los de este "
                               "proceso: no se pueden observar."
                             : "");
        std::fflush(err); // said before the watch, where the stream is buffered (velmora.com)
        watchPins(session, base, options, views);
        return Done;
    }
    // Only ppdev has a claim to hold; the helper and the direct path serve others meanwhile.
    if (own)
        std::fprintf(err, "velmora: --fast toma el puerto durante toda la vigilancia: otros "
                          "programas esperan a que acabe.\n");
    if (const std::string note = timing::requestRealtime(); !note.empty())
        std::fprintf(err, "velmora: %s\n", note.c_str());
    std::fflush(err);
    try {
        const timing::SamplingReport report = watchFast(session, base, *options.fast, views);
        std::fprintf(err,
                     "velmora: %ld muestras en %.3f s, %.0f por segundo; el mayor hueco entre "
                     "dos muestras fue de %.1f µs (un pulso más corto puede no verse).\n",
                     report.samples, double(report.elapsed.count()) / 1e9, report.perSecond(),
                     double(report.longestGap.count()) / 1e3);
        return Done;
    } catch (const port::PortError &error) {
        return failed(session, error, err);
    }
}

} // namespace

std::optional<port::Session> openPort(std::uint16_t address, bool simulated,
                                      const port::SessionOpener &openPorts, std::FILE *err)
{
    if (simulated)
        return port::Session(std::make_unique<port::SimulatedPort>());
    port::Session session = openPorts(port::Fallback::Fail, [err](const std::string &notice) {
        std::fprintf(err, "velmora: %s\n", notice.c_str());
    });
    if (!session.openNow()) {
        const port::PortFailure failure = session.advice(
            address, {session.whyNot(), "«velmora ports» dice qué falta y cómo conseguirlo.", 0});
        std::fprintf(
            err, "velmora: %s\n\n«--simulated» usa el puerto simulado.\n",
            port::failureText("no hay ningún camino real al puerto", address, failure).c_str());
        return std::nullopt;
    }
    return session;
}

int readPort(const ReadOptions &options, const port::SessionOpener &openPorts, std::FILE *out,
             std::FILE *err)
{
    auto session = openPort(options.address, options.simulated, openPorts, err);
    if (!session)
        return Unreachable;
    try {
        const auto value = static_cast<std::uint8_t>(session->read(options.address));
        if (options.format == Format::Hex)
            std::fprintf(out, "0x%02X\n", unsigned(value));
        else if (options.format == Format::Binary)
            std::fprintf(out, "0b%s\n",
                         number_text::BitText(value, number_text::BitOrder::HighFirst).c_str());
        else
            std::fprintf(out, "%u\n", unsigned(value));
        return Done;
    } catch (const port::PortError &error) {
        return failed(*session, error, err);
    }
}

int writePort(const WriteOptions &options, const port::SessionOpener &openPorts, std::FILE *err)
{
    auto session = openPort(options.address, options.simulated, openPorts, err);
    if (!session)
        return Unreachable;
    try {
        session->write(options.address, options.value);
        return Done;
    } catch (const port::PortError &error) {
        return failed(*session, error, err);
    }
}

int showPins(const PinsOptions &options, const port::SessionOpener &openPorts, std::FILE *out,
             std::FILE *err)
{
    const std::uint16_t base =
        options.base.value_or(options.simulated ? port::FirstPortBase : defaultBase());
    auto session = openPort(base, options.simulated, openPorts, err);
    if (!session)
        return Unreachable;
    // Through ppdev the control register read back is this process's own, not the pins.
    const bool own = !selftest::optionsFor(*session, base).controlReadsHardware;
    if (options.watch)
        return watch(*session, base, own, options.json, *options.watch, out, err);
    try {
        const Registers registers = [&] {
            const port::Action snapshot = session->beginAction();
            return timing::readRegisters(*session, base);
        }();
        if (options.json)
            timing::JsonLinesWriter(out, base).sample(0, registers);
        else
            std::fputs(pinTable(base, registers, own).c_str(), out);
        return Done;
    } catch (const port::PortError &error) {
        return failed(*session, error, err);
    }
}

int listPorts(const PortsOptions &options, std::FILE *out, std::FILE *err)
{
    std::string note;
    std::fputs(portsReport(options.json, note).c_str(), out);
    if (!note.empty())
        std::fprintf(err, "velmora: %s", note.c_str());
    return Done;
}

} // namespace command_line
