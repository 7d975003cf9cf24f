#include "form1.h"
#include "simulated_port.h"
#include "velmora_start.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include <memory>

namespace {

// The program's start as main makes it; the locale is the one the test is run under.
TEST(Start, QtsOwnButtonsAndMenusAreInSpanish)
{
    const std::unique_ptr<Form1> form = startVelmora([](port::Fallback, port::NoticeSink) {
        return port::Session(std::make_unique<port::SimulatedPort>());
    });
    EXPECT_EQ(QGuiApplication::desktopFileName(), "org.velmora.Velmora");

    // The notice box of the simulated port, and the one of every error, has Qt's own button.
    QMessageBox notice(QMessageBox::Information, "Velmora", "aviso", QMessageBox::Ok, form.get());
    EXPECT_EQ(notice.button(QMessageBox::Ok)->text(), "Aceptar");

    const std::unique_ptr<QMenu> menu(
        form->findChild<QLineEdit *>("Text2")->createStandardContextMenu());
    QStringList entries;
    for (const QAction *action : menu->actions())
        entries << action->text().section(u'\t', 0, 0);
    EXPECT_TRUE(entries.contains("&Copiar")) << entries.join(", ").toStdString();
    EXPECT_TRUE(entries.contains("&Pegar")) << entries.join(", ").toStdString();
}

} // namespace
