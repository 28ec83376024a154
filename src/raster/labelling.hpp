// Region labelling of binary masks: 4-connected regions numbered in scan order from a label
// counter that may be shared between several labellings and wraps around like a small
// hardware counter.
#pragma once

#include <limits>

#include "core/signal.hpp"

namespace ZELK {

// Hands out region labels. value is the last label handed out (0 before the first); next()
// returns value + 1 and wraps from the type's maximum to 1, so 0 is never handed out after
// the start.
template <typename Label> struct LabelCounter {
    Label value = 0;

    Label next() {
        value = value == std::numeric_limits<Label>::max() ? Label(1) : Label(value + 1);
        return value;
    }
};

// Resizes labels to the mask's size and fills it with counter.value (the value of every pixel
// outside the set). Then scans the mask row by row (x fastest) and gives each set pixel that
// no region has reached yet, together with its whole 4-connected region (left, right, up,
// down), the label counter.next(). Padding bits of the mask are ignored. Work memory is one
// bit per pixel plus a stack of at most one entry per set pixel; no recursion.
template <typename Label>
void labelRegions(const BinarySignal<2, unsigned>& set, LabelCounter<Label>& counter,
                  Signal<2, Label>& labels);

extern template void labelRegions<unsigned char>(const BinarySignal<2, unsigned>&,
                                                 LabelCounter<unsigned char>&,
                                                 Signal<2, unsigned char>&);
extern template void labelRegions<unsigned short>(const BinarySignal<2, unsigned>&,
                                                  LabelCounter<unsigned short>&,
                                                  Signal<2, unsigned short>&);

} // namespace ZELK
