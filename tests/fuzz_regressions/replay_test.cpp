// Replays, through each fuzz target's entry function, the inputs that once made it fail
// (fuzz/regressions/NAME/) and its seed corpus (fuzz/corpus/NAME/), so that a crash found by
// fuzzing stays fixed. A new fuzz target registers its entry function in the table below.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "fuzz/entries/demo.hpp"
#include "fuzz/entries/jpeg.hpp"
#include "fuzz/entries/netpbm.hpp"
#include "fuzz/entries/png.hpp"
#include "fuzz/entries/point_pairs.hpp"
#include "fuzz/entries/polygon_xml.hpp"
#include "fuzz/entries/scanner_formats.hpp"
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
    {"bmp", &ZELK::Fuzz::bmp},
    {"tiff", &ZELK::Fuzz::tiff},
    {"exif", &ZELK::Fuzz::exif},
    {"deflate", &ZELK::Fuzz::deflateRoundTrip},
};

const fs::path fuzzDir = fs::path(PENVEX_SOURCE_DIR) / "fuzz";

} // namespace

TEST(FuzzRegressions, EveryTargetAndRegressionFolderIsRegistered) {
    std::set<std::string> registered;
    for (const FuzzTarget& t : fuzzTargets)
        registered.insert(t.name);
    for (const auto& entry : fs::directory_iterator(fuzzDir)) {
        const std::string stem = entry.path().stem().string();
        const bool target = entry.path().extension() == ".cpp" && stem.rfind("fuzz_", 0) == 0;
        EXPECT_TRUE(!target || registered.contains(stem.substr(5)))
            << stem << " has no entry in this table";
    }
    for (const auto& entry : fs::directory_iterator(fuzzDir / "regressions"))
        EXPECT_TRUE(registered.contains(entry.path().filename().string()))
            << entry.path() << " belongs to no registered fuzz target";
}

TEST(FuzzRegressions, SavedInputsAndSeedsRunClean) {
    for (const FuzzTarget& target : fuzzTargets) {
        SCOPED_TRACE(target.name);
        const fs::path seeds = fuzzDir / "corpus" / target.name;
        EXPECT_TRUE(fs::is_directory(seeds) && !fs::is_empty(seeds)) << "no seed corpus";
        for (const char* kind : {"regressions", "corpus"}) {
            if (!fs::is_directory(fuzzDir / kind / target.name))
                continue;
            for (const auto& file : fs::directory_iterator(fuzzDir / kind / target.name)) {
                // An exactly sized heap copy, so that the sanitizer build catches any over-read.
                const std::size_t size = fs::file_size(file.path());
                auto copy = std::make_unique<std::uint8_t[]>(size);
                std::ifstream(file.path(), std::ios::binary)
                    .read(reinterpret_cast<char*>(copy.get()), std::streamsize(size));
                EXPECT_NO_THROW(target.entry(copy.get(), size)) << file.path();
            }
        }
    }
}
