#include "tracing/line_segment.hpp"

#include <cmath>

namespace ZELK {

namespace {

using P2 = Point<2, float>;
using V2 = Vector<2, float>;

float root(float value) {
    return static_cast<float>(std::sqrt(static_cast<double>(value)));
}

// Total least-squares line through the points that accept() selects. Returns false when none
// is selected, or when the scatter has no single dominant direction.
template <typename Accept>
bool totalLeastSquares(const std::vector<P2>& points, Accept accept, Hyperplane<2, float>& line) {
    float sumX = 0.0f, sumY = 0.0f;
    std::uint32_t count = 0;
    for (const P2& p : points)
        if (accept(p)) {
            sumX += p.x();
            sumY += p.y();
            ++count;
        }
    if (count == 0)
        return false;
    const P2 mean(sumX / static_cast<float>(count), sumY / static_cast<float>(count));
    float sxx = 0.0f, sxy = 0.0f, syy = 0.0f;
    for (const P2& p : points)
        if (accept(p)) {
            const V2 d = p - mean;
            sxx += d.x() * d.x();
            sxy += d.x() * d.y();
            syy += d.y() * d.y();
        }

    // Eigenvalues of the scatter matrix [[sxx, sxy], [sxy, syy]]; the smaller one belongs to
    // the normal.
    const float h = -(sxx + syy) / 2.0f;
    const float discriminant = h * h - (sxx * syy - sxy * sxy);
    if (discriminant < 0.0f)
        return false;
    const float rootD = root(discriminant);
    const float smaller = -h - rootD;
    const float larger = rootD - h;
    if (smaller >= larger)
        return false;
    // A row of (S - lambda I) is perpendicular to the normal; take the better conditioned one.
    const V2 row = std::fabs(sxx - smaller) > std::fabs(syy - smaller) ? V2(sxx - smaller, sxy)
                                                                       : V2(sxy, syy - smaller);
    const V2 normal = V2(-row.y(), row.x()) / length(row);
    line = Hyperplane<2, float>(normal, dot(normal, mean));
    return true;
}

float distanceTo(const Hyperplane<2, float>& line, const P2& p) {
    return std::fabs(line.signedDistance(p));
}

} // namespace

void LineSegment::fit() {
    valid = false;
    if (points.size() < 2)
        return;
    Hyperplane<2, float> first;
    if (!totalLeastSquares(
            points, [](const P2&) { return true; }, first))
        return;
    Hyperplane<2, float> line;
    if (!totalLeastSquares(
            points, [&](const P2& p) { return distanceTo(first, p) < inlierDistance; }, line))
        return;

    const V2& n = line.normal;
    const P2& p0 = points.front();
    const P2 o = p0 - n * line.signedDistance(p0);
    const V2 d = V2(-n.y(), n.x()) / ZELK::length(n);
    float tMin = 0.0f, tMax = 0.0f;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const float t = dot(points[i] - o, d);
        if (t < tMin)
            tMin = t;
        if (t > tMax)
            tMax = t;
    }
    const P2 firstEnd = o + d * (tMin - endPadding);
    const P2 secondEnd = o + d * (tMax + endPadding);
    const V2 span = secondEnd - firstEnd;
    plane = line;
    origin = firstEnd;
    length = ZELK::length(span);
    direction = span / length;
    valid = true;
}

bool seedFit(std::vector<P2>& list, LineSegment& segment) {
    // A seed line needs this many supporting pixels besides the two that define it.
    constexpr unsigned minimumSupport = 4;
    segment.valid = false;
    if (list.size() < minimumSupport)
        return false;

    auto lineThrough = [&](std::size_t i, std::size_t j) {
        const P2& a = list[i];
        const V2 along = list[j] - a;
        const float span = length(along);
        // Coinciding pixels give no direction; the diagonal is as good as any.
        const V2 u = span > 0.0f ? along / span : V2(0.70710677f, 0.70710677f);
        const V2 n(-u.y(), u.x());
        return Hyperplane<2, float>(n, dot(n, a));
    };

    std::size_t bestI = 0, bestJ = 0;
    unsigned bestCount = 0;
    bool any = false;
    for (std::size_t i = 1; i < list.size(); ++i)
        for (std::size_t j = 0; j < i; ++j) {
            const Hyperplane<2, float> line = lineThrough(i, j);
            unsigned count = 0;
            for (std::size_t k = 0; k < list.size(); ++k)
                if (k != i && k != j && distanceTo(line, list[k]) < LineSegment::inlierDistance)
                    ++count;
            if (!any || count > bestCount) {
                any = true;
                bestCount = count;
                bestI = i;
                bestJ = j;
            }
        }
    if (bestCount < minimumSupport)
        return false;

    Hyperplane<2, float> current = lineThrough(bestI, bestJ);
    std::vector<bool> taken(list.size(), false);
    for (int round = 0; round < 2; ++round) {
        segment.points.clear();
        segment.regions.clear();
        for (std::size_t k = 0; k < list.size(); ++k) {
            taken[k] = distanceTo(current, list[k]) < LineSegment::inlierDistance;
            if (taken[k])
                segment.points.push_back(list[k]);
        }
        segment.fit();
        if (!segment.valid)
            return false;
        current = segment.plane;
    }

    std::size_t kept = 0;
    for (std::size_t k = 0; k < list.size(); ++k)
        if (!taken[k])
            list[kept++] = list[k];
    list.resize(kept);
    return true;
}

} // namespace ZELK
