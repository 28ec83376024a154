// The written drawings: the exact polygon XML and SVG documents, reading polygon XML back and
// every way it is refused, the SVG's flip, view box and clutter groups.
#include <gtest/gtest.h>

#include <typeinfo>

#include "../tracing/drawing_support.hpp"
#include "core/text.hpp"
#include "export/polygon_xml.hpp"
#include "export/svg_export.hpp"

using namespace ZELK;
using namespace PenvexTest;

namespace {

Hyperrectangle<2, float> area(float w, float h) {
    return Hyperrectangle<2, float>(P2(0, 0), Tuple<2, float>(w, h));
}

const std::string declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

std::string xml(const Hyperrectangle<2, float>& area, const PolylineSet& lines,
                const PolylineSet& clutter = PolylineSet(2.0f)) {
    StringStream out;
    writePolygonXML(out, area, lines, clutter);
    return out.text;
}

std::string svg(const PolylineSet& lines, const PolylineSet& clutter, const SVGStyle& style) {
    StringStream out;
    writeSVG(out, lines, clutter, style);
    return out.text;
}

PolygonXMLDrawing read(const std::string& document) {
    PolygonXMLDrawing drawing;
    std::string problem;
    EXPECT_TRUE(readPolygonXML(document, drawing, problem, 1000)) << problem;
    return drawing;
}

std::string wrap(const std::string& body) {
    return declaration + "<area height=\"2\" width=\"3\">" + body + "</area>";
}

const std::string threePoints = "<point><x>0</x><y>0</y></point><point><x>1</x><y>0</y></point>"
                                "<point><x>1</x><y>1</y></point>";

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The value of the first attribute of that name after position from.
std::string attribute(const std::string& text, const std::string& name, std::size_t from = 0) {
    const std::size_t start = text.find(" " + name + "=\"", from) + name.size() + 3;
    return text.substr(start, text.find('"', start) - start);
}

} // namespace

TEST(PolygonXML, WritesTheExactDocumentAndReadsItBack) {
    PolylineSet lines =
        makeSet({P2(1.5f, 2), P2(123.4567f, 1000000), P2(0, -0.000125f)}, {{0, 1}, {0, 1, 2, 0}});
    const PolylineSet clutter = makeSet({P2(5, 5), P2(6, 6)}, {{1, 0}});
    const Hyperrectangle<2, float> sheet = area(1600, 1200.5f);
    const std::string document = xml(sheet, lines, clutter);
    EXPECT_EQ(document, declaration +
                            "<area height=\"1200.5\" width=\"1600\">"
                            "<point><x>1.5</x><y>2</y></point>"
                            "<point><x>123.457</x><y>1e+06</y></point>"
                            "<point><x>0</x><y>-0.000125</y></point>"
                            "<polygon ends=\"open\"><point>1</point><point>2</point></polygon>"
                            "<polygon><point>1</point><point>2</point><point>3</point></polygon>"
                            "<!--The following polylines are classified as clutter.-->"
                            "<point><x>5</x><y>5</y></point><point><x>6</x><y>6</y></point>"
                            "<polygon ends=\"open\"><point>5</point><point>4</point></polygon>"
                            "</area>");
    // The clutter is read into the same set, its references shifted past the lines' vertices.
    const PolygonXMLDrawing drawing = read(document);
    EXPECT_EQ(drawing.area, sheet);
    EXPECT_EQ(drawing.lines.polylines(), (std::vector<Polyline>{{0, 1}, {0, 1, 2, 0}, {4, 3}}));
    EXPECT_EQ(drawing.lines.position(4), P2(6, 6));
    // White space between tags, around a number and after the last tag is layout.
    EXPECT_EQ(read(wrap("\n <point><x> 1 </x><y>2</y></point>") + "\n").lines.position(0),
              P2(1, 2));
    // Without clutter, writing what was read gives the same bytes again; positions are written
    // through the view transformation.
    const std::string linesOnly = xml(sheet, lines);
    EXPECT_EQ(xml(sheet, read(linesOnly).lines), linesOnly);
    lines.setTransformation(std::make_unique<Transformation<2, float>::Scale>(2.0f));
    EXPECT_NE(xml(sheet, lines).find("<point><x>3</x><y>4</y></point>"), std::string::npos);
}

TEST(PolygonXML, RefusalsAndTheirMessages) {
    // At most three vertices here.
    for (auto [body, problem] :
         {std::pair{std::string("<point><x>1</x><y/></point>"),
                    "XML point entry missing y element."},
          {"<point><y>1</y></point>", "XML point entry missing x element."},
          {"<point><z>1</z></point>", "XML point entry missing x y element."},
          {threePoints + threePoints,
           "Polygon XML input has more vertices than the supported maximum 3"}}) {
        PolygonXMLDrawing drawing;
        std::string message;
        EXPECT_FALSE(readPolygonXML(wrap(body), drawing, message, 3));
        EXPECT_EQ(message, problem);
    }
    // Broken XML reaches the user through the same reader: the end-to-end error tests hold
    // those messages with their types.
    const struct {
        std::string document;
        const std::type_info& type;
        const char* message;
    } errors[] = {
        {wrap(threePoints + "<polygon><point>1</point><point>0</point></polygon>"),
         typeid(BoundException<int>), "Value (0) out of bound (3). "},
        {wrap("<point><x>abc</x><y>1</y></point>"), typeid(Text::ConversionException),
         "Failed to convert \"abc\" to float."},
        {wrap(threePoints + "<polygon><point>one</point></polygon>"),
         typeid(Text::ConversionException), "Failed to convert \"one\" to int."},
    };
    for (const auto& e : errors) {
        PolygonXMLDrawing drawing;
        std::string problem;
        try {
            readPolygonXML(e.document, drawing, problem, 3);
            ADD_FAILURE() << "no error for " << e.document;
        } catch (const Exception& raised) {
            EXPECT_EQ(typeid(raised), e.type) << e.document;
            EXPECT_EQ(raised.message(), e.message);
        }
    }
}

TEST(WriteSVG, WritesTheExactDocumentOfARectifiedDrawing) {
    // Flipped about the area's middle (cy = 20 + 50) after the view transformation; with the
    // area as view box no margin, stroke 0.005 x 1000, font five times that.
    PolylineSet scaled =
        makeSet({P2(1, 2), P2(3, 4), P2(5, 2), P2(7, 2), P2(6, 4)}, {{0, 1}, {2, 3, 4, 2}});
    scaled.setTransformation(std::make_unique<Transformation<2, float>::Scale>(10.0f));
    SVGStyle settings;
    settings.area = Hyperrectangle<2, float>(P2(0, 20), Tuple<2, float>(1000, 100));
    settings.areaIsViewBox = true;
    settings.background = Color{1.0f, 0.5f, 0.0f};
    EXPECT_EQ(svg(scaled, PolylineSet(2.0f), settings),
              declaration +
                  "<svg version=\"1.1\" viewBox=\"0 20 1000 100\" "
                  "xmlns=\"http://www.w3.org/2000/svg\"><style>text.clutter{ font-size: 25px; "
                  "text-anchor: middle; dominant-baseline: middle; display: none; }rect.clutter{ "
                  "stroke: gray; stroke-width: 1; stroke-dasharray: 5,5; fill: none; display: "
                  "none; }</style>"
                  "<rect fill=\"#ff7f00\" height=\"100\" width=\"1000\" x=\"0\" y=\"20\" />"
                  "<g stroke=\"#000000\" stroke-width=\"5\">"
                  "<polyline fill=\"none\" points=\"10,120 30,100\" />"
                  "<polygon fill=\"none\" points=\"50,120 70,120 60,100\" />"
                  "</g></svg>");
    ASSERT_NE(scaled.transformation(), nullptr); // the caller's set keeps its own
}

TEST(WriteSVG, ViewBoxAndClutterGroups) {
    // The view box joins only the sets that have vertices (none: the area; only the clutter,
    // away from the origin: its own box), with a margin of a tenth of its longer side.
    SVGStyle settings;
    settings.area = area(1000, 1000);
    const PolylineSet lines = makeSet({P2(0, 0), P2(900, 0)}, {{0, 1}});
    const PolylineSet lone = makeSet({P2(100, 110), P2(110, 110)}, {{0, 1}});
    EXPECT_EQ(attribute(svg(PolylineSet(2.0f), PolylineSet(2.0f), settings), "viewBox"),
              "0 0 1000 1000");
    EXPECT_EQ(attribute(svg(PolylineSet(2.0f), lone, settings), "viewBox"), "98.9 888.9 13.2 3.2");
    EXPECT_EQ(attribute(svg(lines, lone, settings), "viewBox"), "-90.1 799.9 1081.2 291.2");
    // A cluster of three strokes, an isolated three-vertex mark, and two specks: three groups
    // in the colour 70 % of the way from the background to the lines, frames and labels for
    // all but the catch-all.
    const PolylineSet clutter =
        makeSet({P2(100, 100), P2(104, 100), P2(100, 105), P2(104, 105), P2(100, 110), P2(104, 110),
                 P2(500, 500), P2(503, 500), P2(503, 503), P2(800, 100), P2(801, 100), P2(900, 900),
                 P2(901, 900)},
                {{0, 1}, {2, 3}, {4, 5}, {6, 7, 8}, {9, 10}, {11, 12}});
    const std::string text = svg(lines, clutter, settings);
    EXPECT_EQ(occurrences(text, "<g stroke=\"#4c4c4c\""), 3u);
    EXPECT_EQ(occurrences(text, "<rect class=\"clutter\""), 2u);
    EXPECT_EQ(occurrences(text, "<text class=\"clutter\""), 2u);
    // The first frame surrounds the cluster after the flip: x 100..104, y 890..900 by the +1
    // rule, centre (102.5, 895.5), labelled 0.
    const std::size_t frame = text.find("<rect class=\"clutter\""), label = text.find("<text ");
    EXPECT_EQ(attribute(text, "x", frame) + " " + attribute(text, "y", frame) + " " +
                  attribute(text, "width", frame) + " " + attribute(text, "height", frame),
              "100 890 5 11");
    EXPECT_EQ(attribute(text, "x", label) + " " + attribute(text, "y", label), "102.5 895.5");
    EXPECT_NE(text.find(">0</text>"), std::string::npos);
    EXPECT_EQ(text.substr(text.rfind("<g ")).find("<rect"), std::string::npos);
}
