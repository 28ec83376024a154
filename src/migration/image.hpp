// Image descriptors and file dispatch: what the bytes of an image buffer mean (ImageMetadata,
// ImageLayout), the importer and exporter interfaces, and importImage/exportImage.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/buffers.hpp"
#include "core/streams.hpp"

namespace ZELK::Migration {

// Sample type of an image: width in bits, kind and byte order.
struct TypeDescriptor {
    enum Kind : std::uint32_t {
        Unsigned = 0,
        TwoComplement = 1,
        FloatingPoint = 2,
        Boolean = 3,
        FixedPoint = 4
    };

    std::uint32_t bits = 0;
    std::uint32_t kind = Unsigned;
    bool bigEndian = false;

    // "8-bit unsigned little endian"
    std::string text() const;
    // Parses exactly the text() grammar; anything else is a parse error.
    static TypeDescriptor parse(const std::string& text);

    bool operator==(const TypeDescriptor&) const = default;
};

inline TypeDescriptor unsigned8() {
    return {8, TypeDescriptor::Unsigned, false};
}

// A string-to-string map of image properties. Keys that a subclass knows are stored in typed
// fields; others land in the map.
class Metadata {
public:
    virtual ~Metadata() = default;
    virtual void set(const std::string& key, const std::string& text);
    virtual bool has(const std::string& key) const;
    // The text of a key; raises the not-found error for an unknown key.
    virtual std::string get(const std::string& key) const;
    // Every key/value pair, ordered by key.
    virtual std::vector<std::pair<std::string, std::string>> enumerate() const;

protected:
    std::map<std::string, std::string> extra_;
};

class ImageMetadata : public Metadata {
public:
    enum class Format : std::uint32_t { INTENSITY = 0, RGBA = 1, BGRA = 2 };

    static std::string formatText(Format format);
    static Format parseFormat(const std::string& text);

    void set(const std::string& key, const std::string& text) override;
    bool has(const std::string& key) const override;
    std::string get(const std::string& key) const override;
    std::vector<std::pair<std::string, std::string>> enumerate() const override;

    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t channels = 0;
    TypeDescriptor type{};
    std::uint32_t pixelAlignment = 0; // bits; 0 = none
    std::uint32_t lineAlignment = 0;  // bits; 0 = none
    Format format = Format::INTENSITY;
};

// Where the bytes of each pixel and line lie, computed from the metadata.
struct ImageLayout {
    explicit ImageLayout(const ImageMetadata& meta);

    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t bytesPerPixel = 0;
    std::uint32_t bytesPerLine = 0;
    std::vector<std::uint32_t> channelOrder;

    // height * bytesPerLine, overflow-checked.
    std::uint64_t dataSize() const;
};

// Reads one image from an attached stream into a buffer (line 0 = bottom line of the picture).
class DataImporter {
public:
    virtual ~DataImporter() = default;
    void attach(ReadStream& stream) { stream_ = &stream; }
    void detach() { stream_ = nullptr; }
    virtual void importData(IncrementalBuffer& data, ImageMetadata& meta) = 0;

protected:
    // The attached stream; raises the migrator stream error when none is attached.
    ReadStream& stream();

private:
    ReadStream* stream_ = nullptr;
};

// An importer that reads the header and the samples in two steps.
class DataImporterSeparate : public DataImporter {
public:
    virtual void readMeta(ImageMetadata& meta) = 0;
    virtual void readData(Buffer& data) = 0;
};

// Writes one image buffer to an attached stream (the last buffer line first).
class DataExporter {
public:
    virtual ~DataExporter() = default;
    virtual std::string name() const { return {}; }
    void attach(WriteStream& stream) { stream_ = &stream; }
    void detach() { stream_ = nullptr; }
    virtual void exportData(const Buffer& data, const ImageMetadata& meta) = 0;

protected:
    WriteStream& stream();

private:
    WriteStream* stream_ = nullptr;
};

// Text after the last "." of the path, lower-cased; empty when there is no ".".
std::string fileExtension(const std::string& path);

// Importer by extension, else by content (each test from position 0); null when none fits.
std::unique_ptr<DataImporter> selectImporter(const std::string& path, RandomReadStream& stream);
// Exporter by extension; null when none fits.
std::unique_ptr<DataExporter> selectExporter(const std::string& path);

// Loads an image file; raises on any failure (unsupported files included). Samples wider than 8
// bits come back reduced to 8 (see reduceToEightBits), so that the whole pipeline reads one
// sample type; the codecs themselves keep the file's samples.
void importImage(IncrementalBuffer& data, ImageMetadata& meta, const std::string& path);
// The same for a picture in a stream that has no file name (standard input): the format is
// found by content alone, NetPBM by its magic number too; name is for messages only.
void importImage(IncrementalBuffer& data, ImageMetadata& meta, const std::string& name,
                 RandomReadStream& stream);
// Writes an image file; the exporter is chosen before the file is opened, so an unsupported
// extension leaves no file behind.
void exportImage(const Buffer& data, const ImageMetadata& meta, const std::string& path);

// Bytes left after the current position of a stream that can tell its length; false for
// streams that cannot. Importers use it to refuse sizes the file cannot hold before allocating.
bool remainingBytes(ReadStream& stream, std::uint64_t& remaining);

// Every byte from the stream's current position to its end, for formats that address their
// parts by file offset. Reads no more than the stream holds, so a lying header cannot make it
// allocate; bounded by the 32-bit buffer limit.
std::vector<std::uint8_t> readToEnd(ReadStream& stream);

// Refuses a picture of more than Limits::maxImagePixels before anything is allocated for it,
// with SupportException(kind + " above " + the limit + " pixels").
void checkPixelLimit(std::uint64_t width, std::uint64_t height, const std::string& kind);

// Keeps the most significant byte of every 16-bit sample (importers store wide samples in file
// order, most significant byte first) and marks the image 8-bit. Other images are left alone.
void reduceToEightBits(IncrementalBuffer& data, ImageMetadata& meta);

// Content tests of the codecs; each reads from the stream's current position. The BMP and
// TIFF tests answer false for a file too short to hold their signature instead of raising.
bool looksLikePNG(ReadStream& stream);
bool looksLikeJPEG(ReadStream& stream);
bool looksLikeBMP(ReadStream& stream);
bool looksLikeTIFF(ReadStream& stream);
// Native header score: above 0 for files written by NativeExporter.
float nativeScore(ReadStream& stream);

// Codec factories, defined beside each codec.
std::unique_ptr<DataImporter> makeNetPBMImporter();
std::unique_ptr<DataImporter> makePNGImporter();
std::unique_ptr<DataImporter> makeJPEGImporter();
std::unique_ptr<DataImporter> makeNativeImporter();
std::unique_ptr<DataImporter> makeBMPImporter();
std::unique_ptr<DataImporter> makeTIFFImporter();
std::unique_ptr<DataExporter> makeNetPBMExporter();
std::unique_ptr<DataExporter> makePNGExporter();

} // namespace ZELK::Migration
