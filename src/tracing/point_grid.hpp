// A hash grid of points by square cells, for finding the few stored points near a position
// without comparing it with all of them.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "core/tuple.hpp"

namespace ZELK {

// Stores ids under the cell of a position. Non-finite positions are not stored (no distance to
// them is ever below a bound). Cells far out (beyond 2^30 cells from the origin) collapse into
// the outermost ones; the cell mapping stays monotone, so a search over the cells of
// [p - r, p + r] still finds every stored position in that square.
class PointGrid {
public:
    explicit PointGrid(double cell) : cell_(cell) {}

    void insert(std::uint32_t id, const Point<2, float>& at) {
        if (finite(at))
            cells_[key(at)].push_back(id);
    }
    // Removes one entry of id stored under at (nothing when there is none).
    void remove(std::uint32_t id, const Point<2, float>& at) {
        if (!finite(at))
            return;
        auto found = cells_.find(key(at));
        if (found == cells_.end())
            return;
        std::vector<std::uint32_t>& list = found->second;
        auto entry = std::find(list.begin(), list.end(), id);
        if (entry != list.end())
            list.erase(entry);
    }
    void move(std::uint32_t id, const Point<2, float>& from, const Point<2, float>& to) {
        if (finite(from) && finite(to) && key(from) == key(to))
            return;
        remove(id, from);
        insert(id, to);
    }

    // Calls visit(id) for every id stored in a cell that the square [p - radius, p + radius]
    // touches (ids may repeat when stored more than once).
    template <typename Visit>
    void forNear(const Point<2, float>& p, double radius, Visit visit) const {
        if (!finite(p))
            return;
        const std::int64_t x0 = cellOf(double(p.x()) - radius);
        const std::int64_t x1 = cellOf(double(p.x()) + radius);
        const std::int64_t y0 = cellOf(double(p.y()) - radius);
        const std::int64_t y1 = cellOf(double(p.y()) + radius);
        for (std::int64_t cy = y0; cy <= y1; ++cy)
            for (std::int64_t cx = x0; cx <= x1; ++cx) {
                auto found = cells_.find(key(cx, cy));
                if (found == cells_.end())
                    continue;
                for (std::uint32_t id : found->second)
                    visit(id);
            }
    }

    static bool finite(const Point<2, float>& p) {
        return std::isfinite(p.x()) && std::isfinite(p.y());
    }

private:
    std::int64_t cellOf(double coordinate) const {
        constexpr double limit = 1073741824.0;
        return static_cast<std::int64_t>(std::clamp(std::floor(coordinate / cell_), -limit, limit));
    }
    static std::uint64_t key(std::int64_t cx, std::int64_t cy) {
        return (std::uint64_t(std::uint32_t(cx)) << 32) | std::uint32_t(cy);
    }
    std::uint64_t key(const Point<2, float>& p) const { return key(cellOf(p.x()), cellOf(p.y())); }

    double cell_;
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> cells_;
};

} // namespace ZELK
