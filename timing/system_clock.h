#pragma once

#include "clock.h"

#include <memory>
#include <string>

namespace timing {

// The system's clock for one pulse train or fast watch, kept for as long as it runs: Linux's
// MonotonicClock; Windows' WindowsClock holding its TrainScope, so that the system tick is raised
// (where no high-resolution timer is had) only while it lives.
std::unique_ptr<Clock> trainClock();

// A scheduling priority above every ordinary process's, where the user may have it (Linux:
// SCHED_FIFO under RLIMIT_RTPRIO or as root; Windows: the high priority class). Empty when
// granted; otherwise a Spanish note saying why not and how to get it.
std::string requestRealtime();

} // namespace timing
