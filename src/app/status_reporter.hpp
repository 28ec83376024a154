// One status line per pipeline step: "* message", then the elapsed seconds and OK or FAIL
// right-aligned so that the line ends at column 79.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/streams.hpp"

namespace ZELK {

// A monotonic tick counter with a known frequency.
class PerformanceCounter {
public:
    virtual ~PerformanceCounter() = default;
    virtual std::uint64_t counter() = 0;
    virtual std::uint64_t frequency() = 0;
};

// The steady clock in nanosecond ticks.
class SteadyCounter : public PerformanceCounter {
public:
    std::uint64_t counter() override;
    std::uint64_t frequency() override { return 1000000000ull; }
};

class StatusReporter {
public:
    static constexpr std::uint32_t lineWidth = 79;

    StatusReporter();
    explicit StatusReporter(std::unique_ptr<PerformanceCounter> counter);

    // Directs the lines to a stream (not owned); without one they are discarded.
    void setOutput(WriteStream* out);

    void begin(const std::string& message);
    void end(bool ok);

private:
    std::unique_ptr<PerformanceCounter> counter_;
    NullWriteStream discard_;
    std::unique_ptr<LineWriter> writer_;
    bool open_ = false;
    std::uint64_t start_ = 0;
    std::uint32_t column_ = 0;
};

} // namespace ZELK
