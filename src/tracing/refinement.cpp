#include "tracing/refinement.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/exceptions.hpp"

namespace ZELK {

namespace {

// Appends a vertex holding p alone, without looking for a vertex to merge with: refinement
// must not tie a moved vertex to a neighbour that happens to lie close.
std::uint32_t appendVertex(PolylineSet& set, const Point<2, float>& p) {
    constexpr std::uint32_t limit = 0xFFFFFFFFu;
    std::vector<PositionAccumulator>& vertices = set.vertices();
    if (vertices.size() >= limit)
        throw BoundException<unsigned int>(limit, limit - 1);
    vertices.push_back(PositionAccumulator{p, 1});
    return static_cast<std::uint32_t>(vertices.size() - 1);
}

// Distance of c from the segment p-q. A degenerate segment gets the diagonal direction, so the
// distance is then measured to p or along that diagonal.
float distanceFromSegment(const Point<2, float>& c, const Point<2, float>& p,
                          const Point<2, float>& q) {
    const Vector<2, float> span = q - p;
    const float spanLength = length(span);
    const Vector<2, float> u =
        spanLength == 0.0f ? Vector<2, float>(0.70710678f, 0.70710678f) : span / spanLength;
    const float s = dot(c - p, u);
    const Point<2, float> foot = s >= 0.0f ? p + u * std::min(s, spanLength) : p;
    return distance(foot, c);
}

// Single-precision epsilon: an edge shorter than this has no direction.
constexpr float noDirection = 1.1920929e-7f;

Vector<2, float> unitOrZero(const Vector<2, float>& v) {
    const float l = length(v);
    if (std::fabs(l) < noDirection)
        return Vector<2, float>();
    return v / l;
}

enum EdgeClass : std::uint8_t { Free = 0, Horizontal = 1, Vertical = 2 };

EdgeClass classify(const Vector<2, float>& u, float threshold) {
    const float ax = std::fabs(u.x()), ay = std::fabs(u.y());
    if (ax > ay && ax > threshold)
        return Horizontal;
    if (ay > ax && ay > threshold)
        return Vertical;
    return Free;
}

// The coordinate a snapped edge keeps fixed: y for a horizontal edge, x for a vertical one.
unsigned fixedAxis(std::uint8_t edgeClass) {
    return edgeClass == Horizontal ? 1u : 0u;
}

// Moves from `from` along the unit direction d by the t that brings coordinate `axis` to
// value: the point from + t d, as computed (rounding may leave that coordinate a hair off
// value). Returns false (and leaves result alone) when d does not advance along that axis,
// which is the case for a zero-length edge.
bool slideTo(const Point<2, float>& from, const Vector<2, float>& d, unsigned axis, float value,
             Point<2, float>& result) {
    if (d[axis] == 0.0f)
        return false;
    const float t = (value - from[axis]) / d[axis];
    const Point<2, float> q = from + d * t;
    if (!std::isfinite(q.x()) || !std::isfinite(q.y()))
        return false;
    result = q;
    return true;
}

void alignPolyline(PolylineSet& set, Polyline& polyline, float threshold) {
    const bool closed = polyline.front() == polyline.back();

    std::vector<std::uint8_t> classes(polyline.size() - 1);
    for (std::size_t k = 0; k < classes.size(); ++k)
        classes[k] = classify(unitOrZero(set.position(polyline[k + 1]) - set.position(polyline[k])),
                              threshold);

    // A run of edges of one class becomes one edge: the vertices inside the run go.
    Polyline kept{polyline.front()};
    std::vector<std::uint8_t> keptClasses{classes.front()};
    for (std::size_t k = 1; k < classes.size(); ++k) {
        if (classes[k] != Free && classes[k] == keptClasses.back())
            continue;
        kept.push_back(polyline[k]);
        keptClasses.push_back(classes[k]);
    }
    kept.push_back(polyline.back());
    polyline = std::move(kept);
    classes = std::move(keptClasses);

    // In a cycle the two edges meeting at the closing vertex may form one run as well.
    if (closed) {
        polyline.pop_back();
        if (classes.size() > 1 && classes.front() != Free && classes.front() == classes.back()) {
            polyline.erase(polyline.begin());
            classes.erase(classes.begin());
        }
    }

    const std::size_t n = polyline.size();
    const std::size_t edges = classes.size(); // n - 1 when open, n when closed
    // Positions before any vertex moves: the fixed coordinates come from these.
    std::vector<Point<2, float>> at(n);
    for (std::size_t v = 0; v < n; ++v)
        at[v] = set.position(polyline[v]);

    // The fixed coordinate of each snapped edge. The end edges of an open polyline keep the
    // coordinate of the polyline's end, so that its ends do not move.
    std::vector<float> fixed(edges, 0.0f);
    for (std::size_t k = 0; k < edges; ++k) {
        if (classes[k] == Free)
            continue;
        const unsigned axis = fixedAxis(classes[k]);
        if (!closed && k == 0)
            fixed[k] = at[0][axis];
        else if (!closed && k + 1 == edges)
            fixed[k] = at[n - 1][axis];
        else
            fixed[k] = (at[k][axis] + at[(k + 1) % n][axis]) * 0.5f;
    }

    // The vertices move in order, and each reads its neighbours as the polyline stands: a
    // free edge after a vertex that has just slid is measured from where that vertex went.
    for (std::size_t v = 1; v + 1 < n; ++v) {
        const std::uint8_t a = classes[v - 1];
        const std::uint8_t b = v < edges ? classes[v] : std::uint8_t(Free);
        Point<2, float> moved;
        bool move = false;
        if (a != Free && b != Free) {
            moved = at[v];
            moved[fixedAxis(a)] = fixed[v - 1];
            moved[fixedAxis(b)] = fixed[v];
            move = true;
        } else if (a != Free) {
            const Point<2, float> c = set.position(polyline[v]);
            const Vector<2, float> d = unitOrZero(set.position(polyline[(v + 1) % n]) - c);
            move = slideTo(c, d, fixedAxis(a), fixed[v - 1], moved);
        } else if (b != Free) {
            const Point<2, float> p = set.position(polyline[v - 1]);
            const Vector<2, float> d = unitOrZero(set.position(polyline[v]) - p);
            move = slideTo(p, d, fixedAxis(b), fixed[v], moved);
        }
        if (move)
            polyline[v] = appendVertex(set, moved);
    }

    if (closed)
        polyline.push_back(polyline.front());
}

} // namespace

// Both simplifications walk a polyline of at least three vertices from its second vertex (an
// open one, whose ends stay) or its first (a cycle, whose repeated closing vertex is taken off
// and put back after). Each step looks at the vertex being walked and its neighbours as the
// polyline stands, and either keeps it or changes the polyline around it. Erasing from the
// middle of the index list at every change made long polylines quadratic; here the kept
// vertices are written into a new list as the walk goes, so every polyline costs linear time.

void mergeShortEdges(PolylineSet& set, float lineLength) {
    const float limit = lineLength * lineLength;
    // The vertex walked so far is out.back(); a short edge to the next vertex merges the two
    // into a new vertex at the middle, which is then tested against the vertex after.
    auto merged = [&](std::uint32_t from, std::uint32_t to, std::uint32_t& result) {
        const Point<2, float> a = set.position(from);
        const Vector<2, float> d = set.position(to) - a;
        if (!(squaredLength(d) < limit))
            return false;
        result = appendVertex(set, a + d * 0.5f);
        return true;
    };
    for (Polyline& polyline : set.polylines()) {
        if (polyline.size() < 3)
            continue;
        const bool closed = polyline.front() == polyline.back();
        if (closed)
            polyline.pop_back();
        // The first edge of an open polyline is left alone.
        const std::size_t firstWalked = closed ? 0 : 1;
        Polyline out(polyline.begin(), polyline.begin() + firstWalked + 1);
        out.reserve(polyline.size() + 1);
        for (std::size_t r = firstWalked + 1; r < polyline.size(); ++r)
            if (!merged(out.back(), polyline[r], out.back()))
                out.push_back(polyline[r]);
        if (closed) {
            // The last vertex goes on across the closing edge, swallowing vertices from the
            // front, until an edge is long enough or one vertex is left.
            std::size_t front = 0;
            while (out.size() - front >= 2 && merged(out.back(), out[front], out.back()))
                ++front;
            out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(front));
            out.push_back(out.front());
        }
        polyline = std::move(out);
    }
}

void removeRedundantVertices(PolylineSet& set, float vertexDistance) {
    auto redundant = [&](std::uint32_t previous, std::uint32_t current, std::uint32_t next) {
        return distanceFromSegment(set.position(current), set.position(previous),
                                   set.position(next)) < vertexDistance;
    };
    for (Polyline& polyline : set.polylines()) {
        if (polyline.size() < 3)
            continue;
        const bool closed = polyline.front() == polyline.back();
        if (closed)
            polyline.pop_back();
        const std::size_t n = polyline.size();
        // out holds the vertices before the walked one r, kept; the ones from r on are as read.
        Polyline out;
        out.reserve(n + 1);
        std::size_t r = 0;
        if (!closed) {
            // The ends of an open polyline stay; every inner vertex is judged against the kept
            // vertex before it and the next vertex as read.
            out.push_back(polyline[r++]);
            for (; r + 1 < n; ++r)
                if (!redundant(out.back(), polyline[r], polyline[r + 1]))
                    out.push_back(polyline[r]);
        } else {
            // In a cycle the first vertex is judged against the last, and the last against the
            // first kept; the walk stops when a single vertex is left.
            for (; r < n && out.size() + (n - r) >= 2; ++r) {
                const std::uint32_t previous = out.empty() ? polyline[n - 1] : out.back();
                const std::uint32_t next = r + 1 < n ? polyline[r + 1] : out.front();
                if (!redundant(previous, polyline[r], next))
                    out.push_back(polyline[r]);
            }
        }
        out.insert(out.end(), polyline.begin() + static_cast<std::ptrdiff_t>(r), polyline.end());
        if (closed)
            out.push_back(out.front());
        polyline = std::move(out);
    }
}

void alignPolylines(PolylineSet& set, float threshold) {
    for (Polyline& polyline : set.polylines())
        if (polyline.size() >= 2)
            alignPolyline(set, polyline, threshold);
}

} // namespace ZELK
