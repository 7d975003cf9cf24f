#pragma once

// No test may reach the machine's ports: a test program calls this first, before anything can bind
// a driver. It installs a simulated port that records its accesses, and makes any attempt to open
// the hardware fail the run.
void installSimulatedPortForTests();
