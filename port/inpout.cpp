#include "inpout.h"

#include "simulated_port.h"

#ifdef _WIN32
#include "windows_port.h"
#elif defined(__linux__)
#include "routing_port.h"
#endif

namespace port {

namespace {

struct Binding
{
    std::unique_ptr<PortDriver> driver;
    HardwareOpener openHardware = [](std::string &whyNot) -> std::unique_ptr<PortDriver> {
#ifdef _WIN32
        return WindowsPort::open(WindowsPort::libraryName(), whyNot);
#elif defined(__linux__)
        return RoutingPort::open(PortSystem{}, whyNot);
#else
        whyNot = "este sistema no da acceso a los puertos de E/S";
        return nullptr;
#endif
    };
    std::function<void(const std::string &)> noticeHandler;
    std::string pendingNotice;
    int actions = 0;
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
            raiseNotice(simulatedPortNotice(whyNot));
        }
    }
    return *b.driver;
}

#ifdef _WIN32
std::string libraryText()
{
    const std::wstring name = WindowsPort::libraryName();
    return std::string(name.begin(), name.end());
}
#endif

} // namespace

PortAction::PortAction()
{
    ++binding().actions;
}

PortAction::~PortAction()
{
    Binding &b = binding();
    if (--b.actions == 0 && b.driver)
        b.driver->endAction();
}

void raiseNotice(const std::string &text)
{
    Binding &b = binding();
    b.pendingNotice += (b.pendingNotice.empty() ? "" : "\n\n") + text;
    deliverNotice();
}

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
    return "No hay acceso a los puertos de E/S de este equipo.\n\n"
           "Motivo: "
           + reason
           + ".\n\n"
#ifdef _WIN32
             "Para trabajar con el puerto real, la biblioteca de acceso a puertos "
           + libraryText()
           + " ha de estar junto a Velmora y su controlador, instalado: ejecute Velmora una vez "
             "como administrador (clic derecho, «Ejecutar como administrador») y la biblioteca "
             "lo instala; después basta con abrirlo de la forma habitual.\n\n"
#else
             "Para trabajar con el puerto real: cargue el módulo ppdev (sudo modprobe ppdev) y "
             "añada su usuario al grupo lp, para los puertos que conoce el núcleo; o instale "
             "Velmora con su ayudante velmora-portio y añada su usuario al grupo velmora-port, "
             "para los registros de puerto paralelo que el núcleo no controla. Como root se "
             "llega a todas las direcciones, salvo con el núcleo bloqueado (lockdown).\n\n"
#endif
             "Mientras tanto se usa un puerto paralelo simulado en 378h (888): lo que envíe no "
             "llega "
             "a ningún puerto real.";
}

} // namespace port

PortValue Inp32(PortAddress address)
{
    const port::PortAction action;
    return port::driver().read(static_cast<std::uint16_t>(address));
}

void Out32(PortAddress address, PortValue value)
{
    const port::PortAction action;
    port::driver().write(static_cast<std::uint16_t>(address), value);
}
