#include "watch.h"

#include "port_error.h"
#include "sample_stream.h"
#include "system_clock.h"

#include <chrono>

namespace command_line {

namespace {

bool flushed(std::FILE *out)
{
    return std::fflush(out) == 0 && !std::ferror(out);
}

class TerminalView : public WatchView
{
public:
    TerminalView(std::FILE *out, std::uint16_t base, int intervalMs, bool controlIsOwn)
        : m_out(out)
        , m_base(base)
        , m_intervalMs(intervalMs)
        , m_own(controlIsOwn)
    {
        // The keys; a screen of its own, and no cursor while the table is redrawn; all given
        // back.
        m_keys.emplace();
        std::fputs("\x1b[?1049h\x1b[?25l", m_out);
        std::fflush(m_out);
    }
    ~TerminalView() override
    {
        std::fputs("\x1b[?25h\x1b[?1049l", m_out);
        std::fflush(m_out);
    }

    bool readsKeys() const override { return m_keys && m_keys->active(); }

    bool show(const Sample &sample) override
    {
        std::string screen = "\x1b[H\x1b[2J" + sample.time + "\n";
        if (sample.registers)
            screen += pinTable(m_base, *sample.registers, m_own, m_last ? &*m_last : nullptr);
        else
            screen += "Error: " + sample.failure + "\n";
        char footer[160];
        std::snprintf(footer, sizeof footer,
                      "\nCada %d ms (los pulsos más cortos no se ven). Pulse q o Ctrl-C "
                      "para salir.\n",
                      m_intervalMs);
        std::fputs((screen + footer).c_str(), m_out);
        if (sample.registers)
            m_last = sample.registers;
        return flushed(m_out);
    }

private:
    std::FILE *m_out;
    std::uint16_t m_base;
    int m_intervalMs;
    bool m_own;
    std::optional<RawKeys> m_keys;
    std::optional<Registers> m_last; // the last sample read
};

// A failure as one line of text, its quotes doubled (CSV) or escaped (JSON).
std::string quoted(const std::string &failure, const char *quote)
{
    std::string text;
    for (const char c : failure)
        text += c == '\n' ? std::string(" ") : c == '"' ? std::string(quote) : std::string(1, c);
    return text;
}

class CsvLog : public WatchView
{
public:
    CsvLog(std::FILE *out, bool controlIsOwn)
        : m_out(out)
        , m_own(controlIsOwn)
    {
        std::fputs("hora,pin,señal,antes,después,t_us\n", m_out);
        std::fflush(m_out);
    }
    ~CsvLog() override { std::fflush(m_out); }

    bool show(const Sample &sample) override
    {
        const auto tUs = static_cast<long long>(sample.tUs);
        if (!sample.registers) {
            // One line when the failure starts or changes, with the fields every line has.
            if (sample.failure != m_lastFailure)
                std::fprintf(m_out, "%s,,error,,\"%s\",%lld\n", sample.time.c_str(),
                             quoted(sample.failure, "\"\"").c_str(), tUs);
        } else if (m_last) {
            for (const Pin &pin : signalPins()) {
                if (m_own && pin.reg == Register::Control)
                    continue;
                if (level(pin, *m_last) != level(pin, *sample.registers))
                    std::fprintf(m_out, "%s,%d,%s,%d,%d,%lld\n", sample.time.c_str(), pin.number,
                                 pin.name, level(pin, *m_last), level(pin, *sample.registers), tUs);
            }
        }
        m_lastFailure = sample.failure;
        if (sample.registers)
            m_last = sample.registers;
        return flushed(m_out);
    }

private:
    std::FILE *m_out;
    bool m_own;
    std::optional<Registers> m_last; // the last sample read
    std::string m_lastFailure;       // the sample before's, empty when it was read
};

// A timing stream as a view: the samples read go to it; with out, a failure that starts or
// changes goes there as a JSON line.
class StreamView : public WatchView
{
public:
    StreamView(std::unique_ptr<timing::SampleSink> stream, std::FILE *out, std::FILE *failures)
        : m_stream(std::move(stream))
        , m_out(out)
        , m_failures(failures)
    {}

    bool show(const Sample &sample) override
    {
        if (sample.registers)
            m_stream->sample(sample.tUs, *sample.registers);
        else if (m_failures && sample.failure != m_lastFailure)
            std::fprintf(m_failures, "{\"t_us\":%lld,\"error\":\"%s\"}\n",
                         static_cast<long long>(sample.tUs),
                         quoted(sample.failure, "\\\"").c_str());
        m_lastFailure = sample.failure;
        return flushed(m_out);
    }
    void finish(std::int64_t tUs) override
    {
        m_stream->finish(tUs);
        std::fflush(m_out);
    }

private:
    std::unique_ptr<timing::SampleSink> m_stream;
    std::FILE *m_out;
    std::FILE *m_failures;
    std::string m_lastFailure;
};

// The fast sampler's changes, as samples to every view.
class ToViews : public timing::SampleSink
{
public:
    explicit ToViews(const std::vector<WatchView *> &views)
        : m_views(views)
    {}

    void sample(std::int64_t tUs, const port::Registers &registers) override
    {
        Sample s{localTime(), registers, "", tUs};
        for (WatchView *view : m_views)
            view->show(s);
    }
    void finish(std::int64_t tUs) override
    {
        for (WatchView *view : m_views)
            view->finish(tUs);
    }

private:
    const std::vector<WatchView *> &m_views;
};

} // namespace

std::unique_ptr<WatchView> terminalView(std::FILE *out, std::uint16_t base, int intervalMs,
                                        bool controlIsOwn)
{
    return std::make_unique<TerminalView>(out, base, intervalMs, controlIsOwn);
}

std::unique_ptr<WatchView> csvLog(std::FILE *out, bool controlIsOwn)
{
    return std::make_unique<CsvLog>(out, controlIsOwn);
}

std::unique_ptr<WatchView> jsonLines(std::FILE *out, std::uint16_t base)
{
    return std::make_unique<StreamView>(std::make_unique<timing::JsonLinesWriter>(out, base), out,
                                        out);
}

std::unique_ptr<WatchView> vcdDump(std::FILE *file)
{
    return std::make_unique<StreamView>(std::make_unique<timing::VcdWriter>(file), file, nullptr);
}

timing::SamplingReport watchFast(port::Session &session, std::uint16_t base,
                                 timing::Nanoseconds duration,
                                 const std::vector<WatchView *> &views)
{
    const port::Action whole = session.beginAction();
    const std::unique_ptr<timing::Clock> clock = timing::trainClock();
    ToViews sink(views);
    return timing::sampleFast(session, *clock, base, duration, stopFlag(), sink);
}

void watchPins(port::Session &session, std::uint16_t base, const WatchOptions &options,
               const std::vector<WatchView *> &views)
{
    bool keys = false;
    for (const WatchView *view : views)
        keys = keys || view->readsKeys();
    std::optional<std::chrono::steady_clock::time_point> start; // the first sample's
    std::int64_t tUs = 0;
    for (long n = 0; !stopFlag() && (options.count == 0 || n < options.count); ++n) {
        if (n > 0 && !waitForStop(options.intervalMs, keys))
            break;
        Sample s;
        try {
            const port::Action action = session.beginAction();
            s.registers = timing::readRegisters(session, base);
        } catch (const port::PortError &error) {
            s.failure = error.what();
        }
        const auto sampled = std::chrono::steady_clock::now();
        start = start.value_or(sampled);
        tUs = std::chrono::duration_cast<std::chrono::microseconds>(sampled - *start).count();
        s.time = localTime();
        s.tUs = tUs;
        bool read = true;
        for (WatchView *view : views)
            read = view->show(s) && read;
        if (!read)
            break;
    }
    for (WatchView *view : views)
        view->finish(tUs);
}

} // namespace command_line
