#include "fuzz/entries/demo.hpp"

#include <cstring>
#include <stdexcept>
#include <string>

#include "core/exceptions.hpp"
#include "demo/catalogue.hpp"
#include "demo/parameters.hpp"
#include "demo/render.hpp"

namespace ZELK::Fuzz {

namespace {

// Largest picture side rendered per input: enough for every figure, border and mosaic seed
// to matter, small enough for thousands of inputs a second.
constexpr std::uint32_t largestSide = 48;

} // namespace

void demo(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const DemoRequest request = DemoRequest::parse(text);
    Parameters parameters = defaultDemoParameters();
    std::string unknownKey;
    if (!applyDemoOverrides(parameters, request, unknownKey))
        return;
    DemoSettings settings;
    try {
        applyDemoPresets(parameters);
        settings = DemoSettings::from(parameters);
    } catch (const UnexpectedValueException&) {
        return;
    } catch (const Text::ConversionException&) {
        return;
    }
    DemoDrawing drawing;
    if (settings.size > largestSide || !findDemoFigure(request.name, drawing))
        return;

    IncrementalBuffer first, second;
    Migration::ImageMetadata meta;
    renderDemo(drawing, settings, first, meta);
    renderDemo(drawing, settings, second, meta);
    if (first.size() != std::size_t(settings.size) * settings.size * 3 ||
        second.size() != first.size() ||
        std::memcmp(first.data(), second.data(), first.size()) != 0)
        throw std::logic_error("demo rendering is not repeatable");
    NullWriteStream svg;
    writeDemoSVG(drawing, settings.size, svg);
}

} // namespace ZELK::Fuzz
