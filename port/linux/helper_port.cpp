#include "helper_port.h"

#include "direct_port.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace port {

namespace {

const std::string HelperName = "velmora-portio";

std::string helperText(const std::string &path)
{
    return "el ayudante " + HelperName + " (" + path + ")";
}

PortFailure permissionFailure(const std::string &path, int error, const std::string &lockdown)
{
    const std::string reason =
        helperText(path) + " no puede usar los puertos: " + describePortError(error, lockdown);
    if (!lockdown.empty())
        return {reason,
                "El bloqueo del núcleo impide todo acceso directo a los puertos. Use un puerto "
                "que el núcleo conozca (por ppdev, con su usuario en el grupo lp) o arranque el "
                "equipo sin bloqueo (sin arranque seguro).",
                error};
    if (error == EPERM)
        return {helperText(path) + " no tiene la capacidad CAP_SYS_RAWIO (" + errnoName(error)
                    + ")",
                "Reinstale Velmora, o désela con «" + grantCommands(path) + "».", error};
    return {reason, "Este núcleo no permite el acceso directo a los puertos.", error};
}

PortFailure spawnFailure(const std::string &path, int error)
{
    switch (error) {
    case ENOENT:
        return {helperText(path) + " no está instalado",
                "Instale Velmora con su ayudante " + HelperName + ", o ejecútelo como root.",
                error};
    case EACCES:
    case EPERM:
        return {"su usuario no puede ejecutar " + helperText(path)
                    + ": no está en el grupo velmora-port (" + errnoName(error) + ")",
                "Añada su usuario al grupo velmora-port (sudo usermod -aG velmora-port $USER) y "
                "vuelva a iniciar la sesión.",
                error};
    default:
        return {"no se pudo arrancar " + helperText(path) + ": " + std::strerror(error) + " ("
                    + errnoName(error) + ")",
                "Reinstale Velmora.", error};
    }
}

// Ranks what a person can act on: an installed helper that failed says more than a missing one.
bool closer(const PortFailure &a, const PortFailure &b)
{
    return a.error != ENOENT && b.error == ENOENT;
}

} // namespace

std::string grantCommands(const std::string &path)
{
    // chown first: it clears the capability.
    return "sudo chown root:velmora-port " + path + " && sudo chmod 0750 " + path
           + " && sudo setcap cap_sys_rawio+ep " + path;
}

std::vector<std::string> HelperPort::defaultPaths()
{
    std::vector<std::string> paths;
#ifdef VELMORA_PORTIO_INSTALLED_PATH
    paths.push_back(VELMORA_PORTIO_INSTALLED_PATH);
#endif
#ifdef VELMORA_BUILD_APP_DIR
    // A program run from its build tree may use the helper built beside it; an installed one
    // only the helper the install put in place, and root never one it did not install.
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && program.parent_path() == VELMORA_BUILD_APP_DIR && ::getuid() != 0
        && ::geteuid() != 0)
        paths.push_back((program.parent_path() / HelperName).string());
#endif
    return paths;
}

PortFailure kernelOwnedFailure(const portio::KernelPort &port)
{
    const auto blocks = portio::kernelBlocks(port);
    std::string owned;
    for (const portio::Block &block : blocks)
        owned += (owned.empty() ? "" : " y ") + portio::blockText(block);
    return {"el controlador del núcleo tiene el puerto " + port.name + " (" + owned
                + "); por ppdev solo se llega a sus registros de datos, estado y control ("
                + portio::blockText({port.base, static_cast<std::uint16_t>(port.base + 2)}) + ")",
            "Como root se llega al resto de sus registros; o descargue el controlador del "
            "puerto (sudo rmmod lp ppdev parport_pc) para que velmora-portio lo sirva.",
            EACCES};
}

PortFailure helperRefusal(std::uint16_t address, const portio::Policy &policy)
{
    if (const portio::KernelPort *owner = policy.owner(address))
        return kernelOwnedFailure(*owner);
    if (policy.verdict(address, true) == portio::Verdict::ReadOnly)
        return {portio::blockText({address, address})
                    + " es también el puerto ADDRESS de Plug and Play ISA en los equipos que lo "
                      "tienen, y a los usuarios solo se les sirve para leer",
                "Como root se puede escribir en él.", EACCES};
    std::string blocks;
    for (const portio::Block &block : portio::standardBlocks())
        blocks += (blocks.empty() ? "" : ", ") + portio::blockText(block);
    const portio::AdminFile &admin = policy.admin();
    std::string remedy =
        "Si en esta dirección hay un puerto paralelo (una tarjeta PCIe, por ejemplo), un "
        "administrador puede añadir su bloque a "
        + admin.path + " (una línea como «D010-D017»). Como root se llega a cualquier dirección.";
    if (admin.present && !admin.honoured)
        remedy += " Ahora " + admin.path + " no se tiene en cuenta: " + admin.whyIgnored + ".";
    return {"a los usuarios solo se les sirven registros de puerto paralelo (" + blocks
                + " y los bloques que el administrador añada), y esta dirección no es de ninguno",
            remedy, EACCES};
}

std::unique_ptr<HelperPort> HelperPort::start(const std::vector<std::string> &paths,
                                              const std::string &lockdown, PortFailure &whyNot)
{
    std::optional<PortFailure> best;
    std::string reasons;
    for (const std::string &path : paths) {
        std::unique_ptr<HelperPort> helper(new HelperPort(path, lockdown));
        const auto failure = helper->launch();
        if (!failure)
            return helper;
        reasons += (reasons.empty() ? "" : "; ") + failure->reason;
        if (!best || closer(*failure, *best))
            best = failure;
    }
    whyNot = best.value_or(
        PortFailure{"", "Instale Velmora con su ayudante " + HelperName + ".", ENOENT});
    whyNot.reason = reasons.empty() ? "no se sabe dónde buscar el ayudante " + HelperName : reasons;
    return nullptr;
}

HelperPort::HelperPort(std::string path, std::string lockdown)
    : m_path(std::move(path))
    , m_lockdown(std::move(lockdown))
{}

HelperPort::~HelperPort()
{
    if (m_pid > 0)
        stop("se cerró");
}

std::optional<PortFailure> HelperPort::launch()
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return spawnFailure(m_path, errno);

    // The child's end becomes its standard input and output, and nothing else of ours is passed
    // on. Signals are as a fresh process has them.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigfillset(&defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    char name[] = "velmora-portio";
    char *arguments[] = {name, nullptr};
    char *environment[] = {nullptr};
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, m_path.c_str(), &actions, &attributes, arguments, environment);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(ends[1]);
    if (spawned != 0) {
        ::close(ends[0]);
        return spawnFailure(m_path, spawned);
    }
    m_pid = pid;
    m_socket = ends[0];

    portio::Message hello{};
    if (auto failure = exchange(nullptr, hello))
        return failure;
    if (hello[0] != portio::Hello || hello[1] != portio::Version) {
        auto failure = stop("no habla el protocolo de esta versión de Velmora");
        failure.remedy =
            "Reinstale Velmora: el programa y su ayudante deben ser de la misma versión.";
        return failure;
    }
    if (const int error = portio::word(hello); error != 0) {
        stop("se cerró");
        return permissionFailure(m_path, error, m_lockdown);
    }
    return std::nullopt;
}

std::optional<PortFailure> HelperPort::exchange(const portio::Message *request,
                                                portio::Message &reply)
{
    // MSG_NOSIGNAL: a helper that is gone gives EPIPE here instead of killing Velmora.
    for (std::size_t sent = 0; request && sent < request->size();) {
        const ssize_t n =
            ::send(m_socket, request->data() + sent, request->size() - sent, MSG_NOSIGNAL);
        if (n > 0)
            sent += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            return stop("dejó de atender las peticiones");
    }
    // One deadline for the whole reply, however it arrives and however often a signal cuts in.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_replyTimeoutMs);
    for (std::size_t got = 0; got < reply.size();) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{m_socket, POLLIN, 0};
        const int polled = left.count() > 0 ? ::poll(&ready, 1, int(left.count()) + 1) : 0;
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled < 0)
            return stop("no se pudo esperar su respuesta");
        if (polled == 0)
            return stop("no respondió en " + std::to_string(m_replyTimeoutMs) + " ms y se detuvo");
        const ssize_t n = ::recv(m_socket, reply.data() + got, reply.size() - got, 0);
        if (n > 0)
            got += static_cast<std::size_t>(n);
        else if (n == 0 || errno != EINTR)
            return stop("terminó sin responder");
    }
    return std::nullopt;
}

namespace {

const std::string RestartRemedy =
    "Vuelva a intentarlo: el ayudante se arranca de nuevo. Si se repite, reinstale Velmora.";

std::string exitText(int status)
{
    if (WIFEXITED(status))
        return " (código de salida " + std::to_string(WEXITSTATUS(status)) + ")";
    if (WIFSIGNALED(status))
        return " (señal " + std::to_string(WTERMSIG(status)) + ")";
    return {};
}

pid_t waitFor(pid_t pid, int &status, int options)
{
    pid_t reaped;
    do
        reaped = ::waitpid(pid, &status, options);
    while (reaped < 0 && errno == EINTR);
    return reaped;
}

} // namespace

PortFailure HelperPort::stop(const std::string &what)
{
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
    // A helper ends at the end of its input, or has ended already if its socket closed: give it
    // a moment to do so, so that its own exit status is what is reported. One that does not
    // (hung) is killed.
    int status = 0;
    pid_t reaped = 0;
    for (int i = 0; i < 50 && reaped == 0; ++i) {
        reaped = waitFor(m_pid, status, WNOHANG);
        if (reaped == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
    if (reaped == 0) {
        ::kill(m_pid, SIGKILL);
        reaped = waitFor(m_pid, status, 0);
    }
    m_pid = -1;
    return {helperText(m_path) + " " + what + (reaped > 0 ? exitText(status) : std::string()),
            RestartRemedy, EPIPE};
}

PortValue HelperPort::access(PortError::Access access, std::uint16_t address, std::uint8_t value)
{
    // A helper that ended since the last access is reaped now, with its own exit status; one
    // that reached the end of its life (portio::Lifetime) is simply replaced.
    int status = 0;
    if (m_pid > 0 && waitFor(m_pid, status, WNOHANG) == m_pid) {
        ::close(m_socket);
        m_socket = -1;
        m_pid = -1;
        if (!WIFSIGNALED(status) || WTERMSIG(status) != SIGALRM)
            throw PortError(
                access, address,
                {helperText(m_path) + " terminó" + exitText(status), RestartRemedy, EPIPE});
    }
    if (m_pid < 0) {
        if (auto failure = launch())
            throw PortError(access, address, *failure);
    }
    const bool reading = access == PortError::Access::Read;
    const portio::Message request =
        portio::message(reading ? portio::Read : portio::Write, reading ? 0 : value, address);
    portio::Message reply{};
    if (auto failure = exchange(&request, reply))
        throw PortError(access, address, *failure);
    if (reply[0] != request[0])
        throw PortError(access, address, stop("respondió a otra petición"));
    if (const int error = portio::word(reply); error == EACCES)
        throw PortError(access, address, helperRefusal(address, portio::Policy::load()));
    else if (error != 0)
        throw PortError(access, address, permissionFailure(m_path, error, m_lockdown));
    return reply[1];
}

PortValue HelperPort::read(std::uint16_t address)
{
    return access(PortError::Access::Read, address, 0);
}

void HelperPort::write(std::uint16_t address, PortValue value)
{
    access(PortError::Access::Write, address, static_cast<std::uint8_t>(value & 0xFF));
}

} // namespace port
