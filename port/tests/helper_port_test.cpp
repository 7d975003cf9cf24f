#include "helper_port.h"
#include "named_cases.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

struct HelperCase : NamedCase
{
    // Each a copy of fake_portio doing what its folder's name says, or "none" for one not there.
    const char *candidates;
    const char *lockdown;
    std::uint16_t address; // read once a candidate runs, 0 when none should
    const char *reasonHas;
    const char *remedyHas;
    bool stops; // the failure stops the helper
};

class HelperFailures : public testing::TestWithParam<HelperCase>
{};

// Whatever failed, no helper is left behind, running or as a zombie.
TEST_P(HelperFailures, SayWhyAndWhatToDo)
{
    const HelperCase &c = GetParam();
    TempDir dir;
    std::vector<std::string> paths;
    std::istringstream words(c.candidates);
    for (std::string mode; words >> mode;) {
        const fs::path file = dir.path() / mode / "velmora-portio";
        if (mode != "none" && fs::create_directories(file.parent_path()))
            fs::copy_file(FAKE_PORTIO, file);
        if (mode == "not-executable")
            fs::permissions(file, fs::perms::owner_read);
        paths.push_back(file.string());
    }
    port::PortFailure failure;
    auto helper = port::HelperPort::start(paths, c.lockdown, failure);
    ASSERT_EQ(helper != nullptr, c.address != 0) << failure.reason;
    const pid_t pid = helper ? helper->pid() : -1;
    try {
        if (helper) {
            helper->setReplyTimeout(300);
            helper->read(c.address);
            ADD_FAILURE() << "no error";
        }
    } catch (const port::PortError &error) {
        EXPECT_EQ(error.address(), c.address);
        EXPECT_EQ(helper->pid(), c.stops ? -1 : pid);
        failure = error.failure();
    }
    EXPECT_NE(failure.reason.find(c.reasonHas), std::string::npos) << failure.reason;
    EXPECT_NE(failure.remedy.find(c.remedyHas), std::string::npos) << failure.remedy;
    helper.reset();
    EXPECT_TRUE(pid < 0 || ::waitpid(pid, nullptr, WNOHANG) == -1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HelperFailures,
    testing::Values(
        HelperCase{"NotInstalled", "none", "", 0, "no está instalado", "Instale Velmora", false},
        HelperCase{"NotInTheGroup", "not-executable", "", 0, "no está en el grupo velmora-port",
                   "usermod -aG velmora-port", false},
        HelperCase{"NoCapability", "no-permission", "", 0, "no tiene la capacidad CAP_SYS_RAWIO",
                   "setcap cap_sys_rawio+ep ", false},
        HelperCase{"KernelLockdown", "no-permission", "integrity", 0, "lockdown «integrity»",
                   "ppdev", false},
        HelperCase{"OtherVersion", "bad-version", "", 0, "no habla el protocolo", "misma versión",
                   false},
        HelperCase{"EveryCandidateAndTheClosestsRemedy", "none no-permission", "", 0,
                   "no está instalado; el ayudante velmora-portio (", "setcap", false},
        HelperCase{"FirstThatRunsRefusesTheCmos", "none parallel-only", "", 0x70,
                   "solo se les sirven registros de puerto paralelo (278h-27Fh, 378h-37Fh",
                   "/etc/velmora/portio.conf", false},
        HelperCase{"Dies", "die", "", 0x378, "terminó sin responder (código de salida 7)",
                   "se arranca de nuevo", true},
        HelperCase{"Hangs", "hang", "", 0x378, "no respondió en 300 ms", "se arranca de nuevo",
                   true}),
    CaseName());

// Only a program run from the build tree's app folder may use a helper it did not install; this
// test program is elsewhere, as an installed one is.
TEST(HelperPort, TakesOnlyTheInstalledHelperOutsideTheBuildTree)
{
    EXPECT_EQ(port::HelperPort::defaultPaths(),
              std::vector<std::string>{VELMORA_PORTIO_INSTALLED_PATH});
}

} // namespace
