// The clutter mosaic: random seed points, each with a random colour, and every pixel painted
// in the colour of its nearest seed, found through a grid of cells.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "demo/rgb_image.hpp"

namespace ZELK {

struct MosaicSeed {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
};

// Answers "which seed is nearest to this pixel" by squared integer distance, the earlier seed
// winning ties. Seeds are filed into a grid of cells; for each cell a short candidate list
// holds every seed that can be nearest (or tie) for any pixel of the cell, so that the pixels
// of a cell are each compared with a handful of seeds instead of all of them.
class NearestSeedFinder {
public:
    // Seeds must lie inside width x height; the finder keeps a reference to them.
    NearestSeedFinder(std::uint32_t width, std::uint32_t height, std::span<const MosaicSeed> seeds);

    std::uint32_t cellSize() const { return cellSize_; }
    std::uint32_t columns() const { return columns_; }
    std::uint32_t rows() const { return rows_; }

    // Fills `candidates` (ascending seed indices) with every seed that is nearest or tied
    // nearest for some pixel of grid cell (cx, cy). There must be at least one seed.
    void candidates(std::uint32_t cx, std::uint32_t cy, std::vector<std::uint32_t>& out) const;

    // Index of the nearest seed to pixel (x, y) among candidates of its cell.
    std::uint32_t nearest(std::uint32_t x, std::uint32_t y,
                          const std::vector<std::uint32_t>& candidates) const;
    // The same for a single pixel, finding the candidates first.
    std::uint32_t nearest(std::uint32_t x, std::uint32_t y) const;

private:
    std::span<const MosaicSeed> seeds_;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::uint32_t cellSize_ = 1;
    std::uint32_t columns_ = 0;
    std::uint32_t rows_ = 0;
    // Seeds of cell i are cellSeeds_[cellStart_[i] .. cellStart_[i + 1]), in seed order.
    std::vector<std::uint32_t> cellStart_;
    std::vector<std::uint32_t> cellSeeds_;
};

// Replaces the picture by the mosaic: a generator seeded with 1337 draws (width * height) / 256
// seed points (column, then row), then for each seed three colour components in [0, limit)
// with limit = trunc(clutter * 256) (all black when the limit is 0). With no seed the picture
// is left as it is. clutter must be at most 1.
void paintMosaic(RgbImage& image, float clutter);

} // namespace ZELK
