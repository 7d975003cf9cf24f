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
#endif

int main(int argc, char *argv[])
{
    // A command needs no window, no display and no QApplication.
    if (!command_line::wantsWindow(argc, argv)) {
#ifdef _WIN32
        // A program without a console has nowhere to write: one box says it, once.
        MessageBoxW(nullptr,
                    L"La línea de órdenes de Velmora es la de Linux. En Windows, abra Velmora "
                    L"sin argumentos para usar su ventana.",
                    L"Velmora", MB_OK | MB_ICONINFORMATION);
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
