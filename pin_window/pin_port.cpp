#include "pin_port.h"

#include "inpout.h"
#include "port_error.h"

#ifdef __linux__
#include "portio_policy.h"
#endif

namespace pins {

namespace {

// Ends the driver's action however the calls inside it end.
class Action
{
public:
    explicit Action(port::PortDriver &driver)
        : m_driver(driver)
    {}
    ~Action() { m_driver.endAction(); }
    Action(const Action &) = delete;
    Action &operator=(const Action &) = delete;

private:
    port::PortDriver &m_driver;
};

} // namespace

PinPort::PinPort(DriverSource source)
    : m_source(std::move(source))
{}

Reading PinPort::sample(std::uint16_t base)
{
    Reading reading;
    port::PortDriver *driver = m_source(reading.failure);
    if (!driver)
        return reading;
    const Action action(*driver);
    try {
        port::Registers r;
        r.data = std::uint8_t(driver->read(base));
        r.status = std::uint8_t(driver->read(std::uint16_t(base + 1)));
        r.control = std::uint8_t(driver->read(std::uint16_t(base + 2)));
        reading.registers = r;
    } catch (const port::PortError &error) {
        reading.failure = error.what();
    }
    return reading;
}

std::string PinPort::write(std::uint16_t address, std::uint8_t value)
{
    std::string failure;
    port::PortDriver *driver = m_source(failure);
    if (!driver)
        return failure;
    const Action action(*driver);
    try {
        driver->write(address, value);
    } catch (const port::PortError &error) {
        failure = error.what();
    }
    return failure;
}

selftest::Result PinPort::selfTest(std::uint16_t base)
{
    std::string failure;
    port::PortDriver *driver = m_source(failure);
    if (!driver) {
        selftest::Result result;
        result.base = base;
        result.ending = selftest::Ending::NoPort;
        result.failure = failure;
        return result;
    }
    return selftest::run(*driver, base); // one action, ended by run itself
}

PinPort boundPinPort()
{
    return PinPort([](std::string &whyNot) -> port::PortDriver * {
        // The main window binds the driver at its start; a read binds it otherwise.
        if (!port::currentDriver()) {
            try {
                (void)Inp32(StatusPort);
            } catch (const port::PortError &error) {
                whyNot = error.what();
                return nullptr;
            }
        }
        return port::currentDriver();
    });
}

std::vector<OfferedPort> offeredPorts()
{
    std::vector<OfferedPort> offered;
#ifdef __linux__
    for (const auto &kernelPort : portio::kernelPorts())
        offered.push_back({kernelPort.base, kernelPort.name});
#endif
    if (offered.empty())
        offered = {{0x378, "LPT1"}, {0x278, "LPT2"}, {0x3BC, "LPT1 (vídeo)"}};
    return offered;
}

} // namespace pins
