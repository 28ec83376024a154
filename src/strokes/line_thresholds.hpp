// Splitting the filtered image into line pixels and the rest without a user threshold: a
// histogram of the filtered values, two weighted k-means classes, and the line mask.
#pragma once

#include <cstdint>
#include <set>

#include "core/signal.hpp"
#include "vs/sink.hpp"

namespace ZELK {

// Strips elements that belong to a selected set from the front, the back or both ends of an
// array (here: empty histogram bins).
template <typename T> class Trim {
public:
    enum class Mode { Front, Back, Both };

    Trim(std::set<T> selected, Mode mode) : selected_(std::move(selected)), mode_(mode) {}

    // Advances start past leading selected elements and shortens length past trailing ones,
    // as the mode allows. Nothing is read outside [start, start + length).
    void apply(const T*& start, std::uint32_t& length) const {
        if (mode_ != Mode::Back)
            while (length > 0 && selected_.count(*start) != 0) {
                ++start;
                --length;
            }
        if (mode_ != Mode::Front)
            while (length > 0 && selected_.count(start[length - 1]) != 0)
                --length;
    }

private:
    std::set<T> selected_;
    Mode mode_;
};

// The inclusive range of filtered values that counts as line.
struct LineThresholds {
    short low = 0;
    short high = 0;
};

// Counts the filtered values (only where mask is set, when a mask is given; positions outside
// the mask count as not set), clusters the trimmed histogram into two classes by weighted
// k-means and returns the value range of the class with the second-largest weight. Shows the
// items "Histogram" and "Clusters" under sink. Returns false when no value was counted or
// both classes weigh the same.
bool findThresholds(const Signal<2, short>& filtered, LineThresholds& result,
                    const BinarySignal<2, unsigned>* mask, const VS::Context& sink);

// Resizes mask to the image's size and sets exactly the pixels whose value lies in
// [low, high] (signed comparison); padding bits are 0.
void segment(BinarySignal<2, unsigned>& mask, const Signal<2, short>& filtered,
             const LineThresholds& range);

// The share of set pixels in the mask (count / (width x height), 0 for an empty mask) in
// fraction, and whether it is at most one third.
bool segmentedShareAcceptable(const BinarySignal<2, unsigned>& mask, float& fraction);

} // namespace ZELK
