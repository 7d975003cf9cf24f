#include "helper_port.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using port::HelperPort;
using port::PortError;
using port::PortFailure;

namespace fs = std::filesystem;

// Each test copies the fake helper into a folder named after what it should do.
class HelperPortTest : public testing::Test
{
protected:
    std::string helper(const std::string &mode, fs::perms permissions = fs::perms::owner_all)
    {
        const fs::path folder = dir.path() / mode;
        fs::create_directories(folder);
        const fs::path file = folder / "velmora-portio";
        fs::copy_file(FAKE_PORTIO, file, fs::copy_options::overwrite_existing);
        fs::permissions(file, permissions);
        return file.string();
    }

    std::unique_ptr<HelperPort> start(const std::vector<std::string> &paths,
                                      const std::string &lockdown = {})
    {
        return HelperPort::start(paths, lockdown, failure);
    }

    TempDir dir;
    PortFailure failure;
};

TEST_F(HelperPortTest, ReadsAndWritesThroughTheHelper)
{
    auto port = start({helper("ok")});
    ASSERT_NE(port, nullptr) << failure.reason;
    EXPECT_EQ(port->read(0x378), 0xFF);
    port->write(0x378, 0x5A);
    port->write(0xFFFF, 0x1234); // only the low byte reaches a port
    EXPECT_EQ(port->read(0x378), 0x5A);
    EXPECT_EQ(port->read(0xFFFF), 0x34);
    EXPECT_EQ(port->read(0x379), 0xFF);
}

// Descriptors of this process that a child would inherit: those above 2 without close-on-exec.
int inheritableDescriptors()
{
    std::vector<int> fds;
    for (const auto &entry : fs::directory_iterator("/proc/self/fd"))
        fds.push_back(std::stoi(entry.path().filename().string()));
    int count = 0;
    for (const int fd : fds) {
        const int flags = ::fcntl(fd, F_GETFD);
        if (fd > 2 && flags >= 0 && !(flags & FD_CLOEXEC))
            ++count;
    }
    return count;
}

TEST_F(HelperPortTest, StartsItWithNothingInheritedButTheChannel)
{
    // One descriptor that is inherited on purpose, so that the count is seen to work.
    const int inherited = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(inherited, 0);
    const int expected = inheritableDescriptors();
    setenv("VELMORA_TEST_SECRET", "1", 1);
    // An ignored or blocked signal would be inherited through exec too.
    const auto oldPipe = signal(SIGPIPE, SIG_IGN);
    sigset_t usr1;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    sigset_t oldMask;
    pthread_sigmask(SIG_BLOCK, &usr1, &oldMask);
    auto port = start({helper("report")});
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    signal(SIGPIPE, oldPipe);
    unsetenv("VELMORA_TEST_SECRET");
    ::close(inherited);
    ASSERT_NE(port, nullptr) << failure.reason;
    EXPECT_EQ(port->read(2), 0) << "environment variables seen by the helper";
    EXPECT_EQ(port->read(3), 0) << "signals blocked or ignored in the helper";
    // Velmora's end of the channel and anything else it opened must stay behind.
    EXPECT_EQ(port->read(1), expected) << "descriptors above 2 seen by the helper";
}

TEST_F(HelperPortTest, TakesTheFirstCandidateThatWorks)
{
    const std::string missing = (dir.path() / "nowhere" / "velmora-portio").string();
    const std::string good = helper("ok");
    auto port = start({missing, good});
    ASSERT_NE(port, nullptr) << failure.reason;
    EXPECT_EQ(port->path(), good);
}

struct RefusalCase
{
    const char *name;
    std::string mode;
    fs::perms permissions;
    std::string lockdown;
    std::vector<std::string> reasonHas;
    std::string remedyHas;
};

void PrintTo(const RefusalCase &c, std::ostream *os)
{
    *os << c.name;
}

class HelperRefusal : public HelperPortTest, public testing::WithParamInterface<RefusalCase>
{};

TEST_P(HelperRefusal, SaysWhyAndWhatToDo)
{
    const RefusalCase &c = GetParam();
    const std::string path = c.mode.empty() ? (dir.path() / "none" / "velmora-portio").string()
                                            : helper(c.mode, c.permissions);
    EXPECT_EQ(start({path}, c.lockdown), nullptr);
    for (const std::string &part : c.reasonHas)
        EXPECT_NE(failure.reason.find(part), std::string::npos) << failure.reason;
    EXPECT_NE(failure.remedy.find(c.remedyHas), std::string::npos) << failure.remedy;
}

INSTANTIATE_TEST_SUITE_P(Cases, HelperRefusal,
                         testing::Values(RefusalCase{"NotInstalled",
                                                     "",
                                                     fs::perms::owner_all,
                                                     "",
                                                     {"no está instalado"},
                                                     "Instale Velmora con su ayudante"},
                                         RefusalCase{"NotInTheGroup",
                                                     "ok",
                                                     fs::perms::owner_read | fs::perms::owner_write,
                                                     "",
                                                     {"no está en el grupo velmora-port", "EACCES"},
                                                     "sudo usermod -aG velmora-port"},
                                         RefusalCase{
                                             "NoCapability",
                                             "no-permission",
                                             fs::perms::owner_all,
                                             "",
                                             {"no tiene la capacidad CAP_SYS_RAWIO", "EPERM"},
                                             "sudo setcap cap_sys_rawio+ep "},
                                         RefusalCase{"KernelLockdown",
                                                     "no-permission",
                                                     fs::perms::owner_all,
                                                     "integrity",
                                                     {"lockdown «integrity»"},
                                                     "ppdev"},
                                         RefusalCase{"OtherVersion",
                                                     "bad-version",
                                                     fs::perms::owner_all,
                                                     "",
                                                     {"no habla el protocolo"},
                                                     "misma versión"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(HelperPortTest, NamesEveryCandidateTriedAndTheRemedyOfTheClosest)
{
    const std::string missing = (dir.path() / "none" / "velmora-portio").string();
    const std::string lacking = helper("no-permission");
    EXPECT_EQ(start({missing, lacking}), nullptr);
    EXPECT_NE(failure.reason.find(missing), std::string::npos) << failure.reason;
    EXPECT_NE(failure.reason.find(lacking), std::string::npos) << failure.reason;
    EXPECT_NE(failure.remedy.find("setcap"), std::string::npos) << failure.remedy;
}

// A refusal names the address's kind and what an administrator can do.
TEST_F(HelperPortTest, ARefusedAddressSaysWhatIsServed)
{
    auto port = start({helper("parallel-only")});
    ASSERT_NE(port, nullptr) << failure.reason;
    port->write(0x278, 0x5A);
    EXPECT_EQ(port->read(0x278), 0x5A);
    try {
        port->write(0x70, 0x8F);
        FAIL() << "the CMOS address was served";
    } catch (const PortError &error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("112 (70h): a los usuarios solo se les sirven registros de puerto "
                            "paralelo (278h-27Fh, 378h-37Fh, 3BCh-3BEh"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("/etc/velmora/portio.conf"), std::string::npos) << text;
        EXPECT_NE(text.find("Como root"), std::string::npos) << text;
    }
    EXPECT_GT(port->pid(), 0) << "a refusal is not a dead helper";
}

TEST_F(HelperPortTest, ADeadHelperIsAnErrorAndIsStartedAgain)
{
    auto port = start({helper("die-after-1")});
    ASSERT_NE(port, nullptr) << failure.reason;
    port->write(0x378, 1);
    const pid_t first = port->pid();
    try {
        port->read(0x378);
        FAIL() << "no error for a helper that died";
    } catch (const PortError &error) {
        EXPECT_EQ(error.address(), 0x378);
        EXPECT_EQ(error.access(), PortError::Access::Read);
        EXPECT_NE(std::string(error.what()).find("código de salida 7"), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(port->pid(), -1);
    EXPECT_EQ(::waitpid(first, nullptr, WNOHANG), -1) << "the dead helper is left a zombie";
    // A new helper, with a fresh port of its own.
    EXPECT_EQ(port->read(0x378), 0xFF);
    EXPECT_GT(port->pid(), 0);
}

TEST_F(HelperPortTest, AKilledHelperIsAnErrorNotACrash)
{
    auto port = start({helper("ok")});
    ASSERT_NE(port, nullptr) << failure.reason;
    ASSERT_EQ(::kill(port->pid(), SIGKILL), 0);
    // Until it is reaped the socket may still take the request; either way the reply never comes.
    EXPECT_THROW(port->write(0x378, 1), PortError);
    EXPECT_EQ(port->read(0x378), 0xFF);
}

TEST_F(HelperPortTest, AHungHelperIsStoppedAfterTheTimeout)
{
    auto port = start({helper("hang")});
    ASSERT_NE(port, nullptr) << failure.reason;
    port->setReplyTimeout(50);
    const pid_t hung = port->pid();
    try {
        port->read(0x378);
        FAIL() << "no error for a helper that does not answer";
    } catch (const PortError &error) {
        EXPECT_NE(std::string(error.what()).find("no respondió"), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(::kill(hung, 0), -1) << "the hung helper was left running";
}

TEST_F(HelperPortTest, LeavesNoProcessBehind)
{
    pid_t pid = -1;
    {
        auto port = start({helper("ok")});
        ASSERT_NE(port, nullptr) << failure.reason;
        pid = port->pid();
    }
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

// Only a program run from the build tree's app folder may use a helper it did not install; this
// test program is elsewhere, as an installed one is.
TEST(HelperPortPaths, TakesOnlyTheInstalledHelperOutsideTheBuildTree)
{
    EXPECT_EQ(HelperPort::defaultPaths(), std::vector<std::string>{VELMORA_PORTIO_INSTALLED_PATH});
}

} // namespace
