#include "fixed_window.h"

#include "design_units.h"

#include <QIcon>
#include <QMessageBox>
#include <QPalette>
#include <QWidget>

void showMessageBox(QWidget *parent, const QString &message)
{
    QMessageBox::warning(parent, QStringLiteral("Velmora"), message);
}

QIcon iconInSizes(const QString &pathPattern)
{
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(pathPattern.arg(size), QSize(size, size));
    return icon;
}

void setUpFixedWindow(QWidget *window, const QString &title, const QIcon &icon, int widthTwips,
                      int heightTwips)
{
    window->setWindowTitle(title);
    window->setWindowIcon(icon);
    window->setFixedSize(widthTwips / design::TwipsPerPixel, heightTwips / design::TwipsPerPixel);
    QPalette teal = window->palette();
    teal.setColor(QPalette::Window, design::colourFromWord(design::Teal));
    window->setPalette(teal);
    window->setAutoFillBackground(true);
}
