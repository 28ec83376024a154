// The clutter rule by shape on made-up drawings in stroke-width units: each case asks whether
// its last polyline is clutter, at two stroke widths, since the rule must give the same answer
// to the same drawing drawn larger with a thicker pen.
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "drawing_support.hpp"
#include "tracing/clutter.hpp"

namespace {

using PenvexTest::P2;
using Strokes = std::vector<std::vector<P2>>;

// A long line along the x axis, 60 widths, drawn first in several cases.
const std::vector<P2> base{P2(0, 0), P2(60, 0)};

template <typename F> Strokes strokes(int n, F stroke, Strokes first = {}) {
    for (int k = 0; k < n; ++k)
        first.push_back(stroke(float(k)));
    return first;
}

Strokes circle() { // radius 12 widths in 24 segments, closed on its first vertex
    std::vector<P2> loop;
    for (int k = 0; k <= 24; ++k) {
        const double t = 2 * std::numbers::pi * (k % 24) / 24;
        loop.push_back(P2(float(12 * std::cos(t)), float(12 * std::sin(t))));
    }
    return {loop};
}

Strokes scribble() { // a staircase of 3-width pieces, each turning at the last one's end
    return strokes(12, [](float k) {
        const float x = 3.2f * std::floor((k + 1) / 2), y = 3.2f * std::floor(k / 2);
        return int(k) % 2 ? std::vector<P2>{P2(x, y), P2(x, y + 3)}
                          : std::vector<P2>{P2(x, y), P2(x + 3, y)};
    });
}

const struct Case {
    const char* name;
    Strokes drawing;
    bool lastIsClutter;
} cases[] = {
    {"LetterAloneIsClutter", // an H two widths above the line
     {base, {P2(20, 5), P2(20, 11)}, {P2(20, 8), P2(23, 8)}, {P2(23, 5), P2(23, 11)}},
     true},
    {"CircleOfShortSegmentsIsDrawing", circle(), false},
    {"DashedLineIsDrawing", // dashes of 3 widths with gaps of 1.5
     strokes(8,
             [](float k) {
                 return std::vector<P2>{P2(4.5f * k, 30), P2(4.5f * k + 3, 30)};
             }),
     false},
    {"ScribbleOfCornersIsClutter", scribble(), true},
    {"TickCrossingALineIsDrawing", {base, {P2(30, -2), P2(30, 2)}}, false},
    {"PieceEndingOnALineFromTheSideIsDrawing", {base, {P2(40, 0.5f), P2(43, 6)}}, false},
    {"PieceRunningAlongALineIsNotAttached", {base, {P2(40, 0.8f), P2(45, 0.9f), P2(45, 6)}}, true},
    {"ArrowheadAtALineEndIsDrawing", {base, {P2(57, 1.7f), P2(60.3f, 0.2f)}}, false},
    {"BrokenLineContinuesIntoTheDrawing", {base, {P2(62, 0.3f), P2(66, 0.4f)}}, false},
    {"HatchingEndingOnItsOutlineIsDrawing",
     strokes(4,
             [](float k) {
                 return std::vector<P2>{P2(10 + 3 * k, 0.2f), P2(14 + 3 * k, 6)};
             },
             {base}),
     false},
};

class ClutterByShape : public ::testing::TestWithParam<std::tuple<Case, float>> {};

TEST_P(ClutterByShape, AnswersTheSameAtEveryStrokeWidth) {
    const auto& [c, width] = GetParam();
    std::vector<P2> points;
    std::vector<ZELK::Polyline> polylines;
    for (const std::vector<P2>& stroke : c.drawing) {
        const std::uint32_t first = static_cast<std::uint32_t>(points.size());
        ZELK::Polyline polyline;
        for (std::size_t k = 0; k < stroke.size(); ++k) {
            if (k + 1 == stroke.size() && k > 0 && stroke[k] == stroke[0]) {
                polyline.push_back(first); // a closed stroke ends on its first vertex
                break;
            }
            polyline.push_back(static_cast<std::uint32_t>(points.size()));
            points.push_back(P2(stroke[k].x() * width + 100.0f, stroke[k].y() * width - 50.0f));
        }
        polylines.push_back(polyline);
    }
    const std::vector<bool> flags =
        ZELK::markClutterByShape(PenvexTest::makeSet(points, polylines), width);
    ASSERT_EQ(flags.size(), polylines.size());
    EXPECT_EQ(flags.back(), c.lastIsClutter) << c.name << " at width " << width;
}

INSTANTIATE_TEST_SUITE_P(Cases, ClutterByShape,
                         ::testing::Combine(::testing::ValuesIn(cases),
                                            ::testing::Values(1.5f, 7.0f)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::to_string(info.index % 2);
                         });

} // namespace
