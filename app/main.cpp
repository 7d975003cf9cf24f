#include "form1.h"
#include "inpout.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

namespace {

// Without a display Qt would abort; say plainly what is missing instead.
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

QIcon plugIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/art/plug-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!hasDisplay()) {
        std::fputs("Velmora necesita una pantalla gráfica y no hay ninguna (DISPLAY y "
                   "WAYLAND_DISPLAY están vacías).\n"
                   "Ejecútelo desde el escritorio, o sin pantalla con: xvfb-run velmora\n",
                   stderr);
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    QApplication::setWindowIcon(plugIcon());

    // The port is bound at the window's first refresh; if that falls back to the simulated port,
    // say why once the window is on screen.
    QWidget *noticeParent = nullptr;
    inpout::setNoticeHandler([&noticeParent](const std::string &notice) {
        const QString text = QString::fromStdString(notice);
        QMetaObject::invokeMethod(
            qApp,
            [&noticeParent, text] {
                QMessageBox::information(noticeParent, QStringLiteral("Velmora"), text);
            },
            Qt::QueuedConnection);
    });

    Form1 form;
    noticeParent = &form;
    form.show();
    return app.exec();
}
