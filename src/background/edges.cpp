// Edge maps for the lines background method.
#include "background/edges.hpp"

#include <cstdlib>
#include <memory>
#include <vector>

#include "core/histogram.hpp"
#include "raster/class_split.hpp"
#include "raster/morphology.hpp"

namespace ZELK {

namespace {

inline unsigned clampIndex(std::int64_t i, unsigned size) {
    return i < 0 ? 0u : (i >= std::int64_t(size) ? size - 1 : unsigned(i));
}

inline int sign(int v) {
    return (v > 0) - (v < 0);
}

} // namespace

void applyKernel(const Signal<2, unsigned char>& source, const SignalFilterKernel<short>& kernel,
                 Signal<2, short>& destination) {
    const unsigned width = source.width();
    const unsigned height = source.height();
    destination.resize(source.sizes());
    const unsigned kw = kernel.width, kh = kernel.height;
    if (source.empty() || kw * kh > kernel.coefficients.size() || kw == 0 || kh == 0)
        return;
    std::vector<unsigned> columns(std::size_t(width) * kw);
    for (unsigned x = 0; x < width; ++x)
        for (unsigned i = 0; i < kw; ++i)
            columns[std::size_t(x) * kw + i] = clampIndex(std::int64_t(x) + i - kw / 2, width);
    std::vector<const unsigned char*> rows(kh);
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned j = 0; j < kh; ++j)
            rows[j] = source.row(clampIndex(std::int64_t(y) + j - kh / 2, height));
        short* out = destination.row(y);
        for (unsigned x = 0; x < width; ++x) {
            int sum = 0;
            const unsigned* column = &columns[std::size_t(x) * kw];
            for (unsigned j = 0; j < kh; ++j)
                for (unsigned i = 0; i < kw; ++i)
                    sum += kernel.coefficients[j * kw + i] * rows[j][column[i]];
            out[x] = static_cast<short>(sum);
        }
    }
}

void gradientSquared(const Signal<2, short>& gx, const Signal<2, short>& gy,
                     Signal<2, short>& squared) {
    requireSameSizes(gx, gy);
    squared.resize(gx.sizes());
    const short* a = gx.data();
    const short* b = gy.data();
    short* out = squared.data();
    for (std::uint32_t i = 0; i < gx.count(); ++i) {
        const int sx = a[i] >> 4;
        const int sy = b[i] >> 4;
        out[i] = static_cast<short>(sx * sx + sy * sy);
    }
}

void suppressNonMaxima(const Signal<2, short>& squared, const Signal<2, short>& gx,
                       const Signal<2, short>& gy, Signal<2, short>& thinned) {
    requireSameSizes(squared, gx);
    requireSameSizes(squared, gy);
    thinned.assign(squared);
    const unsigned width = squared.width();
    const unsigned height = squared.height();
    for (unsigned y = 0; y < height; ++y) {
        const short* rowX = gx.row(y);
        const short* rowY = gy.row(y);
        const short* here = squared.row(y);
        short* out = thinned.row(y);
        for (unsigned x = 0; x < width; ++x) {
            const int ax = std::abs(int(rowX[x]));
            const int ay = std::abs(int(rowY[x]));
            // 6 / 16 ~ tan(pi / 8): a gradient within 22.5 degrees of an axis steps only along
            // that axis.
            const int sx = 16 * ax > 6 * ay ? sign(rowX[x]) : 0;
            const int sy = 16 * ay > 6 * ax ? sign(rowY[x]) : 0;
            const short value = here[x];
            const short before = squared(clampIndex(std::int64_t(x) - sx, width),
                                         clampIndex(std::int64_t(y) - sy, height));
            const short after = squared(clampIndex(std::int64_t(x) + sx, width),
                                        clampIndex(std::int64_t(y) + sy, height));
            if (before > value || after > value)
                out[x] = 0;
        }
    }
}

short edgeThreshold(const Signal<2, short>& thinned) {
    auto histogram = std::make_unique<DenseHistogram<short>>();
    histogram->add(thinned.data(), thinned.count());
    // Suppressed pixels and flat areas would dominate every split.
    histogram->counters()[DenseHistogram<short>::binOf(0)] = 0;
    bool lowerIsLarger = false;
    const std::uint32_t split =
        findClassSplit(histogram->counters(), DenseHistogram<short>::binCount, lowerIsLarger);
    const int t = int(split) - 32768;
    // A weak picture must not turn noise into edges.
    return static_cast<short>(t < 256 ? 256 : t);
}

void thresholdEdges(const Signal<2, short>& thinned, short t, BinarySignal<2, unsigned>& strong,
                    BinarySignal<2, unsigned>& weak) {
    strong.resize(thinned.sizes());
    weak.resize(thinned.sizes());
    strong.clear();
    weak.clear();
    const short half = static_cast<short>(t / 2);
    for (unsigned y = 0; y < thinned.height(); ++y) {
        const short* in = thinned.row(y);
        for (unsigned x = 0; x < thinned.width(); ++x) {
            if (in[x] >= t)
                strong.set(x, y);
            if (in[x] >= half && in[x] <= t)
                weak.set(x, y);
        }
    }
}

void hysteresis(BinarySignal<2, unsigned>& strong, const BinarySignal<2, unsigned>& weak) {
    BinarySignal<2, unsigned> grown;
    std::uint32_t count = strong.countSetBits();
    for (;;) {
        dilateSquare3(strong, grown);
        grown &= weak;
        strong |= grown;
        const std::uint32_t now = strong.countSetBits();
        if (now == count)
            return;
        count = now;
    }
}

} // namespace ZELK
