#include "xml/xml_writer.hpp"

namespace ZELK {

XMLAttributes xmlAttribute(std::string name, std::string value) {
    XMLAttributes attributes;
    attributes.emplace(std::move(name), std::move(value));
    return attributes;
}

XMLAttributes mergeAttributes(const XMLAttributes& first, const XMLAttributes& second) {
    XMLAttributes merged = first;
    for (const auto& [name, value] : second)
        merged.insert_or_assign(name, value);
    return merged;
}

XMLWriter::XMLWriter(WriteStream& out) : out_(out, LineWriter::LineEnd::LF) {
    out_.text("<?xml version=\"1.0\" encoding=\"utf-8\"?>");
}

void XMLWriter::tag(std::string_view name, const XMLAttributes& attributes,
                    std::string_view close) {
    out_.text("<").text(name);
    for (const auto& [attribute, value] : attributes)
        out_.text(" ").text(attribute).text("=\"").text(value).text("\"");
    out_.text(close);
}

void XMLWriter::startElement(std::string_view name, const XMLAttributes& attributes) {
    tag(name, attributes, ">");
    open_.emplace_back(name);
}

void XMLWriter::emptyElement(std::string_view name, const XMLAttributes& attributes) {
    tag(name, attributes, " />");
}

void XMLWriter::writeText(std::string_view text) {
    out_.text(text);
}

void XMLWriter::comment(std::string_view text) {
    out_.text("<!--").text(text).text("-->");
}

void XMLWriter::endElement() {
    if (open_.empty())
        return;
    out_.text("</").text(open_.back()).text(">");
    open_.pop_back();
}

} // namespace ZELK
