#include "tracing/fit_bounds.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "tracing/line_segment.hpp"

namespace ZELK {

namespace {

// Every interval below holds all values the single-precision computation can produce for any
// input within the intervals it starts from. Each single-precision operation is modelled as the
// exact operation followed by a rounding of relative error at most u (plus the smallest
// subnormal), and the double-precision arithmetic that finds the bounds is itself widened.
constexpr double u = 0x1p-24;
constexpr double smallestFloat = 0x1p-149;
constexpr double doubleSlack = 0x1p-50;
// Beyond this a product of two values could overflow single precision, which the model leaves
// out; such lines are simply fitted.
constexpr double largest = 1e18;

double magnitude(const Interval& x) {
    return std::max(std::fabs(x.lo), std::fabs(x.hi));
}

bool usable(const Interval& x) {
    return std::isfinite(x.lo) && std::isfinite(x.hi) && x.lo <= x.hi && magnitude(x) < largest;
}

// The interval widened for the rounding of the double arithmetic that produced it.
Interval outward(Interval x) {
    const double m = magnitude(x) * doubleSlack + 1e-300;
    return {x.lo - m, x.hi + m};
}

// Any value in x rounded to single precision.
Interval rounded(const Interval& x) {
    const Interval w = outward(x);
    const double m = magnitude(w) * u + smallestFloat;
    return {w.lo - m, w.hi + m};
}

Interval exactly(double value) {
    return {value, value};
}

Interval add(const Interval& a, const Interval& b) {
    return rounded({a.lo + b.lo, a.hi + b.hi});
}

Interval negate(const Interval& a) {
    return {-a.hi, -a.lo};
}

Interval subtract(const Interval& a, const Interval& b) {
    return add(a, negate(b));
}

Interval product(const Interval& a, const Interval& b) {
    const double p[4] = {a.lo * b.lo, a.lo * b.hi, a.hi * b.lo, a.hi * b.hi};
    return {*std::min_element(p, p + 4), *std::max_element(p, p + 4)};
}

Interval multiply(const Interval& a, const Interval& b) {
    return rounded(product(a, b));
}

// x * x for one value x within the interval.
Interval square(const Interval& x) {
    const double a = x.lo * x.lo, b = x.hi * x.hi;
    const bool straddles = x.lo <= 0.0 && x.hi >= 0.0;
    return rounded({straddles ? 0.0 : std::min(a, b), std::max(a, b)});
}

Interval absolute(const Interval& x) {
    if (x.lo >= 0.0)
        return x;
    if (x.hi <= 0.0)
        return negate(x);
    return {0.0, magnitude(x)};
}

// a / b in exact arithmetic, for b not straddling 0.
Interval quotient(const Interval& a, const Interval& b) {
    const double q[4] = {a.lo / b.lo, a.lo / b.hi, a.hi / b.lo, a.hi / b.hi};
    return outward({*std::min_element(q, q + 4), *std::max_element(q, q + 4)});
}

// The unit normal (-r1, r0) / |r| of a row anywhere within (r0, r1), as single precision
// computes it: the squares, their sum, the root and the two quotients each add at most u of
// relative error, 4u in all with room to spare. The exact value depends only on the ratio of the
// components, through increasing g(t) = t / sqrt(1 + t^2) and k(t) = 1 / sqrt(1 + t^2), which
// is largest at t = 0.
bool unitNormal(const Interval& r0, const Interval& r1, Interval& nx, Interval& ny) {
    auto g = [](double t) { return t / std::sqrt(1.0 + t * t); };
    auto k = [&](const Interval& t) {
        const double a = 1.0 / std::sqrt(1.0 + t.lo * t.lo);
        const double b = 1.0 / std::sqrt(1.0 + t.hi * t.hi);
        return Interval{std::min(a, b), t.lo <= 0.0 && t.hi >= 0.0 ? 1.0 : std::max(a, b)};
    };
    auto scaled = [](const Interval& x, double sign) { return sign > 0.0 ? x : negate(x); };
    const bool r0Signed = r0.lo > 0.0 || r0.hi < 0.0;
    const bool r1Signed = r1.lo > 0.0 || r1.hi < 0.0;
    if (r0Signed) {
        // nx = -s g(r1 / r0), ny = s k(r1 / r0) with s the sign of r0.
        const double s = r0.lo > 0.0 ? 1.0 : -1.0;
        const Interval t = quotient(r1, r0);
        nx = scaled(Interval{g(t.lo), g(t.hi)}, -s);
        ny = scaled(k(t), s);
    } else if (r1Signed) {
        // nx = -s k(r0 / r1), ny = s g(r0 / r1) with s the sign of r1.
        const double s = r1.lo > 0.0 ? 1.0 : -1.0;
        const Interval t = quotient(r0, r1);
        nx = scaled(k(t), -s);
        ny = scaled(Interval{g(t.lo), g(t.hi)}, s);
    } else {
        return false;
    }
    for (Interval* n : {&nx, &ny}) {
        const Interval w = outward(*n);
        const double m = magnitude(w) * 4.0 * u + 2.0 * smallestFloat;
        *n = {w.lo - m, w.hi + m};
    }
    return true;
}

// The signed distance n . q - c as single precision computes it.
Interval signedDistance(const FitBounds& b, double qx, double qy) {
    return subtract(add(multiply(b.nx, exactly(qx)), multiply(b.ny, exactly(qy))), b.c);
}

} // namespace

void PointMoments::update(const std::vector<Point<2, float>>& points) {
    for (; counted < points.size(); ++counted) {
        const Point<2, float>& p = points[counted];
        sumX += p.x();
        sumY += p.y();
        const float x = p.x(), y = p.y();
        // Beyond 2^20 points of coordinates below 2^20 the sums could leave 64 bits.
        if (!(std::fabs(x) < 0x1p20f && std::fabs(y) < 0x1p20f) || x != std::floor(x) ||
            y != std::floor(y) || counted >= (std::size_t(1) << 20)) {
            integral = false;
            continue;
        }
        const std::int64_t ix = std::int64_t(x), iy = std::int64_t(y);
        sx += ix;
        sy += iy;
        sxx += ix * ix;
        sxy += ix * iy;
        syy += iy * iy;
        largestX = std::max(largestX, std::fabs(double(x)));
        largestY = std::max(largestY, std::fabs(double(y)));
        if (counted == 0)
            x0 = x, y0 = y;
        reachX = std::max(reachX, std::fabs(double(x) - x0));
        reachY = std::max(reachY, std::fabs(double(y) - y0));
    }
}

bool boundFit(const std::vector<Point<2, float>>& points, PointMoments& m, FitBounds& bounds) {
    const std::size_t n = points.size();
    if (std::numeric_limits<long double>::digits < 64 || !m.integral || m.counted != n || n < 2 ||
        n > (std::size_t(1) << 20))
        return false;

    // The mean exactly as the fit computes it.
    const float count = static_cast<float>(static_cast<std::uint32_t>(n));
    const float meanX = m.sumX / count, meanY = m.sumY / count;

    // The exact scatter about that mean. With coordinates below 2^20 and at most 2^20 points,
    // every product below fits the 64-bit significand but n mean^2, whose rounding the slack
    // covers.
    using Long = long double;
    const Long mx = meanX, my = meanY, count64 = Long(n);
    const Long dxx = Long(m.sxx) - 2 * mx * Long(m.sx) + count64 * mx * mx;
    const Long dyy = Long(m.syy) - 2 * my * Long(m.sy) + count64 * my * my;
    const Long dxy = Long(m.sxy) - my * Long(m.sx) - mx * Long(m.sy) + count64 * mx * my;
    auto slack = [&](Long a, Long b, Long c) { return 1e-18L * (fabsl(a) + fabsl(b) + fabsl(c)); };
    const double xxSlack = double(slack(Long(m.sxx), 2 * mx * Long(m.sx), count64 * mx * mx));
    const double yySlack = double(slack(Long(m.syy), 2 * my * Long(m.sy), count64 * my * my));
    const double xySlack = double(
        slack(Long(m.sxy), fabsl(my * Long(m.sx)) + fabsl(mx * Long(m.sy)), count64 * mx * my));
    const double sumXX = std::max(0.0, double(dxx)) + xxSlack;
    const double sumYY = std::max(0.0, double(dyy)) + yySlack;

    // Each term of a single-precision sum carries at most (1 + u)^3 - 1 of relative error (the
    // difference to the mean, the product), and the running sum of n terms at most
    // gamma(n - 1) = (n - 1) u / (1 - (n - 1) u) of the sum of their magnitudes; the magnitudes
    // of the cross terms add up to at most sqrt(sumXX sumYY).
    const double gamma = double(n - 1) * u / (1.0 - double(n - 1) * u);
    const double term = (1.0 + u) * (1.0 + u) * (1.0 + u);
    const double factor = (term - 1.0 + gamma * term) * (1.0 + 1e-9);
    const Interval sxx =
        outward({double(dxx) - xxSlack - factor * sumXX, double(dxx) + xxSlack + factor * sumXX});
    const Interval syy =
        outward({double(dyy) - yySlack - factor * sumYY, double(dyy) + yySlack + factor * sumYY});
    const double crossError = xySlack + factor * std::sqrt(sumXX * sumYY);
    const Interval sxy = outward({double(dxy) - crossError, double(dxy) + crossError});
    if (!usable(sxx) || !usable(syy) || !usable(sxy))
        return false;

    // The eigen decomposition step by step.
    const Interval sum = add(sxx, syy);
    const Interval h = rounded({-sum.hi / 2.0, -sum.lo / 2.0});
    const Interval discriminant = subtract(square(h), subtract(multiply(sxx, syy), square(sxy)));
    if (!usable(discriminant) || discriminant.lo < 0.0)
        return false;
    const Interval rootD = rounded({std::sqrt(discriminant.lo), std::sqrt(discriminant.hi)});
    const Interval smaller = subtract(negate(h), rootD);
    const Interval larger = subtract(rootD, h);
    if (!(smaller.hi < larger.lo))
        return false;
    const Interval a = subtract(sxx, smaller), b = subtract(syy, smaller);
    Interval r0, r1;
    if (absolute(a).lo > absolute(b).hi) {
        r0 = a;
        r1 = sxy;
    } else if (absolute(a).hi <= absolute(b).lo) {
        r0 = sxy;
        r1 = b;
    } else {
        return false;
    }
    if (!usable(r0) || !usable(r1) || magnitude(r0) + magnitude(r1) < 1e-6 ||
        !unitNormal(r0, r1, bounds.nx, bounds.ny))
        return false;
    bounds.c = add(multiply(bounds.nx, exactly(meanX)), multiply(bounds.ny, exactly(meanY)));
    if (!usable(bounds.c))
        return false;

    // Every point an inlier of the first line: the distance of each point from the line through
    // the middles of the bounds, plus how far any line within them and the rounding of the
    // distance can move it. Distances are taken from a reference line, which is renewed (all
    // points measured again) only when the line has moved too far from it.
    auto middle = [](const Interval& x) { return (x.lo + x.hi) / 2.0; };
    auto radius = [](const Interval& x) { return (x.hi - x.lo) / 2.0; };
    const double nx = middle(bounds.nx), ny = middle(bounds.ny);
    const double k = middle(bounds.c) - nx * m.x0 - ny * m.y0;
    const double reach =
        magnitude(bounds.nx) * m.largestX + magnitude(bounds.ny) * m.largestY + magnitude(bounds.c);
    const double spread = radius(bounds.nx) * m.largestX + radius(bounds.ny) * m.largestY +
                          radius(bounds.c) + 4.0 * u * (reach + 2.0) + 1e-9 * (reach + 1.0);
    const double limit = LineSegment::inlierDistance - spread;
    PointMoments::Reference& r = m.reference;
    auto measure = [&](std::size_t from) {
        double farthest = r.farthest;
        for (std::size_t i = from; i < n; ++i)
            farthest = std::max(farthest, std::fabs(r.nx * (double(points[i].x()) - m.x0) +
                                                    r.ny * (double(points[i].y()) - m.y0) - r.k));
        r.farthest = farthest;
        r.counted = n;
    };
    auto moved = [&] {
        return std::fabs(nx - r.nx) * m.reachX + std::fabs(ny - r.ny) * m.reachY +
               std::fabs(k - r.k) + 1e-9 * (m.reachX + m.reachY + std::fabs(k) + 1.0);
    };
    if (r.set) {
        measure(r.counted);
        if (r.farthest + moved() < limit)
            return true;
    }
    r = PointMoments::Reference{true, nx, ny, k, 0.0, 0};
    measure(0);
    return r.farthest + moved() < limit;
}

int sideOf(const FitBounds& bounds, const Point<2, float>& q, float limit) {
    const Interval d = signedDistance(bounds, q.x(), q.y());
    if (d.lo >= limit || d.hi <= -limit)
        return 1;
    if (d.lo > -limit && d.hi < limit)
        return -1;
    return 0;
}

} // namespace ZELK
