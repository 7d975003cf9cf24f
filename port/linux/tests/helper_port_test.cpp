#include "helper_port.h"
#include "named_cases.h"
#include "temp_dir.h"

#include <gmock/gmock.h>

#include <csignal>
#include <fstream>
#include <sys/wait.h>

namespace {

struct HelperCase : NamedCase
{
    // The helper, a shell script run in the test's folder that speaks its protocol
    // (portio_protocol.h); "" for one this user may not run, nullptr for none installed. A
    // candidate not installed is tried first.
    const char *script;
    const char *lockdown;
    std::uint16_t address; // read once the helper runs, 0 when it must not run
    const char *reasonHas; // "" when that read is not refused
    const char *remedyHas;
    // Once the helper has ended: what the next read gets from a fresh one; 0 for no such read.
    std::uint8_t fresh = 0;
    bool endsByItself = false; // before the read, which then finds it gone
};

using HelperFailures = testing::TestWithParam<HelperCase>;

#define AnswersNext "printf 'V\\1\\0\\0r\\132\\0\\0'; read x"

// Whatever failed, no helper is left behind, running or as a zombie.
TEST_P(HelperFailures, SayWhyAndWhatToDo)
{
    const HelperCase &c = GetParam();
    TempDir dir;
    const std::string missing = dir.str() + "/missing/velmora-portio";
    const std::string path = dir.str() + "/velmora-portio";
    if (c.script) {
        dir.write("velmora-portio", "#!/bin/sh\ncd " + dir.str() + "\n" + c.script + "\n");
        std::filesystem::permissions(path, *c.script ? std::filesystem::perms::owner_all
                                                     : std::filesystem::perms::owner_read);
    }
    port::PortFailure failure;
    auto helper = port::HelperPort::start({missing, path}, c.lockdown, failure);
    ASSERT_EQ(helper != nullptr, c.address != 0) << failure.reason;
    const pid_t pid = helper ? helper->pid() : -1;
    const auto saysWhy =
        testing::AllOf(testing::HasSubstr(c.reasonHas), testing::HasSubstr(c.remedyHas));
    if (!helper) {
        EXPECT_NE(failure.reason.find(missing + ") no está instalado; "), std::string::npos);
        EXPECT_THAT(failure.reason + "\n" + failure.remedy, saysWhy);
    } else {
        helper->setReplyTimeout(300);
        // A helper that ends by itself is let end before the read (WNOWAIT: the driver reaps it),
        // so that the read finds it gone rather than racing its exit.
        siginfo_t ended;
        if (c.endsByItself)
            ::waitid(P_PID, pid, &ended, WEXITED | WNOWAIT);
        if (*c.reasonHas) {
            EXPECT_THAT([&] { helper->read(c.address); },
                        testing::ThrowsMessage<port::PortError>(saysWhy));
        }
    }
    // The ended helper was reported once; the next action starts a fresh one.
    EXPECT_EQ(c.fresh ? helper->read(c.address) : 0, c.fresh);
    helper.reset();
    EXPECT_TRUE(pid < 0 || ::waitpid(pid, nullptr, WNOHANG) == -1) << "a helper left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HelperFailures,
    testing::Values(
        HelperCase{"NotInstalled", nullptr, "", 0, "no está instalado", "Instale Velmora"},
        HelperCase{"NotInTheGroup", "", "", 0, "grupo velmora-port", "usermod -aG velmora-port"},
        HelperCase{"NoCapability", "printf 'V\\1\\1\\0'", "", 0, "CAP_SYS_RAWIO (EPERM)",
                   "sudo chmod 0750"},
        HelperCase{"Lockdown", "printf 'V\\1\\1\\0'", "integrity", 0, "«integrity»", "ppdev"},
        HelperCase{"OtherVersion", "printf 'V\\2\\0\\0'", "", 0, "el protocolo", "misma versión"},
        HelperCase{"RefusesTheCmos", "printf 'V\\1\\0\\0r\\0\\15\\0'; read x", "", 0x70,
                   "puerto paralelo (278h-27Fh, 378h-37Fh", "/etc/velmora/portio.conf"},
        HelperCase{"AnswersAnotherRequest", "printf 'V\\1\\0\\0w\\0\\0\\0'; read x", "", 0x378,
                   "respondió a otra petición", "de nuevo"},
        HelperCase{"DiedSinceTheLastAction",
                   "[ -e ran ] || { : >ran; printf 'V\\1\\0\\0'; exit 7; }\n" AnswersNext, "",
                   0x378, "terminó (código de salida 7)", "de nuevo", 0x5A, true},
        // The helper started after it answers the next read.
        HelperCase{"EndedByItsLifeLimit",
                   "[ -e ran ] || { : >ran; printf 'V\\1\\0\\0'; kill -ALRM $$; }\n" AnswersNext,
                   "", 0x378, "", "", 0x5A, true},
        HelperCase{
            "StoppedDuringARequest",
            "[ -e ran ] || { : >ran; printf 'V\\1\\0\\0'; head -c 4 >/dev/null; kill -KILL $$; "
            "}\n" AnswersNext,
            "", 0x378, "terminó sin responder (señal 9)", "de nuevo", 0x5A},
        HelperCase{"HangsIgnoringTheEndOfItsInput",
                   "[ -e ran ] || { : >ran; printf 'V\\1\\0\\0'; exec sleep 20; }\n" AnswersNext,
                   "", 0x378, "respondió en 300 ms y se detuvo (señal 9)", "de nuevo", 0x5A}),
    CaseName());

// The helper gets nothing of the program's but its socket, whatever the program holds when it
// starts one: no other descriptor, no environment, no blocked signal.
TEST(HelperPort, StartsWithNothingInherited)
{
    TempDir dir;
    const auto path = dir.write("velmora-portio", "#!/bin/sh\nprintf 'V\\1\\0\\0'\nread x\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    const int leaked = ::dup(STDIN_FILENO);
    ::setenv("VELMORA_LEAKED", "1", 1);
    sigset_t usr1;
    sigset_t before;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    ::sigprocmask(SIG_BLOCK, &usr1, &before);
    port::PortFailure failure;
    auto helper = port::HelperPort::start({path.string()}, "", failure);
    ::sigprocmask(SIG_SETMASK, &before, nullptr);
    ::unsetenv("VELMORA_LEAKED");
    ::close(leaked);
    ASSERT_NE(helper, nullptr) << failure.reason;
    const std::string proc = "/proc/" + std::to_string(helper->pid());
    EXPECT_FALSE(std::filesystem::exists(proc + "/fd/" + std::to_string(leaked)));
    const auto read = [&](const std::string &name) {
        std::ifstream file(proc + "/" + name);
        return std::string{std::istreambuf_iterator<char>(file), {}};
    };
    EXPECT_EQ(read("environ"), "");
    const std::string status = read("status");
    EXPECT_EQ(std::stoull(status.substr(status.find("SigBlk:\t") + 8), nullptr, 16) & 0x200, 0u)
        << "SIGUSR1 (10) blocked";
}

// Only a program run from the build tree's app folder may use a helper it did not install; this
// test program is elsewhere, as an installed one is: it gets the installed helper alone.
TEST(HelperPort, TakesOnlyTheInstalledHelperOutsideTheBuildTree)
{
    EXPECT_EQ(port::HelperPort::defaultPaths().size(), 1u);
}

} // namespace
