// A stand-in for velmora-portio that speaks its protocol over a port kept in memory. What it does
// is set by the name of the folder it was copied into, since the real helper is started with no
// arguments and no environment:
//   ok             serves reads and writes; every address reads back the last byte written to it
//   no-permission  says at start that it may not use the ports (EPERM)
//   bad-version    greets with a protocol version that does not exist
//   die-after-1    serves one request, then exits with status 7
//   hang           greets, then never answers
//   parallel-only  serves what the real helper serves on a machine whose kernel knows no port
//   report         reads of 1 give the number of open descriptors above 2, of 2 the number of
//                  environment variables, of 3 the number of signals blocked or ignored
#include "portio_protocol.h"
#include "portio_server.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

extern char **environ;

namespace {

class MemoryPortIo : public portio::PortIo
{
public:
    explicit MemoryPortIo(std::string mode)
        : m_mode(std::move(mode))
    {
        m_ports.fill(0xFF);
    }

    int probe() override { return m_mode == "no-permission" ? EPERM : 0; }

    int read(std::uint16_t address, std::uint8_t &value) override
    {
        served();
        if (m_mode == "report" && (address == 1 || address == 2)) {
            value = static_cast<std::uint8_t>(address == 1 ? openDescriptors() : environmentSize());
            return 0;
        }
        if (m_mode == "report" && address == 3) {
            value = static_cast<std::uint8_t>(signalsNotDefault());
            return 0;
        }
        value = m_ports[address];
        return 0;
    }

    int write(std::uint16_t address, std::uint8_t value) override
    {
        served();
        m_ports[address] = value;
        return 0;
    }

private:
    void served()
    {
        if (m_mode == "die-after-1" && ++m_requests > 1)
            std::_Exit(7);
        if (m_mode == "hang")
            for (;;)
                pause();
    }

    static int openDescriptors()
    {
        int count = 0;
        for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
            if (std::stoi(entry.path().filename().string()) > 2)
                ++count;
        return count - 1; // the descriptor that lists the folder
    }

    static int signalsNotDefault()
    {
        sigset_t blocked;
        sigprocmask(SIG_BLOCK, nullptr, &blocked);
        int count = 0;
        for (int signal = 1; signal < NSIG; ++signal) {
            struct sigaction action
            {};
            sigaction(signal, nullptr, &action);
            if (sigismember(&blocked, signal) == 1 || action.sa_handler == SIG_IGN)
                ++count;
        }
        return count;
    }

    static int environmentSize()
    {
        int count = 0;
        for (char **variable = environ; *variable; ++variable)
            ++count;
        return count;
    }

    std::string m_mode;
    std::array<std::uint8_t, 0x10000> m_ports;
    int m_requests = 0;
};

} // namespace

int main()
{
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    const std::string mode = self.parent_path().filename().string();
    if (mode == "bad-version") {
        const portio::Message hello = portio::message(portio::Hello, portio::Version + 1, 0);
        return ::write(STDOUT_FILENO, hello.data(), hello.size()) == 4 ? 0 : 1;
    }
    MemoryPortIo io(mode);
    portio::AdminFile everything;
    everything.blocks = {{0, 0xFFFF}};
    const portio::Policy policy({}, mode == "parallel-only" ? portio::AdminFile{} : everything);
    return portio::serveRequests(STDIN_FILENO, STDOUT_FILENO, io, policy);
}
