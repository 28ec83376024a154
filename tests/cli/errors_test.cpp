// The one-line messages that end a run with exit code 1, one case per distinct message, each
// with the status line the run got to and an output it must not have left behind.
#include <gtest/gtest.h>

#include "cli_support.hpp"

using namespace PenvexTest;

namespace {

struct Case {
    const char* args;    // split at blanks; data/ holds the committed fixtures
    const char* input;   // standard input
    const char* step;    // the status line the run ended on ("": none at all)
    const char* verdict; // its statusOf ("?": left open, the error came inside the step)
    std::string err;
    const char* absent = nullptr; // a file the run must not write
    std::string document = {};    // the polygon XML file doc.xml
};

const std::string zelk = "ZELK ZELK::";
const std::string area = "<area height=\"1\" width=\"1\">";
const char* const pairs = "0 0 10 10\n1 0 110 12\n1 1 108 95\n0 1 12 90\n";

const Case cases[] = {
    {"-n abc x.png", "", "", "",
     zelk + "Text::ConversionException: Failed to convert \"abc\" to unsigned int.\n"},
    // An unknown switch is the image name.
    {"-z", "", "Loading image -z", "FAIL", zelk + "StreamException: Wrapping bad input stream. \n"},
    {"grey.pgm -e 256", "", "", "",
     "Median window 256 is larger than the supported maximum 255 (-e)\n"},
    {"grey.pgm -n 16777217", "", "", "",
     "Local mean window 16777217 is larger than the supported maximum 16777216 (-n)\n"},
    {"data/png/huge-header.png", "", "Loading image data/png/huge-header.png", "FAIL",
     zelk + "SupportException: No support for PNG images above 268435456 pixels. \n"},
    {"data/background/no-sheet-desk.ppm -b lines", "", "Detecting background outline", "FAIL",
     "Unable to detect background.\n"},
    {"grey.pgm -b Lines", "", "Loading image grey.pgm", "OK",
     "Invalid background detection method Lines\n"},
    {"flat.pgm -b none", "", "Segmenting lines", "OK", "1 of image was segmented as lines.\n"},
    {"demo:Plus", "", "Generate demo Plus", "FAIL",
     "Demo Plus, must be one of: diagonal double L plus X asterisk T square circle wave wobbly "
     "spiral gaps \n"},
    {"demo:plus,size=64,Size=64", "", "", "",
     "Parameter Size is not available to be overridden, available parameters are: background, "
     "backgroundborder, clutter, colorbackground, colorclear, coloring, colorstroke, contrast, "
     "gradient, noise, perspective, quality, r2, size, thickness\n",
     "plus.png"},
    {"demo:plus,size=0", "", "Generate demo plus", "?",
     zelk + "UnexpectedValueException: size=0 is not a size from 1 to 8192 pixels. \n", "plus.png"},
    {"doc.xml -os out.svg", "", "Loading XML", "?",
     zelk + "BoundException<int>: Value (4) out of bound (1). \n", "out.svg",
     area + "<point><x>0</x><y>0</y></point><polygon><point>1</point><point>4</point></polygon>"},
    {"doc.xml", "", "Loading XML", "FAIL", "XML point entry missing y element.\n", nullptr,
     area + "<point><x>1</x></point></area>"},
    {"doc.xml", "", "Loading XML", "?",
     zelk + "XMLEntityIterationException: End of element y does not match x.\n", nullptr,
     area + "<point><x>1</y></point></area>"},
    {"doc.xml", "", "Loading XML", "?",
     zelk + "XMLEntityIterationException: End of element area found but no matching start.\n",
     nullptr, area + "</area></area>"},
    {"doc.xml", "", "Loading XML", "?", zelk + "XMLEntityIterationException: Unexpected end.\n",
     nullptr, area + "<!-- unterminated </area>"},
    {"doc.xml", "", "Loading XML", "?", zelk + "XMLAttributeIterationException: Unexpected end.\n",
     nullptr, "<area height=\"1\" width></area>"},
    {"doc.xml", "", "Loading XML", "?",
     zelk + "UnexpectedValueException: element end at level 2 is not text at level 3. \n", nullptr,
     area + "<point><x></x><y>1</y></point></area>"},
    {"nowhere.xml", "", "Loading XML", "?", zelk + "PathException: Not found.  (nowhere.xml)\n"},
    // A device without end is read up to the limit, not until memory runs out.
    {"zero.xml", "", "Loading XML", "FAIL",
     "Polygon XML input is larger than the supported maximum 134217728 bytes\n"},
    // Each point is a float, but the view box around them is not.
    {"doc.xml -ox out.xml -os out.svg", "", "Refining polylines", "OK",
     "Drawing coordinates are not finite or lie too far apart to be written.\n", "out.xml",
     area + "<point><x>-3e38</x><y>0</y></point><point><x>3e38</x><y>1</y></point>"
            "<polygon ends=\"open\"><point>1</point><point>2</point></polygon></area>"},
    {"in.xml -os no/such/folder/out.svg", "", "Refining polylines", "OK",
     zelk + "PathException: Failed to write.  (no/such/folder/out.svg)\n"},
    // The drawing outputs come first; the image outputs need an image.
    {"in.xml -ox out.xml -oi image.ppm", "", "Refining polylines", "OK", "No image provided.\n",
     "image.ppm"},
    // Standard input is closed: no pairs at all.
    {"data/tracing/cross.pgm -a 3 -b none -r -ox out.xml", "", "Connecting polylines", "OK",
     "Rectification needs at least four point pairs, got 0.\n", "out.xml"},
    // Four pairs, one of them twice.
    {"data/tracing/cross.pgm -a 3 -b none -r -ox out.xml",
     "0 0 10 10 1 0 110 12 1 1 108 95 1 1 108 95", "Connecting polylines", "OK",
     "Rectification failed: the point pairs do not determine a perspective (are three of them "
     "on a line?).\n",
     "out.xml"},
    {"data/tracing/cross.pgm -a 3 -b none -r -rs 297 -210 -ox out.xml", pairs,
     "Connecting polylines", "OK",
     "Rectification needs a positive, finite width and height, got 297 x -210.\n", "out.xml"},
    // A strip so thin that the refined image would be less than a pixel high.
    {"data/tracing/cross.pgm -a 3 -b none -r -rs 1 1e-5 -oi out.ppm -ox out.xml", pairs,
     "Connecting polylines", "OK",
     "Rectification to 1 x 1e-05 gives a refined image side outside 1 to 2147483648 pixels.\n",
     "out.xml"},
};

} // namespace

TEST(Errors, EachEndsTheRunWithItsOneLineAndExitCode1) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        ScratchDir dir;
        std::filesystem::create_directory_symlink(dataPath(""), dir / "data");
        writeFile(dir / "grey.pgm", "P5\n8 8\n255\n" + std::string(64, char(128)));
        writeFile(dir / "flat.pgm", "P5\n64 48\n255\n" + std::string(64 * 48, char(200)));
        writeFile(dir / "in.xml", polygonDocument(200, 100, {{P2(50, 20), P2(150, 80)}}));
        std::filesystem::create_symlink("/dev/zero", dir / "zero.xml");
        writeFile(dir / "doc.xml", "<?xml version=\"1.0\"?>" + c.document);

        const RunResult r = runPenvex(words(c.args), dir.path(), c.input);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(*c.step == 0 ? r.out : statusOf(r.out, c.step), c.verdict) << r.out;
        EXPECT_FALSE(c.absent != nullptr && std::filesystem::exists(dir / c.absent));
    }
}
