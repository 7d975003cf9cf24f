#include "inpout.h"

#include "direct_port.h"
#include "simulated_port.h"

namespace inpout {

namespace {

struct Binding
{
    std::unique_ptr<PortDriver> driver;
    HardwareOpener openHardware = [](std::string &whyNot) -> std::unique_ptr<PortDriver> {
        return DirectPort::open(whyNot);
    };
    std::function<void(const std::string &)> noticeHandler;
    std::string pendingNotice;
};

Binding &binding()
{
    static Binding instance;
    return instance;
}

void deliverNotice()
{
    Binding &b = binding();
    if (b.noticeHandler && !b.pendingNotice.empty()) {
        const std::string notice = std::move(b.pendingNotice);
        b.pendingNotice.clear();
        b.noticeHandler(notice);
    }
}

PortDriver &driver()
{
    Binding &b = binding();
    if (!b.driver) {
        std::string whyNot;
        b.driver = b.openHardware(whyNot);
        if (!b.driver) {
            b.driver = std::make_unique<SimulatedPort>();
            b.pendingNotice = simulatedPortNotice(whyNot);
            deliverNotice();
        }
    }
    return *b.driver;
}

} // namespace

void installDriver(std::unique_ptr<PortDriver> driver)
{
    binding().driver = std::move(driver);
}

PortDriver *currentDriver()
{
    return binding().driver.get();
}

void setHardwareOpener(HardwareOpener opener)
{
    binding().openHardware = std::move(opener);
}

void setNoticeHandler(std::function<void(const std::string &)> handler)
{
    binding().noticeHandler = std::move(handler);
    deliverNotice();
}

std::string simulatedPortNotice(const std::string &reason)
{
    return "No hay acceso directo a los puertos de E/S de este equipo.\n\n"
           "Motivo: "
           + reason
           + ".\n\n"
             "Para trabajar con el puerto real, ejecute Velmora como root o concédale la capacidad "
             "CAP_SYS_RAWIO (sudo setcap cap_sys_rawio+ep velmora), en un núcleo sin bloqueo "
             "(lockdown) y con /dev/port.\n\n"
             "Mientras tanto se usa un puerto paralelo simulado en 378h (888): lo que envíe no llega "
             "a ningún puerto real.";
}

} // namespace inpout

PortValue Inp32(PortAddress address)
{
    return inpout::driver().read(static_cast<std::uint16_t>(address));
}

void Out32(PortAddress address, PortValue value)
{
    inpout::driver().write(static_cast<std::uint16_t>(address), value);
}
