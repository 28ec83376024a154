// Chroma resampling, YCbCr to RGB conversion and the bottom-up buffer of the JPEG decoder.
#include "migration/jpeg_output.hpp"

#include <cstring>

#include "core/checked.hpp"

namespace ZELK::Migration::JPEG {

namespace {

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

inline std::uint8_t clampToByte(float v) {
    v = v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v);
    return static_cast<std::uint8_t>(static_cast<std::int32_t>(v));
}

} // namespace

PlaneResampler::PlaneResampler(const PlaneView& plane, std::uint32_t width, std::uint32_t height)
    : plane_(plane), width_(width), height_(height),
      direct_(plane.width == width && plane.height == height) {
    if (direct_)
        return;
    left_.resize(width);
    leftWeight_.resize(width);
    rightWeight_.resize(width);
    for (std::uint32_t x = 0; x < width; ++x) {
        float fraction = 0.0f;
        samplePosition(x, plane.width, width, left_[x], fraction);
        leftWeight_[x] = 1.0f - fraction;
        rightWeight_[x] = fraction;
    }
    blended_.assign(std::size_t(plane.width) + 1, 0.0f);
    zeros_.assign(plane.width, 0);
    out_.resize(width);
}

const std::uint8_t* PlaneResampler::row(std::uint32_t y) {
    if (direct_)
        return plane_.samples + std::size_t(y) * plane_.stride;
    std::uint32_t top = 0;
    float fraction = 0.0f;
    samplePosition(y, plane_.height, height_, top, fraction);
    const std::uint8_t* upper = plane_.samples + std::size_t(top) * plane_.stride;
    const std::uint8_t* lower = top + 1 < plane_.height ? upper + plane_.stride : zeros_.data();
    const float upperWeight = 1.0f - fraction;
    const float lowerWeight = fraction;
    float* blended = blended_.data();
    for (std::uint32_t i = 0; i < plane_.width; ++i)
        blended[i] = upperWeight * static_cast<float>(upper[i]) +
                     lowerWeight * static_cast<float>(lower[i]);
    const std::uint32_t* left = left_.data();
    const float* leftWeight = leftWeight_.data();
    const float* rightWeight = rightWeight_.data();
    std::uint8_t* out = out_.data();
    for (std::uint32_t x = 0; x < width_; ++x) {
        const std::uint32_t i = left[x];
        const float v = leftWeight[x] * blended[i] + rightWeight[x] * blended[i + 1];
        out[x] = static_cast<std::uint8_t>(static_cast<std::int32_t>(v));
    }
    return out;
}

void writeImage(const std::vector<PlaneView>& planes, std::uint32_t width, std::uint32_t height,
                IncrementalBuffer& data, ImageMetadata& meta) {
    ImageMetadata result = meta;
    result.width = width;
    result.height = height;
    result.channels = static_cast<std::uint32_t>(planes.size());
    result.type = unsigned8();
    result.pixelAlignment = 0;
    result.lineAlignment = 0;
    result.format = planes.size() == 1 ? ImageMetadata::Format::INTENSITY
                                       : ImageMetadata::Format::RGBA;
    const ImageLayout layout(result);
    data.resize(checkedU32(layout.dataSize()));
    meta = result;

    if (planes.size() == 1) {
        PlaneResampler grey(planes[0], width, height);
        for (std::uint32_t y = 0; y < height; ++y)
            std::memcpy(data.data() + std::size_t(height - 1 - y) * layout.bytesPerLine,
                        grey.row(y), width);
        return;
    }

    PlaneResampler luma(planes[0], width, height);
    PlaneResampler blue(planes[1], width, height);
    PlaneResampler red(planes[2], width, height);
    std::vector<std::uint8_t> rgb(std::size_t(width) * 3);
    std::uint8_t* r = rgb.data();
    std::uint8_t* g = r + width;
    std::uint8_t* b = g + width;
    const std::uint32_t o0 = layout.channelOrder[0];
    const std::uint32_t o1 = layout.channelOrder[1];
    const std::uint32_t o2 = layout.channelOrder[2];
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* ys = luma.row(y);
        const std::uint8_t* cbs = blue.row(y);
        const std::uint8_t* crs = red.row(y);
        for (std::uint32_t x = 0; x < width; ++x) {
            const float lum = static_cast<float>(ys[x]);
            const float cb = static_cast<float>(cbs[x]) - 128.0f;
            const float cr = static_cast<float>(crs[x]) - 128.0f;
            r[x] = clampToByte(lum + 1.402f * cr);
            g[x] = clampToByte(lum - 0.3441f * cb - 0.7141f * cr);
            b[x] = clampToByte(lum + 1.772f * cb);
        }
        std::uint8_t* line = data.data() + std::size_t(height - 1 - y) * layout.bytesPerLine;
        for (std::uint32_t x = 0; x < width; ++x, line += 3) {
            line[o0] = r[x];
            line[o1] = g[x];
            line[o2] = b[x];
        }
    }
}

} // namespace ZELK::Migration::JPEG
