#pragma once

#include "clock.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// What the commands need of the system they run on, in one place: the console (whether a stream
// is one, its keys one by one), the stop request of Ctrl-C and its kin, the local time, files
// named in UTF-8, and the ports the system itself knows. host_posix.cpp is Linux's,
// host_windows.cpp Windows'.
namespace command_line {

// Whether file is a terminal (a console on Windows), not a file, a pipe or the null device.
bool isTerminal(std::FILE *file);

// The terminal's keys one by one and unechoed while it lives, for the watch's q; given back as it
// was. Inactive when standard input is no terminal, or one whose foreground is another's.
class RawKeys
{
public:
    RawKeys();
    ~RawKeys();
    RawKeys(const RawKeys &) = delete;
    RawKeys &operator=(const RawKeys &) = delete;
    bool active() const { return m_saved != nullptr; }

private:
    struct Saved;
    std::unique_ptr<Saved> m_saved;
};

// Waits milliseconds; false when the person asked to stop: q (when keys), Ctrl-C.
bool waitForStop(int milliseconds, bool keys);

// Ctrl-C and the other ways a process is told to end (Linux: SIGINT, SIGTERM, SIGQUIT, SIGHUP;
// Windows: Ctrl-C, Ctrl-Break, the console closed) end the watch, the pulse train or the self-test
// at its next step instead, so that the port and the terminal are given back; set before a view
// takes the terminal. A signal the script starting it ignored stays ignored.
void stopOnSignals();
// Set by those: for a loop to look at, and for timing's waits to end at.
const timing::CancelFlag &stopFlag();

// Local time as ISO 8601, with milliseconds and the offset: 2026-12-07T14:03:09.125+01:00.
std::string localTime();

// Opens a file to write, its name in UTF-8 as the arguments come; nullptr with errno set.
std::FILE *openForWriting(const std::string &path);

// The base of the first port the system knows (Linux: the kernel's; Windows: its LPT ports'),
// or 378h.
std::uint16_t defaultBase();

// `velmora ports`: every parallel port and what reaches it, as text or one JSON array; with JSON,
// what a person should know beside the array goes to note (Windows: the port library's state
// when Windows lists no port).
std::string portsReport(bool json, std::string &note);

} // namespace command_line
