#include "form1.h"
#include "last_resort.h"
#include "velmora_start.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
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
            const std::unique_ptr<Form1> form = startVelmora();
            status = QApplication::exec();
        },
        [](const QString &message) {
            std::fputs(qPrintable(message + u'\n'), stderr);
            QMessageBox::critical(nullptr, QStringLiteral("Velmora"), message);
        });
    return status;
}
