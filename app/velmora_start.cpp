#include "velmora_start.h"

#include "form1.h"
#include "inpout.h"

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>

#include <cstdlib>

namespace {

// Holds the simulated port's notice until the main window has been painted, so that the window
// comes up first and the notice stands over it.
class NoticeAfterFirstPaint : public QObject
{
public:
    // Watches window from here on, which owns this object.
    void watch(QWidget *window)
    {
        setParent(window);
        m_window = window;
        window->installEventFilter(this);
    }

    void setNotice(const QString &notice)
    {
        m_notice += (m_notice.isEmpty() ? QString() : QStringLiteral("\n\n")) + notice;
        if (m_painted)
            showSoon();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::Paint && !m_painted) {
            m_painted = true;
            showSoon();
        }
        return false;
    }

private:
    void showSoon()
    {
        if (m_notice.isEmpty())
            return;
        QTimer::singleShot(0, this, [this, notice = std::exchange(m_notice, QString())] {
            QMessageBox::information(m_window, QStringLiteral("Velmora"), notice);
        });
    }

    QWidget *m_window = nullptr;
    QString m_notice;
    bool m_painted = false;
};

// The window manager picks among these; the larger sizes are for the desktop's own icon theme.
QIcon plugIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/art/plug-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

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

std::unique_ptr<Form1> startVelmora()
{
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    QApplication::setWindowIcon(plugIcon());

    // The port is bound at the window's first refresh, while the window is being built.
    auto notice = std::make_unique<NoticeAfterFirstPaint>();
    inpout::setNoticeHandler([waiting = notice.get()](const std::string &text) {
        waiting->setNotice(QString::fromStdString(text));
    });
    auto form = std::make_unique<Form1>();
    notice.release()->watch(form.get());
    form->show();
    return form;
}
