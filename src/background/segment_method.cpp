// The segmentation background method: the sheet as the region most present in the centre.
#include <algorithm>
#include <array>
#include <cmath>

#include "background/hull.hpp"
#include "background/outline.hpp"
#include "core/histogram.hpp"
#include "raster/class_split.hpp"
#include "raster/filters.hpp"
#include "raster/labelling.hpp"
#include "raster/morphology.hpp"
#include "raster/resize.hpp"
#include "raster/visual.hpp"

namespace ZELK {

namespace {

// Most frequent value among the label samples of the central window, ties to the smaller
// value: h/2 runs of w/2 values, w apart, starting at the element offset
// w/4 + (w * (h/2)) / 2 (for sizes divisible by 4, columns w/4 to 3w/4 - 1 and rows h/4 to
// 3h/4 - 1). When h/2 is odd the start falls half a row further, so a run may continue on the
// next row; the last sample still lies inside the image. Returns the value and writes its count.
unsigned char centralMode(const Signal<2, unsigned char>& labels, std::uint32_t& count) {
    const std::uint32_t w = labels.width();
    const std::uint32_t h = labels.height();
    std::array<std::uint32_t, 256> bins{};
    const std::uint64_t start = w / 4 + (std::uint64_t(w) * (h / 2)) / 2;
    for (std::uint32_t row = 0; row < h / 2; ++row) {
        const unsigned char* p = labels.data() + start + std::uint64_t(row) * w;
        for (std::uint32_t i = 0; i < w / 2; ++i)
            ++bins[p[i]];
    }
    unsigned best = 0;
    for (unsigned v = 1; v < 256; ++v)
        if (bins[v] > bins[best])
            best = v;
    count = bins[best];
    return static_cast<unsigned char>(best);
}

} // namespace

bool detectOutlineBySegmentation(const Signal<2, unsigned char>& grey, const VS::Context& view,
                                 Point<2, int> corners[4]) {
    if (grey.empty())
        return false;
    Signal<2, unsigned char> coarse;
    const float f = coarseCopy(grey, view, coarse);

    DenseHistogram<unsigned char> histogram;
    histogram.add(coarse.data(), coarse.count());
    sendHistogram(view.child("Background histogram"), histogram.counters(),
                  DenseHistogram<unsigned char>::binCount);
    bool lowerIsLarger = false;
    const std::uint32_t t = findClassSplit(histogram.counters(),
                                           DenseHistogram<unsigned char>::binCount, lowerIsLarger);

    // The larger class is taken as the surface; the threshold value belongs to it either way.
    const unsigned width = coarse.width();
    const unsigned height = coarse.height();
    BinarySignal<2, unsigned> surface(coarse.sizes());
    surface.clear();
    for (unsigned y = 0; y < height; ++y) {
        const unsigned char* in = coarse.row(y);
        for (unsigned x = 0; x < width; ++x)
            if (lowerIsLarger ? in[x] <= t : in[x] >= t)
                surface.set(x, y);
    }
    sendMask(view.child("Background segmentation"), surface);

    BinarySignal<2, unsigned> work;
    erode(surface, work);
    dilate(work, surface);
    dilate(surface, work);
    erode(work, surface);

    LabelCounter<unsigned char> counter;
    Signal<2, unsigned char> labelsA, labelsB;
    labelRegions(surface, counter, labelsA);
    surface.invert();
    labelRegions(surface, counter, labelsB);

    std::uint32_t countA = 0, countB = 0;
    const unsigned char winnerA = centralMode(labelsA, countA);
    const unsigned char winnerB = centralMode(labelsB, countB);
    if (countA == 0 && countB == 0)
        return false;
    const bool useB = countA < countB;
    const Signal<2, unsigned char>& labels = useB ? labelsB : labelsA;
    const unsigned char winner = useB ? winnerB : winnerA;
    sendSignal(view.child("Background largest label"), labels);

    BinarySignal<2, unsigned> region(labels.sizes());
    region.clear();
    for (unsigned y = 0; y < height; ++y) {
        const unsigned char* in = labels.row(y);
        for (unsigned x = 0; x < width; ++x)
            if (in[x] == winner)
                region.set(x, y);
    }
    BinarySignal<2, unsigned> boundary;
    erode(region, boundary);
    boundary ^= region;
    boundary.clearPadding();
    const VS::Context hullView = view.child("Background hull");
    sendMask(hullView, boundary);

    std::vector<Point<2, int>> points;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            if (boundary.get(x, y))
                points.emplace_back(int(x), int(y));
    std::vector<Point<2, float>> hull = convexHull(points);
    simplifyHull(hull);
    sendClosedPolyline(hullView, hull);

    std::uint32_t chosen[4];
    if (!sharpestVertices(hull, chosen))
        return false;
    unsigned start = 0;
    for (unsigned m = 1; m < 4; ++m)
        if (hull[chosen[m]][0] + hull[chosen[m]][1] <
            hull[chosen[start]][0] + hull[chosen[start]][1])
            start = m;
    Point<2, int> found[4];
    for (unsigned m = 0; m < 4; ++m) {
        const Point<2, float>& p = hull[chosen[(start + m) % 4]];
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]))
            return false;
        found[m] = scaleCorner(p[0], p[1], f);
    }
    std::copy_n(found, 4, corners);
    return true;
}

} // namespace ZELK
