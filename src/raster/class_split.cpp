// Otsu's criterion by one sweep over the bins with running class sums.
#include "raster/class_split.hpp"

namespace ZELK {

std::uint32_t findClassSplit(const std::uint32_t* counts, std::uint32_t n, bool& lowerIsLarger) {
    // The totals and class sums are unsigned 32-bit and wrap modulo 2^32. That is the defined
    // arithmetic of this threshold: a histogram whose weighted sum passes 2^32 (about 16
    // million samples in 256 bins) takes its class means from the wrapped sums.
    std::uint32_t total = 0;
    std::uint32_t weighted = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        total += counts[i];
        weighted += i * counts[i];
    }
    float best = 0.0f;
    std::uint32_t split = 0;
    std::uint32_t w0 = 0;
    std::uint32_t s0 = 0;
    for (std::uint32_t t = 0; t < n; ++t) {
        w0 += counts[t];
        s0 += t * counts[t];
        const std::uint32_t w1 = total - w0;
        // An empty class has no mean; such a split is never a candidate.
        if (w0 == 0 || w1 == 0)
            continue;
        const std::uint32_t s1 = weighted - s0;
        const float d = float(s0) / float(w0) - float(s1) / float(w1);
        const float v = float(w1) * float(w0) * d * d;
        if (v > best) {
            best = v;
            split = t;
            lowerIsLarger = w0 > w1;
        }
    }
    return split;
}

} // namespace ZELK
