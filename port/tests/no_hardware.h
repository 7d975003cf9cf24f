#pragma once

#include "inpout.h"
#include "simulated_port.h"

#include <gtest/gtest.h>

// No test may reach the machine's ports: a test program calls this first, before anything can bind
// a driver. It installs a simulated port that records its accesses, and makes any attempt to open
// the hardware fail the run.
inline void installSimulatedPortForTests()
{
    port::installDriver(std::make_unique<port::SimulatedPort>(true));
    port::setHardwareOpener([](std::string &whyNot) -> std::unique_ptr<port::PortDriver> {
        ADD_FAILURE() << "a test tried to open the hardware ports";
        whyNot = "tests never open the hardware";
        return nullptr;
    });
}
