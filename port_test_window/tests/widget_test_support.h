#pragma once

#include "bit_indicator.h"
#include "form1.h"
#include "inpout.h"
#include "simulated_port.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>

namespace port {
inline void PrintTo(const PortAccess &a, std::ostream *os)
{
    *os << (a.kind == PortAccess::Kind::Read ? "read " : "write ") << a.address << " = " << a.value;
}
} // namespace port

// A port test window on a fresh simulated port, whose errors are collected instead of shown.
class Form1Test : public testing::Test
{
protected:
    void SetUp() override
    {
        auto owned = std::make_unique<port::SimulatedPort>(true);
        port = owned.get();
        port::installDriver(std::move(owned));
        form = std::make_unique<Form1>();
        form->setErrorReporter([this](QWidget *, const QString &message) { errors << message; });
    }

    void showAndActivate()
    {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    template <typename T = QWidget>
    T *control(const char *name) const
    {
        T *widget = form->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QLineEdit *text(const char *name) const { return control<QLineEdit>(name); }

    // The indicators of one row as a user sees them: R for red, B for black, bit 0 first.
    QString row(int first) const
    {
        QString colours;
        for (int i = first; i < first + 8; ++i) {
            const auto *indicator =
                control<BitIndicator>(qPrintable(QStringLiteral("Label3_%1").arg(i)));
            colours += indicator->BackColor() == 0x0000FF ? u'R'
                       : indicator->BackColor() == 0      ? u'B'
                                                          : u'?';
        }
        return colours;
    }

    void typeValue(const QString &keys)
    {
        QLineEdit *value = text("Text2");
        value->setFocus();
        value->selectAll();
        QTest::keyClick(value, Qt::Key_Backspace);
        QTest::keyClicks(value, keys);
    }

    int reads(std::uint16_t address) const
    {
        return port->count(port::PortAccess::Kind::Read, address);
    }
    int writes() const
    {
        return static_cast<int>(std::count_if(
            port->accesses().begin(), port->accesses().end(),
            [](const port::PortAccess &a) { return a.kind == port::PortAccess::Kind::Write; }));
    }

    port::SimulatedPort *port = nullptr;
    std::unique_ptr<Form1> form;
    QStringList errors;
};
