// Chroma resampling, YCbCr to RGB conversion and the bottom-up buffer of the JPEG decoder.
#include "migration/jpeg_output.hpp"

#include <algorithm>
#include <cstring>

#include "core/checked.hpp"
#include "core/thread_pool.hpp"
#include "core/vector_width.hpp"

#if ZELK_WIDE_VECTORS
#include <immintrin.h>
#endif

namespace ZELK::Migration::JPEG {

namespace {

constexpr std::uint32_t noRow = 0xFFFFFFFFu;

std::uint32_t bandEnd(std::size_t band, std::uint32_t height) {
    const std::uint64_t end = (std::uint64_t(band) + 1) * outputBandRows;
    return end < height ? static_cast<std::uint32_t>(end) : height;
}

// Integer part and fraction of i (planeExtent - 1) / (extent - 1).
void samplePosition(std::uint32_t i, std::uint32_t planeExtent, std::uint32_t extent,
                    std::uint32_t& index, float& fraction) {
    if (planeExtent <= 1 || extent <= 1) {
        index = 0;
        fraction = 0.0f;
        return;
    }
    const std::uint64_t numerator = std::uint64_t(i) * (planeExtent - 1);
    index = static_cast<std::uint32_t>(numerator / (extent - 1));
    fraction = static_cast<float>(static_cast<double>(numerator % (extent - 1)) /
                                  static_cast<double>(extent - 1));
}

// Clamped to [0, 255] and truncated. Truncating first and clamping the integer gives the same
// byte; the values here stay far inside 16 bits, where clamping vectorizes to two instructions.
inline std::uint8_t clampToByte(float v) {
    auto i = static_cast<std::int16_t>(static_cast<std::int32_t>(v));
    i = std::max<std::int16_t>(i, 0);
    i = std::min<std::int16_t>(i, 255);
    return static_cast<std::uint8_t>(i);
}

// One plane row interpolated across: out[x] = leftWeight[x] samples[left[x]] + rightWeight[x]
// samples[left[x] + 1], samples being the row as floats with a 0 after its end.
[[gnu::always_inline]] inline void
interpolateAcross(const std::uint8_t* __restrict in, std::uint32_t planeWidth,
                  float* __restrict samples, const std::uint32_t* __restrict left,
                  const float* __restrict leftWeight, const float* __restrict rightWeight,
                  float* __restrict out, std::uint32_t width) {
    for (std::uint32_t i = 0; i < planeWidth; ++i)
        samples[i] = static_cast<float>(in[i]);
    for (std::uint32_t x = 0; x < width; ++x) {
        const std::uint32_t i = left[x];
        out[x] = leftWeight[x] * samples[i] + rightWeight[x] * samples[i + 1];
    }
}

// Two interpolated rows blended down and truncated to bytes.
[[gnu::always_inline]] inline void blendRows(const float* __restrict upper,
                                             const float* __restrict lower, float upperWeight,
                                             float lowerWeight, std::uint8_t* __restrict out,
                                             std::uint32_t width) {
    for (std::uint32_t x = 0; x < width; ++x)
        out[x] = static_cast<std::uint8_t>(
            static_cast<std::int32_t>(upperWeight * upper[x] + lowerWeight * lower[x]));
}

// One row of YCbCr samples to pixels packed as red | green << 8 | blue << 16: computing in
// 32-bit lanes keeps the loop vectorized, and the packing leaves the byte interleaving to one
// shift and store per pixel pair.
[[gnu::always_inline]] inline void convertToRGB(const std::uint8_t* __restrict ys,
                                                const std::uint8_t* __restrict cbs,
                                                const std::uint8_t* __restrict crs,
                                                std::uint32_t* __restrict pixels, std::uint32_t n) {
    for (std::uint32_t x = 0; x < n; ++x) {
        const float lum = static_cast<float>(ys[x]);
        const float cb = static_cast<float>(cbs[x]) - 128.0f;
        const float cr = static_cast<float>(crs[x]) - 128.0f;
        const std::uint32_t r = clampToByte(lum + 1.402f * cr);
        const std::uint32_t g = clampToByte(lum - 0.3441f * cb - 0.7141f * cr);
        const std::uint32_t b = clampToByte(lum + 1.772f * cb);
        pixels[x] = r | (g << 8) | (b << 16);
    }
}

// The three row loops compiled for one vector width; the widest the processor has is used.
struct RowKernels {
    void (*across)(const std::uint8_t*, std::uint32_t, float*, const std::uint32_t*, const float*,
                   const float*, float*, std::uint32_t);
    void (*blend)(const float*, const float*, float, float, std::uint8_t*, std::uint32_t);
    void (*convert)(const std::uint8_t*, const std::uint8_t*, const std::uint8_t*, std::uint32_t*,
                    std::uint32_t);
};

#define ZELK_ROW_KERNELS(TARGET, name)                                                             \
    TARGET void name##Across(const std::uint8_t* in, std::uint32_t planeWidth, float* samples,     \
                             const std::uint32_t* left, const float* leftWeight,                   \
                             const float* rightWeight, float* out, std::uint32_t width) {          \
        interpolateAcross(in, planeWidth, samples, left, leftWeight, rightWeight, out, width);     \
    }                                                                                              \
    TARGET void name##Blend(const float* upper, const float* lower, float upperWeight,             \
                            float lowerWeight, std::uint8_t* out, std::uint32_t width) {           \
        blendRows(upper, lower, upperWeight, lowerWeight, out, width);                             \
    }                                                                                              \
    TARGET void name##Convert(const std::uint8_t* ys, const std::uint8_t* cbs,                     \
                              const std::uint8_t* crs, std::uint32_t* pixels, std::uint32_t n) {   \
        convertToRGB(ys, cbs, crs, pixels, n);                                                     \
    }                                                                                              \
    constexpr RowKernels name = {name##Across, name##Blend, name##Convert};

ZELK_ROW_KERNELS(, kernels128)
#if ZELK_WIDE_VECTORS
ZELK_ROW_KERNELS(ZELK_TARGET_256, kernels256)
ZELK_ROW_KERNELS(ZELK_TARGET_512, kernels512)
#endif
#undef ZELK_ROW_KERNELS

#if ZELK_WIDE_VECTORS
// interpolateAcross without gathers, for columns whose left sample moves by at most one per
// target column (a plane no wider than the image): the 8 targets from x on read samples
// left[x] .. left[x] + 8, so two 8-float loads and a lane permutation fetch exactly the floats
// that the plain form reads. samples needs 8 floats of room after the 0 beyond its end.
ZELK_TARGET_256 void acrossByPermute(const std::uint8_t* __restrict in, std::uint32_t planeWidth,
                                     float* __restrict samples,
                                     const std::uint32_t* __restrict left,
                                     const float* __restrict leftWeight,
                                     const float* __restrict rightWeight, float* __restrict out,
                                     std::uint32_t width) {
    for (std::uint32_t i = 0; i < planeWidth; ++i)
        samples[i] = static_cast<float>(in[i]);
    std::uint32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        const std::uint32_t base = left[x];
        const __m256i lanes =
            _mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(left + x)),
                             _mm256_set1_epi32(int(base)));
        const __m256 here = _mm256_permutevar8x32_ps(_mm256_loadu_ps(samples + base), lanes);
        const __m256 next = _mm256_permutevar8x32_ps(_mm256_loadu_ps(samples + base + 1), lanes);
        _mm256_storeu_ps(out + x,
                         _mm256_add_ps(_mm256_mul_ps(_mm256_loadu_ps(leftWeight + x), here),
                                       _mm256_mul_ps(_mm256_loadu_ps(rightWeight + x), next)));
    }
    for (; x < width; ++x)
        out[x] = leftWeight[x] * samples[left[x]] + rightWeight[x] * samples[left[x] + 1];
}
#endif

const RowKernels& rowKernels() {
#if ZELK_WIDE_VECTORS
    switch (widestVectors()) {
    case VectorWidth::Bits512:
        return kernels512;
    case VectorWidth::Bits256:
        return kernels256;
    case VectorWidth::Bits128:
        break;
    }
#endif
    return kernels128;
}

} // namespace

PlaneResampler::PlaneResampler(const PlaneView& plane, std::uint32_t width, std::uint32_t height)
    : plane_(plane), width_(width), height_(height),
      direct_(plane.width == width && plane.height == height), cachedRow_{noRow, noRow} {
    if (direct_)
        return;
    auto columns = std::make_shared<Columns>();
    columns->left.resize(width);
    columns->leftWeight.resize(width);
    columns->rightWeight.resize(width);
    for (std::uint32_t x = 0; x < width; ++x) {
        float fraction = 0.0f;
        samplePosition(x, plane.width, width, columns->left[x], fraction);
        columns->leftWeight[x] = 1.0f - fraction;
        columns->rightWeight[x] = fraction;
    }
    columns->stepsOfOne = true;
    for (std::uint32_t x = 1; x < width; ++x)
        columns->stepsOfOne = columns->stepsOfOne && columns->left[x] - columns->left[x - 1] <= 1;
    columns_ = std::move(columns);
}

const float* PlaneResampler::across(std::uint32_t planeRow) {
    for (int i = 0; i < 2; ++i)
        if (cachedRow_[i] == planeRow)
            return cache_[i].data();
    // Rows are asked for in increasing order: replace the older one.
    int slot = cachedRow_[0] < cachedRow_[1] ? 0 : 1;
    if (cachedRow_[0] == noRow || cachedRow_[1] == noRow)
        slot = cachedRow_[0] == noRow ? 0 : 1;
    if (samples_.empty()) {
        // The 0 outside the plane, then room for acrossByPermute's last loads.
        samples_.assign(std::size_t(plane_.width) + 9, 0.0f);
        cache_[0].resize(width_);
        cache_[1].resize(width_);
        out_.resize(width_);
    }
    cachedRow_[slot] = planeRow;
    float* out = cache_[slot].data();
#if ZELK_WIDE_VECTORS
    if (columns_->stepsOfOne && widestVectors() != VectorWidth::Bits128) {
        acrossByPermute(plane_.row(planeRow), plane_.width, samples_.data(), columns_->left.data(),
                        columns_->leftWeight.data(), columns_->rightWeight.data(), out, width_);
        return out;
    }
#endif
    rowKernels().across(plane_.row(planeRow), plane_.width, samples_.data(), columns_->left.data(),
                        columns_->leftWeight.data(), columns_->rightWeight.data(), out, width_);
    return out;
}

void PlaneResampler::rowsAround(std::uint32_t y, std::uint32_t& top, std::uint32_t& bottom,
                                float& fraction) const {
    samplePosition(y, plane_.height, height_, top, fraction);
    // As across: the row below the last one only ever gets weight 0.
    bottom = top + 1 < plane_.height ? top + 1 : top;
}

std::uint32_t PlaneResampler::firstPlaneRow(std::uint32_t y) const {
    if (direct_)
        return y;
    std::uint32_t top = 0, bottom = 0;
    float fraction = 0.0f;
    rowsAround(y, top, bottom, fraction);
    return top;
}

std::uint32_t PlaneResampler::lastPlaneRow(std::uint32_t y) const {
    if (direct_)
        return y;
    std::uint32_t top = 0, bottom = 0;
    float fraction = 0.0f;
    rowsAround(y, top, bottom, fraction);
    return bottom;
}

const std::uint8_t* PlaneResampler::row(std::uint32_t y) {
    if (direct_)
        return plane_.row(y);
    std::uint32_t top = 0, bottom = 0;
    float fraction = 0.0f;
    rowsAround(y, top, bottom, fraction);
    const float* upper = across(top);
    const float* lower = across(bottom);
    rowKernels().blend(upper, lower, 1.0f - fraction, fraction, out_.data(), width_);
    return out_.data();
}

namespace {

// Packed pixels to 3 bytes each, red first.
void interleaveRow(const std::uint32_t* __restrict pixels, std::uint8_t* __restrict line,
                   std::uint32_t n) {
    std::uint32_t x = 0;
    // Two pixels per 8-byte store (little-endian: byte i of the word lands at line + i); its
    // last two bytes are overwritten by the next store, so the final pixels go byte by byte.
    for (; x + 3 < n; x += 2) {
        const std::uint64_t pair = std::uint64_t(pixels[x]) | (std::uint64_t(pixels[x + 1]) << 24);
        std::memcpy(line + 3 * std::size_t(x), &pair, 8);
    }
    for (; x < n; ++x) {
        line[3 * std::size_t(x)] = static_cast<std::uint8_t>(pixels[x]);
        line[3 * std::size_t(x) + 1] = static_cast<std::uint8_t>(pixels[x] >> 8);
        line[3 * std::size_t(x) + 2] = static_cast<std::uint8_t>(pixels[x] >> 16);
    }
}

} // namespace

ImageMetadata decodedMetadata(const ImageMetadata& base, std::size_t planes, std::uint32_t width,
                              std::uint32_t height) {
    ImageMetadata result = base;
    result.width = width;
    result.height = height;
    result.channels = static_cast<std::uint32_t>(planes);
    result.type = unsigned8();
    result.pixelAlignment = 0;
    result.lineAlignment = 0;
    result.format = planes == 1 ? ImageMetadata::Format::INTENSITY : ImageMetadata::Format::RGBA;
    return result;
}

ImageBands::ImageBands(const std::vector<PlaneView>& planes, std::uint32_t width,
                       std::uint32_t height, std::uint8_t* pixels, std::size_t bytesPerLine)
    : width_(width), height_(height), pixels_(pixels), bytesPerLine_(bytesPerLine),
      count_((std::size_t(height) + outputBandRows - 1) / outputBandRows) {
    for (const PlaneView& plane : planes)
        resamplers_.emplace_back(plane, width, height);
}

PlaneRows ImageBands::planeRows(std::size_t band, std::size_t plane) const {
    const PlaneResampler& resampler = resamplers_[plane];
    return {resampler.firstPlaneRow(std::uint32_t(band) * outputBandRows),
            resampler.lastPlaneRow(bandEnd(band, height_) - 1) + 1};
}

void ImageBands::write(std::size_t band) const {
    const std::uint32_t first = std::uint32_t(band) * outputBandRows;
    const std::uint32_t last = bandEnd(band, height_);
    auto line = [&](std::uint32_t y) {
        return pixels_ + std::size_t(height_ - 1 - y) * bytesPerLine_;
    };
    if (resamplers_.size() == 1) {
        PlaneResampler grey = resamplers_[0];
        for (std::uint32_t y = first; y < last; ++y)
            std::memcpy(line(y), grey.row(y), width_);
        return;
    }
    PlaneResampler ys = resamplers_[0], cbs = resamplers_[1], crs = resamplers_[2];
    std::vector<std::uint32_t> pixels(width_);
    for (std::uint32_t y = first; y < last; ++y) {
        rowKernels().convert(ys.row(y), cbs.row(y), crs.row(y), pixels.data(), width_);
        // RGBA keeps the channels in natural order: red, green, blue.
        interleaveRow(pixels.data(), line(y), width_);
    }
}

void writeImage(const std::vector<PlaneView>& planes, std::uint32_t width, std::uint32_t height,
                IncrementalBuffer& data, ImageMetadata& meta) {
    const ImageMetadata result = decodedMetadata(meta, planes.size(), width, height);
    const ImageLayout layout(result);
    data.resize(checkedU32(layout.dataSize()));
    meta = result;
    const ImageBands bands(planes, width, height, data.data(), layout.bytesPerLine);
    forEachBand(bands.count(), [&](std::size_t band) { bands.write(band); });
}

} // namespace ZELK::Migration::JPEG
