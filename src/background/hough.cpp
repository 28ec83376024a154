// Hough voting, peak selection and corner construction.
#include "background/hough.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/geometry.hpp"

namespace ZELK {

std::uint32_t houghSide(unsigned width, unsigned height) {
    // Squares in unsigned 32 bits as the accumulator's definition has them; the sum is taken
    // in 64 bits so that it cannot wrap.
    const std::uint64_t squares =
        std::uint64_t(std::uint32_t(width * width)) + std::uint32_t(height * height);
    return static_cast<std::uint32_t>(std::sqrt(double(squares)));
}

// Angle of index u: half a circle, u * pi / (side - 1), brought into [-pi, pi) so that the
// last index is -pi. With r >= 0 this half circle only holds lines whose normal points into
// y >= 0 as seen from the origin; a line whose normal points into y < 0 (a near-vertical edge
// leaning right at the top) gets no votes. The detector is defined that way, and corners from
// it are relied on as they are.
float houghAngle(std::uint32_t u, std::uint32_t side) {
    constexpr float pi = std::numbers::pi_v<float>;
    float theta = float(u) * pi / float(side - 1);
    theta -= 2.0f * pi * std::floor((theta + pi) / (2.0f * pi));
    return theta;
}

void houghVote(const BinarySignal<2, unsigned>& edges, std::uint32_t side,
               Signal<2, float>& accumulator) {
    accumulator.resize(Tuple<2, unsigned>(side, side));
    accumulator.clear();
    std::vector<float> cosines(side), sines(side);
    for (std::uint32_t u = 0; u < side; ++u) {
        const float theta = houghAngle(u, side);
        cosines[u] = std::cos(theta);
        sines[u] = std::sin(theta);
    }
    float* cells = accumulator.data();
    for (unsigned y = 0; y < edges.height(); ++y)
        for (unsigned x = 0; x < edges.width(); ++x) {
            if (!edges.get(x, y))
                continue;
            const float fx = float(x), fy = float(y);
            for (std::uint32_t u = 0; u < side; ++u) {
                const int r = static_cast<int>(fx * cosines[u] + fy * sines[u]);
                if (r >= 0 && std::uint32_t(r) < side)
                    cells[std::size_t(r) * side + u] += 1.0f;
            }
        }
}

void keepLocalMaxima(const Signal<2, float>& accumulator, Signal<2, float>& maxima) {
    const unsigned w = accumulator.width();
    const unsigned h = accumulator.height();
    maxima.resize(accumulator.sizes());
    for (unsigned r = 0; r < h; ++r)
        for (unsigned u = 0; u < w; ++u) {
            const float value = accumulator(u, r);
            bool keep = true;
            for (int dr = -1; dr <= 1 && keep; ++dr)
                for (int du = -1; du <= 1 && keep; ++du) {
                    const std::int64_t nu = std::int64_t(u) + du, nr = std::int64_t(r) + dr;
                    if (nu < 0 || nr < 0 || nu >= w || nr >= h)
                        continue;
                    keep = !(accumulator(unsigned(nu), unsigned(nr)) > value);
                }
            maxima(u, r) = keep ? value : 0.0f;
        }
}

int wrappedAngleDistance(int a, int b, std::uint32_t side) {
    int du = std::abs(a - b);
    if (du > int(side / 2))
        du = int(side) - du;
    return du;
}

std::vector<HoughPeak> selectPeaks(const Signal<2, float>& maxima) {
    const std::uint32_t side = maxima.width();
    std::vector<HoughPeak> peaks;
    std::size_t weakest = 0;
    auto findWeakest = [&] {
        weakest = 0;
        for (std::size_t i = 1; i < peaks.size(); ++i)
            if (peaks[i].value < peaks[weakest].value)
                weakest = i;
    };
    for (unsigned r = 0; r < maxima.height(); ++r)
        for (unsigned u = 0; u < side; ++u) {
            const float value = maxima(u, r);
            if (!(value >= minHoughVotes))
                continue;
            if (peaks.empty()) {
                peaks.push_back({Point<2, int>(int(u), int(r)), value});
                weakest = 0;
                continue;
            }
            // Every later cell must beat the weakest kept peak, also while fewer than four
            // are kept.
            if (!(value > peaks[weakest].value))
                continue;
            std::size_t nearest = 0;
            std::int64_t nearestDistance = -1;
            for (std::size_t i = 0; i < peaks.size(); ++i) {
                const std::int64_t du = wrappedAngleDistance(int(u), peaks[i].cell[0], side);
                const std::int64_t dr = std::int64_t(r) - peaks[i].cell[1];
                const std::int64_t d = du * du + dr * dr;
                if (nearestDistance < 0 || d < nearestDistance) {
                    nearest = i;
                    nearestDistance = d;
                }
            }
            if (nearestDistance >= minPeakDistanceSquared) {
                const HoughPeak peak{Point<2, int>(int(u), int(r)), value};
                if (peaks.size() < 4)
                    peaks.push_back(peak);
                else
                    peaks[weakest] = peak;
                findWeakest();
            } else if (value > peaks[nearest].value) {
                peaks[nearest] = {Point<2, int>(int(u), int(r)), value};
                findWeakest();
            }
        }
    return peaks;
}

bool cornersFromPeaks(const std::vector<HoughPeak>& peaks, std::uint32_t side, unsigned width,
                      unsigned height, Point<2, int> corners[4]) {
    if (peaks.size() < 4 || side < 2)
        return false;
    auto du = [&](std::size_t a, std::size_t b) {
        return wrappedAngleDistance(peaks[a].cell[0], peaks[b].cell[0], side);
    };
    std::size_t best = 1, other = 2;
    if (du(0, 2) < du(0, 1)) {
        best = 2;
        other = 1;
    }
    std::size_t groupA[2], groupB[2];
    if (du(0, 3) < du(0, best)) {
        groupA[0] = 0, groupA[1] = 3;
        groupB[0] = other, groupB[1] = best;
    } else {
        groupA[0] = 0, groupA[1] = best;
        groupB[0] = other, groupB[1] = 3;
    }
    auto lineOf = [&](std::size_t i) {
        const float theta = houghAngle(std::uint32_t(peaks[i].cell[0]), side);
        return Hyperplane<2, float>(Vector<2, float>(std::cos(theta), std::sin(theta)),
                                    float(peaks[i].cell[1]));
    };
    Point<2, int> found[4];
    for (unsigned i = 0; i < 2; ++i)
        for (unsigned j = 0; j < 2; ++j) {
            Point<2, float> p;
            if (!intersect(lineOf(groupA[i]), lineOf(groupB[j]), p))
                return false;
            if (!(p[0] >= 0.0f && p[0] < float(width) && p[1] >= 0.0f && p[1] < float(height)))
                return false;
            found[2 * i + j] = Point<2, int>(int(p[0]), int(p[1]));
        }
    int sumX = 0, sumY = 0;
    for (const auto& c : found) {
        sumX += c[0];
        sumY += c[1];
    }
    const int cx = sumX / 4, cy = sumY / 4;
    double angle[4];
    for (unsigned k = 0; k < 4; ++k) {
        double a = std::atan2(double(found[k][1] - cy), double(found[k][0] - cx));
        if (a < 0.0)
            a += 2.0 * std::numbers::pi;
        angle[k] = a;
    }
    unsigned order[4] = {0, 1, 2, 3};
    std::stable_sort(order, order + 4, [&](unsigned a, unsigned b) { return angle[a] < angle[b]; });
    for (unsigned k = 0; k < 4; ++k)
        corners[k] = found[order[k]];
    return true;
}

} // namespace ZELK
