// The SVG drawing: the exact document for a small drawing, the y flip on top of a view
// transformation, the view box rules, and the clutter groups with their frames and labels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/svg_export.hpp"

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

Hyperrectangle<2, float> area(float w, float h) {
    return Hyperrectangle<2, float>(P2(0, 0), Tuple<2, float>(w, h));
}

std::string svg(const PolylineSet& lines, const PolylineSet& clutter, const SVGStyle& style) {
    StringStream out;
    writeSVG(out, lines, clutter, style);
    return out.text;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The value of the first attribute of that name after position from.
std::string attribute(const std::string& text, const std::string& name, std::size_t from = 0) {
    const std::size_t at = text.find(" " + name + "=\"", from);
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + name.size() + 3;
    return text.substr(start, text.find('"', start) - start);
}

const std::string style =
    "<style>text.clutter{ font-size: 2.5px; text-anchor: middle; dominant-baseline: middle; "
    "display: none; }rect.clutter{ stroke: gray; stroke-width: 1; stroke-dasharray: 5,5; fill: "
    "none; display: none; }</style>";

} // namespace

TEST(WriteSVG, WritesTheExactDocumentForASmallDrawing) {
    // An open polyline and a closed triangle in a 100 x 80 area: y becomes 80 - y.
    const PolylineSet lines =
        makeSet({P2(10, 10), P2(30, 10), P2(30, 50), P2(50, 20), P2(70, 20), P2(60, 40)},
                {{0, 1, 2}, {3, 4, 5, 3}});
    SVGStyle settings;
    settings.area = area(100, 80);
    // Bounding box of the flipped vertices: origin (10, 30), size (61, 41) by the +1 rule;
    // margin 6.1 on every side.
    EXPECT_EQ(svg(lines, PolylineSet(2.0f), settings),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
              "<svg version=\"1.1\" viewBox=\"3.9 23.9 73.2 53.2\" "
              "xmlns=\"http://www.w3.org/2000/svg\">" +
                  style +
                  "<rect fill=\"#ffffff\" height=\"53.2\" width=\"73.2\" x=\"3.9\" y=\"23.9\" />"
                  "<g stroke=\"#000000\" stroke-width=\"0.5\">"
                  "<polyline fill=\"none\" points=\"10,70 30,70 30,30\" />"
                  "<polygon fill=\"none\" points=\"50,60 70,60 60,40\" />"
                  "</g></svg>");
}

TEST(WriteSVG, FlipsAboutTheAreaMiddleAfterTheViewTransformation) {
    PolylineSet lines = makeSet({P2(1, 2), P2(3, 4)}, {{0, 1}});
    lines.setTransformation(std::make_unique<Transformation<2, float>::Scale>(10.0f));
    SVGStyle settings;
    settings.area = Hyperrectangle<2, float>(P2(0, 20), Tuple<2, float>(1000, 100));
    settings.areaIsViewBox = true;
    settings.background = Color{1.0f, 0.5f, 0.0f};
    settings.line = Color{0.0f, 0.0f, 1.0f};
    const std::string text = svg(lines, PolylineSet(2.0f), settings);
    // cy = 20 + 50 = 70: y' = 140 - y of the scaled positions (20 and 40).
    EXPECT_NE(text.find("points=\"10,120 30,100\""), std::string::npos) << text;
    // With the area as view box: no margin; stroke 0.005 x 1000, font five times that.
    EXPECT_EQ(attribute(text, "viewBox"), "0 20 1000 100");
    EXPECT_NE(text.find("font-size: 25px;"), std::string::npos);
    EXPECT_EQ(attribute(text, "stroke-width"), "5");
    EXPECT_EQ(attribute(text, "fill"), "#ff7f00");
    EXPECT_EQ(attribute(text, "stroke"), "#0000ff");
    // The caller's set keeps its own transformation.
    ASSERT_NE(lines.transformation(), nullptr);
    using Kind = Transformation<2, float>::Kind;
    EXPECT_TRUE(lines.transformation()->kind() == Kind::Scale);
}

TEST(WriteSVG, ViewBoxJoinsOnlyTheSetsThatHaveVertices) {
    SVGStyle settings;
    settings.area = area(500, 400);
    // Both empty: the drawing area.
    EXPECT_EQ(attribute(svg(PolylineSet(2.0f), PolylineSet(2.0f), settings), "viewBox"),
              "0 0 500 400");
    // Only clutter, far from the origin: its own box (origin (100, 290), size (11, 1) after
    // the flip), not stretched to (0, 0); margin 1.1.
    const PolylineSet clutter = makeSet({P2(100, 110), P2(110, 110)}, {{0, 1}});
    EXPECT_EQ(attribute(svg(PolylineSet(2.0f), clutter, settings), "viewBox"),
              "98.9 288.9 13.2 3.2");
    // Lines and clutter: the box around both.
    const PolylineSet lines = makeSet({P2(300, 200), P2(349, 200)}, {{0, 1}});
    EXPECT_EQ(attribute(svg(lines, clutter, settings), "viewBox"), "75 175 300 141");
}

TEST(WriteSVG, ClutterGroupsGetTheMixedColourFramesAndLabels) {
    SVGStyle settings;
    settings.area = area(1000, 1000);
    const PolylineSet lines = makeSet({P2(0, 0), P2(900, 0)}, {{0, 1}});
    // A cluster of three strokes, an isolated three-vertex mark, and two specks.
    const PolylineSet clutter =
        makeSet({P2(100, 100), P2(104, 100), P2(100, 105), P2(104, 105), P2(100, 110), P2(104, 110),
                 P2(500, 500), P2(503, 500), P2(503, 503), P2(800, 100), P2(801, 100), P2(900, 900),
                 P2(901, 900)},
                {{0, 1}, {2, 3}, {4, 5}, {6, 7, 8}, {9, 10}, {11, 12}});
    const std::string text = svg(lines, clutter, settings);

    // One "g" for the lines and three clutter groups; the clutter colour is 70% of the way
    // from the background to the line colour.
    EXPECT_EQ(occurrences(text, "<g "), 4u);
    EXPECT_EQ(occurrences(text, "<g stroke=\"#4c4c4c\""), 3u);
    // Frames and labels for all but the catch-all group.
    EXPECT_EQ(occurrences(text, "<rect class=\"clutter\""), 2u);
    EXPECT_EQ(occurrences(text, "<text class=\"clutter\""), 2u);
    EXPECT_NE(text.find(">0</text>"), std::string::npos);
    EXPECT_NE(text.find(">1</text>"), std::string::npos);
    // The first frame surrounds the cluster after the flip (y' = 1000 - y): x 100..104,
    // y 890..900 by the +1 rule, so origin (100, 890), size (5, 11), centre (102.5, 895.5).
    const std::size_t frame = text.find("<rect class=\"clutter\"");
    EXPECT_EQ(attribute(text, "x", frame), "100");
    EXPECT_EQ(attribute(text, "y", frame), "890");
    EXPECT_EQ(attribute(text, "width", frame), "5");
    EXPECT_EQ(attribute(text, "height", frame), "11");
    const std::size_t label = text.find("<text class=\"clutter\"");
    EXPECT_EQ(attribute(text, "x", label), "102.5");
    EXPECT_EQ(attribute(text, "y", label), "895.5");
    // The last group holds the two specks, with no frame after it.
    const std::size_t last = text.rfind("<g ");
    EXPECT_EQ(occurrences(text.substr(last), "<polyline"), 2u);
    EXPECT_EQ(text.substr(last).find("<rect"), std::string::npos);

    // A clutter set without vertices writes no clutter group at all.
    EXPECT_EQ(occurrences(svg(lines, PolylineSet(2.0f), settings), "<g "), 1u);
}
