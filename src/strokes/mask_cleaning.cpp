#include "strokes/mask_cleaning.hpp"

#include <algorithm>
#include <utility>

#include "raster/morphology.hpp"

namespace ZELK {

namespace {

using Step = void (*)(const BinarySignal<2, unsigned>&, BinarySignal<2, unsigned>&);

bool sameWords(const BinarySignal<2, unsigned>& a, const BinarySignal<2, unsigned>& b) {
    return a.sizes() == b.sizes() && std::equal(a.data(), a.data() + a.count(), b.data());
}

// Applies step count times, ping-ponging between mask and work, and leaves the result in
// mask. A step that changes nothing has reached a fixed point of the step.
void repeat(BinarySignal<2, unsigned>& mask, BinarySignal<2, unsigned>& work, unsigned count,
            Step step) {
    // The first result has clean padding; compare only from then on, so that stray padding
    // bits of the input cannot look like a change.
    for (unsigned i = 0; i < count; ++i) {
        step(mask, work);
        const bool unchanged = i > 0 && sameWords(mask, work);
        std::swap(mask, work);
        if (unchanged)
            break;
    }
}

} // namespace

void closeMask(BinarySignal<2, unsigned>& mask, BinarySignal<2, unsigned>& work, unsigned count) {
    repeat(mask, work, count, dilate);
    repeat(mask, work, count, erode);
}

void openMask(BinarySignal<2, unsigned>& mask, BinarySignal<2, unsigned>& work, unsigned count) {
    repeat(mask, work, count, erode);
    repeat(mask, work, count, dilate);
}

} // namespace ZELK
