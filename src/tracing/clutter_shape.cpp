// Clutter judged by shape, every length in units of the stroke width. A fixed length cannot
// tell a circle of short segments or a pencil line broken into dashes from a letter; the
// strokes' width can: letters are a few widths across, drawn shapes are many, and the pieces
// of one broken stroke line up end to end.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

#include "tracing/clutter.hpp"

namespace ZELK {

namespace {

// Proportions of the rule, in stroke widths.
constexpr double longSegment = 10.0; // a segment this long is drawing (-cl 50 at 5 pixels)
constexpr double largeShape = 20.0;  // so is a shape whose box diagonal is this long
constexpr double chainGap = 3.0;     // the widest break between two pieces of one stroke
constexpr double closeGap = 0.5;     // ends this close continue each other in any gap direction
constexpr double attachGap = 1.0;    // an end this close to a drawn line is attached to it
// Pieces of one stroke point at each other within 35 degrees; an end attached to a line meets
// it at 45 degrees or more (an end running along a line is a neighbour, not a branch).
const double chainCosine = std::cos(35.0 * std::numbers::pi / 180.0);
constexpr double attachSine = 0.7;
// The cell grids hold a few samples per unit of length; on drawings of absurd extent the cells
// grow so that the samples stay within this count.
constexpr double maxSamples = 4e6;

struct Vec {
    double x = 0.0, y = 0.0;
};

Vec minus(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y};
}
double dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y;
}
double cross(Vec a, Vec b) {
    return a.x * b.y - a.y * b.x;
}
double length(Vec a) {
    return std::hypot(a.x, a.y);
}
bool finite(Vec a) {
    return std::isfinite(a.x) && std::isfinite(a.y);
}

class Groups {
public:
    explicit Groups(std::size_t n) : parent_(n) {
        for (std::size_t i = 0; i < n; ++i)
            parent_[i] = static_cast<std::uint32_t>(i);
    }
    std::uint32_t find(std::uint32_t i) {
        while (parent_[i] != i) {
            parent_[i] = parent_[parent_[i]];
            i = parent_[i];
        }
        return i;
    }
    void unite(std::uint32_t a, std::uint32_t b) {
        a = find(a);
        b = find(b);
        if (a != b)
            parent_[std::max(a, b)] = std::min(a, b);
    }

private:
    std::vector<std::uint32_t> parent_;
};

// Items filed by square cell; near() visits the items of the 3 x 3 cells around a point, which
// include every item within one cell size of it.
class CellIndex {
public:
    explicit CellIndex(double cell) : cell_(cell) {}
    void add(Vec at, std::uint32_t item) {
        if (finite(at))
            entries_.push_back({key(at, 0, 0), item});
    }
    void finish() { std::sort(entries_.begin(), entries_.end()); }
    template <typename Visit> void near(Vec at, Visit&& visit) const {
        if (!finite(at))
            return;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const std::uint64_t k = key(at, dx, dy);
                auto it = std::lower_bound(entries_.begin(), entries_.end(), Entry{k, 0});
                for (; it != entries_.end() && it->key == k; ++it)
                    visit(it->item);
            }
    }

private:
    struct Entry {
        std::uint64_t key;
        std::uint32_t item;
        bool operator<(const Entry& o) const { return key != o.key ? key < o.key : item < o.item; }
    };
    // Cell numbers are clamped far out; clamping never separates neighbouring cells, it only
    // crowds the outermost ones.
    std::uint64_t key(Vec at, int dx, int dy) const {
        constexpr double bound = 1 << 30;
        const auto cellOf = [&](double v, int d) {
            const double c = std::clamp(std::floor(v / cell_), -bound, bound) + d;
            return static_cast<std::uint64_t>(static_cast<std::int64_t>(c) + (1ll << 31));
        };
        return (cellOf(at.x, dx) << 32) | cellOf(at.y, dy);
    }
    double cell_;
    std::vector<Entry> entries_;
};

// One free end of a polyline: where it is and the direction it points out of the stroke.
struct End {
    Vec at, out;
    std::uint32_t polyline;
};

// Points every `step` along a..b, both ends included.
template <typename Visit> void samplesAlong(Vec a, Vec b, double step, Visit&& visit) {
    const double span = length(minus(b, a));
    const double steps = std::ceil(span / step);
    const std::uint32_t n = steps > 1.0 ? static_cast<std::uint32_t>(steps) : 1u;
    for (std::uint32_t i = 0; i <= n; ++i) {
        const double t = double(i) / n;
        visit(Vec{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t});
    }
}

bool properlyCross(Vec a, Vec b, Vec c, Vec d) {
    const double o1 = cross(minus(b, a), minus(c, a)), o2 = cross(minus(b, a), minus(d, a));
    const double o3 = cross(minus(d, c), minus(a, c)), o4 = cross(minus(d, c), minus(b, c));
    return o1 * o2 < 0.0 && o3 * o4 < 0.0;
}

double distanceToSegment(Vec p, Vec a, Vec b) {
    const Vec ab = minus(b, a);
    const double span = dot(ab, ab);
    const double t = span > 0.0 ? std::clamp(dot(minus(p, a), ab) / span, 0.0, 1.0) : 0.0;
    return length(minus(p, Vec{a.x + ab.x * t, a.y + ab.y * t}));
}

// Two ends continue one stroke: they point at each other across a short gap.
bool continues(const End& a, const End& b, double w) {
    const Vec gap = minus(b.at, a.at);
    const double span = length(gap);
    if (span > chainGap * w || -dot(a.out, b.out) <= chainCosine)
        return false;
    return span < closeGap * w ||
           (dot(a.out, gap) > chainCosine * span && -dot(b.out, gap) > chainCosine * span);
}

} // namespace

std::vector<bool> markClutterByShape(const PolylineSet& lines, float strokeWidth) {
    const std::vector<Polyline>& polylines = lines.polylines();
    const std::uint32_t count = static_cast<std::uint32_t>(polylines.size());
    const double w = strokeWidth;
    std::vector<Vec> at(lines.vertexCount());
    for (std::uint32_t v = 0; v < lines.vertexCount(); ++v) {
        const Point<2, float> p = lines.position(v);
        at[v] = {p.x(), p.y()};
    }

    // Groups: polylines joined through shared vertices or continuing each other end to end.
    Groups groups(count);
    constexpr std::uint32_t none = std::numeric_limits<std::uint32_t>::max();
    std::vector<std::uint32_t> owner(at.size(), none);
    for (std::uint32_t p = 0; p < count; ++p)
        for (std::uint32_t v : polylines[p]) {
            if (owner[v] == none)
                owner[v] = p;
            else
                groups.unite(owner[v], p);
        }

    std::vector<End> ends;
    double totalLength = 0.0;
    for (std::uint32_t p = 0; p < count; ++p) {
        const Polyline& polyline = polylines[p];
        for (std::size_t k = 1; k < polyline.size(); ++k) {
            const double span = length(minus(at[polyline[k]], at[polyline[k - 1]]));
            if (std::isfinite(span))
                totalLength += span;
        }
        if (polyline.size() < 2 || polyline.front() == polyline.back())
            continue;
        // Each end points away from the first vertex behind it at another position.
        const auto addEnd = [&](auto first, auto last) {
            const Vec tip = at[*first];
            for (auto it = first + 1; it != last; ++it) {
                const Vec out = minus(tip, at[*it]);
                const double span = length(out);
                if (span > 0.0 && std::isfinite(span)) {
                    ends.push_back({tip, {out.x / span, out.y / span}, p});
                    return;
                }
            }
        };
        addEnd(polyline.begin(), polyline.end());
        addEnd(polyline.rbegin(), polyline.rend());
    }
    const double cell = std::max(chainGap * w, totalLength / maxSamples);

    CellIndex endIndex(cell);
    for (std::uint32_t e = 0; e < ends.size(); ++e)
        endIndex.add(ends[e].at, e);
    endIndex.finish();
    for (std::uint32_t a = 0; a < ends.size(); ++a)
        endIndex.near(ends[a].at, [&](std::uint32_t b) {
            if (b > a && ends[a].polyline != ends[b].polyline && continues(ends[a], ends[b], w))
                groups.unite(ends[a].polyline, ends[b].polyline);
        });

    // A group is drawing when one of its segments is long or its box is large.
    std::vector<std::uint32_t> group(count);
    std::vector<Vec> low(count, {HUGE_VAL, HUGE_VAL}), high(count, {-HUGE_VAL, -HUGE_VAL});
    std::vector<char> drawing(count, 0);
    const double longSquared = longSegment * w * longSegment * w;
    for (std::uint32_t p = 0; p < count; ++p) {
        const std::uint32_t g = group[p] = groups.find(p);
        const Polyline& polyline = polylines[p];
        for (std::size_t k = 0; k < polyline.size(); ++k) {
            const Vec v = at[polyline[k]];
            low[g] = {std::min(low[g].x, v.x), std::min(low[g].y, v.y)};
            high[g] = {std::max(high[g].x, v.x), std::max(high[g].y, v.y)};
            if (k > 0) {
                const Vec d = minus(v, at[polyline[k - 1]]);
                if (dot(d, d) > longSquared)
                    drawing[g] = 1;
            }
        }
    }
    for (std::uint32_t g = 0; g < count; ++g)
        if (group[g] == g && length(minus(high[g], low[g])) > largeShape * w)
            drawing[g] = 1;

    // Members of each group, to hand on a whole group once it turns out to be drawing.
    std::vector<std::uint32_t> first(std::size_t(count) + 1, 0), members(count);
    for (std::uint32_t p = 0; p < count; ++p)
        ++first[group[p] + 1];
    for (std::uint32_t g = 0; g < count; ++g)
        first[g + 1] += first[g];
    {
        std::vector<std::uint32_t> fill(first.begin(), first.end() - 1);
        for (std::uint32_t p = 0; p < count; ++p)
            members[fill[group[p]]++] = p;
    }

    // Segments of the groups that may still be clutter, filed by samples along them.
    struct Segment {
        Vec a, b;
        std::uint32_t polyline;
    };
    std::vector<Segment> candidates;
    CellIndex segmentIndex(cell);
    for (std::uint32_t p = 0; p < count; ++p) {
        if (drawing[group[p]])
            continue;
        const Polyline& polyline = polylines[p];
        for (std::size_t k = 1; k < polyline.size(); ++k) {
            const Segment s{at[polyline[k - 1]], at[polyline[k]], p};
            if (!finite(s.a) || !finite(s.b))
                continue;
            const std::uint32_t id = static_cast<std::uint32_t>(candidates.size());
            candidates.push_back(s);
            samplesAlong(s.a, s.b, cell, [&](Vec v) { segmentIndex.add(v, id); });
        }
    }
    segmentIndex.finish();

    // Whatever crosses a drawn line, or ends on it from the side, belongs to the drawing too;
    // so does everything grouped with it. The walk goes out from every drawn polyline.
    std::vector<std::uint32_t> queue;
    for (std::uint32_t p = 0; p < count; ++p)
        if (drawing[group[p]])
            queue.push_back(p);
    const auto join = [&](std::uint32_t p) {
        const std::uint32_t g = group[p];
        if (drawing[g])
            return;
        drawing[g] = 1;
        for (std::uint32_t m = first[g]; m < first[g + 1]; ++m)
            queue.push_back(members[m]);
    };
    std::vector<std::uint32_t> testedSegment(candidates.size(), none), testedEnd(ends.size(), none);
    std::uint32_t serial = 0;
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const Polyline& polyline = polylines[queue[head]];
        // An end that meets a drawn line's end at any angle continues it: an arrowhead, or a
        // corner the tracing broke.
        if (!polyline.empty())
            for (const std::uint32_t tip : {polyline.front(), polyline.back()})
                endIndex.near(at[tip], [&](std::uint32_t e) {
                    if (!drawing[group[ends[e].polyline]] &&
                        length(minus(ends[e].at, at[tip])) < attachGap * w)
                        join(ends[e].polyline);
                });
        for (std::size_t k = 1; k < polyline.size(); ++k, ++serial) {
            const Vec a = at[polyline[k - 1]], b = at[polyline[k]];
            const double span = length(minus(b, a));
            if (!std::isfinite(span))
                continue;
            const Vec along = span > 0.0 ? Vec{(b.x - a.x) / span, (b.y - a.y) / span} : Vec{};
            samplesAlong(a, b, cell, [&](Vec v) {
                segmentIndex.near(v, [&](std::uint32_t c) {
                    if (testedSegment[c] == serial)
                        return;
                    testedSegment[c] = serial;
                    const Segment& s = candidates[c];
                    if (!drawing[group[s.polyline]] && properlyCross(a, b, s.a, s.b))
                        join(s.polyline);
                });
                endIndex.near(v, [&](std::uint32_t e) {
                    if (testedEnd[e] == serial)
                        return;
                    testedEnd[e] = serial;
                    const End& end = ends[e];
                    if (!drawing[group[end.polyline]] &&
                        std::fabs(cross(end.out, along)) >= attachSine &&
                        distanceToSegment(end.at, a, b) < attachGap * w)
                        join(end.polyline);
                });
            });
        }
    }

    std::vector<bool> clutter(count);
    for (std::uint32_t p = 0; p < count; ++p)
        clutter[p] = !drawing[group[p]];
    return clutter;
}

PolylineSet classifyClutterByShape(PolylineSet& lines, float strokeWidth) {
    return splitClutter(lines, markClutterByShape(lines, strokeWidth));
}

} // namespace ZELK
