// Helpers of the JPEG tests.
#include "jpeg_test_support.hpp"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/exceptions.hpp"
#include "core/streams.hpp"
#include "migration/jpeg.hpp"

namespace JPEGTest {

using namespace ZELK;
using namespace ZELK::Migration;

Decoded decodeBytes(const std::string& bytes, std::uint64_t maxPixels) {
    ConstBufferStream stream(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                             static_cast<std::uint32_t>(bytes.size()));
    JPEGImporter importer(maxPixels == 0 ? Limits::maxJpegPixels : maxPixels);
    importer.attach(stream);
    Decoded image;
    importer.importData(image.buffer, image.meta);
    return image;
}

std::string refusal(const std::string& bytes, std::uint64_t maxPixels) {
    try {
        decodeBytes(bytes, maxPixels);
    } catch (const Exception& e) {
        return e.message();
    }
    return "(no exception)";
}

Samples topFirst(const Decoded& image) {
    const ImageLayout layout(image.meta);
    Samples out;
    out.width = image.meta.width;
    out.height = image.meta.height;
    out.channels = image.meta.channels;
    const std::size_t row = std::size_t(out.width) * out.channels;
    for (std::uint32_t y = out.height; y-- > 0;) {
        const std::uint8_t* line = image.buffer.data() + std::size_t(y) * layout.bytesPerLine;
        out.bytes.insert(out.bytes.end(), line, line + row);
    }
    return out;
}

Samples readPNM(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    std::string magic;
    unsigned maxValue = 0;
    Samples out;
    in >> magic >> out.width >> out.height >> maxValue;
    in.get(); // the single blank after the header
    if ((magic != "P5" && magic != "P6") || maxValue != 255)
        throw std::runtime_error("not an 8-bit PGM/PPM: " + path);
    out.channels = magic == "P5" ? 1 : 3;
    out.bytes.resize(std::size_t(out.width) * out.height * out.channels);
    in.read(reinterpret_cast<char*>(out.bytes.data()),
            static_cast<std::streamsize>(out.bytes.size()));
    if (static_cast<std::size_t>(in.gcount()) != out.bytes.size())
        throw std::runtime_error("short PNM file: " + path);
    return out;
}

Difference compare(const Samples& a, const Samples& b) {
    if (a.width != b.width || a.height != b.height || a.channels != b.channels ||
        a.bytes.size() != b.bytes.size())
        throw std::runtime_error("images differ in size");
    Difference d;
    double sum = 0;
    for (std::size_t i = 0; i < a.bytes.size(); ++i) {
        const int delta = std::abs(int(a.bytes[i]) - int(b.bytes[i]));
        d.max = std::max(d.max, delta);
        sum += delta;
    }
    d.mean = a.bytes.empty() ? 0 : sum / double(a.bytes.size());
    return d;
}

Writer& Writer::marker(std::uint8_t code) {
    bytes_ += '\xFF';
    bytes_ += static_cast<char>(code);
    return *this;
}

Writer& Writer::segment(std::uint8_t code, const std::string& payload) {
    marker(code);
    const std::size_t length = payload.size() + 2;
    bytes_ += static_cast<char>(length >> 8);
    bytes_ += static_cast<char>(length & 0xFF);
    bytes_ += payload;
    return *this;
}

Writer& Writer::dqt(unsigned index, std::uint8_t value) {
    std::string payload(1, static_cast<char>(index));
    payload.append(64, static_cast<char>(value));
    return segment(0xDB, payload);
}

Writer& Writer::sof(std::uint8_t code, std::uint16_t width, std::uint16_t height,
                    std::initializer_list<Component> components, std::uint8_t precision) {
    std::string payload;
    payload += static_cast<char>(precision);
    payload += static_cast<char>(height >> 8);
    payload += static_cast<char>(height & 0xFF);
    payload += static_cast<char>(width >> 8);
    payload += static_cast<char>(width & 0xFF);
    payload += static_cast<char>(components.size());
    for (const Component& c : components) {
        payload += static_cast<char>(c.id);
        payload += static_cast<char>(c.sampling);
        payload += static_cast<char>(c.quantizationTable);
    }
    return segment(code, payload);
}

Writer& Writer::dht(unsigned tableClass, unsigned index, const std::vector<std::uint8_t>& counts,
                    const std::vector<std::uint8_t>& values) {
    std::string payload(1, static_cast<char>((tableClass << 4) | index));
    for (std::uint8_t count : counts)
        payload += static_cast<char>(count);
    for (std::uint8_t value : values)
        payload += static_cast<char>(value);
    return segment(0xC4, payload);
}

Writer& Writer::dri(std::uint16_t interval) {
    std::string payload;
    payload += static_cast<char>(interval >> 8);
    payload += static_cast<char>(interval & 0xFF);
    return segment(0xDD, payload);
}

Writer& Writer::sos(std::initializer_list<ScanComponent> components, std::uint8_t ss,
                    std::uint8_t se, std::uint8_t approximation) {
    std::string payload(1, static_cast<char>(components.size()));
    for (const ScanComponent& c : components) {
        payload += static_cast<char>(c.id);
        payload += static_cast<char>(c.selectors);
    }
    payload += static_cast<char>(ss);
    payload += static_cast<char>(se);
    payload += static_cast<char>(approximation);
    return segment(0xDA, payload);
}

Writer& Writer::raw(const std::string& bytes) {
    bytes_ += bytes;
    return *this;
}

namespace {

std::vector<std::uint8_t> countsWith(unsigned length, std::uint8_t count) {
    std::vector<std::uint8_t> counts(16, 0);
    counts[length - 1] = count;
    return counts;
}

} // namespace

std::string greyBlockFile(const std::string& entropy, std::uint8_t sizeOfFirstCode,
                          std::uint8_t quantization) {
    return Writer()
        .soi()
        .dqt(0, quantization)
        .sof(0xC0, 8, 8, {{1, 0x11, 0}})
        .dht(0, 0, countsWith(2, 1), {sizeOfFirstCode})
        .dht(1, 0, countsWith(1, 1), {0x00})
        .sos({{1, 0x00}})
        .raw(entropy)
        .eoi()
        .bytes();
}

std::size_t findMarker(const std::string& bytes, std::uint8_t code, std::size_t from) {
    const char pattern[2] = {'\xFF', static_cast<char>(code)};
    return bytes.find(std::string(pattern, 2), from);
}

} // namespace JPEGTest
