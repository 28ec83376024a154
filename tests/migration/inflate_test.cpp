// The inflater against zlib's own streams of several payloads, levels and strategies, whole,
// cut short and under output limits, and on hand-made damaged streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

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
    if (o.error == "(no exception)")
        o.error = result == Inflater::Result::LimitExceeded ? "limit" : "";
    o.output = bytesOf(out);
    return o;
}

// Level and strategy pairs given to zlib: every level with the default strategy, the others
// (filtered, Huffman only, run-length, fixed codes) at a fast and a thorough level.
const std::vector<std::pair<int, int>> settings = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0},
                                                   {6, 0}, {7, 0}, {8, 0}, {9, 0}, {1, 1}, {9, 1},
                                                   {1, 2}, {9, 2}, {1, 3}, {9, 3}, {1, 4}, {9, 4}};

// Payloads that drive zlib into every kind of block: incompressible bytes (stored blocks of the
// largest size and beyond), and a mix of runs (distance 1), words (short codes, many matches),
// rare symbols (codes longer than the root tables) and far copies (long distances, 258-byte
// matches); "short" is a piece of both.
std::map<std::string, Bytes> makePayloads() {
    std::mt19937 rng(7);
    auto below = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    };
    std::geometric_distribution<int> rare(0.3);
    const std::string words[] = {"line ", "sketch ", "stroke ", "pen ", "curve\n", "the "};
    Bytes random(70000), mixed;
    for (std::uint8_t& b : random)
        b = static_cast<std::uint8_t>(below(256));
    while (mixed.size() < 200000) {
        const std::size_t n = 1 + below(600),
                          back = 1 + below(std::min<std::size_t>(32768, mixed.size() + 1));
        for (std::size_t k = 0, kind = below(4), run = below(256); k < n; ++k)
            if (kind == 0)
                mixed.push_back(static_cast<std::uint8_t>(run));
            else if (kind == 1)
                for (char ch : words[below(6)])
                    mixed.push_back(static_cast<std::uint8_t>(ch));
            else if (kind == 2 || back > mixed.size())
                mixed.push_back(static_cast<std::uint8_t>(std::min(rare(rng), 255)));
            else
                mixed.push_back(mixed[mixed.size() - back]);
    }
    Bytes shortMix(mixed.begin(), mixed.begin() + 6000);
    shortMix.insert(shortMix.end(), random.begin(), random.begin() + 1500);
    return {
        {"empty", {}}, {"one", {'x'}}, {"random", random}, {"mixed", mixed}, {"short", shortMix}};
}

// zlib's raw (window bits -15) and zlib-wrapped (15) streams of every payload under every
// setting, made by the system's Python, keyed "payload.level.strategy.wbits".
struct Corpus {
    int status = -1;
    std::map<std::string, Bytes> payloads, streams;
};

const Corpus& corpus() {
    static const Corpus c = [] {
        Corpus c;
        c.payloads = makePayloads();
        const PenvexTest::ScratchDir dir;
        std::string command =
            "/usr/bin/python3 -c '\n"
            "import sys, os, zlib\n"
            "for name in os.listdir(sys.argv[1]):\n"
            "    path = os.path.join(sys.argv[1], name)\n"
            "    data = open(path, \"rb\").read()\n"
            "    for s in sys.argv[2:]:\n"
            "        level, strategy = map(int, s.split(\".\"))\n"
            "        for wbits in (-15, 15):\n"
            "            z = zlib.compressobj(level, zlib.DEFLATED, wbits, 9, strategy)\n"
            "            open(f\"{path}.{s}.{wbits}\", \"wb\").write(z.compress(data) + "
            "z.flush())\n"
            "' '" +
            dir.path().string() + "'";
        for (auto [level, strategy] : settings)
            command += " " + std::to_string(level) + "." + std::to_string(strategy);
        for (const auto& [name, data] : c.payloads)
            PenvexTest::writeFile(dir / name, std::string(data.begin(), data.end()));
        c.status = std::system(command.c_str());
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            if (!c.payloads.contains(entry.path().filename().string()))
                c.streams[entry.path().filename().string()] = fixtureBytes(entry.path().string());
        return c;
    }();
    return c;
}

std::string key(const std::string& payload, std::pair<int, int> setting, int wbits) {
    return payload + "." + std::to_string(setting.first) + "." + std::to_string(setting.second) +
           "." + std::to_string(wbits);
}

TEST(InflateZlib, GivesBackEveryPayloadAndStopsRightAfterTheStream) {
    const Corpus& c = corpus();
    ASSERT_EQ(c.status, 0) << "python3 with zlib is needed";
    ASSERT_EQ(c.streams.size(), c.payloads.size() * settings.size() * 2);
    // Bytes after a raw stream stay unread; a wrapped one stops before its 4-byte checksum.
    const Bytes trailer = {0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    Inflater inflater; // one instance for all: no state may leak from one stream to the next
    for (const auto& [name, payload] : c.payloads)
        for (auto setting : settings)
            for (int wbits : {-15, 15}) {
                SCOPED_TRACE(key(name, setting, wbits));
                Bytes stream = c.streams.at(key(name, setting, wbits));
                ASSERT_FALSE(stream.empty());
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
                // Past a limit, decoding stops within one match or stored block of it.
                const Outcome half = inflateBytes(inflater, stream, true, payload.size() / 2);
                ASSERT_EQ(half.error, payload.empty() ? "" : "limit");
                ASSERT_LE(half.output.size(), payload.size() / 2 + 258);
                ASSERT_TRUE(std::equal(half.output.begin(), half.output.end(), payload.begin()));
                ASSERT_EQ(inflateBytes(inflater, stream, true, payload.size()).error, "");
            }
}

TEST(InflateZlib, CutShortFailsWithWhatWasDecodedKept) {
    const Corpus& c = corpus();
    ASSERT_EQ(c.status, 0) << "python3 with zlib is needed";
    const Bytes& payload = c.payloads.at("short");
    Inflater inflater;
    for (auto setting : {std::pair{0, 0}, {6, 0}, {9, 2}, {1, 3}, {1, 4}}) {
        const Bytes& whole = c.streams.at(key("short", setting, -15));
        for (std::size_t cut = 0; cut < whole.size(); ++cut)
            for (bool chunked : {true, false}) {
                SCOPED_TRACE(key("short", setting, -15) + " cut at " + std::to_string(cut));
                const Outcome o =
                    inflateBytes(inflater, Bytes(whole.begin(), whole.begin() + cut), chunked);
                ASSERT_EQ(o.error, "Attempted to read over end of buffer. ");
                ASSERT_LE(o.output.size(), payload.size());
                ASSERT_TRUE(std::equal(o.output.begin(), o.output.end(), payload.begin()));
            }
    }
}

TEST(InflateDamaged, RefusesWithTheExactMessage) {
    // One final block each (bit 1, then the type in two bits). The destination already holds
    // "earlier": it is no part of the stream's history and stays, with what was decoded before
    // the error. The dynamic headers list no extra lengths and code-length code lengths for 16,
    // 17, 18 and 0 only; the fixed blocks give their literals, then a bad symbol.
    struct Row {
        const char* name;
        Bytes stream;
        std::string message, output;
    } rows[] = {
        {"empty", {}, "Attempted to read over end of buffer. ", ""},
        {"block type 3", {0x07}, "deflate : Reserved block type detected. ", ""},
        {"stored length 5 with complement 0xFFFB",
         {0x01, 0x05, 0x00, 0xFB, 0xFF, 'a', 'b'},
         "deflate : Missmatching length and length complement in no compression block. ",
         ""},
        {"four code-length codes of one bit",
         {0x05, 0x00, 0x92, 0x04},
         "deflate : Over-subscribed Huffman code lengths. ",
         ""},
        {"code 1 where only 0 has code 0",
         {0x05, 0x00, 0x00, 0x24},
         "deflate : Invalid Huffman code. ",
         ""},
        {"two runs of 138 zeros for 257 literal lengths",
         {0x05, 0x00, 0x80, 0xE4, 0xFF, 0x1F},
         "deflate : Invalid number of code length symbols unpacked. ",
         ""},
        {"hi, literal/length 286",
         {0xCB, 0xC8, 0x1C, 0x03},
         "deflate : Invalid literal/length symbol. ",
         "hi"},
        {"a, length 3, distance code 30",
         {0x4B, 0x04, 0x3E},
         "deflate : Invalid distance symbol. ",
         "a"},
        {"hello, length 3 at distance 6",
         {0xCB, 0x48, 0xCD, 0xC9, 0xC9, 0x07, 0x92, 0x00},
         "deflate : Back reference refer beyond beginning of buffer. ",
         "hello"},
    };
    const Bytes earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    Inflater inflater;
    for (const Row& row : rows)
        for (bool chunked : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (chunked ? " in chunks" : " byte by byte"));
            const Outcome o =
                inflateBytes(inflater, row.stream, chunked, Inflater::unlimited, earlier);
            EXPECT_EQ(o.error, row.message);
            EXPECT_EQ(std::string(o.output.begin(), o.output.end()), "earlier" + row.output);
        }
}

} // namespace
} // namespace ZELK::Migration
