#ifdef _WIN32

#include "windows_port.h"

#include <windows.h>

namespace port {

namespace {

std::string narrow(const std::wstring &text)
{
    return std::string(text.begin(), text.end()); // library names are plain ASCII
}

std::string describeLoadError(DWORD error)
{
    switch (error) {
    case ERROR_MOD_NOT_FOUND:
        return "no se encuentra junto al programa ni en la carpeta de sistema de Windows (la "
               "carpeta actual no se mira)";
    case ERROR_BAD_EXE_FORMAT:
        return "es de otra arquitectura (32 o 64 bits) que el programa";
    case ERROR_ACCESS_DENIED:
        return "no se tiene permiso para cargarla";
    default:
        return "Windows no pudo cargarla (error " + std::to_string(error) + ")";
    }
}

using IsDriverOpenFunction = int(__stdcall *)();

template <typename Function>
Function entryPoint(HMODULE module, const char *name)
{
    // GetProcAddress gives a generic function pointer; the entry's real type is known by name.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace

const wchar_t *WindowsPort::libraryName()
{
#ifdef _WIN64
    return L"inpoutx64.dll";
#else
    return L"inpout32.dll";
#endif
}

std::unique_ptr<WindowsPort> WindowsPort::open(const std::wstring &library, std::string &whyNot)
{
    // Only the program's own folder and System32: a library of that name left in the current
    // folder (a download folder, a network share) would otherwise run with the program's rights.
    HMODULE module =
        LoadLibraryExW(library.c_str(), nullptr,
                       LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module) {
        whyNot = "la biblioteca " + narrow(library) + " " + describeLoadError(GetLastError());
        return nullptr;
    }
    const auto inp32 = entryPoint<Inp32Function>(module, "Inp32");
    const auto out32 = entryPoint<Out32Function>(module, "Out32");
    if (!inp32 || !out32) {
        whyNot = "la biblioteca " + narrow(library) + " no tiene la función "
                 + (inp32   ? "Out32"
                    : out32 ? "Inp32"
                            : "Inp32 ni la función Out32");
        FreeLibrary(module);
        return nullptr;
    }
    // Without its kernel driver the library answers every Inp32 with 0, which would pass for a
    // real reading. Releases that can tell export IsInpOutDriverOpen; older ones are trusted.
    const auto driverOpen = entryPoint<IsDriverOpenFunction>(module, "IsInpOutDriverOpen");
    if (driverOpen && !driverOpen()) {
        whyNot = "la biblioteca " + narrow(library)
                 + " está, pero su controlador no está abierto (IsInpOutDriverOpen): la "
                   "biblioteca lo instala la primera vez que se ejecuta como administrador";
        FreeLibrary(module);
        return nullptr;
    }
    return std::unique_ptr<WindowsPort>(new WindowsPort(module, inp32, out32));
}

WindowsPort::WindowsPort(void *module, Inp32Function inp32, Out32Function out32)
    : m_module(module)
    , m_inp32(inp32)
    , m_out32(out32)
{}

WindowsPort::~WindowsPort()
{
    FreeLibrary(static_cast<HMODULE>(m_module));
}

PortValue WindowsPort::read(std::uint16_t address)
{
    return m_inp32(static_cast<short>(address));
}

void WindowsPort::write(std::uint16_t address, PortValue value)
{
    m_out32(static_cast<short>(address), value);
}

} // namespace port

#endif
