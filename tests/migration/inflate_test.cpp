// The inflater against zlib's own streams of several payloads, levels and strategies, whole,
// cut short and under output limits, and on hand-made damaged streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "codec_support.hpp"
#include "migration/inflate.hpp"

namespace ZELK::Migration {
namespace {

using namespace Testing;

struct Outcome {
    Bytes output;
    std::string error;
    std::size_t consumed = 0;
};

// Inflates from a buffer stream (read in chunks) or a sequential one (read byte by byte),
// appending to `before`.
Outcome inflateBytes(Inflater& inflater, const Bytes& stream, bool chunked = true,
                     std::uint64_t limit = Inflater::unlimited, const Bytes& before = {}) {
    Outcome o;
    IncrementalBuffer out;
    out.append(before.data(), static_cast<std::uint32_t>(before.size()));
    ConstBufferStream buffered(stream.data(), static_cast<std::uint32_t>(stream.size()));
    SequentialStream sequential(stream);
    auto result = Inflater::Result::Complete;
    o.error = messageOf([&] {
        result =
            inflater.inflate(chunked ? static_cast<ReadStream&>(buffered) : sequential, out, limit);
    });
    o.consumed = chunked ? buffered.tell() : sequential.position();
    if (o.error.empty())
        o.error = result == Inflater::Result::LimitExceeded ? "limit" : "";
    o.output = bytesOf(out);
    return o;
}

// Level and strategy pairs given to zlib: every level with the default strategy, the others
// (filtered, Huffman only, run-length, fixed codes) at a fast and a thorough level.
const std::vector<std::pair<int, int>> settings = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0},
                                                   {6, 0}, {7, 0}, {8, 0}, {9, 0}, {1, 1}, {9, 1},
                                                   {1, 2}, {9, 2}, {1, 3}, {9, 3}, {1, 4}, {9, 4}};

// The system's Python makes payloads that drive zlib into every kind of block: incompressible
// bytes (stored blocks of the largest size and beyond), and a mix of runs (distance 1), words
// (short codes), rare symbols (codes longer than the root tables) and far copies (258-byte
// matches, long distances); "short" is a piece of both. Their raw (window bits -15) and
// zlib-wrapped (15) streams are keyed "payload.level.strategy.wbits".
struct Corpus {
    int status = -1;
    std::map<std::string, Bytes> payloads, streams;
};

const Corpus& corpus() {
    static const Corpus c = [] {
        const PenvexTest::ScratchDir dir;
        PenvexTest::writeFile(dir / "make.py", R"(
import random, sys, zlib
r, d = random.Random(7), sys.argv[1]
noise, mix = r.randbytes(70000), bytearray()
words = [b"line ", b"sketch ", b"stroke ", b"pen ", b"curve\n", b"the "]
while len(mix) < 200000:
    n, kind, run = r.randint(1, 600), r.randrange(4), r.randrange(256)
    back = r.randint(1, min(32768, len(mix) + 1))
    for _ in range(n):
        if kind == 0: mix.append(run)
        elif kind == 1: mix += r.choice(words)
        elif kind == 2 or back > len(mix): mix.append(min(int(r.expovariate(0.35)), 255))
        else: mix.append(mix[-back])
payloads = {"empty": b"", "one": b"x", "random": noise, "mixed": mix}
payloads["short"] = mix[:6000] + noise[:1500]
for name, data in payloads.items():
    open(f"{d}/{name}", "wb").write(data)
    for s in sys.argv[2:]:
        level, strategy = map(int, s.split("."))
        for wbits in (-15, 15):
            z = zlib.compressobj(level, zlib.DEFLATED, wbits, 9, strategy)
            open(f"{d}/{name}.{s}.{wbits}", "wb").write(z.compress(data) + z.flush())
)");
        std::string command = "/usr/bin/python3 '" + (dir / "make.py").string() + "' '" +
                              (dir / "out").string() + "'";
        for (auto [level, strategy] : settings)
            command += " " + std::to_string(level) + "." + std::to_string(strategy);
        std::filesystem::create_directory(dir / "out");
        Corpus c;
        c.status = std::system(command.c_str());
        for (const auto& entry : std::filesystem::directory_iterator(dir / "out")) {
            const std::string name = entry.path().filename().string();
            (name.find('.') == std::string::npos ? c.payloads : c.streams)[name] =
                fixtureBytes(entry.path().string());
        }
        return c;
    }();
    return c;
}

std::string key(const std::string& payload, std::pair<int, int> setting, int wbits) {
    return payload + "." + std::to_string(setting.first) + "." + std::to_string(setting.second) +
           "." + std::to_string(wbits);
}

TEST(InflateZlib, GivesBackEveryPayloadStopsAtItsEndAndFailsCutShort) {
    const Corpus& c = corpus();
    ASSERT_EQ(c.status, 0) << "python3 with zlib is needed";
    ASSERT_EQ(c.payloads.size(), 5u);
    ASSERT_EQ(c.streams.size(), 5 * settings.size() * 2);
    // Bytes after a raw stream stay unread; a wrapped one stops before its 4-byte checksum.
    const Bytes trailer = {0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    Inflater inflater; // one instance for all: no state may leak from one stream to the next
    for (const auto& [name, payload] : c.payloads)
        for (auto setting : settings)
            for (int wbits : {-15, 15}) {
                SCOPED_TRACE(key(name, setting, wbits));
                Bytes stream = c.streams.at(key(name, setting, wbits));
                std::size_t length = stream.size();
                if (wbits > 0)
                    stream.erase(stream.begin(), stream.begin() + 2), length -= 6;
                else
                    stream.insert(stream.end(), trailer.begin(), trailer.end());
                for (bool chunked : {true, false}) {
                    const Outcome o = inflateBytes(inflater, stream, chunked);
                    ASSERT_EQ(o.error, "") << chunked;
                    ASSERT_TRUE(o.output == payload) << chunked << ": " << o.output.size();
                    ASSERT_EQ(o.consumed, length) << chunked;
                }
                // Past a limit, decoding stops no more than one match beyond it.
                const Outcome half = inflateBytes(inflater, stream, true, payload.size() / 2);
                ASSERT_EQ(half.error, payload.empty() ? "" : "limit");
                ASSERT_TRUE(half.output.size() <= payload.size() / 2 + 258 &&
                            std::equal(half.output.begin(), half.output.end(), payload.begin()));
                ASSERT_EQ(inflateBytes(inflater, stream, true, payload.size()).error, "");
                // Cut short, a stream fails on reading and keeps what it decoded.
                for (std::size_t cut = 0; name == "short" && cut < length; cut += 5)
                    for (bool chunked : {true, false}) {
                        const Outcome o = inflateBytes(
                            inflater, Bytes(stream.begin(), stream.begin() + cut), chunked);
                        ASSERT_EQ(o.error, "Attempted to read over end of buffer. ") << cut;
                        ASSERT_LE(o.output.size(), payload.size()) << cut;
                        ASSERT_TRUE(std::equal(o.output.begin(), o.output.end(), payload.begin()));
                    }
            }
}

TEST(InflateDamaged, RefusesWithTheExactMessage) {
    // One final block each (bit 1, then the type in two bits). The destination already holds
    // "earlier": it is no part of the stream's history and stays, with what was decoded before
    // the error.
    struct Row {
        Bytes stream;
        std::string output, message;
    } rows[] = {{{}, "", "Attempted to read over end of buffer. "},
                {{0x07}, "", "deflate : Reserved block type detected. "},
                // Stored, length 5 with complement 0xFFFB.
                {{0x01, 0x05, 0x00, 0xFB, 0xFF, 'a', 'b'},
                 "",
                 "deflate : Missmatching length and length complement in no compression block. "},
                // Dynamic, no extra lengths, code-length code lengths for 16, 17, 18 and 0 only:
                // all four of one bit; only 0 with a code ("0"), then "1"; 0 and 18 with a code,
                // then two runs of 138 zeros for 257 literal/length code lengths.
                {{0x05, 0x00, 0x92, 0x04}, "", "deflate : Over-subscribed Huffman code lengths. "},
                {{0x05, 0x00, 0x00, 0x24}, "", "deflate : Invalid Huffman code. "},
                {{0x05, 0x00, 0x80, 0xE4, 0xFF, 0x1F},
                 "",
                 "deflate : Invalid number of code length symbols unpacked. "},
                // Fixed codes: literals, then literal/length 286; a length 3 with distance code 30;
                // a length 3 at distance 6.
                {{0xCB, 0xC8, 0x1C, 0x03}, "hi", "deflate : Invalid literal/length symbol. "},
                {{0x4B, 0x04, 0x3E}, "a", "deflate : Invalid distance symbol. "},
                {{0xCB, 0x48, 0xCD, 0xC9, 0xC9, 0x07, 0x92, 0x00},
                 "hello",
                 "deflate : Back reference refer beyond beginning of buffer. "}};
    const Bytes earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    Inflater inflater;
    for (const Row& row : rows)
        for (bool chunked : {true, false}) {
            SCOPED_TRACE(row.message + (chunked ? " in chunks" : " byte by byte"));
            const Outcome o =
                inflateBytes(inflater, row.stream, chunked, Inflater::unlimited, earlier);
            EXPECT_EQ(o.error, row.message);
            EXPECT_EQ(std::string(o.output.begin(), o.output.end()), "earlier" + row.output);
        }
}

} // namespace
} // namespace ZELK::Migration
