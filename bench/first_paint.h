#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

// Ends the program once a window has been painted for the first time: the paint event comes
// while the window's backing store is being filled, and the quit is queued behind the flush that
// puts it on screen.
class QuitAfterFirstPaint : public QObject
{
public:
    explicit QuitAfterFirstPaint(QWidget *window)
        : m_window(window)
    {
        window->installEventFilter(this);
    }

    // Runs once the window is on screen, just before the program quits.
    virtual void painted() {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::Paint && !m_painted) {
            m_painted = true;
            QTimer::singleShot(0, qApp, [this] {
                painted();
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    QWidget *m_window;
    bool m_painted = false;
};
