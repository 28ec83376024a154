#include "export/image_export.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ZELK {

namespace {

unsigned channelByte(float value) {
    const float scaled = value * 255.0f;
    // Written so that NaN lands on 0.
    if (!(scaled > 0.0f))
        return 0;
    return static_cast<unsigned>(std::min(scaled, 255.0f));
}

// For each mask coordinate along one axis, the image coordinate it stands for.
std::vector<std::uint32_t> coordinateMap(unsigned maskSize, unsigned imageSize) {
    std::vector<std::uint32_t> map(maskSize);
    for (unsigned i = 0; i < maskSize; ++i)
        map[i] =
            static_cast<std::uint32_t>((double(i) + 0.5) * double(imageSize) / double(maskSize));
    return map;
}

} // namespace

std::string colorText(const Color& color) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "#%02x%02x%02x", channelByte(color.red),
                  channelByte(color.green), channelByte(color.blue));
    return digits;
}

Color mixColor(const Color& a, const Color& b, float t) {
    const float s = 1.0f - t;
    return Color{s * a.red + t * b.red, s * a.green + t * b.green, s * a.blue + t * b.blue};
}

bool meanUnderMask(const ImageView& image, const BinarySignal<2, unsigned>& mask,
                   std::vector<float>& means) {
    const unsigned channels = image.size(0), width = image.size(1), height = image.size(2);
    const unsigned mw = mask.width(), mh = mask.height();
    if (channels == 0 || width == 0 || height == 0 || mw == 0 || mh == 0)
        return false;
    const std::vector<std::uint32_t> column = coordinateMap(mw, width);
    const std::vector<std::uint32_t> line = coordinateMap(mh, height);

    std::vector<std::uint64_t> sums(channels, 0);
    std::uint64_t count = 0;
    for (unsigned y = 0; y < mh; ++y) {
        const std::uint8_t* imageRow = image.row(line[y]);
        mask.forEachSetInRow(y, [&](unsigned x) {
            const std::uint8_t* pixel = imageRow + std::size_t(column[x]) * channels;
            for (unsigned c = 0; c < channels; ++c)
                sums[c] += pixel[c];
            ++count;
        });
    }
    if (count == 0)
        return false;
    means.assign(channels, 0.0f);
    const double divisor = double(count) * 255.0;
    for (unsigned c = 0; c < channels; ++c)
        means[c] = static_cast<float>(double(sums[c]) / divisor);
    return true;
}

void meanColorUnderMask(const ImageView& image, const BinarySignal<2, unsigned>& mask,
                        Color& color) {
    std::vector<float> means;
    if (!meanUnderMask(image, mask, means))
        return;
    auto channel = [&](std::size_t c) { return c < means.size() ? means[c] : means[0]; };
    color = Color{channel(0), channel(1), channel(2)};
}

Signal<2, std::uint8_t> unpackMask(const BinarySignal<2, unsigned>& mask) {
    Signal<2, std::uint8_t> out(mask.sizes());
    for (unsigned y = 0; y < mask.height(); ++y) {
        const BinarySignal<2, unsigned>::Word* bits = mask.row(y);
        std::uint8_t* row = out.row(y);
        for (unsigned x = 0; x < mask.width(); ++x)
            row[x] = ((bits[x >> 5] >> (x & 31)) & 1u) ? 255 : 0;
    }
    return out;
}

void pullTowardBackground(Signal<3, std::uint8_t>& image, const Signal<2, std::uint8_t>& mask,
                          const std::vector<std::uint8_t>& background) {
    const unsigned channels = image.size(0), width = image.size(1), height = image.size(2);
    if (mask.width() != width || mask.height() != height || background.size() != channels)
        throw SignalSizeException();
    for (unsigned y = 0; y < height; ++y) {
        const std::uint8_t* weights = mask.row(y);
        std::uint8_t* samples = image.row(y);
        for (unsigned x = 0; x < width; ++x) {
            const int m = weights[x];
            if (m == 255) {
                samples += channels;
                continue;
            }
            for (unsigned c = 0; c < channels; ++c, ++samples) {
                const int b = background[c];
                const int value = *samples;
                const int t = b + (value - b) / 4;
                *samples =
                    static_cast<std::uint8_t>(m == 0 ? t : ((255 - m) * t + m * value) / 255);
            }
        }
    }
}

} // namespace ZELK
