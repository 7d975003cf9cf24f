#include "form_ayuda.h"

#include "info_file.h"
#include "last_resort.h"
#include "print_error.h"
#include "print_job.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include <algorithm>

namespace {

const QString Title = QStringLiteral("Información del pto paralelo");

FormAyuda::TextSource &textSource()
{
    static FormAyuda::TextSource source = [] { return readInfoFile(); };
    return source;
}

class BusyCursor
{
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
};

} // namespace

FormAyuda::FormAyuda()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                           | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_reportError(showMessageBox)
{
    setObjectName(QStringLiteral("FormAyuda"));
    ui.setupUi(this);
    setUpFixedWindow(this, Title,
                     iconInSizes(QStringLiteral(":/information_window/art/question-%1.png")),
                     formayuda::ClientWidth, formayuda::ClientHeight);

    connect(ui.CommandImprimir, &QPushButton::clicked, this, &FormAyuda::CommandImprimir_Click);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &FormAyuda::focusWindowChanged);
}

void FormAyuda::setErrorReporter(ErrorReporter reporter)
{
    m_reportError = std::move(reporter);
}

void FormAyuda::setTextSource(TextSource source)
{
    textSource() = source ? std::move(source) : [] { return readInfoFile(); };
}

// The steps are the window's own, repeats included (enabled twice, emptied before filled): a load
// that stops at an unreadable file leaves the box empty, not showing the last text.
void FormAyuda::Form_Load()
{
    ui.Image1->setVisible(true);
    ui.TextInfo->setEnabled(true);
    ui.TextInfo->setPlainText(QString());
    const QString text = textSource()();
    ui.TextInfo->setPlainText(text);
    ui.TextInfo->setEnabled(true);
}

// One click, one job on the default printer: the text as it stands in the box, edits included,
// then the connector picture on the page after it.
void FormAyuda::CommandImprimir_Click()
{
    QString failure;
    {
        // Handing the job over waits for the print server, for a few seconds at most.
        const BusyCursor busy;
        withLastResort(
            QStringLiteral("al imprimir"),
            [&] {
                try {
                    printOnDefaultPrinter(Title, ui.TextInfo->toPlainText(), ui.TextInfo->font(),
                                          ui.Image1->pixmap().toImage());
                } catch (const PrintError &error) {
                    failure = error.message();
                }
            },
            [&](const QString &message) { failure = message; });
    }
    if (!failure.isEmpty())
        m_reportError(this, failure);
}

void FormAyuda::Form_Activate()
{
    ui.TextInfo->setEnabled(true);
}

void FormAyuda::Form_Deactivate()
{
    ui.TextInfo->setEnabled(false);
}

// Activation counts only between the program's own windows: when another application takes
// over there is no focus window, and nothing changes. Popups (menus, tooltips) are part of the
// window they open from.
void FormAyuda::focusWindowChanged(QWindow *window)
{
    if (!window || window->type() == Qt::Popup || window->type() == Qt::ToolTip)
        return;
    withLastResort(
        QStringLiteral("al cambiar de ventana"),
        [&] {
            if (window == windowHandle())
                Form_Activate();
            else
                Form_Deactivate();
        },
        [this](const QString &message) { m_reportError(this, message); });
}

void placeBeside(QWidget *window, const QWidget *anchor)
{
    const QRect frame = anchor->frameGeometry();
    // Frame margins are known only once a window is on screen: take the anchor's.
    const QSize margins = frame.size() - anchor->size();
    const QSize size = window->size() + margins;
    const QScreen *screen = anchor->screen() ? anchor->screen() : QGuiApplication::primaryScreen();
    const QRect room = screen ? screen->availableGeometry() : QRect(frame.topLeft(), size);

    int left = frame.right() + 1;
    if (left + size.width() > room.right() + 1 && frame.left() - size.width() >= room.left())
        left = frame.left() - size.width();
    left = std::max(room.left(), std::min(left, room.right() + 1 - size.width()));
    const int top = std::max(room.top(), std::min(frame.top(), room.bottom() + 1 - size.height()));
    window->move(left, top);
}
