#include "inpout.h"
#include "simulated_port.h"

#include <gtest/gtest.h>

int main(int argc, char *argv[]) {
    // No test may reach the machine's ports: the simulated port is in place before anything can
    // bind a driver, and an attempt to open the hardware fails the run.
    inpout::installDriver(std::make_unique<inpout::SimulatedPort>(true));
    inpout::setHardwareOpener([](std::string &whyNot) -> std::unique_ptr<inpout::PortDriver> {
        ADD_FAILURE() << "a test tried to open the hardware ports";
        whyNot = "tests never open the hardware";
        return nullptr;
    });
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
