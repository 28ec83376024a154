// The coarse copy both background methods start from, and the way back from its frame.
#include <algorithm>

#include "background/outline.hpp"
#include "raster/filters.hpp"
#include "raster/resize.hpp"
#include "raster/visual.hpp"

namespace ZELK {

float reducedCopy(const Signal<2, unsigned char>& grey, unsigned width,
                  Signal<2, unsigned char>& reduced) {
    const float f = float(width) / float(grey.width());
    if (f >= 1.0f) {
        reduced.assign(grey);
        return 1.0f;
    }
    downscale(grey, scaledSize(grey.sizes(), f), reduced);
    return f;
}

float coarseCopy(const Signal<2, unsigned char>& grey, const VS::Context& view,
                 Signal<2, unsigned char>& coarse) {
    const float f = reducedCopy(grey, coarseWidth, coarse);
    medianFilter(coarse, Tuple<2, unsigned>(5u, 5u), coarse);
    sendSignal(view.child("Background coarse"), coarse);
    return f;
}

Point<2, int> scaleCorner(float x, float y, float f) {
    // 2^30 is far outside any image yet leaves room for the mask's arithmetic.
    constexpr float limit = 1073741824.0f;
    auto convert = [&](float v) {
        const float scaled = v / f + 0.5f;
        return static_cast<int>(std::clamp(scaled, -limit, limit));
    };
    return Point<2, int>(convert(x), convert(y));
}

} // namespace ZELK
