#pragma once

#ifdef _WIN32

#include "port_driver.h"

#include <memory>
#include <string>

namespace port {

// The port I/O library of Windows, bound by name with its entry points
//   short _stdcall Inp32(short address);
//   void _stdcall Out32(short address, short value);
// The library is loaded when the driver is opened, which a session does at its first access, from
// the program's folder or System32 only. A library that exports
//   BOOL _stdcall IsInpOutDriverOpen();
// is used only when that says its kernel driver is open.
class WindowsPort : public PortDriver
{
public:
    using Inp32Function = short(__stdcall *)(short);
    using Out32Function = void(__stdcall *)(short, short);

    // "inpoutx64.dll" in a 64-bit build, "inpout32.dll" in a 32-bit one.
    static const wchar_t *libraryName();

    // Loads the library and finds both entry points, or returns nullptr and names, in Spanish,
    // what is missing or that the library's driver is not open.
    static std::unique_ptr<WindowsPort> open(const std::wstring &library, std::string &whyNot);
    ~WindowsPort() override;
    WindowsPort(const WindowsPort &) = delete;
    WindowsPort &operator=(const WindowsPort &) = delete;

    PortValue read(std::uint16_t address) override;
    void write(std::uint16_t address, PortValue value) override;

private:
    WindowsPort(void *module, Inp32Function inp32, Out32Function out32);

    void *m_module;
    Inp32Function m_inp32;
    Out32Function m_out32;
};

} // namespace port

#endif
