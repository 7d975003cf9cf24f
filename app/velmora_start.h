#pragma once

#include <memory>

class Form1;

// Whether there is a display to show windows on. Without one Qt would abort; the caller says
// plainly what is missing instead.
bool hasDisplay();

// Everything the program does at start, up to the main window on screen: the application's name,
// version and icon, the main window shown, and, if the port falls back to the simulated one, a
// notice of why, once the window has been painted. The benchmarks start the program through it too.
std::unique_ptr<Form1> startVelmora();
