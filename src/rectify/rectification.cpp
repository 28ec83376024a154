// The perspective fit from point pairs, the reading of typed pairs, and the rectified warp.
#include "rectify/rectification.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace ZELK {

void CorrespondenceSystem::add(const Point<2, float>& rectified, const Point<2, float>& image) {
    const float X = rectified[0], Y = rectified[1], x = image[0], y = image[1];
    a_.appendRow({X, Y, 1.0f, 0.0f, 0.0f, 0.0f, -X * x, -Y * x});
    b_.appendRow({x});
    a_.appendRow({0.0f, 0.0f, 0.0f, X, Y, 1.0f, -X * y, -Y * y});
    b_.appendRow({y});
}

MatrixSquareLight<3, float> CorrespondenceSystem::fit() const {
    const MatrixSquare<float> normal = transposedProduct(a_);
    normal.expectDimensions(8, 8);
    const Matrix<float> h = normal.solve(transposedProduct(a_, b_));
    return MatrixSquareLight<3, float>{h(0, 0), h(1, 0), h(2, 0), h(3, 0), h(4, 0),
                                       h(5, 0), h(6, 0), h(7, 0), 1.0f};
}

namespace {

// Centroid and mean distance from it along each axis of a set of points, for bringing them to
// a common scale.
struct Normalization {
    double cx = 0.0, cy = 0.0, sx = 0.0, sy = 0.0;
};

// Smallest pivot of a determined system, scaled as in determined(): four pairs of a sheet
// photographed at a slant give pivots near 0.35, a thin sliver of a quad still 0.01, while a
// repeated pair leaves about 1e-16 of rounding noise.
constexpr double determinedPivot = 1e-6;

} // namespace

bool CorrespondenceSystem::determined() const {
    const std::uint32_t n = pairs();
    if (n < 4)
        return false;
    // The pairs as stored: rectified (X, Y) at the start of the first row of each pair, the
    // image point in the two right-hand sides.
    auto rectified = [&](std::uint32_t k, unsigned axis) { return double(a_(2 * k, axis)); };
    auto image = [&](std::uint32_t k, unsigned axis) { return double(b_(2 * k + axis, 0)); };
    // Each point set moved to its centroid and scaled to a unit mean distance along each axis:
    // a change of frame that cannot make a determined system singular or the reverse, so that
    // the test below measures the geometry of the pairs, not their units or the rectangle's
    // proportions.
    auto normalization = [&](auto point) {
        Normalization z;
        for (std::uint32_t k = 0; k < n; ++k) {
            z.cx += point(k, 0);
            z.cy += point(k, 1);
        }
        z.cx /= n;
        z.cy /= n;
        for (std::uint32_t k = 0; k < n; ++k) {
            z.sx += std::fabs(point(k, 0) - z.cx);
            z.sy += std::fabs(point(k, 1) - z.cy);
        }
        z.sx /= n;
        z.sy /= n;
        return z;
    };
    const Normalization zr = normalization(rectified), zi = normalization(image);
    // Points all on one line along an axis (or at one place) determine nothing.
    for (double scale : {zr.sx, zr.sy, zi.sx, zi.sy})
        if (!(scale > 0.0) || !std::isfinite(scale))
            return false;

    double normal[8][8] = {};
    for (std::uint32_t k = 0; k < n; ++k) {
        const double X = (rectified(k, 0) - zr.cx) / zr.sx;
        const double Y = (rectified(k, 1) - zr.cy) / zr.sy;
        const double x = (image(k, 0) - zi.cx) / zi.sx;
        const double y = (image(k, 1) - zi.cy) / zi.sy;
        const double rows[2][8] = {{X, Y, 1, 0, 0, 0, -X * x, -Y * x},
                                   {0, 0, 0, X, Y, 1, -X * y, -Y * y}};
        for (const auto& row : rows)
            for (unsigned i = 0; i < 8; ++i)
                for (unsigned j = 0; j < 8; ++j)
                    normal[i][j] += row[i] * row[j];
    }
    // Scaled to a unit diagonal, every entry lies in [-1, 1]; elimination with partial
    // pivoting then meets a pivot near zero exactly when the matrix is (nearly) singular.
    double diagonal[8];
    for (unsigned i = 0; i < 8; ++i) {
        diagonal[i] = std::sqrt(normal[i][i]);
        if (!(diagonal[i] > 0.0))
            return false;
    }
    for (unsigned i = 0; i < 8; ++i)
        for (unsigned j = 0; j < 8; ++j)
            normal[i][j] /= diagonal[i] * diagonal[j];
    for (unsigned k = 0; k < 8; ++k) {
        unsigned pivot = k;
        for (unsigned r = k + 1; r < 8; ++r)
            if (std::fabs(normal[r][k]) > std::fabs(normal[pivot][k]))
                pivot = r;
        std::swap(normal[k], normal[pivot]);
        if (!(std::fabs(normal[k][k]) >= determinedPivot))
            return false;
        for (unsigned r = k + 1; r < 8; ++r) {
            const double factor = normal[r][k] / normal[k][k];
            for (unsigned c = k; c < 8; ++c)
                normal[r][c] -= factor * normal[k][c];
        }
    }
    return true;
}

void addCornerPairs(CorrespondenceSystem& system, const Point<2, int> corners[4], float width,
                    float height) {
    const Point<2, float> rectangle[4] = {Point<2, float>(0.0f, 0.0f), Point<2, float>(width, 0.0f),
                                          Point<2, float>(width, height),
                                          Point<2, float>(0.0f, height)};
    for (unsigned k = 0; k < 4; ++k)
        system.add(rectangle[k], Point<2, float>(static_cast<float>(corners[k][0]),
                                                 static_cast<float>(corners[k][1])));
}

PointPairReading readPointPairs(std::istream& in, float imageScale, CorrespondenceSystem& system,
                                std::uint32_t maxPairs, float imageOffset) {
    PointPairReading reading;
    float values[4];
    while (true) {
        for (float& value : values)
            if (!(in >> value))
                return reading;
        if (reading.pairs == maxPairs) {
            reading.tooMany = true;
            return reading;
        }
        Point<2, float> image(values[2] * imageScale, values[3] * imageScale);
        // Only a resize that keeps pixel centres moves the origin; otherwise nothing is added,
        // so not even the sign of a zero changes.
        if (imageOffset != 0.0f)
            image = Point<2, float>(image[0] + imageOffset, image[1] + imageOffset);
        system.add(Point<2, float>(values[0], values[1]), image);
        ++reading.pairs;
    }
}

bool isFinite(const MatrixSquareLight<3, float>& m) {
    for (unsigned i = 0; i < 9; ++i)
        if (!std::isfinite(m.data()[i]))
            return false;
    return true;
}

bool rectifiedImageSize(unsigned width, unsigned height, float rectWidth, float rectHeight,
                        Tuple<2, unsigned>& size, float& scale) {
    if (!(rectWidth > 0.0f) || !(rectHeight > 0.0f) || !std::isfinite(rectWidth) ||
        !std::isfinite(rectHeight))
        return false;
    // In double: the product of two large floats, or of two tiny ones, stays representable.
    const double s =
        std::sqrt(double(width) * double(height) / (double(rectWidth) * double(rectHeight)));
    const double w = std::trunc(s * double(rectWidth));
    const double h = std::trunc(s * double(rectHeight));
    const double most = double(Limits::maxRectifiedSide);
    if (!(w >= 1.0 && w <= most && h >= 1.0 && h <= most) || !std::isfinite(float(s)))
        return false;
    size = Tuple<2, unsigned>(static_cast<unsigned>(w), static_cast<unsigned>(h));
    scale = static_cast<float>(s);
    return true;
}

MatrixSquareLight<3, float> rectifiedImageProjection(const MatrixSquareLight<3, float>& h,
                                                     float scale, float imageScale,
                                                     float imageOffset) {
    const float shrink = 1.0f / scale;
    const float toLoaded = 1.0f / imageScale;
    const MatrixSquareLight<3, float> fromPixels{shrink, 0, 0, 0, shrink, 0, 0, 0, 1};
    const MatrixSquareLight<3, float> toLoadedImage{toLoaded, 0, 0, 0, toLoaded, 0, 0, 0, 1};
    if (imageOffset == 0.0f)
        return toLoadedImage * (h * fromPixels);
    const float shift = -imageOffset * toLoaded;
    const MatrixSquareLight<3, float> toShiftedImage{toLoaded, 0, shift, 0, toLoaded,
                                                     shift,    0, 0,     1};
    return toShiftedImage * (h * fromPixels);
}

Signal<3, std::uint8_t> warpPerspective(const SignalConstBorrow<3, std::uint8_t>& source,
                                        const MatrixSquareLight<3, float>& projection,
                                        unsigned width, unsigned height) {
    const unsigned channels = source.size(0), sw = source.size(1), sh = source.size(2);
    Signal<3, std::uint8_t> out(Tuple<3, unsigned>(channels, width, height));
    if (out.empty() || source.empty())
        return out;
    const std::size_t stride = source.rowLength();
    const std::uint8_t* samples = source.data();
    // A neighbour of the point; 0 outside the source. Only for points at the border.
    auto at = [&](std::int64_t x, std::int64_t y, unsigned c) -> float {
        if (x < 0 || y < 0 || x >= std::int64_t(sw) || y >= std::int64_t(sh))
            return 0.0f;
        return float(samples[std::size_t(y) * stride + std::size_t(x) * channels + c]);
    };
    auto store = [](float value) -> std::uint8_t {
        return value > 0.0f ? static_cast<std::uint8_t>(std::min(value, 255.0f)) : 0;
    };
    const MatrixSquareLight<3, float>& m = projection;
    for (unsigned y = 0; y < height; ++y) {
        std::uint8_t* pixel = out.row(y);
        const float fy = float(y);
        for (unsigned x = 0; x < width; ++x, pixel += channels) {
            const float fx = float(x);
            const float u = m(0, 0) * fx + m(0, 1) * fy + m(0, 2);
            const float v = m(1, 0) * fx + m(1, 1) * fy + m(1, 2);
            const float w = m(2, 0) * fx + m(2, 1) * fy + m(2, 2);
            const float reciprocal = 1.0f / w;
            const float sx = u * reciprocal, sy = v * reciprocal;
            // Written so that NaN fails too; the output starts out 0. A point at -1 or beyond
            // the last sample has no neighbour inside.
            if (!(sx > -1.0f && sy > -1.0f && sx < float(sw) && sy < float(sh)))
                continue;
            const float wholeX = std::floor(sx), wholeY = std::floor(sy);
            const float tx = sx - wholeX, ty = sy - wholeY;
            const std::int64_t x0 = static_cast<std::int64_t>(wholeX);
            const std::int64_t y0 = static_cast<std::int64_t>(wholeY);
            if (x0 >= 0 && y0 >= 0 && x0 + 1 < std::int64_t(sw) && y0 + 1 < std::int64_t(sh)) {
                const std::uint8_t* p00 = samples + std::size_t(y0) * stride + x0 * channels;
                const std::uint8_t* p01 = p00 + stride;
                for (unsigned c = 0; c < channels; ++c) {
                    const float a = p00[c], b = p00[c + channels];
                    const float d = p01[c], e = p01[c + channels];
                    const float lower = a + tx * (b - a);
                    const float upper = d + tx * (e - d);
                    pixel[c] = store(lower + ty * (upper - lower));
                }
                continue;
            }
            for (unsigned c = 0; c < channels; ++c) {
                const float a = at(x0, y0, c), b = at(x0 + 1, y0, c);
                const float d = at(x0, y0 + 1, c), e = at(x0 + 1, y0 + 1, c);
                const float lower = a + tx * (b - a);
                const float upper = d + tx * (e - d);
                pixel[c] = store(lower + ty * (upper - lower));
            }
        }
    }
    return out;
}

} // namespace ZELK
