// From drawn images to the lines set: fixtures drawn by ImageMagick (tests/data/tracing), run
// through segmentation, closing, opening, thinning, tracing and connection, and judged against
// the geometry they were drawn with.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>

#include "strokes/line_thresholds.hpp"
#include "strokes/mask_cleaning.hpp"
#include "strokes/thinning.hpp"
#include "support/fixtures.hpp"
#include "support/run_binary.hpp"
#include "tracing/line_tracing.hpp"
#include "tracing/polyline_connection.hpp"

using namespace ZELK;
using P2 = Point<2, float>;

namespace {

constexpr float tolerance = 2.0f; // pixels

struct Drawing {
    PolylineSet lines;
    std::vector<P2> strokes; // every drawn stroke, sampled densely, row 0 at the bottom
};

// The strokes listed in NAME.strokes (y downward) at 4000 points each, and the lines the
// extraction steps with their default settings find in NAME.pgm (dark strokes on white).
Drawing extract(const std::string& name) {
    const Signal<2, unsigned char> picture = PenvexTest::greyFixture("tracing/" + name + ".pgm");
    Signal<2, short> grey(picture.sizes());
    std::copy_n(picture.data(), picture.count(), grey.data());

    Drawing d;
    std::ifstream in(PenvexTest::dataPath("tracing/" + name + ".strokes"));
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string kind;
        double v[8] = {};
        fields >> kind >> v[0] >> v[1] >> v[2] >> v[3] >> v[4] >> v[5] >> v[6] >> v[7];
        const double rect[5][2] = {
            {v[0], v[1]}, {v[2], v[1]}, {v[2], v[3]}, {v[0], v[3]}, {v[0], v[1]}};
        for (int i = 0; i <= 4000 && !kind.empty() && kind[0] != '#'; ++i) {
            const double t = i / 4000.0, u = 1 - t, s = std::min(4 * t, 3.999999), f = s - int(s);
            const double a = kind == "circle" ? 2 * std::numbers::pi * t
                                              : (v[4] + (v[5] - v[4]) * t) * std::numbers::pi / 180;
            double x = v[0] + (v[2] - v[0]) * t, y = v[1] + (v[3] - v[1]) * t; // a line
            if (kind == "rectangle")
                x = rect[int(s)][0] * (1 - f) + rect[int(s) + 1][0] * f,
                y = rect[int(s)][1] * (1 - f) + rect[int(s) + 1][1] * f;
            else if (kind == "bezier")
                x = u * u * u * v[0] + 3 * u * u * t * v[2] + 3 * u * t * t * v[4] +
                    t * t * t * v[6],
                y = u * u * u * v[1] + 3 * u * u * t * v[3] + 3 * u * t * t * v[5] +
                    t * t * t * v[7];
            else if (kind == "circle" || kind == "ellipse")
                x = v[0] + v[2] * std::cos(a),
                y = v[1] + (kind == "circle" ? v[2] : v[3]) * std::sin(a);
            d.strokes.push_back(P2(float(x), float(picture.height() - 1) - float(y)));
        }
    }

    LineThresholds range;
    EXPECT_TRUE(findThresholds(grey, range, nullptr, VS::Context()));
    BinarySignal<2, unsigned> mask, work, skeleton;
    segment(mask, grey, range);
    closeMask(mask, work, 1);
    openMask(mask, work, 1);
    EXPECT_TRUE(thin(mask, work, skeleton, 20));
    std::vector<LineSegment> segments;
    seedSegments(skeleton, segments);
    Signal<2, unsigned short> labels;
    labelSkeletonRegions(skeleton, labels);
    reassignPixels(skeleton, labels, segments, 3);
    connectNeighbours(segments, 2.0f, 5.0f);
    addSegmentPolylines(d.lines, segments);
    joinPolylines(d.lines.polylines());
    d.lines.cleanUp();
    return d;
}

// The farthest any point of `from` lies from its nearest point of `to`.
float worstDistance(const std::vector<P2>& from, const std::vector<P2>& to) {
    float worst = 0;
    for (const P2& p : from) {
        float best = INFINITY;
        for (const P2& q : to)
            best = std::min(best, distance(p, q));
        worst = std::max(worst, best);
    }
    return worst;
}

// Every drawn stroke covered, and nothing traced away from the strokes: neither a vertex nor
// any point along an edge of a polyline (sampled four times per pixel).
void expectFaithful(const Drawing& d) {
    ASSERT_GT(d.lines.polylines().size(), 0u);
    std::vector<P2> traced;
    for (const Polyline& polyline : d.lines.polylines())
        for (std::size_t i = 0; i + 1 < polyline.size(); ++i) {
            const P2 a = d.lines.position(polyline[i]), b = d.lines.position(polyline[i + 1]);
            const int steps = 1 + int(4 * distance(a, b));
            for (int k = 0; k <= steps; ++k)
                traced.push_back(a + (b - a) * (float(k) / float(steps)));
        }
    EXPECT_LE(worstDistance(d.strokes, traced), tolerance);
    EXPECT_LE(worstDistance(traced, d.strokes), tolerance);
}

} // namespace

TEST(LineTracingDrawn, FixturesAreTracedFaithfully) {
    // The rectangle closes into one polygon with a vertex at each corner; the cross keeps four
    // arms, each ending at its tip; the circle of the curves closes on itself, the open curves
    // stay open. A count of -1 is not checked.
    const struct {
        const char* name;
        int polylines, closed;
        std::vector<P2> vertices;
        bool endsOnly;
    } cases[] = {
        {"rectangle", 1, 1, {P2(30, 124), P2(170, 124), P2(170, 24), P2(30, 24)}, false},
        {"cross", -1, -1, {P2(20, 74), P2(180, 74), P2(100, 134), P2(100, 14)}, true},
        {"curves", 3, 1, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Drawing d = extract(c.name);
        expectFaithful(d);
        const std::vector<Polyline>& polylines = d.lines.polylines();
        if (c.polylines >= 0) {
            EXPECT_EQ(int(polylines.size()), c.polylines);
            EXPECT_EQ(std::count_if(
                          polylines.begin(), polylines.end(),
                          [](const Polyline& p) { return p.size() > 2 && p.front() == p.back(); }),
                      c.closed);
        }
        std::vector<P2> vertices; // every vertex, or only the polylines' ends
        for (const Polyline& p : polylines)
            for (std::size_t i = 0; i < p.size(); ++i)
                if (!c.endsOnly || i == 0 || i + 1 == p.size())
                    vertices.push_back(d.lines.position(p[i]));
        for (const P2& p : c.vertices)
            EXPECT_LE(worstDistance({p}, vertices), tolerance) << p.x() << ", " << p.y();
    }
}
