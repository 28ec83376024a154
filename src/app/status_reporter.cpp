// Status line layout and timing.
#include "app/status_reporter.hpp"

#include <chrono>
#include <sstream>

namespace ZELK {

std::uint64_t SteadyCounter::counter() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

StatusReporter::StatusReporter() : StatusReporter(std::make_unique<SteadyCounter>()) {}

StatusReporter::StatusReporter(std::unique_ptr<PerformanceCounter> counter)
    : counter_(std::move(counter)),
      writer_(std::make_unique<LineWriter>(discard_, LineWriter::LineEnd::LF)) {}

void StatusReporter::setOutput(WriteStream* out) {
    writer_ =
        std::make_unique<LineWriter>(out != nullptr ? *out : discard_, LineWriter::LineEnd::LF);
}

void StatusReporter::begin(const std::string& message) {
    if (open_)
        writer_->endLine();
    writer_->text("* ").text(message);
    column_ = static_cast<std::uint32_t>(message.size() + 2);
    start_ = counter_->counter();
    open_ = true;
    writer_->special(LineWriter::Flush);
}

void StatusReporter::end(bool ok) {
    std::uint64_t now = counter_->counter();
    std::uint64_t frequency = counter_->frequency();
    if (frequency == 0)
        throw PerformanceCounterException("frequency");
    std::uint64_t ticks = now >= start_ ? now - start_ : start_ - now;
    // Milliseconds truncated to 32 bits, split so that long runs cannot overflow the product.
    auto milliseconds = static_cast<std::uint32_t>(ticks / frequency * 1000u +
                                                   ticks % frequency * 1000u / frequency);
    std::ostringstream result;
    result << milliseconds / 1000.0 << "s " << (ok ? "OK" : "FAIL");
    const std::string text = result.str();
    const std::uint32_t room = lineWidth - static_cast<std::uint32_t>(text.size());
    if (column_ > room) {
        writer_->endLine();
        column_ %= room;
    }
    writer_->text(std::string(room - column_, ' ')).text(text).endLine();
    writer_->special(LineWriter::Flush);
    open_ = false;
    column_ = 0;
}

} // namespace ZELK
