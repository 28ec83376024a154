// Stream implementations with their exact failure texts.
#include "core/streams.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace ZELK {

namespace {

constexpr std::uint64_t maxStreamCount =
    static_cast<std::uint64_t>(std::numeric_limits<std::streamsize>::max());

void checkPlatformCount(std::uint64_t count) {
    if (count > maxStreamCount)
        throw BoundException<unsigned long long>(count, maxStreamCount);
}

// Buffer streams address bytes with a 32-bit position.
std::uint32_t checkedEnd(std::uint32_t position, std::uint64_t count) {
    std::uint64_t end = std::uint64_t(position) + count;
    if (count > 0xFFFFFFFFull || end > 0xFFFFFFFFull)
        throw BoundException<unsigned long long>(end, 0xFFFFFFFFull);
    return static_cast<std::uint32_t>(end);
}

} // namespace

void ReadStream::skip(std::uint64_t count) {
    std::uint8_t scratch[4096];
    while (count > 0) {
        std::uint64_t n = std::min<std::uint64_t>(count, sizeof scratch);
        read(scratch, n);
        count -= n;
    }
}

void ReadStream::skipUntil(const std::uint8_t* pattern, std::uint32_t length) {
    if (length == 0)
        return;
    // Ring of the last `length` bytes read; compared against the pattern after every byte.
    std::vector<std::uint8_t> ring(length, 0);
    std::uint64_t seen = 0;
    std::uint32_t head = 0;
    for (;;) {
        std::uint8_t byte;
        read(&byte, 1);
        ring[head] = byte;
        head = (head + 1) % length;
        ++seen;
        if (seen < length)
            continue;
        bool match = true;
        for (std::uint32_t i = 0; i < length && match; ++i)
            match = ring[(head + i) % length] == pattern[i];
        if (match)
            return;
    }
}

void RandomStream::seek(std::int64_t offset, int whence) {
    // Relative modes clamp at 0 so that a seek never lands before the start.
    std::int64_t base = 0;
    if (whence == 1)
        base = static_cast<std::int64_t>(tell());
    else if (whence == 2)
        base = static_cast<std::int64_t>(length());
    std::int64_t target = base + offset;
    setPosition(target < 0 ? 0 : static_cast<std::uint64_t>(target));
}

CppInStream::CppInStream(std::istream& in) : in_(in) {
    if (!in_.good())
        throw StreamException("Wrapping bad input stream. ");
}

void CppInStream::read(void* dest, std::uint64_t count) {
    checkPlatformCount(count);
    if (count == 0)
        return;
    in_.read(static_cast<char*>(dest), static_cast<std::streamsize>(count));
    if (static_cast<std::uint64_t>(in_.gcount()) != count)
        throw StreamException("Failed to read from input stream. ");
}

bool CppInStream::atEnd() {
    return in_.peek() == std::char_traits<char>::eof();
}

void CppInStream::setPosition(std::uint64_t position) {
    checkPlatformCount(position);
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(position), std::ios::beg);
    if (in_.fail())
        throw StreamException("Could not seek to position " + std::to_string(position));
}

std::uint64_t CppInStream::tell() {
    in_.clear();
    std::streamoff position = in_.tellg();
    if (position < 0)
        throw StreamException("Failed to tell current position in input stream. ");
    return static_cast<std::uint64_t>(position);
}

std::uint64_t CppInStream::length() {
    std::uint64_t here = tell();
    in_.seekg(0, std::ios::end);
    std::streamoff end = in_.tellg();
    setPosition(here);
    if (end < 0)
        throw StreamException("Failed to tell current position in input stream. ");
    return static_cast<std::uint64_t>(end);
}

CppOutStream::CppOutStream(std::ostream& out) : out_(out) {
    if (!out_.good())
        throw StreamException("Wrapping bad output stream. ");
}

void CppOutStream::write(const void* src, std::uint64_t count) {
    checkPlatformCount(count);
    if (count == 0)
        return;
    out_.write(static_cast<const char*>(src), static_cast<std::streamsize>(count));
    if (!out_.good())
        throw StreamException("Failed to write to output stream. ");
}

void CppOutStream::flush() {
    out_.flush();
    if (!out_.good())
        throw StreamException("Failed to flush output stream. ");
}

void CppOutStream::setPosition(std::uint64_t position) {
    checkPlatformCount(position);
    out_.seekp(static_cast<std::streamoff>(position), std::ios::beg);
    if (out_.fail())
        throw StreamException("Failed to seek to position " + std::to_string(position));
}

std::uint64_t CppOutStream::tell() {
    std::streamoff position = out_.tellp();
    if (position < 0)
        throw StreamException("Failed to tell current position in output stream. ");
    return static_cast<std::uint64_t>(position);
}

std::uint64_t CppOutStream::length() {
    std::uint64_t here = tell();
    out_.seekp(0, std::ios::end);
    std::streamoff end = out_.tellp();
    setPosition(here);
    if (end < 0)
        throw StreamException("Failed to tell current position in output stream. ");
    return static_cast<std::uint64_t>(end);
}

void BufferStream::read(void* dest, std::uint64_t count) {
    std::uint32_t end = checkedEnd(position_, count);
    if (end > buffer_.size())
        throw StreamException("Attempted to read over end of buffer. ");
    if (count > 0)
        std::memcpy(dest, buffer_.data() + position_, count);
    position_ = end;
}

void BufferStream::write(const void* src, std::uint64_t count) {
    std::uint32_t end = checkedEnd(position_, count);
    if (end > buffer_.size())
        buffer_.resizeKeep(end);
    if (count > 0)
        std::memcpy(buffer_.data() + position_, src, count);
    position_ = end;
}

void BufferStream::setPosition(std::uint64_t position) {
    if (position > 0xFFFFFFFFull)
        throw BoundException<unsigned long long>(position, 0xFFFFFFFFull);
    position_ = static_cast<std::uint32_t>(position);
}

void ConstBufferStream::read(void* dest, std::uint64_t count) {
    std::uint32_t end = checkedEnd(position_, count);
    if (end > size_)
        throw StreamException("Attempted to read over end of buffer. ");
    if (count > 0)
        std::memcpy(dest, data_ + position_, count);
    position_ = end;
}

void ConstBufferStream::skip(std::uint64_t count) {
    std::uint32_t end = checkedEnd(position_, count);
    if (end > size_)
        throw StreamException("Attempted to read over end of buffer. ");
    position_ = end;
}

void ConstBufferStream::setPosition(std::uint64_t position) {
    if (position > 0xFFFFFFFFull)
        throw BoundException<unsigned long long>(position, 0xFFFFFFFFull);
    position_ = static_cast<std::uint32_t>(position);
}

LineWriter::LineWriter(WriteStream& out, LineEnd kind) : out_(out) {
    switch (kind) {
    case LineEnd::CR:
        terminator_ = "\r";
        break;
    case LineEnd::CRLF:
        terminator_ = "\r\n";
        break;
    default:
        terminator_ = "\n";
        break;
    }
}

LineWriter& LineWriter::text(std::string_view s) {
    out_.write(s.data(), s.size());
    return *this;
}

LineWriter& LineWriter::number(std::uint64_t n) {
    return text(std::to_string(n));
}

LineWriter& LineWriter::special(unsigned mode) {
    switch (mode) {
    case EndLine:
        return text(terminator_);
    case Tab:
        return text("\t");
    case Flush:
        out_.flush();
        return *this;
    default:
        throw UnexpectedValueException(std::to_string(mode), "a known special text sequence");
    }
}

} // namespace ZELK
