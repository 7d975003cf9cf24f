// A port library that keeps its ports in memory, exporting the same entry points as the real one.
// DRIVER_OPEN, when defined, is what its IsInpOutDriverOpen answers; older releases lack that
// entry. RECORD_WRITES appends each Out32 to velmora-port-writes.txt in the current folder, as
// "Out32 <address> <value>" in decimal, so that a test of the whole program can see its writes.
#ifdef RECORD_WRITES
#include <cstdio>
#endif

extern "C" {

static unsigned char ports[0x10000];

__declspec(dllexport) short __stdcall Inp32(short address)
{
    return ports[static_cast<unsigned short>(address)];
}

#ifndef WITHOUT_OUT32
__declspec(dllexport) void __stdcall Out32(short address, short value)
{
    ports[static_cast<unsigned short>(address)] = static_cast<unsigned char>(value);
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
