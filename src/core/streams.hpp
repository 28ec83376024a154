// Byte streams over standard streams and buffers, the binary serialiser with its byte-order
// swapper, and the line writer used for text headers and status lines.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

#include "core/buffers.hpp"

namespace ZELK {

class Stream {
public:
    virtual ~Stream() = default;
};

class ReadStream : public virtual Stream {
public:
    // Delivers exactly count bytes or raises.
    virtual void read(void* dest, std::uint64_t count) = 0;
    // Reads and drops count bytes.
    virtual void skip(std::uint64_t count);
    // Reads until the given byte sequence has just been consumed.
    void skipUntil(const std::uint8_t* pattern, std::uint32_t length);
    // True when no further byte can be read.
    virtual bool atEnd() = 0;
};

class WriteStream : public virtual Stream {
public:
    virtual void write(const void* src, std::uint64_t count) = 0;
    virtual void flush() {}
};

class RandomStream : public virtual Stream {
public:
    virtual void setPosition(std::uint64_t position) = 0;
    virtual std::uint64_t tell() = 0;
    // whence 0: absolute, 1: relative to the current position, 2: relative to the end.
    virtual void seek(std::int64_t offset, int whence);
    virtual std::uint64_t length() = 0;
};

class RandomReadStream : public virtual ReadStream, public virtual RandomStream {};
class RandomWriteStream : public virtual WriteStream, public virtual RandomStream {};
class RandomReadWriteStream : public virtual RandomReadStream, public virtual RandomWriteStream {};
class ReadWriteStream : public virtual ReadStream, public virtual WriteStream {};

// Reads from a standard input stream (file, string or console). Does not own it.
class CppInStream : public RandomReadStream {
public:
    explicit CppInStream(std::istream& in);
    void read(void* dest, std::uint64_t count) override;
    bool atEnd() override;
    void setPosition(std::uint64_t position) override;
    std::uint64_t tell() override;
    std::uint64_t length() override;

private:
    std::istream& in_;
};

// Writes to a standard output stream. Does not own it.
class CppOutStream : public RandomWriteStream {
public:
    explicit CppOutStream(std::ostream& out);
    void write(const void* src, std::uint64_t count) override;
    void flush() override;
    void setPosition(std::uint64_t position) override;
    std::uint64_t tell() override;
    std::uint64_t length() override;

private:
    std::ostream& out_;
};

// Reads and writes an owning buffer; writing past the end grows it.
class BufferStream : public RandomReadWriteStream {
public:
    explicit BufferStream(IncrementalBuffer& buffer) : buffer_(buffer) {}
    void read(void* dest, std::uint64_t count) override;
    bool atEnd() override { return position_ >= buffer_.size(); }
    void write(const void* src, std::uint64_t count) override;
    void setPosition(std::uint64_t position) override;
    std::uint64_t tell() override { return position_; }
    std::uint64_t length() override { return buffer_.size(); }

private:
    IncrementalBuffer& buffer_;
    std::uint32_t position_ = 0;
};

// Reads a borrowed buffer.
class ConstBufferStream : public RandomReadStream {
public:
    explicit ConstBufferStream(const Buffer& buffer) : data_(buffer.data()), size_(buffer.size()) {}
    ConstBufferStream(const std::uint8_t* data, std::uint32_t size) : data_(data), size_(size) {}
    void read(void* dest, std::uint64_t count) override;
    void skip(std::uint64_t count) override;
    bool atEnd() override { return position_ >= size_; }
    void setPosition(std::uint64_t position) override;
    std::uint64_t tell() override { return position_; }
    std::uint64_t length() override { return size_; }

private:
    const std::uint8_t* data_;
    std::uint32_t size_;
    std::uint32_t position_ = 0;
};

class NullWriteStream : public WriteStream {
public:
    void write(const void*, std::uint64_t) override {}
};

// Counts what would be written; used to measure serialised sizes without storing them.
class SizeMeasureWriteStream : public WriteStream {
public:
    void write(const void*, std::uint64_t count) override { size_ += count; }
    std::uint64_t size() const { return size_; }

private:
    std::uint64_t size_ = 0;
};

// Visitor over fixed-size values. A Serializer writes each visited value, a Deserializer
// overwrites it with what it reads, so one serialize() routine serves both directions.
class Serialization {
public:
    virtual ~Serialization() = default;
    virtual void visit(std::uint8_t& v) = 0;
    virtual void visit(std::int8_t& v) = 0;
    virtual void visit(std::uint16_t& v) = 0;
    virtual void visit(std::int16_t& v) = 0;
    virtual void visit(std::uint32_t& v) = 0;
    virtual void visit(std::int32_t& v) = 0;
    virtual void visit(std::uint64_t& v) = 0;
    virtual void visit(std::int64_t& v) = 0;
    virtual void visit(float& v) = 0;
    virtual void visit(double& v) = 0;
};

class Serializable {
public:
    virtual ~Serializable() = default;
    virtual void serialize(Serialization& visitor) = 0;
};

// Writes values in the machine's (little-endian) byte order.
class Serializer : public Serialization {
public:
    explicit Serializer(WriteStream& out) : out_(out) {}
    void visit(std::uint8_t& v) override { out_.write(&v, 1); }
    void visit(std::int8_t& v) override { out_.write(&v, 1); }
    void visit(std::uint16_t& v) override { out_.write(&v, 2); }
    void visit(std::int16_t& v) override { out_.write(&v, 2); }
    void visit(std::uint32_t& v) override { out_.write(&v, 4); }
    void visit(std::int32_t& v) override { out_.write(&v, 4); }
    void visit(std::uint64_t& v) override { out_.write(&v, 8); }
    void visit(std::int64_t& v) override { out_.write(&v, 8); }
    void visit(float& v) override { out_.write(&v, 4); }
    void visit(double& v) override { out_.write(&v, 8); }

private:
    WriteStream& out_;
};

// Reads values in the machine's (little-endian) byte order.
class Deserializer : public Serialization {
public:
    explicit Deserializer(ReadStream& in) : in_(in) {}
    void visit(std::uint8_t& v) override { in_.read(&v, 1); }
    void visit(std::int8_t& v) override { in_.read(&v, 1); }
    void visit(std::uint16_t& v) override { in_.read(&v, 2); }
    void visit(std::int16_t& v) override { in_.read(&v, 2); }
    void visit(std::uint32_t& v) override { in_.read(&v, 4); }
    void visit(std::int32_t& v) override { in_.read(&v, 4); }
    void visit(std::uint64_t& v) override { in_.read(&v, 8); }
    void visit(std::int64_t& v) override { in_.read(&v, 8); }
    void visit(float& v) override { in_.read(&v, 4); }
    void visit(double& v) override { in_.read(&v, 8); }

private:
    ReadStream& in_;
};

// Reverses the bytes of every multi-byte value on its way to or from the wrapped visitor, so
// records pass through it big-endian. Swapping before and after the inner visit serves both
// directions: a writer sees the swapped copy, a reader's result is swapped back.
class SwapEndianess : public Serialization {
public:
    explicit SwapEndianess(Serialization& inner) : inner_(inner) {}
    void visit(std::uint8_t& v) override { inner_.visit(v); }
    void visit(std::int8_t& v) override { inner_.visit(v); }
    void visit(std::uint16_t& v) override { swapped(v); }
    void visit(std::int16_t& v) override { swapped(v); }
    void visit(std::uint32_t& v) override { swapped(v); }
    void visit(std::int32_t& v) override { swapped(v); }
    void visit(std::uint64_t& v) override { swapped(v); }
    void visit(std::int64_t& v) override { swapped(v); }
    void visit(float& v) override { swapped(v); }
    void visit(double& v) override { swapped(v); }

private:
    template <typename T> void swapped(T& v);
    Serialization& inner_;
};

// Text output for headers and status lines: text, decimal numbers and special sequences.
class LineWriter {
public:
    enum class LineEnd { LF = 0, CR = 1, CRLF = 2 };
    enum Special : unsigned { EndLine = 0, Tab = 1, Flush = 2 };

    LineWriter(WriteStream& out, LineEnd kind);
    LineWriter& text(std::string_view s);
    LineWriter& number(std::uint64_t n);
    // 0 writes the line end, 1 a tab, 2 flushes; anything else is an unexpected value.
    LineWriter& special(unsigned mode);
    LineWriter& endLine() { return special(EndLine); }

private:
    WriteStream& out_;
    const char* terminator_;
};

template <typename T> inline void SwapEndianess::swapped(T& v) {
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &v, sizeof(T));
    std::reverse(bytes, bytes + sizeof(T));
    T swappedValue;
    std::memcpy(&swappedValue, bytes, sizeof(T));
    inner_.visit(swappedValue);
    std::memcpy(bytes, &swappedValue, sizeof(T));
    std::reverse(bytes, bytes + sizeof(T));
    std::memcpy(&v, bytes, sizeof(T));
}

} // namespace ZELK
