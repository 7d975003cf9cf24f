#include "widget_test_support.h"

#include "port_error.h"

#include <stdexcept>

namespace {

// A machine whose real paths reach every address but one; and one with a fault nobody expected.
class PartlyReachablePort : public port::PortDriver
{
public:
    explicit PartlyReachablePort(std::uint16_t unreachable)
        : unreachable(unreachable)
    {}
    PortValue read(std::uint16_t address) override
    {
        check(port::PortError::Access::Read, address);
        return 0x0F;
    }
    void write(std::uint16_t address, PortValue) override
    {
        check(port::PortError::Access::Write, address);
    }
    void check(port::PortError::Access access, std::uint16_t address)
    {
        if (address == unreachable)
            throw port::PortError(access, address, {"ninguna vía llega a esta dirección", "", 0});
    }
    std::uint16_t unreachable;
};

class BrokenPort : public port::PortDriver
{
public:
    PortValue read(std::uint16_t) override { throw std::runtime_error("lectura rota"); }
    void write(std::uint16_t, PortValue) override {}
};

class Form1PortErrors : public Form1Test
{
protected:
    PartlyReachablePort *install(std::uint16_t unreachable)
    {
        auto owned = std::make_unique<PartlyReachablePort>(unreachable);
        PartlyReachablePort *driver = owned.get();
        port::installDriver(std::move(owned));
        return driver;
    }
};

TEST_F(Form1PortErrors, AnUnreadablePort888IsSaidOnceAtStartAndShowsNoReading)
{
    install(888);
    openForm();
    EXPECT_TRUE(errors.isEmpty()); // not before the window is up
    QApplication::processEvents();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith("No se pudo leer el puerto 888 (378h): ninguna vía llega"))
        << errors[0].toStdString();
    EXPECT_EQ(text("Text3")->text(), "00000000"); // the value is shown all the same
    EXPECT_TRUE(text("Text4")->text().isEmpty());
    EXPECT_TRUE(text("Text5")->text().isEmpty());
    EXPECT_EQ(row(8), "????????");

    // Typing refreshes quietly; a click says it once, however many reads failed inside it, and
    // a failed read writes nothing into the value field.
    typeValue(QStringLiteral("12"));
    EXPECT_EQ(text("Text3")->text(), "00110000");
    EXPECT_EQ(errors.size(), 1);
    click("Command6_0");
    EXPECT_EQ(text("Text2")->text(), " 13");
    ASSERT_EQ(errors.size(), 2);
    click("Command3"); // in Dec from 888
    EXPECT_EQ(text("Text2")->text(), " 13");
    text("Text1")->setText(QStringLiteral("278"));
    click("Command2"); // out HEX to 278h is reached, the refresh after it is not
    ASSERT_EQ(errors.size(), 4);
    EXPECT_EQ(errors[3], errors[0]);
    install(632);
    click("Command2");
    ASSERT_EQ(errors.size(), 5);
    EXPECT_TRUE(errors[4].startsWith("No se pudo escribir en el puerto 632 (278h)"))
        << errors[4].toStdString();
}

TEST_F(Form1PortErrors, AnUnexpectedErrorIsReportedOnceByItsTextAndTheWindowGoesOn)
{
    port::installDriver(std::make_unique<BrokenPort>());
    openForm();
    QApplication::processEvents();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith("Algo falló de forma inesperada al iniciar: lectura rota."))
        << errors[0].toStdString();

    // The click's refresh of the changed value meets the fault first; the click says it once.
    showAndActivate();
    click("Command6_0");
    ASSERT_EQ(errors.size(), 2);
    EXPECT_TRUE(errors[1].startsWith("Algo falló de forma inesperada al pulsar «+»: lectura rota."))
        << errors[1].toStdString();
    EXPECT_EQ(text("Text2")->text(), " 1");
    EXPECT_TRUE(form->isVisible());

    // Leaving a field is a boundary of its own.
    text("Text1")->setFocus();
    control<QPushButton>("Command1")->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(errors.size(), 3);
    EXPECT_TRUE(errors[2].startsWith("Algo falló de forma inesperada al actualizar la ventana"))
        << errors[2].toStdString();
}

} // namespace
