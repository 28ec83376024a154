// Native image format reader, writer and content test.
#include "migration/native.hpp"

#include <string>

#include "core/limits.hpp"

namespace ZELK::Migration {

namespace {

// Zero bytes inside keys and values are written as a backslash and the digit 0, since a zero
// byte ends the header.
std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\0')
            out += "\\0";
        else
            out += c;
    }
    return out;
}

std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '0') {
            out += '\0';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Splits one header line `"key"="value"` (without its line end); false when it has another
// shape.
bool splitPair(const std::string& line, std::string& key, std::string& value) {
    if (line.size() < 5 || line.front() != '"' || line.back() != '"')
        return false;
    std::size_t separator = line.find("\"=\"", 1);
    if (separator == std::string::npos || separator + 3 > line.size() - 1)
        return false;
    key = line.substr(1, separator - 1);
    value = line.substr(separator + 3, line.size() - 1 - (separator + 3));
    return true;
}

} // namespace

void NativeImporter::readMeta(ImageMetadata& meta) {
    ReadStream& in = stream();
    std::string header;
    for (;;) {
        std::uint8_t byte;
        in.read(&byte, 1);
        if (byte == 0)
            break;
        if (header.size() >= Limits::maxNativeHeaderBytes)
            throw FormatException("Native", "Header too long. ");
        header += static_cast<char>(byte);
    }
    std::size_t start = 0;
    while (start < header.size()) {
        std::size_t end = header.find('\n', start);
        if (end == std::string::npos)
            end = header.size();
        std::string line = header.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line.front() != '"')
            continue;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string key, value;
        if (splitPair(line, key, value))
            meta.set(unescape(key), unescape(value));
    }
}

std::uint32_t NativeImporter::readLength() {
    std::uint32_t length = 0;
    Deserializer deserializer(stream());
    deserializer.visit(length);
    return length;
}

void NativeImporter::readData(Buffer& data) {
    std::uint32_t length = readLength();
    if (length != data.size())
        throw UnexpectedValueException(std::to_string(length), std::to_string(data.size()));
    stream().read(data.data(), length);
}

void NativeImporter::importData(IncrementalBuffer& data, ImageMetadata& meta) {
    readMeta(meta);
    checkPixelLimit(meta.width, meta.height, "Native images");
    std::uint32_t length = readLength();
    // A length beyond the rest of the file cannot be satisfied: fail as the short read would,
    // before allocating anything.
    std::uint64_t remaining = 0;
    if (remainingBytes(stream(), remaining) && length > remaining)
        throw ZELK::StreamException("Failed to read from input stream. ");
    data.resize(length);
    stream().read(data.data(), length);
}

void NativeExporter::exportData(const Buffer& data, const ImageMetadata& meta) {
    WriteStream& out = stream();
    LineWriter writer(out, LineWriter::LineEnd::CRLF);
    for (const auto& [key, value] : meta.enumerate())
        writer.text("\"").text(escape(key)).text("\"=\"").text(escape(value)).text("\"").endLine();
    const std::uint8_t zero = 0;
    out.write(&zero, 1);
    std::uint32_t length = data.size();
    Serializer serializer(out);
    serializer.visit(length);
    out.write(data.data(), length);
}

// Accepts exactly what the exporter writes: at least one line, every line before the zero byte
// of the form "key"="value" ended by CR LF. PNG, JPEG and NetPBM data never start that way.
float nativeScore(ReadStream& stream) {
    std::string header;
    bool terminated = false;
    while (header.size() < 16384) {
        std::uint8_t byte;
        try {
            stream.read(&byte, 1);
        } catch (const ZELK::StreamException&) {
            break;
        }
        if (byte == 0) {
            terminated = true;
            break;
        }
        header += static_cast<char>(byte);
    }
    if (!terminated || header.size() < 7)
        return 0.0f;
    std::size_t start = 0;
    while (start < header.size()) {
        std::size_t end = header.find("\r\n", start);
        if (end == std::string::npos)
            return 0.0f;
        std::string key, value;
        if (!splitPair(header.substr(start, end - start), key, value))
            return 0.0f;
        start = end + 2;
    }
    return 1.0f;
}

std::unique_ptr<DataImporter> makeNativeImporter() {
    return std::make_unique<NativeImporter>();
}

} // namespace ZELK::Migration
