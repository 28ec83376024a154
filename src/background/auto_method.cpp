// The automatic sheet finder: regions of several brightness splits compete as candidate
// sheets under a score of what a sheet is, and the winner's sides are refined on the full
// image.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "background/hull.hpp"
#include "background/outline.hpp"
#include "core/histogram.hpp"
#include "raster/class_split.hpp"
#include "raster/filters.hpp"
#include "raster/labelling.hpp"
#include "raster/morphology.hpp"
#include "raster/visual.hpp"

namespace ZELK {

namespace {

using Image = Signal<2, unsigned char>;
using Mask = BinarySignal<2, unsigned>;
using Quad = std::array<Point<2, float>, 4>;

// Width of the copy candidates are looked for on: fine enough that a corner found there is
// within a few pixels of the truth before refinement, coarse enough to be quick.
constexpr unsigned searchWidth = 320;

// The class split of the histogram of image values within [low, high].
unsigned splitBetween(const Image& image, unsigned low, unsigned high) {
    std::array<std::uint32_t, 256> counts{};
    for (std::uint32_t i = 0; i < image.count(); ++i) {
        const unsigned v = image.data()[i];
        if (v >= low && v <= high)
            ++counts[v];
    }
    bool lowerIsLarger = false;
    return findClassSplit(counts.data(), 256, lowerIsLarger);
}

// 4-connected regions of the mask as lists of pixel indices. On a picture so tall and narrow
// that its search copy holds more than 65535 regions the labels wrap, and regions that share
// a label are judged as one; no sheet looks like that.
std::vector<std::vector<std::uint32_t>> regionsOf(const Mask& mask) {
    LabelCounter<unsigned short> counter;
    Signal<2, unsigned short> labels;
    labelRegions(mask, counter, labels);
    std::vector<std::vector<std::uint32_t>> regions(65535);
    for (std::uint32_t i = 0; i < labels.count(); ++i)
        if (labels.data()[i] != 0)
            regions[labels.data()[i] - 1].push_back(i);
    std::erase_if(regions, [](const auto& region) { return region.empty(); });
    return regions;
}

double quadArea(const Quad& q) {
    double twice = 0.0;
    for (unsigned k = 0; k < 4; ++k) {
        const Point<2, float>& a = q[k];
        const Point<2, float>& b = q[(k + 1) % 4];
        twice += double(a[0]) * b[1] - double(b[0]) * a[1];
    }
    return twice / 2.0;
}

bool convexCounterClockwise(const Quad& q) {
    for (unsigned k = 0; k < 4; ++k) {
        const Point<2, float>& a = q[k];
        const Point<2, float>& b = q[(k + 1) % 4];
        const Point<2, float>& c = q[(k + 2) % 4];
        const double cross = (double(b[0]) - a[0]) * (double(c[1]) - b[1]) -
                             (double(b[1]) - a[1]) * (double(c[0]) - b[0]);
        if (!(cross > 0.0))
            return false;
    }
    return true;
}

// Bilinear sample of the image at (x, y); false outside.
bool sampleAt(const Image& image, float x, float y, float& value) {
    if (!(x >= 0.0f && y >= 0.0f && x <= float(image.width() - 1) &&
          y <= float(image.height() - 1)))
        return false;
    const auto x0 = static_cast<unsigned>(x), y0 = static_cast<unsigned>(y);
    const unsigned x1 = std::min(x0 + 1, image.width() - 1);
    const unsigned y1 = std::min(y0 + 1, image.height() - 1);
    const float fx = x - float(x0), fy = y - float(y0);
    const float top = image(x0, y0) + fx * (float(image(x1, y0)) - image(x0, y0));
    const float bottom = image(x0, y1) + fx * (float(image(x1, y1)) - image(x0, y1));
    value = top + fy * (bottom - top);
    return true;
}

// The weakest side's contrast: for each side, the median over points along it of the
// difference between the image just inside and just outside. 0 when a side runs along the
// image border (nothing outside to compare with).
float weakestSideContrast(const Image& image, const Quad& q, float offset) {
    float weakest = 255.0f;
    for (unsigned k = 0; k < 4; ++k) {
        const Point<2, float>& a = q[k];
        const Point<2, float>& b = q[(k + 1) % 4];
        const float dx = b[0] - a[0], dy = b[1] - a[1];
        const float length = std::sqrt(dx * dx + dy * dy);
        if (!(length > 0.0f))
            return 0.0f;
        // Counter-clockwise with y up: the inside lies to the left.
        const float nx = -dy / length, ny = dx / length;
        std::vector<float> differences;
        for (unsigned i = 1; i < 20; ++i) {
            const float t = float(i) / 20.0f;
            const float x = a[0] + t * dx, y = a[1] + t * dy;
            float inside = 0.0f, outside = 0.0f;
            if (sampleAt(image, x + offset * nx, y + offset * ny, inside) &&
                sampleAt(image, x - offset * nx, y - offset * ny, outside))
                differences.push_back(std::fabs(inside - outside));
        }
        if (differences.size() < 10)
            return 0.0f;
        std::nth_element(differences.begin(), differences.begin() + differences.size() / 2,
                         differences.end());
        weakest = std::min(weakest, differences[differences.size() / 2]);
    }
    return weakest;
}

struct Candidate {
    Quad corners;
    float score = 0.0f;
};

// The region as a sheet: its hull's four sharpest vertices, if the region fills the
// quadrilateral they make and the quadrilateral stands out from its surround on every side.
bool judgeRegion(const std::vector<std::uint32_t>& region, const Image& coarse, const Image& raw,
                 Candidate& out) {
    const unsigned width = coarse.width();
    const double pixels = double(width) * coarse.height();
    // A sheet covers a fair part of the picture, and is not the picture itself.
    if (double(region.size()) < 0.04 * pixels || double(region.size()) > 0.92 * pixels)
        return false;
    std::vector<Point<2, int>> points;
    points.reserve(region.size());
    for (std::uint32_t at : region)
        points.emplace_back(int(at % width), int(at / width));
    std::vector<Point<2, float>> hull = convexHull(points);
    simplifyHull(hull);
    std::uint32_t chosen[4];
    if (!sharpestVertices(hull, chosen))
        return false;
    Quad q;
    for (unsigned k = 0; k < 4; ++k)
        q[k] = hull[chosen[k]];
    if (!convexCounterClockwise(q))
        return false;
    const double area = quadArea(q);
    // The pixels count their whole square; the hull runs through their centres.
    const double fill = double(region.size()) / (area + 0.5 * std::sqrt(area) * 4.0);
    if (fill < 0.85)
        return false;
    // A sheet's edge is a step, seen at any distance from it; a drawn line (a square drawn on
    // the paper) differs from the paper only close by, so the farther look rules it out.
    const float contrast =
        std::min(weakestSideContrast(coarse, q, 3.0f), weakestSideContrast(coarse, q, 10.0f));
    if (contrast < 12.0f)
        return false;
    // A sheet's surface is plain with sparse strokes; a patch of dense hatching is not.
    std::array<std::uint32_t, 256> values{};
    for (std::uint32_t at : region)
        ++values[raw.data()[at]];
    // The median: the first value at which at least half of the region is counted.
    const auto middle = [&](const std::array<std::uint32_t, 256>& counts) {
        return firstBinBeyond(counts.data(), 256, (region.size() - 1) / 2);
    };
    const unsigned median = middle(values);
    std::array<std::uint32_t, 256> deviations{};
    for (unsigned v = 0; v < 256; ++v)
        deviations[unsigned(std::abs(int(v) - int(median)))] += values[v];
    if (float(middle(deviations)) * 3.0f > contrast)
        return false;
    out.corners = q;
    out.score = contrast * float(std::min(fill, 1.0)) * float(std::sqrt(area / pixels));
    return true;
}

// Moves each side of the quadrilateral (in grey pixels) onto the strongest edge across it
// within reach pixels, by a least-squares line through edge points found along the side, and
// takes the new corners where the lines meet. A side with too few edge points stays.
Quad refineSides(const Image& grey, const Quad& q, float reach) {
    std::array<std::array<double, 3>, 4> lines{}; // a x + b y = c
    for (unsigned k = 0; k < 4; ++k) {
        const Point<2, float>& a = q[k];
        const Point<2, float>& b = q[(k + 1) % 4];
        const float dx = b[0] - a[0], dy = b[1] - a[1];
        const float length = std::sqrt(dx * dx + dy * dy);
        const float nx = -dy / length, ny = dx / length;
        std::vector<Point<2, float>> found;
        const unsigned steps = 60;
        for (unsigned i = 3; i + 3 < steps; ++i) {
            const float t = float(i) / float(steps);
            const float x = a[0] + t * dx, y = a[1] + t * dy;
            float best = 0.0f, bestAt = 0.0f, previous = 0.0f;
            bool havePrevious = false;
            for (float s = -reach; s <= reach; s += 0.5f) {
                float v = 0.0f;
                if (!sampleAt(grey, x + s * nx, y + s * ny, v)) {
                    havePrevious = false;
                    continue;
                }
                if (havePrevious && std::fabs(v - previous) > best) {
                    best = std::fabs(v - previous);
                    bestAt = s - 0.25f;
                }
                previous = v;
                havePrevious = true;
            }
            if (best > 4.0f)
                found.emplace_back(x + bestAt * nx, y + bestAt * ny);
        }
        if (found.size() < 12) {
            lines[k] = {nx, ny, double(nx) * a[0] + double(ny) * a[1]};
            continue;
        }
        // Total least squares: the line through the mean along the main direction.
        double mx = 0, my = 0;
        for (const auto& p : found) {
            mx += p[0];
            my += p[1];
        }
        mx /= double(found.size());
        my /= double(found.size());
        double sxx = 0, sxy = 0, syy = 0;
        for (const auto& p : found) {
            sxx += (p[0] - mx) * (p[0] - mx);
            sxy += (p[0] - mx) * (p[1] - my);
            syy += (p[1] - my) * (p[1] - my);
        }
        const double angle = 0.5 * std::atan2(2.0 * sxy, sxx - syy);
        const double la = -std::sin(angle), lb = std::cos(angle);
        lines[k] = {la, lb, la * mx + lb * my};
    }
    Quad refined = q;
    for (unsigned k = 0; k < 4; ++k) {
        // Corner k lies on side k - 1 and side k.
        const auto& l1 = lines[(k + 3) % 4];
        const auto& l2 = lines[k];
        const double det = l1[0] * l2[1] - l1[1] * l2[0];
        if (std::fabs(det) < 1e-6)
            continue;
        const double x = (l1[2] * l2[1] - l1[1] * l2[2]) / det;
        const double y = (l1[0] * l2[2] - l1[2] * l2[0]) / det;
        // A refined corner far from the coarse one means an edge was mistaken; keep the coarse.
        if (std::hypot(x - q[k][0], y - q[k][1]) <= 2.0 * reach)
            refined[k] = Point<2, float>(float(x), float(y));
    }
    return refined;
}

} // namespace

bool detectOutlineAuto(const Signal<2, unsigned char>& grey, const VS::Context& view,
                       Point<2, int> corners[4]) {
    if (grey.width() < 16 || grey.height() < 16)
        return false;
    Image raw;
    const float f = reducedCopy(grey, searchWidth, raw);
    Image coarse;
    medianFilter(raw, Tuple<2, unsigned>(5u, 5u), coarse);
    sendSignal(view.child("Background coarse"), coarse);

    // Splits of the brightness: the main one, and one within each side of it, so that a sheet
    // can be told from a surround of nearly its brightness (a white wall around a whiteboard).
    const unsigned main = splitBetween(coarse, 0, 255);
    const unsigned splits[3] = {main, splitBetween(coarse, 0, main),
                                splitBetween(coarse, main + 1, 255)};
    Candidate best;
    bool found = false;
    for (unsigned t : splits) {
        for (bool bright : {true, false}) {
            Mask mask(coarse.sizes());
            mask.clear();
            for (unsigned y = 0; y < coarse.height(); ++y)
                for (unsigned x = 0; x < coarse.width(); ++x)
                    if ((coarse(x, y) > t) == bright)
                        mask.set(x, y);
            // Opening then closing: thin bridges to the surround go, strokes' gaps fill.
            Mask work;
            erode(mask, work);
            dilate(work, mask);
            dilate(mask, work);
            erode(work, mask);
            for (const auto& region : regionsOf(mask)) {
                Candidate candidate;
                if (judgeRegion(region, coarse, raw, candidate) &&
                    (!found || candidate.score > best.score)) {
                    best = candidate;
                    found = true;
                }
            }
        }
    }
    if (!found)
        return false;

    Quad q;
    for (unsigned k = 0; k < 4; ++k)
        q[k] = Point<2, float>((best.corners[k][0] + 0.5f) / f - 0.5f,
                               (best.corners[k][1] + 0.5f) / f - 0.5f);
    q = refineSides(grey, q, 3.0f / f);
    sendClosedPolyline(view.child("Background sheet"), {q.begin(), q.end()});

    // Counter-clockwise from the corner nearest the bottom left, so that a rectified drawing
    // stands upright.
    unsigned start = 0;
    for (unsigned k = 1; k < 4; ++k)
        if (q[k][0] + q[k][1] < q[start][0] + q[start][1])
            start = k;
    for (unsigned k = 0; k < 4; ++k) {
        const Point<2, float>& p = q[(start + k) % 4];
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]))
            return false;
        corners[k] = scaleCorner(p[0], p[1], 1.0f);
    }
    return true;
}

} // namespace ZELK
