// The program's few worker threads and the two ways work reaches them: a loop over bands run by
// all threads together, and one task run beside the calling thread.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace ZELK {

// Sets how many threads work on a run, the calling thread included; 0 means one per core.
// Called before any parallel work starts, so that it never races with running bands.
void setThreadCount(unsigned count);
// The threads of the current setting (at least 1).
unsigned threadCount();

// Runs task(band) for every band in 0 .. bands - 1 and returns when all have run; the calling
// thread takes bands too, so with one thread they run on it in increasing order. Callers cut
// bands by a fixed size (never by the thread count) and combine per-band results in band order,
// so the outcome is the same for every thread count. When bands throw, the exception of the
// lowest such band is rethrown after all bands have ended, as a serial loop would have raised.
void forEachBand(std::size_t bands, const std::function<void(std::size_t)>& task);

// A task started beside the calling thread (on the calling thread itself, at once, when there is
// only one thread). wait() returns when it has run and rethrows what it threw; the destructor
// waits too, so a task never outlives the data it borrows.
class Background {
public:
    Background() = default;
    explicit Background(std::function<void()> task);
    Background(Background&&) noexcept;
    Background& operator=(Background&&) noexcept;
    ~Background();

    void wait();

private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace ZELK
