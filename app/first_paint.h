#pragma once

#include <QObject>

#include <functional>

class QEvent;
class QWidget;

// Calls back once a window has been painted for the first time. The paint event comes while the
// window's backing store is being filled; the call is queued behind the flush that puts it on
// screen. The start-up shows its notice from it, and the start-up benchmarks stop the clock there.
class FirstPaintWatcher : public QObject
{
public:
    // Watches window from here on, which owns the watcher.
    FirstPaintWatcher(QWidget *window, std::function<void()> painted);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window = nullptr;
    std::function<void()> m_painted;
    bool m_seen = false;
};
