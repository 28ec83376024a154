#include "tracing/centring.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/thread_pool.hpp"

namespace ZELK {

namespace {

// Profile samples per pixel across the stroke.
constexpr double profileStep = 0.25;
// Less contrast than this between ink and paper is no stroke to centre on.
constexpr double minimumContrast = 16.0;
// Turns sharper than this make a corner, which stays where the tracing put it.
const double cornerCosine = std::cos(30.0 * 3.14159265358979323846 / 180.0);
// How far to either side a stroke is looked for, and the furthest a point moves, in widths.
constexpr double reachWidths = 2.0;
constexpr double maximumShift = 1.5;
// Points closer than this many widths to a corner or junction keep their place: the profile
// there runs into the other stroke.
constexpr double anchorClearance = 0.75;
// Densified points per stroke width, and the simplification tolerance in widths.
constexpr double pointsPerWidth = 2.0;
constexpr double simplifyWidths = 1.0 / 6.0;
// A polyline edge densified into more points than this is left as it is (only an absurd
// coordinate gives one).
constexpr double maximumPointsPerEdge = 1e6;

struct Vec {
    double x = 0.0, y = 0.0;
};

Vec operator+(Vec a, Vec b) {
    return {a.x + b.x, a.y + b.y};
}
Vec operator-(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y};
}
Vec operator*(Vec a, double s) {
    return {a.x * s, a.y * s};
}
double dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y;
}
double norm(Vec a) {
    return std::hypot(a.x, a.y);
}

double bilinear(const Signal<2, unsigned char>& picture, double x, double y) {
    const double maxX = picture.width() - 1.0, maxY = picture.height() - 1.0;
    if (!(x >= 0.0 && y >= 0.0 && x <= maxX && y <= maxY))
        return std::numeric_limits<double>::quiet_NaN();
    const unsigned x0 = static_cast<unsigned>(x), y0 = static_cast<unsigned>(y);
    const unsigned x1 = std::min(x0 + 1, picture.width() - 1);
    const unsigned y1 = std::min(y0 + 1, picture.height() - 1);
    const double fx = x - x0, fy = y - y0;
    const unsigned char* low = picture.row(y0);
    const unsigned char* high = picture.row(y1);
    const double bottom = low[x0] + (low[x1] - low[x0]) * fx;
    const double top = high[x0] + (high[x1] - high[x0]) * fx;
    return bottom + (top - bottom) * fy;
}

// Douglas-Peucker over points[first..last]: marks the points to keep.
void simplify(const std::vector<Vec>& points, std::size_t first, std::size_t last, double tolerance,
              std::vector<char>& keep) {
    std::vector<std::pair<std::size_t, std::size_t>> spans{{first, last}};
    while (!spans.empty()) {
        const auto [a, b] = spans.back();
        spans.pop_back();
        if (b <= a + 1)
            continue;
        const Vec chord = points[b] - points[a];
        const double span = norm(chord);
        double worst = -1.0;
        std::size_t at = a;
        for (std::size_t i = a + 1; i < b; ++i) {
            const Vec d = points[i] - points[a];
            const double off =
                span > 0.0 ? std::fabs(d.x * chord.y - d.y * chord.x) / span : norm(d);
            if (off > worst) {
                worst = off;
                at = i;
            }
        }
        if (worst > tolerance) {
            keep[at] = 1;
            spans.push_back({a, at});
            spans.push_back({at, b});
        }
    }
}

// The first level at which at least half of the counted samples lie.
unsigned medianOf(const std::array<std::uint64_t, 256>& counts, std::uint64_t total) {
    std::uint64_t seen = 0;
    for (unsigned v = 0; v < 256; ++v) {
        seen += counts[v];
        if (2 * seen >= total)
            return v;
    }
    return 255;
}

} // namespace

double strokeCentreOffset(const Signal<2, unsigned char>& picture, double atX, double atY,
                          double normalX, double normalY, double reach, bool brightInk) {
    const double none = std::numeric_limits<double>::quiet_NaN();
    if (!(reach > 0.0) || !std::isfinite(reach) || picture.empty())
        return none;
    const int half = static_cast<int>(std::min(reach, 1000.0) / profileStep);
    std::vector<double> level(2 * std::size_t(half) + 1);
    double paper = -1.0;
    for (int i = -half; i <= half; ++i) {
        const double t = i * profileStep;
        double v = bilinear(picture, atX + normalX * t, atY + normalY * t);
        if (brightInk)
            v = 255.0 - v;
        level[std::size_t(i + half)] = v;
        if (v > paper)
            paper = v;
    }
    // The darkest sample within half the reach is the stroke under the point.
    std::size_t darkest = level.size();
    for (std::size_t i = std::size_t(half - half / 2); i <= std::size_t(half + half / 2); ++i)
        if (!std::isnan(level[i]) && (darkest == level.size() || level[i] < level[darkest]))
            darkest = i;
    if (darkest == level.size() || paper - level[darkest] < minimumContrast)
        return none;
    const double threshold = 0.5 * (paper + level[darkest]);
    std::size_t low = darkest, high = darkest;
    while (low > 0 && level[low - 1] < threshold)
        --low;
    while (high + 1 < level.size() && level[high + 1] < threshold)
        ++high;
    // A run that reaches the end of the profile (or the picture's edge) is not all in view.
    if (low == 0 || high + 1 == level.size())
        return none;
    // Where the profile crosses the threshold on either side, between samples.
    const auto crossing = [&](std::size_t inside, std::size_t outside) {
        const double t = (threshold - level[inside]) / (level[outside] - level[inside]);
        return ((double(inside) - half) + t * (double(outside) - double(inside))) * profileStep;
    };
    return 0.5 * (crossing(low, low - 1) + crossing(high, high + 1));
}

void centrePolylines(PolylineSet& set, const Signal<2, unsigned char>& picture,
                     PictureMapping mapping, float strokeWidth) {
    const double w = strokeWidth;
    if (!(w > 0.0) || !std::isfinite(w) || picture.empty() || !(mapping.scale > 0.0f))
        return;
    const double scale = mapping.scale, offset = mapping.offset;
    std::vector<PositionAccumulator>& vertices = set.vertices();
    std::vector<std::uint32_t> uses(vertices.size(), 0);
    for (const Polyline& polyline : set.polylines())
        for (std::uint32_t v : polyline)
            ++uses[v];
    const auto toPicture = [&](std::uint32_t v) {
        const Point<2, float> p = vertices[v].position();
        return Vec{(p.x() - offset) / scale, (p.y() - offset) / scale};
    };
    const auto stored = [&](Vec q) {
        return Point<2, float>(float(q.x * scale + offset), float(q.y * scale + offset));
    };
    // Which way the ink differs from the paper: the median under the vertices against the
    // median two widths to either side of them.
    std::array<std::uint64_t, 256> under{}, beside{};
    std::uint64_t sampledUnder = 0, sampledBeside = 0;
    const auto count = [&](Vec q, std::array<std::uint64_t, 256>& counts, std::uint64_t& n) {
        const double level = bilinear(picture, q.x, q.y);
        if (!std::isnan(level)) {
            ++counts[static_cast<unsigned>(level)];
            ++n;
        }
    };
    for (const Polyline& polyline : set.polylines())
        for (std::size_t k = 0; k + 1 < polyline.size(); ++k) {
            const Vec a = toPicture(polyline[k]), b = toPicture(polyline[k + 1]);
            const double span = norm(b - a);
            if (!(span > 0.0) || !std::isfinite(span))
                continue;
            const Vec side{-(b.y - a.y) / span * 2.0 * w, (b.x - a.x) / span * 2.0 * w};
            const Vec middle = (a + b) * 0.5;
            count(middle, under, sampledUnder);
            count(middle + side, beside, sampledBeside);
            count(middle - side, beside, sampledBeside);
        }
    const bool brightInk = sampledUnder > 0 && sampledBeside > 0 &&
                           medianOf(under, sampledUnder) > medianOf(beside, sampledBeside);
    const auto centred = [&](Vec q, Vec normal) {
        const double shift = strokeCentreOffset(picture, q.x, q.y, normal.x, normal.y,
                                                reachWidths * w + 1.0, brightInk);
        return std::isfinite(shift) && std::fabs(shift) <= maximumShift * w ? q + normal * shift
                                                                            : q;
    };

    // Each polyline is centred on its own (in bands of polylines on the pool, reading the set
    // only); the new vertices are then added in polyline order, so the result does not depend
    // on the number of threads.
    struct Centred {
        std::vector<Vec> points;
        std::vector<std::uint32_t> anchorIndex;
        std::vector<char> keep;
    };
    std::vector<Polyline>& polylines = set.polylines();
    std::vector<Centred> centredPolylines(polylines.size());
    constexpr std::size_t bandPolylines = 16;
    forEachBand((polylines.size() + bandPolylines - 1) / bandPolylines, [&](std::size_t band) {
        std::vector<Vec> at;
        std::vector<char> anchor;
        const std::size_t lastPolyline = std::min(polylines.size(), (band + 1) * bandPolylines);
        for (std::size_t p = band * bandPolylines; p < lastPolyline; ++p) {
            const Polyline& polyline = polylines[p];
            std::vector<Vec>& points = centredPolylines[p].points;
            std::vector<std::uint32_t>& anchorIndex = centredPolylines[p].anchorIndex;
            std::vector<char>& keep = centredPolylines[p].keep;
            const std::size_t n = polyline.size();
            if (n < 2)
                continue;
            at.resize(n);
            bool finite = true;
            for (std::size_t k = 0; k < n; ++k) {
                at[k] = toPicture(polyline[k]);
                finite = finite && std::isfinite(at[k].x) && std::isfinite(at[k].y);
            }
            if (!finite)
                continue;
            // Anchors: vertices shared with another polyline (or closing a loop) and corners.
            anchor.assign(n, 0);
            for (std::size_t k = 0; k < n; ++k) {
                anchor[k] = uses[polyline[k]] > 1;
                if (k > 0 && k + 1 < n) {
                    const Vec in = at[k] - at[k - 1], out = at[k + 1] - at[k];
                    const double span = norm(in) * norm(out);
                    anchor[k] |= !(span > 0.0) || dot(in, out) < cornerCosine * span;
                }
            }
            const auto normalOf = [&](std::size_t k) { // of edge k .. k + 1
                const Vec d = at[k + 1] - at[k];
                const double span = norm(d);
                return span > 0.0 ? Vec{-d.y / span, d.x / span} : Vec{};
            };

            for (std::size_t k = 0; k < n; ++k) {
                if (anchor[k]) {
                    points.push_back(at[k]);
                    anchorIndex.push_back(polyline[k]);
                } else {
                    // A free vertex moves along the mean of its edges' normals.
                    Vec normal = k == 0       ? normalOf(0)
                                 : k + 1 == n ? normalOf(k - 1)
                                              : normalOf(k - 1) + normalOf(k);
                    const double span = norm(normal);
                    normal = span > 0.0 ? normal * (1.0 / span) : Vec{};
                    points.push_back(centred(at[k], normal));
                    anchorIndex.push_back(std::numeric_limits<std::uint32_t>::max());
                }
                if (k + 1 == n)
                    break;
                const Vec a = at[k], b = at[k + 1], normal = normalOf(k);
                const double span = norm(b - a);
                const double count = std::ceil(span * pointsPerWidth / w);
                if (!(count > 1.0) || count > maximumPointsPerEdge)
                    continue;
                const std::size_t m = static_cast<std::size_t>(count);
                for (std::size_t j = 1; j < m; ++j) {
                    const double t = double(j) / m;
                    const Vec q = a + (b - a) * t;
                    const bool nearAnchor =
                        (anchor[k] && t * span < anchorClearance * w) ||
                        (anchor[k + 1] && (1.0 - t) * span < anchorClearance * w);
                    points.push_back(nearAnchor ? q : centred(q, normal));
                    anchorIndex.push_back(std::numeric_limits<std::uint32_t>::max());
                }
            }

            // Simplify between consecutive anchors (and the ends).
            keep.assign(points.size(), 0);
            keep.front() = keep.back() = 1;
            std::size_t from = 0;
            const double tolerance = simplifyWidths * w;
            for (std::size_t i = 1; i < points.size(); ++i) {
                if (anchorIndex[i] == std::numeric_limits<std::uint32_t>::max() &&
                    i + 1 < points.size())
                    continue;
                keep[i] = 1;
                simplify(points, from, i, tolerance, keep);
                from = i;
            }
        }
    });
    for (std::size_t p = 0; p < polylines.size(); ++p) {
        const Centred& c = centredPolylines[p];
        if (c.points.empty())
            continue;
        Polyline result;
        for (std::size_t i = 0; i < c.points.size(); ++i) {
            if (!c.keep[i])
                continue;
            if (c.anchorIndex[i] != std::numeric_limits<std::uint32_t>::max()) {
                result.push_back(c.anchorIndex[i]);
            } else {
                result.push_back(static_cast<std::uint32_t>(vertices.size()));
                vertices.push_back(PositionAccumulator{stored(c.points[i]), 1});
            }
        }
        polylines[p] = std::move(result);
    }
    set.cleanUp();
}

} // namespace ZELK
