// A fixed set of std::jthread workers behind one queue of jobs.
#include "core/thread_pool.hpp"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace ZELK {

namespace {

// More threads than this only add scheduling on the machines we run on; a typo like -j 1000
// should not start a thousand threads.
constexpr unsigned maxThreads = 64;

class Pool {
public:
    // Starts count - 1 workers (the calling thread is the count's first).
    explicit Pool(unsigned count) {
        for (unsigned i = 1; i < count; ++i)
            workers_.emplace_back([this](std::stop_token stop) { work(stop); });
    }
    ~Pool() {
        for (auto& worker : workers_)
            worker.request_stop();
        wake_.notify_all();
    }
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    std::size_t workers() const { return workers_.size(); }

    void post(std::function<void()> job) {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        wake_.notify_one();
    }

private:
    void work(std::stop_token stop) {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                if (!wake_.wait(lock, stop, [this] { return !jobs_.empty(); }))
                    return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }

    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::jthread> workers_; // last: joined before the queue goes away
};

unsigned requested = 0;
std::unique_ptr<Pool> pool;

unsigned resolved(unsigned count) {
    if (count == 0)
        count = std::thread::hardware_concurrency();
    if (count == 0)
        count = 1;
    return count < maxThreads ? count : maxThreads;
}

Pool& sharedPool() {
    if (!pool)
        pool = std::make_unique<Pool>(resolved(requested));
    return *pool;
}

} // namespace

void setThreadCount(unsigned count) {
    if (pool && resolved(count) == resolved(requested))
        return;
    pool.reset();
    requested = count;
}

unsigned threadCount() {
    return resolved(requested);
}

void forEachBand(std::size_t bands, const std::function<void(std::size_t)>& task) {
    if (bands == 0)
        return;
    Pool& workers = sharedPool();
    if (workers.workers() == 0 || bands == 1) {
        for (std::size_t band = 0; band < bands; ++band)
            task(band);
        return;
    }
    // Shared by the helpers, which may still be queued when the last band ends: they find no
    // band left and return without touching the task.
    struct Loop {
        std::atomic<std::size_t> next{0};
        std::size_t bands = 0;
        const std::function<void(std::size_t)>* task = nullptr;
        std::mutex mutex;
        std::condition_variable done;
        std::size_t finished = 0;
        std::size_t failedBand = 0;
        std::exception_ptr failure;
    };
    auto loop = std::make_shared<Loop>();
    loop->bands = bands;
    loop->task = &task;
    auto run = [loop] {
        for (;;) {
            const std::size_t band = loop->next.fetch_add(1);
            if (band >= loop->bands)
                return;
            std::exception_ptr failure;
            try {
                (*loop->task)(band);
            } catch (...) {
                failure = std::current_exception();
            }
            std::lock_guard lock(loop->mutex);
            if (failure && (!loop->failure || band < loop->failedBand)) {
                loop->failure = failure;
                loop->failedBand = band;
            }
            if (++loop->finished == loop->bands)
                loop->done.notify_all();
        }
    };
    const std::size_t helpers = workers.workers() < bands - 1 ? workers.workers() : bands - 1;
    for (std::size_t i = 0; i < helpers; ++i)
        workers.post(run);
    run();
    std::unique_lock lock(loop->mutex);
    loop->done.wait(lock, [&] { return loop->finished == loop->bands; });
    if (loop->failure)
        std::rethrow_exception(loop->failure);
}

struct Background::State {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::exception_ptr failure;
};

Background::Background(std::function<void()> task) : state_(std::make_shared<State>()) {
    Pool& workers = sharedPool();
    auto run = [state = state_, task = std::move(task)] {
        std::exception_ptr failure;
        try {
            task();
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(state->mutex);
        state->failure = failure;
        state->finished = true;
        state->done.notify_all();
    };
    if (workers.workers() == 0)
        run();
    else
        workers.post(std::move(run));
}

Background::Background(Background&&) noexcept = default;

Background& Background::operator=(Background&& other) noexcept {
    if (this != &other) {
        try {
            wait();
        } catch (...) {
            // The task being replaced had failed and nobody asked: the error goes with it.
        }
        state_ = std::move(other.state_);
    }
    return *this;
}

Background::~Background() {
    try {
        wait();
    } catch (...) {
        // Unwinding from another error, or a result nobody waited for: nothing to report to.
    }
}

void Background::wait() {
    if (!state_)
        return;
    std::shared_ptr<State> state = std::move(state_);
    std::unique_lock lock(state->mutex);
    state->done.wait(lock, [&] { return state->finished; });
    if (state->failure)
        std::rethrow_exception(state->failure);
}

} // namespace ZELK
