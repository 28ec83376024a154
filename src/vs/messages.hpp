// Messages the visualization client streams to an external viewer, each a type code and a
// body; bodies borrow the data they describe and are serialised only when sent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/buffers.hpp"
#include "core/streams.hpp"
#include "migration/image.hpp"

namespace ZELK::VS {

class Message {
public:
    virtual ~Message() = default;
    virtual std::uint32_t type() const = 0;
    virtual void writeBody(WriteStream& out) const = 0;
    // Number of bytes the body serialises to, measured without storing it.
    std::uint64_t size() const;
};

namespace Chunk {
// Framing of every message on the TCP stream: type code, then body size.
struct Header {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    void write(WriteStream& out) const;
};
} // namespace Chunk

// Little-endian wire primitives shared by the message bodies.
namespace Wire {
void u32(WriteStream& out, std::uint32_t value);
void boolean(WriteStream& out, bool value);
void string(WriteStream& out, const std::string& text);
void raw(WriteStream& out, const std::uint8_t* data, std::uint32_t size);
} // namespace Wire

// A 2-D point as the overlays carry it.
struct OverlayPoint {
    float x = 0.0f;
    float y = 0.0f;
};

namespace Visualize {

class Begin : public Message {
public:
    std::uint32_t type() const override { return 1; }
    void writeBody(WriteStream&) const override {}
};

class End : public Message {
public:
    std::uint32_t type() const override { return 2; }
    void writeBody(WriteStream&) const override {}
};

class View : public Message {
public:
    explicit View(std::string name) : name(std::move(name)) {}
    std::uint32_t type() const override { return 3; }
    void writeBody(WriteStream& out) const override { Wire::string(out, name); }
    std::string name;
};

// An image in the Native file form; borrows the buffer and metadata.
class Image : public Message {
public:
    Image(const Buffer& data, const Migration::ImageMetadata& meta) : data(data), meta(meta) {}
    std::uint32_t type() const override { return 5; }
    void writeBody(WriteStream& out) const override;
    const Buffer& data;
    const Migration::ImageMetadata& meta;
};

// A point set: descriptor (sample type text, count, channels), then the floats as a raw
// buffer. Borrows the floats.
class DataPoints : public Message {
public:
    DataPoints(const float* values, std::uint32_t count, std::uint32_t channels)
        : values(values), count(count), channels(channels) {}
    std::uint32_t type() const override { return 6; }
    void writeBody(WriteStream& out) const override;
    const float* values;
    std::uint32_t count;
    std::uint32_t channels;
};

// Polylines or segments: all points, then (begin, end) index pairs, one per drawn piece.
class Overlay : public Message {
public:
    std::uint32_t type() const override { return 8; }
    void writeBody(WriteStream& out) const override;
    // Appends one polyline or segment given by its points.
    void add(const std::vector<OverlayPoint>& polyline);
    std::vector<OverlayPoint> points;
    std::vector<std::uint32_t> ranges;
};

} // namespace Visualize

} // namespace ZELK::VS
