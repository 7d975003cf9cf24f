#include "selftest.h"

#include "connector.h"
#include "port_error.h"

#include <algorithm>

namespace selftest {

namespace {

using port::Pin;
using port::Register;
using port::Registers;

constexpr std::uint8_t ControlLines = 0x0F;
constexpr std::uint8_t ControlLatchBits = ControlLines | port::ControlReverse;

struct Stop
{};

// The driver as the test uses it: every access counted, the cancel flag looked at before each
// one, and a note of whether any read gave more than a floating bus.
class Port
{
public:
    Port(port::Session &session, const Options &options)
        : m_driver(session)
        , m_options(options)
    {}

    std::uint8_t read(std::uint16_t address)
    {
        stopIfAsked();
        ++accesses;
        const auto value = static_cast<std::uint8_t>(m_driver.read(address));
        answered = answered || value != 0xFF;
        return value;
    }
    void write(std::uint16_t address, std::uint8_t value)
    {
        stopIfAsked();
        put(address, value);
    }
    // A write that is made even after Ctrl-C: the restoring ones.
    void put(std::uint16_t address, std::uint8_t value)
    {
        ++accesses;
        m_driver.write(address, value);
    }
    void settle() const
    {
        const auto end = std::chrono::steady_clock::now() + m_options.settle;
        while (std::chrono::steady_clock::now() < end) {
        }
    }

    long accesses = 0;
    bool answered = false;

private:
    void stopIfAsked() const
    {
        if (m_options.cancel && *m_options.cancel)
            throw Stop{};
    }

    port::Session &m_driver;
    const Options &m_options;
};

std::vector<int> column(const std::vector<std::uint8_t> &bytes, int bit)
{
    std::vector<int> bits;
    for (const std::uint8_t byte : bytes)
        bits.push_back((byte >> bit) & 1);
    return bits;
}

bool constant(const std::vector<int> &levels, int level)
{
    return std::all_of(levels.begin(), levels.end(), [&](int l) { return l == level; });
}

// Writes each value and reads it back; a bit that does not follow is stuck, or reads as another
// bit does (shorted to it). Faults go to the pins of the register's bits, at the connector.
Latch exerciseLatch(Port &port, std::uint16_t address, const std::vector<std::uint8_t> &values,
                    std::uint8_t mask, Register reg, Result &result)
{
    Latch latch{Outcome::Passed};
    std::vector<std::uint8_t> read;
    for (const std::uint8_t value : values) {
        port.write(address, value);
        port.settle();
        read.push_back(static_cast<std::uint8_t>(port.read(address) & mask));
        if (read.back() != value && latch.outcome == Outcome::Passed)
            latch = {Outcome::Failed, value, read.back()};
    }
    for (const Pin &pin : port::signalPins()) {
        const std::vector<int> got = column(read, pin.bit);
        if (pin.reg != reg || got == column(values, pin.bit))
            continue;
        PinResult &out = result.pins[std::size_t(pin.number - 1)];
        if (constant(got, 0) || constant(got, 1))
            out.verdict =
                constant(got, pin.inverted ? 1 : 0) ? Verdict::StuckLow : Verdict::StuckHigh;
        else {
            out.verdict = Verdict::Shorted;
            for (const Pin &other : port::signalPins())
                if (other.reg == reg && &other != &pin && column(read, other.bit) == got)
                    out.with.push_back(other.number);
        }
    }
    return latch;
}

// The kernel's own probe for an ECR (parport_pc's check that one is present), step by step:
// on old cards the ECR address aliases the control register, so with control bits 0-1 equal
// in both, bit 1 of control is toggled and an ECR that toggles with it is no ECR; a real one
// reads its FIFO as empty and not full (bits 0-1 = 01); and 34h written must read back 35h.
// That write leaves the port in PS/2 mode (bits 7-5 = 001), where the direction bit works,
// with no interrupt nor DMA: the test keeps it so until it restores the ECR as it found it.
Ecr probeEcr(Port &port, std::uint16_t control, std::uint16_t ecr, bool &written)
{
    port.write(control, 0x0C);
    if ((port.read(ecr) & 0x03) == (0x0C & 0x03)) {
        port.write(control, 0x0E);
        const std::uint8_t r = port.read(control);
        if ((port.read(ecr) & 0x02) == (r & 0x02))
            return Ecr::Absent;
    }
    if ((port.read(ecr) & 0x03) != 0x01)
        return Ecr::Absent;
    written = true;
    port.write(ecr, 0x34);
    return port.read(ecr) == 0x35 ? Ecr::Present : Ecr::Absent;
}

std::vector<std::uint8_t> dataPatterns()
{
    std::vector<std::uint8_t> values;
    for (int bit = 0; bit < 8; ++bit)
        values.push_back(static_cast<std::uint8_t>(1 << bit));
    for (int bit = 0; bit < 8; ++bit)
        values.push_back(static_cast<std::uint8_t>(~(1 << bit)));
    for (const std::uint8_t value : {0x00, 0xFF, 0x55, 0xAA})
        values.push_back(value);
    return values;
}

std::vector<std::uint8_t> controlPatterns()
{
    std::vector<std::uint8_t> values{0x00, ControlLatchBits};
    for (const int bit : {0, 1, 2, 3, 5}) {
        values.push_back(static_cast<std::uint8_t>(1 << bit));
        values.push_back(static_cast<std::uint8_t>(ControlLatchBits & ~(1 << bit)));
    }
    return values;
}

// The levels seen at the inputs for each pattern at the outputs: all low, all high, then each
// output alone high and alone low.
struct Wiring
{
    std::vector<const Pin *> outputs;
    std::vector<const Pin *> inputs;
    std::vector<std::vector<int>> driven; // [output][pattern]
    std::vector<std::vector<int>> seen;   // [input][pattern]
};

Wiring traceWiring(Port &port, std::uint16_t base)
{
    Wiring w;
    for (const Pin &pin : port::signalPins())
        (pin.reg == Register::Status ? w.inputs : w.outputs).push_back(&pin);
    w.driven.resize(w.outputs.size());
    w.seen.resize(w.inputs.size());
    const std::size_t patterns = 2 + 2 * w.outputs.size();
    for (std::size_t p = 0; p < patterns; ++p) {
        Registers lines;
        for (std::size_t i = 0; i < w.outputs.size(); ++i) {
            const int high = p < 2 ? int(p) : (p - 2) / 2 == i ? (p % 2 == 0) : (p % 2 == 1);
            w.driven[i].push_back(high);
            const Pin &pin = *w.outputs[i];
            const int bit = (pin.inverted ? high ^ 1 : high) << pin.bit;
            (pin.reg == Register::Data ? lines.data : lines.control) |= std::uint8_t(bit);
        }
        port.write(base, lines.data);
        port.write(base + 2, lines.control);
        port.settle();
        lines.status = port.read(base + 1);
        for (std::size_t j = 0; j < w.inputs.size(); ++j)
            w.seen[j].push_back(port::level(*w.inputs[j], lines));
    }
    return w;
}

bool faulty(Verdict verdict)
{
    return verdict == Verdict::StuckLow || verdict == Verdict::StuckHigh
           || verdict == Verdict::Shorted;
}

const Plug *matchingPlug(const std::vector<port::Wire> &wiring)
{
    // A plug with a broken wire or two is still that plug; a wire it does not have is not.
    for (const Plug &plug : knownPlugs())
        if (wiring.size() >= 3 && std::all_of(wiring.begin(), wiring.end(), [&](auto wire) {
                return std::find(plug.wires.begin(), plug.wires.end(), wire) != plug.wires.end();
            }))
            return &plug;
    return nullptr;
}

void judgeWiring(const Wiring &w, Result &result)
{
    const std::size_t outputs = w.outputs.size();
    std::vector<int> follows(w.inputs.size(), -1);
    std::vector<std::vector<std::size_t>> moves(w.inputs.size()); // the outputs that move it
    for (std::size_t j = 0; j < w.inputs.size(); ++j) {
        const std::vector<int> &seen = w.seen[j];
        for (std::size_t i = 0; i < outputs; ++i) {
            if (seen == w.driven[i]) {
                follows[j] = int(i);
                result.wiring.push_back({w.outputs[i]->number, w.inputs[j]->number});
            }
            if (seen[2 + 2 * i] != seen[0] || seen[3 + 2 * i] != seen[1])
                moves[j].push_back(i);
        }
    }
    std::sort(result.wiring.begin(), result.wiring.end(),
              [](auto a, auto b) { return a.output < b.output; });
    result.plug = matchingPlug(result.wiring);
    const auto pinOf = [&](const Pin *pin) -> PinResult & {
        return result.pins[std::size_t(pin->number - 1)];
    };
    const auto plugOutput = [&](const Pin *input) -> const Pin * {
        if (result.plug)
            for (const port::Wire &wire : result.plug->wires)
                if (wire.input == input->number)
                    return &port::signalPins()[std::size_t(wire.output - 1)];
        return nullptr;
    };

    for (std::size_t j = 0; j < w.inputs.size(); ++j) {
        PinResult &pin = pinOf(w.inputs[j]);
        const std::vector<int> &seen = w.seen[j];
        const Pin *source = plugOutput(w.inputs[j]);
        if (follows[j] >= 0) {
            pin = {pin.pin, Verdict::Pass, {w.outputs[std::size_t(follows[j])]->number}};
        } else if (!moves[j].empty()) {
            pin.verdict = Verdict::Shorted;
            for (std::size_t k = 0; k < w.inputs.size(); ++k)
                if (k != j && follows[k] < 0 && w.seen[k] == seen)
                    pin.with.push_back(w.inputs[k]->number);
            if (pin.with.empty())
                for (const std::size_t i : moves[j])
                    pin.with.push_back(w.outputs[i]->number);
        } else if (source && faulty(pinOf(source).verdict)) {
            pin.verdict = Verdict::Untested; // its output is the one at fault
        } else if (constant(seen, 0)) {
            pin.verdict = Verdict::StuckLow;
        } else if (constant(seen, 1)) {
            // An input with nothing on it floats high, so high is a fault only where a plug's
            // wire should move it.
            pin.verdict = source ? Verdict::StuckHigh : Verdict::NotWired;
        } else {
            pin.verdict = Verdict::Shorted;
        }
    }
    for (std::size_t i = 0; i < outputs; ++i) {
        PinResult &pin = pinOf(w.outputs[i]);
        if (faulty(pin.verdict))
            continue; // its latch already failed
        std::vector<int> followers;
        std::vector<int> partners;
        std::vector<int> moved; // inputs it moves without their following it
        for (std::size_t j = 0; j < w.inputs.size(); ++j) {
            if (follows[j] == int(i))
                followers.push_back(w.inputs[j]->number);
            if (std::find(moves[j].begin(), moves[j].end(), i) == moves[j].end())
                continue;
            moved.push_back(w.inputs[j]->number);
            for (const std::size_t k : moves[j])
                if (k != i
                    && std::count(partners.begin(), partners.end(), w.outputs[k]->number) == 0)
                    partners.push_back(w.outputs[k]->number);
        }
        const bool inPlug =
            result.plug
            && std::any_of(result.plug->wires.begin(), result.plug->wires.end(),
                           [&](auto wire) { return wire.output == w.outputs[i]->number; });
        if (!followers.empty())
            pin = {pin.pin, Verdict::Pass, followers};
        else if (!moved.empty())
            pin = {pin.pin, Verdict::Shorted, partners.empty() ? moved : partners};
        else
            pin.verdict = inPlug ? Verdict::Untested : Verdict::NotWired;
    }
}

} // namespace

const std::array<Plug, 2> &knownPlugs()
{
    static const std::array<Plug, 2> plugs{{
        {"datos", "el tapón de bucle habitual", {{{2, 15}, {3, 13}, {4, 12}, {5, 10}, {6, 11}}}},
        {"control",
         "el tapón de bucle de las líneas de control",
         {{{2, 15}, {1, 13}, {14, 12}, {16, 10}, {17, 11}}}},
    }};
    return plugs;
}

Result run(port::Session &session, std::uint16_t base, const Options &options)
{
    Result result;
    result.base = base;
    for (std::size_t i = 0; i < result.pins.size(); ++i)
        result.pins[i].pin = int(i) + 1;
    const auto started = std::chrono::steady_clock::now();
    const std::uint16_t data = base;
    const std::uint16_t control = base + 2;
    const std::uint16_t ecr = options.ecpBlock ? std::uint16_t(*options.ecpBlock + 2) : 0;
    result.ecpBlock = options.ecpBlock.value_or(0);

    const port::Action whole = session.beginAction();
    Port port(session, options);
    std::optional<std::uint8_t> savedData;
    std::optional<std::uint8_t> savedControl;
    std::optional<std::uint8_t> savedEcr;
    bool ecrWritten = false;
    std::optional<port::PortError> failed;
    try {
        savedData = port.read(data);
        savedControl = port.read(control);
        port.read(base + 1);
        if (options.ecpBlock) {
            savedEcr = port.read(ecr);
            result.ecr = probeEcr(port, control, ecr, ecrWritten);
        }
        // Forward, the interrupt off, the control lines as they were.
        const std::uint8_t rest = *savedControl & ControlLines;
        port.write(control, rest);
        result.data = exerciseLatch(port, data, dataPatterns(), 0xFF, Register::Data, result);
        if (!port.answered) {
            result.ending = Ending::NoPort;
        } else {
            if (options.controlReadsHardware)
                result.control = exerciseLatch(port, control, controlPatterns(), ControlLatchBits,
                                               Register::Control, result);
            // With the direction bit honoured the data register reads the lines, which nothing
            // drives, instead of the latch.
            if (result.data.outcome == Outcome::Passed) {
                port.write(control, rest | port::ControlReverse);
                port.write(data, 0x55);
                port.settle();
                const std::uint8_t first = port.read(data);
                port.write(data, 0xAA);
                port.settle();
                result.bidirectional = first != 0x55 || port.read(data) != 0xAA;
                port.write(control, rest);
            }
            judgeWiring(traceWiring(port, base), result);
            result.wiringTested = true;
        }
    } catch (const Stop &) {
        result.ending = Ending::Cancelled;
    } catch (const port::PortError &error) {
        result.ending = Ending::AccessFailed;
        failed = error;
    }

    // Data and control before the ECR, while the port is still in the mode the test chose.
    result.restored = true;
    const std::pair<std::uint16_t, std::optional<std::uint8_t>> saved[] = {
        {data, savedData}, {control, savedControl}, {ecr, ecrWritten ? savedEcr : std::nullopt}};
    for (const auto &[address, value] : saved) {
        try {
            if (value)
                port.put(address, *value);
        } catch (const port::PortError &) {
            result.restored = false;
        }
    }
    result.accesses = port.accesses;
    result.elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
    // Said to a person, so with the port doctor's word on the address; asked once the port is
    // as it was.
    if (failed)
        result.failure = session.explain(*failed);
    return result;
}

bool noPlug(const Result &result)
{
    return result.wiringTested && std::all_of(result.pins.begin(), result.pins.end(), [](auto p) {
               return port::signalPins()[std::size_t(p.pin - 1)].reg != Register::Status
                      || p.verdict == Verdict::NotWired || p.verdict == Verdict::StuckLow;
           });
}

int exitStatus(const Result &result)
{
    if (result.ending == Ending::Cancelled)
        return Cancelled;
    if (result.ending != Ending::Completed || !result.restored)
        return Unreachable;
    const bool fault = result.data.outcome == Outcome::Failed
                       || result.control.outcome == Outcome::Failed
                       || std::any_of(result.pins.begin(), result.pins.end(),
                                      [](auto p) { return faulty(p.verdict); });
    return fault ? Fault : noPlug(result) ? NoPlug : Passed;
}

} // namespace selftest
