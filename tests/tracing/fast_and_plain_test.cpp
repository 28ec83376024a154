// The indexed and incremental tracing routines against plain loops on random drawings: fitting,
// seeding, pixel reassignment, neighbour connection, joining, vertex insertion, box clustering,
// clutter grouping and the two simplifications must agree exactly, also for odd settings and
// geometry.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <random>
#include <tuple>

#include "drawing_support.hpp"
#include "tracing/clutter.hpp"
#include "tracing/fit_bounds.hpp"
#include "tracing/line_tracing.hpp"
#include "tracing/polyline_connection.hpp"
#include "tracing/refinement.hpp"

using namespace ZELK;
using namespace PenvexTest;
using V2 = Vector<2, float>;
using Box = Hyperrectangle<2, float>;
using Mask = BinarySignal<2, unsigned>;

namespace {

const float NaN = std::nanf("");
const float inf = std::numeric_limits<float>::infinity();

// Lattice points, so that boxes often touch exactly and distances tie.
P2 latticePoint(std::mt19937& random, unsigned cells, float step) {
    return P2(float(random() % cells) * step, float(random() % cells) * step);
}

// 1 to `longest` references to `vertices` vertices, a quarter of the polylines closed.
std::vector<Polyline> randomPolylines(std::mt19937& random, std::size_t count, unsigned vertices,
                                      unsigned longest) {
    std::vector<Polyline> polylines(count);
    for (Polyline& p : polylines) {
        p.resize(1 + random() % longest);
        for (std::uint32_t& v : p)
            v = random() % vertices;
        if (random() % 4 == 0)
            p.push_back(p.front());
    }
    return polylines;
}

void drawLine(Mask& m, const P2& a, const P2& b) {
    const float steps = std::max({std::fabs(b.x() - a.x()), std::fabs(b.y() - a.y()), 1.0f});
    for (float i = 0; i <= steps; ++i)
        m.set(unsigned(std::lround(a.x() + (b.x() - a.x()) * i / steps)),
              unsigned(std::lround(a.y() + (b.y() - a.y()) * i / steps)));
}

// 20 to 19 + widest by 20 to 19 + highest pixels: 3 to 2 + lines random lines, and one random
// dot per `area` pixels.
Mask randomDrawing(std::mt19937& random, unsigned widest, unsigned highest, unsigned lines,
                   unsigned area) {
    const unsigned width = 20 + random() % widest, height = 20 + random() % highest;
    Mask m(Tuple<2, unsigned>(width, height));
    for (unsigned k = 3 + random() % lines; k > 0; --k)
        drawLine(m, P2(float(random() % width), float(random() % height)),
                 P2(float(random() % width), float(random() % height)));
    for (unsigned k = 0; k < width * height / area; ++k)
        m.set(random() % width, random() % height);
    return m;
}

auto contents(const LineSegment& s) {
    const float numbers[] = {s.origin.x(), s.origin.y(),       s.direction.x(),    s.direction.y(),
                             s.length,     s.plane.normal.x(), s.plane.normal.y(), s.plane.offset};
    std::array<std::uint32_t, 8> bits;
    std::memcpy(bits.data(), numbers, sizeof numbers);
    return std::tuple(s.points, s.regions, s.valid, bits);
}

void expectSameSegments(const std::vector<LineSegment>& fast,
                        const std::vector<LineSegment>& plain) {
    ASSERT_EQ(fast.size(), plain.size());
    for (std::size_t i = 0; i < fast.size(); ++i)
        ASSERT_TRUE(contents(fast[i]) == contents(plain[i])) << "segment " << i;
}

void expectSameVertices(const PolylineSet& set, const std::vector<PositionAccumulator>& plain) {
    ASSERT_EQ(set.vertexCount(), plain.size());
    for (std::size_t v = 0; v < plain.size(); ++v) {
        ASSERT_EQ(set.vertices()[v].count, plain[v].count) << "vertex " << v;
        ASSERT_EQ(std::memcmp(&set.vertices()[v].sum, &plain[v].sum, sizeof plain[v].sum), 0);
    }
}

// The fit as the rule reads: two full total least-squares passes, then the ends.
bool plainLine(const std::vector<P2>& points, const Hyperplane<2, float>* inliersOf,
               Hyperplane<2, float>& line) {
    auto taken = [&](const P2& p) {
        return !inliersOf || std::fabs(inliersOf->signedDistance(p)) < LineSegment::inlierDistance;
    };
    float sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0;
    std::uint32_t n = 0;
    for (const P2& p : points)
        if (taken(p))
            sx += p.x(), sy += p.y(), ++n;
    if (n == 0)
        return false;
    const P2 m(sx / float(n), sy / float(n));
    for (const P2& p : points)
        if (taken(p))
            sxx += (p - m).x() * (p - m).x(), sxy += (p - m).x() * (p - m).y(),
                syy += (p - m).y() * (p - m).y();
    const float h = -(sxx + syy) / 2, d = h * h - (sxx * syy - sxy * sxy);
    if (d < 0 || -h - float(std::sqrt(double(d))) >= float(std::sqrt(double(d))) - h)
        return false;
    const float l = -h - float(std::sqrt(double(d)));
    const V2 r = std::fabs(sxx - l) > std::fabs(syy - l) ? V2(sxx - l, sxy) : V2(sxy, syy - l);
    const V2 normal = V2(-r.y(), r.x()) / length(r);
    line = Hyperplane<2, float>(normal, dot(normal, m));
    return true;
}

void plainFit(LineSegment& s) {
    Hyperplane<2, float> first, line;
    s.valid = s.points.size() >= 2 && plainLine(s.points, nullptr, first) &&
              plainLine(s.points, &first, line);
    if (!s.valid)
        return;
    const P2 o = s.points[0] - line.normal * line.signedDistance(s.points[0]);
    const V2 d = V2(-line.normal.y(), line.normal.x()) / length(line.normal);
    float lo = 0, hi = 0;
    for (std::size_t i = 1; i < s.points.size(); ++i)
        lo = std::min(lo, dot(s.points[i] - o, d)), hi = std::max(hi, dot(s.points[i] - o, d));
    const P2 a = o + d * (lo - 0.5f), b = o + d * (hi + 0.5f);
    s.plane = line, s.origin = a, s.length = length(b - a), s.direction = (b - a) / s.length;
}

// Seeding as the rule reads, with the plain fit after every round of growth.
void plainSeed(Mask work, std::vector<LineSegment>& segments) {
    using Px = std::pair<unsigned, unsigned>;
    auto expand = [&](Px p, std::deque<Px>& queue) {
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy)
                if ((dx || dy) && work.get(std::int64_t(p.first) + dx, std::int64_t(p.second) + dy))
                    work.set(p.first + dx, p.second + dy, false),
                        queue.push_back(Px(p.first + dx, p.second + dy));
    };
    auto point = [](Px p) { return P2(float(p.first), float(p.second)); };
    for (unsigned y = 1; y + 1 < work.height(); ++y)
        for (unsigned x = 1; x + 1 < work.width(); ++x) {
            if (!work.get(x, y))
                continue;
            work.set(x, y, false);
            std::deque<Px> queue{Px(x, y)};
            std::vector<P2> list;
            for (; !queue.empty() && list.size() < 9; queue.pop_front())
                expand(queue.front(), queue), list.push_back(point(queue.front()));
            LineSegment s;
            if (list.size() < 5)
                continue;
            if (!seedFit(list, s)) {
                for (Px p : queue)
                    work.set(p.first, p.second);
                continue;
            }
            for (const P2& p : list)
                work.set(unsigned(p.x()), unsigned(p.y()));
            std::vector<Px> rejected;
            while (!queue.empty() && s.valid) {
                std::deque<Px> kept;
                for (Px p : queue)
                    if (std::fabs(s.plane.signedDistance(point(p))) >= 1.5f)
                        rejected.push_back(p);
                    else
                        s.points.push_back(point(p)), kept.push_back(p);
                queue = kept;
                for (std::size_t i = kept.size(); i > 0; --i, queue.pop_front())
                    expand(queue.front(), queue);
                plainFit(s);
            }
            for (Px p : rejected)
                work.set(p.first, p.second);
            if (s.valid)
                segments.push_back(s);
        }
}

// Every pixel against every segment, every round; segments with non-finite geometry are
// never nearest.
void plainReassign(const Mask& skeleton, const Signal<2, unsigned short>& labels,
                   std::vector<LineSegment>& segments, unsigned iterations, float limit) {
    auto finite = [](const LineSegment& s) {
        return std::isfinite(s.origin.x() + s.origin.y() + s.direction.x() + s.direction.y() +
                             s.length);
    };
    for (unsigned round = 1; round <= iterations; ++round) {
        for (LineSegment& s : segments)
            s.fit(), s.points.clear(), s.regions.clear();
        for (unsigned y = 0; y < skeleton.height(); ++y)
            for (unsigned x = 0; x < skeleton.width(); ++x) {
                const P2 q{float(x), float(y)};
                LineSegment* best = nullptr;
                float bestError = limit;
                for (LineSegment& s : segments)
                    if (skeleton.get(x, y) && finite(s) && assignmentError(s, q) < bestError)
                        bestError = assignmentError(s, q), best = &s;
                if (best)
                    best->points.push_back(q);
                if (best && round == iterations)
                    ++best->regions[labels(x, y)];
            }
    }
    for (LineSegment& s : segments)
        s.fit();
}

// Neighbour connection as the rule reads: every pair of a run of one dominant region, in order.
void plainConnect(std::vector<LineSegment>& segments, float snap, float reach) {
    auto sign = [](float v) { return (v > 0) - (v < 0); };
    std::stable_sort(segments.begin(), segments.end(), [](const auto& a, const auto& b) {
        return dominantRegion(a) < dominantRegion(b);
    });
    std::vector<std::uint16_t> regions; // before snapping clears any
    for (const LineSegment& s : segments)
        regions.push_back(dominantRegion(s));
    std::vector<LineSegment> bridges;
    for (std::size_t i = 0; i < segments.size(); ++i)
        for (std::size_t j = i + 1; j < segments.size(); ++j) {
            LineSegment &a = segments[i], &b = segments[j];
            const ClosestEnds c = closestEnds(a, b);
            if (regions[i] == 0 || regions[j] != regions[i] || c.distance > reach)
                continue;
            const P2 pa = c.aAtOrigin ? a.origin : a.end(), qa = c.aAtOrigin ? a.end() : a.origin;
            const P2 pb = c.bAtOrigin ? b.origin : b.end(), qb = c.bAtOrigin ? b.end() : b.origin;
            if (c.distance <= snap) {
                const P2 m = pa + (pb - pa) * 0.5f;
                a.points = {qa, m}, b.points = {m, qb};
                a.regions.clear(), b.regions.clear();
                a.fit(), b.fit();
                continue;
            }
            const V2 u = pa - qa, w = pb - pa, t = qb - pb;
            if (sign(cross(u, w)) != sign(cross(t, w)) && dot(u, w) > 0 && dot(t, w) > 0) {
                LineSegment& bridge = bridges.emplace_back();
                bridge.points = {pa, pb};
                bridge.regions[regions[i]] = 2;
                bridge.fit();
            }
        }
    segments.insert(segments.end(), bridges.begin(), bridges.end());
}

// Joining as the rule reads: after every join, start again with the next polyline.
void plainJoin(std::vector<Polyline>& polylines) {
    for (std::size_t i = 0; i < polylines.size(); ++i)
        for (std::size_t j = i + 1; j < polylines.size();) {
            Polyline &a = polylines[i], b = polylines[j];
            // Checked in the order front-front, front-back, back-front, back-back; a reversed b
            // turns the first into the second and the last into the third.
            const bool ff = a.front() == b.front(), fb = a.front() == b.back();
            const bool bf = a.back() == b.front(), bb = a.back() == b.back();
            if (ff || (!fb && !bf && bb))
                std::reverse(b.begin(), b.end());
            if (ff || fb)
                a.insert(a.begin(), b.begin(), b.end() - 1);
            else if (bf || bb)
                a.insert(a.end(), b.begin() + 1, b.end());
            else {
                ++j;
                continue;
            }
            polylines.erase(polylines.begin() + j);
            j = i + 1;
        }
}

// Insertion as first written: every vertex in index order, the first close enough takes it.
std::uint32_t plainInsert(std::vector<PositionAccumulator>& vertices, float merge, const P2& p) {
    for (std::uint32_t v = 0; v < vertices.size(); ++v)
        if (distance(vertices[v].position(), p) < merge) {
            vertices[v].add(p);
            return v;
        }
    vertices.push_back(PositionAccumulator{p, 1});
    return std::uint32_t(vertices.size() - 1);
}

// Density clustering the plain way: neighbours closer than eps (Euclidean gap, strict), two make
// a core box, noise reclaimed by a later cluster and made noise again by later noise.
std::vector<std::uint32_t> plainClusters(const std::vector<Box>& boxes, float eps) {
    auto neighbours = [&](std::size_t i) {
        std::vector<std::uint32_t> found;
        for (std::size_t j = 0; j < boxes.size(); ++j) {
            float squared = 0;
            for (int axis = 0; axis < 2; ++axis) {
                const float a = boxes[i].origin[axis], b = boxes[j].origin[axis];
                const float gap =
                    std::max({0.0f, b - (a + boxes[i].size[axis]), a - (b + boxes[j].size[axis])});
                squared += gap * gap;
            }
            if (j != i && std::sqrt(double(squared)) < double(eps))
                found.push_back(std::uint32_t(j));
        }
        return found;
    };
    std::vector<std::uint32_t> labels(boxes.size(), unvisitedLabel);
    for (std::uint32_t i = 0, cluster = 1; i < boxes.size(); ++i) {
        if (labels[i] != unvisitedLabel)
            continue;
        std::vector<std::uint32_t> seeds = neighbours(i);
        if (seeds.size() < 2) {
            labels[i] = 0;
            for (std::uint32_t j : seeds)
                labels[j] = 0;
            continue;
        }
        for (labels[i] = cluster; !seeds.empty();) {
            const std::uint32_t k = seeds.back();
            seeds.pop_back();
            const bool expand = labels[k] == unvisitedLabel;
            if (labels[k] == 0 || expand)
                labels[k] = cluster;
            const std::vector<std::uint32_t> more = expand ? neighbours(k) : seeds;
            if (expand && more.size() >= 2)
                seeds.insert(seeds.end(), more.begin(), more.end());
        }
        ++cluster;
    }
    return labels;
}

// The simplifications as first written: visit(p, i, n) looks at vertex i of the polyline as it
// stands and erases from its middle.
template <typename Visit> void plainWalk(PolylineSet& set, Visit visit) {
    for (Polyline& p : set.polylines()) {
        if (p.size() < 3)
            continue;
        const bool closed = p.front() == p.back();
        if (closed)
            p.pop_back();
        for (std::size_t i = closed ? 0 : 1;;) {
            const std::size_t n = p.size();
            if ((closed && n < 2) || (i + 1 >= n && (!closed || i >= n)))
                break;
            if (!visit(p, i, n))
                ++i;
        }
        if (closed)
            p.push_back(p.front());
    }
}

void plainMerge(PolylineSet& set, float length) {
    plainWalk(set, [&](Polyline& p, std::size_t& i, std::size_t n) {
        const std::size_t next = (i + 1) % n;
        const P2 a = set.position(p[i]);
        const V2 d = set.position(p[next]) - a;
        if (!(squaredLength(d) < length * length))
            return false;
        set.vertices().push_back(PositionAccumulator{a + d * 0.5f, 1});
        p[i] = std::uint32_t(set.vertexCount() - 1);
        p.erase(p.begin() + std::ptrdiff_t(next));
        i -= next < i ? 1 : 0;
        return true;
    });
}

void plainRemove(PolylineSet& set, float distance) {
    plainWalk(set, [&](Polyline& p, std::size_t& i, std::size_t n) {
        const P2 a = set.position(p[(i + n - 1) % n]), c = set.position(p[i]);
        const P2 b = set.position(p[(i + 1) % n]);
        const float span = length(b - a);
        const V2 u = span == 0.0f ? V2(0.70710678f, 0.70710678f) : (b - a) / span;
        const float s = dot(c - a, u);
        if (!(ZELK::distance(s >= 0.0f ? a + u * std::min(s, span) : a, c) < distance))
            return false;
        p.erase(p.begin() + std::ptrdiff_t(i));
        return true;
    });
}

} // namespace

// Seeded segments and odd ones: never fitted, non-finite, overlong, non-unit directions.
TEST(FastEqualsPlain, PixelReassignment) {
    std::mt19937 random(17);
    for (float limit : {2.5f, 2.5f, 2.5f, 0.7f, 6.0f, 0.0f, -1.0f, NaN, 3.0e4f})
        for (int repeat = 0; repeat < 4; ++repeat) {
            Mask skeleton = randomDrawing(random, 150, 120, 25, 60);
            const unsigned width = skeleton.width(), height = skeleton.height();
            drawLine(skeleton, P2(0, float(height / 3)), P2(float(width - 1), float(height / 3)));
            std::vector<LineSegment> segments;
            seedSegments(skeleton, segments);
            // Odd segments keep their given geometry. Along row height / 3 an overlong one
            // (earlier) and a gridded one (later) tie: the earlier one keeps the pixels.
            LineSegment odd, notUnit = between(P2(1, 1), P2(21, 1), 0), row = notUnit;
            odd.origin = P2(NaN, 3);
            notUnit.direction = V2(3, 0.5f);
            row.origin = P2(0, float(height / 3));
            row.length = 1.0e7f;
            segments.insert(segments.begin() + segments.size() / 2, odd);
            segments.insert(segments.begin(), {row, notUnit});
            row.length = float(width);
            odd = between(P2(1, 1), P2(1.6f, 1.8f), 0);
            odd.length = 1.0e7f; // overlong: a candidate everywhere
            segments.insert(segments.end(), {odd, row, LineSegment()}); // never fitted: a point
            odd.origin = P2(float(width / 2), float(height / 2));
            odd.direction = V2(inf, 0);
            segments.push_back(odd);

            Signal<2, unsigned short> labels;
            labelSkeletonRegions(skeleton, labels);
            for (unsigned iterations : {0u, 1u, 2u, 4u}) {
                std::vector<LineSegment> fast = segments, plain = segments;
                reassignPixels(skeleton, labels, fast, iterations, limit);
                plainReassign(skeleton, labels, plain, iterations, limit);
                ASSERT_NO_FATAL_FAILURE(expectSameSegments(fast, plain))
                    << "limit " << limit << " iterations " << iterations;
            }
        }
}

// Point lists along a line of any angle (a third of them long and within a few hundredths of a
// radian of an axis), with scatter and a few strays (so that the refit on inliers sometimes
// differs from the first fit), and degenerate lists, grown a few points at a time: the fit from
// running sums, with and without ends, against the plain fit; and wherever bounds are found,
// the plain fit's line lies within them and the side they tell is the side it puts a point on.
// Then seeding on random drawings with long lines across them.
TEST(FastEqualsPlain, FittingAndSeeding) {
    std::mt19937 random(23);
    unsigned bounded = 0;
    for (int repeat = 0; repeat < 300; ++repeat) {
        const bool long_ = repeat % 3 == 0;
        const float angle = long_ ? float(random() % 4) * 1.5708f + float(random() % 41) / 1000
                                  : float(random() % 628) / 100;
        const float scatter = float(random() % 40) / 10;
        const P2 at(float(random() % 3000), float(random() % 3000));
        LineSegment grown;
        PointMoments moments;
        for (unsigned i = 0, n = long_ ? 400 + random() % 1200 : random() % 60; i < n;) {
            for (unsigned k = long_ ? 1 + random() % 40 : 1; k > 0 && i < n; --k, ++i) {
                const float t = float(random() % (long_ ? n : 200)) - float(long_ ? n / 2 : 100);
                // A long line keeps within a pixel of its course, without strays.
                const float off = long_ ? float(int(random() % 5) / 2 - 1)
                                        : scatter * float(int(random() % 21) - 10);
                const bool stray = !long_ && random() % 9 == 0;
                grown.points.push_back(
                    repeat % 7 == 1 ? P2(3, 4)
                    : stray         ? latticePoint(random, 50, 4)
                            : at + V2(std::round(std::cos(angle) * t - std::sin(angle) * off),
                                      std::round(std::sin(angle) * t + std::cos(angle) * off)));
            }
            LineSegment plain = grown, whole = grown;
            plainFit(plain);
            whole.fit();
            ASSERT_TRUE(contents(whole) == contents(plain)) << repeat << " " << i;
            const bool ends = random() % 2;
            moments.update(grown.points);
            fitWithSums(grown, moments.sumX, moments.sumY, ends);
            ASSERT_EQ(grown.valid, plain.valid);
            if (ends || !plain.valid)
                ASSERT_TRUE(contents(grown) == contents(whole)) << repeat << " " << i;
            else
                ASSERT_EQ(std::memcmp(&grown.plane, &plain.plane, sizeof plain.plane), 0);

            FitBounds b;
            if (!boundFit(grown.points, moments, b))
                continue;
            ++bounded;
            const Hyperplane<2, float>& line = plain.plane;
            ASSERT_TRUE(plain.valid);
            ASSERT_TRUE(b.nx.lo <= line.normal.x() && line.normal.x() <= b.nx.hi);
            ASSERT_TRUE(b.ny.lo <= line.normal.y() && line.normal.y() <= b.ny.hi);
            ASSERT_TRUE(b.c.lo <= line.offset && line.offset <= b.c.hi) << repeat << " " << i;
            for (const P2& p : grown.points)
                ASSERT_LT(std::fabs(line.signedDistance(p)), LineSegment::inlierDistance);
            for (int k = 0; k < 30; ++k) {
                const P2 q = grown.points[random() % grown.points.size()] +
                             V2(float(int(random() % 7) - 3), float(int(random() % 7) - 3));
                const int side = sideOf(b, q, 1.5f);
                if (side != 0) {
                    ASSERT_EQ(side > 0, std::fabs(line.signedDistance(q)) >= 1.5f);
                }
            }
        }
    }
    EXPECT_GT(bounded, 2000u); // the checks on bounds ran
    for (int repeat = 0; repeat < 12; ++repeat) {
        Mask skeleton = randomDrawing(random, 500, 400, 30, 80);
        const unsigned width = skeleton.width(), height = skeleton.height();
        for (unsigned k = random() % 6; k > 0; --k) {
            const unsigned x = random() % (width - 8), y = random() % (height - 8);
            drawLine(skeleton, P2(float(x), 1), P2(float(x + random() % 8), float(height - 2)));
            drawLine(skeleton, P2(1, float(y)), P2(float(width - 2), float(y + random() % 8)));
        }
        std::vector<LineSegment> fast, plain;
        seedSegments(skeleton, fast);
        plainSeed(skeleton, plain);
        ASSERT_NO_FATAL_FAILURE(expectSameSegments(fast, plain)) << repeat;
    }
}

// Many segments of few regions with crowded ends, so that snaps move ends that later pairs
// look at, for the default and unusual distances.
TEST(FastEqualsPlain, NeighbourConnection) {
    const float settings[][2] = {{2, 5},  {2, 5},   {1, 3},   {4, 8},   {2, 2}, {2, 0},
                                 {2, -1}, {NaN, 5}, {2, NaN}, {2, inf}, {0, 40}};
    std::mt19937 random(3);
    std::uniform_real_distribution<float> jitter(-2.5f, 2.5f);
    for (const auto& setting : settings)
        for (int repeat = 0; repeat < 3; ++repeat) {
            std::vector<P2> joints;
            for (int k = 0; k < 40; ++k)
                joints.push_back(latticePoint(random, 240, 0.25f));
            auto near = [&] { return joints[random() % 40] + V2(jitter(random), jitter(random)); };
            std::vector<LineSegment> segments;
            for (int k = 60 + int(random() % 200); k > 0; --k) {
                const P2 a = near(), b = near();
                const std::uint16_t region = random() % 10 == 0 ? 0 : 1 + random() % 3;
                if (distance(a, b) >= 0.5f)
                    segments.push_back(between(a, b, region, 1 + random() % 4));
            }
            if (repeat == 2) { // non-finite ends never come near anything
                segments.push_back(between(P2(3, 3), P2(8, 3), 1));
                segments.back().origin = P2(NaN, 3);
            }
            std::vector<LineSegment> fast = segments, plain = segments;
            connectNeighbours(fast, setting[0], setting[1]);
            plainConnect(plain, setting[0], setting[1]);
            ASSERT_NO_FATAL_FAILURE(expectSameSegments(fast, plain))
                << "snap " << setting[0] << " reach " << setting[1];
        }
}

TEST(FastEqualsPlain, Joining) {
    std::mt19937 random(11);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<Polyline> fast = randomPolylines(random, random() % 300, 3 + random() % 60, 4);
        std::vector<Polyline> plain = fast;
        joinPolylines(fast);
        plainJoin(plain);
        ASSERT_EQ(fast, plain) << "trial " << trial;
    }
}

// Also where vertices drift across cells as they average, where a stage's own edits move
// them, after a clean-up and a bake moved them, and for merge distances the grid cannot serve.
TEST(FastEqualsPlain, VertexInsertion) {
    std::mt19937 random(1234);
    for (float merge : {2.0f, 0.7f, 5.0f, 0.0f, -1.0f, NaN, inf, 3.0e6f})
        for (int round = 0; round < 7; ++round) {
            SCOPED_TRACE(::testing::Message() << "merge " << merge << " round " << round);
            PolylineSet set(merge);
            std::uniform_real_distribution<float> span(-30.0f, 30.0f + 40.0f * round),
                jitter(-3, 3);
            if (round == 6) {
                for (int i = 0; i < 500; ++i)
                    set.addSegment(P2(span(random), span(random)), P2(span(random), span(random)));
                for (std::size_t i = set.polylines().size(); i-- > 0;)
                    if (i % 3 == 0) // so that the clean-up has vertices to move
                        set.polylines().erase(set.polylines().begin() + i);
                set.cleanUp();
                set.setTransformation(
                    std::make_unique<Transformation<2, float>::Translation>(V2(-50, 7)));
                set.bakeTransformation();
            }
            std::vector<PositionAccumulator> plain = set.vertices();
            std::vector<P2> recent;
            for (int step = 0; step < 3000; ++step) {
                P2 p(span(random), span(random));
                const unsigned kind = random() % 20;
                if (kind < 8 && !recent.empty()) // near an earlier point: merges and drifts
                    p = recent[random() % recent.size()] + V2(jitter(random), jitter(random));
                else if (kind == 8)
                    p = latticePoint(random, 9, 1.0f); // exactly on cell borders
                else if (kind == 9 && round == 5)
                    p = P2(random() % 2 ? inf : NaN, 1.0f);
                else if (kind == 10 && round == 4)
                    p = P2(1.0e30f, -1.0e30f); // far outside any image
                recent.push_back(p);
                ASSERT_EQ(set.insertVertex(p), plainInsert(plain, merge, p));
                for (std::size_t v = 0; step % 700 == 699 && v < plain.size(); v += 7) {
                    set.vertices()[v].sum += V2(5.0f, 0.0f); // a stage's own edit
                    plain[v].sum += V2(5.0f, 0.0f);
                }
            }
            expectSameVertices(set, plain);
        }
}

// Boxes on a coarse lattice, so that exact touching is common, enough for the grid search; some
// far larger than the rest, and every third drawing moved off the lattice and far from 0.
TEST(FastEqualsPlain, BoxClustering) {
    std::mt19937 random(5);
    for (int round = 0; round < 60; ++round) {
        std::vector<Box> boxes;
        for (unsigned b = 64 + random() % 200; b > 0; --b) {
            const float scale = random() % 10 == 0 ? 20.0f : 5.0f;
            P2 corner = latticePoint(random, 60, 5.0f);
            if (round % 3 == 0)
                corner = P2(corner.x() * 1.37f + 12345.6f, corner.y() * 0.91f - 7777.7f);
            boxes.push_back(Box(
                corner, Tuple<2, float>(float(random() % 4) * scale, float(random() % 4) * scale)));
        }
        if (round % 5 == 0)
            boxes.push_back(Box(P2(-1000, 0), Tuple<2, float>(3000, 1))); // one very wide box
        const float eps = float(random() % 4) * 5.0f + (round % 2 ? 0.5f : 0.0f);
        ASSERT_EQ(clusterBoxes(boxes, eps), plainClusters(boxes, eps)) << "round " << round;
    }
}

// The plain grouping: the clusters in order, noise of three vertices or more alone, the rest
// together; each group copies every vertex and is cleaned up (groupClutter copies only its own).
TEST(FastEqualsPlain, ClutterGrouping) {
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        std::vector<P2> points(2 + random() % 40);
        for (P2& p : points)
            p = latticePoint(random, 300, 1.0f);
        const std::vector<Polyline> polylines =
            randomPolylines(random, 1 + random() % 12, unsigned(points.size()), 5);
        const PolylineSet drawing = makeSet(points, polylines);
        std::vector<Box> boxes;
        for (const Polyline& polyline : polylines)
            boxes.push_back(drawing.boundingBox(polyline));
        const float distance = float(random() % 120);
        const std::vector<std::uint32_t> labels = clusterBoxes(boxes, distance);
        std::vector<std::vector<Polyline>> expected(
            *std::max_element(labels.begin(), labels.end()));
        std::vector<Polyline> shortNoise;
        for (std::size_t p = 0; p < polylines.size(); ++p)
            if (labels[p] != 0)
                expected[labels[p] - 1].push_back(polylines[p]);
        for (std::size_t p = 0; p < polylines.size(); ++p)
            if (labels[p] == 0 && polylines[p].size() >= 3)
                expected.push_back({polylines[p]});
            else if (labels[p] == 0)
                shortNoise.push_back(polylines[p]);
        expected.push_back(shortNoise);

        const std::vector<PolylineSet> groups = groupClutter(drawing, distance);
        ASSERT_EQ(groups.size(), expected.size());
        for (std::size_t g = 0; g < groups.size(); ++g) {
            PolylineSet plain = makeSet(points, expected[g]);
            plain.cleanUp();
            ASSERT_EQ(groups[g].polylines(), plain.polylines()) << "round " << round;
            expectSameVertices(groups[g], plain.vertices());
        }
    }
}

// Long polylines over few lattice points, so that runs of short edges and of vertices on a line
// are common, also across the closing vertex; thresholds from none to everything.
TEST(FastEqualsPlain, Simplifications) {
    std::mt19937 random(17);
    for (int round = 0; round < 400; ++round) {
        std::vector<P2> points(2 + random() % 30);
        for (P2& p : points)
            p = latticePoint(random, 12, 1.5f);
        const PolylineSet drawing =
            makeSet(points, randomPolylines(random, 1 + random() % 6, unsigned(points.size()), 40));
        const float threshold = float(random() % 24) * 0.5f;
        PolylineSet fast = drawing, plain = drawing;
        if (round % 2) {
            mergeShortEdges(fast, threshold);
            plainMerge(plain, threshold);
        } else {
            removeRedundantVertices(fast, threshold);
            plainRemove(plain, threshold);
        }
        ASSERT_EQ(fast.polylines(), plain.polylines()) << "round " << round;
        expectSameVertices(fast, plain.vertices());
    }
}
