#include "portio_policy.h"

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace portio {

namespace {

constexpr std::uint16_t EcpOffset = 0x400;
// Where a machine has ISA Plug and Play, a write here selects its configuration registers.
constexpr std::uint16_t IsaPnpAddress = 0x279;
constexpr std::size_t AdminFileLimit = 64 * 1024;

std::string readSmallFile(const std::string &path)
{
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "re"), std::fclose);
    if (!file)
        return {};
    char buffer[256];
    const std::size_t got = std::fread(buffer, 1, sizeof buffer - 1, file.get());
    return std::string(buffer, got);
}

bool parseHex(std::string text, std::uint16_t &value)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.erase(0, 2);
    else if (!text.empty() && (text.back() == 'h' || text.back() == 'H'))
        text.pop_back();
    if (text.empty() || text.size() > 4)
        return false;
    unsigned result = 0;
    for (const char c : text) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0)
            return false;
        result = result * 16 + unsigned(digit);
    }
    value = static_cast<std::uint16_t>(result);
    return true;
}

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Why a file or folder of the administrator's may not be trusted, or "". A folder with the sticky
// bit (/tmp) may be open to all: others cannot rename or remove what root has in it.
std::string untrusted(const struct stat &info, const std::string &what)
{
    if (info.st_uid != 0)
        return what + " no es de root";
    if ((info.st_mode & (S_IWGRP | S_IWOTH))
        && !(S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX)))
        return what + " pueden modificarlo otros usuarios además de root";
    return {};
}

std::string folderOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

struct Opened
{
    int fd = -1;     // the file, or -1
    int error = 0;   // why it could not be opened; ENOENT when it is not there
    std::string why; // why it may not be trusted, when it was opened
};

// Opens the file folder by folder from /, following no symbolic link, and checks each folder on
// the way: what the file says can be trusted only if nobody but root can change any of them.
Opened openTrusted(const std::string &path)
{
    Opened opened;
    if (path.empty() || path[0] != '/' || path.back() == '/')
        return {-1, EINVAL, {}};
    int folder = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::string walked = "/";
    for (std::size_t start = 1; folder >= 0;) {
        struct stat info
        {};
        if (opened.why.empty())
            opened.why = ::fstat(folder, &info) == 0 ? untrusted(info, "la carpeta " + walked)
                                                     : "no se puede comprobar la carpeta " + walked
                                                           + ": " + std::strerror(errno);
        const auto slash = path.find('/', start);
        const std::string name = path.substr(start, slash - start);
        // O_NONBLOCK: a FIFO put in the file's place must not hang the helper.
        const int flags = slash == std::string::npos
                              ? O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC
                              : O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        const int next =
            name == ".." ? (errno = EINVAL, -1) : ::openat(folder, name.c_str(), flags);
        opened.error = next < 0 ? errno : 0;
        ::close(folder);
        if (slash == std::string::npos) {
            opened.fd = next;
            return opened;
        }
        folder = next;
        walked += (walked.size() > 1 ? "/" : "") + name;
        start = slash + 1;
    }
    // A folder on the way that is a symbolic link, or not a folder.
    if (opened.error == ENOTDIR || opened.error == ELOOP)
        opened.why = "la carpeta " + walked + " es un enlace simbólico o no es una carpeta";
    return opened;
}

// The I/O ranges sysRoot lists for devices bound to a driver, each with the driver's name: the
// PCI devices' I/O regions and the Plug and Play devices' (serial ports, the keyboard controller,
// the motherboard's own reservations). Every user may read them, unlike /proc/ioports, which
// shows its addresses only to CAP_SYS_ADMIN. A parallel port the kernel drives is left out: its
// registers are the kernel's anyway.
std::vector<std::pair<Block, std::string>> driverRanges(const std::string &sysRoot)
{
    std::vector<std::pair<Block, std::string>> ranges;
    for (const std::string bus : {"pci", "pnp"}) {
        const bool pci = bus == "pci";
        const std::string folder = sysRoot + "/bus/" + bus + "/devices";
        std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(folder.c_str()), ::closedir);
        for (const dirent *entry; dir && (entry = ::readdir(dir.get()));) {
            const std::string device = folder + "/" + entry->d_name;
            char target[256];
            const ssize_t n = ::readlink((device + "/driver").c_str(), target, sizeof target - 1);
            const std::string link(target, std::size_t(std::max<ssize_t>(n, 0)));
            const std::string driver = link.substr(link.rfind('/') + 1);
            if (driver.empty() || driver == "parport_pc")
                continue;
            std::ifstream file(device + (pci ? "/resource" : "/resources"));
            for (std::string line; std::getline(file, line);) {
                unsigned long long first = 0, last = 0, flags = 0;
                // PCI: "start end flags", an I/O region with flag 100h; PnP: "io 0x3f8-0x3ff".
                const bool io =
                    pci ? std::sscanf(line.c_str(), "%llx %llx %llx", &first, &last, &flags) == 3
                              && (flags & 0x100)
                        : std::sscanf(line.c_str(), "io %llx-%llx", &first, &last) == 2;
                if (io && first <= last && last <= 0xFFFF)
                    ranges.push_back({{std::uint16_t(first), std::uint16_t(last)}, driver});
            }
        }
    }
    return ranges;
}

// Why a block of the administrator's may not be served, or "".
std::string refusal(const Block &block, const std::vector<std::pair<Block, std::string>> &drivers)
{
    const auto overlaps = [&](const Block &other) {
        return block.first <= other.last && other.first <= block.last;
    };
    if (overlaps({0x000, 0x0FF}) || overlaps({0xCF8, 0xCFF}))
        return "toca registros del sistema (000h-0FFh: DMA, reloj, teclado; CF8h-CFFh: "
               "configuración PCI)";
    if (block.last - block.first >= 8)
        return "abarca más de 8 direcciones, lo que ocupa un puerto paralelo (el bloque ECP de "
               "una tarjeta va en una línea aparte)";
    for (const auto &[range, driver] : drivers)
        if (overlaps(range))
            return "está en " + blockText(range) + ", que el núcleo da al controlador " + driver;
    return {};
}

} // namespace

std::vector<KernelPort> kernelPorts(const std::string &procRoot, int *error)
{
    int ignored = 0;
    int &failure = error ? *error : ignored;
    failure = 0;
    std::vector<KernelPort> ports;
    const std::string folder = procRoot + "/sys/dev/parport";
    std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) {
        // No folder: parport is not loaded, so the kernel owns no port.
        if (errno != ENOENT)
            failure = errno;
        return ports;
    }
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir.get());
        if (!entry) {
            if (errno)
                failure = errno;
            break;
        }
        const std::string name = entry->d_name;
        // Besides one folder a port, the kernel lists "default", its settings.
        if (name.rfind("parport", 0) != 0)
            continue;
        // "888\t0": the base, then the high base an ECP port uses (0 when there is none).
        errno = 0;
        const std::string text = readSmallFile(folder + "/" + name + "/base-addr");
        if (text.empty() && errno) {
            failure = errno;
            continue;
        }
        char *end = nullptr;
        const long base = std::strtol(text.c_str(), &end, 10);
        const long high = std::strtol(end, nullptr, 10);
        // A list not understood is a list not read: the port might be anywhere.
        if (end == text.c_str() || (*end != '\t' && *end != ' ' && *end != '\n') || base < 0
            || base > 0xFFF8) {
            failure = EINVAL;
            continue;
        }
        if (base == 0)
            continue;
        ports.push_back({name, static_cast<std::uint16_t>(base),
                         static_cast<std::uint16_t>(high > 0 && high <= 0xFFFD ? high : 0)});
    }
    std::sort(ports.begin(), ports.end(),
              [](const KernelPort &a, const KernelPort &b) { return a.base < b.base; });
    return ports;
}

std::vector<Block> standardBlocks()
{
    return {{0x278, 0x27F}, {0x378, 0x37F}, {0x3BC, 0x3BE},
            {0x678, 0x67A}, {0x778, 0x77A}, {0x7BC, 0x7BE}};
}

std::vector<Block> kernelBlocks(const KernelPort &port)
{
    std::vector<Block> blocks{{port.base, static_cast<std::uint16_t>(port.base + 7)}};
    const unsigned ecp = port.highBase ? port.highBase : port.base + EcpOffset;
    if (ecp + 2 <= 0xFFFF)
        blocks.push_back({static_cast<std::uint16_t>(ecp), static_cast<std::uint16_t>(ecp + 2)});
    return blocks;
}

AdminFile readAdminFile(const std::string &path, const std::string &sysRoot)
{
    AdminFile admin;
    admin.path = path;
    const Opened opened = openTrusted(path);
    const int fd = opened.fd;
    std::string why = opened.why;
    if (fd < 0) {
        if (opened.error != ENOENT) {
            admin.present = true;
            admin.whyIgnored = !why.empty()            ? why
                               : opened.error == ELOOP ? "es un enlace simbólico"
                                                       : std::string("no se puede leer: ")
                                                             + std::strerror(opened.error);
            admin.remedy = "Ponga en su lugar un archivo normal de root, de modo 644, en carpetas "
                           "que solo root pueda modificar.";
        }
        return admin;
    }
    admin.present = true;
    struct stat info
    {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        why = "no es un archivo normal";
    else if (why.empty())
        why = untrusted(info, "el archivo");
    std::string text;
    if (why.empty() && info.st_size > static_cast<off_t>(AdminFileLimit))
        why = "pasa de " + std::to_string(AdminFileLimit / 1024) + " KB";
    if (why.empty()) {
        text.resize(static_cast<std::size_t>(info.st_size));
        std::size_t have = 0;
        while (have < text.size()) {
            const ssize_t n = ::read(fd, text.data() + have, text.size() - have);
            if (n <= 0)
                break;
            have += static_cast<std::size_t>(n);
        }
        text.resize(have);
    }
    ::close(fd);

    const auto drivers = driverRanges(sysRoot);
    int lineNumber = 0;
    for (std::size_t start = 0; why.empty() && start < text.size();) {
        auto end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        ++lineNumber;
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (const auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        line = trimmed(line);
        if (line.empty())
            continue;
        const auto dash = line.find('-');
        Block block;
        const bool ok = dash == std::string::npos
                            ? parseHex(line, block.first)
                            : parseHex(trimmed(line.substr(0, dash)), block.first)
                                  && parseHex(trimmed(line.substr(dash + 1)), block.last);
        // A base alone stands for the port's eight registers.
        if (dash == std::string::npos)
            block.last = static_cast<std::uint16_t>(std::min(block.first + 7, 0xFFFF));
        const std::string said = "la línea " + std::to_string(lineNumber) + ", «" + line + "», ";
        if (!ok || block.last < block.first)
            why = said
                  + "no es un bloque de direcciones (escriba, en hexadecimal, «D010-D017», o la "
                    "base del puerto, «D010»)";
        else if (const std::string refused = refusal(block, drivers); !refused.empty())
            why = said + refused;
        else
            admin.blocks.push_back(block);
    }
    admin.honoured = why.empty();
    admin.whyIgnored = why;
    if (!admin.honoured)
        admin.blocks.clear();
    if (why.find("la línea") == 0)
        admin.remedy = "Corrija esa línea de " + path
                       + ": ponga en cada línea solo los registros de un puerto paralelo.";
    else if (!why.empty())
        admin.remedy = "Haga que " + path
                       + " sea un archivo normal de root que solo root pueda "
                         "modificar, en carpetas iguales: sudo chown root:root "
                       + path + " && sudo chmod 644 " + path + " && sudo chmod go-w "
                       + folderOf(path) + " (y lo mismo con cada carpeta por encima).";
    return admin;
}

Policy::Policy(std::vector<KernelPort> ports, AdminFile admin, int error)
    : m_ports(std::move(ports))
    , m_admin(std::move(admin))
    , m_error(error)
{}

Policy Policy::load(const std::string &procRoot, const std::string &adminPath,
                    const std::string &sysRoot)
{
    int error = 0;
    auto ports = kernelPorts(procRoot, &error);
    return Policy(std::move(ports), readAdminFile(adminPath, sysRoot), error);
}

const KernelPort *Policy::owner(std::uint16_t address) const
{
    for (const KernelPort &port : m_ports)
        for (const Block &block : kernelBlocks(port))
            if (block.contains(address))
                return &port;
    return nullptr;
}

Verdict Policy::verdict(std::uint16_t address, bool writing) const
{
    if (owner(address))
        return Verdict::KernelOwned;
    if (m_error)
        return Verdict::NotParallel;
    if (writing && address == IsaPnpAddress)
        return Verdict::ReadOnly;
    const auto in = [address](const std::vector<Block> &blocks) {
        return std::any_of(blocks.begin(), blocks.end(),
                           [address](const Block &b) { return b.contains(address); });
    };
    return in(standardBlocks()) || in(m_admin.blocks) ? Verdict::Served : Verdict::NotParallel;
}

std::vector<Block> Policy::servedBlocks() const
{
    if (m_error)
        return {};
    auto served = std::make_unique<std::bitset<0x10000>>();
    const auto mark = [&](const std::vector<Block> &blocks, bool on) {
        for (const Block &b : blocks)
            for (unsigned a = b.first; a <= b.last; ++a)
                served->set(a, on);
    };
    mark(standardBlocks(), true);
    mark(m_admin.blocks, true);
    for (const KernelPort &port : m_ports)
        mark(kernelBlocks(port), false);

    std::vector<Block> blocks;
    for (unsigned a = 0; a < 0x10000; ++a) {
        if (!served->test(a))
            continue;
        unsigned last = a;
        while (last + 1 < 0x10000 && served->test(last + 1))
            ++last;
        blocks.push_back({static_cast<std::uint16_t>(a), static_cast<std::uint16_t>(last)});
        a = last;
    }
    return blocks;
}

std::string blockText(const Block &block)
{
    char text[24];
    if (block.first == block.last)
        std::snprintf(text, sizeof text, "%Xh", unsigned(block.first));
    else
        std::snprintf(text, sizeof text, "%Xh-%Xh", unsigned(block.first), unsigned(block.last));
    return text;
}

} // namespace portio
