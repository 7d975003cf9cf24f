// The helper's side: which addresses it serves, and its answer to what it cannot serve.
#include "named_cases.h"
#include "portio_server.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <seccomp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::string_literals;

// The kernel has bound a port at 378h, and a PCIe card at D010h whose ECP block it gives at D000h;
// the administrator added D000h-D01Fh. The kernel's ports win over the administrator's blocks.
TEST(PortioPolicy, ServesParallelRegistersTheKernelDoesNotOwn)
{
    TempDir proc;
    proc.write("sys/dev/parport/parport1/base-addr", "53264\t53248\n");
    proc.write("sys/dev/parport/parport0/base-addr", "888\t0\n");
    proc.write("sys/dev/parport/parport2/base-addr", "0\t0\n"); // a USB adapter
    portio::AdminFile admin;
    admin.blocks = {{0xD000, 0xD01F}};
    const portio::Policy policy(portio::kernelPorts(proc.str()), admin);
    for (const std::uint16_t address : {0x278, 0x279, 0x27F, 0x3BE, 0xD003, 0xD018})
        EXPECT_EQ(policy.verdict(address, false), portio::Verdict::Served) << std::hex << address;
    for (const std::uint16_t address : {0x378, 0x37F, 0x77A, 0xD000, 0xD017})
        EXPECT_EQ(policy.verdict(address, true), portio::Verdict::KernelOwned)
            << std::hex << address;
    for (const std::uint16_t address : {0x0, 0x70, 0x64, 0xCF8, 0x277, 0x280, 0x3BF, 0xD020})
        EXPECT_EQ(policy.verdict(address, true), portio::Verdict::NotParallel)
            << std::hex << address;
    EXPECT_EQ(policy.verdict(0x279, true), portio::Verdict::ReadOnly); // ISA PnP's ADDRESS port
    std::string served;                                                // what ioperm is asked for
    for (const portio::Block &block : policy.servedBlocks())
        served += portio::blockText(block) + " ";
    EXPECT_EQ(served, "278h-27Fh 3BCh-3BEh 678h-67Ah 7BCh-7BEh D003h-D00Fh D018h-D01Fh ");
    // A port whose address cannot be understood might be anywhere: nothing is served.
    proc.write("sys/dev/parport/parport3/base-addr", "0x3BC\n");
    EXPECT_TRUE(portio::Policy::load(proc.str(), "/none").servedBlocks().empty());
}

// The file is trusted only when root owns it and nobody else may change it or a folder above it,
// and only when no block reaches the system's registers or a range the kernel gives a driver.
TEST(PortioPolicy, HonoursTheAdministratorsFileOnlyWhenOnlyRootCanChangeIt)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the file must belong to root";
    TempDir sys; // a serial port, a network card, and a parallel card no driver has taken
    sys.write("bus/pnp/devices/00:01/resources", "state = active\nio 0x3f8-0x3ff\nirq 4\n");
    sys.write("bus/pci/devices/0000:02:00.0/resource",
              "0x00000000fe000000 0x00000000fe0000ff 0x0000000000040200\n"
              "0x000000000000c000 0x000000000000c0ff 0x0000000000040101\n");
    sys.write("bus/pci/devices/0000:03:00.0/resource", "0xd010 0xd017 0x40101\n");
    std::filesystem::create_directory_symlink("../../drivers/serial",
                                              sys.str() + "/bus/pnp/devices/00:01/driver");
    std::filesystem::create_directory_symlink("/sys/bus/pci/drivers/8139cp",
                                              sys.str() + "/bus/pci/devices/0000:02:00.0/driver");
    // The file's text, its owner, its mode and its folder's, and part of the reason it is
    // ignored, "" when it is honoured.
    using Case = std::tuple<const char *, uid_t, mode_t, mode_t, const char *>;
    const std::vector<portio::Block> honoured{{0xD010, 0xD017}, {0xE000, 0xE007}, {0x2F8, 0x2FF}};
    for (const auto &[text, owner, file, folder, why] :
         {Case{"# PCIe card\nD010-D017\n0xE000 - 0xE007  # another\n2F8h\n", 0, 0644, 0755, ""},
          Case{"D010-D017\n", 65534, 0644, 0755, "no es de root"},
          Case{"D010-D017\n", 0, 0664, 0755, "otros usuarios"},
          Case{"D010-D017\n", 0, 0644, 0775, "la carpeta /"},
          Case{"D010-D017\nlpt2\n", 0, 0644, 0755, "la línea 2, «lpt2»"},
          Case{"D010\n70\n", 0, 0644, 0755, "«70», toca registros del sistema"},
          Case{"CFC-CFF\n", 0, 0644, 0755, "configuración PCI"},
          Case{"D000-D01F\n", 0, 0644, 0755, "más de 8 direcciones"},
          Case{"3F8\n", 0, 0644, 0755, "está en 3F8h-3FFh, que el núcleo da al controlador serial"},
          Case{"C008\n", 0, 0644, 0755, "C000h-C0FFh, que el núcleo da al controlador 8139cp"}}) {
        TempDir etc;
        const std::string path = etc.write("velmora/portio.conf", text).string();
        ASSERT_EQ(::chown(path.c_str(), owner, owner), 0);
        ::chmod(path.c_str(), file);
        ::chmod(etc.str().c_str(), folder); // a folder above the file's
        const portio::AdminFile admin = portio::readAdminFile(path, sys.str());
        EXPECT_NE(admin.whyIgnored.find(why), std::string::npos) << admin.whyIgnored;
        EXPECT_EQ(admin.blocks, *why ? std::vector<portio::Block>{} : honoured) << text;
    }
    // Nor a FIFO, which would hang the helper that opens it, nor a file reached by a link.
    TempDir etc;
    ASSERT_EQ(::mkfifo((etc.str() + "/fifo.conf").c_str(), 0644), 0);
    EXPECT_EQ(portio::readAdminFile(etc.str() + "/fifo.conf").whyIgnored,
              "no es un archivo normal");
    std::filesystem::create_directory_symlink(etc.str(), etc.str() + "/link");
    EXPECT_EQ(portio::readAdminFile(etc.str() + "/link/fifo.conf").whyIgnored,
              "la carpeta " + etc.str() + "/link es un enlace simbólico o no es una carpeta");
}

// The port, in memory: only the read of 278h that starts each case may reach it.
struct MemoryPortIo : portio::PortIo
{
    int probe() override { return 0; }
    int read(std::uint16_t address, std::uint8_t &value) override { return write(address, value); }
    int write(std::uint16_t address, std::uint8_t) override
    {
        EXPECT_EQ(address, 0x278) << "a malformed request reached the port";
        return 0;
    }
};

// Bytes as they go over the wire (portio_protocol.h): "r\0x\2" reads 278h, "y" is 79h, and "\26"
// is EINVAL (22).
struct MalformedCase : NamedCase
{
    std::string requests; // a read of 278h first
    std::string reply;    // after the hello and that read's reply
};

using PortioServerMalformed = testing::TestWithParam<MalformedCase>;

// A request that is not a read or a write ends the helper: a whole one gets EINVAL, a cut-off one
// nothing, and neither it nor what follows reaches the port.
TEST_P(PortioServerMalformed, IsRefusedAndEndsTheHelper)
{
    const std::string &input = GetParam().requests;
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    ::send(ends[1], input.data(), input.size(), 0);
    ::shutdown(ends[1], SHUT_WR);
    MemoryPortIo io;
    EXPECT_EQ(portio::serveRequests(ends[0], ends[0], io, portio::Policy({}, {})),
              portio::Malformed);
    std::string replies(16, '\0');
    replies.resize(std::max(::recv(ends[1], replies.data(), replies.size(), MSG_DONTWAIT), 0l));
    EXPECT_EQ(replies, "V\1\0\0r\0\0\0"s + GetParam().reply);
    ::close(ends[0]);
    ::close(ends[1]);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortioServerMalformed,
    testing::Values(MalformedCase{"UnknownOperation", "r\0x\2x\0y\2r\0z\2"s, "x\0\26\0"s},
                    MalformedCase{"HelloFromThePeer", "r\0x\2V\1\0\0r\0z\2"s, "V\0\26\0"s},
                    MalformedCase{"ReadCarryingAValue", "r\0x\2r\1y\2r\0z\2"s, "r\0\26\0"s},
                    MalformedCase{"ShortRequest", "r\0x\2w\0y"s, ""}),
    CaseName());

// An output that takes nothing (write() returning 0, made so here by a seccomp filter) ends the
// helper, which would otherwise try again for ever.
TEST(PortioServer, EndsWhenItsOutputTakesNothing)
{
    constexpr int Output = 100;
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(5);
        scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
        seccomp_rule_add(filter, SCMP_ACT_ERRNO(0), SCMP_SYS(write), 1,
                         SCMP_A0(SCMP_CMP_EQ, Output));
        MemoryPortIo io;
        _exit(seccomp_load(filter) == 0
                  ? portio::serveRequests(STDIN_FILENO, Output, io, portio::Policy({}, {}))
                  : 99);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == portio::ChannelBroken) << status;
}

} // namespace
