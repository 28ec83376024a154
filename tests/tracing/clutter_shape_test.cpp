// The clutter rule by shape on made-up drawings in stroke-width units: each case is one
// question (is the marked polyline drawing or clutter?) asked at two stroke widths, since
// the rule must give the same answer to the same drawing drawn larger with a thicker pen.
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "drawing_support.hpp"
#include "tracing/clutter.hpp"

namespace {

using PenvexTest::P2;
using ZELK::Polyline;

struct Builder {
    std::vector<P2> points;
    std::vector<Polyline> polylines;
    // Adds an open polyline through the points (in stroke widths); returns its number.
    std::size_t add(std::initializer_list<P2> at) {
        Polyline polyline;
        for (const P2& p : at) {
            polyline.push_back(static_cast<std::uint32_t>(points.size()));
            points.push_back(p);
        }
        polylines.push_back(polyline);
        return polylines.size() - 1;
    }
};

struct Case {
    const char* name;
    void (*draw)(Builder&);
    bool markedIsClutter; // the answer for the last polyline drawn
};

// A long frame line along the x axis from 0 to 60 widths, drawn first in several cases.
void baseLine(Builder& b) {
    b.add({P2(0, 0), P2(60, 0)});
}

const Case cases[] = {
    {"LetterAloneIsClutter",
     [](Builder& b) {
         baseLine(b);
         b.add({P2(20, 5), P2(20, 11)}); // an H, 2 widths above the line
         b.add({P2(20, 8), P2(23, 8)});
         b.add({P2(23, 5), P2(23, 11)});
     },
     true},
    {"CircleOfShortSegmentsIsDrawing",
     [](Builder& b) {
         Polyline loop;
         const int n = 24; // radius 12 widths: segments of about 3 widths
         for (int k = 0; k <= n; ++k) {
             const double t = 2 * std::numbers::pi * (k % n) / n;
             if (k < n) {
                 loop.push_back(static_cast<std::uint32_t>(b.points.size()));
                 b.points.push_back(P2(float(12 * std::cos(t)), float(12 * std::sin(t))));
             } else {
                 loop.push_back(loop.front());
             }
         }
         b.polylines.push_back(loop);
     },
     false},
    {"DashedLineIsDrawing",
     [](Builder& b) {
         for (int k = 0; k < 8; ++k) // dashes of 3 widths with gaps of 1.5
             b.add({P2(4.5f * k, 30), P2(4.5f * k + 3, 30)});
     },
     false},
    {"DashesBentAtRightAnglesStayApart",
     [](Builder& b) {
         b.add({P2(0, 0), P2(4, 0)}); // an L of two pieces whose ends do not point at each other
         b.add({P2(5, 1), P2(5, 5)});
     },
     true},
    {"ScribbleOfCornersIsClutter",
     [](Builder& b) {
         float x = 0, y = 0; // a staircase of 3-width pieces, each turning at the last one's end
         for (int k = 0; k < 12; ++k) {
             const float nx = k % 2 ? x : x + 3, ny = k % 2 ? y + 3 : y;
             b.add({P2(x, y), P2(nx, ny)});
             x = nx + 0.2f;
             y = ny + 0.2f;
         }
     },
     true},
    {"TickCrossingALineIsDrawing",
     [](Builder& b) {
         baseLine(b);
         b.add({P2(30, -2), P2(30, 2)});
     },
     false},
    {"PieceEndingOnALineFromTheSideIsDrawing",
     [](Builder& b) {
         baseLine(b);
         b.add({P2(40, 0.5f), P2(43, 6)});
     },
     false},
    {"PieceRunningAlongALineIsNotAttached",
     [](Builder& b) {
         baseLine(b);
         b.add({P2(40, 0.8f), P2(45, 0.9f), P2(45, 6)});
     },
     true},
    {"BrokenLineContinuesIntoTheDrawing",
     [](Builder& b) {
         baseLine(b);
         b.add({P2(62, 0.3f), P2(66, 0.4f)}); // after a gap of 2 widths
     },
     false},
    {"HatchingEndingOnItsOutlineIsDrawing",
     [](Builder& b) {
         baseLine(b);
         for (int k = 0; k < 4; ++k)
             b.add({P2(10.0f + 3 * k, 0.2f), P2(14.0f + 3 * k, 6)});
     },
     false},
};

class ClutterByShape : public ::testing::TestWithParam<std::tuple<Case, float>> {};

TEST_P(ClutterByShape, AnswersTheSameAtEveryStrokeWidth) {
    const auto& [c, width] = GetParam();
    Builder b;
    c.draw(b);
    for (P2& p : b.points)
        p = P2(p.x() * width + 100.0f, p.y() * width - 50.0f);
    const ZELK::PolylineSet set = PenvexTest::makeSet(b.points, b.polylines);
    const std::vector<bool> flags = ZELK::markClutterByShape(set, width);
    ASSERT_EQ(flags.size(), b.polylines.size());
    EXPECT_EQ(flags.back(), c.markedIsClutter) << c.name << " at width " << width;
}

INSTANTIATE_TEST_SUITE_P(Cases, ClutterByShape,
                         ::testing::Combine(::testing::ValuesIn(cases),
                                            ::testing::Values(1.5f, 7.0f)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::to_string(info.index % 2);
                         });

} // namespace
