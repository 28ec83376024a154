// Line extraction as a user meets it: the status steps from segmentation to connected
// polylines, the steps that -mc 0 and -mo 0 leave out, and the messages that stop the run.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "support/run_binary.hpp"

using PenvexTest::dataPath;
using PenvexTest::runPenvex;
using PenvexTest::ScratchDir;
using PenvexTest::statusOf;

namespace {

// Position of a status line, to check the order of the steps.
std::size_t positionOf(const std::string& out, const std::string& message) {
    return out.find("* " + message + " ");
}

// A P5 image: white, with a black square of side `square` at (x0, y0) (side 0: none) or all
// of the given grey.
std::string pgm(unsigned w, unsigned h, unsigned char background, unsigned x0 = 0, unsigned y0 = 0,
                unsigned square = 0) {
    std::string pixels(std::size_t(w) * h, char(background));
    for (unsigned y = y0; y < y0 + square; ++y)
        for (unsigned x = x0; x < x0 + square; ++x)
            pixels[std::size_t(y) * w + x] = 0;
    return "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n" + pixels;
}

struct Traced {
    std::vector<std::pair<float, float>> points;
    std::vector<std::vector<unsigned>> polygons; // 1-based point numbers, as written
    std::vector<bool> open;
};

// The points and polygons of a polygon XML file written by -ox (before its clutter comment).
Traced readPolygons(const std::string& xml) {
    Traced t;
    const std::string lines = xml.substr(0, xml.find("<!--"));
    const std::regex point("<point><x>([^<]*)</x><y>([^<]*)</y></point>");
    for (std::sregex_iterator m(lines.begin(), lines.end(), point), end; m != end; ++m)
        t.points.push_back({std::stof((*m)[1]), std::stof((*m)[2])});
    const std::regex polygon("<polygon( ends=\"open\")?>(.*?)</polygon>");
    const std::regex index("<point>([0-9]+)</point>");
    for (std::sregex_iterator m(lines.begin(), lines.end(), polygon), end; m != end; ++m) {
        t.open.push_back((*m)[1].matched);
        const std::string body = (*m)[2];
        t.polygons.emplace_back();
        for (std::sregex_iterator i(body.begin(), body.end(), index); i != end; ++i)
            t.polygons.back().push_back(unsigned(std::stoul((*i)[1])));
    }
    return t;
}

float distanceToSegment(float px, float py, float ax, float ay, float bx, float by) {
    const float dx = bx - ax, dy = by - ay, span = dx * dx + dy * dy;
    const float t =
        span > 0 ? std::clamp(((px - ax) * dx + (py - ay) * dy) / span, 0.0f, 1.0f) : 0.0f;
    return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

const std::vector<std::string> extractionSteps = {
    "Segmenting lines", "Morphological closing", "Morphological opening", "Thinning to skeleton",
    "Extracting lines", "Refining lines",        "Connecting polylines"};

} // namespace

TEST(TracingCli, DrawingRunsThroughEveryExtractionStep) {
    ScratchDir dir;
    for (const char* name : {"rectangle", "cross", "curves"}) {
        const auto r = runPenvex(
            {dataPath(std::string("tracing/") + name + ".pgm").string(), "-a", "3", "-b", "none"},
            dir.path());
        std::size_t previous = 0;
        for (const std::string& step : extractionSteps) {
            EXPECT_EQ(statusOf(r.out, step), "OK") << name << ": " << step << "\n" << r.err;
            const std::size_t at = positionOf(r.out, step);
            EXPECT_GT(at, previous) << step;
            previous = at;
        }
        EXPECT_EQ(r.exitCode, 0) << name << ": " << r.err;
        EXPECT_EQ(r.err.find("segmented as lines"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Thinning did not complete"), std::string::npos) << r.err;
    }
}

TEST(TracingCli, ZeroClosingAndOpeningAreLeftOut) {
    ScratchDir dir;
    const auto r = runPenvex(
        {dataPath("tracing/cross.pgm").string(), "-a", "3", "-b", "none", "-mc", "0", "-mo", "0"},
        dir.path());
    EXPECT_EQ(statusOf(r.out, "Segmenting lines"), "OK") << r.err;
    EXPECT_EQ(statusOf(r.out, "Morphological closing"), "");
    EXPECT_EQ(statusOf(r.out, "Morphological opening"), "");
    EXPECT_EQ(statusOf(r.out, "Thinning to skeleton"), "OK");
    EXPECT_EQ(statusOf(r.out, "Connecting polylines"), "OK");
}

TEST(TracingCli, WholeImageSegmentedStopsTheRun) {
    // A constant image: one value, all of it taken as lines, a share printed as "1".
    ScratchDir dir;
    PenvexTest::writeFile(dir / "flat.pgm", pgm(64, 48, 200));
    const auto r = runPenvex({"flat.pgm", "-b", "none"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(statusOf(r.out, "Segmenting lines"), "OK");
    EXPECT_NE(r.err.find("1 of image was segmented as lines.\n"), std::string::npos) << r.err;
    EXPECT_EQ(statusOf(r.out, "Thinning to skeleton"), "");
}

TEST(TracingCli, FilledSquareExceedsTheThinningLimit) {
    // Without the local mean the filled square stays filled: 100 pixels wide, it needs more
    // than 20 changing iterations; a higher limit lets it through.
    ScratchDir dir;
    PenvexTest::writeFile(dir / "square.pgm", pgm(200, 200, 255, 50, 50, 100));
    const auto r = runPenvex({"square.pgm", "-b", "none", "-n", "0", "-a", "3"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(statusOf(r.out, "Thinning to skeleton"), "FAIL");
    EXPECT_NE(r.err.find("Thinning did not complete in limited number of iterations 20\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(statusOf(r.out, "Extracting lines"), "");

    const auto more =
        runPenvex({"square.pgm", "-b", "none", "-n", "0", "-a", "3", "-mt", "60"}, dir.path());
    EXPECT_EQ(statusOf(more.out, "Thinning to skeleton"), "OK") << more.err;
    EXPECT_EQ(statusOf(more.out, "Connecting polylines"), "OK");
}

// The whole run on drawn fixtures, judged by its polygon XML against the drawn geometry (in
// image coordinates, row 0 at the bottom: y = 149 - the drawing's y).
TEST(TracingCli, PolygonFileMatchesTheDrawing) {
    ScratchDir dir;
    const auto rect = runPenvex({dataPath("tracing/rectangle.pgm").string(), "-a", "3", "-b",
                                 "none", "-q", "-ox", "rectangle.xml"},
                                dir.path());
    ASSERT_EQ(rect.exitCode, 0) << rect.err;
    EXPECT_EQ(rect.out, "");
    const Traced r = readPolygons(PenvexTest::readFile(dir / "rectangle.xml"));
    ASSERT_EQ(r.polygons.size(), 1u);
    EXPECT_FALSE(r.open[0]); // closed: one polygon all round
    for (auto [cx, cy] :
         {std::pair{30.0f, 124.0f}, {170.0f, 124.0f}, {170.0f, 24.0f}, {30.0f, 24.0f}}) {
        float nearest = INFINITY;
        for (unsigned n : r.polygons[0])
            nearest = std::min(
                nearest, std::hypot(r.points.at(n - 1).first - cx, r.points.at(n - 1).second - cy));
        EXPECT_LE(nearest, 2.0f) << cx << ", " << cy;
    }

    const auto cross = runPenvex(
        {dataPath("tracing/cross.pgm").string(), "-a", "3", "-b", "none", "-q", "-ox", "cross.xml"},
        dir.path());
    ASSERT_EQ(cross.exitCode, 0) << cross.err;
    const Traced c = readPolygons(PenvexTest::readFile(dir / "cross.xml"));
    // Drawn: (20, 74) - (180, 74) and (100, 14) - (100, 134).
    const float strokes[2][4] = {{20, 74, 180, 74}, {100, 14, 100, 134}};
    for (const auto& [x, y] : c.points) {
        const float d = std::min(distanceToSegment(x, y, 20, 74, 180, 74),
                                 distanceToSegment(x, y, 100, 14, 100, 134));
        EXPECT_LE(d, 2.0f) << x << ", " << y;
    }
    for (const auto& s : strokes)
        for (int k = 0; k <= 20; ++k) {
            const float x = s[0] + (s[2] - s[0]) * k / 20, y = s[1] + (s[3] - s[1]) * k / 20;
            float best = INFINITY;
            for (const auto& polygon : c.polygons)
                for (std::size_t i = 0; i + 1 < polygon.size(); ++i) {
                    const auto& a = c.points.at(polygon[i] - 1);
                    const auto& b = c.points.at(polygon[i + 1] - 1);
                    best = std::min(best,
                                    distanceToSegment(x, y, a.first, a.second, b.first, b.second));
                }
            EXPECT_LE(best, 2.0f) << x << ", " << y;
        }
}
