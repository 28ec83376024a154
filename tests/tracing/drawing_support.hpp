// Small drawings for the tracing and export tests: polyline sets over given points, segments
// between two points, and a text sink for the writers.
#pragma once

#include <string>
#include <vector>

#include "core/streams.hpp"
#include "tracing/line_segment.hpp"
#include "tracing/polyline_set.hpp"

namespace PenvexTest {

using P2 = ZELK::Point<2, float>;

// The vertices exactly at the points (count 1 each, never merged) and the given polylines.
inline ZELK::PolylineSet makeSet(const std::vector<P2>& points,
                                 const std::vector<ZELK::Polyline>& polylines) {
    ZELK::PolylineSet set(2.0f);
    for (const P2& p : points)
        set.vertices().push_back(ZELK::PositionAccumulator{p, 1});
    set.polylines() = polylines;
    return set;
}

// A fitted-looking segment from a to b, with `count` pixels of the region (none for 0).
inline ZELK::LineSegment between(const P2& a, const P2& b, std::uint16_t region,
                                 std::uint32_t count = 5) {
    ZELK::LineSegment s;
    s.origin = a;
    s.length = distance(a, b);
    s.direction = (b - a) / s.length;
    s.valid = true;
    if (region != 0)
        s.regions[region] = count;
    return s;
}

class StringStream : public ZELK::WriteStream {
public:
    void write(const void* src, std::uint64_t count) override {
        text.append(static_cast<const char*>(src), count);
    }
    std::string text;
};

} // namespace PenvexTest
