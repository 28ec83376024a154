// The lines background method: the four strongest straight edges of the coarse copy.
#include <algorithm>

#include "background/edges.hpp"
#include "background/hough.hpp"
#include "background/outline.hpp"
#include "raster/filters.hpp"
#include "raster/visual.hpp"

namespace ZELK {

bool detectOutlineByLines(const Signal<2, unsigned char>& grey, const VS::Context& view,
                          Point<2, int> corners[4]) {
    if (grey.empty())
        return false;
    Signal<2, unsigned char> coarse;
    const float f = coarseCopy(grey, view, coarse);

    Signal<2, short> gx, gy, squared, thinned;
    applyKernel(coarse, SobelX, gx);
    applyKernel(coarse, SobelY, gy);
    gradientSquared(gx, gy, squared);
    sendSignal(view.child("Background gradient squared"), squared);
    suppressNonMaxima(squared, gx, gy, thinned);
    sendSignal(view.child("Background gradient local maximas"), thinned);

    const short t = edgeThreshold(thinned);
    BinarySignal<2, unsigned> strong, weak;
    thresholdEdges(thinned, t, strong, weak);
    sendMask(view.child("Background strong edges"), strong);
    sendMask(view.child("Background weak edges"), weak);
    hysteresis(strong, weak);
    sendMask(view.child("Background final edges"), strong);

    const unsigned width = coarse.width();
    const unsigned height = coarse.height();
    const std::uint32_t side = houghSide(width, height);
    if (side < 2 || std::uint64_t(side) * side > maxHoughCells)
        return false;
    Signal<2, float> accumulator, maxima;
    houghVote(strong, side, accumulator);
    sendSignal(view.child("Background hough"), accumulator);
    keepLocalMaxima(accumulator, maxima);
    const VS::Context peaksView = view.child("Background hough local max");
    sendSignal(peaksView, maxima);
    const std::vector<HoughPeak> peaks = selectPeaks(maxima);
    std::vector<Point<2, float>> cells;
    for (const HoughPeak& p : peaks)
        cells.emplace_back(float(p.cell[0]), float(p.cell[1]));
    sendPointOverlay(peaksView, cells);

    Point<2, int> coarseCorners[4];
    if (!cornersFromPeaks(peaks, side, width, height, coarseCorners))
        return false;
    for (unsigned k = 0; k < 4; ++k)
        corners[k] = scaleCorner(float(coarseCorners[k][0]), float(coarseCorners[k][1]), f);
    return true;
}

} // namespace ZELK
