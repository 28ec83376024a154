// Polygon XML input through the real binary: status lines, reading back written files byte for
// byte, hand-edited layout, and every refusal as one error line with exit code 1.
#include <gtest/gtest.h>

#include "export_helpers.hpp"
#include "support/run_binary.hpp"

using namespace PenvexTest;

namespace {

// A status line as the reporter writes it: the message, blanks, then the time and the verdict
// ending at column 79. The time varies, so the check is on shape.
bool isStatusLine(const std::string& line, const std::string& message, const std::string& end) {
    return line.size() == 79 && line.rfind("* " + message + " ", 0) == 0 &&
           line.substr(line.size() - end.size() - 2) == "s " + end;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

// The drawing used by several tests: a square, an open polyline sharing a corner with it, and
// a short mark far away.
std::string sampleDocument() {
    return polygonDocument(400, 300,
                           {P2(50, 50), P2(250, 50), P2(250, 250), P2(50, 250), P2(250, 150),
                            P2(350, 150), P2(350, 40), P2(380, 280), P2(384, 283)},
                           {{{1, 2, 3, 4}, false}, {{3, 5, 6, 7}, true}, {{8, 9}, true}});
}

} // namespace

TEST(PolygonXMLInput, LoadsRefinesAndWritesWithStatusLines) {
    ScratchDir dir;
    writeFile(dir / "in.xml", sampleDocument());
    const RunResult r = runPenvex({"in.xml", "-ox", "out.xml"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> lines = linesOf(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_TRUE(isStatusLine(lines[0], "Loading XML", "OK")) << lines[0];
    EXPECT_TRUE(isStatusLine(lines[1], "Refining polylines", "OK")) << lines[1];

    const WrittenDrawing out = readWrittenDrawing(readFile(dir / "out.xml"));
    EXPECT_EQ(out.width, 400.0f);
    EXPECT_EQ(out.height, 300.0f);
    ASSERT_EQ(out.lines.size(), 2u);
    ASSERT_EQ(out.clutter.size(), 1u);
    EXPECT_EQ(out.clutter[0], (std::vector<P2>{P2(380, 280), P2(384, 283)}));

    // -q silences the status lines, not the result.
    const RunResult quiet = runPenvex({"in.xml", "-q", "-ox", "quiet.xml"}, dir.path());
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(readFile(dir / "quiet.xml"), readFile(dir / "out.xml"));
}

TEST(PolygonXMLInput, AWrittenFileWithoutClutterReadsBackToTheSameBytes) {
    ScratchDir dir;
    // -cl 0 keeps every polyline a line, so the first output has no clutter part.
    writeFile(dir / "in.xml", sampleDocument());
    ASSERT_EQ(runPenvex({"in.xml", "-cl", "0", "-ox", "first.xml"}, dir.path()).exitCode, 0);
    const std::string first = readFile(dir / "first.xml");
    ASSERT_EQ(first.substr(first.size() - 64),
              "<!--The following polylines are classified as clutter.--></area>");

    // The upper-case extension is polygon XML as well.
    writeFile(dir / "FIRST.XML", first);
    const RunResult again =
        runPenvex({"FIRST.XML", "-tr", "0", "0", "-cl", "0", "-ox", "second.xml"}, dir.path());
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(readFile(dir / "second.xml"), first);

    // Refinement and clutter classification with their defaults are idempotent here too
    // once the drawing has been through them.
    ASSERT_EQ(runPenvex({"FIRST.XML", "-cl", "0", "-ox", "third.xml"}, dir.path()).exitCode, 0);
    EXPECT_EQ(readFile(dir / "third.xml"), first);
}

TEST(PolygonXMLInput, AFileWithClutterReadsBackWithAllPolylinesAsLines) {
    ScratchDir dir;
    writeFile(dir / "in.xml", sampleDocument());
    ASSERT_EQ(runPenvex({"in.xml", "-ox", "first.xml"}, dir.path()).exitCode, 0);
    // Read back without clutter classification: the former clutter is a line now, and the
    // references across the comment still point at the right vertices.
    const RunResult r =
        runPenvex({"first.xml", "-tr", "0", "0", "-cl", "0", "-ox", "second.xml"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const WrittenDrawing out = readWrittenDrawing(readFile(dir / "second.xml"));
    EXPECT_TRUE(out.clutter.empty());
    ASSERT_EQ(out.lines.size(), 3u);
    EXPECT_EQ(out.lines[2], (std::vector<P2>{P2(380, 280), P2(384, 283)}));
}

TEST(PolygonXMLInput, RefusesBrokenFilesWithOneErrorLine) {
    ScratchDir dir;
    struct Case {
        std::string document;
        std::string error;
    };
    const std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\"?><area height=\"1\" "
                             "width=\"1\">";
    const std::string threePoints = "<point><x>0</x><y>0</y></point><point><x>1</x><y>0</y>"
                                    "</point><point><x>1</x><y>1</y></point>";
    const std::vector<Case> cases{
        {head + threePoints + "<polygon><point>1</point><point>4</point></polygon></area>",
         "ZELK ZELK::BoundException<int>: Value (4) out of bound (3). \n"},
        {head + threePoints + "<polygon><point>0</point><point>1</point></polygon></area>",
         "ZELK ZELK::BoundException<int>: Value (0) out of bound (3). \n"},
        {head + threePoints + "<polygon><point>-1</point><point>1</point></polygon></area>",
         "ZELK ZELK::BoundException<int>: Value (-1) out of bound (3). \n"},
        {head + "<point><x>1</y></point></area>",
         "ZELK ZELK::XMLEntityIterationException: End of element y does not match x.\n"},
        {head + "<point><x>1</x><y>2</y></point></area></area>",
         "ZELK ZELK::XMLEntityIterationException: End of element area found but no matching "
         "start.\n"},
        {head + "<!-- unterminated </area>",
         "ZELK ZELK::XMLEntityIterationException: Unexpected end.\n"},
        {"<area height=\"1\" width></area>",
         "ZELK ZELK::XMLAttributeIterationException: Unexpected end.\n"},
        {head + "<point><x></x><y>1</y></point></area>",
         "ZELK ZELK::UnexpectedValueException: element end at level 2 is not text at level 3. "
         "\n"},
        {head + "<point><x>1</x><y>up</y></point></area>",
         "ZELK ZELK::Text::ConversionException: Failed to convert \"up\" to float.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        writeFile(dir / "bad.xml", c.document);
        const RunResult r = runPenvex({"bad.xml", "-os", "never.svg"}, dir.path());
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, c.error);
        // The error ends the run inside the step: its line is left open, without a verdict.
        EXPECT_EQ(r.out, "* Loading XML");
        EXPECT_FALSE(std::filesystem::exists(dir / "never.svg"));
    }
}

TEST(PolygonXMLInput, MissingCoordinatesAndMissingFilesFail) {
    ScratchDir dir;
    writeFile(dir / "short.xml", "<?xml version=\"1.0\" encoding=\"utf-8\"?><area height=\"1\" "
                                 "width=\"1\"><point><x>1</x></point></area>");
    const RunResult r = runPenvex({"short.xml"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "XML point entry missing y element.\n");
    EXPECT_TRUE(isStatusLine(linesOf(r.out).at(0), "Loading XML", "FAIL")) << r.out;

    const RunResult missing = runPenvex({"nowhere.xml"}, dir.path());
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "ZELK ZELK::PathException: Not found.  (nowhere.xml)\n");
    EXPECT_EQ(missing.out, "* Loading XML");
}

TEST(PolygonXMLInput, AnEmptyDrawingSkipsRefinementAndStillExports) {
    ScratchDir dir;
    // Only white space around the document; no points, no polygons.
    writeFile(dir / "empty.xml", "\n<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<area width=\"50\" "
                                 "height=\"40\"></area>\n\n");
    const RunResult r = runPenvex({"empty.xml", "-os", "e.svg", "-ox", "e.xml"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(linesOf(r.out).size(), 1u) << r.out; // no "Refining polylines"
    EXPECT_EQ(readFile(dir / "e.xml"),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?><area height=\"40\" width=\"50\">"
              "<!--The following polylines are classified as clutter.--></area>");
    // Both sets empty: the view box is the drawing area.
    EXPECT_NE(readFile(dir / "e.svg").find("viewBox=\"0 0 50 40\""), std::string::npos);
}
