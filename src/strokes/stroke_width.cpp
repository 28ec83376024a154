// Stroke width from ink per skeleton length, region by region.
#include "strokes/stroke_width.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/histogram.hpp"
#include "core/thread_pool.hpp"
#include "raster/class_split.hpp"
#include "raster/filters.hpp"
#include "raster/resize.hpp"
#include "strokes/thinning.hpp"

namespace ZELK {

namespace {

using Image = Signal<2, unsigned char>;
using Mask = BinarySignal<2, unsigned>;

constexpr std::uint32_t none = 0xFFFFFFFFu;

// The paper without the strokes: a median over a window much wider than any stroke, taken on an
// eighth-size copy (the paper varies slowly) and brought back to full size.
Image paperEstimate(const Image& grey) {
    Image small;
    downscale(grey, scaledSize(grey.sizes(), 0.125f), small);
    // A tenth of the shorter side (at least 5, odd): strokes fill less than half of it, so the
    // median is paper, yet shading across the picture still shows.
    unsigned window = std::max(5u, std::min(small.width(), small.height()) / 10u) | 1u;
    window = std::min(window, maxMedianWindow);
    medianFilter(small, Tuple<2, unsigned>(window, window), small);
    Image paper;
    resampleBilinear(small, grey.sizes(), paper);
    return paper;
}

// The difference below which `share` of the counted differences lie (counts over -255..255).
int quantile(const std::array<std::uint32_t, 511>& counts, std::uint64_t total, double share) {
    return int(firstBinBeyond(counts.data(), 511, std::uint64_t(share * double(total)))) - 255;
}

// Rows per band of the measure's per-pixel passes.
constexpr unsigned measureBandRows = 64;

// Runs task(first, last) on bands of rows of an image of the given height, on the pool.
template <typename Task> void forEachRowBand(unsigned height, Task&& task) {
    forEachBand((height + measureBandRows - 1) / measureBandRows, [&](std::size_t band) {
        const unsigned first = unsigned(band) * measureBandRows;
        task(first, std::min(height, first + measureBandRows));
    });
}

// Ink strength per pixel: how far the pixel lies from the paper on the stronger side.
Image inkStrength(const Image& grey, const Image& paper, float& noise) {
    // Per band counts, added in band order (integer counts: the same for every thread count).
    const std::size_t bands = (grey.height() + measureBandRows - 1) / measureBandRows;
    std::vector<std::array<std::uint32_t, 511>> bandDifferences(bands);
    forEachRowBand(grey.height(), [&](unsigned first, unsigned last) {
        std::array<std::uint32_t, 511>& counts = bandDifferences[first / measureBandRows];
        counts.fill(0);
        for (unsigned y = first; y < last; ++y) {
            const unsigned char* g = grey.row(y);
            const unsigned char* p = paper.row(y);
            for (unsigned x = 0; x < grey.width(); ++x)
                ++counts[int(g[x]) - int(p[x]) + 255];
        }
    });
    std::array<std::uint32_t, 511> differences{};
    for (const auto& counts : bandDifferences)
        for (int i = 0; i < 511; ++i)
            differences[i] += counts[i];
    const std::uint64_t total = grey.count();
    // The extreme 0.2 % on either side: ink reaches far, a halo or shading does not.
    const bool darkInk =
        -quantile(differences, total, 0.002) >= quantile(differences, total, 0.998);
    std::array<std::uint32_t, 256> magnitudes{};
    for (int i = 0; i < 511; ++i)
        magnitudes[std::abs(i - 255)] += differences[i];
    const std::uint32_t median = firstBinBeyond(magnitudes.data(), 256, total / 2);
    // The median absolute difference as a standard deviation, half a level for rounding.
    noise = 1.4826f * float(median) + 0.5f;

    Image ink(grey.sizes());
    forEachRowBand(grey.height(), [&](unsigned first, unsigned last) {
        for (unsigned y = first; y < last; ++y) {
            const unsigned char* g = grey.row(y);
            const unsigned char* p = paper.row(y);
            unsigned char* out = ink.row(y);
            for (unsigned x = 0; x < grey.width(); ++x) {
                const int d = darkInk ? int(p[x]) - int(g[x]) : int(g[x]) - int(p[x]);
                out[x] = static_cast<unsigned char>(std::max(d, 0));
            }
        }
    });
    return ink;
}

// The threshold of sure ink: a class split of the ink values clearly above the noise, and
// never within five noise deviations.
unsigned inkThreshold(const Image& ink, float noise) {
    std::array<std::uint32_t, 256> counts{};
    const auto floor = static_cast<unsigned>(3.0f * noise);
    for (std::uint32_t i = 0; i < ink.count(); ++i)
        if (ink.data()[i] > floor)
            ++counts[ink.data()[i]];
    bool lowerIsLarger = false;
    const unsigned split = findClassSplit(counts.data(), 256, lowerIsLarger);
    return std::max(split, static_cast<unsigned>(5.0f * noise));
}

// 8-connected regions of the pixels with ink above low that hold a pixel above high; labels
// count from 0 in scan order, none elsewhere. Returns the number of regions kept.
std::uint32_t strokeRegions(const Image& ink, unsigned low, unsigned high,
                            std::vector<std::uint32_t>& labels) {
    const unsigned width = ink.width(), height = ink.height();
    labels.assign(std::size_t(width) * height, none);
    std::vector<std::uint32_t> stack, members;
    std::uint32_t kept = 0;
    const unsigned char* in = ink.data();
    for (std::uint32_t start = 0; start < labels.size(); ++start) {
        if (labels[start] != none || in[start] <= low)
            continue;
        labels[start] = kept;
        stack.assign(1, start);
        members.clear();
        bool strong = false;
        while (!stack.empty()) {
            const std::uint32_t at = stack.back();
            stack.pop_back();
            members.push_back(at);
            strong = strong || in[at] > high;
            const unsigned x = at % width, y = at / width;
            for (unsigned ny = y > 0 ? y - 1 : 0; ny <= std::min(y + 1, height - 1); ++ny)
                for (unsigned nx = x > 0 ? x - 1 : 0; nx <= std::min(x + 1, width - 1); ++nx) {
                    const std::uint32_t n = ny * width + nx;
                    if (labels[n] == none && in[n] > low) {
                        labels[n] = kept;
                        stack.push_back(n);
                    }
                }
        }
        if (strong) {
            ++kept;
        } else {
            // Faint all through: texture or noise. Marked so that it is not visited again.
            for (std::uint32_t m : members)
                labels[m] = none - 1;
        }
    }
    for (std::uint32_t& label : labels)
        if (label == none - 1)
            label = none;
    return kept;
}

struct Region {
    std::uint64_t skeleton = 0;
    float typicalInk = 0.0f;
    double ink = 0.0;
};

float measureAtScale(const Image& grey) {
    const unsigned width = grey.width(), height = grey.height();
    const Image paper = paperEstimate(grey);
    float noise = 0.0f;
    const Image ink = inkStrength(grey, paper, noise);
    const unsigned high = inkThreshold(ink, noise);
    std::vector<std::uint32_t> labels;
    const std::uint32_t count = strokeRegions(ink, high / 2, high, labels);
    if (count == 0)
        return 0.0f;

    Mask strokes(grey.sizes());
    forEachRowBand(height, [&](unsigned first, unsigned last) {
        for (unsigned y = first; y < last; ++y)
            for (unsigned x = 0; x < width; ++x)
                if (labels[std::size_t(y) * width + x] != none)
                    strokes.set(x, y);
    });
    Mask work, skeleton;
    // Regions thicker than twice this are blobs, not strokes; what is left of them after the
    // limit still counts as their (long) skeleton and keeps their width low in the median.
    thin(strokes, work, skeleton, 64);

    // Skeleton pixels by region with their ink, for each region's typical (median) ink.
    std::vector<std::uint64_t> skeletonInk;
    for (unsigned y = 0; y < height; ++y)
        skeleton.forEachSetInRow(y, [&](unsigned x) {
            const std::size_t at = std::size_t(y) * width + x;
            skeletonInk.push_back(std::uint64_t(labels[at]) << 8 | ink.data()[at]);
        });
    std::sort(skeletonInk.begin(), skeletonInk.end());
    std::vector<Region> regions(count);
    for (std::size_t i = 0; i < skeletonInk.size();) {
        const std::uint32_t label = static_cast<std::uint32_t>(skeletonInk[i] >> 8);
        std::size_t end = i;
        while (end < skeletonInk.size() && (skeletonInk[end] >> 8) == label)
            ++end;
        regions[label].skeleton = end - i;
        regions[label].typicalInk = float(skeletonInk[i + (end - i) / 2] & 0xFFu);
        i = end;
    }

    // The ink of each region and of its one-pixel rim (the blurred edge of the stroke), each
    // pixel counted once and at most as strong as the region's typical ink.
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            const std::size_t at = std::size_t(y) * width + x;
            if (ink.data()[at] == 0)
                continue;
            std::uint32_t label = labels[at];
            for (unsigned ny = y > 0 ? y - 1 : 0;
                 label == none && ny <= std::min(y + 1, height - 1); ++ny)
                for (unsigned nx = x > 0 ? x - 1 : 0;
                     label == none && nx <= std::min(x + 1, width - 1); ++nx)
                    label = labels[std::size_t(ny) * width + nx];
            if (label == none || regions[label].typicalInk <= 0.0f)
                continue;
            regions[label].ink += std::min(1.0f, float(ink.data()[at]) / regions[label].typicalInk);
        }

    std::vector<std::pair<float, std::uint64_t>> widths;
    std::uint64_t totalLength = 0;
    for (const Region& region : regions)
        if (region.skeleton >= 8) {
            widths.emplace_back(float(region.ink / double(region.skeleton)), region.skeleton);
            totalLength += region.skeleton;
        }
    if (widths.empty())
        return 0.0f;
    std::sort(widths.begin(), widths.end());
    std::uint64_t sum = 0;
    for (const auto& [w, length] : widths)
        if ((sum += length) * 2 >= totalLength)
            return w;
    return widths.back().first;
}

// The central part of image with at most strokeMeasurePixels pixels, of the image's proportions.
Image centralCrop(const Image& image) {
    const double pixels = double(image.width()) * double(image.height());
    if (pixels <= double(strokeMeasurePixels))
        return image;
    const double keep = std::sqrt(double(strokeMeasurePixels) / pixels);
    const auto width = std::max(8u, static_cast<unsigned>(image.width() * keep));
    const auto height = std::max(8u, static_cast<unsigned>(image.height() * keep));
    const unsigned left = (image.width() - width) / 2, bottom = (image.height() - height) / 2;
    Image crop(Tuple<2, unsigned>(width, height));
    for (unsigned y = 0; y < height; ++y)
        std::copy_n(image.row(bottom + y) + left, width, crop.row(y));
    return crop;
}

} // namespace

float measureStrokeWidth(const Signal<2, unsigned char>& grey) {
    if (grey.width() < 8 || grey.height() < 8)
        return 0.0f;
    // Halvings of the picture until one fits the measuring size; level k is 2^k times smaller.
    std::vector<Image> levels;
    const Image* current = &grey;
    while (std::uint64_t(current->width()) * current->height() > strokeMeasurePixels) {
        Image half;
        downscale(*current, scaledSize(current->sizes(), 0.5f), half);
        levels.push_back(std::move(half));
        current = &levels.back();
    }
    // Strokes that come out thin on a reduced copy may be lost in it: look again at twice the
    // resolution, on a central part of the measuring size, until they are wide enough to trust.
    auto finerLook = [&](std::size_t level) {
        return measureAtScale(centralCrop(level == 0 ? grey : levels[level - 1]));
    };
    std::size_t level = levels.size();
    // With a thread to spare, the first look at twice the resolution starts beside the measure
    // of the reduced copy: it is needed whenever the strokes come out thin there, and otherwise
    // costs only the spare thread's time. Either way the same measures give the same width.
    const bool lookEarly = level > 0 && threadCount() > 1;
    float finer = 0.0f;
    Background early;
    if (lookEarly)
        early = Background([&] { finer = finerLook(level - 1); });
    float width = measureAtScale(*current);
    early.wait();
    while (width < finestTrustedWidth && level > 0) {
        --level;
        width = lookEarly && level + 1 == levels.size() ? finer : finerLook(level);
    }
    return width * float(std::uint64_t(1) << level);
}

} // namespace ZELK
