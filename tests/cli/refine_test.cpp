// Refinement and clutter classification through the real binary on polygon XML input, each
// step isolated with options: -tr L 0 merges without removing vertices, -tr 0 D removes
// without merging, -cl 5 keeps short test polylines among the lines, -lx turns alignment on.
#include <gtest/gtest.h>

#include "export_helpers.hpp"
#include "support/run_binary.hpp"

using namespace PenvexTest;

namespace {

// Runs penvex on the polylines with the extra options and returns what -ox wrote.
WrittenDrawing refine(const std::vector<std::vector<P2>>& polylines,
                      const std::vector<std::string>& options, std::string* out = nullptr) {
    ScratchDir dir;
    writeFile(dir / "in.xml", polylinesDocument(100, 100, polylines));
    std::vector<std::string> args{"in.xml", "-ox", "out.xml"};
    args.insert(args.end(), options.begin(), options.end());
    const RunResult r = runPenvex(args, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    if (out)
        *out = r.out;
    return readWrittenDrawing(readFile(dir / "out.xml"));
}

std::vector<std::vector<P2>> onlyLines(const WrittenDrawing& drawing) {
    EXPECT_TRUE(drawing.clutter.empty());
    return drawing.lines;
}

} // namespace

TEST(RefinePolylines, MergesShortEdgesButNeverTheFirstOfAnOpenPolyline) {
    EXPECT_EQ(onlyLines(refine({{P2(0, 0), P2(10, 0), P2(12, 0), P2(30, 0)}},
                               {"-tr", "5", "0", "-cl", "5"})),
              (std::vector<std::vector<P2>>{{P2(0, 0), P2(11, 0), P2(30, 0)}}));
    EXPECT_EQ(onlyLines(refine({{P2(0, 0), P2(2, 0), P2(30, 0), P2(40, 0)}},
                               {"-tr", "5", "0", "-cl", "5"})),
              (std::vector<std::vector<P2>>{{P2(0, 0), P2(2, 0), P2(30, 0), P2(40, 0)}}));
    // With the default vertex distance the merged vertex is then removed as well.
    EXPECT_EQ(onlyLines(refine({{P2(0, 0), P2(10, 0), P2(12, 0), P2(30, 0)}}, {"-cl", "5"})),
              (std::vector<std::vector<P2>>{{P2(0, 0), P2(30, 0)}}));
}

TEST(RefinePolylines, ClosedPolylinesMergeAcrossTheirClosingVertex) {
    // The closing edge from (4, 1) to (0, 0) is short; its midpoint is then close to (6, 0)
    // too and merges with it, so the polygon ends with four vertices.
    ScratchDir dir;
    writeFile(dir / "in.xml",
              polygonDocument(100, 100,
                              {P2(0, 0), P2(6, 0), P2(30, 0), P2(30, 30), P2(0, 30), P2(4, 1)},
                              {{{1, 2, 3, 4, 5, 6}, false}}));
    ASSERT_EQ(
        runPenvex({"in.xml", "-tr", "5", "0", "-cl", "5", "-os", "out.svg"}, dir.path()).exitCode,
        0);
    const SVGDrawing svg = readSVG(readFile(dir / "out.svg"));
    ASSERT_EQ(svg.groups.size(), 1u);
    ASSERT_EQ(svg.groups[0].shapes.size(), 1u);
    // Polygon points in SVG coordinates (y' = 100 - y), first point repeated by the reader.
    EXPECT_EQ(svg.groups[0].shapes[0],
              (std::vector<P2>{P2(30, 100), P2(30, 70), P2(0, 70), P2(4, 99.75f), P2(30, 100)}));
}

TEST(RefinePolylines, RemovesVerticesCloseToTheChordOfTheirNeighbours) {
    EXPECT_EQ(onlyLines(refine({{P2(0, 0), P2(10, 1), P2(20, 0)}}, {"-tr", "0", "5", "-cl", "5"})),
              (std::vector<std::vector<P2>>{{P2(0, 0), P2(20, 0)}}));
    EXPECT_EQ(onlyLines(refine({{P2(0, 0), P2(10, 8), P2(20, 0)}}, {"-tr", "0", "5", "-cl", "5"})),
              (std::vector<std::vector<P2>>{{P2(0, 0), P2(10, 8), P2(20, 0)}}));
}

TEST(RefinePolylines, AlignsOnlyWhenTheThresholdIsBelowOne) {
    std::string status;
    const std::vector<std::vector<P2>> skewed{{P2(0, 0), P2(10, 0.5f), P2(10.5f, 10)}};
    EXPECT_EQ(onlyLines(refine(skewed, {"-lx", "0.9", "-cl", "5"}, &status)),
              (std::vector<std::vector<P2>>{{P2(0, 0), P2(10.5f, 0), P2(10.5f, 10)}}));
    EXPECT_NE(status.find("* Aligning polylines "), std::string::npos) << status;

    for (const char* off : {"1", "1.5"}) {
        EXPECT_EQ(onlyLines(refine(skewed, {"-lx", off, "-cl", "5"}, &status)), skewed);
        EXPECT_EQ(status.find("Aligning"), std::string::npos) << status;
    }
}

TEST(RefinePolylines, ClutterIsWhatNoLongSegmentReaches) {
    // A long line; a short stroke sharing its end vertex; a short stroke sharing a vertex with
    // that one only; and three isolated short strokes.
    const std::vector<P2> points{P2(0, 0),   P2(80, 0),  P2(82, 10), P2(90, 15), P2(40, 50),
                                 P2(43, 50), P2(50, 60), P2(50, 64), P2(60, 50), P2(60, 45)};
    const std::vector<InputPolygon> polygons{{{1, 2}}, {{2, 3}}, {{3, 4}},
                                             {{5, 6}}, {{7, 8}}, {{9, 10}}};
    auto run = [&](const std::vector<std::string>& options) {
        ScratchDir dir;
        writeFile(dir / "in.xml", polygonDocument(100, 100, points, polygons));
        std::vector<std::string> args{"in.xml", "-ox", "out.xml"};
        args.insert(args.end(), options.begin(), options.end());
        EXPECT_EQ(runPenvex(args, dir.path()).exitCode, 0);
        return readWrittenDrawing(readFile(dir / "out.xml"));
    };
    const WrittenDrawing out = run({});
    ASSERT_EQ(out.lines.size(), 3u);
    EXPECT_EQ(out.lines[1], (std::vector<P2>{P2(80, 0), P2(82, 10)}));
    EXPECT_EQ(out.lines[2], (std::vector<P2>{P2(82, 10), P2(90, 15)}));
    // The clutter comes out from the last polyline to the first.
    ASSERT_EQ(out.clutter.size(), 3u);
    EXPECT_EQ(out.clutter[0], (std::vector<P2>{P2(60, 50), P2(60, 45)}));
    EXPECT_EQ(out.clutter[2], (std::vector<P2>{P2(40, 50), P2(43, 50)}));

    // The same strokes with their own copies of the shared points are not attached: sharing
    // is by vertex, not by position.
    const WrittenDrawing apart = refine({{P2(0, 0), P2(80, 0)}, {P2(80, 0), P2(82, 10)}}, {});
    EXPECT_EQ(apart.lines.size(), 1u);
    EXPECT_EQ(apart.clutter.size(), 1u);

    // Lowering -cl below the short strokes' lengths makes them lines too; -cl 100 leaves no
    // segment long, so everything is clutter.
    EXPECT_TRUE(run({"-cl", "2"}).clutter.empty());
    const WrittenDrawing all = run({"-cl", "100"});
    EXPECT_TRUE(all.lines.empty());
    EXPECT_EQ(all.clutter.size(), 6u);
}
