// Demo parameters: named text values with typed accessors, the default set and the quality and
// colouring presets that are applied after the user's overrides.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/color.hpp"

namespace ZELK {

// A map from parameter name to text, ordered by name so that listings come out sorted.
class Parameters {
public:
    bool has(const std::string& name) const { return values_.count(name) != 0; }
    // Names in their order.
    std::vector<std::string> names() const;

    void set(const std::string& name, const std::string& text) { values_[name] = text; }
    void set(const std::string& name, const char* text) { values_[name] = text; }
    // Numbers are stored as their default decimal text.
    void set(const std::string& name, int value);
    void set(const std::string& name, float value);
    void set(const std::string& name, bool value) { values_[name] = value ? "true" : "false"; }

    // Typed reads. A missing name raises NotFoundException<std::string>; text that does not
    // convert raises Text::ConversionException.
    const std::string& text(const std::string& name) const;
    int integer(const std::string& name) const;
    float real(const std::string& name) const;
    // True exactly when the text is "true".
    bool boolean(const std::string& name) const;
    // Text read as a hexadecimal number 0xRRGGBB; each byte / 255.
    Color color(const std::string& name) const;

private:
    std::map<std::string, std::string> values_;
};

// The text after "demo:": a figure name and "key" or "key=value" overrides, all split at
// every comma.
struct DemoRequest {
    std::string name;
    std::vector<std::pair<std::string, std::string>> overrides;

    // The first piece is the name. In an override the key runs up to the first "="; without
    // "=" the whole piece is the key and the value is empty.
    static DemoRequest parse(const std::string& text);
};

// Sets each override in order, an empty value as "true". Stops at the first key that
// `parameters` does not hold and returns false with that key in `unknownKey`.
bool applyDemoOverrides(Parameters& parameters, const DemoRequest& request,
                        std::string& unknownKey);

// Every parameter a demo knows, with its default.
Parameters defaultDemoParameters();

// Applies the "quality" preset, then the "coloring" preset, overwriting whatever the user gave
// for the parameters they name. An unknown preset raises UnexpectedValueException.
void applyDemoPresets(Parameters& parameters);

} // namespace ZELK
