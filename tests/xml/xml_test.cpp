// The XML writer's exact output, and the pull reader on hand-edited documents, on what the
// writer wrote, and on broken ones with their messages.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "core/exceptions.hpp"
#include "support/message_of.hpp"
#include "xml/xml_reader.hpp"
#include "xml/xml_writer.hpp"

using namespace ZELK;

namespace {

const std::string declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

// Each entity as "kind name@level" with its attributes as " name=value".
std::vector<std::string> walk(const std::string& document) {
    std::vector<std::string> seen;
    for (XMLReader reader(document); reader.hasMore(); reader.advance()) {
        std::ostringstream entry;
        entry << xmlKindWord(reader.kind()) << ' ' << reader.text() << '@' << reader.level();
        for (const XMLAttribute& a : reader.attributes())
            entry << ' ' << a.name << '=' << a.value;
        seen.push_back(entry.str());
    }
    return seen;
}

} // namespace

TEST(XMLWriter, WritesTagsWithoutLayoutOrEscapingAndReadsBack) {
    std::ostringstream text;
    CppOutStream stream(text);
    XMLWriter writer(stream);
    EXPECT_EQ(text.str(), declaration); // written at once
    writer.startElement("area", {{"width", "3"}, {"height", "2"}});
    writer.startElement("x");
    writer.writeText(" a & \"c\" > b ");
    writer.endElement();
    writer.emptyElement("y", xmlAttribute("v", "it's"));
    EXPECT_EQ(writer.depth(), 1u);
    writer.comment("The following polylines are classified as clutter.");
    // Attributes in byte order of their names: upper case, underscore, lower case, non-ASCII.
    writer.emptyElement(
        "svg", {{"xmlns", "ns"}, {"_u", "4"}, {"Z", "3"}, {"\xC3\xA9", "5"}, {"z", "x<y"}});
    writer.endElement();
    writer.endElement(); // nothing open: writes nothing
    EXPECT_EQ(writer.depth(), 0u);
    const std::string document = text.str();
    EXPECT_EQ(document,
              declaration +
                  "<area height=\"2\" width=\"3\"><x> a & \"c\" > b </x><y v=\"it's\" />"
                  "<!--The following polylines are classified as clutter.-->"
                  "<svg Z=\"3\" _u=\"4\" xmlns=\"ns\" z=\"x<y\" \xC3\xA9=\"5\" /></area>");
    EXPECT_EQ(walk(document),
              (std::vector<std::string>{
                  "declaration xml@0", "element start area@0 height=2 width=3", "element start x@1",
                  "text a & \"c\" > b@2", "element end x@1", "element empty y@1 v=it's",
                  "comment The following polylines are classified as clutter.@1",
                  "element empty svg@1 Z=3 _u=4 xmlns=ns z=x<y \xC3\xA9=5", "element end area@0"}));

    const XMLAttributes base{{"fill", "none"}, {"stroke", "black"}};
    EXPECT_EQ(mergeAttributes(base, {{"stroke", "red"}, {"id", "g1"}}),
              (XMLAttributes{{"fill", "none"}, {"id", "g1"}, {"stroke", "red"}}));
}

TEST(XMLReader, WhiteSpaceBetweenTagsIsLayout) {
    const std::vector<std::string> expected{"declaration xml@0", "element start area@0",
                                            "element start x@1", "text 1@2",
                                            "element end x@1",   "element end area@0"};
    EXPECT_EQ(walk("<?xml version=\"1.0\"?><area><x>1</x></area>"), expected);
    // Hand-edited: indentation, CRLF line ends, tabs, a final line end, leading blank lines.
    EXPECT_EQ(walk("\r\n \n<?xml version=\"1.0\"?>\r\n<area>\r\n\t<x>  1\t</x>\r\n</area>\r\n"),
              expected);
    // Names keep the blank before "="; either quotation mark delimits and holds the other;
    // no references are decoded; a document may be bare text.
    EXPECT_EQ(
        walk("<s:t-1_.x a = '\"1\"' b=\"it's\"/><!-- c='1' -->"),
        (std::vector<std::string>{"element empty s:t-1_.x@0 a =\"1\" b=it's", "comment c='1'@0"}));
}

TEST(XMLReader, BrokenDocumentsAndUnexpectedEntitiesAreNamed) {
    for (auto [document, message] : {
             std::pair{"<a></b>", "End of element b does not match a."},
             {"<a></a></a>", "End of element a found but no matching start."},
             {"<!-- -- >", "Unexpected end."},
             {"<a x='1'", "Unexpected end."},
             {"<a/", "Unexpected end."},
             {"<?xml", "Unexpected end."},
         })
        EXPECT_EQ(messageOf<XMLEntityIterationException>([&] { walk(document); }), message)
            << document;
    for (const std::string document : {"<e x>", "<e x=1>", "<e x='1>", "<e x='1' y=\"2>"})
        EXPECT_EQ(messageOf<XMLAttributeIterationException>([&] { walk(document); }),
                  "Unexpected end.")
            << document;

    const std::string document = "<area><x>7</x></area>";
    XMLReader reader(document);
    reader.advance();
    reader.advance();
    EXPECT_TRUE(reader.is(XMLKind::Text, "7", 2));
    EXPECT_FALSE(reader.is(XMLKind::Text, "7 ", 2));
    EXPECT_EQ(messageOf<UnexpectedValueException>([&] { reader.expect(XMLKind::ElementStart, 2); }),
              "text at level 2 is not element start at level 2. ");
    EXPECT_EQ(
        messageOf<UnexpectedValueException>([&] { reader.expect(XMLKind::ElementEnd, "x", 1); }),
        "text 7 at level 2 is not element end x at level 1. ");
    for (int i = 0; i < 4; ++i)
        reader.advance(); // at the end, advancing changes nothing
    EXPECT_FALSE(reader.hasMore());
    EXPECT_EQ(
        messageOf<UnexpectedValueException>([&] { reader.expect(XMLKind::ElementEmpty, "a", 0); }),
        "none  at level 0 is not element empty a at level 0. ");
}
