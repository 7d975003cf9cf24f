#include "portio_policy.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using portio::Block;
using portio::Verdict;

// The kernel has bound a port at 378h; the administrator added a PCIe card's block at D010h.
TEST(PortioPolicy, ServesParallelRegistersTheKernelDoesNotOwn)
{
    portio::AdminFile admin;
    admin.present = admin.honoured = true;
    admin.blocks = {{0xD010, 0xD017}};
    const portio::Policy policy({{"parport0", 0x378, 0}}, admin);

    const std::pair<std::uint16_t, Verdict> cases[] = {
        {0x278, Verdict::Served},       {0x27F, Verdict::Served},
        {0x280, Verdict::NotParallel},  {0x277, Verdict::NotParallel},
        {0x378, Verdict::KernelOwned},  {0x37F, Verdict::KernelOwned},
        {0x778, Verdict::KernelOwned},  {0x77A, Verdict::KernelOwned},
        {0x3BC, Verdict::Served},       {0x3BE, Verdict::Served},
        {0x3BF, Verdict::NotParallel},  {0x678, Verdict::Served},
        {0x67A, Verdict::Served},       {0x67B, Verdict::NotParallel},
        {0xD010, Verdict::Served},      {0xD017, Verdict::Served},
        {0xD018, Verdict::NotParallel}, {0x70, Verdict::NotParallel},
        {0x64, Verdict::NotParallel},   {0xCF8, Verdict::NotParallel},
        {0xB2, Verdict::NotParallel},   {0x3F8, Verdict::NotParallel},
    };
    for (const auto &[address, verdict] : cases)
        EXPECT_EQ(policy.verdict(address), verdict) << std::hex << address;

    EXPECT_EQ(
        policy.servedBlocks(),
        (std::vector<Block>{
            {0x278, 0x27F}, {0x3BC, 0x3BE}, {0x678, 0x67A}, {0x7BC, 0x7BE}, {0xD010, 0xD017}}));
}

// A card whose ECP block the kernel gives at another address, and an administrator's block
// that overlaps a bound port: the kernel's port still wins.
TEST(PortioPolicy, KernelPortsWinOverTheAdministratorsBlocks)
{
    TempDir proc;
    proc.write("sys/dev/parport/parport1/base-addr", "53264\t53248\n");
    proc.write("sys/dev/parport/parport0/base-addr", "888\t1912\n");
    proc.write("sys/dev/parport/parport2/base-addr", "0\t0\n"); // a USB adapter
    const auto ports = portio::kernelPorts(proc.str());
    ASSERT_EQ(ports, (std::vector<portio::KernelPort>{{"parport0", 0x378, 0x778},
                                                      {"parport1", 0xD010, 0xD000}}));
    portio::AdminFile admin;
    admin.blocks = {{0xD000, 0xD01F}};
    const portio::Policy policy(ports, admin);
    EXPECT_EQ(policy.verdict(0xD000), Verdict::KernelOwned);
    EXPECT_EQ(policy.verdict(0xD003), Verdict::Served);
    EXPECT_EQ(policy.verdict(0xD017), Verdict::KernelOwned);
    EXPECT_EQ(policy.verdict(0xD018), Verdict::Served);
    EXPECT_EQ(portio::kernelPorts(proc.str() + "/nowhere"), std::vector<portio::KernelPort>{});
}

// A list of the kernel's ports that cannot be read whole (too many files open, say, which the
// person starting the helper can arrange) might leave out a port the kernel owns: serve nothing.
TEST(PortioPolicy, AnUnreadableListOfTheKernelsPortsServesNothing)
{
    TempDir proc;
    proc.write("sys/dev/parport/default/spintime", "500\n");
    std::filesystem::create_directories(proc.path() / "sys/dev/parport/parport0/base-addr");
    int error = 0;
    EXPECT_TRUE(portio::kernelPorts(proc.str(), &error).empty());
    EXPECT_NE(error, 0);
    const portio::Policy policy = portio::Policy::load(proc.str(), proc.str() + "/none.conf");
    EXPECT_NE(policy.error(), 0);
    EXPECT_TRUE(policy.servedBlocks().empty());
    EXPECT_EQ(policy.verdict(0x378), Verdict::NotParallel);
    EXPECT_EQ(policy.verdict(0x278), Verdict::NotParallel);
}

struct AdminCase
{
    const char *name;
    std::string text;
    mode_t mode;
    bool honoured;
    const char *why; // part of the reason it is ignored
};

// The file is trusted only when root owns it and nobody else may change it or its folder.
TEST(PortioPolicy, HonoursTheAdministratorsFileOnlyWhenOnlyRootCanChangeIt)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the file must belong to root";
    const AdminCase cases[] = {
        {"good", "# PCIe card\nD010-D017\n0xE000 - 0xE007  # another\n2F8h\n", 0644, true, ""},
        {"group-writable", "D010-D017\n", 0664, false, "otros usuarios"},
        {"bad line", "D010-D017\nlpt2\n", 0644, false, "la línea 2, «lpt2»"},
        {"reversed", "D017-D010\n", 0644, false, "la línea 1"},
        {"too wide", "1D010\n", 0644, false, "la línea 1"},
        {"cut off", "D010-\n", 0644, false, "la línea 1"},
    };
    for (const AdminCase &c : cases) {
        TempDir etc;
        ::chmod(etc.str().c_str(), 0755);
        const std::string path = etc.write("portio.conf", c.text).string();
        ::chmod(path.c_str(), c.mode);
        const portio::AdminFile admin = portio::readAdminFile(path);
        EXPECT_TRUE(admin.present) << c.name;
        EXPECT_EQ(admin.honoured, c.honoured) << c.name;
        EXPECT_NE(admin.whyIgnored.find(c.why), std::string::npos)
            << c.name << ": " << admin.whyIgnored;
        if (c.honoured)
            EXPECT_EQ(admin.blocks,
                      (std::vector<Block>{{0xD010, 0xD017}, {0xE000, 0xE007}, {0x2F8, 0x2FF}}));
        else
            EXPECT_TRUE(admin.blocks.empty()) << c.name;
    }

    TempDir etc;
    ::chmod(etc.str().c_str(), 0755);
    const std::string path = etc.write("portio.conf", "D010-D017\n").string();
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    EXPECT_NE(portio::readAdminFile(path).whyIgnored.find("no es de root"), std::string::npos);
    ASSERT_EQ(::chown(path.c_str(), 0, 0), 0);
    ::chmod(etc.str().c_str(), 0777);
    EXPECT_NE(portio::readAdminFile(path).whyIgnored.find("su carpeta"), std::string::npos);
    ::chmod(etc.str().c_str(), 0755);

    const std::string fifo = etc.str() + "/fifo.conf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_NE(portio::readAdminFile(fifo).whyIgnored.find("no es un archivo normal"),
              std::string::npos);
    const std::string link = etc.str() + "/link.conf";
    ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
    EXPECT_NE(portio::readAdminFile(link).whyIgnored.find("enlace"), std::string::npos);
    EXPECT_FALSE(portio::readAdminFile(etc.str() + "/absent.conf").present);
}

} // namespace
