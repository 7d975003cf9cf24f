// A port library that keeps its ports in memory, exporting the same entry points as the real one.
// DRIVER_OPEN, when defined, is what its IsInpOutDriverOpen answers; older releases lack that
// entry. RECORD_WRITES appends each Out32 to velmora-port-writes.txt in the current folder, as
// "Out32 <address> <value>" in decimal, so that a test of the whole program can see its writes.
// KEEP_BYTES keeps the ports in velmora-port-bytes.bin beside the library instead, a byte an
// address, so that Inp32 in one program gives what Out32 wrote in another before it.
#if defined(RECORD_WRITES) || defined(KEEP_BYTES)
#include <cstdio>
#endif
#ifdef KEEP_BYTES
#include <windows.h>

#include <string>

static std::FILE *keptBytes()
{
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS
                             | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&keptBytes), &self);
    wchar_t path[MAX_PATH];
    std::wstring file(path, ::GetModuleFileNameW(self, path, MAX_PATH));
    file = file.substr(0, file.find_last_of(L'\\') + 1) + L"velmora-port-bytes.bin";
    std::FILE *bytes = ::_wfopen(file.c_str(), L"r+b");
    return bytes ? bytes : ::_wfopen(file.c_str(), L"w+b");
}
#endif

extern "C" {

static unsigned char ports[0x10000];

__declspec(dllexport) short __stdcall Inp32(short address)
{
#ifdef KEEP_BYTES
    if (std::FILE *bytes = keptBytes()) {
        std::fseek(bytes, static_cast<unsigned short>(address), SEEK_SET);
        const int value = std::fgetc(bytes);
        std::fclose(bytes);
        return static_cast<short>(value == EOF ? 0 : value);
    }
#endif
    return ports[static_cast<unsigned short>(address)];
}

#ifndef WITHOUT_OUT32
__declspec(dllexport) void __stdcall Out32(short address, short value)
{
    ports[static_cast<unsigned short>(address)] = static_cast<unsigned char>(value);
#ifdef KEEP_BYTES
    if (std::FILE *bytes = keptBytes()) {
        std::fseek(bytes, static_cast<unsigned short>(address), SEEK_SET);
        std::fputc(static_cast<unsigned char>(value), bytes);
        std::fclose(bytes);
    }
#endif
#ifdef RECORD_WRITES
    if (std::FILE *record = std::fopen("velmora-port-writes.txt", "a")) {
        std::fprintf(record, "Out32 %u %d\n", static_cast<unsigned short>(address), value);
        std::fclose(record);
    }
#endif
}
#endif

#ifdef DRIVER_OPEN
__declspec(dllexport) int __stdcall IsInpOutDriverOpen()
{
    return DRIVER_OPEN;
}
#endif
}
