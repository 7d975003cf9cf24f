// velmora-portio: reads and writes single I/O ports for Velmora, which starts it and talks to it
// over standard input and output (see portio_protocol.h). It is the only part of Velmora that
// holds CAP_SYS_RAWIO, given by the install together with a mode that lets only the members of
// the velmora-port group run it. It takes no arguments and reads no files and no environment.
#include "portio_server.h"

#include <cerrno>
#include <cstdio>
#include <sys/io.h>
#include <unistd.h>

namespace {

// Permission for one port at a time, taken just before the access and dropped just after:
// ioperm, unlike iopl(3), never opens the other 65535 ports, and nothing stays open between
// requests.
class IopermPortIo : public portio::PortIo
{
public:
    int probe() override
    {
        // Granted and dropped again at once; no port is read or written.
        if (ioperm(ProbeAddress, 1, 1) != 0)
            return errno;
        ioperm(ProbeAddress, 1, 0);
        return 0;
    }

    int read(std::uint16_t address, std::uint8_t &value) override
    {
        if (ioperm(address, 1, 1) != 0)
            return errno;
        value = inb(address);
        ioperm(address, 1, 0);
        return 0;
    }

    int write(std::uint16_t address, std::uint8_t value) override
    {
        if (ioperm(address, 1, 1) != 0)
            return errno;
        outb(value, address);
        ioperm(address, 1, 0);
        return 0;
    }

private:
    static constexpr unsigned ProbeAddress = 0x378;
};

} // namespace

int main(int argc, char **)
{
    if (argc != 1) {
        std::fputs("velmora-portio no admite argumentos: lo arranca Velmora y le habla por su "
                   "entrada y su salida.\n",
                   stderr);
        return portio::Malformed;
    }
    // Nothing the starting process left open is of use here.
    close_range(3, ~0U, 0);
    IopermPortIo io;
    return portio::serveRequests(STDIN_FILENO, STDOUT_FILENO, io);
}
