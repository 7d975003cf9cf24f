#pragma once

#include "port_session.h"

#include <memory>

class Form1;
class QApplication;

// Whether there is a display to show windows on. Without one Qt would abort; the caller says
// plainly what is missing instead.
bool hasDisplay();

// The application, connected to the display. A display that is set but cannot be reached (gone,
// refused, as over ssh without X forwarding) ends the process with status 1 and one message on
// standard error that names it, instead of Qt's abort.
std::unique_ptr<QApplication> connectToDisplay(int &argc, char **argv);

// Everything the program does at start, up to the main window on screen: the application's name,
// version, desktop entry and icon, Qt's Spanish translation, the port session opened with
// openPorts (port::open: the machine's) and given to the main window, the window shown, and, if
// the port falls back to the simulated one, a notice of why, once the window has been painted.
// The benchmarks start the program through it too.
std::unique_ptr<Form1> startVelmora(const port::SessionOpener &openPorts);
