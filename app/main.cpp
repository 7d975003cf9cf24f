#include "command_line.h"
#include "doctor.h"
#include "form1.h"
#include "last_resort.h"
#include "velmora_start.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <memory>

#ifdef _WIN32
#include <windows.h>

#include <cwchar>
#endif

int main(int argc, char *argv[])
{
    // A command needs no window, no display and no QApplication.
    if (!command_line::wantsWindow(argc, argv)) {
#ifdef _WIN32
        // The window has no console to write to: its commands are velmora.com's. Said on the
        // console it was typed in, when there is one, and in one box.
        const wchar_t *const line =
            L"Las órdenes de Velmora se escriben en una consola (cmd o PowerShell): «velmora "
            L"read 378h» allí usa velmora.com, instalado junto a este programa.";
        // Already attached (wine gives a window program its parent's console) is as good.
        const bool attached = AttachConsole(ATTACH_PARENT_PROCESS);
        if (attached || GetLastError() == ERROR_ACCESS_DENIED) {
            const HANDLE console =
                CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
            if (console != INVALID_HANDLE_VALUE) {
                DWORD written = 0;
                WriteConsoleW(console, L"\r\n", 2, &written, nullptr);
                WriteConsoleW(console, line, DWORD(wcslen(line)), &written, nullptr);
                WriteConsoleW(console, L"\r\n", 2, &written, nullptr);
                CloseHandle(console);
            }
            if (attached)
                FreeConsole();
        }
        MessageBoxW(nullptr, line, L"Velmora", MB_OK | MB_ICONINFORMATION);
        return command_line::WrongUsage;
#else
        return command_line::run(argc, argv, doctor::openPorts);
#endif
    }
    if (!hasDisplay()) {
        std::fputs("Velmora necesita una pantalla gráfica y no hay ninguna (DISPLAY y "
                   "WAYLAND_DISPLAY están vacías).\n"
                   "Ejecútelo desde el escritorio, o sin pantalla con: xvfb-run velmora\n",
                   stderr);
        return 1;
    }

    const std::unique_ptr<QApplication> app = connectToDisplay(argc, argv);
    // Without a main window there is nothing to go on with: said, then the program ends.
    int status = 1;
    withLastResort(
        QStringLiteral("al arrancar"),
        [&] {
            const std::unique_ptr<Form1> form = startVelmora(doctor::openPorts);
            status = QApplication::exec();
        },
        [](const QString &message) {
            std::fputs(qPrintable(message + u'\n'), stderr);
            QMessageBox::critical(nullptr, QStringLiteral("Velmora"), message);
        });
    return status;
}
