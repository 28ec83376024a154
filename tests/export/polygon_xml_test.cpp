// Polygon XML: the exact bytes written, reading them back (also hand-edited layout), and every
// way a document is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text.hpp"
#include "export/polygon_xml.hpp"

using namespace ZELK;
using P2 = Point<2, float>;

namespace {

class StringStream : public WriteStream {
public:
    void write(const void* src, std::uint64_t count) override {
        text.append(static_cast<const char*>(src), count);
    }
    std::string text;
};

PolylineSet makeSet(const std::vector<P2>& points, const std::vector<Polyline>& polylines) {
    PolylineSet set(2.0f);
    for (const P2& p : points)
        set.vertices().push_back(PositionAccumulator{p, 1});
    set.polylines() = polylines;
    return set;
}

const std::string declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

std::string written(const Hyperrectangle<2, float>& area, const PolylineSet& lines,
                    const PolylineSet& clutter) {
    StringStream out;
    writePolygonXML(out, area, lines, clutter);
    return out.text;
}

PolygonXMLDrawing read(const std::string& document) {
    PolygonXMLDrawing drawing;
    std::string problem;
    EXPECT_TRUE(readPolygonXML(document, drawing, problem)) << problem;
    return drawing;
}

std::string problemOf(const std::string& document) {
    PolygonXMLDrawing drawing;
    std::string problem;
    EXPECT_FALSE(readPolygonXML(document, drawing, problem));
    return problem;
}

// The message of the ZELK exception that reading raises, or "" when it raises none.
template <typename E> std::string errorOf(const std::string& document) {
    PolygonXMLDrawing drawing;
    std::string problem;
    try {
        readPolygonXML(document, drawing, problem);
    } catch (const E& e) {
        return e.message();
    }
    return "";
}

std::string wrap(const std::string& body) {
    return declaration + "<area height=\"2\" width=\"3\">" + body + "</area>";
}

const std::string threePoints = "<point><x>0</x><y>0</y></point><point><x>1</x><y>0</y></point>"
                                "<point><x>1</x><y>1</y></point>";

} // namespace

TEST(PolygonXMLWriter, WritesTheExactDocument) {
    PolylineSet lines =
        makeSet({P2(1.5f, 2), P2(123.4567f, 1000000), P2(0, -0.000125f)}, {{0, 1}, {0, 1, 2, 0}});
    const PolylineSet clutter = makeSet({P2(5, 5), P2(6, 6)}, {{1, 0}});
    const Hyperrectangle<2, float> area(P2(0, 0), Tuple<2, float>(1600, 1200.5f));
    EXPECT_EQ(written(area, lines, clutter),
              declaration + "<area height=\"1200.5\" width=\"1600\">"
                            "<point><x>1.5</x><y>2</y></point>"
                            "<point><x>123.457</x><y>1e+06</y></point>"
                            "<point><x>0</x><y>-0.000125</y></point>"
                            "<polygon ends=\"open\"><point>1</point><point>2</point></polygon>"
                            "<polygon><point>1</point><point>2</point><point>3</point></polygon>"
                            "<!--The following polylines are classified as clutter.-->"
                            "<point><x>5</x><y>5</y></point><point><x>6</x><y>6</y></point>"
                            "<polygon ends=\"open\"><point>5</point><point>4</point></polygon>"
                            "</area>");

    // Positions are written through the view transformation; without clutter the comment
    // still closes the lines.
    lines.setTransformation(std::make_unique<Transformation<2, float>::Scale>(2.0f));
    const std::string scaled = written(area, lines, PolylineSet(2.0f));
    EXPECT_NE(scaled.find("<point><x>3</x><y>4</y></point>"), std::string::npos);
    EXPECT_EQ(scaled.substr(scaled.size() - 64),
              "<!--The following polylines are classified as clutter.--></area>");
}

TEST(PolygonXMLReader, ReadsWhatTheWriterWroteBackToTheSameBytes) {
    const PolylineSet lines =
        makeSet({P2(1.5f, 2), P2(123.25f, -7), P2(0, 0.125f), P2(9, 9)}, {{0, 1, 3}, {2, 1, 0, 2}});
    const PolylineSet clutter = makeSet({P2(5, 5), P2(6, 6), P2(7, 5)}, {{0, 1, 2}});
    const Hyperrectangle<2, float> area(P2(0, 0), Tuple<2, float>(640, 480));
    const std::string document = written(area, lines, clutter);

    const PolygonXMLDrawing drawing = read(document);
    EXPECT_EQ(drawing.area, area);
    // The clutter lands in the same set, its references shifted past the lines' vertices.
    ASSERT_EQ(drawing.lines.vertexCount(), 7u);
    ASSERT_EQ(drawing.lines.polylines().size(), 3u);
    EXPECT_EQ(drawing.lines.polylines()[0], (Polyline{0, 1, 3}));
    EXPECT_EQ(drawing.lines.polylines()[1], (Polyline{2, 1, 0, 2}));
    EXPECT_EQ(drawing.lines.polylines()[2], (Polyline{4, 5, 6}));
    EXPECT_EQ(drawing.lines.position(5), P2(6, 6));
    for (const PositionAccumulator& vertex : drawing.lines.vertices())
        EXPECT_EQ(vertex.count, 1u);

    // Without clutter, writing what was read gives the same bytes again.
    const std::string linesOnly = written(area, lines, PolylineSet(2.0f));
    const PolygonXMLDrawing again = read(linesOnly);
    EXPECT_EQ(written(again.area, again.lines, PolylineSet(2.0f)), linesOnly);
}

TEST(PolygonXMLReader, AcceptsHandEditedLayoutAndSkipsWhatItDoesNotKnow) {
    // Indentation, CRLF line ends, a final line end, unknown elements and attributes, a
    // coordinate given twice, points closer than the merge distance (never merged), and a
    // closed polygon whose first reference is repeated on reading.
    const std::string document =
        "\n  " + declaration +
        "\r\n<area width=\"10\" unit=\"px\" height='20'>\r\n"
        "  <!-- drawn by hand -->\n"
        "  <point>\n    <x> 1 </x>\n    <y>2</y>\n    <note>ignored</note>\n  </point>\n"
        "  <point><x>1.5</x><y>2</y><x>3</x></point>\n"
        "  <point><y>4</y><x>5</x></point>\n"
        "  <other><point><x>9</x><y>9</y></point></other>\n"
        "  <polygon colour=\"red\">\n    <point>1</point>\n    <point> 2 </point>\n"
        "    <point>3</point>\n  </polygon>\n"
        "  <polygon ends=\"open\"><point>3</point><point>1</point></polygon>\n"
        "  <polygon ends=\"OPEN\"><point>2</point><point>3</point></polygon>\n"
        "</area>\n";
    const PolygonXMLDrawing drawing = read(document);
    EXPECT_EQ(drawing.area.size, (Tuple<2, float>(10, 20)));
    EXPECT_EQ(drawing.area.origin, P2(0, 0));
    ASSERT_EQ(drawing.lines.vertexCount(), 3u);
    EXPECT_EQ(drawing.lines.position(0), P2(1, 2));
    EXPECT_EQ(drawing.lines.position(1), P2(3, 2));
    EXPECT_EQ(drawing.lines.position(2), P2(5, 4));
    ASSERT_EQ(drawing.lines.polylines().size(), 3u);
    EXPECT_EQ(drawing.lines.polylines()[0], (Polyline{0, 1, 2, 0}));
    EXPECT_EQ(drawing.lines.polylines()[1], (Polyline{2, 0}));
    // Only exactly "open" opens a polygon.
    EXPECT_EQ(drawing.lines.polylines()[2], (Polyline{1, 2, 1}));

    // A document without an area reads as an empty drawing of size 0.
    const PolygonXMLDrawing empty = read(declaration + "<drawing>" + threePoints + "</drawing>");
    EXPECT_EQ(empty.area.size, (Tuple<2, float>(0, 0)));
    EXPECT_EQ(empty.lines.vertexCount(), 0u);
    // Points without polygons, and an empty area, are fine too.
    EXPECT_EQ(read(wrap(threePoints)).lines.vertexCount(), 3u);
    EXPECT_TRUE(read(wrap("")).lines.polylines().empty());
}

TEST(PolygonXMLReader, RefusesMissingCoordinatesAndReferencesOutsideTheVertices) {
    EXPECT_EQ(problemOf(wrap("<point><x>1</x></point>")), "XML point entry missing y element.");
    EXPECT_EQ(problemOf(wrap("<point><y>1</y></point>")), "XML point entry missing x element.");
    EXPECT_EQ(problemOf(wrap("<point><z>1</z></point>")), "XML point entry missing x y element.");
    // An empty element is no coordinate.
    EXPECT_EQ(problemOf(wrap("<point><x>1</x><y/></point>")), "XML point entry missing y element.");

    EXPECT_EQ(errorOf<BoundException<int>>(
                  wrap(threePoints + "<polygon><point>1</point><point>0</point></polygon>")),
              "Value (0) out of bound (3). ");
    EXPECT_EQ(errorOf<BoundException<int>>(
                  wrap(threePoints + "<polygon><point>-2</point><point>1</point></polygon>")),
              "Value (-2) out of bound (3). ");
    EXPECT_EQ(errorOf<BoundException<int>>(
                  wrap(threePoints + "<polygon><point>3</point><point>4</point></polygon>")),
              "Value (4) out of bound (3). ");
    EXPECT_EQ(errorOf<BoundException<int>>(
                  wrap("<polygon ends=\"open\"><point>1</point><point>1</point></polygon>")),
              "Value (1) out of bound (0). ");
    // The last vertex itself is fine.
    EXPECT_EQ(read(wrap(threePoints + "<polygon><point>3</point><point>3</point></polygon>"))
                  .lines.polylines()[0],
              (Polyline{2, 2, 2}));
}

TEST(PolygonXMLReader, RaisesTheReaderAndConversionErrors) {
    EXPECT_EQ(errorOf<Text::ConversionException>(wrap("<point><x>abc</x><y>1</y></point>")),
              "Failed to convert \"abc\" to float.");
    EXPECT_EQ(errorOf<Text::ConversionException>(
                  wrap(threePoints + "<polygon><point>one</point></polygon>")),
              "Failed to convert \"one\" to int.");
    EXPECT_EQ(errorOf<Text::ConversionException>(declaration +
                                                 "<area height=\"2\" width=\"wide\"></area>"),
              "Failed to convert \"wide\" to float.");
    EXPECT_EQ(errorOf<UnexpectedValueException>(wrap("<point><x></x><y>1</y></point>")),
              "element end at level 2 is not text at level 3. ");
    EXPECT_EQ(errorOf<UnexpectedValueException>(wrap("<point><x>1<b/></x><y>1</y></point>")),
              "element empty b at level 3 is not element end x at level 2. ");
    EXPECT_EQ(errorOf<UnexpectedValueException>(
                  wrap(threePoints + "<polygon><point><i>1</i></point></polygon>")),
              "element start at level 3 is not text at level 3. ");
    EXPECT_EQ(errorOf<XMLEntityIterationException>(wrap("<point><x>1</y></point>")),
              "End of element y does not match x.");
    EXPECT_EQ(errorOf<XMLEntityIterationException>(declaration +
                                                   "<area height=\"2\" width=\"3\"><point><x>1</x"),
              "Unexpected end.");
    EXPECT_EQ(
        errorOf<XMLAttributeIterationException>(declaration + "<area height=\"2\" width></area>"),
        "Unexpected end.");
}
