// A port library that keeps its ports in memory, exporting the same entry points as the real one.
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
}
