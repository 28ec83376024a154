#include "extract/clutter.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

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

std::vector<std::uint32_t> neighboursOf(const std::vector<Hyperrectangle<2, float>>& boxes,
                                        std::size_t i, double eps) {
    std::vector<std::uint32_t> found;
    for (std::size_t j = 0; j < boxes.size(); ++j)
        if (j != i && boxDistance(boxes[i], boxes[j]) < eps)
            found.push_back(static_cast<std::uint32_t>(j));
    return found;
}

// A set with a copy of every stored vertex position of source (count 1, same indices) and the
// given polylines.
PolylineSet withVerticesOf(const PolylineSet& source, std::vector<Polyline> polylines) {
    PolylineSet set(source.mergeDistance());
    std::vector<PositionAccumulator>& vertices = set.vertices();
    vertices.reserve(source.vertexCount());
    for (const PositionAccumulator& vertex : source.vertices())
        vertices.push_back(PositionAccumulator{vertex.position(), 1});
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
    const std::vector<bool> isClutter = markClutter(lines, length);
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
    std::vector<std::uint32_t> labels(boxes.size(), unvisitedLabel);
    std::uint32_t cluster = 1;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        if (labels[i] != unvisitedLabel)
            continue;
        const std::vector<std::uint32_t> neighbours = neighboursOf(boxes, i, reach);
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
                const std::vector<std::uint32_t> more = neighboursOf(boxes, k, reach);
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
        groups.push_back(withVerticesOf(clutter, std::move(group)));
    for (std::vector<Polyline>& group : singles)
        groups.push_back(withVerticesOf(clutter, std::move(group)));
    groups.push_back(withVerticesOf(clutter, std::move(shortNoise)));
    for (PolylineSet& group : groups) {
        group.cleanUp();
        if (clutter.transformation())
            group.setTransformation(clutter.transformation()->clone());
    }
    return groups;
}

} // namespace ZELK
