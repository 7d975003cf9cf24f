#include "design_units.h"
#include "first_paint.h"
#include "form1_design.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstring>

// The floor of the start-up: Qt Widgets showing an empty window of the main window's size, with
// its window flags, until its first paint. With --caption the window shows one line of text,
// which is what starts Qt's font system: the floor of any window that shows text.
int main(int argc, char *argv[])
{
    const bool caption = argc > 1 && std::strcmp(argv[1], "--caption") == 0;
    QApplication app(argc, argv);
    QWidget window(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                                | Qt::WindowCloseButtonHint);
    window.setFixedSize(form1::ClientWidth / design::TwipsPerPixel,
                        form1::ClientHeight / design::TwipsPerPixel);
    if (caption)
        new QLabel(QStringLiteral("Lectura del puerto 888"), &window);
    new FirstPaintWatcher(&window, [] { QCoreApplication::quit(); });
    window.show();
    return app.exec();
}
