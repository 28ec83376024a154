#include "core/atomic_file.hpp"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
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
    const fs::path temporary = createTemporary(target, path);
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
