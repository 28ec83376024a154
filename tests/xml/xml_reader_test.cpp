#include "xml/xml_reader.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "core/exceptions.hpp"
#include "xml/xml_writer.hpp"

using ZELK::XMLKind;
using ZELK::XMLReader;

namespace {

struct Seen {
    XMLKind kind;
    std::string text;
    std::size_t level;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& s) {
    return out << ZELK::xmlKindWord(s.kind) << " '" << s.text << "' at " << s.level;
}

std::vector<Seen> walk(const std::string& document) {
    std::vector<Seen> seen;
    XMLReader reader(document);
    while (reader.hasMore()) {
        seen.push_back({reader.kind(), reader.text(), reader.level()});
        reader.advance();
    }
    return seen;
}

std::vector<std::pair<std::string, std::string>> attributesOf(const XMLReader& reader) {
    std::vector<std::pair<std::string, std::string>> result;
    for (const ZELK::XMLAttribute& a : reader.attributes())
        result.emplace_back(a.name, a.value);
    return result;
}

// Runs the action and returns the message of the exception of type E it raises.
template <typename E, typename F> std::string messageOf(F action) {
    try {
        action();
    } catch (const E& e) {
        return e.message();
    }
    ADD_FAILURE() << "no exception of the expected type";
    return {};
}

std::string walkError(const std::string& document) {
    return messageOf<ZELK::XMLEntityIterationException>([&] { walk(document); });
}

constexpr XMLKind Start = XMLKind::ElementStart;
constexpr XMLKind End = XMLKind::ElementEnd;
constexpr XMLKind Empty = XMLKind::ElementEmpty;
constexpr XMLKind Text = XMLKind::Text;

} // namespace

TEST(XMLReader, KindsNamesAndLevels) {
    // An element a holding a blank, an element b with the text x, and a line end.
    EXPECT_EQ(walk("<a> <b>x</b>\n</a>"),
              (std::vector<Seen>{
                  {Start, "a", 0}, {Start, "b", 1}, {Text, "x", 2}, {End, "b", 1}, {End, "a", 0}}));

    EXPECT_EQ(walk("<?xml version=\"1.0\"?><r><!-- note --><e/><s:t-1_.x>  two words  "
                   "</s:t-1_.x><e a='1' /></r>"),
              (std::vector<Seen>{{XMLKind::Declaration, "xml", 0},
                                 {Start, "r", 0},
                                 {XMLKind::Comment, "note", 1},
                                 {Empty, "e", 1},
                                 {Start, "s:t-1_.x", 1},
                                 {Text, "two words", 2},
                                 {End, "s:t-1_.x", 1},
                                 {Empty, "e", 1},
                                 {End, "r", 0}}));

    // No decoding of character references; a document may be bare text.
    EXPECT_EQ(walk("a &lt; b"), (std::vector<Seen>{{Text, "a &lt; b", 0}}));
    EXPECT_TRUE(walk("").empty());
}

TEST(XMLReader, WhiteSpaceAroundAndBetweenTagsIsLayout) {
    const std::vector<Seen> expected{{XMLKind::Declaration, "xml", 0},
                                     {Start, "area", 0},
                                     {Start, "point", 1},
                                     {Start, "x", 2},
                                     {Text, "1", 3},
                                     {End, "x", 2},
                                     {End, "point", 1},
                                     {End, "area", 0}};
    EXPECT_EQ(walk("<?xml version=\"1.0\"?><area><point><x>1</x></point></area>"), expected);
    // Hand-edited: indentation, CRLF line ends, tabs, a final line end, leading blank lines.
    EXPECT_EQ(walk("\r\n \n<?xml version=\"1.0\"?>\r\n<area>\r\n\t<point>\r\n\t\t<x>  1\t"
                   "</x>\r\n\t</point>\r\n</area>\r\n"),
              expected);
    EXPECT_EQ(walk("<a/>\n"), (std::vector<Seen>{{Empty, "a", 0}}));
    EXPECT_TRUE(walk(" \t\r\n").empty());
}

TEST(XMLReader, ReadsBackWhatTheWriterWrote) {
    std::ostringstream text;
    ZELK::CppOutStream stream(text);
    ZELK::XMLWriter writer(stream);
    writer.startElement("area", {{"width", "640"}, {"height", "480.5"}});
    writer.startElement("point");
    writer.startElement("x");
    writer.writeText("1e+06");
    writer.endElement();
    writer.startElement("y");
    writer.writeText("-2");
    writer.endElement();
    writer.endElement();
    writer.startElement("polygon", ZELK::xmlAttribute("ends", "open"));
    writer.startElement("point");
    writer.writeText("1");
    writer.endElement();
    writer.endElement();
    writer.comment("The following polylines are classified as clutter.");
    writer.emptyElement("polygon", {{"b", "it's"}, {"a", "x<y"}});
    writer.endElement();
    const std::string document = text.str();

    XMLReader reader(document);
    reader.expect(XMLKind::Declaration, "xml", 0);
    reader.advance();
    reader.expect(Start, "area", 0);
    EXPECT_EQ(attributesOf(reader), (std::vector<std::pair<std::string, std::string>>{
                                        {"height", "480.5"}, {"width", "640"}}));
    reader.advance();
    reader.expect(Start, "point", 1);
    reader.advance();
    reader.expect(Start, "x", 2);
    reader.advance();
    reader.expect(Text, 3);
    EXPECT_EQ(reader.text(), "1e+06");
    reader.advance();
    reader.expect(End, "x", 2);
    reader.advance();
    reader.expect(Start, "y", 2);
    reader.advance();
    reader.expect(Text, "-2", 3);
    reader.advance();
    reader.expect(End, "y", 2);
    reader.advance();
    reader.expect(End, "point", 1);
    reader.advance();
    reader.expect(Start, "polygon", 1);
    EXPECT_EQ(attributesOf(reader),
              (std::vector<std::pair<std::string, std::string>>{{"ends", "open"}}));
    reader.advance();
    reader.expect(Start, "point", 2);
    reader.advance();
    reader.expect(Text, "1", 3);
    reader.advance();
    reader.expect(End, "point", 2);
    reader.advance();
    reader.expect(End, "polygon", 1);
    reader.advance();
    reader.expect(XMLKind::Comment, "The following polylines are classified as clutter.", 1);
    reader.advance();
    reader.expect(Empty, "polygon", 1);
    EXPECT_EQ(attributesOf(reader),
              (std::vector<std::pair<std::string, std::string>>{{"a", "x<y"}, {"b", "it's"}}));
    reader.advance();
    reader.expect(End, "area", 0);
    EXPECT_TRUE(reader.hasMore());
    reader.advance();
    EXPECT_FALSE(reader.hasMore());
    EXPECT_EQ(reader.kind(), XMLKind::None);
    // Advancing at the end changes nothing.
    reader.advance();
    EXPECT_FALSE(reader.hasMore());
    EXPECT_EQ(reader.kind(), XMLKind::None);
    EXPECT_EQ(reader.level(), 0u);
}

TEST(XMLReader, IsComparesKindNameAndLevelExactly) {
    const std::string document = "<area><point/></area>";
    XMLReader reader(document);
    EXPECT_TRUE(reader.is(Start, "area", 0));
    EXPECT_FALSE(reader.is(Start, "are", 0));
    EXPECT_FALSE(reader.is(Start, "area ", 0));
    EXPECT_FALSE(reader.is(Start, "area", 1));
    EXPECT_FALSE(reader.is(Empty, "area", 0));
    reader.advance();
    EXPECT_TRUE(reader.is(Empty, "point", 1));
    EXPECT_FALSE(reader.is(Start, "point", 1));
}

TEST(XMLReader, ExpectNamesWhatWasFoundAndWhatWasExpected) {
    const std::string document = "<area><point><x>7</x></point></area>";
    XMLReader reader(document);
    reader.advance();
    reader.advance();
    reader.advance();
    ASSERT_TRUE(reader.is(Text, "7", 3));
    EXPECT_EQ(messageOf<ZELK::UnexpectedValueException>([&] { reader.expect(Start, 3); }),
              "text at level 3 is not element start at level 3. ");
    EXPECT_EQ(messageOf<ZELK::UnexpectedValueException>([&] { reader.expect(Text, 2); }),
              "text at level 3 is not text at level 2. ");
    EXPECT_EQ(messageOf<ZELK::UnexpectedValueException>([&] { reader.expect(End, "x", 2); }),
              "text 7 at level 3 is not element end x at level 2. ");
    reader.advance();
    EXPECT_EQ(messageOf<ZELK::UnexpectedValueException>([&] { reader.expect(End, "y", 2); }),
              "element end x at level 2 is not element end y at level 2. ");
    EXPECT_EQ(
        messageOf<ZELK::UnexpectedValueException>([&] { reader.expect(XMLKind::Comment, "x", 1); }),
        "element end x at level 2 is not comment x at level 1. ");
    reader.advance();
    reader.advance();
    reader.advance();
    ASSERT_FALSE(reader.hasMore());
    EXPECT_EQ(messageOf<ZELK::UnexpectedValueException>([&] { reader.expect(End, 0); }),
              "none at level 0 is not element end at level 0. ");
    EXPECT_EQ(messageOf<ZELK::UnexpectedValueException>(
                  [&] { reader.expect(XMLKind::Declaration, "xml", 0); }),
              "none  at level 0 is not declaration xml at level 0. ");
}

TEST(XMLReader, StructuralErrors) {
    EXPECT_EQ(walkError("<a></b>"), "End of element b does not match a.");
    EXPECT_EQ(walkError("<a><b></a></b>"), "End of element a does not match b.");
    EXPECT_EQ(walkError("</a>"), "End of element a found but no matching start.");
    EXPECT_EQ(walkError("<a></a></a>"), "End of element a found but no matching start.");
    // Every unterminated construct, including at the very last byte.
    for (const std::string document : {"<a><!-- no end", "<!-- -- >", "<!--", "<a", "<a x='1'",
                                       "<a><", "</", "<?xml", "<a>text</a", "<a ", "<a/"}) {
        EXPECT_EQ(walkError(document), "Unexpected end.") << document;
    }
}

TEST(XMLReader, AttributeIteration) {
    {
        // Names keep the white space before "="; apostrophes and quotes both delimit.
        const std::string document = "<e x = '1'  y=\"2\">";
        XMLReader reader(document);
        EXPECT_EQ(attributesOf(reader),
                  (std::vector<std::pair<std::string, std::string>>{{"x ", "1"}, {"y", "2"}}));
    }
    {
        // A value holds the other quotation mark; ">" ends the tag even inside a value.
        const std::string document = "<e a='say \"hi\"' b=\"it's\" c='&amp;'/>";
        XMLReader reader(document);
        EXPECT_EQ(reader.kind(), Empty);
        EXPECT_EQ(attributesOf(reader), (std::vector<std::pair<std::string, std::string>>{
                                            {"a", "say \"hi\""}, {"b", "it's"}, {"c", "&amp;"}}));
    }
    {
        // The iterator can also be stepped by hand.
        const std::string document = "<e w='5'><f/></e>";
        XMLReader reader(document);
        ZELK::XMLAttributeIterator it = reader.attributes();
        ASSERT_FALSE(it.atEnd());
        EXPECT_EQ(it.name(), "w");
        EXPECT_EQ(it.value(), "5");
        it.advance();
        EXPECT_TRUE(it.atEnd());
        it.advance();
        EXPECT_TRUE(it.atEnd());
        reader.advance();
        EXPECT_TRUE(reader.attributes().atEnd());
    }
    // Entities other than element starts have no attributes, even with attribute-like text.
    {
        const std::string document = "<?xml version=\"1.0\"?><!-- a='1' --><e>b='2'</e c='3'>";
        XMLReader reader(document);
        int entities = 0;
        while (reader.hasMore()) {
            if (reader.kind() != Start) {
                EXPECT_TRUE(reader.attributes().atEnd()) << ZELK::xmlKindWord(reader.kind());
            }
            reader.advance();
            ++entities;
        }
        EXPECT_EQ(entities, 5);
    }
    for (const std::string document : {"<e x>", "<e x='1' y>", "<e x=1>", "<e x='1>", "<e x=\"1'>",
                                       "<e x='1' y=\"2>", "<e x='1'/ >"}) {
        XMLReader reader(document);
        EXPECT_EQ(messageOf<ZELK::XMLAttributeIterationException>([&] {
                      for (const ZELK::XMLAttribute& a : reader.attributes())
                          (void)a;
                  }),
                  "Unexpected end.")
            << document;
    }
}
