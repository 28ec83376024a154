// The Hough part of the lines background method: votes of edge pixels for lines
// x cos(theta) + y sin(theta) = r, the local maxima, the four strongest well-separated peaks
// and the sheet corners where the paired lines meet.
#pragma once

#include <cstdint>
#include <vector>

#include "core/limits.hpp"
#include "core/signal.hpp"
#include "core/tuple.hpp"

namespace ZELK {

inline constexpr std::uint64_t maxHoughCells = Limits::maxHoughCells;

// Weakest accumulator value that can be a peak, and the squared cell distance below which two
// peaks are the same line.
inline constexpr float minHoughVotes = 16.0f;
inline constexpr int minPeakDistanceSquared = 225;

// Side D of the accumulator for a W x H image: trunc(sqrt(W^2 + H^2)).
std::uint32_t houghSide(unsigned width, unsigned height);

// Angle of index u: u * 2 pi / (D - 1), brought into [-pi, pi) (indices 0 and D - 1 both mean
// angle 0, so the circle of indices wraps). D must be at least 2.
float houghAngle(std::uint32_t u, std::uint32_t side);

// accumulator (D x D, u first) gets one vote per edge pixel (x, y) and angle index u at
// r = trunc(x cos(theta) + y sin(theta)) when 0 <= r < D. D must be at least 2.
void houghVote(const BinarySignal<2, unsigned>& edges, std::uint32_t side,
               Signal<2, float>& accumulator);

// Cells that no cell of their 3 x 3 neighbourhood (inside the accumulator) exceeds keep their
// value; all others become 0.
void keepLocalMaxima(const Signal<2, float>& accumulator, Signal<2, float>& maxima);

struct HoughPeak {
    Point<2, int> cell; // (u, r)
    float value = 0.0f;
};

// Angle distance of two indices on the circle of D angles: |a - b|, or D minus that when it
// exceeds D / 2.
int wrappedAngleDistance(int a, int b, std::uint32_t side);

// Up to four peaks of the local-maximum image, scanned in memory order (r outer): a cell of
// at least 16 votes (that, once four peaks are kept, beats the weakest of them) becomes a new
// peak when at least 15 cells from every kept one (replacing the weakest when four are kept),
// or else moves its nearest peak to itself when stronger than it.
std::vector<HoughPeak> selectPeaks(const Signal<2, float>& maxima);

// Pairs four peaks into two roughly parallel pairs by angle, intersects each line of one pair
// with each line of the other, and orders the intersections counter-clockwise by angle around
// their integer centroid, starting from the positive x axis. False when two lines do not
// meet or a corner lies outside [0, W) x [0, H).
bool cornersFromPeaks(const std::vector<HoughPeak>& peaks, std::uint32_t side, unsigned width,
                      unsigned height, Point<2, int> corners[4]);

} // namespace ZELK
