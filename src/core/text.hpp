// Text-to-number conversion as the command line and file formats use it: stream extraction,
// leading blanks skipped, trailing text ignored, a text that does not start with a number is
// a conversion error naming the target type.
#pragma once

#include <istream>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>

#include "core/exceptions.hpp"

namespace ZELK::Text {

namespace Detail {
// A read-only stream buffer over text that someone else owns: extraction reads it in place, so a
// huge value (a 100 MB attribute) is never copied just to find that it is not a number.
class ViewBuffer : public std::streambuf {
public:
    void view(std::string_view text) {
        char* begin = const_cast<char*>(text.data()); // only ever read
        setg(begin, begin, begin + text.size());
    }
};
} // namespace Detail

template <typename T> T convert(std::string_view text) {
    // One stream reused: setting up a stream and its locale costs several times the extraction
    // itself, which mattered for the millions of numbers of a large polygon XML file.
    thread_local Detail::ViewBuffer buffer;
    thread_local std::istream in(&buffer);
    buffer.view(text);
    in.clear();
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
