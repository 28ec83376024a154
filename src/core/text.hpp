// Text-to-number conversion as the command line and file formats use it: stream extraction,
// leading blanks skipped, trailing text ignored, a text that does not start with a number is
// a conversion error naming the target type.
#pragma once

#include <sstream>
#include <string>

#include "core/exceptions.hpp"

namespace ZELK::Text {

template <typename T> T convert(const std::string& text) {
    // One stream reused: setting up a stream and its locale costs several times the extraction
    // itself, which mattered for the millions of numbers of a large polygon XML file.
    thread_local std::istringstream in;
    in.clear();
    in.str(text);
    T value{};
    in >> value;
    if (in.fail())
        throw ConversionException(text, typeNameOf<T>());
    return value;
}

// Default stream formatting of a number (six significant digits for floating point).
template <typename T> std::string format(T value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

} // namespace ZELK::Text
