// JPEG decoding of files made by cjpeg/jpegtran against djpeg's float decode, and what the
// importer refuses, with its messages: files of real tools, damaged copies of good files and
// hand-made files in states that the format forbids.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <tuple>
#include <vector>

#include "codec_support.hpp"
#include "core/thread_pool.hpp"
#include "core/vector_width.hpp"
#include "migration/jpeg.hpp"

namespace ZELK::Migration {
namespace {

using namespace Testing;

std::string fixture(const std::string& name) {
    return PenvexTest::readFile(PenvexTest::dataPath("jpeg/" + name));
}

struct Decoded {
    IncrementalBuffer buffer;
    ImageMetadata meta;
};

Decoded decodeBytes(const std::string& bytes, std::uint64_t maxPixels = Limits::maxImagePixels) {
    ConstBufferStream stream(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                             static_cast<std::uint32_t>(bytes.size()));
    JPEGImporter importer(maxPixels);
    importer.attach(stream);
    Decoded image;
    importer.importData(image.buffer, image.meta);
    return image;
}

std::string refusal(const std::string& bytes, std::uint64_t maxPixels = Limits::maxImagePixels) {
    return messageOf([&] { decodeBytes(bytes, maxPixels); });
}

// Largest and mean absolute sample difference between our decode and an 8-bit binary PGM or
// PPM file of the same size, as djpeg writes it.
std::pair<int, double> differenceFromPNM(const Decoded& image, const std::string& path) {
    const Bytes ours = topDown(image.buffer, image.meta.height);
    const std::string header = std::string(image.meta.channels == 1 ? "P5\n" : "P6\n") +
                               std::to_string(image.meta.width) + " " +
                               std::to_string(image.meta.height) + "\n255\n";
    const std::string file = PenvexTest::readFile(path);
    EXPECT_EQ(file.substr(0, header.size()), header);
    if (file.size() != header.size() + ours.size())
        return {256, 256};
    int largest = 0;
    double sum = 0;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        const int delta = std::abs(int(ours[i]) - int(std::uint8_t(file[header.size() + i])));
        largest = std::max(largest, delta);
        sum += delta;
    }
    return {largest, ours.empty() ? 0 : sum / double(ours.size())};
}

TEST(JPEGDecode, FilesStayWithinTheMeasuredDistanceFromDjpeg) {
    // Grey differs from djpeg's float decode by the inverse DCT's rounding only; full-chroma
    // colour adds our truncating YCbCr conversion. Subsampled chroma is resampled with corners
    // on corners where djpeg centres it, so strong chroma edges differ by design: those bounds
    // are the figures measured when the fixtures were made (tests/data/README.md).
    const std::tuple<const char*, int, double> cases[] = {
        {"rose_grey", 1, 0.01}, {"photo_progressive_grey", 1, 0.01},
        {"rose_444", 2, 0.6},   {"rose_420", 23, 1.97},
        {"size_1x1", 0, 0.0},   {"size_7x13", 35, 7.94}};
    for (const auto& [name, max, mean] : cases) {
        SCOPED_TRACE(name);
        const Decoded image = decodeBytes(fixture(std::string(name) + ".jpg"));
        EXPECT_EQ(image.meta.type.text(), "8-bit unsigned little endian");
        EXPECT_EQ(image.meta.format, image.meta.channels == 1 ? ImageMetadata::Format::INTENSITY
                                                              : ImageMetadata::Format::RGBA);
        const auto [largest, average] = differenceFromPNM(
            image, PenvexTest::dataPath(std::string("jpeg/") + name +
                                        (image.meta.channels == 1 ? ".pgm" : ".ppm")));
        EXPECT_LE(largest, max);
        EXPECT_LE(average, mean);
    }
}

TEST(JPEGDecode, FilesWithTheSameCoefficientsDecodeToTheSamePixels) {
    // Restart markers, optimized tables, progressive scans and a scan script change only the
    // entropy coding: each file must give exactly the pixels of its plain baseline counterpart.
    const std::pair<const char*, const char*> twins[] = {
        {"restart_row", "rose_420"},
        {"restart_3blocks", "rose_420"},
        {"optimized", "rose_420"},
        {"rose_progressive_444", "rose_444"},
        {"photo_420_twin", "photo_420"},
        {"photo_scans", "photo_420"},
        {"size_33x65_progressive", "size_33x65_420"}};
    for (const auto& [twin, plain] : twins) {
        SCOPED_TRACE(twin);
        const Decoded a = decodeBytes(fixture(std::string(twin) + ".jpg"));
        const Decoded b = decodeBytes(fixture(std::string(plain) + ".jpg"));
        ASSERT_EQ(a.buffer.size(), b.buffer.size());
        EXPECT_EQ(std::memcmp(a.buffer.data(), b.buffer.data(), a.buffer.size()), 0);
    }
}

TEST(JPEGDecode, SamplePhotographsMatchDjpeg) {
    // The project's sample photographs (up to 12 megapixels, 4:2:0) against djpeg run now.
    const char* configured = std::getenv("PENVEX_SAMPLES");
    const std::filesystem::path samples = configured ? configured : "/work/shared/samples";
    if (!std::filesystem::exists(samples / "large-sheet-on-desk.jpg"))
        GTEST_SKIP() << "sample photographs not found in " << samples;
    PenvexTest::ScratchDir dir;
    for (const char* name : {"whiteboard.jpg", "sheet-on-desk.jpg", "large-sheet-on-desk.jpg"}) {
        const std::filesystem::path reference = dir / "reference.ppm";
        const std::string command = "djpeg -dct float -pnm -outfile '" + reference.string() +
                                    "' '" + (samples / name).string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        Decoded image;
        importImage(image.buffer, image.meta, (samples / name).string());
        const auto [largest, mean] = differenceFromPNM(image, reference.string());
        // Measured: max 15 / 4 / 10, mean 0.55 / 0.67 / 0.47; our colour conversion truncates
        // where djpeg rounds, which alone accounts for a mean near 0.5.
        EXPECT_LE(largest, 16) << name;
        EXPECT_LT(mean, 0.75) << name;
    }
}

TEST(JPEGDecode, EveryVectorWidthAndThreadCountDecodesTheSameBytes) {
    // Every committed JPEG, and a 640 x 473 picture (not a whole number of MCU rows) through
    // cjpeg, large enough for several transform batches and output bands: the widest vectors
    // on two threads against narrower ones on one and on three. The baseline pictures, written
    // band by band behind the decoder, must also equal their lossless progressive copies,
    // written only once every block is transformed.
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(PenvexTest::dataPath("jpeg")))
        if (entry.path().extension() == ".jpg")
            files.push_back(PenvexTest::readFile(entry.path()));
    PenvexTest::ScratchDir dir;
    std::string ppm = "P6\n640 473\n255\n";
    for (unsigned i = 0; i < 640 * 473 * 3; ++i)
        ppm += static_cast<char>((i / 3 % 640) * (i % 3 + 1) / 5 + (i / 1920) % 97 + i % 7);
    PenvexTest::writeFile(dir / "in.ppm", ppm);
    for (const char* options : {"", "-progressive", "-restart 3B", "-restart 1 -sample 1x2,2x1,1x1",
                                "-restart 1 -sample 1x4,1x1,1x1", "-grayscale -restart 2B"}) {
        const std::string out = (dir / "out.jpg").string(), copy = (dir / "copy.jpg").string();
        const std::string command = "cjpeg -quality 90 " + std::string(options) + " -outfile '" +
                                    out + "' '" + (dir / "in.ppm").string() +
                                    "' && jpegtran -progressive -outfile '" + copy + "' '" + out +
                                    "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        files.push_back(PenvexTest::readFile(out));
        EXPECT_EQ(bytesOf(decodeBytes(files.back()).buffer),
                  bytesOf(decodeBytes(PenvexTest::readFile(copy)).buffer))
            << options;
    }
    ASSERT_GT(files.size(), 20u);
    for (const std::string& bytes : files) {
        setThreadCount(2);
        const Decoded reference = decodeBytes(bytes);
        for (auto [threads, width] :
             {std::pair{1u, VectorWidth::Bits128}, std::pair{3u, VectorWidth::Bits256}}) {
            setThreadCount(threads);
            limitVectors(width);
            const Decoded image = decodeBytes(bytes);
            EXPECT_EQ(image.meta.channels, reference.meta.channels);
            EXPECT_EQ(bytesOf(image.buffer), bytesOf(reference.buffer));
        }
        limitVectors(VectorWidth::Bits512);
    }
    setThreadCount(0);
}

// A copy of the file with the byte at the given offset from the first marker of the code
// replaced.
std::string patched(std::string file, std::uint8_t code, std::size_t offset, char value) {
    const std::size_t at = file.find(std::string{'\xFF', static_cast<char>(code)});
    EXPECT_NE(at, std::string::npos);
    file[at + offset] = value;
    return file;
}

// Writes JPEG marker segments into a file image.
class JPEGWriter {
public:
    JPEGWriter& soi() { return marker(0xD8); }
    JPEGWriter& eoi() { return marker(0xD9); }
    JPEGWriter& marker(std::uint8_t code) { return raw({'\xFF', static_cast<char>(code)}); }
    // A marker segment with the length field counting itself.
    JPEGWriter& segment(std::uint8_t code, const std::string& payload) {
        marker(code);
        return raw(be16(payload.size() + 2) + payload);
    }
    // An 8-bit quantisation table with every entry equal to value.
    JPEGWriter& dqt(unsigned index, std::uint8_t value) {
        return segment(0xDB, char(index) + std::string(64, static_cast<char>(value)));
    }
    // A frame of components given as id, sampling factors and quantisation table.
    JPEGWriter& sof(std::uint8_t code, std::uint16_t width, std::uint16_t height,
                    std::initializer_list<std::array<std::uint8_t, 3>> components) {
        std::string p = '\x08' + be16(height) + be16(width) + char(components.size());
        for (const auto& c : components)
            p += {char(c[0]), char(c[1]), char(c[2])};
        return segment(code, p);
    }
    // A table with `count` codes of the given length (1..16) and these values.
    JPEGWriter& dht(unsigned tableClass, unsigned index, unsigned length, unsigned count,
                    const std::string& values) {
        std::string counts(16, '\0');
        counts[length - 1] = static_cast<char>(count);
        return segment(0xC4, char(tableClass << 4 | index) + counts + values);
    }
    // A scan of components given as id and table selectors (DC in the high nibble, AC low).
    JPEGWriter& sos(std::initializer_list<std::pair<std::uint8_t, std::uint8_t>> components,
                    std::uint8_t ss = 0, std::uint8_t se = 63, std::uint8_t approximation = 0) {
        std::string p(1, char(components.size()));
        for (auto [id, selectors] : components)
            p += {char(id), char(selectors)};
        return segment(0xDA, p + char(ss) + char(se) + char(approximation));
    }
    JPEGWriter& raw(const std::string& bytes) {
        bytes_ += bytes;
        return *this;
    }
    const std::string& bytes() const { return bytes_; }

private:
    static std::string be16(std::size_t v) { return {char(v >> 8), char(v & 0xFF)}; }
    std::string bytes_;
};

JPEGWriter start() {
    return JPEGWriter().soi();
}
// A grey 8 x 8 frame and one-code DC and AC tables (the AC value given), after SOI and (unless
// told otherwise) a quantisation table: what most hand-made files start with.
JPEGWriter greyStart(std::uint8_t ac = 0, bool quantization = true) {
    return (quantization ? start().dqt(0, 1) : start())
        .sof(0xC0, 8, 8, {{1, 0x11, 0}})
        .dht(0, 0, 1, 1, {'\0'})
        .dht(1, 0, 1, 1, std::string(1, char(ac)));
}
// A grey frame whose DC table has one 2-bit code "00" of the given size (the extra code "01"
// stands for size 0) and whose AC table has one 1-bit code, end of block.
JPEGWriter greyBlock(std::uint8_t dcSize) {
    JPEGWriter w = start().dqt(0, 1).sof(0xC0, 8, 8, {{1, 0x11, 0}});
    return w.dht(0, 0, 2, 1, std::string(1, char(dcSize))).dht(1, 0, 1, 1, {'\0'});
}
// "00": DC size 0 and end of block, padded with ones.
const std::string emptyBlock = "\x3F";

std::string scan(JPEGWriter w, const std::string& entropy) {
    return w.sos({{1, 0x00}}).raw(entropy).eoi().bytes();
}

// A 16 x 8 progressive colour frame with one-code tables.
JPEGWriter progressive() {
    JPEGWriter w = start().dqt(0, 1).sof(0xC2, 16, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
    return w.dht(0, 0, 1, 1, {'\0'}).dht(1, 0, 1, 1, {'\0'});
}

TEST(JPEGRefusal, EveryRefusalHasItsMessage) {
    const std::string rose = fixture("rose_420.jpg");
    std::string stuffing = rose;
    std::size_t at = stuffing.find("\xFF\xDA") + 40;
    while (stuffing[at - 1] == '\xFF' || stuffing[at] == '\xFF')
        ++at;
    stuffing.replace(at, 2, "\xFF\x12");
    const std::string grey = fixture("rose_grey.jpg");

    const std::pair<std::string, std::string> cases[] = {
        // Files of real tools.
        {fixture("refused/cmyk.jpg"), "No support for JPEG with channels other than 1 or 3. "},
        {fixture("refused/arithmetic.jpg"), "No support for JPEG marker c9. "},
        {fixture("refused/progressive_restart.jpg"),
         "No support for restart interval in progressive JPEG. "},
        {fixture("refused/separate_scans.jpg"),
         "jpeg : Sequential DCT scan does not have same number of components as frame. "},
        {fixture("refused/quality_5_extended.jpg"),
         "No support for JPEG with other than 8-bit quantization table precision. "},
        // Damaged copies of good files.
        {patched(rose, 0xC0, 4, 12),
         "No support for JPEG with other than 8-bit sample precision. "},
        {patched(fixture("restart_3blocks.jpg"), 0xD2, 1, '\xD3'),
         "jpeg : Expected reset count 2, got 3"},
        {patched(fixture("restart_3blocks.jpg"), 0xD0, 1, '\xD9'),
         "jpeg : Expected reset marker, got 0xd9"},
        {stuffing, "jpeg : Expected stuff byte (0x00), got 0x12"},
        {rose.substr(0, rose.size() - 2),
         "jpeg : Unexpected end of stream, no end of image segment detected. "},
        {grey.substr(0, grey.find("\xFF\xDA") + 40), "Attempted to read over end of buffer. "},
        // Entropy-coded data beyond what the tables and 8-bit samples allow.
        {scan(greyStart(), emptyBlock + "x"), "jpeg : Expected start of marker segment. "},
        {scan(greyBlock(0), "\xBF"), "jpeg : Huffman code without assigned symbol encountered. "},
        {scan(greyBlock(12), std::string(3, '\0')),
         "jpeg : More than 11 DC extend bits encountered. "},
        {scan(greyStart(0x0B), std::string(4, '\0')),
         "jpeg : More than 10 AC extend bits encountered. "},
        {scan(greyStart(0x10), std::string(4, '\0')),
         "jpeg : Encountered larger than EOB0 in sequential mode. "},
        {scan(greyStart(0xF1), std::string(4, '\0')),
         "jpeg : AC coefficient beyond end of spectral band. "},
        // Frames.
        {start().eoi().bytes(), "jpeg : End of image before frame header. "},
        {start().dqt(0, 1).sos({{1, 0}}).raw(emptyBlock).eoi().bytes(),
         "jpeg : Scan before frame header. "},
        {start().sof(0xC0, 8, 8, {{1, 0x51, 0}}).eoi().bytes(),
         "jpeg : Sampling factor outside 1 to 4. "},
        {start().sof(0xC0, 0, 8, {{1, 0x11, 0}}).eoi().bytes(),
         "jpeg : Frame with zero width or height. "},
        {start().sof(0xC2, 65535, 65535, {{1, 0x11, 0}}).eoi().bytes(),
         "No support for JPEG frames above 268435456 pixels. "},
        {start().segment(0xC0, std::string("\x08\0\x08\0\x08\x01\x01\x11\0\0", 10)).bytes(),
         "jpeg : Frame header larger than expected. "},
        {start().sof(0xC1, 8, 8, {{1, 0x11, 0}}).bytes(), "No support for JPEG marker c1. "},
        // Segments.
        {start().raw(std::string("\xFF\xDB\x00\x01", 4)).bytes(),
         "jpeg : Marker segment length below 2. "},
        {start().segment(0xC0, std::string("\x08\x00", 2)).bytes(),
         "jpeg : Marker segment shorter than its contents. "},
        {start().segment(0xC4, std::string(15, '\0') + "\x02\xFF").bytes(),
         "jpeg : Huffman table with more than 256 codes. "},
        {start().dht(0, 0, 3, 4, "\x01\x02\x03").bytes(),
         "jpeg : Huffman table runs past its segment. "},
        {start().segment(0xC4, std::string(17, '\0')).bytes(), "jpeg : Empty huffman table. "},
        {start().dht(2, 0, 1, 1, {'\0'}).bytes(), "Value (2) out of bound (2). "},
        {start().dht(1, 4, 1, 1, {'\0'}).bytes(), "Value (4) out of bound (4). "},
        {start().dqt(5, 1).bytes(), "Value (5) out of bound (4). "},
        {start().dht(0, 0, 1, 3, std::string("\0\1\2", 3)).bytes(),
         "jpeg : Over-subscribed Huffman code lengths. "},
        {start().segment(0xDD, std::string("\x00\x01\x00", 3)).bytes(),
         "jpeg : Define restart interval segment larger than expected. "},
        {greyStart().segment(0xDA, std::string("\x01\x01\x00\x00\x3F\x00\x00", 7)).bytes(),
         "jpeg : Scan header larger than expected. "},
        {start().marker(0x01).bytes(), "No support for JPEG marker 1. "},
        // Scans that do not fit the frame or the tables.
        {greyStart().sos({{2, 0x00}}).raw(emptyBlock).eoi().bytes(),
         "jpeg : Sequential DCT scan component does not match frame component. "},
        {greyStart().sos({{1, 0x00}}, 1).raw(emptyBlock).eoi().bytes(),
         "No support for Sequential DCT JPEG with other than 0 start spectral selection. "},
        {greyStart().sos({{1, 0x00}}, 0, 62).raw(emptyBlock).eoi().bytes(),
         "No support for Sequential DCT JPEG with other than 63 end spectral selection. "},
        {greyStart().sos({{1, 0x00}}, 0, 63, 0x01).raw(emptyBlock).eoi().bytes(),
         "No support for Sequential DCT JPEG with other than 0 successive approximation. "},
        {greyStart().sos({{1, 0x11}}).raw(emptyBlock).eoi().bytes(),
         "jpeg : Scan uses an undefined Huffman table. "},
        {scan(greyStart(0, false), emptyBlock),
         "jpeg : Scan uses an undefined quantization table. "},
        // Progressive scans.
        {progressive().sos({{1, 0}, {2, 0}}, 1, 5).bytes(),
         "jpeg : Only one component may be specified per AC scan of progressive JPEG. "},
        {progressive().sos({{1, 0}, {2, 0}, {3, 0}}, 0, 5).bytes(),
         "jpeg : DC component of progressive JPEG not alone. "},
        {progressive().sos({{1, 0}, {2, 0}}, 0, 0).bytes(),
         "jpeg : All components must be specified for DC in single scan of progressive JPEG. "},
        {progressive().sos({{7, 0}}, 1, 5).bytes(), "Could not find 7 in defined channels. "},
        {progressive().sos({{1, 0}}, 9, 5).bytes(),
         "jpeg : Spectral selection outside of the block. "},
        // A DC scan (two blocks of three components: six '0' codes), then a refining AC scan
        // whose AC table has the one value 0x02.
        {progressive()
             .sos({{1, 0}, {2, 0}, {3, 0}}, 0, 0)
             .raw("\x3F")
             .dht(1, 1, 1, 1, "\x02")
             .sos({{1, 0x01}}, 1, 5, 0x10)
             .raw(std::string(4, '\0'))
             .bytes(),
         "jpeg : More than 1 AC extend bits encountered. "}};
    for (const auto& [bytes, message] : cases)
        EXPECT_EQ(refusal(bytes), message);

    // The pixel limit is the importer's: a file within the default one is refused by a
    // smaller one.
    EXPECT_EQ(refusal(rose, 1000), "No support for JPEG frames above 1000 pixels. ");
    // A DC table of one code "00" and the extra code "01" (both size 0) decodes normally.
    for (const char* entropy : {"\x1F", "\x5F"})
        EXPECT_EQ(refusal(scan(greyBlock(0), entropy)), "");
}

} // namespace
} // namespace ZELK::Migration
