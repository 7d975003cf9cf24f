#include "form1.h"
#include "velmora_start.h"

#include <QApplication>

#include <cstdio>
#include <exception>
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
    try {
        const std::unique_ptr<Form1> form = startVelmora();
        return QApplication::exec();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "Velmora no pudo arrancar: %s. Vuelva a intentarlo.\n", error.what());
    } catch (...) {
        std::fputs("Velmora no pudo arrancar por un error desconocido. Vuelva a intentarlo.\n",
                   stderr);
    }
    return 1;
}
