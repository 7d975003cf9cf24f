#include "direct_port.h"
#include "port_error.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

TEST(DirectPort, NamesTheSystemsReasonAndTheLockdown)
{
    EXPECT_EQ(port::describePortError(ENOSYS, ""), "el sistema no lo admite (ENOSYS)");
    EXPECT_EQ(port::describePortError(EPERM, "integrity"),
              "el núcleo está bloqueado (lockdown «integrity») y lo impide (EPERM)");
    TempDir root;
    root.write("sys/kernel/security/lockdown", "[none] integrity confidentiality\n");
    EXPECT_EQ(port::kernelLockdown(root.str() + "/sys"), "");
    // The lockdown is looked up after the failure; its own system calls must not change the errno.
    std::string whyNot;
    EXPECT_EQ(port::DirectPort::openDevPort(root.str(), whyNot, root.str() + "/none"), nullptr);
    EXPECT_EQ(whyNot, root.str() + ": " + std::strerror(EISDIR) + " (errno 21)");
    // Past the end of the /dev/port file is an error, never a value.
    auto port = port::DirectPort::openDevPort(root.write("port", "\x5A").string(), whyNot);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->read(0), 0x5A);
    EXPECT_THROW(port->read(0x378), port::PortError);
}
