#include "xml/xml_writer.hpp"

#include <gtest/gtest.h>

#include <sstream>

using ZELK::XMLAttributes;
using ZELK::XMLWriter;

namespace {

const std::string declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

// The writer on a standard string stream, the same path as a file output.
struct Output {
    std::ostringstream text;
    ZELK::CppOutStream stream{text};
    XMLWriter writer{stream};
    std::string str() const { return text.str(); }
};

} // namespace

TEST(XMLWriter, WritesDeclarationAtOnceAndTagsWithoutLayout) {
    Output out;
    EXPECT_EQ(out.str(), declaration);

    out.writer.startElement("area", {{"width", "3"}, {"height", "2"}});
    EXPECT_EQ(out.writer.depth(), 1u);
    out.writer.startElement("point");
    out.writer.startElement("x");
    out.writer.writeText("1.5");
    out.writer.endElement();
    out.writer.emptyElement("y", ZELK::xmlAttribute("v", "2"));
    EXPECT_EQ(out.writer.depth(), 2u);
    out.writer.endElement();
    out.writer.comment("The following polylines are classified as clutter.");
    out.writer.emptyElement("polygon");
    out.writer.endElement();
    EXPECT_EQ(out.writer.depth(), 0u);
    EXPECT_EQ(out.str(), declaration +
                             "<area height=\"2\" width=\"3\"><point><x>1.5</x><y v=\"2\" /></point>"
                             "<!--The following polylines are classified as clutter.-->"
                             "<polygon /></area>");
}

TEST(XMLWriter, AttributesFollowTheByteOrderOfTheirNames) {
    Output out;
    out.writer.emptyElement("svg", {{"xmlns", "ns"},
                                    {"viewBox", "0 0 1 1"},
                                    {"version", "1.1"},
                                    {"_u", "4"},
                                    {"Z", "3"},
                                    {"\xC3\xA9", "5"},
                                    {"z", "6"}});
    // Upper case before underscore before lower case; a non-ASCII byte after every ASCII one.
    EXPECT_EQ(out.str(), declaration + "<svg Z=\"3\" _u=\"4\" version=\"1.1\" viewBox=\"0 0 1 1\" "
                                       "xmlns=\"ns\" z=\"6\" \xC3\xA9=\"5\" />");
}

TEST(XMLWriter, NothingIsEscaped) {
    Output out;
    out.writer.startElement("t", {{"q", "a\"b<&'"}});
    out.writer.writeText(" a < b & \"c\" \n");
    out.writer.comment(" <!-- inner ");
    out.writer.endElement();
    EXPECT_EQ(out.str(), declaration + "<t q=\"a\"b<&'\"> a < b & \"c\" \n<!-- <!-- inner --></t>");
}

TEST(XMLWriter, EndWithoutOpenElementWritesNothing) {
    Output out;
    out.writer.startElement("a");
    out.writer.endElement();
    out.writer.endElement();
    EXPECT_EQ(out.str(), declaration + "<a></a>");
    EXPECT_EQ(out.writer.depth(), 0u);
}

TEST(XMLWriter, AttributeMapsMergeWithLaterValuesWinning) {
    const XMLAttributes single = ZELK::xmlAttribute("stroke", "black");
    EXPECT_EQ(single, (XMLAttributes{{"stroke", "black"}}));

    const XMLAttributes base{{"fill", "none"}, {"stroke", "black"}};
    const XMLAttributes merged = ZELK::mergeAttributes(base, {{"stroke", "red"}, {"id", "g1"}});
    EXPECT_EQ(merged, (XMLAttributes{{"fill", "none"}, {"id", "g1"}, {"stroke", "red"}}));
    // The first map is copied, not changed.
    EXPECT_EQ(base.at("stroke"), "black");
}
