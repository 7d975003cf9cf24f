#include "first_paint.h"
#include "form1.h"
#include "simulated_port.h"
#include "velmora_start.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

// The program's start-up, through the same routine as main() in app/, ended at the main window's
// first paint. A notice about the simulated port comes after that paint, so it is not counted.

namespace {

// The start-up is only measured on the simulated port: a run that reached a real one says so
// and fails.
void quitOnSimulatedPort(const Form1 &form)
{
    if (!dynamic_cast<port::SimulatedPort *>(form.session().driver())) {
        std::fputs("velmora_startup: the port is not the simulated one\n", stderr);
        std::_Exit(3);
    }
    // The notice box is queued behind the same paint: end here, so that it is not counted.
    std::_Exit(0);
}

} // namespace

int main(int argc, char *argv[])
{
    if (!hasDisplay()) {
        std::fputs("velmora_startup: no display\n", stderr);
        return 1;
    }

    QApplication app(argc, argv);
    const auto form = startVelmora(port::open);
    new FirstPaintWatcher(form.get(), [&form] { quitOnSimulatedPort(*form); });
    return app.exec();
}
