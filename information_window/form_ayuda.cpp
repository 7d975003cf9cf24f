#include "form_ayuda.h"

#include "info_file.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QScreen>
#include <QWindow>

#include <algorithm>

namespace {

QColor colourFromWord(quint32 word) {
    return QColor(int(word & 0xFF), int(word >> 8 & 0xFF), int(word >> 16 & 0xFF));
}

} // namespace

FormAyuda::FormAyuda()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("FormAyuda"));
    ui.setupUi(this);
    setWindowTitle(QStringLiteral("Información del pto paralelo"));
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/information_window/art/question-%1.png").arg(size),
                     QSize(size, size));
    setWindowIcon(icon);
    setFixedSize(formayuda::ClientWidth / formayuda::TwipsPerPixel,
                 formayuda::ClientHeight / formayuda::TwipsPerPixel);
    QPalette teal = palette();
    teal.setColor(QPalette::Window, colourFromWord(formayuda::Teal));
    setPalette(teal);
    setAutoFillBackground(true);

    connect(qApp, &QGuiApplication::focusWindowChanged, this, &FormAyuda::focusWindowChanged);
}

void FormAyuda::Form_Load() {
    ui.Image1->setVisible(true);
    ui.TextInfo->setEnabled(true);
    ui.TextInfo->setPlainText(QString());
    const QString text = readInfoFile();
    ui.TextInfo->setPlainText(text);
    ui.TextInfo->setEnabled(true);
}

void FormAyuda::Form_Activate() {
    ui.TextInfo->setEnabled(true);
}

void FormAyuda::Form_Deactivate() {
    ui.TextInfo->setEnabled(false);
}

// Activation counts only between the program's own windows: when another application takes
// over there is no focus window, and nothing changes. Popups (menus, tooltips) are part of the
// window they open from.
void FormAyuda::focusWindowChanged(QWindow *window) {
    if (!window || window->type() == Qt::Popup || window->type() == Qt::ToolTip)
        return;
    if (window == windowHandle())
        Form_Activate();
    else
        Form_Deactivate();
}

void placeBeside(QWidget *window, const QWidget *anchor) {
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
