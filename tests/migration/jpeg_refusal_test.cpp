// What the JPEG importer refuses, with its messages: unsupported files made by real tools,
// damaged copies of good files, and hand-made files in states that the format forbids.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jpeg_test_support.hpp"
#include "support/run_binary.hpp"

using namespace JPEGTest;
using PenvexTest::dataPath;
using PenvexTest::readFile;

namespace {

std::string fixture(const std::string& name) {
    return readFile(dataPath("jpeg/" + name));
}

std::vector<std::uint8_t> countsWith(unsigned length, std::uint8_t count) {
    std::vector<std::uint8_t> counts(16, 0);
    counts[length - 1] = count;
    return counts;
}

// SOI, a quantisation table, a grey 8 x 8 frame and one-code DC and AC tables: what most
// hand-made files start with.
Writer greyStart() {
    Writer w;
    w.soi()
        .dqt(0, 1)
        .sof(0xC0, 8, 8, {{1, 0x11, 0}})
        .dht(0, 0, countsWith(1, 1), {0})
        .dht(1, 0, countsWith(1, 1), {0});
    return w;
}

// "00": DC size 0 and end of block, padded with ones.
const std::string emptyBlock = "\x3F";

} // namespace

TEST(JPEGRefusal, UnsupportedFilesMadeByRealTools) {
    EXPECT_EQ(refusal(fixture("refused/cmyk.jpg")),
              "No support for JPEG with channels other than 1 or 3. ");
    EXPECT_EQ(refusal(fixture("refused/arithmetic.jpg")), "No support for JPEG marker c9. ");
    EXPECT_EQ(refusal(fixture("refused/progressive_restart.jpg")),
              "No support for restart interval in progressive JPEG. ");
    EXPECT_EQ(refusal(fixture("refused/separate_scans.jpg")),
              "jpeg : Sequential DCT scan does not have same number of components as frame. ");
    // cjpeg's quality 5 without -baseline: 16-bit quantisation tables.
    EXPECT_EQ(refusal(fixture("refused/quality_5_extended.jpg")),
              "No support for JPEG with other than 8-bit quantization table precision. ");
}

TEST(JPEGRefusal, TwelveBitPrecisionAndOtherFrameTypes) {
    std::string file = fixture("rose_420.jpg");
    const std::size_t sof = findMarker(file, 0xC0);
    ASSERT_NE(sof, std::string::npos);
    file[sof + 4] = 12;
    EXPECT_EQ(refusal(file), "No support for JPEG with other than 8-bit sample precision. ");

    // Extended sequential (SOF1) and lossless (SOF3) frames.
    file[sof + 1] = '\xC1';
    EXPECT_EQ(refusal(file), "No support for JPEG marker c1. ");
    file[sof + 1] = '\xC3';
    EXPECT_EQ(refusal(file), "No support for JPEG marker c3. ");
}

TEST(JPEGRefusal, DamagedEntropyCodedData) {
    // RST2 due, RST3 found.
    std::string restarts = fixture("restart_3blocks.jpg");
    const std::size_t rst2 = findMarker(restarts, 0xD2);
    ASSERT_NE(rst2, std::string::npos);
    restarts[rst2 + 1] = '\xD3';
    EXPECT_EQ(refusal(restarts), "jpeg : Expected reset count 2, got 3");

    // A restart marker where data should go on, and data where a restart marker is due.
    std::string wrongCode = fixture("restart_3blocks.jpg");
    wrongCode[findMarker(wrongCode, 0xD0) + 1] = '\xD9';
    EXPECT_EQ(refusal(wrongCode), "jpeg : Expected reset marker, got 0xd9");

    // A marker in the middle of the data: 0xFF followed by a byte other than the stuffed 0.
    std::string marker = fixture("rose_420.jpg");
    std::size_t at = findMarker(marker, 0xDA) + 40;
    while (marker[at - 1] == '\xFF' || marker[at] == '\xFF')
        ++at;
    marker[at] = '\xFF';
    marker[at + 1] = '\x12';
    EXPECT_EQ(refusal(marker), "jpeg : Expected stuff byte (0x00), got 0x12");

    // No EOI.
    std::string truncated = fixture("rose_420.jpg");
    truncated.resize(truncated.size() - 2);
    EXPECT_EQ(refusal(truncated),
              "jpeg : Unexpected end of stream, no end of image segment detected. ");

    // Entropy-coded data that stops inside a block raises the stream's read error.
    std::string cut = fixture("rose_grey.jpg");
    cut.resize(findMarker(cut, 0xDA) + 40);
    EXPECT_EQ(refusal(cut), "Attempted to read over end of buffer. ");

    // After the scan the next byte must start a marker.
    EXPECT_EQ(refusal(greyStart().sos({{1, 0x00}}).raw(emptyBlock + "x").eoi().bytes()),
              "jpeg : Expected start of marker segment. ");
}

TEST(JPEGRefusal, HuffmanCodesWithoutAssignedSymbol) {
    // DC table: "00" (size 0) and the extra "01"; "1x" was never assigned.
    EXPECT_EQ(refusal(greyBlockFile("\xBF", 0)),
              "jpeg : Huffman code without assigned symbol encountered. ");
    // The same table decodes "00" and the extra code "01" (both DC size 0) normally.
    EXPECT_EQ(refusal(greyBlockFile("\x1F", 0)), "(no exception)");
    EXPECT_EQ(refusal(greyBlockFile("\x5F", 0)), "(no exception)");
}

TEST(JPEGRefusal, SizesBeyondWhatEightBitSamplesAllow) {
    // A DC difference of 12 bits.
    EXPECT_EQ(refusal(greyBlockFile(std::string(3, '\0'), 12)),
              "jpeg : More than 11 DC extend bits encountered. ");
    // An AC size of 11 bits, an end-of-band run in a sequential file, and a run that passes the
    // end of the block.
    auto withAC = [](std::uint8_t value, const std::string& entropy) {
        return Writer()
            .soi()
            .dqt(0, 1)
            .sof(0xC0, 8, 8, {{1, 0x11, 0}})
            .dht(0, 0, countsWith(1, 1), {0})
            .dht(1, 0, countsWith(1, 1), {value})
            .sos({{1, 0x00}})
            .raw(entropy)
            .eoi()
            .bytes();
    };
    EXPECT_EQ(refusal(withAC(0x0B, std::string(4, '\0'))),
              "jpeg : More than 10 AC extend bits encountered. ");
    EXPECT_EQ(refusal(withAC(0x10, std::string(4, '\0'))),
              "jpeg : Encountered larger than EOB0 in sequential mode. ");
    EXPECT_EQ(refusal(withAC(0xF1, std::string(4, '\0'))),
              "jpeg : AC coefficient beyond end of spectral band. ");
}

TEST(JPEGRefusal, ForbiddenFrameStates) {
    EXPECT_EQ(refusal(Writer().soi().eoi().bytes()), "jpeg : End of image before frame header. ");
    EXPECT_EQ(refusal(Writer().soi().dqt(0, 1).sos({{1, 0}}).raw(emptyBlock).eoi().bytes()),
              "jpeg : Scan before frame header. ");
    for (std::uint8_t sampling : {0x01, 0x10, 0x51, 0x15}) {
        EXPECT_EQ(refusal(Writer().soi().sof(0xC0, 8, 8, {{1, sampling, 0}}).eoi().bytes()),
                  "jpeg : Sampling factor outside 1 to 4. ")
            << int(sampling);
    }
    EXPECT_EQ(refusal(Writer().soi().sof(0xC0, 0, 8, {{1, 0x11, 0}}).eoi().bytes()),
              "jpeg : Frame with zero width or height. ");
    EXPECT_EQ(refusal(Writer().soi().sof(0xC0, 8, 0, {{1, 0x11, 0}}).eoi().bytes()),
              "jpeg : Frame with zero width or height. ");
    EXPECT_EQ(refusal(Writer().soi().sof(0xC2, 65535, 65535, {{1, 0x11, 0}}).eoi().bytes()),
              "No support for JPEG frames above 268435456 pixels. ");
    // The limit is the importer's: a file within the default one is refused by a smaller one.
    EXPECT_EQ(refusal(fixture("rose_420.jpg"), 1000),
              "No support for JPEG frames above 1000 pixels. ");
    EXPECT_EQ(
        refusal(Writer()
                    .soi()
                    .segment(0xC0, std::string("\x08\x00\x08\x00\x08\x01\x01\x11\x00\x00", 10))
                    .bytes()),
        "jpeg : Frame header larger than expected. ");
}

TEST(JPEGRefusal, ForbiddenSegments) {
    EXPECT_EQ(refusal(Writer().soi().raw(std::string("\xFF\xDB\x00\x01", 4)).bytes()),
              "jpeg : Marker segment length below 2. ");
    EXPECT_EQ(refusal(Writer().soi().segment(0xC0, std::string("\x08\x00", 2)).bytes()),
              "jpeg : Marker segment shorter than its contents. ");
    // 257 codes, and 4 codes of which only 3 values are in the segment.
    std::vector<std::uint8_t> many(16, 0);
    many[14] = 2;
    many[15] = 255;
    EXPECT_EQ(refusal(Writer().soi().dht(0, 0, many, {}).bytes()),
              "jpeg : Huffman table with more than 256 codes. ");
    EXPECT_EQ(refusal(Writer().soi().dht(0, 0, countsWith(3, 4), {1, 2, 3}).bytes()),
              "jpeg : Huffman table runs past its segment. ");
    EXPECT_EQ(refusal(Writer().soi().segment(0xC4, std::string("\x00\x01", 2)).bytes()),
              "jpeg : Huffman table runs past its segment. ");
    EXPECT_EQ(refusal(Writer().soi().dht(0, 0, std::vector<std::uint8_t>(16, 0), {}).bytes()),
              "jpeg : Empty huffman table. ");
    EXPECT_EQ(refusal(Writer().soi().dht(2, 0, countsWith(1, 1), {0}).bytes()),
              "Value (2) out of bound (2). ");
    EXPECT_EQ(refusal(Writer().soi().dht(1, 4, countsWith(1, 1), {0}).bytes()),
              "Value (4) out of bound (4). ");
    EXPECT_EQ(refusal(Writer().soi().dqt(5, 1).bytes()), "Value (5) out of bound (4). ");
    // Three codes of length 1 cannot exist.
    EXPECT_EQ(refusal(Writer().soi().dht(0, 0, countsWith(1, 3), {0, 1, 2}).bytes()),
              "jpeg : Over-subscribed Huffman code lengths. ");
    EXPECT_EQ(refusal(Writer().soi().segment(0xDD, std::string("\x00\x01\x00", 3)).bytes()),
              "jpeg : Define restart interval segment larger than expected. ");
    EXPECT_EQ(
        refusal(greyStart().segment(0xDA, std::string("\x01\x01\x00\x00\x3F\x00\x00", 7)).bytes()),
        "jpeg : Scan header larger than expected. ");
    EXPECT_EQ(refusal(Writer().soi().marker(0x01).bytes()), "No support for JPEG marker 1. ");
    EXPECT_EQ(refusal(Writer().soi().marker(0xCC).bytes()), "No support for JPEG marker cc. ");
    EXPECT_EQ(refusal(Writer().soi().bytes()),
              "jpeg : Unexpected end of stream, no end of image segment detected. ");
    EXPECT_EQ(refusal("no marker at all"),
              "jpeg : Unexpected end of stream, no end of image segment detected. ");
}

TEST(JPEGRefusal, ScansThatDoNotFitTheFrameOrTheTables) {
    EXPECT_EQ(refusal(greyStart().sos({{2, 0x00}}).raw(emptyBlock).eoi().bytes()),
              "jpeg : Sequential DCT scan component does not match frame component. ");
    EXPECT_EQ(refusal(greyStart().sos({{1, 0x00}}, 1).raw(emptyBlock).eoi().bytes()),
              "No support for Sequential DCT JPEG with other than 0 start spectral selection. ");
    EXPECT_EQ(refusal(greyStart().sos({{1, 0x00}}, 0, 62).raw(emptyBlock).eoi().bytes()),
              "No support for Sequential DCT JPEG with other than 63 end spectral selection. ");
    EXPECT_EQ(refusal(greyStart().sos({{1, 0x00}}, 0, 63, 0x01).raw(emptyBlock).eoi().bytes()),
              "No support for Sequential DCT JPEG with other than 0 successive approximation. ");
    EXPECT_EQ(refusal(greyStart().sos({{1, 0x11}}).raw(emptyBlock).eoi().bytes()),
              "jpeg : Scan uses an undefined Huffman table. ");
    EXPECT_EQ(refusal(Writer()
                          .soi()
                          .sof(0xC0, 8, 8, {{1, 0x11, 0}})
                          .dht(0, 0, countsWith(1, 1), {0})
                          .dht(1, 0, countsWith(1, 1), {0})
                          .sos({{1, 0x00}})
                          .raw(emptyBlock)
                          .eoi()
                          .bytes()),
              "jpeg : Scan uses an undefined quantization table. ");
}

TEST(JPEGRefusal, ProgressiveScanChecks) {
    auto progressive = [] {
        Writer w;
        w.soi()
            .dqt(0, 1)
            .sof(0xC2, 16, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}})
            .dht(0, 0, countsWith(1, 1), {0})
            .dht(1, 0, countsWith(1, 1), {0});
        return w;
    };
    EXPECT_EQ(refusal(progressive().sos({{1, 0}, {2, 0}}, 1, 5).bytes()),
              "jpeg : Only one component may be specified per AC scan of progressive JPEG. ");
    EXPECT_EQ(refusal(progressive().sos({{1, 0}, {2, 0}, {3, 0}}, 0, 5).bytes()),
              "jpeg : DC component of progressive JPEG not alone. ");
    EXPECT_EQ(refusal(progressive().sos({{1, 0}, {2, 0}}, 0, 0).bytes()),
              "jpeg : All components must be specified for DC in single scan of progressive "
              "JPEG. ");
    EXPECT_EQ(refusal(progressive().sos({{7, 0}}, 1, 5).bytes()),
              "Could not find 7 in defined channels. ");
    EXPECT_EQ(refusal(progressive().sos({{1, 0}}, 5, 64).bytes()),
              "jpeg : Spectral selection outside of the block. ");
    EXPECT_EQ(refusal(progressive().sos({{1, 0}}, 9, 5).bytes()),
              "jpeg : Spectral selection outside of the block. ");
    EXPECT_EQ(refusal(progressive().sos({{1, 0x03}}, 1, 5).bytes()),
              "jpeg : Scan uses an undefined Huffman table. ");
    EXPECT_EQ(refusal(progressive().dri(4).sos({{1, 0}, {2, 0}, {3, 0}}, 0, 0).bytes()),
              "No support for restart interval in progressive JPEG. ");

    // Refinement scans: an AC correction of more than one bit, and a first AC scan whose
    // coefficient lands past the band's end.
    const std::string dcFirst = "\x3F"; // two blocks of three components: six '0' codes
    auto acScan = [&](std::uint8_t value, std::uint8_t approximation) {
        return progressive()
            .sos({{1, 0}, {2, 0}, {3, 0}}, 0, 0)
            .raw(dcFirst)
            .dht(1, 1, countsWith(1, 1), {value})
            .sos({{1, 0x01}}, 1, 5, approximation)
            .raw(std::string(4, '\0'))
            .eoi()
            .bytes();
    };
    EXPECT_EQ(refusal(acScan(0x02, 0x10)), "jpeg : More than 1 AC extend bits encountered. ");
    EXPECT_EQ(refusal(acScan(0x0B, 0x00)), "jpeg : More than 10 AC extend bits encountered. ");
    EXPECT_EQ(refusal(acScan(0x51, 0x00)), "jpeg : AC coefficient beyond end of spectral band. ");
}
