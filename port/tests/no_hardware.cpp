#include "no_hardware.h"

#include "inpout.h"
#include "simulated_port.h"

#include <gtest/gtest.h>

void installSimulatedPortForTests()
{
    inpout::installDriver(std::make_unique<inpout::SimulatedPort>(true));
    inpout::setHardwareOpener([](std::string &whyNot) -> std::unique_ptr<inpout::PortDriver> {
        ADD_FAILURE() << "a test tried to open the hardware ports";
        whyNot = "tests never open the hardware";
        return nullptr;
    });
}
