#include "core/atomic_file.hpp"

#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>

#include "core/exceptions.hpp"

namespace ZELK {

namespace {

namespace fs = std::filesystem;

const char* const failedWrite = "Failed to write. ";

// Creates a new, empty file beside target whose name no other file has, and returns its path.
// A hidden name holding the target's, so that a file left over after a kill says what it was
// meant to become. path is the name the user gave, for the error.
fs::path createTemporary(const fs::path& target, const std::string& path) {
    const std::string name = target.filename().string();
    if (!name.empty()) {
        auto seed = static_cast<unsigned long long>(
            std::chrono::steady_clock::now().time_since_epoch().count());
        // A few tries with different suffixes: an existing file of that name is never reused.
        for (int attempt = 0; attempt < 16; ++attempt, seed = seed * 6364136223846793005ull + 1) {
            fs::path temporary = target;
            temporary.replace_filename("." + name + "." + std::to_string(seed % 1000000000ull) +
                                       ".tmp");
            // "x": fails when the name exists, so two runs never share a temporary file.
            if (std::FILE* file = std::fopen(temporary.string().c_str(), "wbx")) {
                std::fclose(file);
                return temporary;
            }
        }
    }
    throw PathException(path, failedWrite);
}

// The temporary files being written, so that a run ended by Ctrl-C or a termination signal
// removes them instead of leaving hidden files behind. The signal handler may only unlink and
// read plain memory, so the paths live in fixed slots, each claimed with an atomic flag.
struct PendingSlot {
    std::atomic<bool> used{false};
    char path[4096] = {};
};
std::array<PendingSlot, 16> pending;

const int endingSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void removePendingAndEnd(int signal) {
    for (PendingSlot& slot : pending)
        if (slot.used.load() && slot.path[0] != '\0')
            unlink(slot.path);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Installs the handler once, for the signals whose default action would end the program (a
// signal the caller chose to ignore stays ignored).
void watchEndingSignals() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int signal : endingSignals) {
            struct sigaction current {};
            if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
                struct sigaction action {};
                action.sa_handler = removePendingAndEnd;
                sigemptyset(&action.sa_mask);
                sigaction(signal, &action, nullptr);
            }
        }
    });
}

// Holds a temporary file's path in a free slot while alive (none free: not watched, which only
// means a kill may leave that file behind).
class Pending {
public:
    explicit Pending(const fs::path& temporary) {
        const std::string text = temporary.string();
        if (text.size() >= sizeof(PendingSlot::path))
            return;
        watchEndingSignals();
        for (PendingSlot& candidate : pending) {
            bool expected = false;
            if (!candidate.used.load() && candidate.used.compare_exchange_strong(expected, true)) {
                // The first byte last: until it is written the slot reads as the empty path,
                // never as a mix of this path and an earlier one.
                std::memcpy(candidate.path + 1, text.c_str() + 1, text.size());
                std::atomic_signal_fence(std::memory_order_seq_cst);
                candidate.path[0] = text[0];
                slot_ = &candidate;
                return;
            }
        }
    }
    ~Pending() {
        if (slot_ != nullptr) {
            slot_->path[0] = '\0';
            std::atomic_signal_fence(std::memory_order_seq_cst);
            slot_->used.store(false);
        }
    }
    Pending(const Pending&) = delete;
    Pending& operator=(const Pending&) = delete;

private:
    PendingSlot* slot_ = nullptr;
};

// Opens file at where, lets write fill it and closes it. A failed stream raises PathException
// naming path, whatever the writer made of the failure; any other exception passes through.
void writeThrough(const fs::path& where, const std::string& path,
                  const std::function<void(std::ostream&)>& write) {
    std::ofstream file(where, std::ios::binary | std::ios::trunc);
    try {
        if (!file.is_open())
            throw PathException(path, failedWrite);
        write(file);
        file.close();
        if (file.fail())
            throw PathException(path, failedWrite);
    } catch (...) {
        if (file.fail())
            throw PathException(path, failedWrite);
        throw;
    }
}

} // namespace

void writeFileAtomically(const std::string& path, const std::function<void(std::ostream&)>& write) {
    std::error_code ignored;
    const fs::file_status existing = fs::status(path, ignored);
    // A device or pipe (/dev/stdout, a FIFO) is written in place: renaming over it would
    // destroy it.
    if (fs::exists(existing) && !fs::is_regular_file(existing))
        return writeThrough(path, path, write);
    // Through a link, the file it points to is replaced and the link stays.
    fs::path target(path);
    if (fs::is_symlink(fs::symlink_status(target, ignored))) {
        const fs::path resolved = fs::canonical(target, ignored);
        if (!resolved.empty())
            target = resolved;
    }
    // A file the user may not write keeps refusing, as writing it in place would.
    if (fs::exists(existing) && access(target.c_str(), W_OK) != 0)
        throw PathException(path, failedWrite);
    const fs::path temporary = createTemporary(target, path);
    const Pending watched(temporary);
    try {
        writeThrough(temporary, path, write);
    } catch (...) {
        fs::remove(temporary, ignored);
        throw;
    }
    if (fs::exists(existing))
        fs::permissions(temporary, existing.permissions(), ignored);
    std::error_code renamed;
    fs::rename(temporary, target, renamed);
    if (renamed) {
        fs::remove(temporary, ignored);
        throw PathException(path, failedWrite);
    }
}

} // namespace ZELK
