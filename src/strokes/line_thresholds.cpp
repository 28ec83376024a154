#include "strokes/line_thresholds.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <vector>

#include "core/histogram.hpp"

namespace ZELK {

namespace {

// Single-precision machine epsilon: centres that move less than this (squared) have settled.
constexpr float settled = 1.1920929e-7f;

struct Cluster {
    float centre = 0.0f;
    float sum = 0.0f;
    float weight = 0.0f;
};

// Index of the cluster whose centre is nearest to x by the squared distance; the earlier one
// on ties.
std::size_t nearestSquared(const std::vector<Cluster>& clusters, float x) {
    std::size_t best = 0;
    float bestDistance = (x - clusters[0].centre) * (x - clusters[0].centre);
    for (std::size_t k = 1; k < clusters.size(); ++k) {
        const float d = (x - clusters[k].centre) * (x - clusters[k].centre);
        if (d < bestDistance) {
            bestDistance = d;
            best = k;
        }
    }
    return best;
}

// Lloyd iterations of weighted one-dimensional k-means over positions 0 .. n-1 with the given
// counts, until no centre moves by more than epsilon (squared). No iteration cap: the
// centres of a one-dimensional k-means settle after a few passes.
void cluster(std::vector<Cluster>& clusters, const std::uint32_t* counts, std::uint32_t n) {
    const float end = static_cast<float>(n);
    for (;;) {
        for (Cluster& c : clusters)
            c.sum = c.weight = 0.0f;
        float x = 0.0f;
        for (std::uint32_t i = 0; x < end; ++i, x += 1.0f) {
            const float h = static_cast<float>(counts[i]);
            Cluster& c = clusters[nearestSquared(clusters, x)];
            c.sum += x * h;
            c.weight += h;
        }
        float largestMove = 0.0f;
        for (Cluster& c : clusters) {
            const float centre = c.weight > 0.0f ? c.sum / c.weight : 0.0f;
            largestMove = std::max(largestMove, (centre - c.centre) * (centre - c.centre));
            c.centre = centre;
        }
        if (clusters.size() < 2 || largestMove <= settled)
            return;
    }
}

// The counts of the positions nearest to each final centre, by the distance as the square
// root (in double) of the single-precision square; the earlier cluster on ties.
std::vector<std::uint64_t> finalWeights(const std::vector<Cluster>& clusters,
                                        const std::uint32_t* counts, std::uint32_t n) {
    std::vector<std::uint64_t> weights(clusters.size(), 0);
    const float end = static_cast<float>(n);
    float x = 0.0f;
    for (std::uint32_t i = 0; x < end; ++i, x += 1.0f) {
        std::size_t best = 0;
        float bestDistance = 0.0f;
        for (std::size_t k = 0; k < clusters.size(); ++k) {
            const float square = (x - clusters[k].centre) * (x - clusters[k].centre);
            const float d = static_cast<float>(std::sqrt(static_cast<double>(square)));
            if (k == 0 || d < bestDistance) {
                bestDistance = d;
                best = k;
            }
        }
        weights[best] += counts[i];
    }
    return weights;
}

// The boundaries of cluster i: midpoints to its neighbours in centre order, or the ends of
// the trimmed histogram where it has none.
void clusterRange(const std::vector<Cluster>& clusters, const std::vector<std::size_t>& order,
                  std::size_t i, std::uint32_t n, float& low, float& high) {
    low = 0.0f;
    high = static_cast<float>(n - 1);
    const std::size_t at = std::find(order.begin(), order.end(), i) - order.begin();
    if (at > 0)
        low = (clusters[i].centre + clusters[order[at - 1]].centre) / 2.0f;
    if (at + 1 < order.size())
        high = (clusters[i].centre + clusters[order[at + 1]].centre) / 2.0f;
}

void showClusters(const VS::Context& sink, const std::vector<Cluster>& clusters,
                  const std::vector<std::size_t>& order, const std::uint32_t* counts,
                  std::uint32_t n) {
    const VS::Context item = sink.child("Clusters");
    for (std::size_t i = 0; i < clusters.size(); ++i) {
        float lo = 0.0f, hi = 0.0f;
        clusterRange(clusters, order, i, n, lo, hi);
        const float last = static_cast<float>(n - 1);
        const auto a = static_cast<std::uint32_t>(std::clamp(std::ceil(lo), 0.0f, last));
        const auto b = static_cast<std::uint32_t>(std::clamp(std::floor(hi), 0.0f, last));
        if (a >= b)
            continue;
        std::vector<float> points;
        points.reserve(2 * std::size_t(b - a));
        for (std::uint32_t x = a; x < b; ++x) {
            points.push_back(static_cast<float>(x));
            points.push_back(static_cast<float>(counts[x]));
        }
        item.sendPoints(points.data(), b - a, 2);
    }
}

} // namespace

bool findThresholds(const Signal<2, short>& filtered, LineThresholds& result,
                    const BinarySignal<2, unsigned>* mask, const VS::Context& sink) {
    DenseHistogram<short> histogram;
    const unsigned width = filtered.width(), height = filtered.height();
    if (!mask) {
        histogram.add(filtered.data(), filtered.count());
    } else {
        const unsigned w = std::min(width, mask->width());
        const unsigned h = std::min(height, mask->height());
        for (unsigned y = 0; y < h; ++y) {
            const short* values = filtered.row(y);
            const BinarySignal<2, unsigned>::Word* bits = mask->row(y);
            for (unsigned x = 0; x < w; ++x)
                if ((bits[x >> 5] >> (x & 31)) & 1u)
                    histogram.add(values[x]);
        }
    }

    const std::uint32_t* counts = histogram.counters();
    std::uint32_t n = DenseHistogram<short>::binCount;
    Trim<std::uint32_t>({0}, Trim<std::uint32_t>::Mode::Both).apply(counts, n);
    if (n == 0)
        return false;
    const short lowest =
        DenseHistogram<short>::valueOf(static_cast<std::uint32_t>(counts - histogram.counters()));

    if (sink.active()) {
        std::vector<float> points(counts, counts + n);
        sink.child("Histogram").sendPoints(points.data(), n, 1);
    }

    std::vector<Cluster> clusters(2);
    clusters[0].centre = 0.0f;
    clusters[1].centre = static_cast<float>(n);
    cluster(clusters, counts, n);
    const std::vector<std::uint64_t> weights = finalWeights(clusters, counts, n);

    std::vector<std::size_t> order(clusters.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return clusters[a].centre < clusters[b].centre;
    });
    if (sink.active())
        showClusters(sink, clusters, order, counts, n);

    // The heaviest class is the paper; the lines are the next one. Repeated weights keep
    // their first cluster, so two equally heavy classes leave nothing to choose.
    std::map<std::uint64_t, std::size_t> byWeight;
    for (std::size_t i = 0; i < clusters.size(); ++i)
        byWeight.emplace(weights[i], i);
    if (byWeight.size() < 2)
        return false;
    const std::size_t chosen = std::prev(byWeight.end(), 2)->second;

    float low = 0.0f, high = 0.0f;
    clusterRange(clusters, order, chosen, n, low, high);
    // Both boundaries lie in [0, n - 1], so the truncations are floors and the sums stay
    // within the values present in the histogram.
    result.low = static_cast<short>(lowest + static_cast<int>(low));
    result.high = static_cast<short>(lowest + static_cast<int>(high));
    return true;
}

void segment(BinarySignal<2, unsigned>& mask, const Signal<2, short>& filtered,
             const LineThresholds& range) {
    mask.resize(filtered.sizes());
    const unsigned width = filtered.width(), height = filtered.height();
    const std::uint32_t words = BinarySignal<2, unsigned>::wordsFor(width);
    const short low = range.low, high = range.high;
    for (unsigned y = 0; y < height; ++y) {
        const short* values = filtered.row(y);
        BinarySignal<2, unsigned>::Word* out = mask.row(y);
        for (std::uint32_t w = 0; w < words; ++w) {
            const unsigned begin = w * 32;
            const unsigned end = std::min(width, begin + 32);
            BinarySignal<2, unsigned>::Word word = 0;
            for (unsigned x = begin; x < end; ++x)
                word |= BinarySignal<2, unsigned>::Word(values[x] >= low && values[x] <= high)
                        << (x - begin);
            out[w] = word;
        }
    }
}

bool segmentedShareAcceptable(const BinarySignal<2, unsigned>& mask, float& fraction) {
    const std::uint64_t set = mask.countSetBits();
    const std::uint64_t total = std::uint64_t(mask.width()) * mask.height();
    fraction = total == 0 ? 0.0f : static_cast<float>(double(set) / double(total));
    return 3 * set <= total;
}

} // namespace ZELK
