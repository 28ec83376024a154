// Colour clustering on the code histogram and the weighted grey conversion.
#include "raster/grey_conversion.hpp"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "core/exceptions.hpp"
#include "core/thread_pool.hpp"
#include "core/vector_width.hpp"
#include "migration/image_signal.hpp"

#if ZELK_WIDE_VECTORS
#include <immintrin.h>
#endif

namespace ZELK {

namespace {

constexpr float epsilon = std::numeric_limits<float>::epsilon();

// Two-means on at most 512 points converges in a handful of passes; the cap only guards
// against a rounding cycle between two assignments hanging the program.
constexpr unsigned maxClusterPasses = 100000;

// Rows per band of the conversion: a few hundred kilobytes of RGB, and enough bands on a
// 12-megapixel picture to keep every thread busy.
constexpr unsigned greyBandRows = 64;

// One grey sample from its three products channel x weight, summed in channel order, clamped to
// [0, 255] and truncated; written so that a NaN would land on 0 rather than reach the
// conversion.
inline unsigned char weighed(float p0, float p1, float p2) {
    const float value = p0 + p1 + p2;
    return value > 0.0f ? static_cast<unsigned char>(std::min(value, 255.0f)) : 0;
}

// Any layout: channels at the given byte offsets; a missing channel adds a product of 0.
void weighRow(const std::uint8_t* pixel, unsigned channels, const unsigned offset[3],
              const bool present[3], const Vector<3, float>& w, unsigned char* out,
              unsigned width) {
    for (unsigned x = 0; x < width; ++x, pixel += channels) {
        float p[3];
        for (unsigned c = 0; c < 3; ++c)
            p[c] = present[c] ? float(pixel[offset[c]]) * w[c] : 0.0f;
        out[x] = weighed(p[0], p[1], p[2]);
    }
}

// Counts the colour codes of one row of pixels with three channels or more at the given byte
// offsets into four sets of counters, pixel x into set x mod 4, so that a run of one colour
// does not wait on its own counter's last increment.
void countCodes(const std::uint8_t* pixel, unsigned channels, unsigned o0, unsigned o1, unsigned o2,
                unsigned width, std::uint32_t* __restrict counts) {
    for (unsigned x = 0; x < width; ++x, pixel += channels)
        ++counts[(x & 3u) * 512 + colourCode(pixel[o0], pixel[o1], pixel[o2])];
}

#if ZELK_WIDE_VECTORS
// countCodes for packed RGB, four pixels a step: the codes of a 16-byte load made by a byte
// shuffle per channel and shifts in 32-bit lanes, lane i counting into set i.
ZELK_TARGET_256 void countRGBCodes(const std::uint8_t* pixel, unsigned width,
                                   std::uint32_t* __restrict counts) {
    const __m128i red = _mm_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1);
    const __m128i green =
        _mm_setr_epi8(1, -1, -1, -1, 4, -1, -1, -1, 7, -1, -1, -1, 10, -1, -1, -1);
    const __m128i blue = _mm_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
    const __m128i sets = _mm_setr_epi32(0, 512, 1024, 1536);
    unsigned x = 0;
    alignas(16) std::uint32_t index[4];
    // The load takes 16 bytes of which 12 are these pixels: stop while 6 pixels remain.
    for (; x + 6 <= width; x += 4) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixel + 3 * x));
        const __m128i r = _mm_srli_epi32(_mm_shuffle_epi8(bytes, red), 5);
        const __m128i g = _mm_slli_epi32(_mm_srli_epi32(_mm_shuffle_epi8(bytes, green), 5), 3);
        const __m128i b = _mm_slli_epi32(_mm_srli_epi32(_mm_shuffle_epi8(bytes, blue), 5), 6);
        _mm_store_si128(reinterpret_cast<__m128i*>(index),
                        _mm_add_epi32(_mm_or_si128(_mm_or_si128(r, g), b), sets));
        ++counts[index[0]];
        ++counts[index[1]];
        ++counts[index[2]];
        ++counts[index[3]];
    }
    // x is a multiple of 4 here, so the remaining pixels keep their sets.
    countCodes(pixel + 3 * x, 3, 0, 1, 2, width - x, counts);
}
#endif

// Packed RGB, the decoders' usual output. The plain form looks every product channel value x
// weight up in a table of 256 (the same floats as multiplying) and sums them in channel order.
void weighRGBByTable(const std::uint8_t* pixel, const float w[3], unsigned char* out,
                     unsigned width) {
    float products[3][256];
    for (unsigned c = 0; c < 3; ++c)
        for (unsigned v = 0; v < 256; ++v)
            products[c][v] = float(v) * w[c];
    for (unsigned x = 0; x < width; ++x, pixel += 3)
        out[x] = weighed(products[0][pixel[0]], products[1][pixel[1]], products[2][pixel[2]]);
}

#if ZELK_WIDE_VECTORS
// Four pixels at a time: one 16-byte load, a byte shuffle per channel that spreads its four
// samples into 32-bit lanes, and the same float products, sums, clamping and truncation as
// weighed(): the maximum with 0 also turns a NaN into 0, as "value > 0" does.
ZELK_TARGET_256 void weighRGBByShuffle(const std::uint8_t* pixel, const float w[3],
                                       unsigned char* out, unsigned width) {
    const __m128i red = _mm_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1);
    const __m128i green =
        _mm_setr_epi8(1, -1, -1, -1, 4, -1, -1, -1, 7, -1, -1, -1, 10, -1, -1, -1);
    const __m128i blue = _mm_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
    const __m128 w0 = _mm_set1_ps(w[0]), w1 = _mm_set1_ps(w[1]), w2 = _mm_set1_ps(w[2]);
    const __m128 zero = _mm_setzero_ps(), top = _mm_set1_ps(255.0f);
    unsigned x = 0;
    // The load takes 16 bytes of which 12 are these pixels: stop while 6 pixels remain.
    for (; x + 6 <= width; x += 4) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixel + 3 * x));
        const __m128 r = _mm_cvtepi32_ps(_mm_shuffle_epi8(bytes, red));
        const __m128 g = _mm_cvtepi32_ps(_mm_shuffle_epi8(bytes, green));
        const __m128 b = _mm_cvtepi32_ps(_mm_shuffle_epi8(bytes, blue));
        const __m128 value =
            _mm_add_ps(_mm_add_ps(_mm_mul_ps(r, w0), _mm_mul_ps(g, w1)), _mm_mul_ps(b, w2));
        const __m128i grey = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(value, zero), top));
        const int four =
            _mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(grey, grey), _mm_setzero_si128()));
        std::memcpy(out + x, &four, 4);
    }
    for (; x < width; ++x)
        out[x] = weighed(float(pixel[3 * x]) * w[0], float(pixel[3 * x + 1]) * w[1],
                         float(pixel[3 * x + 2]) * w[2]);
}
#endif

using WeighRGB = void (*)(const std::uint8_t*, const float*, unsigned char*, unsigned);

WeighRGB fastestWeighRGB() {
#if ZELK_WIDE_VECTORS
    if (widestVectors() != VectorWidth::Bits128)
        return weighRGBByShuffle;
#endif
    return weighRGBByTable;
}

} // namespace

void clusterColours(const DenseHistogram<unsigned short>& codes, ColourCluster clusters[2]) {
    clusters[0] = ColourCluster{};
    clusters[1] = ColourCluster{};
    clusters[1].centre = Point<3, float>(1.0f, 1.0f, 1.0f);
    const std::uint32_t* counts = codes.counters();
    for (unsigned pass = 0; pass < maxClusterPasses; ++pass) {
        for (unsigned c = 0; c < 2; ++c) {
            clusters[c].sums[0] = clusters[c].sums[1] = clusters[c].sums[2] = 0.0f;
            clusters[c].weight = 0.0f;
        }
        for (std::uint32_t k = 0; k < 512; ++k) {
            const std::uint32_t n = counts[k];
            if (n == 0)
                continue;
            const float p[3] = {float(k & 7) + 3.5f, float((k >> 3) & 7) + 3.5f,
                                float((k >> 6) & 7) + 3.5f};
            unsigned nearest = 0;
            float nearestDistance = 0.0f;
            for (unsigned c = 0; c < 2; ++c) {
                float d = 0.0f;
                for (unsigned i = 0; i < 3; ++i) {
                    const float delta = p[i] - clusters[c].centre[i];
                    d += delta * delta;
                }
                if (c == 0 || d < nearestDistance) {
                    nearest = c;
                    nearestDistance = d;
                }
            }
            const float weight = float(n);
            for (unsigned i = 0; i < 3; ++i)
                clusters[nearest].sums[i] += weight * p[i];
            clusters[nearest].weight += weight;
        }
        float largestMove = 0.0f;
        for (unsigned c = 0; c < 2; ++c) {
            Point<3, float> centre(0.0f, 0.0f, 0.0f);
            if (clusters[c].weight > 0.0f)
                for (unsigned i = 0; i < 3; ++i)
                    centre[i] = clusters[c].sums[i] / clusters[c].weight;
            float move = 0.0f;
            for (unsigned i = 0; i < 3; ++i) {
                const float delta = centre[i] - clusters[c].centre[i];
                move += delta * delta;
            }
            largestMove = std::max(largestMove, move);
            clusters[c].centre = centre;
        }
        if (largestMove <= epsilon)
            break;
    }
}

Vector<3, float> greyWeights(const ColourCluster clusters[2]) {
    const Vector<3, float> d(clusters[1].centre[0] - clusters[0].centre[0],
                             clusters[1].centre[1] - clusters[0].centre[1],
                             clusters[1].centre[2] - clusters[0].centre[2]);
    const float sum = d[0] + d[1] + d[2];
    if (sum != 0.0f)
        return Vector<3, float>(d[0] / sum, d[1] / sum, d[2] / sum);
    const float length = std::fabs(d[0]) + std::fabs(d[1]) + std::fabs(d[2]);
    if (length == 0.0f)
        return Vector<3, float>(1.0f / 3.0f, 1.0f / 3.0f, 1.0f / 3.0f);
    return Vector<3, float>(d[0] / length, d[1] / length, d[2] / length);
}

void copySingleChannel(const Buffer& data, const Migration::ImageMetadata& meta,
                       Signal<2, unsigned char>& grey) {
    const std::uint32_t width = meta.width;
    const std::uint32_t height = meta.height;
    const std::uint32_t pixels = sampleCount(Tuple<2, unsigned>(width, height));
    const std::uint32_t bytesPerSample = meta.type.bits == 16 ? 2 : 1;
    const std::uint64_t need = std::uint64_t(pixels) * bytesPerSample;
    if (data.size() < need)
        throw SpaceException<unsigned int>(checkedU32(need), data.size());
    grey.resize(Tuple<2, unsigned>(width, height));
    const std::uint8_t* in = data.data();
    unsigned char* out = grey.data();
    if (meta.type.bits == 1) {
        // Bitmaps keep the file's bit per byte, 1 for black.
        for (std::uint32_t i = 0; i < pixels; ++i)
            out[i] = in[i] != 0 ? 0 : 255;
    } else if (meta.type.bits == 16) {
        // Our importers keep wide samples in file order, which for NetPBM and PNG is the most
        // significant byte first.
        for (std::uint32_t i = 0; i < pixels; ++i)
            out[i] = in[2 * std::size_t(i)];
    } else if (pixels > 0) {
        std::memcpy(out, in, pixels);
    }
}

Vector<3, float> convertColourToGrey(const Buffer& data, const Migration::ImageMetadata& meta,
                                     Signal<2, unsigned char>& grey) {
    const Migration::ImageConstSignal<std::uint8_t> image(data, meta);
    const Migration::ImageLayout layout(meta);
    const unsigned channels = image.size(0);
    const unsigned width = image.size(1);
    const unsigned height = image.size(2);
    // Byte offsets of logical channels 0..2 within a pixel; a missing channel reads a zero.
    unsigned offset[3] = {0, 0, 0};
    bool present[3] = {false, false, false};
    for (unsigned c = 0; c < 3 && c < channels; ++c) {
        offset[c] = layout.channelOrder[c];
        present[c] = true;
    }
    auto sample = [&](const std::uint8_t* pixel, unsigned c) -> unsigned {
        return present[c] ? pixel[offset[c]] : 0u;
    };

    // Codes are counted per band of rows in local arrays (one pass over millions of pixels
    // should not go through the histogram's virtual interface), and the bands are added up in
    // band order.
    const std::size_t bands = (height + greyBandRows - 1) / greyBandRows;
    const bool packedRGB = channels == 3 && offset[0] == 0 && offset[1] == 1 && offset[2] == 2;
    [[maybe_unused]] const bool shuffle = widestVectors() != VectorWidth::Bits128;
    std::vector<std::array<std::uint32_t, 512>> bandCounts(bands);
    forEachBand(bands, [&](std::size_t band) {
        // Four sets of counters (see countCodes), added up exactly at the end of the band.
        std::vector<std::uint32_t> lanes(4 * 512, 0);
        std::uint32_t* counts = lanes.data();
        const unsigned last = std::min<unsigned>(height, unsigned(band + 1) * greyBandRows);
        for (unsigned y = unsigned(band) * greyBandRows; y < last; ++y) {
            const std::uint8_t* pixel = image.row(y);
#if ZELK_WIDE_VECTORS
            if (packedRGB && shuffle) {
                countRGBCodes(pixel, width, counts);
                continue;
            }
#endif
            if (channels >= 3)
                countCodes(pixel, channels, offset[0], offset[1], offset[2], width, counts);
            else
                for (unsigned x = 0; x < width; ++x, pixel += channels)
                    ++counts[colourCode(sample(pixel, 0), sample(pixel, 1), sample(pixel, 2))];
        }
        for (unsigned k = 0; k < 512; ++k)
            bandCounts[band][k] = counts[k] + counts[512 + k] + counts[1024 + k] + counts[1536 + k];
    });
    auto codes = std::make_unique<DenseHistogram<unsigned short>>();
    std::uint32_t* total = codes->counters();
    for (const auto& counts : bandCounts)
        for (unsigned k = 0; k < 512; ++k)
            total[k] += counts[k];
    ColourCluster clusters[2];
    clusterColours(*codes, clusters);
    const Vector<3, float> w = greyWeights(clusters);

    grey.resize(Tuple<2, unsigned>(width, height));
    const WeighRGB weighRGBRow = fastestWeighRGB();
    const float weights[3] = {w[0], w[1], w[2]};
    forEachBand(bands, [&](std::size_t band) {
        const unsigned last = std::min<unsigned>(height, unsigned(band + 1) * greyBandRows);
        for (unsigned y = unsigned(band) * greyBandRows; y < last; ++y) {
            if (packedRGB)
                weighRGBRow(image.row(y), weights, grey.row(y), width);
            else
                weighRow(image.row(y), channels, offset, present, w, grey.row(y), width);
        }
    });
    return w;
}

} // namespace ZELK
