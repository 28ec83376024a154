// Buffers, streams, the serialiser and the line writer.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <utility>

#include "core/streams.hpp"

using namespace ZELK;

namespace {

template <typename F> std::string messageOf(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.message();
    }
    return "(no exception)";
}

} // namespace

TEST(Streams, ShortReadsFailWithTheStreamText) {
    std::istringstream file(std::string("12345"));
    CppInStream in(file);
    char bytes[8];
    EXPECT_EQ(messageOf([&] { in.read(bytes, 8); }), "Failed to read from input stream. ");

    std::uint8_t data[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    ConstBufferStream buffer(data, 13);
    std::uint8_t record[13];
    buffer.read(record, 13);
    EXPECT_EQ(record[12], 13);
    EXPECT_TRUE(buffer.atEnd());
    EXPECT_EQ(messageOf([&] { buffer.read(record, 1); }), "Attempted to read over end of buffer. ");
}

TEST(Streams, WrappingFailedStreamsIsRefused) {
    std::istringstream failed;
    failed.setstate(std::ios::failbit);
    EXPECT_EQ(messageOf([&] { CppInStream in(failed); }), "Wrapping bad input stream. ");
    std::ostringstream bad;
    bad.setstate(std::ios::badbit);
    EXPECT_EQ(messageOf([&] { CppOutStream out(bad); }), "Wrapping bad output stream. ");
}

TEST(Streams, SeekRewindsAndAtEndPeeks) {
    std::istringstream file(std::string("abc"));
    CppInStream in(file);
    char c[3];
    in.read(c, 3);
    EXPECT_TRUE(in.atEnd());
    in.seek(0, 0);
    EXPECT_FALSE(in.atEnd());
    in.read(c, 1);
    EXPECT_EQ(c[0], 'a');
    EXPECT_EQ(in.tell(), 1u);
    EXPECT_EQ(in.length(), 3u);
    EXPECT_EQ(in.tell(), 1u);
}

TEST(Streams, BufferStreamGrowsWhenWritingPastTheEnd) {
    IncrementalBuffer buffer;
    const std::uint8_t initial[6] = {1, 2, 3, 4, 5, 6};
    buffer.assign(initial, 6);
    BufferStream stream(buffer);
    stream.setPosition(4);
    const std::uint8_t ten[10] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    stream.write(ten, 10);
    ASSERT_EQ(buffer.size(), 14u);
    EXPECT_EQ(buffer.data()[3], 4);
    EXPECT_EQ(buffer.data()[4], 9);
    EXPECT_EQ(buffer.data()[13], 9);
    stream.setPosition(0);
    std::uint8_t back[14];
    stream.read(back, 14);
    EXPECT_EQ(back[0], 1);
    EXPECT_EQ(messageOf([&] { stream.read(back, 1); }), "Attempted to read over end of buffer. ");
}

TEST(Streams, SkipUntilConsumesThroughThePattern) {
    std::uint8_t data[] = {'x', 'a', 'b', 'a', 'b', 'c', 'y'};
    ConstBufferStream in(data, sizeof data);
    const std::uint8_t pattern[] = {'a', 'b', 'c'};
    in.skipUntil(pattern, 3);
    EXPECT_EQ(in.tell(), 6u);
    const std::uint8_t newline = '\n';
    EXPECT_EQ(messageOf([&] { in.skipUntil(&newline, 1); }),
              "Attempted to read over end of buffer. ");
}

TEST(Buffers, GrowthKeepsPrefixAndRangesAreChecked) {
    IncrementalBuffer buffer(2, 2);
    buffer.data()[0] = 7;
    buffer.data()[1] = 8;
    std::uint8_t* tail = buffer.appendSpace(3);
    tail[0] = 9;
    EXPECT_EQ(buffer.size(), 5u);
    EXPECT_EQ(buffer.capacity(), 5u); // the larger of twice the old capacity and the new size
    EXPECT_EQ(buffer.data()[0], 7);
    EXPECT_EQ(buffer.data()[2], 9);
    buffer.resizeKeep(6);
    EXPECT_EQ(buffer.capacity(), 10u);
    EXPECT_EQ(buffer.data()[1], 8);
    buffer.append(buffer.data(), 2); // appending from itself survives the reallocation
    EXPECT_EQ(buffer.data()[6], 7);
    EXPECT_EQ(buffer.data()[7], 8);
    EXPECT_NO_THROW(buffer.range(6, 2));
    EXPECT_EQ(messageOf([&] { buffer.range(7, 2); }), "Value (9) out of bound (8). ");

    const std::uint8_t bytes[3] = {1, 2, 3};
    BorrowConstBuffer view(bytes, 3);
    EXPECT_EQ(std::as_const(view).range(1, 2)[0], 2);
    EXPECT_EQ(messageOf([&] { static_cast<Buffer&>(view).data(); }),
              "Failed to access buffer fully because it is const. ");
}

TEST(Serialization, SwapEndianessWritesBigEndianAndReadsItBack) {
    IncrementalBuffer buffer;
    BufferStream stream(buffer);
    Serializer plain(stream);
    SwapEndianess big(plain);
    std::uint32_t thirteen = 0x0000000D;
    std::uint16_t word = 0x1234;
    std::uint8_t byte = 0xAB;
    double value = -2.75;
    big.visit(thirteen);
    big.visit(word);
    big.visit(byte);
    big.visit(value);
    plain.visit(word);
    ASSERT_EQ(buffer.size(), 4u + 2 + 1 + 8 + 2);
    const std::uint8_t expected[] = {0x00, 0x00, 0x00, 0x0D, 0x12, 0x34, 0xAB};
    EXPECT_EQ(0, std::memcmp(buffer.data(), expected, sizeof expected));
    EXPECT_EQ(buffer.data()[15], 0x34); // the plain serialiser stays little-endian
    EXPECT_EQ(thirteen, 0x0Du);         // writing leaves the values untouched

    stream.setPosition(0);
    Deserializer reader(stream);
    SwapEndianess bigReader(reader);
    std::uint32_t a = 0;
    std::uint16_t b = 0;
    std::uint8_t c = 0;
    double d = 0;
    bigReader.visit(a);
    bigReader.visit(b);
    bigReader.visit(c);
    bigReader.visit(d);
    EXPECT_EQ(a, 0x0Du);
    EXPECT_EQ(b, 0x1234);
    EXPECT_EQ(c, 0xAB);
    EXPECT_EQ(d, -2.75);
}

TEST(LineWriter, TerminatorsAndSpecialSequences) {
    IncrementalBuffer buffer;
    BufferStream stream(buffer);
    LineWriter crlf(stream, LineWriter::LineEnd::CRLF);
    crlf.text("P").number(5).endLine().special(LineWriter::Tab).number(4294967295u);
    LineWriter cr(stream, LineWriter::LineEnd::CR);
    cr.endLine();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size()),
              "P5\r\n\t4294967295\r");
    EXPECT_EQ(messageOf([&] { crlf.special(3); }), "3 is not a known special text sequence. ");
}

TEST(Streams, MeasuringAndDiscardingStreams) {
    SizeMeasureWriteStream measure;
    Serializer s(measure);
    std::uint64_t big = 1;
    float f = 1;
    s.visit(big);
    s.visit(f);
    EXPECT_EQ(measure.size(), 12u);
    NullWriteStream null;
    EXPECT_NO_THROW(null.write("x", 1));
}
