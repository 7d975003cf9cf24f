#include "velmora_start.h"

#include "first_paint.h"
#include "fixed_window.h"
#include "form1.h"
#include "velmora_version.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

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
        new FirstPaintWatcher(window, [this] {
            m_painted = true;
            show();
        });
    }

    // Notices before the first paint are said together; each one after it in a box of its own.
    void setNotice(const QString &notice)
    {
        m_notice += (m_notice.isEmpty() ? QString() : QStringLiteral("\n\n")) + notice;
        if (m_painted)
            QTimer::singleShot(0, this, [this, text = std::exchange(m_notice, QString())] {
                QMessageBox::information(m_window, QStringLiteral("Velmora"), text);
            });
    }

private:
    void show()
    {
        if (!m_notice.isEmpty())
            QMessageBox::information(m_window, QStringLiteral("Velmora"),
                                     std::exchange(m_notice, QString()));
    }

    QWidget *m_window = nullptr;
    QString m_notice;
    bool m_painted = false;
};

// Qt's own buttons and menus (OK, Copy, Paste) in Spanish like the rest of the interface,
// whatever the user's locale.
void loadQtTranslation()
{
    auto translator = std::make_unique<QTranslator>(qApp);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (translator->load(QStringLiteral("qtbase_es"), folder)) {
        QCoreApplication::installTranslator(translator.release());
        return;
    }
    std::fputs(
        QStringLiteral("Velmora: no se encontró la traducción de Qt al español (qtbase_es.qm "
                       "en %1); los botones y menús propios de Qt saldrán en inglés. "
                       "Instálela con: sudo apt-get install qt6-translations-l10n\n")
            .arg(folder)
            .toLocal8Bit()
            .constData(),
        stderr);
}

// While the application connects to the display, Qt's messages are held back: if the display
// cannot be reached Qt ends the process with a fatal message, which is replaced by ours.
std::vector<std::pair<QtMsgType, QString>> heldMessages;
QtMessageHandler previousHandler = nullptr;

QString displayNames()
{
    QStringList names;
    for (const char *variable : {"WAYLAND_DISPLAY", "DISPLAY"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            names << QStringLiteral("«%1» (%2)").arg(value, QLatin1StringView(variable));
    }
    return names.isEmpty() ? QStringLiteral("de la sesión") : names.join(QStringLiteral(" ni "));
}

void holdDuringConnection(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtFatalMsg) {
        heldMessages.emplace_back(type, message);
        return;
    }
    const QString ours =
        QStringLiteral("Velmora no puede abrir la pantalla gráfica %1: no responde o no admite la "
                       "conexión.\nCompruebe que la sesión gráfica sigue abierta y que la variable "
                       "es la suya (por ssh, conéctese con ssh -X), o ejecute Velmora sin pantalla "
                       "con: xvfb-run velmora\n")
            .arg(displayNames());
    std::fputs(ours.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    // Returning would let Qt abort; nothing has been done yet that needs tidying up.
    std::_Exit(1);
}

} // namespace

std::unique_ptr<QApplication> connectToDisplay(int &argc, char **argv)
{
    previousHandler = qInstallMessageHandler(holdDuringConnection);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previousHandler);
    for (const auto &[type, message] : std::exchange(heldMessages, {}))
        qt_message_output(type, QMessageLogContext(), message);
    return app;
}

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

std::unique_ptr<Form1> startVelmora(const port::SessionOpener &openPorts)
{
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION_SHOWN));
    // The desktop entry's id: the app id on Wayland, and how the desktop matches the window to it.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.velmora.Velmora"));
    loadQtTranslation();
    QApplication::setWindowIcon(iconInSizes(QStringLiteral(":/art/plug-%1.png")));

    // The ports are opened at the window's first refresh, while the window is being built. A
    // notice after the window has gone is not said.
    auto notice = std::make_unique<NoticeAfterFirstPaint>();
    auto form = std::make_unique<Form1>(openPorts(
        port::Fallback::Simulated, [waiting = QPointer(notice.get())](const std::string &text) {
            if (waiting)
                waiting->setNotice(QString::fromStdString(text));
        }));
    notice.release()->watch(form.get());
    form->show();
    return form;
}
