// Quickhull, short-edge merging and corner choice.
#include "background/hull.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ZELK {

namespace {

using IntPoint = Point<2, int>;

// Twice the signed area of (p, q, x): negative when x lies right of the directed line p -> q.
inline std::int64_t cross(const IntPoint& p, const IntPoint& q, const IntPoint& x) {
    return (std::int64_t(q[0]) - p[0]) * (std::int64_t(x[1]) - p[1]) -
           (std::int64_t(q[1]) - p[1]) * (std::int64_t(x[0]) - p[0]);
}

std::vector<IntPoint> rightOf(const IntPoint& p, const IntPoint& q,
                              const std::vector<IntPoint>& candidates) {
    std::vector<IntPoint> result;
    for (const IntPoint& x : candidates)
        if (cross(p, q, x) < 0)
            result.push_back(x);
    return result;
}

Point<2, float> toFloat(const IntPoint& p) {
    return Point<2, float>(float(p[0]), float(p[1]));
}

struct Vec {
    float x, y;
};
inline Vec minus(const Point<2, float>& a, const Point<2, float>& b) {
    return {a[0] - b[0], a[1] - b[1]};
}
inline float dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y;
}
// The vector divided by its length (square root in double); (0, 0) stays (0, 0).
inline Vec unit(Vec v) {
    const double length = std::sqrt(double(v.x * v.x + v.y * v.y));
    if (length == 0.0)
        return {0.0f, 0.0f};
    return {float(v.x / length), float(v.y / length)};
}

} // namespace

std::vector<Point<2, float>> convexHull(const std::vector<IntPoint>& points) {
    std::vector<Point<2, float>> hull;
    if (points.empty())
        return hull;
    IntPoint left = points[0], right = points[0];
    for (const IntPoint& p : points) {
        if (p[0] < left[0] || (p[0] == left[0] && p[1] < left[1]))
            left = p;
        if (p[0] > right[0] || (p[0] == right[0] && p[1] > right[1]))
            right = p;
    }
    hull.push_back(toFloat(left));
    if (left == right)
        return hull;

    // A task either emits a vertex or refines the chain from p to q over the points outside
    // it; tasks are pushed in reverse so that vertices come out in order.
    struct Task {
        bool emit;
        IntPoint p, q;
        std::vector<IntPoint> outside;
    };
    std::vector<Task> stack;
    stack.push_back({false, right, left, rightOf(right, left, points)});
    stack.push_back({true, right, right, {}});
    stack.push_back({false, left, right, rightOf(left, right, points)});
    while (!stack.empty()) {
        Task task = std::move(stack.back());
        stack.pop_back();
        if (task.emit) {
            hull.push_back(toFloat(task.p));
            continue;
        }
        if (task.outside.empty())
            continue;
        const IntPoint* farthest = &task.outside[0];
        std::int64_t farthestDistance = -cross(task.p, task.q, *farthest);
        for (const IntPoint& x : task.outside) {
            const std::int64_t distance = -cross(task.p, task.q, x);
            if (distance > farthestDistance) {
                farthest = &x;
                farthestDistance = distance;
            }
        }
        const IntPoint f = *farthest;
        std::vector<IntPoint> first = rightOf(task.p, f, task.outside);
        std::vector<IntPoint> second = rightOf(f, task.q, task.outside);
        stack.push_back({false, f, task.q, std::move(second)});
        stack.push_back({true, f, f, {}});
        stack.push_back({false, task.p, f, std::move(first)});
    }
    return hull;
}

void simplifyHull(std::vector<Point<2, float>>& hull) {
    std::size_t i = 0;
    while (i < hull.size() && hull.size() >= 4) {
        const std::size_t n = hull.size();
        const std::size_t j = (i + 1) % n;
        const Vec edge = minus(hull[j], hull[i]);
        if (dot(edge, edge) >= minHullEdgeSquared) {
            ++i;
            continue;
        }
        // Indices modulo n, kept non-negative: i - 1 wraps to n - 1.
        const std::size_t k = (i + n - 1) % n;
        const std::size_t l = (j + 1) % n;
        const Point<2, float>& pk = hull[k];
        const Point<2, float>& pl = hull[l];
        const Vec d1 = unit(minus(hull[i], pk));
        const Vec d2 = unit(minus(hull[j], pl));
        const float c = -dot(d1, d2);
        Point<2, float> merged;
        if (std::fabs(c * c - 1.0f) >= std::numeric_limits<float>::epsilon()) {
            // Nearest points of the lines pk + s d1 and pl + u d2; for lines in a plane they
            // coincide at the intersection.
            const Vec q = minus(pk, pl);
            const float e = dot(q, d2);
            const float g = -dot(q, d1);
            const float denominator = 1.0f - c * c;
            const float s = (g - e * c) / denominator;
            const float u = (e - c * g) / denominator;
            merged = Point<2, float>(((pk[0] + s * d1.x) + (pl[0] + u * d2.x)) * 0.5f,
                                     ((pk[1] + s * d1.y) + (pl[1] + u * d2.y)) * 0.5f);
        } else {
            merged =
                Point<2, float>((hull[i][0] + hull[j][0]) * 0.5f, (hull[i][1] + hull[j][1]) * 0.5f);
        }
        hull.erase(hull.begin() + std::ptrdiff_t(j));
        // Removing index 0 moves vertex i down by one.
        if (j == 0)
            --i;
        hull[i] = merged;
    }
}

bool sharpestVertices(const std::vector<Point<2, float>>& hull, std::uint32_t chosen[4]) {
    const std::size_t n = hull.size();
    if (n < 4)
        return false;
    std::vector<bool> taken(n, false);
    for (unsigned pass = 0; pass < 4; ++pass) {
        bool found = false;
        float best = 0.0f;
        std::size_t bestIndex = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (taken[i])
                continue;
            const Vec a = minus(hull[(i + 1) % n], hull[i]);
            const Vec b = minus(hull[(i + n - 1) % n], hull[i]);
            const float aa = dot(a, a);
            const float bb = dot(b, b);
            if (aa == 0.0f || bb == 0.0f)
                continue;
            const float value = float(double(dot(a, b)) / std::sqrt(double(aa * bb)));
            if (!found || value > best) {
                found = true;
                best = value;
                bestIndex = i;
            }
        }
        if (!found)
            return false;
        taken[bestIndex] = true;
        chosen[pass] = std::uint32_t(bestIndex);
    }
    std::sort(chosen, chosen + 4);
    return true;
}

} // namespace ZELK
