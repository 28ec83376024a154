// Reading the -a text.
#include "strokes/line_thickness.hpp"

#include <algorithm>
#include <cmath>

#include "core/limits.hpp"
#include "core/text.hpp"

namespace ZELK {

float nominalLineThickness(const std::string& text, std::uint32_t width, std::uint32_t height) {
    if (!text.empty() && text.back() == '%') {
        const float percent = Text::convert<float>(text.substr(0, text.size() - 1));
        const std::uint32_t pixels = width * height;
        return float(std::sqrt(double(pixels))) * (percent / 100.0f);
    }
    return Text::convert<float>(text);
}

float measuredThicknessScale(float width, std::uint64_t pixels) {
    if (!(width > 0.0f) || pixels == 0)
        return 1.0f;
    float scale = std::min(targetLineThickness / width, maxEnlargement);
    const float roomy = float(std::sqrt(double(Limits::maxEnlargedPixels) / double(pixels)));
    if (scale > 1.0f)
        scale = std::max(1.0f, std::min(scale, roomy));
    return std::fabs(scale - 1.0f) < 0.1f ? 1.0f : scale;
}

} // namespace ZELK
