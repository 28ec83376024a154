#include "tracing/line_tracing.hpp"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>

#include "raster/labelling.hpp"
#include "tracing/fit_bounds.hpp"

namespace ZELK {

namespace {

using P2 = Point<2, float>;
using V2 = Vector<2, float>;
using Mask = BinarySignal<2, unsigned>;

// A seed collects this many pixels at most, and is dropped below the minimum.
constexpr std::size_t seedSize = 9;
constexpr std::size_t minimumSeedSize = 5;
// Below this many points a fit costs less than finding its bounds.
constexpr std::size_t boundedFitSize = 128;

struct Pixel {
    unsigned x;
    unsigned y;
};

P2 toPoint(const Pixel& p) {
    return P2(static_cast<float>(p.x), static_cast<float>(p.y));
}

// Clears the set neighbours of p in work and appends them to the queue, in the order left
// column (top to bottom), middle column, right column.
void expand(Mask& work, const Pixel& p, std::deque<Pixel>& queue) {
    static constexpr int order[8][2] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, -1},
                                        {0, 1},   {1, -1}, {1, 0},  {1, 1}};
    for (const auto& o : order) {
        const std::int64_t x = std::int64_t(p.x) + o[0], y = std::int64_t(p.y) + o[1];
        if (!work.get(x, y))
            continue;
        work.set(unsigned(x), unsigned(y), false);
        queue.push_back(Pixel{unsigned(x), unsigned(y)});
    }
}

// Seeds at one pixel (already cleared in work); returns whether a segment was made.
bool seedAt(Mask& work, const Pixel& start, float growth, LineSegment& segment) {
    std::deque<Pixel> queue{start};
    std::vector<P2> list;
    while (!queue.empty() && list.size() < seedSize) {
        const Pixel p = queue.front();
        expand(work, p, queue);
        list.push_back(toPoint(p));
        queue.pop_front();
    }
    // Too small a piece to carry a line; its pixels stay consumed.
    if (list.size() < minimumSeedSize)
        return false;
    if (!seedFit(list, segment)) {
        for (const Pixel& p : queue)
            work.set(p.x, p.y);
        return false;
    }
    // Seed pixels off the seed line may still join this segment's growth or a later seed.
    for (const P2& p : list)
        work.set(static_cast<unsigned>(p.x()), static_cast<unsigned>(p.y()));

    std::vector<Pixel> rejected;
    // While the bounds of the fit can tell the new pixels apart, the growth goes on without
    // fitting; `plane` says whether segment.plane is the fit of the current points.
    PointMoments moments;
    FitBounds bounds;
    bool plane = true;
    std::vector<int> sides; // of the queued pixels, as the bounds tell them
    while (!queue.empty() && segment.valid) {
        if (!plane) {
            sides.clear();
            for (const Pixel& p : queue)
                sides.push_back(sideOf(bounds, toPoint(p), growth));
            if (std::find(sides.begin(), sides.end(), 0) != sides.end()) {
                fitWithSums(segment, moments.sumX, moments.sumY, false);
                plane = true;
            }
        }
        std::size_t kept = 0;
        for (std::size_t i = 0; i < queue.size(); ++i) {
            const Pixel p = queue[i];
            const bool far = plane ? std::fabs(segment.plane.signedDistance(toPoint(p))) >= growth
                                   : sides[i] > 0;
            if (far) {
                rejected.push_back(p);
            } else {
                segment.points.push_back(toPoint(p));
                queue[kept++] = p;
            }
        }
        queue.resize(kept);
        for (std::size_t i = 0; i < kept; ++i) {
            expand(work, queue.front(), queue);
            queue.pop_front();
        }
        moments.update(segment.points);
        // The growth stops after the fit on an empty queue, which is the one whose ends count.
        plane = queue.empty() || segment.points.size() < boundedFitSize ||
                !boundFit(segment.points, moments, bounds);
        if (plane)
            fitWithSums(segment, moments.sumX, moments.sumY, queue.empty());
    }
    for (const Pixel& p : rejected)
        work.set(p.x, p.y);
    return segment.valid;
}

bool finitePoint(const P2& p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

bool finiteGeometry(const LineSegment& s) {
    return finitePoint(s.origin) && std::isfinite(s.direction.x()) &&
           std::isfinite(s.direction.y()) && std::isfinite(s.length);
}

// Segments bucketed by the grid cells that lie near them. A pixel can only be assigned to a
// segment it is near: within `distance` of its line and, beyond an end, less than
// sqrt(2 distance) past it (the overshoot term is (x^2 / 2)^2), so within
// sqrt(distance^2 + 2 distance) of the segment itself. Segments whose shape the grid cannot
// bound (not unit direction, far too long) are candidates for every pixel.
class SegmentGrid {
public:
    static constexpr unsigned cellSize = 8;

    SegmentGrid(const std::vector<LineSegment>& segments, unsigned width, unsigned height,
                float distance)
        : columns_(width / cellSize + 1), rows_(height / cellSize + 1) {
        const double d = distance;
        // Generous slack for single-precision rounding in the distances.
        const double reach = std::sqrt(d * d + 2.0 * d) * 1.01 + 0.25;
        const double step = cellSize / 2.0;
        const double radius = reach + step / 2.0;
        const double longest = 4.0 * (double(width) + double(height)) + 64.0;

        std::vector<std::uint32_t> counts(std::size_t(columns_) * rows_ + 1, 0);
        std::vector<std::uint32_t> stamp(std::size_t(columns_) * rows_, 0xFFFFFFFFu);
        std::vector<std::uint8_t> gridded(segments.size(), 0);
        for (std::uint32_t s = 0; s < segments.size(); ++s) {
            const LineSegment& segment = segments[s];
            if (!finiteGeometry(segment))
                continue; // never nearest
            const double unit = double(segment.direction.x()) * segment.direction.x() +
                                double(segment.direction.y()) * segment.direction.y();
            if (std::fabs(unit - 1.0) > 1e-4 || segment.length < 0.0f || segment.length > longest) {
                everywhere_.push_back(s);
                continue;
            }
            gridded[s] = 1;
            forCells(segment, step, radius, [&](std::size_t cell) {
                if (stamp[cell] != s) {
                    stamp[cell] = s;
                    ++counts[cell + 1];
                }
            });
        }
        for (std::size_t c = 1; c < counts.size(); ++c)
            counts[c] += counts[c - 1];
        offsets_ = counts;
        entries_.resize(offsets_.back());
        std::fill(stamp.begin(), stamp.end(), 0xFFFFFFFFu);
        for (std::uint32_t s = 0; s < segments.size(); ++s) {
            if (!gridded[s])
                continue;
            forCells(segments[s], step, radius, [&](std::size_t cell) {
                if (stamp[cell] != s) {
                    stamp[cell] = s;
                    entries_[counts[cell]++] = s;
                }
            });
        }
    }

    // The gridded candidates of the cell holding pixel (x, y), in segment order.
    const std::uint32_t* begin(unsigned x, unsigned y) const {
        return entries_.data() + offsets_[cellIndex(x, y)];
    }
    const std::uint32_t* end(unsigned x, unsigned y) const {
        return entries_.data() + offsets_[cellIndex(x, y) + 1];
    }
    const std::vector<std::uint32_t>& everywhere() const { return everywhere_; }

private:
    std::size_t cellIndex(unsigned x, unsigned y) const {
        return std::size_t(y / cellSize) * columns_ + x / cellSize;
    }

    // Visits every cell (within the image's cells) that the square of the given radius
    // around any sample of the segment touches; samples are at most step apart and include
    // both ends, so every point within radius - step / 2 of the segment is covered.
    template <typename Visit>
    void forCells(const LineSegment& s, double step, double radius, Visit visit) const {
        const double length = s.length;
        const std::uint64_t samples = static_cast<std::uint64_t>(std::ceil(length / step)) + 1;
        for (std::uint64_t k = 0; k < samples; ++k) {
            const double t = std::min(double(k) * step, length);
            const double x = double(s.origin.x()) + double(s.direction.x()) * t;
            const double y = double(s.origin.y()) + double(s.direction.y()) * t;
            const double x0 = std::floor((x - radius) / cellSize);
            const double x1 = std::floor((x + radius) / cellSize);
            const double y0 = std::floor((y - radius) / cellSize);
            const double y1 = std::floor((y + radius) / cellSize);
            if (x1 < 0 || y1 < 0 || x0 >= columns_ || y0 >= rows_)
                continue;
            const unsigned cx0 = unsigned(std::max(x0, 0.0));
            const unsigned cx1 = unsigned(std::min(x1, double(columns_ - 1)));
            const unsigned cy0 = unsigned(std::max(y0, 0.0));
            const unsigned cy1 = unsigned(std::min(y1, double(rows_ - 1)));
            for (unsigned cy = cy0; cy <= cy1; ++cy)
                for (unsigned cx = cx0; cx <= cx1; ++cx)
                    visit(std::size_t(cy) * columns_ + cx);
        }
    }

    unsigned columns_;
    unsigned rows_;
    std::vector<std::uint32_t> offsets_;
    std::vector<std::uint32_t> entries_;
    std::vector<std::uint32_t> everywhere_;
};

constexpr std::uint32_t unassigned = 0xFFFFFFFFu;

} // namespace

void seedSegments(const BinarySignal<2, unsigned>& skeleton, std::vector<LineSegment>& segments,
                  float growth) {
    const unsigned width = skeleton.width(), height = skeleton.height();
    if (width < 3 || height < 3)
        return;
    Mask work = skeleton;
    for (unsigned y = 1; y + 1 < height; ++y)
        for (unsigned x = 1; x + 1 < width; ++x) {
            if (!work.get(x, y))
                continue;
            work.set(x, y, false);
            LineSegment segment;
            if (seedAt(work, Pixel{x, y}, growth, segment))
                segments.push_back(std::move(segment));
        }
}

void labelSkeletonRegions(const BinarySignal<2, unsigned>& skeleton,
                          Signal<2, unsigned short>& labels) {
    LabelCounter<unsigned short> counter;
    labelRegions(skeleton, counter, labels);
}

namespace {

// The assignment error of q for a segment whose geometry is finite.
inline float errorOfFinite(const P2& origin, const V2& direction, float length, const P2& q) {
    const float t = dot(q - origin, direction);
    const P2 foot = origin + direction * t;
    float e = distance(q, foot);
    if (t < 0.0f || t > length) {
        const float beyond = t < 0.0f ? -t : t - length;
        const float term = beyond * beyond / 2.0f;
        e = static_cast<float>(std::sqrt(static_cast<double>(e * e + term * term)));
    }
    return e;
}

// The geometry one round of reassignment measures against, packed for the pixel loop.
struct Geometry {
    P2 origin;
    V2 direction;
    float length;
    bool finite;
};

} // namespace

float assignmentError(const LineSegment& segment, const Point<2, float>& q) {
    if (!finiteGeometry(segment))
        return std::numeric_limits<float>::infinity();
    return errorOfFinite(segment.origin, segment.direction, segment.length, q);
}

void reassignPixels(const BinarySignal<2, unsigned>& skeleton,
                    const Signal<2, unsigned short>& labels, std::vector<LineSegment>& segments,
                    unsigned iterations, float distance) {
    const unsigned width = skeleton.width(), height = skeleton.height();
    if (labels.width() != width || labels.height() != height)
        throw SignalSizeException();

    // The skeleton pixels in row-major order, visited the same way every round.
    std::vector<Pixel> pixels;
    for (unsigned y = 0; y < height; ++y)
        skeleton.forEachSetInRow(y, [&](unsigned x) { pixels.push_back(Pixel{x, y}); });

    // A segment given the same points as in the round before fits to the same line again, so
    // from the second round on only segments whose points changed are fitted.
    std::vector<char> refit(segments.size(), 1);
    std::vector<Geometry> geometry(segments.size());
    std::vector<std::uint32_t> previous, current(pixels.size(), unassigned);
    for (unsigned round = 1; round <= iterations; ++round) {
        for (std::size_t i = 0; i < segments.size(); ++i) {
            LineSegment& s = segments[i];
            if (refit[i])
                s.fit();
            s.points.clear();
            s.regions.clear();
            geometry[i] = Geometry{s.origin, s.direction, s.length, finiteGeometry(s)};
        }
        // A distance that no pixel can be under assigns nothing; one too large for the grid
        // makes every segment a candidate everywhere.
        const bool assignable = distance > 0.0f;
        const bool gridded = assignable && distance < 1.0e4f;
        const std::vector<LineSegment> none;
        SegmentGrid grid(gridded ? segments : none, width, height, gridded ? distance : 0.0f);
        std::vector<std::uint32_t> all;
        if (assignable && !gridded)
            for (std::uint32_t s = 0; s < segments.size(); ++s)
                all.push_back(s);
        const std::vector<std::uint32_t>& everywhere = gridded ? grid.everywhere() : all;

        for (std::size_t i = 0; i < pixels.size(); ++i) {
            const Pixel& pixel = pixels[i];
            const P2 q = toPoint(pixel);
            std::uint32_t best = unassigned;
            float bestError = distance;
            auto consider = [&](std::uint32_t s) {
                const Geometry& g = geometry[s];
                const float e = g.finite ? errorOfFinite(g.origin, g.direction, g.length, q)
                                         : std::numeric_limits<float>::infinity();
                if (e < bestError || (e == bestError && best != unassigned && s < best)) {
                    bestError = e;
                    best = s;
                }
            };
            if (gridded)
                for (const std::uint32_t *s = grid.begin(pixel.x, pixel.y),
                                         *end = grid.end(pixel.x, pixel.y);
                     s != end; ++s)
                    consider(*s);
            for (std::uint32_t s : everywhere)
                consider(s);
            current[i] = best;
            if (best != unassigned)
                segments[best].points.push_back(q);
        }

        // Once a round repeats the assignment of the round before, every later round would
        // fit the same points and assign the same way again; the last one only adds counts.
        const bool last = round == iterations || current == previous;
        std::fill(refit.begin(), refit.end(), round == 1 ? 1 : 0);
        if (round > 1)
            for (std::size_t i = 0; i < pixels.size(); ++i)
                if (current[i] != previous[i]) {
                    if (current[i] != unassigned)
                        refit[current[i]] = 1;
                    if (previous[i] != unassigned)
                        refit[previous[i]] = 1;
                }
        if (last) {
            for (std::size_t i = 0; i < pixels.size(); ++i)
                if (current[i] != unassigned)
                    ++segments[current[i]].regions[labels(pixels[i].x, pixels[i].y)];
            break;
        }
        previous.swap(current);
        current.assign(pixels.size(), unassigned);
    }
    for (std::size_t i = 0; i < segments.size(); ++i)
        if (refit[i])
            segments[i].fit();
}

} // namespace ZELK
