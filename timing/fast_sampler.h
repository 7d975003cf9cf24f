#pragma once

#include "clock.h"
#include "sample_stream.h"

#include "connector.h"
#include "port_session.h"

namespace timing {

struct SamplingReport
{
    long samples = 0;
    long changes = 0; // samples that differed from the one before (the first not counted)
    Nanoseconds elapsed{0};
    Nanoseconds longestGap{0}; // a pulse shorter than this may fall between two samples
    bool cancelled = false;

    double perSecond() const
    {
        return elapsed.count() > 0 ? double(samples) * 1e9 / double(elapsed.count()) : 0.0;
    }
};

// The three registers in one sample.
port::Registers readRegisters(port::Session &port, std::uint16_t base);

// Samples the port at base as fast as the path allows for the duration, as one action of the
// session (so holding the port throughout), and gives sink the first sample and each
// that differs from the one before, with its time since the first. Port errors pass through as
// port::PortError.
SamplingReport sampleFast(port::Session &port, Clock &clock, std::uint16_t base,
                          Nanoseconds duration, const CancelFlag &cancel, SampleSink &sink);

} // namespace timing
