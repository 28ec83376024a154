// Half-plane test per pixel, then two cross erosions.
#include "background/mask.hpp"

#include <cmath>
#include <limits>

#include "raster/morphology.hpp"

namespace ZELK {

void buildBackgroundMask(const Point<2, int> corners[4], unsigned width, unsigned height,
                         BinarySignal<2, unsigned>& mask) {
    float nx[4], ny[4], d[4];
    for (unsigned k = 0; k < 4; ++k) {
        const Point<2, int>& a = corners[k];
        const Point<2, int>& b = corners[(k + 1) % 4];
        float x = float(a[1] - b[1]);
        float y = float(b[0] - a[0]);
        const double length = std::sqrt(double(x * x + y * y));
        if (length < double(std::numeric_limits<float>::epsilon())) {
            x = 0.0f;
            y = 0.0f;
        } else {
            x = float(x / length);
            y = float(y / length);
        }
        nx[k] = x;
        ny[k] = y;
        d[k] = (float(a[0]) + backgroundMaskInset * x) * x +
               (float(a[1]) + backgroundMaskInset * y) * y;
    }

    BinarySignal<2, unsigned> inside(Tuple<2, unsigned>(width, height));
    inside.clear();
    for (unsigned y = 0; y < height; ++y) {
        float rowTerm[4];
        for (unsigned k = 0; k < 4; ++k)
            rowTerm[k] = float(y) * ny[k];
        BinarySignal<2, unsigned>::Word* words = inside.row(y);
        for (unsigned x = 0; x < width; ++x) {
            bool in = true;
            for (unsigned k = 0; k < 4 && in; ++k)
                in = float(x) * nx[k] + rowTerm[k] - d[k] >= 0.0f;
            if (in)
                words[x >> 5] |= BinarySignal<2, unsigned>::Word(1) << (x & 31);
        }
    }
    BinarySignal<2, unsigned> once;
    erode(inside, once);
    erode(once, mask);
}

} // namespace ZELK
