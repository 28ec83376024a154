// Window filters on 8-bit images: median, minimum and maximum (grey erosion and dilation) and
// the local-mean subtraction. Every window is clamped at the image edge, so border pixels
// repeat and each window holds exactly w x h samples.
#pragma once

#include <cstdint>

#include "core/limits.hpp"
#include "core/signal.hpp"

namespace ZELK {

inline constexpr unsigned maxMedianWindow = Limits::maxMedianWindow;
inline constexpr unsigned maxLocalMeanWindow = Limits::maxLocalMeanWindow;

// The columns a window of the given width covers around x: from x - floor(w/2) to
// x + w - 1 - floor(w/2) (even widths reach one further to the negative side).
struct WindowExtent {
    unsigned before; // floor(w / 2)
    unsigned after;  // w - 1 - floor(w / 2)
    explicit WindowExtent(unsigned w) : before(w / 2), after(w - 1 - w / 2) {}
};

// For every pixel the sample of rank floor(w*h/2) (0-based, ascending) of its clamped w x h
// window: the median, the upper one for even counts. destination is resized to the source's
// size; source and destination may be the same signal. Raises BoundException<unsigned int>
// when w or h is 0 or above maxMedianWindow. Runs in O(w + h) per pixel (a running histogram
// per row), with a sorting-network path for 3 x 3.
void medianFilter(const Signal<2, unsigned char>& source, const Tuple<2, unsigned>& window,
                  Signal<2, unsigned char>& destination);

// Smallest (largest) sample of the clamped w x h window of every pixel; separable, O(w + h)
// per pixel. Size and aliasing rules as for medianFilter; w and h must be at least 1
// (BoundException otherwise).
void minimumFilter(const Signal<2, unsigned char>& source, const Tuple<2, unsigned>& window,
                   Signal<2, unsigned char>& destination);
void maximumFilter(const Signal<2, unsigned char>& source, const Tuple<2, unsigned>& window,
                   Signal<2, unsigned char>& destination);

// out(p) = I(p) - m truncated toward zero, with m = float(S) / float(w * h) and S the exact
// (64-bit) sum of the clamped w x h window around p, the centre included. The cost per pixel
// does not depend on the window size (clamped running sums). destination is resized to the
// source's size. Raises BoundException<unsigned int> when w or h is 0 or above
// maxLocalMeanWindow.
void subtractLocalMean(const Signal<2, unsigned char>& source, const Tuple<2, unsigned>& window,
                       Signal<2, short>& destination);

} // namespace ZELK
