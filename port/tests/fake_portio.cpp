// A stand-in for velmora-portio that speaks its protocol and serves what the real helper serves on
// a machine whose kernel knows no port, every register reading FFh. What else it does is set by
// the name of the folder it was copied into, since the real helper is started with no arguments
// and no environment:
//   no-permission  says at start that it may not use the ports (EPERM)
//   bad-version    greets with a protocol version that does not exist
//   die            exits with status 7 at the first request
//   hang           greets, then never answers
#include "portio_protocol.h"
#include "portio_server.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

class FloatingPortIo : public portio::PortIo
{
public:
    explicit FloatingPortIo(std::string mode)
        : m_mode(std::move(mode))
    {}

    int probe() override { return m_mode == "no-permission" ? EPERM : 0; }
    int read(std::uint16_t, std::uint8_t &value) override
    {
        value = 0xFF;
        return served();
    }
    int write(std::uint16_t, std::uint8_t) override { return served(); }

private:
    int served() const
    {
        if (m_mode == "die")
            std::_Exit(7);
        while (m_mode == "hang")
            pause();
        return 0;
    }

    std::string m_mode;
};

} // namespace

int main()
{
    const std::string mode =
        std::filesystem::read_symlink("/proc/self/exe").parent_path().filename().string();
    if (mode == "bad-version") {
        const portio::Message hello = portio::message(portio::Hello, portio::Version + 1, 0);
        return ::write(STDOUT_FILENO, hello.data(), hello.size()) == 4 ? 0 : 1;
    }
    FloatingPortIo io(mode);
    return portio::serveRequests(STDIN_FILENO, STDOUT_FILENO, io, portio::Policy({}, {}));
}
