#include "tracing/clutter.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

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

// Finds the neighbours of a box: every other box closer than eps. Many boxes are searched in
// order of their left edge, looking only at those whose left edge lies within reach (eps plus
// the widest box) of the box; boxes with non-finite coordinates fall back to a plain scan.
class BoxNeighbours {
public:
    BoxNeighbours(const std::vector<Hyperrectangle<2, float>>& boxes, double eps)
        : boxes_(boxes), eps_(eps) {
        // Below this many boxes the plain scan is as fast as sorting.
        constexpr std::size_t sweepFrom = 64;
        if (boxes.size() < sweepFrom || !std::isfinite(eps) || eps < 0.0)
            return;
        for (const Hyperrectangle<2, float>& box : boxes) {
            if (!std::isfinite(box.origin.x()) || !std::isfinite(box.size[0]) || box.size[0] < 0.0f)
                return;
            widest_ = std::max(widest_, double(box.size[0]));
        }
        order_.resize(boxes.size());
        for (std::uint32_t i = 0; i < order_.size(); ++i)
            order_[i] = i;
        std::sort(order_.begin(), order_.end(), [&](std::uint32_t a, std::uint32_t b) {
            return boxes[a].origin.x() < boxes[b].origin.x();
        });
        starts_.reserve(order_.size());
        for (std::uint32_t i : order_)
            starts_.push_back(boxes[i].origin.x());
    }

    // Neighbours of box i in increasing index order.
    std::vector<std::uint32_t> of(std::size_t i) const {
        std::vector<std::uint32_t> found;
        const Hyperrectangle<2, float>& box = boxes_[i];
        if (order_.empty()) {
            for (std::size_t j = 0; j < boxes_.size(); ++j)
                if (j != i && boxDistance(box, boxes_[j]) < eps_)
                    found.push_back(static_cast<std::uint32_t>(j));
            return found;
        }
        // A neighbour's horizontal gap is below eps, so its left edge lies in this window;
        // the padding covers rounding in the single-precision gaps.
        const double left = box.origin.x(), right = left + box.size[0];
        const double pad =
            0.01 * (eps_ + widest_) + 1e-5 * (std::fabs(left) + std::fabs(right)) + 1e-6;
        const double low = left - eps_ - widest_ - pad, high = right + eps_ + pad;
        auto at = std::lower_bound(starts_.begin(), starts_.end(), low,
                                   [](float start, double value) { return start < value; });
        for (; at != starts_.end() && *at <= high; ++at) {
            const std::uint32_t j = order_[static_cast<std::size_t>(at - starts_.begin())];
            if (j != i && boxDistance(box, boxes_[j]) < eps_)
                found.push_back(j);
        }
        std::sort(found.begin(), found.end());
        return found;
    }

private:
    const std::vector<Hyperrectangle<2, float>>& boxes_;
    double eps_;
    double widest_ = 0.0;
    std::vector<std::uint32_t> order_; // box numbers by left edge; empty for the plain scan
    std::vector<float> starts_;        // their left edges
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
