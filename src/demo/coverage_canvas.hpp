// The coverage canvas: the union of polygons over a pixel grid, kept per row as fully covered
// runs and partially covered pixels, and painted onto a picture in one colour.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "core/color.hpp"
#include "core/tuple.hpp"
#include "demo/rgb_image.hpp"

namespace ZELK {

// Pixel (x, y) is the square [x, x + 1] x [y, y + 1]. A pixel is fully covered only when one
// polygon contains the whole square; otherwise its coverage is the fraction of its area inside
// the polygons, where overlapping coverages a and b combine as 1 - (1 - a)(1 - b).
class CoverageCanvas {
public:
    // Most corners a polygon may have: enough for every shape the renderer draws (quads).
    static constexpr std::size_t maxCorners = 8;

    CoverageCanvas(std::uint32_t width, std::uint32_t height);

    std::uint32_t width() const { return width_; }
    std::uint32_t height() const { return height_; }

    // Empties the canvas.
    void reset();

    // Adds the inside of a convex polygon whose corners are given in order (either turn). The
    // part outside the canvas is cut away. A polygon with fewer than 3 corners, a non-finite
    // corner or no area adds nothing; more than maxCorners corners raise
    // UnexpectedValueException.
    void addConvexPolygon(std::span<const Point<2, float>> corners);

    // Adds the rectangle around a segment: origin and its end origin + length * direction
    // (direction of unit length), widened by thickness / 2 on each side, with square ends that
    // do not reach beyond the end points. A length or thickness that is not above 0 adds
    // nothing.
    void addThickSegment(const Point<2, float>& origin, const Vector<2, float>& direction,
                         float length, float thickness);

    // 1 for a fully covered pixel, the combined partial coverage otherwise (0 when nothing
    // touches it).
    float coverage(std::uint32_t x, std::uint32_t y) const;
    bool fullyCovered(std::uint32_t x, std::uint32_t y) const;

    // Paints the canvas in colour k: a fully covered pixel gets trunc(255 k) per channel, a
    // partially covered one with coverage c gets trunc(255 ((1 - c) old + c k)) with old its
    // channel value / 255. The image must have the canvas's size.
    void paint(RgbImage& image, const Color& k) const;

private:
    struct Partial {
        std::uint32_t x;
        // Fraction of the pixel's area covered, in (0, 1].
        float covered;
    };
    // Sorted, disjoint runs [first, second) of fully covered pixels, and the partially covered
    // pixels sorted by x (entries inside a full run are shadowed by it).
    struct Row {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> full;
        std::vector<Partial> partial;
    };

    void addFullRun(Row& row, std::uint32_t begin, std::uint32_t end);
    void mergePartials(Row& row);

    std::uint32_t width_;
    std::uint32_t height_;
    std::vector<Row> rows_;
    // Partial coverages of the polygon being added to one row, before they are merged.
    std::vector<Partial> pending_;
    std::vector<Partial> merged_;
};

} // namespace ZELK
