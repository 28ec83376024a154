// Reading the -a text.
#include "strokes/line_thickness.hpp"

#include <cmath>

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

} // namespace ZELK
