// Rectification through the real binary: typed point pairs (with and without a loading scale)
// against a closed-form perspective, the prompt, the failures that stop a run, the drawing
// area and view box, the demo sheet, and the rectified refined image against a warp made by
// OpenCV. Every run feeds standard input, so none can wait on a terminal.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "export_helpers.hpp"
#include "support/run_binary.hpp"

using namespace PenvexTest;

namespace {

const std::string prompt = "Enter corresponding points on a line as: rectified x, rectified y, "
                           "image x, image y. End with EOF.\n";

// The four example pairs: image points about 100 pixels apart onto the unit square.
const std::string examplePairs = "0 0 10 10\n1 0 110 12\n1 1 108 95\n0 1 12 90\n";

// A polygon XML output as written: every vertex in file order (lines, then clutter) and the
// polylines of the lines part as vertex lists. Read by hand rather than through the program's
// reader, which would merge vertices closer than its merge distance.
struct Output {
    float width = 0.0f, height = 0.0f;
    std::vector<P2> vertices;
    std::vector<std::vector<P2>> lines;
};

float numberAfter(const std::string& text, const std::string& key, std::size_t from) {
    const std::size_t at = text.find(key, from);
    if (at == std::string::npos)
        throw std::runtime_error("missing " + key);
    return std::stof(text.substr(at + key.size()));
}

Output readOutput(const std::filesystem::path& path) {
    const std::string text = readFile(path);
    Output out;
    out.width = numberAfter(text, "width=\"", 0);
    out.height = numberAfter(text, "height=\"", 0);
    const std::size_t comment = text.find("<!--");
    std::vector<P2> lineVertices;
    for (std::size_t at = text.find("<point><x>"); at != std::string::npos;
         at = text.find("<point><x>", at + 1)) {
        const P2 p(numberAfter(text, "<x>", at), numberAfter(text, "<y>", at));
        out.vertices.push_back(p);
        if (at < comment)
            lineVertices.push_back(p);
    }
    for (std::size_t at = text.find("<polygon"); at < comment; at = text.find("<polygon", at + 1)) {
        const std::size_t end = text.find("</polygon>", at);
        const bool open = text.compare(at, 21, "<polygon ends=\"open\">") == 0;
        std::vector<P2> polyline;
        for (std::size_t p = text.find("<point>", at); p < end; p = text.find("<point>", p + 1))
            if (text.compare(p, 10, "<point><x>") != 0)
                polyline.push_back(lineVertices.at(std::stoul(text.substr(p + 7)) - 1));
        if (!open && !polyline.empty())
            polyline.push_back(polyline.front());
        out.lines.push_back(polyline);
    }
    return out;
}

// The perspective that maps image points back onto the unit square, for four pairs whose
// rectified points are (0,0), (1,0), (1,1), (0,1): the closed form of the square-to-quad
// mapping, inverted by its adjugate, all in double.
class QuadToSquare {
public:
    explicit QuadToSquare(const double q[4][2]) {
        const double sx = q[0][0] - q[1][0] + q[2][0] - q[3][0];
        const double sy = q[0][1] - q[1][1] + q[2][1] - q[3][1];
        const double dx1 = q[1][0] - q[2][0], dx2 = q[3][0] - q[2][0];
        const double dy1 = q[1][1] - q[2][1], dy2 = q[3][1] - q[2][1];
        const double det = dx1 * dy2 - dx2 * dy1;
        const double g = (sx * dy2 - dx2 * sy) / det, h = (dx1 * sy - sx * dy1) / det;
        const double m[3][3] = {
            {q[1][0] - q[0][0] + g * q[1][0], q[3][0] - q[0][0] + h * q[3][0], q[0][0]},
            {q[1][1] - q[0][1] + g * q[1][1], q[3][1] - q[0][1] + h * q[3][1], q[0][1]},
            {g, h, 1.0}};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
                inverse_[r][c] = m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1];
            }
    }
    P2 operator()(const P2& p) const {
        const double x = p.x(), y = p.y();
        const double w = inverse_[2][0] * x + inverse_[2][1] * y + inverse_[2][2];
        return P2(float((inverse_[0][0] * x + inverse_[0][1] * y + inverse_[0][2]) / w),
                  float((inverse_[1][0] * x + inverse_[1][1] * y + inverse_[1][2]) / w));
    }

private:
    double inverse_[3][3];
};

// Runs the picture once without -r and once with the typed pairs, and checks that every
// rectified vertex is the closed-form image of the same vertex of the plain run (rectifying
// changes the frame of the results, never which vertices there are).
void expectTypedRectification(const std::vector<std::string>& input, const double quad[4][2],
                              const std::string& pairs) {
    ScratchDir dir;
    std::vector<std::string> plainArgs = input, rectArgs = input;
    plainArgs.insert(plainArgs.end(), {"-b", "none", "-q", "-ox", "plain.xml"});
    rectArgs.insert(rectArgs.end(), {"-b", "none", "-q", "-r", "-ox", "rect.xml"});
    const RunResult plain = runPenvex(plainArgs, dir.path());
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const RunResult rect = runPenvex(rectArgs, dir.path(), pairs);
    ASSERT_EQ(rect.exitCode, 0) << rect.err;
    // -q silences status lines, not the prompt.
    EXPECT_EQ(rect.out, prompt);

    const Output before = readOutput(dir / "plain.xml");
    const Output after = readOutput(dir / "rect.xml");
    ASSERT_GE(before.vertices.size(), 8u);
    ASSERT_EQ(after.vertices.size(), before.vertices.size());
    const QuadToSquare expected(quad);
    for (std::size_t i = 0; i < before.vertices.size(); ++i) {
        const P2 e = expected(before.vertices[i]);
        EXPECT_NEAR(after.vertices[i].x(), e.x(), 2e-4f) << "vertex " << i;
        EXPECT_NEAR(after.vertices[i].y(), e.y(), 2e-4f) << "vertex " << i;
    }
}

} // namespace

TEST(Rectify, TypedPairsMapTheirImagePointsOntoTheUnitSquare) {
    const double quad[4][2] = {{10, 10}, {110, 12}, {108, 95}, {12, 90}};
    expectTypedRectification({dataPath("export/sketch.ppm").string()}, quad, examplePairs);

    // The pairs can come in any layout, and the numbers of an incomplete last group and what
    // follows a word are ignored.
    expectTypedRectification({dataPath("export/sketch.ppm").string()}, quad,
                             "0 0\n10 10 1 0 110 12 1 1 108\n95\n0 1 12 90 5 5 end 1 2 3 4");
}

TEST(Rectify, TypedImagePointsArePixelsOfTheLoadedImageAlsoWhenLoadingScaledIt) {
    // thick.pgm is reduced by 5/12 before extraction with -a 12; typed pairs still name pixels
    // of the file, like the plain output's vertices, so one closed form links the two runs.
    const double quad[4][2] = {{30, 40}, {450, 20}, {430, 330}, {60, 300}};
    expectTypedRectification({dataPath("export/thick.pgm").string(), "-a", "12"}, quad,
                             "0 0 30 40\n1 0 450 20\n1 1 430 330\n0 1 60 300\n");
}

TEST(Rectify, PromptFollowsTheExtractionStatusLines) {
    ScratchDir dir;
    const RunResult r =
        runPenvex({dataPath("export/sketch.ppm").string(), "-b", "none", "-r", "-ox", "out.xml"},
                  dir.path(), examplePairs);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::size_t connecting = r.out.find("* Connecting polylines");
    const std::size_t asked = r.out.find(prompt);
    const std::size_t refining = r.out.find("* Refining polylines");
    ASSERT_NE(connecting, std::string::npos) << r.out;
    ASSERT_NE(asked, std::string::npos) << r.out;
    ASSERT_NE(refining, std::string::npos) << r.out;
    EXPECT_LT(connecting, asked);
    EXPECT_EQ(r.out.rfind('\n', asked - 1), asked - 1) << "the prompt starts a line";
    EXPECT_LT(asked, refining);
}

TEST(Rectify, UnusablePairsOrSizesEndTheRunBeforeAnyOutput) {
    const std::string image = dataPath("export/sketch.ppm").string();
    struct Case {
        std::vector<std::string> extra;
        std::string input;
        std::string error;
    };
    const Case cases[] = {
        {{}, "", "Rectification needs at least four point pairs, got 0.\n"},
        {{},
         "0 0 10 10\n1 0 110 12\n1 1",
         "Rectification needs at least four point pairs, got 2.\n"},
        {{},
         "0 0 10 10 1 0 110 12 1 1 108 95 stop 0 1 12 90",
         "Rectification needs at least four point pairs, got 3.\n"},
        // Four pairs, one of them twice.
        {{},
         "0 0 10 10 1 0 110 12 1 1 108 95 1 1 108 95",
         "Rectification failed: the point pairs do not determine a perspective (are three of "
         "them on a line?).\n"},
        {{"-rs", "0", "1"},
         examplePairs,
         "Rectification needs a positive, finite width and height, got 0 x 1.\n"},
        {{"-rs", "297", "-210"},
         examplePairs,
         "Rectification needs a positive, finite width and height, got 297 x -210.\n"},
        // A strip so thin that the refined image would be less than a pixel high.
        {{"-rs", "1", "1e-5", "-oi", "out.ppm"},
         examplePairs,
         "Rectification to 1 x 1e-05 gives a refined image side outside 1 to 2147483648 "
         "pixels.\n"},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        std::vector<std::string> args{image, "-b",      "none", "-q",     "-r",
                                      "-os", "out.svg", "-ox",  "out.xml"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const RunResult r = runPenvex(args, dir.path(), c.input);
        EXPECT_EQ(r.exitCode, 1) << c.input;
        EXPECT_EQ(r.err, c.error) << c.input;
        EXPECT_FALSE(std::filesystem::exists(dir / "out.svg")) << c.input;
        EXPECT_FALSE(std::filesystem::exists(dir / "out.xml")) << c.input;
        EXPECT_FALSE(std::filesystem::exists(dir / "out.ppm")) << c.input;
    }

    // The same thin strip is fine when no refined image is asked for.
    ScratchDir dir;
    const RunResult r =
        runPenvex({image, "-b", "none", "-q", "-r", "-rs", "1", "1e-5", "-ox", "out.xml"},
                  dir.path(), examplePairs);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The drawing is squeezed into the strip: every vertex within the image of the sheet.
    const Output strip = readOutput(dir / "out.xml");
    ASSERT_FALSE(strip.vertices.empty());
    for (const P2& p : strip.vertices) {
        EXPECT_TRUE(std::isfinite(p.x()) && std::isfinite(p.y()));
    }
}

TEST(Rectify, DrawingAreaIsTheRectangleGrownByATenthAndTheViewBoxIsThatArea) {
    ScratchDir dir;
    const RunResult r =
        runPenvex({dataPath("export/sketch.ppm").string(), "-b", "none", "-q", "-r", "-rs", "210",
                   "297", "-os", "out.svg", "-ox", "out.xml"},
                  dir.path(), "0 0 22 23\n210 0 300 21\n210 297 296 15\n0 297 18 23\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string svg = readFile(dir / "out.svg");
    EXPECT_NE(svg.find("viewBox=\"-0.1 -0.1 210.2 297.2\""), std::string::npos) << svg;
    EXPECT_NE(svg.find("<rect fill=\"#"), std::string::npos);
    EXPECT_NE(svg.find("height=\"297.2\" width=\"210.2\" x=\"-0.1\" y=\"-0.1\""),
              std::string::npos);
    const std::string xml = readFile(dir / "out.xml");
    EXPECT_EQ(xml.find("<area height=\"297.2\" width=\"210.2\">"),
              std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>").size())
        << xml.substr(0, 100);
}

namespace {

// The polylines of the lines part that lie inside the box, and the largest distance of any
// of their vertices from the expected strokes; with the share of expected stroke points that
// have a traced line within the tolerance.
struct Match {
    float farthest = 0.0f;
    double covered = 0.0;
};

Match matchStrokes(const Output& out, const std::vector<std::vector<P2>>& strokes, float inset,
                   float tolerance) {
    std::vector<std::vector<P2>> inside;
    for (const auto& polyline : out.lines) {
        bool within = true;
        for (const P2& p : polyline)
            within = within && p.x() > inset && p.y() > inset && p.x() < 1.5f - inset &&
                     p.y() < 1.5f - inset;
        if (within)
            inside.push_back(polyline);
    }
    Match match;
    for (const auto& polyline : inside)
        for (const P2& p : polyline)
            match.farthest = std::max(match.farthest, distanceToPolylines(p, strokes));
    std::size_t total = 0, found = 0;
    for (const auto& stroke : strokes)
        for (std::size_t k = 1; k < stroke.size(); ++k)
            for (int i = 0; i < 20; ++i, ++total) {
                const float t = float(i) / 20.0f;
                const P2 p(stroke[k - 1].x() + t * (stroke[k].x() - stroke[k - 1].x()),
                           stroke[k - 1].y() + t * (stroke[k].y() - stroke[k - 1].y()));
                if (distanceToPolylines(p, inside) <= tolerance)
                    ++found;
            }
    match.covered = double(found) / double(total);
    return match;
}

} // namespace

TEST(Rectify, DemoSheetComesOutAsTheSquareItHolds) {
    // The demo sheet spans -0.25 .. 1.25 of the drawing, so on a 1.5 x 1.5 rectangle the unit
    // square of the drawing lies at 0.25 .. 1.25. The sheet's corners are typed as computed by
    // tests/data/demo/tilted_sheet_corners.py, in the order of the rectangle's corners.
    std::ifstream file(dataPath("demo/tilted_sheet_corners.txt"));
    std::string word;
    while (file >> word && word != "corners") {
    }
    std::ostringstream pairs;
    const char* rectangle[4] = {"0 0", "1.5 0", "1.5 1.5", "0 1.5"};
    for (const char* corner : rectangle) {
        double x, y;
        ASSERT_TRUE(file >> x >> y);
        pairs << corner << " " << x << " " << y << "\n";
    }
    ScratchDir dir;
    RunResult r = runPenvex({"demo:square,background,perspective", "-b", "none", "-q", "-r", "-rs",
                             "1.5", "1.5", "-ox", "typed.xml"},
                            dir.path(), pairs.str());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::vector<P2>> square = {
        {P2(0.25f, 0.25f), P2(1.25f, 0.25f), P2(1.25f, 1.25f), P2(0.25f, 1.25f), P2(0.25f, 0.25f)}};
    // Within 2 % of the square's side; the sheet's own edges (traced too without a background
    // mask) lie outside the inset box.
    Match match = matchStrokes(readOutput(dir / "typed.xml"), square, 0.15f, 0.02f);
    EXPECT_LE(match.farthest, 0.02f);
    EXPECT_GE(match.covered, 0.9);

    // Corners found by the lines method start at the smallest polar angle, the top right of an
    // upright sheet, so the drawing comes out turned by half a turn: an L of the drawing's left
    // and bottom edges lands on the right and top of the rectangle.
    r = runPenvex(
        {"demo:L,background,perspective", "-q", "-r", "-rs", "1.5", "1.5", "-ox", "lines.xml"},
        dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Output lines = readOutput(dir / "lines.xml");
    const std::vector<std::vector<P2>> turned = {
        {P2(1.25f, 0.25f), P2(1.25f, 1.25f), P2(0.25f, 1.25f)}};
    match = matchStrokes(lines, turned, 0.1f, 0.05f);
    EXPECT_LE(match.farthest, 0.05f);
    // The corner of the L is cut off by refinement; its arms are there.
    EXPECT_GE(match.covered, 0.8);
    const std::vector<std::vector<P2>> upright = {
        {P2(0.25f, 1.25f), P2(0.25f, 0.25f), P2(1.25f, 0.25f)}};
    EXPECT_LT(matchStrokes(lines, upright, 0.1f, 0.05f).covered, 0.2);
}

namespace {

// A picture as grey values with slow changes taken out (each value minus the mean of its
// 9 x 9 neighbourhood), top row first: what stays is the drawing and the paper's edges, which
// a refined image and a plain warp of the photo share.
struct Detail {
    int width = 0, height = 0;
    std::vector<double> values;
    double at(int x, int y) const { return values[std::size_t(y) * width + x]; }
};

Detail detailOf(const ColourRaster& picture) {
    Detail d;
    d.width = int(picture.width);
    d.height = int(picture.height);
    std::vector<double> grey(std::size_t(d.width) * d.height);
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x) {
            const unsigned char* p = picture.at(unsigned(x), unsigned(y));
            grey[std::size_t(y) * d.width + x] = (p[0] + p[1] + p[2]) / 3.0;
        }
    d.values.resize(grey.size());
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x) {
            double sum = 0.0;
            int n = 0;
            for (int v = std::max(0, y - 4); v <= std::min(d.height - 1, y + 4); ++v)
                for (int u = std::max(0, x - 4); u <= std::min(d.width - 1, x + 4); ++u, ++n)
                    sum += grey[std::size_t(v) * d.width + u];
            d.values[std::size_t(y) * d.width + x] = grey[std::size_t(y) * d.width + x] - sum / n;
        }
    return d;
}

// Normalised correlation of a window of a with the window of b moved by (dx, dy).
double correlation(const Detail& a, const Detail& b, int x0, int y0, int x1, int y1, int dx,
                   int dy) {
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    const double n = double(x1 - x0) * (y1 - y0);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const double u = a.at(x, y), v = b.at(x + dx, y + dy);
            sa += u;
            sb += v;
            saa += u * u;
            sbb += v * v;
            sab += u * v;
        }
    const double cov = sab / n - (sa / n) * (sb / n);
    const double va = saa / n - (sa / n) * (sa / n), vb = sbb / n - (sb / n) * (sb / n);
    return cov / std::sqrt(va * vb);
}

// For each quarter of the picture (kept 20 pixels off the border), the shift of the reference
// within +-10 pixels that fits ours best, and the largest of their lengths (in pixels).
double worstShift(const Detail& ours, const Detail& reference) {
    const int margin = 20;
    double worst = 0.0;
    for (int ty = 0; ty < 2; ++ty)
        for (int tx = 0; tx < 2; ++tx) {
            const int x0 = margin + tx * (ours.width - 2 * margin) / 2;
            const int x1 = margin + (tx + 1) * (ours.width - 2 * margin) / 2;
            const int y0 = margin + ty * (ours.height - 2 * margin) / 2;
            const int y1 = margin + (ty + 1) * (ours.height - 2 * margin) / 2;
            double best = -2.0;
            int bx = 0, by = 0;
            for (int dy = -10; dy <= 10; ++dy)
                for (int dx = -10; dx <= 10; ++dx) {
                    const double c = correlation(ours, reference, x0, y0, x1, y1, dx, dy);
                    if (c > best) {
                        best = c;
                        bx = dx;
                        by = dy;
                    }
                }
            // A real match stands out; noise against noise stays near 0.
            EXPECT_GT(best, 0.3) << "quarter " << tx << "," << ty;
            worst = std::max(worst, std::hypot(double(bx), double(by)));
        }
    return worst;
}

// A committed PNG fixture, converted by ImageMagick.
ColourRaster readPNG(const std::string& fixture, const std::filesystem::path& scratch) {
    const std::filesystem::path ppm = scratch / "fixture.ppm";
    if (shell("/usr/bin/convert " + dataPath(fixture).string() + " -depth 8 ppm:" + ppm.string()) !=
        0)
        throw std::runtime_error("ImageMagick could not convert " + fixture +
                                 " (make test installs it)");
    return readPPM(ppm);
}

ColourRaster turnedByHalf(const ColourRaster& picture) {
    ColourRaster turned = picture;
    const std::size_t n = std::size_t(picture.width) * picture.height;
    for (std::size_t i = 0; i < n; ++i)
        std::copy_n(picture.samples.data() + 3 * (n - 1 - i), 3, turned.samples.data() + 3 * i);
    return turned;
}

} // namespace

TEST(Rectify, RefinedImageIsTheSheetWarpedOntoTheRectangle) {
    // The 400 x 300 copy of the sheet photo, reduced by 5/8 before extraction (-a 8): the
    // warp has to bring the rectangle through the fit in the reduced frame back to the file's
    // pixels. The reference is OpenCV's warp of the same picture through the true corners
    // (tests/data/rectify/make.py).
    ScratchDir dir;
    const std::string image = dataPath("background/sheet-400.ppm").string();
    std::ifstream pairsFile(dataPath("rectify/sheet-400-pairs.txt"));
    std::stringstream pairs;
    pairs << pairsFile.rdbuf();
    ASSERT_FALSE(pairs.str().empty());
    const ColourRaster referencePicture = readPNG("rectify/sheet-400-297x210.png", dir.path());
    const Detail reference = detailOf(referencePicture);

    RunResult r =
        runPenvex({image, "-a", "8", "-b", "none", "-r", "-rs", "297", "210", "-oi", "typed.ppm"},
                  dir.path(), pairs.str());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("* Scaling image to have nominal line thickness"), std::string::npos);
    const ColourRaster typed = readPPM(dir / "typed.ppm");
    // s = sqrt(400 * 300 / (297 * 210)) = 1.3871: 411.97 x 291.29, about the input's pixels.
    ASSERT_EQ(typed.width, 411u);
    ASSERT_EQ(typed.height, 291u);
    ASSERT_EQ(referencePicture.width, typed.width);
    ASSERT_EQ(referencePicture.height, typed.height);
    EXPECT_LE(worstShift(detailOf(typed), reference), 1.0);

    // Detected corners: the segmentation method starts at the bottom left and gives an
    // upright sheet. The methods work on a copy 128 pixels wide, so their corners may be off by
    // 2 % of the width.
    r = runPenvex(
        {image, "-a", "8", "-b", "segment", "-q", "-r", "-rs", "297", "210", "-oi", "segment.ppm"},
        dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_LE(worstShift(detailOf(readPPM(dir / "segment.ppm")), reference), 8.0);

    // The lines method (which needs both side edges of the sheet to lean left, hence the
    // turned copy of the photo) starts at the top right, turning the sheet by half a turn.
    r = runPenvex({dataPath("background/sheet-turned-400.ppm").string(), "-a", "8", "-q", "-r",
                   "-rs", "297", "210", "-oi", "lines.ppm"},
                  dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Detail turnedReference =
        detailOf(readPNG("rectify/sheet-turned-400-297x210.png", dir.path()));
    EXPECT_LE(worstShift(detailOf(turnedByHalf(readPPM(dir / "lines.ppm"))), turnedReference), 8.0);
}
