#include "tracing/polyline_connection.hpp"

#include <algorithm>
#include <cmath>
#include <deque>
#include <numeric>

#include "tracing/point_grid.hpp"

namespace ZELK {

namespace {

using P2 = Point<2, float>;
using V2 = Vector<2, float>;

int sign(float value) {
    return (value > 0.0f) - (value < 0.0f);
}

// Applies the snap or bridge rule to one pair of one run. Returns true when the pair was
// snapped, which moves the ends of both segments.
bool connectPair(LineSegment& a, LineSegment& b, std::uint16_t region, float snapDistance,
                 float segmentDistance, std::vector<LineSegment>& bridges) {
    const ClosestEnds closest = closestEnds(a, b);
    if (closest.distance > segmentDistance)
        return false;
    const P2 pa = closest.aAtOrigin ? a.origin : a.end();
    const P2 qa = closest.aAtOrigin ? a.end() : a.origin;
    const P2 pb = closest.bAtOrigin ? b.origin : b.end();
    const P2 qb = closest.bAtOrigin ? b.end() : b.origin;

    if (closest.distance <= snapDistance) {
        const P2 middle = pa + (pb - pa) * 0.5f;
        a.points = {qa, middle};
        a.regions.clear();
        a.fit();
        b.points = {middle, qb};
        b.regions.clear();
        b.fit();
        return true;
    }
    // Bridge only when both segments head into the gap and turn towards each other across it
    // (their directions lie on opposite sides of the gap vector).
    const V2 u = pa - qa, w = pb - pa, t = qb - pb;
    if (sign(cross(u, w)) != sign(cross(t, w)) && dot(u, w) > 0.0f && dot(t, w) > 0.0f) {
        LineSegment bridge;
        bridge.points = {pa, pb};
        bridge.regions[region] = 2;
        bridge.fit();
        bridges.push_back(std::move(bridge));
    }
    return false;
}

// Every pair of the run, in order.
void connectRunPlain(std::vector<LineSegment>& segments, std::size_t begin, std::size_t end,
                     std::uint16_t region, float snapDistance, float segmentDistance,
                     std::vector<LineSegment>& bridges) {
    for (std::size_t i = begin; i < end; ++i)
        for (std::size_t j = i + 1; j < end; ++j)
            connectPair(segments[i], segments[j], region, snapDistance, segmentDistance, bridges);
}

// The same visits, skipping the pairs whose ends are out of reach (they change nothing): the
// ends of the run's segments sit in a grid that follows every snap, and the partners of A are
// taken in order from those with an end near one of A's ends.
void connectRunIndexed(std::vector<LineSegment>& segments, std::size_t begin, std::size_t end,
                       std::uint16_t region, float snapDistance, float segmentDistance,
                       std::vector<LineSegment>& bridges) {
    // Slack over the exact distance test for rounding in single precision.
    const double reach = double(segmentDistance) * 1.001 + 1e-3;
    PointGrid ends(std::max(reach, 1.0));
    for (std::size_t i = begin; i < end; ++i) {
        ends.insert(std::uint32_t(i), segments[i].origin);
        ends.insert(std::uint32_t(i), segments[i].end());
    }

    std::vector<std::uint32_t> near;
    for (std::size_t i = begin; i < end; ++i) {
        LineSegment& a = segments[i];
        std::size_t after = i; // partners beyond this index are still to be visited
        bool requery = true;
        std::size_t next = 0;
        while (true) {
            if (requery) {
                near.clear();
                auto collect = [&](std::uint32_t id) {
                    if (id > after)
                        near.push_back(id);
                };
                ends.forNear(a.origin, reach, collect);
                ends.forNear(a.end(), reach, collect);
                std::sort(near.begin(), near.end());
                near.erase(std::unique(near.begin(), near.end()), near.end());
                next = 0;
                requery = false;
            }
            if (next == near.size())
                break;
            const std::size_t j = near[next++];
            after = j;
            LineSegment& b = segments[j];
            const P2 aOrigin = a.origin, aEnd = a.end(), bOrigin = b.origin, bEnd = b.end();
            if (connectPair(a, b, region, snapDistance, segmentDistance, bridges)) {
                ends.move(std::uint32_t(i), aOrigin, a.origin);
                ends.move(std::uint32_t(i), aEnd, a.end());
                ends.move(std::uint32_t(j), bOrigin, b.origin);
                ends.move(std::uint32_t(j), bEnd, b.end());
                requery = true; // A's ends moved: its remaining partners may differ
            }
        }
    }
}

} // namespace

ClosestEnds closestEnds(const LineSegment& a, const LineSegment& b) {
    const P2 a0 = a.origin, a1 = a.end(), b0 = b.origin, b1 = b.end();
    ClosestEnds best{distance(b0, a0), true, true};
    auto consider = [&](const P2& pa, const P2& pb, bool aAtOrigin, bool bAtOrigin) {
        const float d = distance(pb, pa);
        if (d < best.distance)
            best = ClosestEnds{d, aAtOrigin, bAtOrigin};
    };
    consider(a0, b1, true, false);
    consider(a1, b0, false, true);
    consider(a1, b1, false, false);
    return best;
}

std::uint16_t dominantRegion(const LineSegment& segment) {
    std::uint16_t best = 0;
    std::uint32_t bestCount = 0;
    bool first = true;
    // The map runs in increasing label order, so a strictly larger count is needed to
    // replace a smaller label.
    for (const auto& [label, count] : segment.regions)
        if (first || count > bestCount) {
            best = label;
            bestCount = count;
            first = false;
        }
    return best;
}

void connectNeighbours(std::vector<LineSegment>& segments, float snapDistance,
                       float segmentDistance) {
    // Runs this short cost less by looking at every pair than by building a grid.
    constexpr std::size_t smallRun = 16;

    std::vector<std::uint16_t> region(segments.size());
    for (std::size_t i = 0; i < segments.size(); ++i)
        region[i] = dominantRegion(segments[i]);
    std::vector<std::size_t> order(segments.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return region[a] < region[b]; });
    std::vector<LineSegment> sorted;
    sorted.reserve(segments.size() + segments.size() / 4);
    std::vector<std::uint16_t> sortedRegion;
    sortedRegion.reserve(segments.size());
    for (std::size_t i : order) {
        sorted.push_back(std::move(segments[i]));
        sortedRegion.push_back(region[i]);
    }
    segments = std::move(sorted);

    // The distance test cannot reject pairs at a NaN or infinite segment distance, and none
    // does anything at a negative one.
    const bool indexable = std::isfinite(segmentDistance);
    std::vector<LineSegment> bridges;
    for (std::size_t begin = 0; begin < segments.size();) {
        std::size_t end = begin + 1;
        while (end < segments.size() && sortedRegion[end] == sortedRegion[begin])
            ++end;
        const std::uint16_t run = sortedRegion[begin];
        if (run != 0) {
            if (indexable && end - begin > smallRun)
                connectRunIndexed(segments, begin, end, run, snapDistance, segmentDistance,
                                  bridges);
            else
                connectRunPlain(segments, begin, end, run, snapDistance, segmentDistance, bridges);
        }
        begin = end;
    }
    for (LineSegment& bridge : bridges)
        segments.push_back(std::move(bridge));
}

void addSegmentPolylines(PolylineSet& set, const std::vector<LineSegment>& segments) {
    for (const LineSegment& s : segments)
        set.addSegment(s.origin, s.end());
}

void joinPolylines(std::vector<Polyline>& polylines) {
    const std::size_t count = polylines.size();
    std::uint32_t vertexBound = 0;
    for (const Polyline& p : polylines)
        if (!p.empty())
            vertexBound = std::max({vertexBound, p.front() + 1, p.back() + 1});

    // For every vertex, the polylines (ascending) that begin or end there. Only polylines
    // after the current one are ever joined to it, and their ends stay as they are until
    // their own turn comes, so the index never needs updating; entries before the current
    // polyline or already joined are skipped once and for all by a cursor.
    std::vector<std::vector<std::uint32_t>> byVertex(vertexBound);
    for (std::uint32_t i = 0; i < count; ++i) {
        const Polyline& p = polylines[i];
        if (p.empty())
            continue;
        byVertex[p.front()].push_back(i);
        if (p.back() != p.front())
            byVertex[p.back()].push_back(i);
    }
    std::vector<std::size_t> cursor(vertexBound, 0);
    std::vector<bool> alive(count, true);
    auto nextAt = [&](std::uint32_t vertex, std::size_t current) -> std::size_t {
        const std::vector<std::uint32_t>& list = byVertex[vertex];
        std::size_t& at = cursor[vertex];
        while (at < list.size() && (list[at] <= current || !alive[list[at]]))
            ++at;
        return at < list.size() ? list[at] : count;
    };

    for (std::size_t i = 0; i < count; ++i) {
        if (!alive[i] || polylines[i].empty())
            continue;
        std::deque<std::uint32_t> a(polylines[i].begin(), polylines[i].end());
        for (;;) {
            const std::size_t j = std::min(nextAt(a.front(), i), nextAt(a.back(), i));
            if (j == count)
                break;
            const Polyline& b = polylines[j];
            if (a.front() == b.front())
                for (auto v = b.begin() + 1; v != b.end(); ++v)
                    a.push_front(*v);
            else if (a.front() == b.back())
                for (auto v = b.rbegin() + 1; v != b.rend(); ++v)
                    a.push_front(*v);
            else if (a.back() == b.front())
                a.insert(a.end(), b.begin() + 1, b.end());
            else
                for (auto v = b.rbegin() + 1; v != b.rend(); ++v)
                    a.push_back(*v);
            alive[j] = false;
        }
        polylines[i].assign(a.begin(), a.end());
    }

    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i)
        if (alive[i]) {
            if (kept != i)
                polylines[kept] = std::move(polylines[i]);
            ++kept;
        }
    polylines.resize(kept);
}

} // namespace ZELK
