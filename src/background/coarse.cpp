// The coarse copy both background methods start from, and the way back from its frame.
#include <algorithm>

#include "background/outline.hpp"
#include "raster/filters.hpp"
#include "raster/resize.hpp"
#include "raster/visual.hpp"

namespace ZELK {

float coarseCopy(const Signal<2, unsigned char>& grey, const VS::Context& view,
                 Signal<2, unsigned char>& coarse) {
    float f = float(coarseWidth) / float(grey.width());
    if (f >= 1.0f) {
        coarse.assign(grey);
        f = 1.0f;
    } else {
        downscale(grey, scaledSize(grey.sizes(), f), coarse);
    }
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
