#pragma once

#include "options.h"
#include "pins.h"
#include "port_session.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// `velmora pins --watch`: a sampling loop, and what shows its samples.
namespace command_line {

// One sample: its local time, and the registers or why they could not be read.
struct Sample
{
    std::string time;
    std::optional<Registers> registers;
    std::string failure;
};

// Where the samples go: a terminal's screen, a CSV log.
class WatchView
{
public:
    virtual ~WatchView() = default;
    // False when the reader has gone (a closed pipe): the watch ends.
    virtual bool show(const Sample &sample) = 0;
    // Whether the person at the terminal can stop the watch with a key.
    virtual bool readsKeys() const { return false; }
};

// The table of pins, redrawn on a screen of the terminal's own, changes marked.
std::unique_ptr<WatchView> terminalView(std::FILE *out, std::uint16_t base, int intervalMs,
                                        bool controlIsOwn);
// A header, then one CSV line per changed pin and one per failure that starts or changes.
std::unique_ptr<WatchView> csvLog(std::FILE *out, std::uint16_t base, int intervalMs,
                                  bool controlIsOwn);

// Ctrl-C and the other signals that end a process end the watch at its next sample instead, so
// that the views give the terminal back; set before a view takes it.
void stopOnSignals();

// Samples the three registers at base every interval, each sample an action of its own so that
// the port is free in between, until q, Ctrl-C or the count; each sample goes to every view.
void watchPins(port::Session &session, std::uint16_t base, const WatchOptions &options,
               const std::vector<WatchView *> &views);

// The three registers at base, read once each.
Registers sample(port::Session &session, std::uint16_t base);

} // namespace command_line
