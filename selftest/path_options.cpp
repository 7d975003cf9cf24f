#include "selftest.h"

#ifdef __linux__
#include "portio_policy.h"
#include "routing_port.h"
#elif defined(_WIN32)
#include "windows_doctor.h"
#endif

namespace selftest {

Options optionsFor(port::Session &session, std::uint16_t base)
{
    Options options;
#ifdef __linux__
    // Finding the routes may claim the port: the action gives it back.
    const port::Action action = session.beginAction();
    auto *routing = dynamic_cast<port::RoutingPort *>(session.openNow());
    if (!routing)
        return options;
    options.controlReadsHardware = !routing->throughPpdev(std::uint16_t(base + 2));
    // The kernel's port names its ECP block (on a PCI card it is not base + 400h); other ports
    // have theirs where an ISA port does.
    unsigned ecp = base + 0x400u;
    for (const portio::KernelPort &port : portio::kernelPorts())
        if (port.base == base && port.highBase)
            ecp = port.highBase;
    if (ecp + 2 <= 0xFFFF && routing->route(std::uint16_t(ecp + 2)) != port::Route::None)
        options.ecpBlock = std::uint16_t(ecp);
#elif defined(_WIN32)
    // The port library reaches every address: the ECP block is the one Windows allocated the
    // port, and none where Windows does not list it.
    (void)session;
    for (const doctor::WindowsLptDevice &device : doctor::windowsSystem()->lptPorts())
        if (device.io.size() > 1 && device.io.front().first == base)
            options.ecpBlock = device.io[1].first;
#else
    (void)session;
    (void)base;
#endif
    return options;
}

} // namespace selftest
