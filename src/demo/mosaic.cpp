#include "demo/mosaic.hpp"

#include <algorithm>
#include <cmath>

#include "core/random.hpp"

namespace ZELK {

NearestSeedFinder::NearestSeedFinder(std::uint32_t width, std::uint32_t height,
                                     std::span<const MosaicSeed> seeds)
    : seeds_(seeds), width_(width), height_(height) {
    // Cells holding about a quarter of a seed each: the smaller the cell, the fewer seeds can
    // be nearest for its pixels (about eight at the renderer's density), while the search per
    // cell stays a few rings of cells. Measured at 8192 x 8192, this halved the time of cells
    // holding one seed each.
    const double area = static_cast<double>(width) * height;
    const double perSeed = area / static_cast<double>(std::max<std::size_t>(seeds.size(), 1));
    const double side = std::ceil(std::sqrt(perSeed) / 2);
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

void NearestSeedFinder::candidates(std::uint32_t cx, std::uint32_t cy,
                                   std::vector<std::uint32_t>& out) const {
    out.clear();
    // The cell's pixels: [x0, x1] x [y0, y1].
    const std::int64_t x0 = std::int64_t(cx) * cellSize_, y0 = std::int64_t(cy) * cellSize_;
    const std::int64_t x1 = std::min<std::int64_t>(x0 + cellSize_, width_) - 1;
    const std::int64_t y1 = std::min<std::int64_t>(y0 + cellSize_, height_) - 1;

    // Visits the seeds of the cells on ring r around (cx, cy) (r = 0: the cell itself).
    auto ring = [&](std::int64_t r, auto&& visit) {
        auto cell = [&](std::int64_t gx, std::int64_t gy) {
            if (gx < 0 || gy < 0 || gx >= columns_ || gy >= rows_)
                return;
            const std::size_t i = static_cast<std::size_t>(gy) * columns_ + gx;
            for (std::uint32_t k = cellStart_[i]; k < cellStart_[i + 1]; ++k)
                visit(cellSeeds_[k]);
        };
        if (r == 0) {
            cell(cx, cy);
            return;
        }
        for (std::int64_t gx = cx - r; gx <= cx + r; ++gx) {
            cell(gx, cy - r);
            cell(gx, cy + r);
        }
        for (std::int64_t gy = cy - r + 1; gy <= cy + r - 1; ++gy) {
            cell(cx - r, gy);
            cell(cx + r, gy);
        }
    };
    auto square = [](std::int64_t v) { return static_cast<std::uint64_t>(v * v); };
    // Farthest distance from a seed to the cell: at one of the cell's corners.
    auto farthest = [&](const MosaicSeed& s) {
        return square(std::max(std::abs(s.x - x0), std::abs(s.x - x1))) +
               square(std::max(std::abs(s.y - y0), std::abs(s.y - y1)));
    };
    // Nearest distance from a seed to the cell (0 inside it).
    auto closest = [&](const MosaicSeed& s) {
        const std::int64_t dx = s.x < x0 ? x0 - s.x : (s.x > x1 ? s.x - x1 : 0);
        const std::int64_t dy = s.y < y0 ? y0 - s.y : (s.y > y1 ? s.y - y1 : 0);
        return square(dx) + square(dy);
    };

    // Bound: the first ring that holds a seed gives, through its farthest distance to the
    // cell, a distance that no pixel's nearest seed exceeds.
    const std::int64_t lastRing = std::max(columns_, rows_);
    std::uint64_t bound = UINT64_MAX;
    for (std::int64_t r = 0; r <= lastRing && bound == UINT64_MAX; ++r)
        ring(r, [&](std::uint32_t i) { bound = std::min(bound, farthest(seeds_[i])); });

    // Every seed that some pixel of the cell may have nearest lies within the bound of the
    // cell. Seeds on ring r >= 1 are at least (r - 1) * cellSize + 1 away from it.
    for (std::int64_t r = 0; r <= lastRing; ++r) {
        if (r > 0 && square((r - 1) * cellSize_ + 1) > bound)
            break;
        ring(r, [&](std::uint32_t i) {
            if (closest(seeds_[i]) <= bound)
                out.push_back(i);
        });
    }
    std::sort(out.begin(), out.end());
}

std::uint32_t NearestSeedFinder::nearest(std::uint32_t x, std::uint32_t y,
                                         const std::vector<std::uint32_t>& candidates) const {
    std::uint64_t bestDistance = UINT64_MAX;
    std::uint32_t best = UINT32_MAX;
    // Candidates ascend, so the strict comparison keeps the earliest of equally near seeds.
    for (std::uint32_t i : candidates) {
        const std::int64_t dx = static_cast<std::int64_t>(seeds_[i].x) - x;
        const std::int64_t dy = static_cast<std::int64_t>(seeds_[i].y) - y;
        const auto d = static_cast<std::uint64_t>(dx * dx + dy * dy);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

std::uint32_t NearestSeedFinder::nearest(std::uint32_t x, std::uint32_t y) const {
    std::vector<std::uint32_t> list;
    candidates(x / cellSize_, y / cellSize_, list);
    return nearest(x, y, list);
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
    const std::uint32_t side = finder.cellSize();
    std::vector<std::uint32_t> candidates;
    for (std::uint32_t cy = 0; cy < finder.rows(); ++cy)
        for (std::uint32_t cx = 0; cx < finder.columns(); ++cx) {
            finder.candidates(cx, cy, candidates);
            const std::uint32_t xEnd = std::min(image.width, (cx + 1) * side);
            const std::uint32_t yEnd = std::min(image.height, (cy + 1) * side);
            for (std::uint32_t y = cy * side; y < yEnd; ++y) {
                std::uint8_t* line = image.line(y);
                for (std::uint32_t x = cx * side; x < xEnd; ++x) {
                    const std::uint8_t* color =
                        &colors[3 * std::size_t(finder.nearest(x, y, candidates))];
                    line[3 * x] = color[0];
                    line[3 * x + 1] = color[1];
                    line[3 * x + 2] = color[2];
                }
            }
        }
}

} // namespace ZELK
