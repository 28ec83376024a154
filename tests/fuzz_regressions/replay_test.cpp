// Replays, through each fuzz target's entry function, the inputs that once made it fail
// (fuzz/regressions/NAME/) and its seed corpus (fuzz/corpus/NAME/), so that a crash found by
// fuzzing stays fixed. A new fuzz target registers its entry function in the table below.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fuzz/entries/demo.hpp"
#include "fuzz/entries/jpeg.hpp"
#include "fuzz/entries/netpbm.hpp"
#include "fuzz/entries/png.hpp"
#include "fuzz/entries/point_pairs.hpp"
#include "fuzz/entries/polygon_xml.hpp"
#include "fuzz/entries/xml_reader.hpp"

namespace fs = std::filesystem;

namespace {

struct FuzzTarget {
    const char* name; // fuzz/fuzz_NAME.cpp
    void (*entry)(const std::uint8_t* data, std::size_t size);
};

const FuzzTarget fuzzTargets[] = {
    {"xml_reader", &ZELK::Fuzz::xmlReader},
    {"png", &ZELK::Fuzz::png},
    {"inflate", &ZELK::Fuzz::inflate},
    {"jpeg", &ZELK::Fuzz::jpeg},
    {"netpbm", &ZELK::Fuzz::netpbm},
    {"polygon_xml", &ZELK::Fuzz::polygonXML},
    {"demo", &ZELK::Fuzz::demo},
    {"point_pairs", &ZELK::Fuzz::pointPairs},
};

const fs::path fuzzDir = fs::path(PENVEX_SOURCE_DIR) / "fuzz";

std::set<std::string> registeredNames() {
    std::set<std::string> names;
    for (const FuzzTarget& target : fuzzTargets)
        names.insert(target.name);
    return names;
}

std::vector<fs::path> filesIn(const fs::path& dir) {
    std::vector<fs::path> files;
    if (fs::is_directory(dir)) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.is_regular_file())
                files.push_back(entry.path());
        }
    }
    return files;
}

std::vector<std::uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(FuzzRegressions, EveryTargetAndRegressionFolderIsRegistered) {
    const std::set<std::string> names = registeredNames();
    ASSERT_TRUE(fs::is_directory(fuzzDir)) << fuzzDir;
    for (const auto& entry : fs::directory_iterator(fuzzDir)) {
        const std::string file = entry.path().filename().string();
        if (entry.path().extension() == ".cpp" && file.rfind("fuzz_", 0) == 0) {
            const std::string name = entry.path().stem().string().substr(5);
            EXPECT_TRUE(names.count(name)) << file << " has no entry function in replay_test.cpp";
        }
    }
    if (fs::is_directory(fuzzDir / "regressions")) {
        for (const auto& entry : fs::directory_iterator(fuzzDir / "regressions"))
            EXPECT_TRUE(names.count(entry.path().filename().string()))
                << entry.path() << " belongs to no registered fuzz target";
    }
}

TEST(FuzzRegressions, SavedInputsAndSeedsRunClean) {
    for (const FuzzTarget& target : fuzzTargets) {
        SCOPED_TRACE(target.name);
        std::vector<fs::path> files = filesIn(fuzzDir / "regressions" / target.name);
        const std::vector<fs::path> seeds = filesIn(fuzzDir / "corpus" / target.name);
        EXPECT_FALSE(seeds.empty()) << "no seed corpus for " << target.name;
        files.insert(files.end(), seeds.begin(), seeds.end());
        for (const fs::path& file : files) {
            // An exactly sized heap copy, so that the sanitizer build catches any over-read.
            const std::vector<std::uint8_t> bytes = readFile(file);
            auto copy = std::make_unique<std::uint8_t[]>(bytes.size());
            std::copy(bytes.begin(), bytes.end(), copy.get());
            EXPECT_NO_THROW(target.entry(copy.get(), bytes.size())) << file;
        }
    }
}
