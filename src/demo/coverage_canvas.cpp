#include "demo/coverage_canvas.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "core/exceptions.hpp"

namespace ZELK {

namespace {

struct Vertex {
    double x, y;
};

// A convex polygon with room for the corners that clipping adds: each clip by a half-plane
// adds at most one corner, and a polygon goes through at most eight clips (canvas box, row,
// column).
struct Polygon {
    std::array<Vertex, 2 * CoverageCanvas::maxCorners> v;
    std::size_t n = 0;
};

enum class Keep { AtLeast, AtMost };

// Sutherland-Hodgman clip of a convex polygon by the half-plane "coordinate axis >= value" or
// "<= value". Intersection points get exactly `value` on the clipped axis, so that later tests
// for corners on a row boundary can compare exactly.
void clip(const Polygon& in, Polygon& out, int axis, double value, Keep keep) {
    auto coordinate = [axis](const Vertex& p) { return axis == 0 ? p.x : p.y; };
    auto inside = [&](const Vertex& p) {
        return keep == Keep::AtLeast ? coordinate(p) >= value : coordinate(p) <= value;
    };
    out.n = 0;
    if (in.n == 0)
        return;
    Vertex previous = in.v[in.n - 1];
    bool previousInside = inside(previous);
    for (std::size_t i = 0; i < in.n; ++i) {
        const Vertex current = in.v[i];
        const bool currentInside = inside(current);
        if (currentInside != previousInside) {
            const double t =
                (value - coordinate(previous)) / (coordinate(current) - coordinate(previous));
            Vertex cut;
            if (axis == 0) {
                cut.x = value;
                cut.y = previous.y + t * (current.y - previous.y);
            } else {
                cut.x = previous.x + t * (current.x - previous.x);
                cut.y = value;
            }
            out.v[out.n++] = cut;
        }
        if (currentInside)
            out.v[out.n++] = current;
        previous = current;
        previousInside = currentInside;
    }
}

// Unsigned area, with coordinates taken relative to (ox, oy) so that the products stay small
// and precise for pixel-sized pieces far from the origin.
double area(const Polygon& p, double ox, double oy) {
    double twice = 0.0;
    for (std::size_t i = 0; i < p.n; ++i) {
        const Vertex& a = p.v[i];
        const Vertex& b = p.v[(i + 1) % p.n];
        twice += (a.x - ox) * (b.y - oy) - (b.x - ox) * (a.y - oy);
    }
    return std::fabs(twice) * 0.5;
}

// Smallest and largest x of the corners lying exactly on the line y = value; false when none
// does.
bool spanOnLine(const Polygon& p, double value, double& left, double& right) {
    bool found = false;
    for (std::size_t i = 0; i < p.n; ++i)
        if (p.v[i].y == value) {
            if (!found) {
                left = right = p.v[i].x;
                found = true;
            } else {
                left = std::min(left, p.v[i].x);
                right = std::max(right, p.v[i].x);
            }
        }
    return found;
}

std::uint8_t byteOf(float value) {
    if (!(value > 0.0f))
        return 0;
    if (value >= 255.0f)
        return 255;
    return static_cast<std::uint8_t>(value);
}

} // namespace

CoverageCanvas::CoverageCanvas(std::uint32_t width, std::uint32_t height)
    : width_(width), height_(height), rows_(height) {}

void CoverageCanvas::reset() {
    for (Row& row : rows_) {
        row.full.clear();
        row.partial.clear();
    }
}

void CoverageCanvas::addFullRun(Row& row, std::uint32_t begin, std::uint32_t end) {
    auto& runs = row.full;
    auto at = std::lower_bound(runs.begin(), runs.end(), std::make_pair(begin, end));
    runs.insert(at, {begin, end});
    // Coalesce overlapping and touching runs; rows hold only a few runs.
    std::size_t kept = 0;
    for (std::size_t i = 1; i < runs.size(); ++i) {
        if (runs[i].first <= runs[kept].second)
            runs[kept].second = std::max(runs[kept].second, runs[i].second);
        else
            runs[++kept] = runs[i];
    }
    runs.resize(kept + 1);
}

void CoverageCanvas::mergePartials(Row& row) {
    // Both lists are sorted by x; a pixel in both combines its coverages a (earlier polygons)
    // and b (this one) as 1 - (1 - a)(1 - b), the union of independent partial coverages.
    merged_.clear();
    std::size_t i = 0, j = 0;
    const auto& old = row.partial;
    while (i < old.size() || j < pending_.size()) {
        if (j == pending_.size() || (i < old.size() && old[i].x < pending_[j].x)) {
            merged_.push_back(old[i++]);
        } else if (i == old.size() || pending_[j].x < old[i].x) {
            merged_.push_back(pending_[j++]);
        } else {
            const float a = old[i].covered, b = pending_[j].covered;
            merged_.push_back({old[i].x, 1.0f - (1.0f - a) * (1.0f - b)});
            ++i, ++j;
        }
    }
    row.partial.swap(merged_);
}

void CoverageCanvas::addConvexPolygon(std::span<const Point<2, float>> corners) {
    if (corners.size() > maxCorners)
        throw UnexpectedValueException(std::to_string(corners.size()) + " corners",
                                       "at most " + std::to_string(maxCorners) + " corners");
    if (corners.size() < 3 || width_ == 0 || height_ == 0)
        return;
    Polygon a, b;
    for (const auto& c : corners) {
        if (!std::isfinite(c.x()) || !std::isfinite(c.y()))
            return;
        a.v[a.n++] = {c.x(), c.y()};
    }
    const double w = width_, h = height_;
    clip(a, b, 0, 0.0, Keep::AtLeast);
    clip(b, a, 0, w, Keep::AtMost);
    clip(a, b, 1, 0.0, Keep::AtLeast);
    clip(b, a, 1, h, Keep::AtMost);
    if (a.n < 3 || !(area(a, 0.0, 0.0) > 0.0))
        return;

    double yMin = a.v[0].y, yMax = a.v[0].y;
    for (std::size_t i = 1; i < a.n; ++i) {
        yMin = std::min(yMin, a.v[i].y);
        yMax = std::max(yMax, a.v[i].y);
    }
    const auto firstRow = static_cast<std::uint32_t>(std::floor(yMin));
    const auto endRow = std::min(height_, static_cast<std::uint32_t>(std::ceil(yMax)));

    Polygon slab, strip, piece;
    for (std::uint32_t y = firstRow; y < endRow; ++y) {
        const double top = y, bottom = y + 1.0;
        clip(a, strip, 1, top, Keep::AtLeast);
        clip(strip, slab, 1, bottom, Keep::AtMost);
        if (slab.n < 3)
            continue;
        double xMin = slab.v[0].x, xMax = slab.v[0].x;
        for (std::size_t i = 1; i < slab.n; ++i) {
            xMin = std::min(xMin, slab.v[i].x);
            xMax = std::max(xMax, slab.v[i].x);
        }

        // Fully covered pixels: the polygon spans the whole row, and the pixel lies between
        // its left and right boundaries on both row edges. The polygon is convex, so those
        // boundaries are furthest inward at the row edges and this test is exact.
        std::uint32_t fullBegin = 0, fullEnd = 0;
        double leftTop, rightTop, leftBottom, rightBottom;
        if (yMin <= top && yMax >= bottom && spanOnLine(slab, top, leftTop, rightTop) &&
            spanOnLine(slab, bottom, leftBottom, rightBottom)) {
            const double left = std::ceil(std::max(leftTop, leftBottom));
            const double right = std::floor(std::min(rightTop, rightBottom));
            if (right > left) {
                fullBegin = static_cast<std::uint32_t>(left);
                fullEnd = static_cast<std::uint32_t>(right);
            }
        }

        pending_.clear();
        const auto firstColumn = static_cast<std::uint32_t>(std::floor(xMin));
        const auto endColumn = std::min(width_, static_cast<std::uint32_t>(std::ceil(xMax)));
        for (std::uint32_t x = firstColumn; x < endColumn; ++x) {
            if (x >= fullBegin && x < fullEnd) {
                x = fullEnd - 1;
                continue;
            }
            clip(slab, strip, 0, x, Keep::AtLeast);
            clip(strip, piece, 0, x + 1.0, Keep::AtMost);
            const auto covered = static_cast<float>(std::min(area(piece, x, top), 1.0));
            if (covered > 0.0f)
                pending_.push_back({x, covered});
        }
        Row& row = rows_[y];
        if (fullEnd > fullBegin)
            addFullRun(row, fullBegin, fullEnd);
        if (!pending_.empty())
            mergePartials(row);
    }
}

void CoverageCanvas::addThickSegment(const Point<2, float>& origin,
                                     const Vector<2, float>& direction, float length,
                                     float thickness) {
    if (!(length > 0.0f) || !(thickness > 0.0f))
        return;
    const Vector<2, float> h = (thickness / 2) * Vector<2, float>(-direction.y(), direction.x());
    const Point<2, float> end = origin + length * direction;
    const Point<2, float> corners[4] = {origin - h, end - h, end + h, origin + h};
    addConvexPolygon(corners);
}

bool CoverageCanvas::fullyCovered(std::uint32_t x, std::uint32_t y) const {
    if (y >= height_ || x >= width_)
        return false;
    for (const auto& run : rows_[y].full)
        if (x >= run.first && x < run.second)
            return true;
    return false;
}

float CoverageCanvas::coverage(std::uint32_t x, std::uint32_t y) const {
    if (y >= height_ || x >= width_)
        return 0.0f;
    if (fullyCovered(x, y))
        return 1.0f;
    const auto& partial = rows_[y].partial;
    auto at = std::lower_bound(partial.begin(), partial.end(), x,
                               [](const Partial& p, std::uint32_t value) { return p.x < value; });
    if (at == partial.end() || at->x != x)
        return 0.0f;
    return at->covered;
}

void CoverageCanvas::paint(RgbImage& image, const Color& k) const {
    if (image.width != width_ || image.height != height_)
        throw SignalSizeException();
    const float channel[3] = {k.red, k.green, k.blue};
    const std::uint8_t solid[3] = {byteOf(k.red * 255.0f), byteOf(k.green * 255.0f),
                                   byteOf(k.blue * 255.0f)};
    for (std::uint32_t y = 0; y < height_; ++y) {
        std::uint8_t* line = image.line(y);
        const Row& row = rows_[y];
        for (const auto& run : row.full)
            for (std::uint32_t x = run.first; x < run.second; ++x)
                for (unsigned c = 0; c < 3; ++c)
                    line[3 * x + c] = solid[c];
        std::size_t next = 0;
        for (const Partial& p : row.partial) {
            while (next < row.full.size() && row.full[next].second <= p.x)
                ++next;
            if (next < row.full.size() && row.full[next].first <= p.x)
                continue;
            const float c = p.covered;
            std::uint8_t* pixel = line + 3 * p.x;
            for (unsigned i = 0; i < 3; ++i) {
                const float old = static_cast<float>(pixel[i]) / 255.0f;
                pixel[i] = byteOf(255.0f * ((1.0f - c) * old + c * channel[i]));
            }
        }
    }
}

} // namespace ZELK
