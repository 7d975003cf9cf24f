#pragma once

#include "connector.h"

#include <cstdint>
#include <cstdio>
#include <optional>

namespace timing {

// Where a watch's samples go: each with its time in microseconds since the watch began. A
// stream that keeps only changes may be given every sample; the first is always given.
class SampleSink
{
public:
    virtual ~SampleSink() = default;

    virtual void sample(std::int64_t tUs, const port::Registers &registers) = 0;
    // The watch has ended at tUs.
    virtual void finish(std::int64_t tUs) { (void)tUs; }
};

// A Value Change Dump (IEEE 1364) of the 17 signal pins' levels at the connector: one 1-bit
// wire each, named by pin and signal in one word (pin1_nStrobe), every wire's first level in
// $dumpvars (a reader that gets none starts each wire at 0, and the first edges vanish), then a
// timestamp only where a level changes, and one to close. Flushed at every change, so a watch
// ended by Ctrl-C leaves a file every reader takes.
class VcdWriter : public SampleSink
{
public:
    explicit VcdWriter(std::FILE *file)
        : m_file(file)
    {}

    void sample(std::int64_t tUs, const port::Registers &registers) override;
    void finish(std::int64_t tUs) override;

private:
    std::FILE *m_file;
    std::optional<port::Registers> m_last;
    std::int64_t m_lastTime = 0;
};

// One JSON object a line per sample, for scripts:
// {"t_us":0,"base":888,"data":0,"status":120,"control":12,"pins":[1,0,...]}, pins 1 to 17 in
// order, their levels at the connector.
class JsonLinesWriter : public SampleSink
{
public:
    JsonLinesWriter(std::FILE *file, std::uint16_t base)
        : m_file(file)
        , m_base(base)
    {}

    void sample(std::int64_t tUs, const port::Registers &registers) override;

private:
    std::FILE *m_file;
    std::uint16_t m_base;
};

} // namespace timing
