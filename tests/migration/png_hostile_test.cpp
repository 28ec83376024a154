// Hostile PNG files: headers that claim huge images, data that expands a thousandfold, chunk
// lengths beyond the file. Each must fail with its message without a large allocation; the
// largest single array allocation is recorded by replacing the global array new.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "migration/image.hpp"
#include "migration/inflate_reference.hpp"
#include "migration/png.hpp"
#include "migration/png_support.hpp"

namespace {
std::atomic<std::size_t> largestArray{0};
} // namespace

// Byte buffers are arrays of bytes; these are the allocations a hostile size could inflate.
void* operator new[](std::size_t size) {
    std::size_t seen = largestArray.load();
    while (size > seen && !largestArray.compare_exchange_weak(seen, size)) {
    }
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace ZELK::Migration {
namespace {

using namespace Testing;

std::vector<std::uint8_t> ihdr(std::uint32_t width, std::uint32_t height, std::uint8_t depth,
                               std::uint8_t colorType) {
    std::vector<std::uint8_t> data;
    putBe32(data, width);
    putBe32(data, height);
    data.insert(data.end(), {depth, colorType, 0, 0, 0});
    return data;
}

// Imports the file from memory and returns the message and the largest array allocated.
std::pair<std::string, std::size_t> importMeasured(const std::vector<std::uint8_t>& file) {
    largestArray = 0;
    const std::string message = importError(file);
    return {message, largestArray.load()};
}

TEST(PNGHostile, HugeHeadersWithLittleData) {
    const std::vector<Chunk> grey = parseChunks(readBytes(pngFixture("grey8.png")));
    struct Claim {
        std::uint32_t width, height;
        std::uint8_t depth, colorType;
    };
    // 29 GB of RGBA, a product that wraps to 0 in 32 bits, the largest header possible, and
    // a palette image of 4 G indices.
    for (const Claim& c : {Claim{60000, 60000, 16, 6}, Claim{65536, 65536, 8, 0},
                           Claim{0xFFFFFFFF, 0xFFFFFFFF, 16, 6}, Claim{65536, 65536, 8, 3}}) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        std::vector<Chunk> chunks = grey;
        chunks[0].data = ihdr(c.width, c.height, c.depth, c.colorType);
        if (c.colorType == 3)
            chunks.insert(chunks.begin() + 1, Chunk{"PLTE", {1, 2, 3}});
        const auto [message, largest] = importMeasured(assemble(chunks));
        EXPECT_EQ(message, c.colorType == 3 ? "png : palette image data size missmatch"
                                            : "png : image data size missmatch");
        // The inflater's output may be reserved at what the data could expand to.
        EXPECT_LT(largest, 1032u * chunks[chunks.size() - 2].data.size() + 4096);
    }
}

TEST(PNGHostile, ExpandingDataStopsAtTheImageSize) {
    // 258-byte matches in two bits each: 2 KB of data that would expand to 4 MB.
    Testing::BitWriter w;
    w.bits(1, 1);
    w.bits(2, 2);
    // Code lengths: literal 0 and end of block 2 bits, length 258 one bit; one distance code.
    std::vector<std::uint32_t> cl(19, 0);
    cl[0] = cl[1] = cl[2] = cl[18] = 2;
    static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    w.bits(286 - 257, 5);
    w.bits(0, 5);
    w.bits(15, 4);
    for (int i = 0; i < 19; ++i)
        w.bits(cl[order[i]], 3);
    HuffmanTree codeLengths;
    codeLengths.build(cl, "deflate");
    auto length = [&](std::uint32_t l) { w.code(codeLengths.codes()[l], 2); };
    auto zeros = [&](std::uint32_t n) {
        w.code(codeLengths.codes()[18], 2);
        w.bits(n - 11, 7);
    };
    length(2);
    zeros(138);
    zeros(117);
    length(2);
    zeros(28);
    length(1);
    length(1); // the distance list
    std::vector<std::uint32_t> literalLengths(286, 0);
    literalLengths[0] = literalLengths[256] = 2;
    literalLengths[285] = 1;
    HuffmanTree literals;
    literals.build(literalLengths, "deflate");
    auto symbol = [&](std::uint32_t s) { w.code(literals.codes()[s], literals.lengths()[s]); };
    symbol(0); // the row's filter type, None
    for (int i = 0; i < 8000; ++i) {
        symbol(285);  // length 258
        w.code(0, 1); // distance 1
    }
    symbol(256);
    std::vector<std::uint8_t> idat = {0x78, 0x01};
    const std::vector<std::uint8_t> stream = w.finish();
    idat.insert(idat.end(), stream.begin(), stream.end());
    idat.insert(idat.end(), {0, 0, 0, 0});

    // First, that the stream is what it claims: a 2 KB image of 2064001 bytes loads.
    const std::uint32_t rows = 1, columns = 1 + 258 * 8000 - 1;
    std::vector<Chunk> exact = {{"IHDR", ihdr(columns, rows, 8, 0)}, {"IDAT", idat}, {"IEND", {}}};
    IncrementalBuffer data;
    ImageMetadata meta;
    ASSERT_EQ(importPNG(assemble(exact), data, meta), "");
    EXPECT_EQ(data.size(), columns);

    // A header that claims 900 MB: the output buffer is bounded by what the data can expand
    // to, not by the header.
    std::vector<Chunk> claimBig = exact;
    claimBig[0].data = ihdr(30000, 30000, 8, 0);
    auto [message, largest] = importMeasured(assemble(claimBig));
    EXPECT_EQ(message, "png : image data size missmatch");
    EXPECT_LT(largest, 1032u * idat.size() + 65536);

    // A header that claims a small image: inflating stops once the output passes its size.
    std::vector<Chunk> claimSmall = exact;
    claimSmall[0].data = ihdr(100, 100, 8, 0);
    std::tie(message, largest) = importMeasured(assemble(claimSmall));
    EXPECT_EQ(message, "png : image data size missmatch");
    EXPECT_LT(largest, 20000u);
}

TEST(PNGHostile, ChunkLengthBeyondTheFile) {
    std::vector<std::uint8_t> file = readBytes(pngFixture("grey8.png"));
    file[33] = 0x7F; // IDAT claims 2 GB
    auto [message, largest] = importMeasured(file);
    EXPECT_EQ(message, "Attempted to read over end of buffer. ");
    EXPECT_LT(largest, 1u << 16);

    // A stream that cannot tell its length: the chunk is read in pieces as they arrive.
    largestArray = 0;
    Testing::SequentialStream sequential(file);
    PNGImporter importer;
    importer.attach(sequential);
    IncrementalBuffer data;
    ImageMetadata meta;
    EXPECT_THROW(importer.importData(data, meta), ZELK::StreamException);
    EXPECT_LE(largestArray.load(), 4u << 20);
}

} // namespace
} // namespace ZELK::Migration
