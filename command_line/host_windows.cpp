#include "host.h"

#include "connector.h"
#include "windows_doctor.h"

#include <windows.h>

#include <io.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <vector>

namespace command_line {

namespace {

HANDLE handleOf(std::FILE *file)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
}

// _isatty says yes to the null device too: a console is what answers GetConsoleMode.
bool isConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

timing::CancelFlag stopRequested{false};
// Set with the flag, so that a wait ends at once: no signal interrupts a wait here.
HANDLE stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);

BOOL WINAPI requestStop(DWORD event)
{
    stopRequested = true;
    ::SetEvent(stopEvent);
    // Windows ends the process when this returns from a closed console, a logoff or a
    // shutdown: it waits instead, until the command has given the port back and ends the process.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        ::Sleep(INFINITE);
    return TRUE;
}

bool isQuitKey(const INPUT_RECORD &record)
{
    return record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown
           && (record.Event.KeyEvent.uChar.UnicodeChar == L'q'
               || record.Event.KeyEvent.uChar.UnicodeChar == L'Q');
}

} // namespace

bool isTerminal(std::FILE *file)
{
    return isConsole(handleOf(file));
}

struct RawKeys::Saved
{
    DWORD mode = 0;
};

RawKeys::RawKeys()
{
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    auto saved = std::make_unique<Saved>();
    if (input == INVALID_HANDLE_VALUE || !::GetConsoleMode(input, &saved->mode))
        return;
    // Ctrl-C stays a control event (ENABLE_PROCESSED_INPUT); keys come one by one, unechoed.
    if (::SetConsoleMode(input, saved->mode & ~DWORD(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)))
        m_saved = std::move(saved);
}

RawKeys::~RawKeys()
{
    if (m_saved)
        ::SetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), m_saved->mode);
}

bool waitForStop(int milliseconds, bool keys)
{
    if (!stopEvent) { // no event to be woken by: the interval is slept, Ctrl-C seen after it
        ::Sleep(DWORD(milliseconds));
        return !stopRequested;
    }
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE handles[] = {stopEvent, input};
    const ULONGLONG end = ::GetTickCount64() + ULONGLONG(milliseconds);
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        const DWORD left = now < end ? DWORD(end - now) : 0;
        const DWORD woken = ::WaitForMultipleObjects(keys ? 2 : 1, handles, FALSE, left);
        if (woken != WAIT_OBJECT_0 + 1)
            break;
        // The console's input is signalled by any event (a key up, the mouse, focus): each is
        // read, and only q ends the watch.
        INPUT_RECORD records[16];
        DWORD read = 0;
        if (!::ReadConsoleInputW(input, records, DWORD(std::size(records)), &read))
            break;
        if (std::any_of(records, records + read, isQuitKey))
            return false;
    }
    return !stopRequested;
}

void stopOnSignals()
{
    ::SetConsoleCtrlHandler(requestStop, TRUE);
}

const timing::CancelFlag &stopFlag()
{
    return stopRequested;
}

std::string localTime()
{
    // 100 ns units since 1601. The zone's offset is the local broken-down time less the
    // universal one, both taken as local.
    FILETIME file{};
    ::GetSystemTimePreciseAsFileTime(&file);
    const ULONGLONG ticks = (ULONGLONG(file.dwHighDateTime) << 32) | file.dwLowDateTime;
    constexpr ULONGLONG UnixEpoch = 116444736000000000ULL;
    const std::time_t seconds = std::time_t((ticks - UnixEpoch) / 10000000);
    const long milliseconds = long((ticks / 10000) % 1000);
    std::tm local{};
    std::tm utc{};
    ::localtime_s(&local, &seconds);
    ::gmtime_s(&utc, &seconds);
    utc.tm_isdst = local.tm_isdst;
    const long offset = long(std::difftime(std::mktime(&local), std::mktime(&utc))) / 60;
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    char text[64];
    std::snprintf(text, sizeof text, "%s.%03ld%c%02ld:%02ld", date, milliseconds,
                  offset < 0 ? '-' : '+', std::labs(offset) / 60, std::labs(offset) % 60);
    return text;
}

std::FILE *openForWriting(const std::string &path)
{
    const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                                           int(path.size()), nullptr, 0);
    if (size <= 0) {
        errno = EINVAL;
        return nullptr;
    }
    std::wstring wide(std::size_t(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, path.data(), int(path.size()), wide.data(), size);
    return ::_wfopen(wide.c_str(), L"w");
}

std::uint16_t defaultBase()
{
    const std::vector<doctor::NamedPort> named = doctor::namedPorts(); // by base
    return named.empty() ? port::FirstPortBase : named.front().base;
}

std::string portsReport(bool json, std::string &note)
{
    const std::unique_ptr<doctor::WindowsSystem> system = doctor::windowsSystem();
    const doctor::Findings findings = doctor::findPortsWindows(*system);
    // With no port, what an address typed by hand would go through is all there is to say.
    const std::string library =
        findings.ports.empty() ? doctor::portLibraryText(*system) : std::string();
    if (json) {
        if (!library.empty())
            note = "Windows no lista ningún puerto LPT." + library;
        return doctor::renderJson(findings);
    }
    return doctor::renderWindowsText(findings) + library;
}

} // namespace command_line
