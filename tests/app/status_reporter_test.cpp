// Layout and timing of the status lines.
#include <gtest/gtest.h>

#include "app/status_reporter.hpp"

using namespace ZELK;

namespace {

// A counter that advances by a scripted amount on every read.
struct ScriptedCounter : PerformanceCounter {
    std::vector<std::uint64_t> values;
    std::size_t next = 0;
    std::uint64_t freq = 1000;
    std::uint64_t counter() override { return values.at(next++); }
    std::uint64_t frequency() override { return freq; }
};

struct Output {
    IncrementalBuffer buffer;
    BufferStream stream{buffer};
    std::string text() const {
        return std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size());
    }
};

} // namespace

TEST(StatusReporter, ResultEndsAtColumn79) {
    auto counter = std::make_unique<ScriptedCounter>();
    counter->values = {100, 115, 200, 200};
    StatusReporter status(std::move(counter));
    Output out;
    status.setOutput(&out.stream);
    status.begin("Median filtering");
    status.end(true);
    status.begin("Thinning to skeleton");
    status.end(false);
    const std::string first = "* Median filtering" + std::string(79 - 18 - 9, ' ') + "0.015s OK\n";
    const std::string second =
        "* Thinning to skeleton" + std::string(79 - 22 - 7, ' ') + "0s FAIL\n";
    EXPECT_EQ(out.text(), first + second);
}

TEST(StatusReporter, BeginClosesAnOpenLineAndLongMessagesWrap) {
    auto counter = std::make_unique<ScriptedCounter>();
    counter->freq = 1000000;
    counter->values = {0, 5000000, 2500000};
    StatusReporter status(std::move(counter));
    Output out;
    status.setOutput(&out.stream);
    status.begin("first");
    status.begin(std::string(80, 'm'));
    status.end(true);
    // The counter ran backwards: the elapsed time is the absolute difference.
    const std::string result = "2.5s OK"; // W = 72; column 82 > 72 wraps to 82 mod 72 = 10
    EXPECT_EQ(out.text(),
              "* first\n* " + std::string(80, 'm') + "\n" + std::string(62, ' ') + result + "\n");
}

TEST(StatusReporter, DiscardsWithoutOutputAndRejectsAZeroFrequency) {
    auto counter = std::make_unique<ScriptedCounter>();
    counter->values = {0, 1};
    counter->freq = 0;
    StatusReporter status(std::move(counter));
    status.begin("x");
    EXPECT_THROW(status.end(true), PerformanceCounterException);
}
