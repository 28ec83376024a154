#include "demo/mosaic.hpp"

#include <algorithm>
#include <cmath>

#include "core/random.hpp"

namespace ZELK {

NearestSeedFinder::NearestSeedFinder(std::uint32_t width, std::uint32_t height,
                                     std::span<const MosaicSeed> seeds)
    : seeds_(seeds) {
    // Cells of about one seed each keep both the cells visited and the seeds per cell small.
    const double area = static_cast<double>(width) * height;
    const double perSeed = area / static_cast<double>(std::max<std::size_t>(seeds.size(), 1));
    const double side = std::ceil(std::sqrt(perSeed));
    cellSize_ = static_cast<std::uint32_t>(
        std::clamp(side, 1.0, static_cast<double>(std::max({width, height, 1u}))));
    columns_ = std::max(1u, (width + cellSize_ - 1) / cellSize_);
    rows_ = std::max(1u, (height + cellSize_ - 1) / cellSize_);

    const std::size_t cells = static_cast<std::size_t>(columns_) * rows_;
    cellStart_.assign(cells + 1, 0);
    for (const MosaicSeed& s : seeds)
        ++cellStart_[(s.y / cellSize_) * columns_ + s.x / cellSize_ + 1];
    for (std::size_t i = 0; i < cells; ++i)
        cellStart_[i + 1] += cellStart_[i];
    cellSeeds_.resize(seeds.size());
    std::vector<std::uint32_t> fill(cellStart_.begin(), cellStart_.end() - 1);
    for (std::uint32_t i = 0; i < seeds.size(); ++i) {
        const MosaicSeed& s = seeds[i];
        cellSeeds_[fill[(s.y / cellSize_) * columns_ + s.x / cellSize_]++] = i;
    }
}

std::uint32_t NearestSeedFinder::nearest(std::uint32_t x, std::uint32_t y) const {
    const auto cx = static_cast<std::int64_t>(x / cellSize_);
    const auto cy = static_cast<std::int64_t>(y / cellSize_);
    std::uint64_t bestDistance = UINT64_MAX;
    std::uint32_t best = UINT32_MAX;

    auto visit = [&](std::int64_t gx, std::int64_t gy) {
        if (gx < 0 || gy < 0 || gx >= columns_ || gy >= rows_)
            return;
        const std::size_t cell = static_cast<std::size_t>(gy) * columns_ + gx;
        for (std::uint32_t k = cellStart_[cell]; k < cellStart_[cell + 1]; ++k) {
            const std::uint32_t i = cellSeeds_[k];
            const std::int64_t dx = static_cast<std::int64_t>(seeds_[i].x) - x;
            const std::int64_t dy = static_cast<std::int64_t>(seeds_[i].y) - y;
            const auto d = static_cast<std::uint64_t>(dx * dx + dy * dy);
            if (d < bestDistance || (d == bestDistance && i < best)) {
                bestDistance = d;
                best = i;
            }
        }
    };

    const std::int64_t lastRing = std::max(columns_, rows_);
    for (std::int64_t r = 0; r <= lastRing; ++r) {
        if (r == 0) {
            visit(cx, cy);
        } else {
            for (std::int64_t gx = cx - r; gx <= cx + r; ++gx) {
                visit(gx, cy - r);
                visit(gx, cy + r);
            }
            for (std::int64_t gy = cy - r + 1; gy <= cy + r - 1; ++gy) {
                visit(cx - r, gy);
                visit(cx + r, gy);
            }
        }
        // Every seed outside rings 0..r lies at least r * cellSize + 1 away along one axis, so
        // once the best distance is below that square no unvisited seed can win or tie.
        const auto reach = static_cast<std::uint64_t>(r) * cellSize_ + 1;
        if (best != UINT32_MAX && bestDistance < reach * reach)
            break;
    }
    return best;
}

void paintMosaic(RgbImage& image, float clutter) {
    const std::uint64_t count = (static_cast<std::uint64_t>(image.width) * image.height) >> 8;
    if (count == 0)
        return;
    MersenneTwister random;
    random.seedWord(1337);
    std::vector<MosaicSeed> seeds(count);
    for (MosaicSeed& s : seeds) {
        random.fillModulo(&s.x, 1, image.width);
        random.fillModulo(&s.y, 1, image.height);
    }
    // The limit is at most 256 for clutter <= 1; a limit of 0 leaves every seed black and
    // draws nothing, since no value lies in [0, 0).
    const auto limit = static_cast<std::uint32_t>(std::clamp(clutter * 256.0f, 0.0f, 256.0f));
    std::vector<std::uint8_t> colors(count * 3, 0);
    if (limit > 0)
        for (std::uint64_t i = 0; i < count; ++i) {
            std::uint32_t rgb[3];
            random.fillModulo(rgb, 3, limit);
            for (unsigned c = 0; c < 3; ++c)
                colors[3 * i + c] = static_cast<std::uint8_t>(rgb[c]);
        }

    const NearestSeedFinder finder(image.width, image.height, seeds);
    for (std::uint32_t y = 0; y < image.height; ++y) {
        std::uint8_t* line = image.line(y);
        for (std::uint32_t x = 0; x < image.width; ++x) {
            const std::uint8_t* color = &colors[3 * std::size_t(finder.nearest(x, y))];
            line[3 * x] = color[0];
            line[3 * x + 1] = color[1];
            line[3 * x + 2] = color[2];
        }
    }
}

} // namespace ZELK
