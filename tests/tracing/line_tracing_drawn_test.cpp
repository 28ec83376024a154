// From drawn images to the lines set: fixtures drawn by ImageMagick (tests/data/tracing), run
// through segmentation, closing, opening, thinning, tracing and connection, and judged against
// the geometry they were drawn with.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "migration/image.hpp"
#include "strokes/line_thresholds.hpp"
#include "strokes/mask_cleaning.hpp"
#include "strokes/thinning.hpp"
#include "support/run_binary.hpp"
#include "tracing/line_tracing.hpp"
#include "tracing/polyline_connection.hpp"

using namespace ZELK;
using P2 = Point<2, float>;

namespace {

// How close the traced lines must come to the drawing: a couple of pixels.
constexpr float tolerance = 2.0f;

struct Drawing {
    Signal<2, short> grey;
    std::vector<std::vector<P2>> strokes; // each drawn stroke, densely sampled, our frame
};

// Samples the strokes listed in NAME.strokes (ImageMagick's frame, y downward) every quarter
// pixel or closer, and turns them into image coordinates (row 0 at the bottom).
std::vector<std::vector<P2>> readStrokes(const std::string& path, unsigned height) {
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << path;
    std::vector<std::vector<P2>> strokes;
    const float flip = float(height - 1);
    auto ours = [&](double x, double y) { return P2(float(x), flip - float(y)); };
    auto segment = [&](std::vector<P2>& out, double x0, double y0, double x1, double y1) {
        const int n = std::max(1, int(std::ceil(std::hypot(x1 - x0, y1 - y0) * 4)));
        for (int i = 0; i <= n; ++i)
            out.push_back(ours(x0 + (x1 - x0) * i / n, y0 + (y1 - y0) * i / n));
    };
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        std::vector<double> v;
        for (double value; fields >> value;)
            v.push_back(value);
        std::vector<P2> stroke;
        if (kind == "line") {
            segment(stroke, v[0], v[1], v[2], v[3]);
        } else if (kind == "rectangle") {
            segment(stroke, v[0], v[1], v[2], v[1]);
            segment(stroke, v[2], v[1], v[2], v[3]);
            segment(stroke, v[2], v[3], v[0], v[3]);
            segment(stroke, v[0], v[3], v[0], v[1]);
        } else if (kind == "bezier") {
            for (int i = 0; i <= 4000; ++i) {
                const double t = i / 4000.0, u = 1 - t;
                const double b[4] = {u * u * u, 3 * u * u * t, 3 * u * t * t, t * t * t};
                stroke.push_back(ours(b[0] * v[0] + b[1] * v[2] + b[2] * v[4] + b[3] * v[6],
                                      b[0] * v[1] + b[1] * v[3] + b[2] * v[5] + b[3] * v[7]));
            }
        } else if (kind == "circle" || kind == "ellipse") {
            const double rx = v[2], ry = kind == "circle" ? v[2] : v[3];
            const double a0 = kind == "circle" ? 0 : v[4], a1 = kind == "circle" ? 360 : v[5];
            for (int i = 0; i <= 4000; ++i) {
                const double a = (a0 + (a1 - a0) * i / 4000.0) * M_PI / 180.0;
                stroke.push_back(ours(v[0] + rx * std::cos(a), v[1] + ry * std::sin(a)));
            }
        } else {
            ADD_FAILURE() << "unknown stroke " << kind;
        }
        strokes.push_back(stroke);
    }
    return strokes;
}

Drawing load(const std::string& name) {
    Drawing d;
    IncrementalBuffer buffer;
    Migration::ImageMetadata meta;
    Migration::importImage(buffer, meta, PenvexTest::dataPath("tracing/" + name + ".pgm").string());
    const Migration::ImageLayout layout(meta);
    d.grey.resize(Tuple<2, unsigned>(meta.width, meta.height));
    for (unsigned y = 0; y < meta.height; ++y)
        for (unsigned x = 0; x < meta.width; ++x)
            d.grey(x, y) = buffer.data()[std::size_t(y) * layout.bytesPerLine + x];
    d.strokes =
        readStrokes(PenvexTest::dataPath("tracing/" + name + ".strokes").string(), meta.height);
    return d;
}

// The extraction steps with their default settings, from the grey image (dark strokes on
// white: the strokes are the smaller class, on the dark side) to the lines set.
PolylineSet extract(const Signal<2, short>& grey) {
    LineThresholds range;
    EXPECT_TRUE(findThresholds(grey, range, nullptr, VS::Context()));
    BinarySignal<2, unsigned> mask, work, skeleton;
    segment(mask, grey, range);
    float share = 0;
    EXPECT_TRUE(segmentedShareAcceptable(mask, share));
    closeMask(mask, work, 1);
    openMask(mask, work, 1);
    EXPECT_TRUE(thin(mask, work, skeleton, 20));
    std::vector<LineSegment> segments;
    seedSegments(skeleton, segments);
    Signal<2, unsigned short> labels;
    labelSkeletonRegions(skeleton, labels);
    reassignPixels(skeleton, labels, segments, 3);
    connectNeighbours(segments, 2.0f, 5.0f);
    PolylineSet lines;
    addSegmentPolylines(lines, segments);
    joinPolylines(lines.polylines());
    lines.cleanUp();
    return lines;
}

float distanceToSegment(const P2& p, const P2& a, const P2& b) {
    const Vector<2, float> ab = b - a;
    const float span = dot(ab, ab);
    const float t = span > 0 ? std::clamp(dot(p - a, ab) / span, 0.0f, 1.0f) : 0.0f;
    return distance(p, a + ab * t);
}

float distanceToLines(const P2& p, const PolylineSet& lines) {
    float best = INFINITY;
    for (const Polyline& polyline : lines.polylines())
        for (std::size_t i = 0; i + 1 < polyline.size(); ++i)
            best = std::min(best, distanceToSegment(p, lines.position(polyline[i]),
                                                    lines.position(polyline[i + 1])));
    return best;
}

float distanceToStrokes(const P2& p, const Drawing& d) {
    float best = INFINITY;
    for (const auto& stroke : d.strokes)
        for (const P2& q : stroke)
            best = std::min(best, distance(p, q));
    return best;
}

// Every drawn stroke covered, and nothing traced away from the strokes: neither a vertex nor
// any point along an edge of a polyline.
void expectFaithful(const Drawing& d, const PolylineSet& lines) {
    ASSERT_GT(lines.polylines().size(), 0u);
    float worstCover = 0;
    for (const auto& stroke : d.strokes)
        for (const P2& p : stroke)
            worstCover = std::max(worstCover, distanceToLines(p, lines));
    EXPECT_LE(worstCover, tolerance);

    float worstVertex = 0, worstEdge = 0;
    for (std::uint32_t v = 0; v < lines.vertexCount(); ++v)
        worstVertex = std::max(worstVertex, distanceToStrokes(lines.position(v), d));
    for (const Polyline& polyline : lines.polylines())
        for (std::size_t i = 0; i + 1 < polyline.size(); ++i) {
            const P2 a = lines.position(polyline[i]), b = lines.position(polyline[i + 1]);
            for (int k = 1; k < 8; ++k)
                worstEdge = std::max(worstEdge, distanceToStrokes(a + (b - a) * (k / 8.0f), d));
        }
    EXPECT_LE(worstVertex, tolerance);
    EXPECT_LE(worstEdge, tolerance);
    ::testing::Test::RecordProperty("worst_cover", std::to_string(worstCover));
    ::testing::Test::RecordProperty("worst_vertex", std::to_string(worstVertex));
}

bool closed(const Polyline& p) {
    return p.size() > 2 && p.front() == p.back();
}

} // namespace

TEST(LineTracingDrawn, RectangleClosesIntoOnePolygon) {
    const Drawing d = load("rectangle");
    const PolylineSet lines = extract(d.grey);
    expectFaithful(d, lines);
    ASSERT_EQ(lines.polylines().size(), 1u);
    const Polyline& polygon = lines.polylines()[0];
    EXPECT_TRUE(closed(polygon));
    // A vertex at each drawn corner (30, 25), (170, 25), (170, 125), (30, 125).
    for (const P2 corner :
         {P2(30, 149 - 25), P2(170, 149 - 25), P2(170, 149 - 125), P2(30, 149 - 125)}) {
        float nearest = INFINITY;
        for (std::uint32_t v : polygon)
            nearest = std::min(nearest, distance(lines.position(v), corner));
        EXPECT_LE(nearest, tolerance) << corner.x() << ", " << corner.y();
    }
}

TEST(LineTracingDrawn, CrossKeepsFourArms) {
    const Drawing d = load("cross");
    const PolylineSet lines = extract(d.grey);
    expectFaithful(d, lines);
    // Each arm's far end is the end of some polyline.
    for (const P2 tip : {P2(20, 74), P2(180, 74), P2(100, 149 - 15), P2(100, 149 - 135)}) {
        float nearest = INFINITY;
        for (const Polyline& p : lines.polylines())
            for (std::uint32_t v : {p.front(), p.back()})
                nearest = std::min(nearest, distance(lines.position(v), tip));
        EXPECT_LE(nearest, tolerance) << tip.x() << ", " << tip.y();
    }
}

TEST(LineTracingDrawn, CurvesBecomeChainsOfShortEdges) {
    const Drawing d = load("curves");
    const PolylineSet lines = extract(d.grey);
    expectFaithful(d, lines);
    // The circle closes on itself; the open curves stay open.
    unsigned closedCount = 0;
    for (const Polyline& p : lines.polylines())
        closedCount += closed(p);
    EXPECT_EQ(closedCount, 1u);
    EXPECT_EQ(lines.polylines().size(), 3u);
}
