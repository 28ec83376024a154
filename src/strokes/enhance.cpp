// Top-hat decision and the border-ring fill of the local-mean source.
#include "strokes/enhance.hpp"

#include "core/histogram.hpp"
#include "raster/class_split.hpp"
#include "raster/filters.hpp"
#include "raster/morphology.hpp"

namespace ZELK {

bool topHatTransform(Signal<2, unsigned char>& image) {
    DenseHistogram<unsigned char> histogram;
    histogram.add(image.data(), image.count());
    bool darkIsLarger = false;
    findClassSplit(histogram.counters(), DenseHistogram<unsigned char>::binCount, darkIsLarger);
    const Tuple<2, unsigned> window(topHatWindow, topHatWindow);
    Signal<2, unsigned char> extreme;
    if (darkIsLarger) {
        minimumFilter(image, window, extreme);
        image -= extreme; // never below 0: the minimum is at most the pixel
    } else {
        maximumFilter(image, window, extreme);
        extreme -= image;
        image = std::move(extreme);
    }
    return darkIsLarger;
}

bool fillOutsideWithBorderMean(const Signal<2, unsigned char>& grey,
                               const BinarySignal<2, unsigned>& mask,
                               Signal<2, unsigned char>& work) {
    if (grey.width() != mask.width() || grey.height() != mask.height())
        throw SignalSizeException();
    BinarySignal<2, unsigned> ring;
    erode(mask, ring);
    ring ^= mask;

    std::uint64_t sum = 0;
    std::uint32_t count = 0;
    for (unsigned y = 0; y < grey.height(); ++y) {
        const unsigned char* in = grey.row(y);
        ring.forEachSetInRow(y, [&](unsigned x) {
            sum += in[x];
            ++count;
        });
    }
    if (count == 0)
        return false;
    const auto mean = static_cast<unsigned char>(sum / count);

    BinarySignal<2, unsigned> outside(mask);
    outside.invert();
    work.assign(grey);
    for (unsigned y = 0; y < grey.height(); ++y) {
        unsigned char* out = work.row(y);
        outside.forEachSetInRow(y, [&](unsigned x) { out[x] = mean; });
    }
    return true;
}

} // namespace ZELK
