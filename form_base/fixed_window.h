#pragma once

#include <QString>

#include <functional>

class QIcon;
class QWidget;

// Where a window's failures go: by default a modal message box. Tests replace it, since a modal
// box would block the click that opened it.
using ErrorReporter = std::function<void(QWidget *parent, const QString &message)>;
void showMessageBox(QWidget *parent, const QString &message);

// A picture at 16, 32 and 48 pixels, for the window manager and the buttons to pick among;
// pathPattern holds %1 where the file names the size. Larger sizes are the desktop theme's.
QIcon iconInSizes(const QString &pathPattern);

// The windows' common set-up: a title, an icon, a client area of a fixed size in twips on a teal
// background.
void setUpFixedWindow(QWidget *window, const QString &title, const QIcon &icon, int widthTwips,
                      int heightTwips);
