// Binary NetPBM (P4, P5, P6) import and export.
#include "migration/netpbm.hpp"

#include <sstream>

#include "core/checked.hpp"
#include "core/limits.hpp"
#include "core/text.hpp"

namespace ZELK::Migration {

namespace {

const char* const formatName = "NetPBM";

// Reads one unsigned decimal. Stream extraction into an unsigned type accepts "-25" and wraps
// it to 4294967271; a header number with a minus sign is refused instead.
bool readDecimal(std::istream& in, std::uint32_t& value) {
    in >> std::ws;
    if (in.peek() == '-')
        return false;
    in >> value;
    return !in.fail();
}

// Parses "w h" from a header line; false when the line does not start with two numbers.
bool parseTwo(const std::string& line, std::uint32_t& a, std::uint32_t& b) {
    std::istringstream in(line);
    return readDecimal(in, a) && readDecimal(in, b);
}

bool parseOne(const std::string& line, std::uint32_t& a) {
    std::istringstream in(line);
    return readDecimal(in, a);
}

// Whether the line holds one number and nothing else but blanks.
bool parseAlone(const std::string& line, std::uint32_t& a) {
    std::istringstream in(line);
    if (!readDecimal(in, a))
        return false;
    in >> std::ws;
    return in.eof();
}

} // namespace

std::string NetPBMImporter::readHeaderLine() {
    ReadStream& in = stream();
    for (;;) {
        line_.resize(0);
        std::uint8_t byte = 0;
        for (;;) {
            in.read(&byte, 1);
            if (byte == '\r' || byte == '\n' || byte == '#')
                break;
            if (line_.size() >= Limits::maxNetPBMHeaderLine)
                throw FormatException(formatName, "Header line too long. ");
            line_.append(&byte, 1);
        }
        if (byte != '\n') {
            const std::uint8_t lf = '\n';
            in.skipUntil(&lf, 1);
        }
        if (line_.size() > 0)
            return std::string(reinterpret_cast<const char*>(line_.data()), line_.size());
    }
}

void NetPBMImporter::readMeta(ImageMetadata& meta) {
    meta_ = ImageMetadata();
    std::string line = readHeaderLine();
    if (line.size() < 2 || line[0] != 'P')
        throw FormatException(formatName,
                              "Data is not recognized as NetPBM, leading line: " + line);
    const std::uint32_t magic = Text::convert<std::uint32_t>(line.substr(1));
    std::uint32_t channels = 0;
    switch (magic) {
    case 1:
    case 2:
    case 3:
        throw SupportException("plain ASCII");
    case 4:
    case 5:
        channels = 1;
        break;
    case 6:
        channels = 3;
        break;
    case 7:
        throw SupportException("NetPBM PAM");
    default:
        throw SupportException("PGM type " + line);
    }
    line = readHeaderLine();
    std::uint32_t width = 0, height = 0;
    if (!parseTwo(line, width, height)) {
        // Our own exporter writes width and height on lines of their own; accept that form
        // too, so that every file this program writes reads back.
        if (!parseAlone(line, width))
            throw FormatException(formatName, "Could not parse width and height from: " + line);
        line = readHeaderLine();
        if (!parseAlone(line, height))
            throw FormatException(formatName, "Could not parse width and height from: " + line);
    }
    std::uint32_t bits = magic == 4 ? 1 : 8;
    if (magic != 4) {
        line = readHeaderLine();
        std::uint32_t maximum = 0;
        if (!parseOne(line, maximum))
            throw FormatException(formatName, "Could not parse maximum value from: " + line);
        if (maximum > 255)
            bits = 16;
    }
    meta_.width = width;
    meta_.height = height;
    meta_.channels = channels;
    meta_.type = {bits, TypeDescriptor::Unsigned, false};
    meta_.format = channels == 3 ? ImageMetadata::Format::RGBA : ImageMetadata::Format::INTENSITY;
    metaRead_ = true;
    meta = meta_;
}

// Whether the file's remaining bytes can hold the samples the header announces. Products that
// overflow 64 bits cannot be held by any file.
bool NetPBMImporter::samplesFit(std::uint64_t remaining) const {
    std::uint64_t rowBytes = 0;
    if (meta_.channels * meta_.type.bits == 1) {
        rowBytes = (std::uint64_t(meta_.width) + 7) / 8;
    } else {
        const std::uint64_t sampleBytes = meta_.type.bits > 8 ? 2 : 1;
        rowBytes = std::uint64_t(meta_.width) * meta_.channels * sampleBytes; // < 2^35
    }
    return saturatingMul(rowBytes, meta_.height) <= remaining;
}

void NetPBMImporter::readSamples(Buffer& data, const ImageLayout& layout) {
    ReadStream& in = stream();
    const std::uint32_t bitsPerPixel = meta_.channels * meta_.type.bits;
    const std::uint32_t width = layout.width;
    const std::uint32_t height = layout.height;
    // An image without pixels has nothing to read; looping over 4 billion empty rows would
    // only waste time.
    if (width == 0 || height == 0)
        return;
    if (bitsPerPixel == 1) {
        // A P4 file packs eight pixels a byte, black = 1. The buffer gets one byte a pixel
        // holding the file's bit, so that the grey conversion can map 1 to black (0) and 0 to
        // white (255); the layout of a 1-bit image would give zero bytes a pixel otherwise.
        if (meta_.channels != 1)
            throw FormatException(formatName, "Bitmap must be one channel. ");
        const std::uint64_t need = checkedMul(width, height);
        if (data.size() < need)
            throw SpaceException<unsigned int>(checkedU32(need), data.size());
        std::vector<std::uint8_t> row((std::uint64_t(width) + 7) / 8);
        for (std::uint32_t y = height; y-- > 0;) {
            in.read(row.data(), row.size());
            std::uint8_t* out = data.data() + std::uint64_t(y) * width;
            for (std::uint32_t x = 0; x < width; ++x)
                out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1u;
        }
        return;
    }
    if (meta_.channels != 1 && meta_.channels != 3)
        throw FormatException(formatName, "Image must have 1 or 3 channels. ");
    const std::uint32_t sampleBytes = meta_.type.bits > 8 ? 2 : 1;
    const std::uint64_t rowBytes = checkedMul(checkedMul(width, meta_.channels), sampleBytes);
    if (data.size() < layout.dataSize())
        throw SpaceException<unsigned int>(checkedU32(layout.dataSize()), data.size());
    std::vector<std::uint8_t> row(rowBytes);
    for (std::uint32_t y = height; y-- > 0;) {
        in.read(row.data(), row.size());
        std::uint8_t* line = data.data() + std::uint64_t(y) * layout.bytesPerLine;
        const std::uint8_t* src = row.data();
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t* pixel = line + std::uint64_t(x) * layout.bytesPerPixel;
            for (std::uint32_t c = 0; c < meta_.channels; ++c) {
                std::uint8_t* sample = pixel + layout.channelOrder[c] * sampleBytes;
                sample[0] = *src++;
                if (sampleBytes == 2)
                    sample[1] = *src++;
            }
        }
    }
}

void NetPBMImporter::readData(Buffer& data) {
    if (!metaRead_)
        throw InsufficientMetaException("Meta data not provided before attempting to read data. ");
    ImageLayout layout(meta_);
    readSamples(data, layout);
    metaRead_ = false;
}

void NetPBMImporter::importData(IncrementalBuffer& data, ImageMetadata& meta) {
    readMeta(meta);
    checkPixelLimit(meta.width, meta.height, "NetPBM images");
    // A header that claims more samples than the file holds fails as the short read would,
    // before the buffer is allocated.
    std::uint64_t remaining = 0;
    if (remainingBytes(stream(), remaining) && !samplesFit(remaining))
        throw ZELK::StreamException("Failed to read from input stream. ");
    ImageLayout layout(meta);
    std::uint64_t size = layout.dataSize();
    if (meta_.channels * meta_.type.bits == 1)
        size = checkedMul(layout.width, layout.height);
    data.resize(checkedU32(size));
    readSamples(data, layout);
    metaRead_ = false;
}

void NetPBMExporter::exportData(const Buffer& data, const ImageMetadata& source) {
    ImageMetadata meta = source;
    if (meta.type.bits > 16)
        throw FormatException(formatName,
                              "NetPBM does not allow more than 16 bits per pixel component. ");
    ImageLayout layout(meta);
    const std::uint64_t bitsPerPixel = std::uint64_t(meta.channels) * meta.type.bits;
    std::uint32_t magic = 0;
    std::uint32_t maximum = 0;
    if (meta.channels == 1 && bitsPerPixel == 1) {
        magic = 4;
    } else if (meta.channels == 1) {
        magic = 5;
        maximum = (1u << meta.type.bits) - 1;
    } else if (meta.channels == 3) {
        magic = 6;
        maximum = (1u << (bitsPerPixel / 3)) - 1;
    } else {
        throw SupportException("NetPBM PAM");
    }
    const std::uint32_t width = layout.width;
    const std::uint32_t height = layout.height;
    // P4 buffers hold one byte a pixel (see the importer); other kinds follow the layout.
    const std::uint64_t bytesPerLine = magic == 4 ? width : layout.bytesPerLine;
    const std::uint32_t channelBytes = magic == 4   ? 0
                                       : magic == 5 ? (bitsPerPixel <= 8 ? 1 : 2)
                                                    : (bitsPerPixel < 27 ? 3 : 6);
    if (magic != 4 && layout.bytesPerPixel < channelBytes)
        throw SupportException("NetPBM export of " + meta.type.text() + " samples");
    const std::uint64_t need = checkedMul(bytesPerLine, height);
    if (data.size() < need)
        throw SpaceException<unsigned int>(checkedU32(need), data.size());

    WriteStream& out = stream();
    LineWriter writer(out, LineWriter::LineEnd::LF);
    writer.text("P").number(magic).endLine();
    writer.number(width).endLine();
    writer.number(height).endLine();
    if (magic != 4)
        writer.number(maximum).endLine();
    // No pixels, no samples: a width of 0 may come with billions of empty rows.
    if (width == 0 || height == 0)
        return;

    std::vector<std::uint8_t> row;
    for (std::uint32_t y = height; y-- > 0;) {
        const std::uint8_t* line = data.data() + y * bytesPerLine;
        row.clear();
        if (magic == 4) {
            std::uint8_t byte = 0;
            for (std::uint32_t x = 0; x < width; ++x) {
                if (line[x] != 0)
                    byte |= static_cast<std::uint8_t>(0x80u >> (x & 7));
                if ((x & 7) == 7) {
                    row.push_back(byte);
                    byte = 0;
                }
            }
            if (width & 7)
                row.push_back(byte);
        } else if (magic == 5) {
            const std::uint32_t sampleBytes = bitsPerPixel <= 8 ? 1 : 2;
            for (std::uint32_t x = 0; x < width; ++x) {
                const std::uint8_t* sample = line + std::uint64_t(x) * layout.bytesPerPixel +
                                             layout.channelOrder[0] * sampleBytes;
                row.insert(row.end(), sample, sample + sampleBytes);
            }
        } else {
            const std::uint32_t sampleBytes = bitsPerPixel < 27 ? 1 : 2;
            for (std::uint32_t x = 0; x < width; ++x) {
                const std::uint8_t* pixel = line + std::uint64_t(x) * layout.bytesPerPixel;
                for (std::uint32_t c = 0; c < 3; ++c) {
                    const std::uint8_t* sample = pixel + layout.channelOrder[c] * sampleBytes;
                    row.insert(row.end(), sample, sample + sampleBytes);
                }
            }
        }
        out.write(row.data(), row.size());
    }
}

std::unique_ptr<DataImporter> makeNetPBMImporter() {
    return std::make_unique<NetPBMImporter>();
}
std::unique_ptr<DataExporter> makeNetPBMExporter() {
    return std::make_unique<NetPBMExporter>();
}

} // namespace ZELK::Migration
