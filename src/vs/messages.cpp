// Serialisation of the visualization messages.
#include "vs/messages.hpp"

#include "core/checked.hpp"
#include "migration/native.hpp"

namespace ZELK::VS {

std::uint64_t Message::size() const {
    SizeMeasureWriteStream measure;
    writeBody(measure);
    return measure.size();
}

void Chunk::Header::write(WriteStream& out) const {
    Wire::u32(out, type);
    Wire::u32(out, size);
}

void Wire::u32(WriteStream& out, std::uint32_t value) {
    Serializer serializer(out);
    serializer.visit(value);
}

void Wire::boolean(WriteStream& out, bool value) {
    const std::uint8_t byte = value ? 0xFF : 0x00;
    out.write(&byte, 1);
}

void Wire::string(WriteStream& out, const std::string& text) {
    u32(out, checkedU32(text.size()));
    out.write(text.data(), text.size());
}

void Wire::raw(WriteStream& out, const std::uint8_t* data, std::uint32_t size) {
    u32(out, size);
    out.write(data, size);
}

namespace Visualize {

void Image::writeBody(WriteStream& out) const {
    Migration::NativeExporter exporter;
    exporter.attach(out);
    exporter.exportData(data, meta);
}

void DataPoints::writeBody(WriteStream& out) const {
    Wire::string(
        out, Migration::TypeDescriptor{32, Migration::TypeDescriptor::FloatingPoint, false}.text());
    Wire::u32(out, count);
    Wire::u32(out, channels);
    const std::uint64_t bytes = checkedMul(checkedMul(count, channels), sizeof(float));
    Wire::raw(out, reinterpret_cast<const std::uint8_t*>(values), checkedU32(bytes));
}

void Overlay::writeBody(WriteStream& out) const {
    Wire::u32(out, checkedU32(points.size()));
    Serializer serializer(out);
    for (OverlayPoint p : points) {
        serializer.visit(p.x);
        serializer.visit(p.y);
    }
    Wire::u32(out, checkedU32(ranges.size()));
    for (std::uint32_t r : ranges)
        serializer.visit(r);
}

void Overlay::add(const std::vector<OverlayPoint>& polyline) {
    ranges.push_back(static_cast<std::uint32_t>(points.size()));
    points.insert(points.end(), polyline.begin(), polyline.end());
    ranges.push_back(static_cast<std::uint32_t>(points.size()));
}

} // namespace Visualize

} // namespace ZELK::VS
