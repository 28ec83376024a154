#include "demo/parameters.hpp"

#include <sstream>

#include "core/exceptions.hpp"
#include "core/text.hpp"

namespace ZELK {

std::vector<std::string> Parameters::names() const {
    std::vector<std::string> result;
    result.reserve(values_.size());
    for (const auto& entry : values_)
        result.push_back(entry.first);
    return result;
}

void Parameters::set(const std::string& name, int value) {
    values_[name] = Text::format(value);
}

void Parameters::set(const std::string& name, float value) {
    values_[name] = Text::format(value);
}

const std::string& Parameters::text(const std::string& name) const {
    auto found = values_.find(name);
    if (found == values_.end())
        throw NotFoundException<std::string>(name, "demo parameters");
    return found->second;
}

int Parameters::integer(const std::string& name) const {
    return Text::convert<int>(text(name));
}

float Parameters::real(const std::string& name) const {
    return Text::convert<float>(text(name));
}

bool Parameters::boolean(const std::string& name) const {
    return text(name) == "true";
}

Color Parameters::color(const std::string& name) const {
    const std::string& value = text(name);
    std::istringstream in(value);
    std::uint32_t v = 0;
    in >> std::hex >> v;
    if (in.fail())
        throw Text::ConversionException(value, typeNameOf<std::uint32_t>());
    return Color{static_cast<float>((v >> 16) & 255u) / 255.0f,
                 static_cast<float>((v >> 8) & 255u) / 255.0f,
                 static_cast<float>(v & 255u) / 255.0f};
}

DemoRequest DemoRequest::parse(const std::string& text) {
    DemoRequest request;
    std::size_t start = 0;
    bool first = true;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string piece = text.substr(start, comma - start);
        if (first) {
            request.name = piece;
            first = false;
        } else {
            const std::size_t equals = piece.find('=');
            request.overrides.emplace_back(piece.substr(0, equals), equals == std::string::npos
                                                                        ? ""
                                                                        : piece.substr(equals + 1));
        }
        if (comma == std::string::npos)
            return request;
        start = comma + 1;
    }
}

bool applyDemoOverrides(Parameters& parameters, const DemoRequest& request,
                        std::string& unknownKey) {
    for (const auto& [key, value] : request.overrides) {
        if (!parameters.has(key)) {
            unknownKey = key;
            return false;
        }
        parameters.set(key, value.empty() ? std::string("true") : value);
    }
    return true;
}

Parameters defaultDemoParameters() {
    Parameters p;
    p.set("background", false);
    p.set("backgroundborder", false);
    p.set("perspective", false);
    p.set("size", 256);
    p.set("thickness", 5);
    p.set("clutter", 0);
    p.set("contrast", 1);
    p.set("r2", 0);
    p.set("noise", 0);
    p.set("gradient", 0);
    p.set("quality", "");
    p.set("colorclear", "000000");
    p.set("colorbackground", "808080");
    p.set("colorstroke", "ffffff");
    p.set("coloring", "");
    return p;
}

void applyDemoPresets(Parameters& p) {
    const std::string quality = p.text("quality");
    if (quality == "acceptable") {
        p.set("contrast", 0.75f);
        p.set("noise", 0.25f);
        p.set("gradient", 0.25f);
    } else if (quality == "poor") {
        p.set("contrast", 0.5f);
        p.set("noise", 0.5f);
        p.set("gradient", 1.0f);
    } else if (quality == "geometrical") {
        // Accepted although the error message below does not list it; that message is kept
        // word for word.
        p.set("r2", 0.5f);
        p.set("perspective", true);
    } else if (!quality.empty()) {
        throw UnexpectedValueException(quality, "<empty>, poor or acceptable");
    }

    const std::string coloring = p.text("coloring");
    const char* clear = nullptr;
    const char* sheet = nullptr;
    const char* stroke = nullptr;
    if (coloring == "whiteboard") {
        clear = "000000", sheet = "e0e0e0", stroke = "108010";
    } else if (coloring == "postit") {
        clear = "000000", sheet = "d0d080", stroke = "202060";
    } else if (coloring == "rgb") {
        clear = "ff0000", sheet = "00ff00", stroke = "0000ff";
    } else if (!coloring.empty()) {
        throw UnexpectedValueException(coloring, "<empty>, whiteboard, postit or rgb");
    }
    if (clear != nullptr) {
        p.set("colorclear", clear);
        p.set("colorbackground", sheet);
        p.set("colorstroke", stroke);
    }
}

} // namespace ZELK
