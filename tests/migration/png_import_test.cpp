// PNG import: files from Pillow and ImageMagick against ImageMagick's decode of them, the
// refusals with their exact messages, and the chunk and header rules on edited real files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "migration/image.hpp"
#include "migration/png.hpp"
#include "migration/png_support.hpp"

namespace ZELK::Migration {
namespace {

using namespace Testing;

struct Expected {
    const char* name;
    std::uint32_t channels;
    std::uint32_t bits;
    ImageMetadata::Format format;
};

TEST(PNGImport, DecodesFilesOfRealEncodersLikeAReferenceDecoder) {
    using F = ImageMetadata::Format;
    const Expected cases[] = {
        {"grey8", 1, 8, F::INTENSITY},
        {"grey16", 1, 16, F::INTENSITY},
        {"greyalpha8", 2, 8, F::INTENSITY},
        {"greyalpha16", 2, 16, F::INTENSITY},
        {"rgb8", 3, 8, F::RGBA},
        {"rgb16", 3, 16, F::RGBA},
        {"rgba8", 4, 8, F::RGBA},
        {"rgba16", 4, 16, F::RGBA},
        {"palette8", 3, 8, F::RGBA},
        {"palette8-im", 3, 8, F::RGBA},
        {"filters", 3, 8, F::RGBA},
        {"ancillary", 3, 8, F::RGBA},
    };
    for (const Expected& c : cases) {
        SCOPED_TRACE(c.name);
        IncrementalBuffer data;
        ImageMetadata meta;
        meta.pixelAlignment = 32; // whatever the caller held is replaced
        importImage(data, meta, pngFixture(std::string(c.name) + ".png"));
        EXPECT_EQ(meta.width, 45u);
        EXPECT_EQ(meta.height, 31u);
        EXPECT_EQ(meta.channels, c.channels);
        EXPECT_EQ(meta.type.text(), std::to_string(c.bits) + "-bit unsigned little endian");
        EXPECT_EQ(meta.format, c.format);
        EXPECT_EQ(meta.pixelAlignment, 0u);
        EXPECT_EQ(meta.lineAlignment, 0u);
        ASSERT_EQ(data.size(), 45u * 31u * c.channels * c.bits / 8);
        EXPECT_EQ(topDown(data, 31), readBytes(pngFixture(std::string(c.name) + ".raw")));
    }
}

TEST(PNGImport, FoundByContentUnderAnotherName) {
    const std::string path = ::testing::TempDir() + "png_by_content.dat";
    writeBytes(path, readBytes(pngFixture("rgb16.png")));
    IncrementalBuffer data;
    ImageMetadata meta;
    importImage(data, meta, path);
    EXPECT_EQ(topDown(data, 31), readBytes(pngFixture("rgb16.raw")));
}

TEST(PNGImport, RefusesWithExactMessages) {
    const std::pair<const char*, const char*> cases[] = {
        {"interlaced.png", "No support for PNG interlace method 1. "},
        {"grey1.png", "png : image data size missmatch"},
        {"palette4.png", "png : palette image data size missmatch"},
        {"badcrc.png", "png : chunk crc missmatch"},
        {"truncated.png", "Failed to read from input stream. "},
        {"signature-only.png", "png : unexpected end of file"},
        {"critical.png", "png : unsuppored critical chunk"},
        {"badzlib.png", "png : invalid zlib header"},
        {"nlen.png",
         "deflate : Missmatching length and length complement in no compression block. "},
        {"backref.png", "deflate : Back reference refer beyond beginning of buffer. "},
    };
    for (auto [file, message] : cases) {
        SCOPED_TRACE(file);
        IncrementalBuffer data;
        ImageMetadata meta;
        try {
            importImage(data, meta, pngFixture(file));
            ADD_FAILURE() << "imported";
        } catch (const Exception& e) {
            EXPECT_EQ(e.message(), message);
        }
    }
    // From memory the truncated file ends with the buffer stream's own error.
    EXPECT_EQ(importError(readBytes(pngFixture("truncated.png"))),
              "Attempted to read over end of buffer. ");
    std::vector<std::uint8_t> notPNG = readBytes(pngFixture("grey8.png"));
    notPNG[1] = 'Q';
    EXPECT_EQ(importError(notPNG), "png : signature missmatch");
}

// Replaces the first chunk of the type with the given data.
std::vector<Chunk> withChunk(std::vector<Chunk> chunks, const std::string& type,
                             std::vector<std::uint8_t> data) {
    for (Chunk& c : chunks)
        if (c.type == type) {
            c.data = std::move(data);
            break;
        }
    return chunks;
}

std::vector<std::uint8_t> ihdrWith(const std::vector<Chunk>& chunks, std::size_t offset,
                                   std::uint8_t value) {
    std::vector<std::uint8_t> ihdr = chunks.front().data;
    ihdr[offset] = value;
    return ihdr;
}

TEST(PNGImport, HeaderRules) {
    const std::vector<Chunk> grey = parseChunks(readBytes(pngFixture("grey8.png")));
    auto error = [&](std::size_t offset, std::uint8_t value) {
        return importError(assemble(withChunk(grey, "IHDR", ihdrWith(grey, offset, value))));
    };
    EXPECT_EQ(error(10, 1), "No support for PNG compression method 1. ");
    EXPECT_EQ(error(11, 2), "No support for PNG filter method 2. ");
    EXPECT_EQ(error(12, 1), "No support for PNG interlace method 1. ");
    EXPECT_EQ(error(9, 5), "No support for PNG color type 5. ");
    EXPECT_EQ(error(8, 3), "png : invalid bit depth");
    EXPECT_EQ(error(8, 200), "png : invalid bit depth");
    // An 8-bit grey file that claims RGB: the data no longer fits the header.
    EXPECT_EQ(error(9, 2), "png : image data size missmatch");

    std::vector<std::uint8_t> shortHeader = grey.front().data;
    shortHeader.resize(12);
    EXPECT_EQ(importError(assemble(withChunk(grey, "IHDR", shortHeader))),
              "Attempted to read over end of buffer. ");
}

TEST(PNGImport, ZlibHeaderRules) {
    const std::vector<Chunk> grey = parseChunks(readBytes(pngFixture("grey8.png")));
    auto error = [&](std::uint8_t cmf, std::uint8_t flg) {
        std::vector<std::uint8_t> idat;
        for (const Chunk& c : grey)
            if (c.type == "IDAT")
                idat.insert(idat.end(), c.data.begin(), c.data.end());
        idat[0] = cmf;
        // FLG's low five bits make (CMF * 256 + FLG) a multiple of 31.
        flg &= 0xE0;
        flg = static_cast<std::uint8_t>(flg + (31 - (cmf * 256u + flg) % 31) % 31);
        idat[1] = flg;
        return importError(assemble(withChunk(grey, "IDAT", idat)));
    };
    EXPECT_EQ(error(0x78, 0x9C), "");
    EXPECT_EQ(error(0x79, 0x9C), "png : unexpected zlib header compression method");
    EXPECT_EQ(error(0x88, 0x9C), "png : unexpected zlib header compression info");
    EXPECT_EQ(error(0x78, 0x20), "png : zlib header indicates preset dictionary");
    std::vector<Chunk> tooShort = withChunk(grey, "IDAT", {0x78});
    EXPECT_EQ(importError(assemble(tooShort)), "Attempted to read over end of buffer. ");
}

TEST(PNGImport, PaletteAndEndRules) {
    const std::vector<Chunk> indexed = parseChunks(readBytes(pngFixture("palette8.png")));
    const std::vector<std::uint8_t> plte = indexed[1].data;
    ASSERT_EQ(indexed[1].type, "PLTE");
    auto without = [](std::vector<Chunk> chunks, const std::string& type) {
        std::erase_if(chunks, [&](const Chunk& c) { return c.type == type; });
        return chunks;
    };
    std::vector<Chunk> twice = indexed;
    twice.insert(twice.begin() + 1, indexed[1]);
    EXPECT_EQ(importError(assemble(twice)), "png : palette chunk has already appeared");
    std::vector<std::uint8_t> ragged = plte;
    ragged.pop_back();
    EXPECT_EQ(importError(assemble(withChunk(indexed, "PLTE", ragged))),
              "png : palette size not a multiple of 3");
    std::vector<std::uint8_t> huge(3 * 257, 0);
    EXPECT_EQ(importError(assemble(withChunk(indexed, "PLTE", huge))),
              "png : palette size larger than bit depth support");
    EXPECT_EQ(importError(assemble(withChunk(indexed, "PLTE", {}))), "png : empty palette");
    EXPECT_EQ(importError(assemble(without(indexed, "PLTE"))),
              "png : missing palette indicated by header");
    EXPECT_EQ(importError(assemble(withChunk(indexed, "IEND", {0}))),
              "png : end chunk is not empty");

    // A 4-bit palette allows 16 entries.
    const std::vector<Chunk> small = parseChunks(readBytes(pngFixture("palette4.png")));
    EXPECT_EQ(importError(assemble(withChunk(small, "PLTE", std::vector<std::uint8_t>(51, 9)))),
              "png : palette size larger than bit depth support");

    // A palette for a grey image is checked, then ignored.
    const std::vector<Chunk> grey = parseChunks(readBytes(pngFixture("grey8.png")));
    std::vector<Chunk> greyWithPalette = grey;
    greyWithPalette.insert(greyWithPalette.begin() + 1, indexed[1]);
    IncrementalBuffer data;
    ImageMetadata meta;
    EXPECT_EQ(importPNG(assemble(greyWithPalette), data, meta), "");
    EXPECT_EQ(meta.channels, 1u);
    EXPECT_EQ(topDown(data, 31), readBytes(pngFixture("grey8.raw")));
}

TEST(PNGImport, IndicesBeyondThePaletteGiveBlack) {
    // Keep only the first 40 palette entries: pixels with higher indices turn black, the
    // others keep their colour.
    const std::vector<Chunk> indexed = parseChunks(readBytes(pngFixture("palette8.png")));
    std::vector<std::uint8_t> plte = indexed[1].data;
    const std::uint32_t kept = 40;
    plte.resize(3 * kept);
    IncrementalBuffer data;
    ImageMetadata meta;
    ASSERT_EQ(importPNG(assemble(withChunk(indexed, "PLTE", plte)), data, meta), "");
    const std::vector<std::uint8_t> full = readBytes(pngFixture("palette8.raw"));
    const std::vector<std::uint8_t> got = topDown(data, 31);
    ASSERT_EQ(got.size(), full.size());
    std::uint32_t black = 0, kept_colours = 0;
    for (std::size_t p = 0; p < full.size(); p += 3) {
        // The reference colour tells whether the pixel's index is among the first entries.
        bool inKept = false;
        for (std::uint32_t i = 0; i < kept && !inKept; ++i)
            inKept = std::equal(plte.begin() + 3 * i, plte.begin() + 3 * i + 3, full.begin() + p);
        if (inKept) {
            EXPECT_TRUE(std::equal(got.begin() + p, got.begin() + p + 3, full.begin() + p));
            ++kept_colours;
        } else {
            EXPECT_EQ(got[p] | got[p + 1] | got[p + 2], 0) << "pixel " << p / 3;
            ++black;
        }
    }
    EXPECT_GT(black, 100u);
    EXPECT_GT(kept_colours, 100u);
}

TEST(PNGImport, ChunkHandling) {
    const std::vector<std::uint8_t> file = readBytes(pngFixture("grey8.png"));
    const std::vector<Chunk> grey = parseChunks(file);

    // An ancillary chunk of an unknown type is skipped wherever it stands.
    std::vector<Chunk> extra = grey;
    extra.insert(extra.begin() + 1, Chunk{"zzZz", {1, 2, 3}});
    extra.insert(extra.end() - 1, Chunk{"prVt", {}});
    IncrementalBuffer data;
    ImageMetadata meta;
    EXPECT_EQ(importPNG(assemble(extra), data, meta), "");
    EXPECT_EQ(topDown(data, 31), readBytes(pngFixture("grey8.raw")));

    // Image data split into one-byte IDAT chunks.
    std::vector<Chunk> split = {grey.front()};
    for (const Chunk& c : grey)
        if (c.type == "IDAT")
            for (std::uint8_t b : c.data)
                split.push_back(Chunk{"IDAT", {b}});
    split.push_back(grey.back());
    EXPECT_EQ(importPNG(assemble(split), data, meta), "");
    EXPECT_EQ(topDown(data, 31), readBytes(pngFixture("grey8.raw")));

    // Bytes after IEND are not read.
    std::vector<std::uint8_t> trailing = file;
    trailing.insert(trailing.end(), {1, 2, 3, 4, 5});
    ConstBufferStream source(trailing.data(), static_cast<std::uint32_t>(trailing.size()));
    PNGImporter importer;
    importer.attach(source);
    importer.importData(data, meta);
    EXPECT_EQ(source.tell(), file.size());

    // A chunk claiming more bytes than the file holds: the stream's own read error.
    std::vector<std::uint8_t> lying = file;
    lying[33] = 0x7F; // the IDAT length's high byte
    EXPECT_EQ(importError(lying), "Attempted to read over end of buffer. ");
    const std::string path = ::testing::TempDir() + "lying_length.png";
    writeBytes(path, lying);
    try {
        importImage(data, meta, path);
        ADD_FAILURE() << "imported";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), "Failed to read from input stream. ");
    }

    // A filter type above 4.
    std::vector<std::uint8_t> raw(31 * 46, 0);
    raw[46 * 3] = 5;
    std::vector<std::uint8_t> idat = {0x78,
                                      0x01,
                                      1,
                                      static_cast<std::uint8_t>(raw.size()),
                                      static_cast<std::uint8_t>(raw.size() >> 8),
                                      static_cast<std::uint8_t>(~raw.size()),
                                      static_cast<std::uint8_t>(~raw.size() >> 8)};
    idat.insert(idat.end(), raw.begin(), raw.end());
    idat.insert(idat.end(), {0, 0, 0, 0});
    EXPECT_EQ(importError(assemble(withChunk(grey, "IDAT", idat))), "Value (5) out of bound (5). ");
}

} // namespace
} // namespace ZELK::Migration
