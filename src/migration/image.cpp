// Image metadata, layout computation and the import/export dispatch.
#include "migration/image.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/atomic_file.hpp"
#include "core/checked.hpp"
#include "core/limits.hpp"
#include "core/text.hpp"

namespace ZELK::Migration {

namespace {

const char* const kindWords[] = {"unsigned", "two complement", "floating point", "boolean",
                                 "fixed point"};

const char* const keyWidth = "Width";
const char* const keyHeight = "Height";
const char* const keyChannels = "Channels";
const char* const keyType = "Type";
const char* const keyPixelAlignment = "Pixel alignment";
const char* const keyLineAlignment = "Line alignment";
const char* const keyFormat = "Format";

} // namespace

std::string TypeDescriptor::text() const {
    std::string out = std::to_string(bits) + "-bit ";
    out += kind < 5 ? kindWords[kind] : "custom";
    out += bigEndian ? " big endian" : " little endian";
    return out;
}

TypeDescriptor TypeDescriptor::parse(const std::string& text) {
    // number "-bit" blank kind blank byte-order, nothing else.
    std::size_t i = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
        ++i;
    if (i == 0 || i > 10)
        throw ParseException(text, "bit count");
    std::uint64_t bits = std::stoull(text.substr(0, i));
    if (bits > 0xFFFFFFFFull)
        throw ParseException(text, "bit count");
    if (text.compare(i, 5, "-bit ") != 0)
        throw ParseException(text, "-bit");
    i += 5;
    TypeDescriptor result;
    result.bits = static_cast<std::uint32_t>(bits);
    bool kindFound = false;
    for (std::uint32_t k = 0; k < 5; ++k) {
        std::string word = std::string(kindWords[k]) + " ";
        if (text.compare(i, word.size(), word) == 0) {
            result.kind = k;
            i += word.size();
            kindFound = true;
            break;
        }
    }
    if (!kindFound)
        throw ParseException(text.substr(std::min(i, text.size())),
                             "unsigned | two complement | floating point | fixed point | boolean");
    std::string rest = text.substr(i);
    if (rest == "little endian")
        result.bigEndian = false;
    else if (rest == "big endian")
        result.bigEndian = true;
    else
        throw ParseException(rest, "big endian | small endian");
    return result;
}

void Metadata::set(const std::string& key, const std::string& text) {
    extra_[key] = text;
}

bool Metadata::has(const std::string& key) const {
    return extra_.count(key) != 0;
}

std::string Metadata::get(const std::string& key) const {
    auto found = extra_.find(key);
    if (found == extra_.end())
        throw NotFoundException<std::string>(key, "metadata");
    return found->second;
}

std::vector<std::pair<std::string, std::string>> Metadata::enumerate() const {
    return {extra_.begin(), extra_.end()};
}

std::string ImageMetadata::formatText(Format format) {
    switch (format) {
    case Format::INTENSITY:
        return "INTENSITY";
    case Format::RGBA:
        return "RGBA";
    case Format::BGRA:
        return "BGRA";
    }
    throw UnexpectedValueException(std::to_string(static_cast<std::uint32_t>(format)),
                                   "image format descriptor");
}

ImageMetadata::Format ImageMetadata::parseFormat(const std::string& text) {
    if (text == "INTENSITY")
        return Format::INTENSITY;
    if (text == "RGBA")
        return Format::RGBA;
    if (text == "BGRA")
        return Format::BGRA;
    throw ParseException(text, "INTENSITY | RGBA | BGRA");
}

void ImageMetadata::set(const std::string& key, const std::string& text) {
    if (key == keyWidth)
        width = Text::convert<std::uint32_t>(text);
    else if (key == keyHeight)
        height = Text::convert<std::uint32_t>(text);
    else if (key == keyChannels)
        channels = Text::convert<std::uint32_t>(text);
    else if (key == keyType)
        type = TypeDescriptor::parse(text);
    else if (key == keyPixelAlignment)
        pixelAlignment = Text::convert<std::uint32_t>(text);
    else if (key == keyLineAlignment)
        lineAlignment = Text::convert<std::uint32_t>(text);
    else if (key == keyFormat)
        format = parseFormat(text);
    else
        Metadata::set(key, text);
}

bool ImageMetadata::has(const std::string& key) const {
    return key == keyWidth || key == keyHeight || key == keyChannels || key == keyType ||
           key == keyPixelAlignment || key == keyLineAlignment || key == keyFormat ||
           Metadata::has(key);
}

std::string ImageMetadata::get(const std::string& key) const {
    if (key == keyWidth)
        return std::to_string(width);
    if (key == keyHeight)
        return std::to_string(height);
    if (key == keyChannels)
        return std::to_string(channels);
    if (key == keyType)
        return type.text();
    if (key == keyPixelAlignment)
        return std::to_string(pixelAlignment);
    if (key == keyLineAlignment)
        return std::to_string(lineAlignment);
    if (key == keyFormat)
        return formatText(format);
    return Metadata::get(key);
}

std::vector<std::pair<std::string, std::string>> ImageMetadata::enumerate() const {
    std::map<std::string, std::string> all(extra_.begin(), extra_.end());
    for (const char* key : {keyWidth, keyHeight, keyChannels, keyType, keyPixelAlignment,
                            keyLineAlignment, keyFormat})
        all[key] = get(key);
    return {all.begin(), all.end()};
}

ImageLayout::ImageLayout(const ImageMetadata& meta) : width(meta.width), height(meta.height) {
    std::uint64_t bitsPerPixel = checkedMul(meta.channels, meta.type.bits);
    if (meta.pixelAlignment != 0) {
        std::uint64_t a = meta.pixelAlignment;
        bitsPerPixel = checkedMul((checkedAdd(bitsPerPixel, a - 1)) / a, a);
        if (bitsPerPixel % 8 != 0)
            throw SupportException("non-byte-aligned pixels");
    }
    bytesPerPixel = checkedU32(bitsPerPixel / 8);
    std::uint64_t lineBytes = checkedMul(bytesPerPixel, width);
    if (meta.lineAlignment != 0) {
        std::uint64_t a = meta.lineAlignment;
        std::uint64_t lineBits = checkedMul(checkedAdd(checkedMul(lineBytes, 8), a - 1) / a, a);
        if (lineBits % 8 != 0)
            throw SupportException("non-byte-aligned pixels");
        lineBytes = lineBits / 8;
    }
    bytesPerLine = checkedU32(lineBytes);
    if (meta.channels > Limits::maxChannels)
        throw SupportException(std::to_string(meta.channels) + " channels");
    channelOrder.resize(meta.channels);
    for (std::uint32_t c = 0; c < meta.channels; ++c)
        channelOrder[c] = c;
    if (meta.format == ImageMetadata::Format::BGRA && meta.channels >= 3)
        std::swap(channelOrder[0], channelOrder[2]);
}

std::uint64_t ImageLayout::dataSize() const {
    return checkedMul(height, bytesPerLine);
}

ReadStream& DataImporter::stream() {
    if (stream_ == nullptr)
        throw Migration::StreamException();
    return *stream_;
}

WriteStream& DataExporter::stream() {
    if (stream_ == nullptr)
        throw Migration::StreamException();
    return *stream_;
}

std::string fileExtension(const std::string& path) {
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos)
        return {};
    std::string extension = path.substr(dot + 1);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

namespace {

bool isNetPBMExtension(const std::string& extension) {
    return extension == "pbm" || extension == "pgm" || extension == "ppm" || extension == "pam" ||
           extension == "pnm";
}

} // namespace

bool remainingBytes(ReadStream& stream, std::uint64_t& remaining) {
    auto* random = dynamic_cast<RandomStream*>(&stream);
    if (random == nullptr)
        return false;
    const std::uint64_t here = random->tell();
    const std::uint64_t total = random->length();
    remaining = total > here ? total - here : 0;
    return true;
}

bool looksLikePNG(ReadStream& stream) {
    static const std::uint8_t signature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    ArrayBuffer<8> bytes;
    stream.read(bytes.data(), 8);
    return std::memcmp(bytes.data(), signature, 8) == 0;
}

bool looksLikeJPEG(ReadStream& stream) {
    std::uint8_t bytes[2];
    stream.read(bytes, 2);
    return bytes[0] == 0xFF && bytes[1] == 0xD8;
}

namespace {

// Reads up to n bytes, fewer when the stream ends first; returns how many arrived.
std::uint32_t readUpTo(ReadStream& stream, std::uint8_t* dest, std::uint32_t n) {
    std::uint32_t got = 0;
    while (got < n && !stream.atEnd())
        stream.read(dest + got++, 1);
    return got;
}

} // namespace

bool looksLikeBMP(ReadStream& stream) {
    // "BM", then after the file header the size of an info header of a known version.
    std::uint8_t bytes[18];
    if (readUpTo(stream, bytes, 18) < 18 || bytes[0] != 'B' || bytes[1] != 'M')
        return false;
    const std::uint32_t infoSize =
        bytes[14] | bytes[15] << 8 | bytes[16] << 16 | std::uint32_t(bytes[17]) << 24;
    for (std::uint32_t known : {12u, 40u, 52u, 56u, 64u, 108u, 124u})
        if (infoSize == known)
            return true;
    return false;
}

bool looksLikeTIFF(ReadStream& stream) {
    std::uint8_t bytes[4];
    if (readUpTo(stream, bytes, 4) < 4)
        return false;
    static const std::uint8_t little[4] = {'I', 'I', 42, 0};
    static const std::uint8_t big[4] = {'M', 'M', 0, 42};
    return std::memcmp(bytes, little, 4) == 0 || std::memcmp(bytes, big, 4) == 0;
}

std::vector<std::uint8_t> readToEnd(ReadStream& stream) {
    std::vector<std::uint8_t> bytes;
    std::uint64_t remaining = 0;
    if (remainingBytes(stream, remaining)) {
        if (remaining > Limits::maxBufferBytes)
            throw BoundException<unsigned long long>(remaining, Limits::maxBufferBytes);
        bytes.resize(remaining);
        stream.read(bytes.data(), remaining);
        return bytes;
    }
    // A pipe: pieces as they come, one byte at a time at the end since a short read raises.
    constexpr std::size_t piece = 1u << 16;
    while (!stream.atEnd()) {
        if (bytes.size() > Limits::maxBufferBytes)
            throw BoundException<unsigned long long>(bytes.size(), Limits::maxBufferBytes);
        const std::size_t at = bytes.size();
        bytes.resize(at + piece);
        std::size_t got = 0;
        while (got < piece && !stream.atEnd())
            stream.read(bytes.data() + at + got++, 1);
        bytes.resize(at + got);
    }
    return bytes;
}

void checkPixelLimit(std::uint64_t width, std::uint64_t height, const std::string& kind) {
    if (saturatingMul(width, height) > Limits::maxImagePixels)
        throw SupportException(kind + " above " + std::to_string(Limits::maxImagePixels) +
                               " pixels");
}

void reduceToEightBits(IncrementalBuffer& data, ImageMetadata& meta) {
    if (meta.type.bits != 16 || meta.pixelAlignment != 0 || meta.lineAlignment != 0)
        return;
    const std::uint64_t samples = checkedMul(checkedMul(meta.width, meta.height), meta.channels);
    if (checkedMul(samples, 2) > data.size())
        throw SpaceException<unsigned int>(checkedU32(checkedMul(samples, 2)), data.size());
    std::uint8_t* bytes = data.data();
    for (std::uint64_t i = 0; i < samples; ++i)
        bytes[i] = bytes[2 * i];
    data.resizeKeep(static_cast<std::uint32_t>(samples));
    meta.type.bits = 8;
}

std::unique_ptr<DataImporter> selectImporter(const std::string& path, RandomReadStream& stream) {
    const std::string extension = fileExtension(path);
    if (isNetPBMExtension(extension))
        return makeNetPBMImporter();
    if (extension == "png")
        return makePNGImporter();
    if (extension == "jpeg" || extension == "jpg")
        return makeJPEGImporter();
    if (extension == "bmp" || extension == "dib")
        return makeBMPImporter();
    if (extension == "tif" || extension == "tiff")
        return makeTIFFImporter();
    stream.setPosition(0);
    if (looksLikePNG(stream))
        return makePNGImporter();
    stream.setPosition(0);
    if (looksLikeJPEG(stream))
        return makeJPEGImporter();
    stream.setPosition(0);
    if (looksLikeBMP(stream))
        return makeBMPImporter();
    stream.setPosition(0);
    if (looksLikeTIFF(stream))
        return makeTIFFImporter();
    stream.setPosition(0);
    if (nativeScore(stream) > 0.0f)
        return makeNativeImporter();
    return nullptr;
}

std::unique_ptr<DataExporter> selectExporter(const std::string& path) {
    const std::string extension = fileExtension(path);
    if (isNetPBMExtension(extension))
        return makeNetPBMExporter();
    if (extension == "png")
        return makePNGExporter();
    return nullptr;
}

namespace {

void importWith(std::unique_ptr<DataImporter> importer, const std::string& name,
                RandomReadStream& stream, IncrementalBuffer& data, ImageMetadata& meta) {
    if (!importer)
        throw SupportException("import of " + name);
    stream.setPosition(0);
    importer->attach(stream);
    importer->importData(data, meta);
    importer->detach();
    reduceToEightBits(data, meta);
}

} // namespace

void importImage(IncrementalBuffer& data, ImageMetadata& meta, const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    CppInStream stream(file);
    importWith(selectImporter(path, stream), path, stream, data, meta);
}

void importImage(IncrementalBuffer& data, ImageMetadata& meta, const std::string& name,
                 RandomReadStream& stream) {
    char magic[2] = {0, 0};
    stream.setPosition(0);
    if (stream.length() >= 2)
        stream.read(magic, 2);
    const bool netpbm = magic[0] == 'P' && magic[1] >= '1' && magic[1] <= '6';
    importWith(netpbm ? makeNetPBMImporter() : selectImporter(name, stream), name, stream, data,
               meta);
}

void exportImage(const Buffer& data, const ImageMetadata& meta, const std::string& path) {
    std::unique_ptr<DataExporter> exporter = selectExporter(path);
    if (!exporter)
        throw SupportException("export of " + path);
    writeFileAtomically(path, [&](std::ostream& file) {
        CppOutStream stream(file);
        exporter->attach(stream);
        exporter->exportData(data, meta);
        exporter->detach();
        stream.flush();
    });
}

} // namespace ZELK::Migration
