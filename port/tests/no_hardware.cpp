#include "no_hardware.h"

#include "inpout.h"
#include "simulated_port.h"

#include <gtest/gtest.h>

void installSimulatedPortForTests()
{
    port::installDriver(std::make_unique<port::SimulatedPort>(true));
    port::setHardwareOpener([](std::string &whyNot) -> std::unique_ptr<port::PortDriver> {
        ADD_FAILURE() << "a test tried to open the hardware ports";
        whyNot = "tests never open the hardware";
        return nullptr;
    });
}
