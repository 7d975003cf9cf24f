#pragma once

#include "options.h"
#include "pins.h"
#include "port_session.h"

#include "fast_sampler.h"
#include "host.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// `velmora pins --watch`: a sampling loop, and what shows its samples.
namespace command_line {

// One sample: its local time, its microseconds since the watch's first, and the registers or why
// they could not be read.
struct Sample
{
    std::string time;
    std::optional<Registers> registers;
    std::string failure;
    std::int64_t tUs = 0;
};

// Where the samples go: a terminal's screen, a CSV log, JSON lines, a Value Change Dump.
class WatchView
{
public:
    virtual ~WatchView() = default;
    // False when the reader has gone (a closed pipe): the watch ends.
    virtual bool show(const Sample &sample) = 0;
    // Whether the person at the terminal can stop the watch with a key.
    virtual bool readsKeys() const { return false; }
    // The watch has ended at tUs.
    virtual void finish(std::int64_t tUs) { (void)tUs; }
};

// The table of pins, redrawn on a screen of the terminal's own, changes marked.
std::unique_ptr<WatchView> terminalView(std::FILE *out, std::uint16_t base, int intervalMs,
                                        bool controlIsOwn);
// The header first, then one CSV line per changed pin and one per failure that starts or
// changes, each with its t_us last.
std::unique_ptr<WatchView> csvLog(std::FILE *out, bool controlIsOwn);
// One JSON object a sample (timing::JsonLinesWriter), and one per failure that starts or changes.
std::unique_ptr<WatchView> jsonLines(std::FILE *out, std::uint16_t base);
// The levels as a Value Change Dump (timing::VcdWriter) in file, which the caller closes.
std::unique_ptr<WatchView> vcdDump(std::FILE *file);

// Samples the three registers at base every interval, each sample an action of its own so that
// the port is free in between, until q, Ctrl-C or the count; each sample goes to every view.
void watchPins(port::Session &session, std::uint16_t base, const WatchOptions &options,
               const std::vector<WatchView *> &views);

// Samples as fast as the path allows for duration, the port held throughout as one action; each
// sample that differs from the one before goes to every view. Port errors pass through.
timing::SamplingReport watchFast(port::Session &session, std::uint16_t base,
                                 timing::Nanoseconds duration,
                                 const std::vector<WatchView *> &views);

} // namespace command_line
