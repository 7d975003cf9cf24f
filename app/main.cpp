#include "form1.h"
#include "velmora_start.h"

#include <QApplication>

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

    QApplication app(argc, argv);
    const std::unique_ptr<Form1> form = startVelmora();
    return app.exec();
}
