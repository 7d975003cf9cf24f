#pragma once

#include <QString>

#include <functional>

class QIcon;
class QWidget;

// Where a window's failures go: by default a modal message box. Tests replace it, since a modal
// box would block the click that opened it.
using ErrorReporter = std::function<void(QWidget *parent, const QString &message)>;
void showMessageBox(QWidget *parent, const QString &message);

// The windows' common set-up: a title, an icon, a client area of a fixed size in twips on a teal
// background.
void setUpFixedWindow(QWidget *window, const QString &title, const QIcon &icon, int widthTwips,
                      int heightTwips);
