// velmora.com: Velmora's command line in a Windows console, installed beside velmora.exe. A
// console looks for .com before .exe, so «velmora read 378h» typed there comes here, while
// Explorer and the Start menu start the window. No Qt.
#include "command_line.h"
#include "doctor.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The console's code pages and output mode as they were, given back on every way out.
UINT savedOutputPage = 0;
UINT savedInputPage = 0;
DWORD savedOutputMode = 0;
bool outputModeSaved = false;

void restoreConsole()
{
    if (savedOutputPage)
        ::SetConsoleOutputCP(savedOutputPage);
    if (savedInputPage)
        ::SetConsoleCP(savedInputPage);
    if (outputModeSaved)
        ::SetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), savedOutputMode);
}

// Ctrl-C where no command has taken it (a read, a write): the console as it was, then Windows
// ends the process. A command that stops on it sets its own handler, asked before this one.
BOOL WINAPI restoreOnBreak(DWORD)
{
    restoreConsole();
    return FALSE;
}

// The messages are UTF-8, and so are the arguments; the watch's table redraws itself with the
// terminal's escape sequences.
void takeConsole()
{
    savedOutputPage = ::GetConsoleOutputCP();
    savedInputPage = ::GetConsoleCP();
    ::SetConsoleCtrlHandler(restoreOnBreak, TRUE);
    if (savedOutputPage)
        ::SetConsoleOutputCP(CP_UTF8);
    if (savedInputPage)
        ::SetConsoleCP(CP_UTF8);
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (::GetConsoleMode(out, &savedOutputMode))
        outputModeSaved = ::SetConsoleMode(out, savedOutputMode | ENABLE_PROCESSED_OUTPUT
                                                    | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    // To a console, the C library's text mode may convert the bytes from its own locale's code
    // page (wine's does, from Latin-1), and unbuffered it may write a letter's bytes one by one,
    // which the console cannot decode: the bytes go as they are, a buffer at a time. The
    // commands flush before they wait. A file or a pipe keeps text mode and its CR LF.
    for (std::FILE *stream : {stdout, stderr}) {
        DWORD mode = 0;
        if (::GetConsoleMode(reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream))),
                             &mode)) {
            ::_setmode(::_fileno(stream), _O_BINARY);
            std::setvbuf(stream, nullptr, _IOFBF, 1 << 14);
        }
    }
}

std::string utf8(const wchar_t *text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(size > 0 ? size : 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

// The arguments as typed, from the UTF-16 command line: main's are in the ANSI code page, which
// loses a file name's letters that it lacks.
std::vector<std::string> arguments()
{
    std::vector<std::string> list;
    int count = 0;
    if (wchar_t **wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            list.push_back(utf8(wide[i]));
        ::LocalFree(wide);
    }
    return list;
}

// No command: the window, velmora.exe beside this program, with the same arguments.
int openWindow()
{
    wchar_t path[MAX_PATH];
    std::wstring program(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
    program = program.substr(0, program.find_last_of(L'\\') + 1) + L"velmora.exe";
    // The arguments go on as they were typed, quotes and backslashes untouched: the command
    // line after this program's own name, which ends at its closing quote or first blank.
    const wchar_t *rest = ::GetCommandLineW();
    if (*rest == L'"') {
        for (++rest; *rest && *rest != L'"';)
            ++rest;
        rest += *rest ? 1 : 0;
    } else {
        while (*rest && *rest != L' ' && *rest != L'\t')
            ++rest;
    }
    std::wstring line = L"\"" + program + L"\" " + rest;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process)) {
        const DWORD error = ::GetLastError(); // before the conversion below can set another
        std::fprintf(stderr,
                     "velmora: no se pudo abrir la ventana, %s: error %lu de Windows. "
                     "Compruebe que velmora.exe está junto a velmora.com.\n",
                     utf8(program.c_str()).c_str(), error);
        return command_line::Unreachable;
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return command_line::Done;
}

} // namespace

int main(int argc, char **argv)
{
    takeConsole();
    std::vector<std::string> typed = arguments();
    std::vector<char *> pointers;
    for (std::string &argument : typed)
        pointers.push_back(argument.data());
    if (pointers.empty()) // no command line to read: main's own
        pointers.assign(argv, argv + argc);
    pointers.push_back(nullptr);
    const int count = int(pointers.size()) - 1;
    const int status = command_line::wantsWindow(count, pointers.data())
                           ? openWindow()
                           : command_line::run(count, pointers.data(), doctor::openPorts);
    std::fflush(stdout);
    std::fflush(stderr);
    restoreConsole();
    return status;
}
