#include "first_paint.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <utility>

FirstPaintWatcher::FirstPaintWatcher(QWidget *window, std::function<void()> painted)
    : QObject(window)
    , m_window(window)
    , m_painted(std::move(painted))
{
    window->installEventFilter(this);
}

bool FirstPaintWatcher::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Paint && !m_seen) {
        m_seen = true;
        QTimer::singleShot(0, this, m_painted);
    }
    return false;
}
