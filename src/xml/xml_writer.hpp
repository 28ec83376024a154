// Streaming XML writer for the SVG and polygon XML outputs: tags, attributes, text and comments
// are written exactly as given, with no escaping and no line breaks between tags.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <string_view>

#include "core/streams.hpp"

namespace ZELK {

// Attributes by name; the map's byte order of names is the order in which they are written.
using XMLAttributes = std::map<std::string, std::string>;

// A map holding one attribute.
XMLAttributes xmlAttribute(std::string name, std::string value);
// A copy of first with every attribute of second added; second wins for equal names.
XMLAttributes mergeAttributes(const XMLAttributes& first, const XMLAttributes& second);

class XMLWriter {
public:
    // Writes the XML declaration at once. The stream is borrowed and must outlive the writer.
    explicit XMLWriter(WriteStream& out);

    // "<name a=\"v\" ...>" and the name becomes the innermost open element.
    void startElement(std::string_view name, const XMLAttributes& attributes = {});
    // "<name a=\"v\" ... />"; opens nothing.
    void emptyElement(std::string_view name, const XMLAttributes& attributes = {});
    void writeText(std::string_view text);
    void comment(std::string_view text);
    // Closes the innermost open element. With no element open it writes nothing: the writer
    // never produces an end tag that has no start.
    void endElement();

    // Number of elements opened and not yet closed.
    std::size_t depth() const { return open_.size(); }

private:
    void tag(std::string_view name, const XMLAttributes& attributes, std::string_view close);

    LineWriter out_;
    std::deque<std::string> open_;
};

} // namespace ZELK
