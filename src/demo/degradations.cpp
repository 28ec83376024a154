#include "demo/degradations.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/random.hpp"
#include "core/tuple.hpp"

namespace ZELK {

namespace {

std::uint8_t clampToByte(float value) {
    if (!(value > 0.0f))
        return 0;
    if (value >= 255.0f)
        return 255;
    return static_cast<std::uint8_t>(value);
}

std::uint8_t clampToByte(std::int64_t value) {
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(value, 0, 255));
}

// Truncation toward zero that saturates instead of overflowing, for factors read from the
// command line.
std::int64_t truncated(float value, std::int64_t lowest, std::int64_t highest) {
    if (!(value == value))
        return 0;
    if (value <= static_cast<float>(lowest))
        return lowest;
    if (value >= static_cast<float>(highest))
        return highest;
    return static_cast<std::int64_t>(value);
}

} // namespace

void distortLens(RgbImage& image, float r2) {
    if (!(r2 > 0.0f) || image.width == 0 || image.height == 0)
        return;
    const std::vector<std::uint8_t> source(image.pixels, image.pixels + image.byteCount());
    const auto width = static_cast<float>(image.width);
    const auto height = static_cast<float>(image.height);
    const Point<2, float> centre(width / 2, height / 2);
    const float radius = length(centre - Point<2, float>()) / static_cast<float>(std::sqrt(2.0));
    const std::size_t stride = std::size_t(image.width) * RgbImage::channels;

    // Bilinear weights of the four neighbours (x0, y0), (x0 + 1, y0), (x0, y0 + 1) and
    // (x0 + 1, y0 + 1); a neighbour outside the picture contributes 0.
    auto sample = [&](std::int64_t x0, std::int64_t y0, float fx, float fy, std::uint8_t* out) {
        const bool inside = x0 >= 0 && y0 >= 0 && x0 + 1 < image.width && y0 + 1 < image.height;
        const std::uint8_t* base = source.data() + y0 * std::int64_t(stride) + x0 * 3;
        for (unsigned c = 0; c < RgbImage::channels; ++c) {
            float a00, a10, a01, a11;
            if (inside) {
                a00 = base[c];
                a10 = base[3 + c];
                a01 = base[stride + c];
                a11 = base[stride + 3 + c];
            } else {
                auto at = [&](std::int64_t x, std::int64_t y) -> float {
                    if (x < 0 || y < 0 || x >= image.width || y >= image.height)
                        return 0.0f;
                    return source[std::size_t(y) * stride + std::size_t(x) * 3 + c];
                };
                a00 = at(x0, y0);
                a10 = at(x0 + 1, y0);
                a01 = at(x0, y0 + 1);
                a11 = at(x0 + 1, y0 + 1);
            }
            out[c] = clampToByte((1 - fy) * ((1 - fx) * a00 + fx * a10) +
                                 fy * ((1 - fx) * a01 + fx * a11));
        }
    };

    for (std::uint32_t y = 0; y < image.height; ++y) {
        std::uint8_t* line = image.line(y);
        for (std::uint32_t x = 0; x < image.width; ++x) {
            const Point<2, float> p(static_cast<float>(x), static_cast<float>(y));
            const Vector<2, float> offset = p - centre;
            const float factor = 1.0f + r2 * (length(offset) / radius - 1.0f);
            const Point<2, float> s = centre + offset * factor;
            std::uint8_t* pixel = line + std::size_t(x) * RgbImage::channels;
            // Outside this window every neighbour lies outside the picture (and non-finite
            // positions fail the test), so the sample is 0.
            if (!(s.x() > -1.0f && s.x() < width && s.y() > -1.0f && s.y() < height)) {
                pixel[0] = pixel[1] = pixel[2] = 0;
                continue;
            }
            const float fx0 = std::floor(s.x()), fy0 = std::floor(s.y());
            sample(static_cast<std::int64_t>(fx0), static_cast<std::int64_t>(fy0), s.x() - fx0,
                   s.y() - fy0, pixel);
        }
    }
}

void applyGradient(RgbImage& image, float g) {
    if (!(g > 0.0f))
        return;
    const auto extent = static_cast<float>(std::max(image.width, image.height));
    for (std::uint32_t y = 0; y < image.height; ++y) {
        std::uint8_t* line = image.line(y);
        for (std::uint32_t x = 0; x < image.width; ++x) {
            const float factor = (1 - g) + g * static_cast<float>(std::max(x, y)) / extent;
            std::uint8_t* pixel = line + std::size_t(x) * RgbImage::channels;
            for (unsigned c = 0; c < RgbImage::channels; ++c)
                pixel[c] = clampToByte(static_cast<float>(pixel[c]) * factor);
        }
    }
}

void applyContrast(RgbImage& image, float contrast) {
    if (!(contrast < 1.0f))
        return;
    // Saturating keeps the product below inside 64 bits for any factor the user can type;
    // every such extreme factor ends in 0 or 255 after the clamp anyway.
    const std::int64_t k = truncated(contrast * 255.0f, -(std::int64_t(1) << 40), 255);
    std::uint8_t* bytes = image.pixels;
    const std::uint64_t n = image.byteCount();
    for (std::uint64_t i = 0; i < n; ++i) {
        const std::int64_t v = bytes[i];
        bytes[i] = clampToByte((((v - 127) * k) >> 8) + 127);
    }
}

void addNoise(RgbImage& image, float noise) {
    if (!(noise > 0.0f))
        return;
    const auto range = static_cast<std::uint32_t>(
        truncated(noise * 255.0f, 0, std::numeric_limits<std::uint32_t>::max()));
    if (range == 0)
        return;
    MersenneTwister random;
    random.seedWord(1984);
    const std::int64_t half = range / 2;
    // Draw in blocks so that a large picture needs no second picture-sized array.
    constexpr std::uint32_t block = 4096;
    std::uint32_t draws[block];
    std::uint8_t* bytes = image.pixels;
    const std::uint64_t n = image.byteCount();
    for (std::uint64_t done = 0; done < n; done += block) {
        const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(block, n - done));
        random.fillModulo(draws, count, range);
        for (std::uint32_t i = 0; i < count; ++i)
            bytes[done + i] = clampToByte(std::int64_t(bytes[done + i]) + draws[i] - half);
    }
}

} // namespace ZELK
