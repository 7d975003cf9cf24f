#include "windows_doctor.h"

#include "windows_port.h"

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace doctor {

namespace {

// The device setup class "Ports (COM & LPT)".
constexpr GUID PortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
// What StartService answers for a driver that memory integrity or the vulnerable-driver
// blocklist refuses; the service manager keeps it as the service's exit code.
constexpr DWORD DriverBlocked = 1275;   // ERROR_DRIVER_BLOCKED
constexpr DWORD InvalidImageHash = 577; // ERROR_INVALID_IMAGE_HASH
// The name the port library gives the service of the kernel driver it installs.
constexpr const wchar_t *DriverService = L"inpoutx64";

std::string utf8(const std::wstring &text)
{
    if (text.empty())
        return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string out(std::size_t(std::max(size, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size, nullptr,
                          nullptr);
    return out;
}

std::wstring trimmed(std::wstring text)
{
    text.resize(std::wcslen(text.c_str()));
    return text;
}

std::wstring stringProperty(HDEVINFO set, SP_DEVINFO_DATA &device, DWORD property)
{
    std::wstring text(512, L'\0');
    DWORD type = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                             reinterpret_cast<BYTE *>(text.data()),
                                             DWORD(text.size() * sizeof(wchar_t)), nullptr)
        || type != REG_SZ)
        return {};
    return trimmed(text);
}

std::optional<DWORD> numberProperty(HDEVINFO set, SP_DEVINFO_DATA &device, DWORD property)
{
    DWORD value = 0;
    DWORD type = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(
            set, &device, property, &type, reinterpret_cast<BYTE *>(&value), sizeof value, nullptr)
        || type != REG_DWORD)
        return std::nullopt;
    return value;
}

std::wstring portName(HDEVINFO set, SP_DEVINFO_DATA &device)
{
    HKEY key =
        ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    std::wstring name(64, L'\0');
    DWORD size = DWORD(name.size() * sizeof(wchar_t));
    DWORD type = 0;
    const LSTATUS status = ::RegQueryValueExW(key, L"PortName", nullptr, &type,
                                              reinterpret_cast<BYTE *>(name.data()), &size);
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_SZ ? trimmed(name) : std::wstring();
}

// The I/O ranges of the configuration Windows allocated the device, in its order.
std::vector<IoRange> ioRanges(DEVINST device)
{
    std::vector<IoRange> ranges;
    LOG_CONF config = 0;
    if (::CM_Get_First_Log_Conf(&config, device, ALLOC_LOG_CONF) != CR_SUCCESS
        && ::CM_Get_First_Log_Conf(&config, device, BOOT_LOG_CONF) != CR_SUCCESS)
        return ranges;
    RES_DES resource = 0;
    RES_DES previous = config;
    while (::CM_Get_Next_Res_Des(&resource, previous, ResType_IO, nullptr, 0) == CR_SUCCESS) {
        if (previous != config)
            ::CM_Free_Res_Des_Handle(previous);
        previous = resource;
        // The data is an IO_RESOURCE: its IO_DES first, then as many IO_RANGEs as it says.
        ULONG size = 0;
        IO_DES io{};
        std::vector<char> data;
        if (::CM_Get_Res_Des_Data_Size(&size, resource, 0) == CR_SUCCESS && size >= sizeof io) {
            data.resize(size);
            if (::CM_Get_Res_Des_Data(resource, data.data(), size, 0) == CR_SUCCESS)
                std::memcpy(&io, data.data(), sizeof io);
        }
        if (io.IOD_Alloc_End != 0 && io.IOD_Alloc_End <= 0xFFFF
            && io.IOD_Alloc_Base <= io.IOD_Alloc_End)
            ranges.push_back({std::uint16_t(io.IOD_Alloc_Base), std::uint16_t(io.IOD_Alloc_End)});
    }
    if (previous != config)
        ::CM_Free_Res_Des_Handle(previous);
    ::CM_Free_Log_Conf_Handle(config);
    return ranges;
}

std::wstring programFolderW()
{
    wchar_t path[MAX_PATH];
    std::wstring folder(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
    return folder.substr(0, folder.find_last_of(L'\\'));
}

bool registryFlag(const wchar_t *key, const wchar_t *value)
{
    DWORD flag = 0;
    DWORD size = sizeof flag;
    return ::RegGetValueW(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_DWORD, nullptr, &flag, &size)
               == ERROR_SUCCESS
           && flag != 0;
}

class RealWindowsSystem : public WindowsSystem
{
public:
    std::vector<WindowsLptDevice> lptPorts() override
    {
        std::vector<WindowsLptDevice> ports;
        HDEVINFO set = ::SetupDiGetClassDevsW(&PortsClass, nullptr, nullptr, DIGCF_PRESENT);
        if (set == INVALID_HANDLE_VALUE)
            return ports;
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
            const std::wstring name = portName(set, device);
            if (name.compare(0, 3, L"LPT") != 0)
                continue;
            WindowsLptDevice port;
            port.portName = utf8(name);
            wchar_t id[MAX_DEVICE_ID_LEN] = {};
            if (::SetupDiGetDeviceInstanceIdW(set, &device, id, MAX_DEVICE_ID_LEN, nullptr))
                port.instanceId = utf8(id);
            std::wstring title = stringProperty(set, device, SPDRP_FRIENDLYNAME);
            port.name = utf8(title.empty() ? stringProperty(set, device, SPDRP_DEVICEDESC) : title);
            port.driver = utf8(stringProperty(set, device, SPDRP_SERVICE));
            const std::optional<DWORD> bus = numberProperty(set, device, SPDRP_BUSNUMBER);
            const std::optional<DWORD> address = numberProperty(set, device, SPDRP_ADDRESS);
            if (port.instanceId.compare(0, 4, "PCI\\") == 0 && bus && address) {
                // A PCI device's address is its device number in the high word, its function in
                // the low one.
                char slot[32];
                std::snprintf(slot, sizeof slot, "0000:%02lx:%02lx.%lx", bus.value(),
                              (address.value() >> 16) & 0xFF, address.value() & 0xFFFF);
                port.pciSlot = slot;
            }
            port.io = ioRanges(device.DevInst);
            ports.push_back(port);
        }
        ::SetupDiDestroyDeviceInfoList(set);
        return ports;
    }

    std::optional<PortLibraryFile> portLibrary() override
    {
        wchar_t system[MAX_PATH];
        const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
        for (const std::wstring &folder : {programFolderW(), std::wstring(system, length)}) {
            const std::wstring path = folder + L"\\" + port::WindowsPort::libraryName();
            if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
                return PortLibraryFile{utf8(path), peMachine(path)};
        }
        return std::nullopt;
    }

    std::string programFolder() override { return utf8(programFolderW()); }

    std::uint16_t programMachine() override
    {
#if defined(__aarch64__)
        return MachineArm64;
#elif defined(_WIN64)
        return MachineAmd64;
#else
        return MachineI386;
#endif
    }

    ServiceState driverService() override
    {
        SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        if (!manager)
            return ServiceState::Unknown;
        SC_HANDLE service = ::OpenServiceW(manager, DriverService, SERVICE_QUERY_STATUS);
        const DWORD error = service ? 0 : ::GetLastError();
        SERVICE_STATUS status{};
        const bool queried = service && ::QueryServiceStatus(service, &status);
        if (service)
            ::CloseServiceHandle(service);
        ::CloseServiceHandle(manager);
        if (error == ERROR_SERVICE_DOES_NOT_EXIST)
            return ServiceState::NotInstalled;
        if (!queried)
            return ServiceState::Unknown;
        if (status.dwCurrentState == SERVICE_RUNNING)
            return ServiceState::Running;
        if (status.dwWin32ExitCode == DriverBlocked || status.dwWin32ExitCode == InvalidImageHash)
            return ServiceState::Blocked;
        return ServiceState::Stopped;
    }

    std::vector<std::string> driverBlockers() override
    {
        std::vector<std::string> on;
        if (registryFlag(L"SYSTEM\\CurrentControlSet\\Control\\DeviceGuard\\Scenarios\\"
                         L"HypervisorEnforcedCodeIntegrity",
                         L"Enabled"))
            on.push_back("Integridad de memoria");
        if (registryFlag(L"SYSTEM\\CurrentControlSet\\Control\\CI\\Config",
                         L"VulnerableDriverBlocklistEnable"))
            on.push_back("Lista de bloqueo de controladores vulnerables de Microsoft");
        return on;
    }

    bool elevated() override
    {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
            return false;
        TOKEN_ELEVATION elevation{};
        DWORD size = 0;
        const bool ok =
            ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
        ::CloseHandle(token);
        return ok && elevation.TokenIsElevated;
    }

    std::optional<bool> driverOpens() override
    {
        HMODULE module =
            ::LoadLibraryExW(port::WindowsPort::libraryName(), nullptr,
                             LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!module)
            return false;
        using IsOpen = BOOL(__stdcall *)();
        const auto isOpen = reinterpret_cast<IsOpen>(
            reinterpret_cast<void (*)()>(::GetProcAddress(module, "IsInpOutDriverOpen")));
        const std::optional<bool> open =
            isOpen ? std::optional<bool>(isOpen() != FALSE) : std::nullopt;
        ::FreeLibrary(module);
        return open;
    }
};

} // namespace

std::uint16_t peMachine(const std::wstring &path)
{
    std::FILE *file = ::_wfopen(path.c_str(), L"rb");
    if (!file)
        return 0;
    unsigned char header[1024] = {};
    const std::size_t got = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
    if (got < 0x40 || header[0] != 'M' || header[1] != 'Z')
        return 0;
    const std::size_t pe = header[0x3C] | header[0x3D] << 8;
    if (pe + 6 > got || header[pe] != 'P' || header[pe + 1] != 'E' || header[pe + 2]
        || header[pe + 3])
        return 0;
    return std::uint16_t(header[pe + 4] | header[pe + 5] << 8);
}

std::unique_ptr<WindowsSystem> windowsSystem()
{
    return std::make_unique<RealWindowsSystem>();
}

std::vector<NamedPort> namedPorts()
{
    std::vector<NamedPort> named;
    for (const WindowsLptDevice &device : windowsSystem()->lptPorts())
        if (!device.io.empty())
            named.push_back({device.io.front().first, device.portName});
    std::sort(named.begin(), named.end(),
              [](const NamedPort &a, const NamedPort &b) { return a.base < b.base; });
    return named;
}

port::PortFailure adviceFor(std::uint16_t address, const port::PortFailure &driver)
{
    return adviceFor(findPortsWindows(*windowsSystem()), address, driver);
}

} // namespace doctor
