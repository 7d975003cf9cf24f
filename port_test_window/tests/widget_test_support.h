#pragma once

#include "bit_indicator.h"
#include "form1.h"
#include "simulated_port.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
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
    void SetUp() override { openForm(std::make_unique<port::SimulatedPort>(true)); }

    // A window on the port given, which port then names when it is the simulated one.
    void openForm(std::unique_ptr<port::PortDriver> driver)
    {
        port = dynamic_cast<port::SimulatedPort *>(driver.get());
        form = std::make_unique<Form1>(port::Session(std::move(driver)));
        form->setErrorReporter([this](QWidget *, const QString &message) { errors << message; });
    }

    void showAndActivate()
    {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    template <typename T = QWidget>
    T *control(const QString &name) const
    {
        T *widget = form->findChild<T *>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }

    QLineEdit *text(const char *name) const
    {
        return control<QLineEdit>(QString::fromLatin1(name));
    }
    void click(const char *button)
    {
        QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);
    }

    // The indicators of one row as a user sees them, from left to right by their position on
    // screen: R for red, B for black, ? for no reading.
    QString row(int first) const
    {
        std::vector<BitIndicator *> indicators;
        for (int i = first; i < first + 8; ++i)
            indicators.push_back(control<BitIndicator>(QStringLiteral("Label3_%1").arg(i)));
        std::ranges::sort(indicators, {}, [](const QWidget *w) { return w->x(); });
        QString colours;
        for (const BitIndicator *indicator : indicators)
            colours += indicator->state() == BitIndicator::State::On    ? u'R'
                       : indicator->state() == BitIndicator::State::Off ? u'B'
                                                                        : u'?';
        return colours;
    }

    // Sets both fields as a program would, and starts counting accesses and errors afresh.
    void enter(const char *address, const char *value)
    {
        text("Text1")->setText(QString::fromLatin1(address));
        text("Text2")->setText(QString::fromLatin1(value));
        port->clearAccesses();
        errors.clear();
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
    port::SimulatedPort *port = nullptr;
    std::unique_ptr<Form1> form;
    QStringList errors;
};
