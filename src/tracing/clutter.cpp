#include "tracing/clutter.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <tuple>

#include "core/exceptions.hpp"

namespace ZELK {

namespace {

// Gap between the intervals [a, a + as] and [b, b + bs]; 0 where they overlap or touch.
float intervalGap(float a, float as, float b, float bs) {
    return std::max({0.0f, b - (a + as), a - (b + bs)});
}

double boxDistance(const Hyperrectangle<2, float>& a, const Hyperrectangle<2, float>& b) {
    const float gx = intervalGap(a.origin.x(), a.size[0], b.origin.x(), b.size[0]);
    const float gy = intervalGap(a.origin.y(), a.size[1], b.origin.y(), b.size[1]);
    return std::sqrt(double(gx * gx + gy * gy));
}

// Finds the neighbours of a box: every other box closer than eps. The plane is cut into square
// cells at least eps wide, and as wide as nine boxes in ten; each box is listed (sorted by row,
// then column) in every cell it covers, so that a box's neighbours are found in the few cells
// around it. A box covering many cells is compared with every box instead. Searching along one
// axis only made a drawing's worth of clutter in one column quadratic. Boxes with non-finite
// coordinates, or a plane too wide for the cell numbers, fall back to a plain scan.
class BoxNeighbours {
public:
    BoxNeighbours(const std::vector<Hyperrectangle<2, float>>& boxes, double eps)
        : boxes_(boxes), eps_(eps) {
        // Below this many boxes the plain scan is as fast as sorting.
        constexpr std::size_t gridFrom = 64;
        // No distance is below an eps of 0 or less (or NaN).
        lonely_ = !(eps > 0.0);
        if (boxes.size() < gridFrom || lonely_ || !std::isfinite(eps))
            return;
        std::vector<double> extents;
        extents.reserve(boxes.size());
        for (const Hyperrectangle<2, float>& box : boxes) {
            for (unsigned axis = 0; axis < 2; ++axis) {
                if (!std::isfinite(box.origin[axis]) || !std::isfinite(box.size[axis]) ||
                    box.size[axis] < 0.0f)
                    return;
                low_[axis] = std::min(low_[axis], double(box.origin[axis]));
                high_[axis] =
                    std::max(high_[axis], double(box.origin[axis]) + double(box.size[axis]));
            }
            extents.push_back(std::max(box.size[0], box.size[1]));
        }
        auto ninth = extents.begin() + static_cast<std::ptrdiff_t>(extents.size() * 9 / 10);
        std::nth_element(extents.begin(), ninth, extents.end());
        cell_ = std::max(eps, *ninth);
        // Cell numbers stay exact in a double and far inside 64 bits.
        constexpr double mostCells = 1e15;
        for (unsigned axis = 0; axis < 2; ++axis)
            if ((high_[axis] - low_[axis]) / cell_ > mostCells)
                return;
        // Most cells a box is listed in: nine boxes in ten cover at most four.
        constexpr std::int64_t mostCovered = 16;
        for (std::uint32_t i = 0; i < boxes.size(); ++i) {
            std::int64_t first[2], last[2];
            covered(boxes[i], 0.0, first, last);
            if ((last[0] - first[0] + 1) * (last[1] - first[1] + 1) > mostCovered) {
                large_.push_back(i);
                continue;
            }
            for (std::int64_t row = first[1]; row <= last[1]; ++row)
                for (std::int64_t column = first[0]; column <= last[0]; ++column)
                    listed_.push_back(Entry{row, column, i});
        }
        std::sort(listed_.begin(), listed_.end());
        seen_.assign(boxes.size(), 0);
        gridded_ = true;
    }

    // Neighbours of box i in increasing index order.
    std::vector<std::uint32_t> of(std::size_t i) const {
        std::vector<std::uint32_t> found;
        if (lonely_)
            return found;
        const Hyperrectangle<2, float>& box = boxes_[i];
        auto consider = [&](std::uint32_t j) {
            if (j != i && boxDistance(box, boxes_[j]) < eps_)
                found.push_back(j);
        };
        std::int64_t first[2], last[2];
        if (gridded_)
            covered(box, eps_, first, last);
        // A box covering more cells than there are listings is cheaper compared with all.
        if (!gridded_ || double(last[0] - first[0] + 1) * double(last[1] - first[1] + 1) >
                             double(listed_.size())) {
            for (std::uint32_t j = 0; j < boxes_.size(); ++j)
                consider(j);
            return found;
        }
        // A box listed in several of these cells is looked at once.
        if (++query_ == 0) {
            std::fill(seen_.begin(), seen_.end(), 0);
            query_ = 1;
        }
        const std::uint32_t stamp = query_;
        for (std::int64_t row = first[1]; row <= last[1]; ++row)
            for (auto at =
                     std::lower_bound(listed_.begin(), listed_.end(), Entry{row, first[0], 0});
                 at != listed_.end() && at->row == row && at->column <= last[0]; ++at)
                if (seen_[at->box] != stamp) {
                    seen_[at->box] = stamp;
                    consider(at->box);
                }
        for (std::uint32_t j : large_)
            consider(j);
        std::sort(found.begin(), found.end());
        return found;
    }

private:
    struct Entry {
        std::int64_t row, column;
        std::uint32_t box;
        bool operator<(const Entry& other) const {
            return std::tie(row, column, box) < std::tie(other.row, other.column, other.box);
        }
    };

    // The cell number of a coordinate, clamped just outside the plane of the boxes.
    std::int64_t cellOf(double value, unsigned axis) const {
        const double cell = std::floor((value - low_[axis]) / cell_);
        const double end = std::floor((high_[axis] - low_[axis]) / cell_);
        return static_cast<std::int64_t>(std::clamp(cell, -1.0, end + 1.0));
    }

    // The cells (per axis, first to last) that the box grown by reach on every side covers.
    // The padding covers rounding in the single-precision gaps that boxDistance measures.
    void covered(const Hyperrectangle<2, float>& box, double reach, std::int64_t first[2],
                 std::int64_t last[2]) const {
        for (unsigned axis = 0; axis < 2; ++axis) {
            const double near = box.origin[axis], far = near + box.size[axis];
            const double pad =
                0.01 * (reach + cell_) + 1e-5 * (std::fabs(near) + std::fabs(far)) + 1e-6;
            first[axis] = cellOf(near - reach - pad, axis);
            last[axis] = cellOf(far + reach + pad, axis);
        }
    }

    const std::vector<Hyperrectangle<2, float>>& boxes_;
    double eps_;
    double cell_ = 0.0;
    double low_[2] = {HUGE_VAL, HUGE_VAL}, high_[2] = {-HUGE_VAL, -HUGE_VAL};
    bool lonely_ = false, gridded_ = false;
    std::vector<Entry> listed_;               // boxes by every cell they cover
    std::vector<std::uint32_t> large_;        // the others, compared with every box
    mutable std::vector<std::uint32_t> seen_; // per box, the last query that looked at it
    mutable std::uint32_t query_ = 0;
};

// The group of the given polylines as a copy of source followed by the set clean-up would
// leave it, without copying the vertices the group does not use: a drawing with many clutter
// groups and many vertices would otherwise copy every vertex once per group.
PolylineSet cleanedGroup(const PolylineSet& source, std::vector<Polyline> polylines) {
    // The polyline half of the clean-up.
    for (Polyline& polyline : polylines)
        polyline.erase(std::unique(polyline.begin(), polyline.end()), polyline.end());
    std::erase_if(polylines, [](const Polyline& polyline) { return polyline.size() < 2; });

    std::vector<std::uint32_t> used;
    for (const Polyline& polyline : polylines)
        for (std::uint32_t v : polyline) {
            if (v >= source.vertexCount())
                throw BoundException<unsigned int>(v, source.vertexCount());
            used.push_back(v);
        }
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());

    // The vertex half: the clean-up walks the slots upward and fills each unused one with the
    // current last vertex, dropping unused ones from the end. So the n used vertices end in
    // slots 0 .. n - 1: those already below n stay, and the holes below n, in increasing order,
    // take the used vertices at n or above, from the highest down.
    const std::size_t n = used.size();
    const std::size_t low = static_cast<std::size_t>(
        std::partition_point(used.begin(), used.end(), [n](std::uint32_t v) { return v < n; }) -
        used.begin());
    std::vector<std::uint32_t> slotOf(n); // slot of used[k]
    std::vector<std::uint32_t> sourceOf(n);
    std::size_t next = 0; // the next used vertex below n, by rank
    std::size_t high = n; // one past the next used vertex at n or above, from the top
    for (std::uint32_t slot = 0; slot < n; ++slot) {
        if (next < low && used[next] == slot) {
            slotOf[next] = slot;
            sourceOf[slot] = slot;
            ++next;
        } else {
            --high;
            slotOf[high] = slot;
            sourceOf[slot] = used[high];
        }
    }

    PolylineSet set(source.mergeDistance());
    std::vector<PositionAccumulator>& vertices = set.vertices();
    vertices.reserve(n);
    for (std::uint32_t slot = 0; slot < n; ++slot)
        vertices.push_back(PositionAccumulator{source.vertices()[sourceOf[slot]].position(), 1});
    for (Polyline& polyline : polylines)
        for (std::uint32_t& v : polyline)
            v = slotOf[static_cast<std::size_t>(std::lower_bound(used.begin(), used.end(), v) -
                                                used.begin())];
    set.polylines() = std::move(polylines);
    return set;
}

} // namespace

std::vector<bool> markClutter(const PolylineSet& lines, float length) {
    const std::vector<Polyline>& polylines = lines.polylines();
    const std::uint32_t vertexCount = lines.vertexCount();
    std::vector<Point<2, float>> at(vertexCount);
    for (std::uint32_t v = 0; v < vertexCount; ++v)
        at[v] = lines.position(v);

    // Which polylines use each vertex, as one flat table (offsets, then polyline numbers).
    std::vector<std::uint32_t> first(std::size_t(vertexCount) + 1, 0);
    for (const Polyline& polyline : polylines)
        for (std::uint32_t v : polyline)
            ++first[v + 1];
    for (std::uint32_t v = 0; v < vertexCount; ++v)
        first[v + 1] += first[v];
    std::vector<std::uint32_t> users(first.back());
    std::vector<std::uint32_t> fill(first.begin(), first.end() - 1);
    for (std::uint32_t p = 0; p < polylines.size(); ++p)
        for (std::uint32_t v : polylines[p])
            users[fill[v]++] = p;

    // A polyline with one long segment is drawing; so is everything reachable from it through
    // shared vertices. A breadth-first walk over the shared vertices reaches exactly what
    // repeated passes of "a polyline touching a cleared vertex clears all of its vertices"
    // would, in time proportional to the number of indices.
    const float limit = length * length;
    std::vector<bool> clutter(polylines.size(), true);
    std::vector<bool> vertexFree(vertexCount, true);
    std::vector<std::uint32_t> queue;
    for (std::uint32_t p = 0; p < polylines.size(); ++p) {
        const Polyline& polyline = polylines[p];
        for (std::size_t k = 1; k < polyline.size(); ++k) {
            const float dx = at[polyline[k]].x() - at[polyline[k - 1]].x();
            const float dy = at[polyline[k]].y() - at[polyline[k - 1]].y();
            if (dx * dx + dy * dy > limit) {
                clutter[p] = false;
                queue.push_back(p);
                break;
            }
        }
    }
    for (std::size_t head = 0; head < queue.size(); ++head) {
        for (std::uint32_t v : polylines[queue[head]]) {
            if (!vertexFree[v])
                continue;
            vertexFree[v] = false;
            for (std::uint32_t u = first[v]; u < first[v + 1]; ++u) {
                const std::uint32_t other = users[u];
                if (clutter[other]) {
                    clutter[other] = false;
                    queue.push_back(other);
                }
            }
        }
    }
    return clutter;
}

PolylineSet classifyClutter(PolylineSet& lines, float length) {
    return splitClutter(lines, markClutter(lines, length));
}

PolylineSet splitClutter(PolylineSet& lines, const std::vector<bool>& isClutter) {
    std::vector<Polyline>& polylines = lines.polylines();

    std::vector<Polyline> found;
    for (std::size_t p = polylines.size(); p-- > 0;)
        if (isClutter[p])
            found.push_back(polylines[p]);
    std::size_t keep = 0;
    for (std::size_t p = 0; p < polylines.size(); ++p) {
        if (isClutter[p])
            continue;
        if (keep != p)
            polylines[keep] = std::move(polylines[p]);
        ++keep;
    }
    polylines.resize(keep);

    PolylineSet result(lines.mergeDistance());
    std::vector<PositionAccumulator>& vertices = result.vertices();
    vertices.reserve(lines.vertexCount());
    for (std::uint32_t v = 0; v < lines.vertexCount(); ++v)
        vertices.push_back(PositionAccumulator{lines.position(v), 1});
    result.polylines() = std::move(found);
    return result;
}

std::vector<std::uint32_t> clusterBoxes(const std::vector<Hyperrectangle<2, float>>& boxes,
                                        float eps) {
    constexpr std::size_t minimumNeighbours = 2;
    const double reach = eps;
    const BoxNeighbours neighboursOf(boxes, reach);
    std::vector<std::uint32_t> labels(boxes.size(), unvisitedLabel);
    std::uint32_t cluster = 1;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        if (labels[i] != unvisitedLabel)
            continue;
        const std::vector<std::uint32_t> neighbours = neighboursOf.of(i);
        if (neighbours.size() < minimumNeighbours) {
            labels[i] = 0;
            for (std::uint32_t j : neighbours)
                labels[j] = 0;
            continue;
        }
        labels[i] = cluster;
        std::vector<std::uint32_t> seeds = neighbours;
        while (!seeds.empty()) {
            const std::uint32_t k = seeds.back();
            seeds.pop_back();
            if (labels[k] == 0) {
                labels[k] = cluster;
            } else if (labels[k] == unvisitedLabel) {
                labels[k] = cluster;
                const std::vector<std::uint32_t> more = neighboursOf.of(k);
                // A box already in a cluster would do nothing when popped, so it is not
                // pushed; this keeps the stack within the number of boxes per expansion.
                if (more.size() >= minimumNeighbours)
                    for (std::uint32_t m : more)
                        if (labels[m] == 0 || labels[m] == unvisitedLabel)
                            seeds.push_back(m);
            }
        }
        ++cluster;
    }
    return labels;
}

std::vector<PolylineSet> groupClutter(const PolylineSet& clutter, float distance) {
    const std::vector<Polyline>& polylines = clutter.polylines();
    std::vector<Hyperrectangle<2, float>> boxes;
    boxes.reserve(polylines.size());
    for (const Polyline& polyline : polylines) {
        BoundingBoxBuilder builder;
        for (std::uint32_t v : polyline)
            builder.add(clutter.vertices()[v].position());
        boxes.push_back(builder.box());
    }
    const std::vector<std::uint32_t> labels = clusterBoxes(boxes, distance);

    std::uint32_t clusters = 0;
    for (std::uint32_t label : labels)
        clusters = std::max(clusters, label);

    std::vector<std::vector<Polyline>> members(clusters);
    std::vector<std::vector<Polyline>> singles;
    std::vector<Polyline> shortNoise;
    for (std::size_t p = 0; p < polylines.size(); ++p) {
        if (labels[p] != 0)
            members[labels[p] - 1].push_back(polylines[p]);
        else if (polylines[p].size() >= 3)
            singles.push_back({polylines[p]});
        else
            shortNoise.push_back(polylines[p]);
    }

    std::vector<PolylineSet> groups;
    groups.reserve(members.size() + singles.size() + 1);
    for (std::vector<Polyline>& group : members)
        groups.push_back(cleanedGroup(clutter, std::move(group)));
    for (std::vector<Polyline>& group : singles)
        groups.push_back(cleanedGroup(clutter, std::move(group)));
    groups.push_back(cleanedGroup(clutter, std::move(shortNoise)));
    for (PolylineSet& group : groups) {
        if (clutter.transformation())
            group.setTransformation(clutter.transformation()->clone());
    }
    return groups;
}

} // namespace ZELK
