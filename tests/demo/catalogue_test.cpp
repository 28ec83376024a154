// The demo figures: names, lookup, and the geometry the start/continue primitives build.
#include "demo/catalogue.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using ZELK::DemoDrawing;
using ZELK::Point;
using ZELK::Segment;

namespace {

DemoDrawing figure(const std::string& name) {
    DemoDrawing d;
    EXPECT_TRUE(ZELK::findDemoFigure(name, d)) << name;
    return d;
}

} // namespace

TEST(DemoCatalogue, NamesAreCaseSensitiveAndInCatalogueOrder) {
    const std::vector<std::string> expected = {"diagonal", "double", "L",      "plus",   "X",
                                               "asterisk", "T",      "square", "circle", "wave",
                                               "wobbly",   "spiral", "gaps"};
    EXPECT_EQ(ZELK::demoFigureNames(), expected);
    for (const char* unknown : {"Plus", "", "l", "x", "plus ", "diagonal,size=3"}) {
        DemoDrawing d;
        d.start(0, 0, 1, 0);
        EXPECT_FALSE(ZELK::findDemoFigure(unknown, d)) << unknown;
        EXPECT_EQ(d.segments().size(), 1u) << "a failed lookup leaves the drawing alone";
    }
}

TEST(DemoCatalogue, SegmentCountsAndStrokes) {
    struct Case {
        const char* name;
        std::size_t segments;
        std::size_t strokes;
    };
    for (const Case& c :
         {Case{"diagonal", 1, 1}, Case{"double", 2, 2}, Case{"L", 2, 1}, Case{"plus", 2, 2},
          Case{"X", 2, 2}, Case{"asterisk", 3, 3}, Case{"T", 2, 2}, Case{"square", 4, 1},
          Case{"circle", 16, 1}, Case{"wave", 10, 1}, Case{"wobbly", 5 * 34, 5},
          Case{"spiral", 33, 1}, Case{"gaps", 7, 7}}) {
        const DemoDrawing d = figure(c.name);
        EXPECT_EQ(d.segments().size(), c.segments) << c.name;
        EXPECT_EQ(d.strokeCount(), c.strokes) << c.name;
    }
}

TEST(DemoCatalogue, SegmentsAreUnitDirectionsInsideTheUnitSquare) {
    for (const std::string& name : ZELK::demoFigureNames()) {
        const DemoDrawing d = figure(name);
        for (const Segment& s : d.segments()) {
            EXPECT_NEAR(std::hypot(s.direction.x(), s.direction.y()), 1.0, 1e-6) << name;
            for (const Point<2, float>& p : {s.origin, s.end()}) {
                EXPECT_GE(p.x(), -1e-6f) << name;
                EXPECT_LE(p.x(), 1 + 1e-6f) << name;
                EXPECT_GE(p.y(), -1e-6f) << name;
                EXPECT_LE(p.y(), 1 + 1e-6f) << name;
            }
        }
    }
}

TEST(DemoCatalogue, ContinueStartsWhereTheLastSegmentEnded) {
    const DemoDrawing square = figure("square");
    const auto& s = square.segments();
    const float corners[5][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(s[i].origin, (i == 0 ? s[0].origin : s[i - 1].end()));
        EXPECT_NEAR(s[i].origin.x(), corners[i][0], 1e-6);
        EXPECT_NEAR(s[i].origin.y(), corners[i][1], 1e-6);
        EXPECT_NEAR(s[i].end().x(), corners[i + 1][0], 1e-6);
        EXPECT_NEAR(s[i].end().y(), corners[i + 1][1], 1e-6);
        EXPECT_NEAR(s[i].length, 1.0, 1e-6);
    }

    // The L is drawn from its top down, then to the right.
    const DemoDrawing ell = figure("L");
    EXPECT_EQ(ell.segments()[0].origin, (Point<2, float>(0, 1)));
    EXPECT_EQ(ell.segments()[0].direction, (ZELK::Vector<2, float>(0, -1)));
    EXPECT_EQ(ell.segments()[1].direction, (ZELK::Vector<2, float>(1, 0)));

    // The circle starts at -22.5 degrees, goes through (1, 0.5) and closes where it started.
    const DemoDrawing circle = figure("circle");
    const double eighth = std::numbers::pi / 8;
    EXPECT_NEAR(circle.segments()[0].origin.x(), 0.5 + 0.5 * std::cos(eighth), 1e-6);
    EXPECT_NEAR(circle.segments()[0].origin.y(), 0.5 - 0.5 * std::sin(eighth), 1e-6);
    EXPECT_NEAR(circle.segments()[0].end().x(), 1.0, 1e-6);
    EXPECT_NEAR(circle.segments()[0].end().y(), 0.5, 1e-6);
    EXPECT_NEAR(circle.segments().back().end().x(), circle.segments()[0].origin.x(), 1e-5);
    EXPECT_NEAR(circle.segments().back().end().y(), circle.segments()[0].origin.y(), 1e-5);
    for (const Segment& s : circle.segments())
        EXPECT_NEAR(s.length, std::sin(eighth / 2), 1e-5) << "chords of 1/16 of a turn";

    // The spiral winds twice inwards and ends 1/64 from the centre.
    const Segment last = figure("spiral").segments().back();
    EXPECT_NEAR(std::hypot(last.end().x() - 0.5, last.end().y() - 0.5), 0.5 / 32, 1e-6);

    // The wave ends at the bottom right, its crest at the top in the middle.
    const DemoDrawing wave = figure("wave");
    EXPECT_NEAR(wave.segments()[4].end().y(), 1.0, 1e-6);
    EXPECT_NEAR(wave.segments()[4].end().x(), 0.5, 1e-6);
    EXPECT_NEAR(wave.segments().back().end().x(), 1.0, 1e-6);
    EXPECT_NEAR(wave.segments().back().end().y(), 0.0, 1e-6);

    // The gaps widen with y: 0.025 y^2 on each side of the middle.
    const DemoDrawing gaps = figure("gaps");
    EXPECT_NEAR(gaps.segments()[3].end().x(), 0.5 - 0.025 * 4 / 9, 1e-6);
    EXPECT_NEAR(gaps.segments()[3].origin.y(), 2.0 / 3, 1e-6);
    EXPECT_NEAR(gaps.segments()[6].origin.x(), 0.5 + 0.025, 1e-6);
}

TEST(DemoCatalogue, ZeroLengthSegmentsPointAlongTheDiagonal) {
    DemoDrawing d;
    d.start(0.25f, 0.5f, 0.25f, 0.5f);
    d.continueTo(0.25f, 0.5f);
    for (const Segment& s : d.segments()) {
        EXPECT_EQ(s.length, 0.0f);
        EXPECT_NEAR(s.direction.x(), std::sqrt(0.5), 1e-7);
        EXPECT_NEAR(s.direction.y(), std::sqrt(0.5), 1e-7);
        EXPECT_EQ(s.end(), s.origin);
    }
    EXPECT_EQ(d.strokeCount(), 1u);
}

TEST(DemoCatalogue, AnglesAreReducedToOneTurnAroundZero) {
    const float pi = std::numbers::pi_v<float>;
    for (float a : {0.0f, 1.0f, -1.0f, 3.0f, -3.1f, 2 * pi, 4 * pi, 7.5f, -7.5f, 100.0f}) {
        const float r = ZELK::reduceAngle(a);
        EXPECT_GE(r, -pi) << a;
        EXPECT_LT(r, pi) << a;
        EXPECT_NEAR(std::cos(r), std::cos(static_cast<double>(a)), 1e-4) << a;
        EXPECT_NEAR(std::sin(r), std::sin(static_cast<double>(a)), 1e-4) << a;
    }
    EXPECT_EQ(ZELK::reduceAngle(2 * pi), 0.0f);
    EXPECT_EQ(ZELK::reduceAngle(pi), -pi);
}
