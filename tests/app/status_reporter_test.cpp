// Layout and timing of the status lines.
#include <gtest/gtest.h>

#include "app/status_reporter.hpp"

using namespace ZELK;

namespace {

// A counter that returns scripted values, one per read.
struct ScriptedCounter : PerformanceCounter {
    ScriptedCounter(std::vector<std::uint64_t> values, std::uint64_t frequency)
        : values(std::move(values)), freq(frequency) {}
    std::vector<std::uint64_t> values;
    std::uint64_t freq;
    std::size_t next = 0;
    std::uint64_t counter() override { return values.at(next++); }
    std::uint64_t frequency() override { return freq; }
};

} // namespace

TEST(StatusReporter, ResultsEndAtColumn79AndLongMessagesWrap) {
    IncrementalBuffer buffer;
    BufferStream out(buffer);
    StatusReporter status(std::make_unique<ScriptedCounter>(
        std::vector<std::uint64_t>{100, 115, 200, 200, 0, 5000, 2500}, 1000));
    status.setOutput(&out);
    status.begin("Median filtering");
    status.end(true);
    status.begin("Thinning to skeleton");
    status.end(false);
    // Begin closes an open line; a counter running backwards gives the absolute difference;
    // a result past the width 72 wraps: column 82 mod 72 = 10.
    status.begin("first");
    status.begin(std::string(80, 'm'));
    status.end(true);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size()),
              "* Median filtering" + std::string(79 - 18 - 9, ' ') + "0.015s OK\n" +
                  "* Thinning to skeleton" + std::string(79 - 22 - 7, ' ') + "0s FAIL\n" +
                  "* first\n* " + std::string(80, 'm') + "\n" + std::string(62, ' ') + "2.5s OK\n");

    // Without an output lines are discarded; a zero frequency is an error.
    StatusReporter broken(std::make_unique<ScriptedCounter>(std::vector<std::uint64_t>{0, 1}, 0));
    broken.begin("x");
    EXPECT_THROW(broken.end(true), PerformanceCounterException);
}
