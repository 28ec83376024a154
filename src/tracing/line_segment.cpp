#include "tracing/line_segment.hpp"

#include <cmath>

namespace ZELK {

namespace {

using P2 = Point<2, float>;
using V2 = Vector<2, float>;

float root(float value) {
    return static_cast<float>(std::sqrt(static_cast<double>(value)));
}

// Total least-squares line through the points that accept() selects, whose mean is given.
// Returns false when the scatter has no single dominant direction.
template <typename Accept>
bool lineThroughMean(const std::vector<P2>& points, Accept accept, const P2& mean,
                     Hyperplane<2, float>& line) {
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

// The mean of `count` points whose coordinates add up to sumX and sumY.
P2 meanOf(float sumX, float sumY, std::uint32_t count) {
    return P2(sumX / static_cast<float>(count), sumY / static_cast<float>(count));
}

float distanceTo(const Hyperplane<2, float>& line, const P2& p) {
    return std::fabs(line.signedDistance(p));
}

bool isInlier(const Hyperplane<2, float>& line, const P2& p) {
    return distanceTo(line, p) < LineSegment::inlierDistance;
}

// Whether every point is an inlier of the line. Each test stands alone, so this loop, unlike
// the sums, may run in any order and width.
bool allInliers(const std::vector<P2>& points, const Hyperplane<2, float>& line) {
    std::size_t inliers = 0;
    for (const P2& p : points)
        inliers += isInlier(line, p) ? 1 : 0;
    return inliers == points.size();
}

} // namespace

void fitWithSums(LineSegment& s, float sumX, float sumY, bool ends) {
    const std::vector<P2>& points = s.points;
    s.valid = false;
    if (points.size() < 2)
        return;
    Hyperplane<2, float> first;
    if (!lineThroughMean(
            points, [](const P2&) { return true; },
            meanOf(sumX, sumY, static_cast<std::uint32_t>(points.size())), first))
        return;
    // When every point is an inlier of the first line, the refit adds up the same values in the
    // same order and gives that line again; a drawn stroke is nearly always in this case.
    Hyperplane<2, float> line = first;
    if (!allInliers(points, first)) {
        float inX = 0.0f, inY = 0.0f;
        std::uint32_t count = 0;
        for (const P2& p : points)
            if (isInlier(first, p)) {
                inX += p.x();
                inY += p.y();
                ++count;
            }
        if (count == 0 || !lineThroughMean(
                              points, [&](const P2& p) { return isInlier(first, p); },
                              meanOf(inX, inY, count), line))
            return;
    }
    s.plane = line;
    s.valid = true;
    if (!ends)
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
    const P2 firstEnd = o + d * (tMin - LineSegment::endPadding);
    const P2 secondEnd = o + d * (tMax + LineSegment::endPadding);
    const V2 span = secondEnd - firstEnd;
    s.origin = firstEnd;
    s.length = ZELK::length(span);
    s.direction = span / s.length;
}

void LineSegment::fit() {
    float sumX = 0.0f, sumY = 0.0f;
    for (const P2& p : points) {
        sumX += p.x();
        sumY += p.y();
    }
    fitWithSums(*this, sumX, sumY, true);
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
