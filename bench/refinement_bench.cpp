// Refinement and clutter grouping timing on drawings of 50k, 200k and 1M vertices.
// Refinement: one open polyline of N vertices along a slowly turning curve, every other edge
// short and most vertices redundant (the default -tr 5 5, then the set clean-up), as in a long
// drawn curve read back from polygon XML. Clutter: N / 2 two-vertex strokes of length 3 (one in
// eight of length 40) in words of six, spread evenly, grouped at the default -cg 30: a page of
// handwriting. Each runs three times on a fresh copy and the fastest run counts. Prints the
// seconds per size and last the growth of the time per vertex between the sizes (1.0 is linear).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "tracing/clutter.hpp"
#include "tracing/refinement.hpp"

using namespace ZELK;

namespace {

using Clock = std::chrono::steady_clock;

PolylineSet longCurve(std::size_t n) {
    PolylineSet set(2.0f);
    Polyline polyline;
    double along = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        // Edges of 2 and 8 units in turn on a circle of radius 50000; every tenth vertex
        // stands 8 units off the curve.
        along += i % 2 ? 8.0 : 2.0;
        const double angle = along / 50000.0, radius = 50000.0 + (i % 10 == 0 ? 8.0 : 0.0);
        const Point<2, float> p(float(radius * std::cos(angle)), float(radius * std::sin(angle)));
        set.vertices().push_back(PositionAccumulator{p, 1});
        polyline.push_back(static_cast<std::uint32_t>(i));
    }
    set.polylines().push_back(std::move(polyline));
    return set;
}

PolylineSet scatteredStrokes(std::size_t n) {
    // Words of six strokes within 15 x 15 units, on a jittered lattice 80 units apart.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> within(0.0f, 15.0f), jitter(0.0f, 20.0f),
        turn(0.0f, 6.2831853f);
    const std::size_t strokes = n / 2, words = (strokes + 5) / 6;
    const std::size_t perRow = std::max<std::size_t>(1, std::size_t(std::sqrt(double(words))));
    PolylineSet set(2.0f);
    for (std::uint32_t s = 0; s < strokes; ++s) {
        const std::size_t word = s / 6;
        const Point<2, float> corner(float(word % perRow) * 80.0f + jitter(random),
                                     float(word / perRow) * 80.0f + jitter(random));
        const Point<2, float> a = corner + Vector<2, float>(within(random), within(random));
        const float angle = turn(random);
        const float length = s % 8 == 0 ? 40.0f : 3.0f;
        const Point<2, float> b =
            a + Vector<2, float>(length * std::cos(angle), length * std::sin(angle));
        set.vertices().push_back(PositionAccumulator{a, 1});
        set.vertices().push_back(PositionAccumulator{b, 1});
        set.polylines().push_back(Polyline{2 * s, 2 * s + 1});
    }
    return set;
}

// The fastest of three runs of work on a fresh copy of input; the copy is not timed.
template <typename Work> double fastest(const PolylineSet& input, Work work) {
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        PolylineSet set = input;
        const auto start = Clock::now();
        work(set);
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

} // namespace

int main() {
    const std::size_t sizes[] = {50'000, 200'000, 1'000'000};
    double refine[3], group[3];
    for (int k = 0; k < 3; ++k) {
        const PolylineSet curve = longCurve(sizes[k]);
        std::size_t left = 0;
        refine[k] = fastest(curve, [&](PolylineSet& set) {
            mergeShortEdges(set, 5.0f);
            removeRedundantVertices(set, 5.0f);
            set.cleanUp();
            left = set.vertexCount();
        });
        const PolylineSet clutter = scatteredStrokes(sizes[k]);
        std::size_t groups = 0;
        group[k] =
            fastest(clutter, [&](PolylineSet& set) { groups = groupClutter(set, 30.0f).size(); });
        std::printf("%7zu vertices: refinement %.4f s (%zu vertices left), clutter grouping %.4f s "
                    "(%zu groups)\n",
                    sizes[k], refine[k], left, group[k], groups);
    }
    auto growth = [&](const double* t, int k) {
        return (t[k + 1] / double(sizes[k + 1])) / (t[k] / double(sizes[k]));
    };
    std::printf("time per vertex growth 50k->200k->1M: refinement %.2f, %.2f; clutter grouping "
                "%.2f, %.2f (linear 1.0, mark 1.3)\n",
                growth(refine, 0), growth(refine, 1), growth(group, 0), growth(group, 1));
}
