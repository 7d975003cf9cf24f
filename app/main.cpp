#include "form1.h"
#include "velmora_start.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// Without a display Qt would abort; say plainly what is missing instead.
bool hasDisplay()
{
#if defined(Q_OS_LINUX)
    const auto set = [](const char *name) {
        const char *value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
#else
    return true;
#endif
}

} // namespace

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
