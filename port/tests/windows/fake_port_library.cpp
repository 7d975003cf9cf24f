// A port library that keeps its ports in memory, exporting the same entry points as the real one.
// DRIVER_OPEN, when defined, is what its IsInpOutDriverOpen answers; older releases lack that
// entry.
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
}
#endif

#ifdef DRIVER_OPEN
__declspec(dllexport) int __stdcall IsInpOutDriverOpen()
{
    return DRIVER_OPEN;
}
#endif
}
