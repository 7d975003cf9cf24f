#include "portio_policy.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using portio::Block;
using portio::Verdict;

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
    for (const std::uint16_t address : {0x278, 0x27F, 0x3BE, 0xD003, 0xD018})
        EXPECT_EQ(policy.verdict(address), Verdict::Served) << std::hex << address;
    for (const std::uint16_t address : {0x378, 0x37F, 0x77A, 0xD000, 0xD017})
        EXPECT_EQ(policy.verdict(address), Verdict::KernelOwned) << std::hex << address;
    for (const std::uint16_t address : {0x0, 0x70, 0x64, 0xCF8, 0x277, 0x280, 0x3BF, 0xD020})
        EXPECT_EQ(policy.verdict(address), Verdict::NotParallel) << std::hex << address;
    std::string served; // what ioperm is asked for
    for (const Block &block : policy.servedBlocks())
        served += portio::blockText(block) + " ";
    EXPECT_EQ(served, "278h-27Fh 3BCh-3BEh 678h-67Ah 7BCh-7BEh D003h-D00Fh D018h-D01Fh ");
}

// The file is trusted only when root owns it and nobody else may change it or its folder.
TEST(PortioPolicy, HonoursTheAdministratorsFileOnlyWhenOnlyRootCanChangeIt)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the file must belong to root";
    const struct
    {
        const char *text;
        uid_t owner;
        mode_t file, folder;
        const char *why; // part of the reason it is ignored, "" when it is honoured
    } cases[] = {
        {"# PCIe card\nD010-D017\n0xE000 - 0xE007  # another\n2F8h\n", 0, 0644, 0755, ""},
        {"D010-D017\n", 65534, 0644, 0755, "no es de root"},
        {"D010-D017\n", 0, 0664, 0755, "otros usuarios"},
        {"D010-D017\n", 0, 0644, 0777, "su carpeta"},
        {"D010-D017\nlpt2\n", 0, 0644, 0755, "la línea 2, «lpt2»"},
    };
    const std::vector<Block> honoured{{0xD010, 0xD017}, {0xE000, 0xE007}, {0x2F8, 0x2FF}};
    for (const auto &c : cases) {
        TempDir etc;
        const std::string path = etc.write("portio.conf", c.text).string();
        ASSERT_EQ(::chown(path.c_str(), c.owner, c.owner), 0);
        ::chmod(path.c_str(), c.file);
        ::chmod(etc.str().c_str(), c.folder);
        const portio::AdminFile admin = portio::readAdminFile(path);
        EXPECT_NE(admin.whyIgnored.find(c.why), std::string::npos) << admin.whyIgnored;
        EXPECT_EQ(admin.blocks, *c.why ? std::vector<Block>{} : honoured) << c.text;
    }
    // Nor a FIFO, which would hang the helper that opens it.
    TempDir etc;
    ASSERT_EQ(::mkfifo((etc.str() + "/fifo.conf").c_str(), 0644), 0);
    EXPECT_EQ(portio::readAdminFile(etc.str() + "/fifo.conf").whyIgnored,
              "no es un archivo normal");
}

} // namespace
