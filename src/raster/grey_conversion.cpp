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

// Packed RGB, the decoders' usual output: the same sums, in two loops the compiler vectorizes
// (bytes to floats, then the weighted sum over float triples); scratch holds 3 x width floats.
[[gnu::always_inline]] inline void weighRGB(const std::uint8_t* __restrict pixel, const float w[3],
                                            float* __restrict scratch,
                                            unsigned char* __restrict out, unsigned width) {
    for (unsigned i = 0; i < 3 * width; ++i)
        scratch[i] = float(pixel[i]);
    const float w0 = w[0], w1 = w[1], w2 = w[2];
    for (unsigned x = 0; x < width; ++x) {
        const float value = scratch[3 * x] * w0 + scratch[3 * x + 1] * w1 + scratch[3 * x + 2] * w2;
        // As weighed(): NaN and below 0 to 0, above 255 to 255, then truncated.
        float clamped = value > 0.0f ? value : 0.0f;
        clamped = clamped < 255.0f ? clamped : 255.0f;
        out[x] = static_cast<unsigned char>(static_cast<std::int32_t>(clamped));
    }
}

void weighRGB128(const std::uint8_t* pixel, const float w[3], float* scratch, unsigned char* out,
                 unsigned width) {
    weighRGB(pixel, w, scratch, out, width);
}

#if ZELK_WIDE_VECTORS
ZELK_TARGET_256 void weighRGB256(const std::uint8_t* pixel, const float w[3], float* scratch,
                                 unsigned char* out, unsigned width) {
    weighRGB(pixel, w, scratch, out, width);
}

ZELK_TARGET_512 void weighRGB512(const std::uint8_t* pixel, const float w[3], float* scratch,
                                 unsigned char* out, unsigned width) {
    weighRGB(pixel, w, scratch, out, width);
}
#endif

using WeighRGB = void (*)(const std::uint8_t*, const float*, float*, unsigned char*, unsigned);

WeighRGB widestWeighRGB() {
#if ZELK_WIDE_VECTORS
    switch (widestVectors()) {
    case VectorWidth::Bits512:
        return weighRGB512;
    case VectorWidth::Bits256:
        return weighRGB256;
    case VectorWidth::Bits128:
        break;
    }
#endif
    return weighRGB128;
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
    std::vector<std::array<std::uint32_t, 512>> bandCounts(bands);
    forEachBand(bands, [&](std::size_t band) {
        // Four sets of counters for neighbouring pixels, so that a run of one colour does not
        // wait on its own counter's last increment; exact integer sums all the same.
        std::vector<std::uint32_t> lanes(4 * 512, 0);
        std::uint32_t* counts = lanes.data();
        const unsigned last = std::min<unsigned>(height, unsigned(band + 1) * greyBandRows);
        for (unsigned y = unsigned(band) * greyBandRows; y < last; ++y) {
            const std::uint8_t* pixel = image.row(y);
            if (channels >= 3) {
                for (unsigned x = 0; x < width; ++x, pixel += channels)
                    ++counts[(x & 3u) * 512 +
                             colourCode(pixel[offset[0]], pixel[offset[1]], pixel[offset[2]])];
            } else {
                for (unsigned x = 0; x < width; ++x, pixel += channels)
                    ++counts[colourCode(sample(pixel, 0), sample(pixel, 1), sample(pixel, 2))];
            }
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
    const bool packedRGB = channels == 3 && offset[0] == 0 && offset[1] == 1 && offset[2] == 2;
    const WeighRGB weighRGBRow = widestWeighRGB();
    const float weights[3] = {w[0], w[1], w[2]};
    forEachBand(bands, [&](std::size_t band) {
        std::vector<float> scratch(packedRGB ? 3 * std::size_t(width) : 0);
        const unsigned last = std::min<unsigned>(height, unsigned(band + 1) * greyBandRows);
        for (unsigned y = unsigned(band) * greyBandRows; y < last; ++y) {
            if (packedRGB)
                weighRGBRow(image.row(y), weights, scratch.data(), grey.row(y), width);
            else
                weighRow(image.row(y), channels, offset, present, w, grey.row(y), width);
        }
    });
    return w;
}

} // namespace ZELK
