// The inflater against zlib's own streams of many payloads, levels and strategies, whole,
// cut short and under output limits; hand-made damaged streams; the stored-block writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

// Payloads that drive zlib into every kind of block: incompressible bytes (stored blocks of
// the largest size and beyond), runs (distance 1), text (short codes, many matches), rare
// symbols (codes longer than the root tables), far copies (long distances, 258-byte matches)
// and a short mix of all.
std::map<std::string, Bytes> makePayloads() {
    std::mt19937 rng(7);
    auto below = [&](std::uint32_t n) {
        return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(rng);
    };
    std::map<std::string, Bytes> p;
    p["empty"] = {};
    p["one"] = {'x'};
    for (int i = 0; i < 70000; ++i)
        p["random"].push_back(static_cast<std::uint8_t>(below(256)));
    while (p["runs"].size() < 40000)
        p["runs"].insert(p["runs"].end(), 1 + below(300), static_cast<std::uint8_t>(below(256)));
    const std::vector<std::string> words = {"line ",     "sketch ", "stroke ", "pen ",
                                            "vector ",   "curve\n", "a ",      "the ",
                                            "polyline ", "corner "};
    while (p["text"].size() < 40000) {
        const std::string& word = words[below(static_cast<std::uint32_t>(words.size()))];
        p["text"].insert(p["text"].end(), word.begin(), word.end());
    }
    std::geometric_distribution<int> rare(0.3);
    for (int i = 0; i < 60000; ++i)
        p["skewed"].push_back(static_cast<std::uint8_t>(std::min(rare(rng), 255)));
    Bytes& far = p["far"];
    for (int i = 0; i < 3000; ++i)
        far.push_back(static_cast<std::uint8_t>(below(256)));
    while (far.size() < 120000) {
        const std::uint32_t back = 1 + below(std::min<std::uint32_t>(32768, far.size()));
        const std::size_t from = far.size() - back;
        for (std::uint32_t k = 0, n = 3 + below(600); k < n; ++k)
            far.push_back(far[from + k]);
        far.push_back(static_cast<std::uint8_t>(below(256)));
    }
    for (const char* part : {"text", "skewed", "random", "runs", "far"})
        p["short"].insert(p["short"].end(), p[part].begin(), p[part].begin() + 1500);
    return p;
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
        std::string args;
        for (auto [level, strategy] : settings)
            args += " " + std::to_string(level) + "." + std::to_string(strategy);
        const std::string script =
            "import sys, os, zlib\n"
            "d = sys.argv[1]\n"
            "for name in os.listdir(d):\n"
            "    data = open(os.path.join(d, name), 'rb').read()\n"
            "    for s in sys.argv[2:]:\n"
            "        level, strategy = map(int, s.split('.'))\n"
            "        for wbits in (-15, 15):\n"
            "            z = zlib.compressobj(level, zlib.DEFLATED, wbits, 9, strategy)\n"
            "            out = open(os.path.join(d, f'{name}.{s}.{wbits}'), 'wb')\n"
            "            out.write(z.compress(data) + z.flush())\n";
        PenvexTest::writeFile(dir / "make.py", script);
        const std::string streams = (dir / "streams").string();
        std::filesystem::create_directory(streams);
        for (const auto& [name, data] : c.payloads)
            PenvexTest::writeFile(streams + "/" + name, std::string(data.begin(), data.end()));
        c.status = std::system(
            ("/usr/bin/python3 '" + (dir / "make.py").string() + "' '" + streams + "'" + args)
                .c_str());
        for (const auto& entry : std::filesystem::directory_iterator(streams))
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

TEST(InflateZlib, GivesBackEveryPayload) {
    const Corpus& c = corpus();
    ASSERT_EQ(c.status, 0) << "python3 with zlib is needed";
    ASSERT_EQ(c.streams.size(), c.payloads.size() * settings.size() * 2);
    // Bytes after a raw stream stay unread; a wrapped stream stops before its 4-byte checksum.
    const Bytes trailer = {0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    Inflater inflater; // one instance for all: no state may leak from one stream to the next
    for (const auto& [name, payload] : c.payloads)
        for (auto setting : settings)
            for (int wbits : {-15, 15}) {
                const std::string k = key(name, setting, wbits);
                SCOPED_TRACE(k);
                Bytes stream = c.streams.at(k);
                ASSERT_FALSE(stream.empty());
                std::size_t length = stream.size();
                if (wbits > 0) {
                    stream.erase(stream.begin(), stream.begin() + 2);
                    length -= 6;
                } else {
                    stream.insert(stream.end(), trailer.begin(), trailer.end());
                }
                for (bool chunked : {true, false}) {
                    const Outcome o = inflateBytes(inflater, stream, chunked);
                    ASSERT_EQ(o.error, "") << chunked;
                    ASSERT_EQ(o.output.size(), payload.size()) << chunked;
                    ASSERT_TRUE(o.output == payload) << chunked;
                    ASSERT_EQ(o.consumed, length) << chunked;
                }
            }

    // Two streams back to back: the second call starts on the byte after the one where the
    // first stream ended, inside that byte or not.
    for (auto setting : {std::pair{6, 0}, {0, 0}, {1, 4}}) {
        Bytes both = c.streams.at(key("text", setting, -15));
        const Bytes& second = c.streams.at(key("skewed", {9, 0}, -15));
        both.insert(both.end(), second.begin(), second.end());
        ConstBufferStream source(both.data(), static_cast<std::uint32_t>(both.size()));
        IncrementalBuffer first, next;
        inflater.inflate(source, first);
        inflater.inflate(source, next);
        EXPECT_TRUE(bytesOf(first) == c.payloads.at("text"));
        EXPECT_TRUE(bytesOf(next) == c.payloads.at("skewed"));
        EXPECT_TRUE(source.atEnd());
    }
}

TEST(InflateZlib, StreamCutShortFailsWithWhatWasDecodedKept) {
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

TEST(InflateZlib, StopsOnceTheOutputPassesTheLimit) {
    const Corpus& c = corpus();
    ASSERT_EQ(c.status, 0) << "python3 with zlib is needed";
    const Bytes& payload = c.payloads.at("text");
    // Level 0 gives stored blocks, level 9 compressed ones.
    for (auto setting : {std::pair{0, 0}, {9, 0}}) {
        SCOPED_TRACE(setting.first);
        const Bytes& stream = c.streams.at(key("text", setting, -15));
        Inflater inflater;
        for (std::uint64_t limit : {std::uint64_t(0), std::uint64_t(1000), payload.size() - 1}) {
            const Outcome o = inflateBytes(inflater, stream, true, limit);
            EXPECT_EQ(o.error, "limit");
            EXPECT_LE(o.output.size(), limit + 300);
        }
        const Outcome exact = inflateBytes(inflater, stream, true, payload.size());
        EXPECT_EQ(exact.error, "");
        EXPECT_TRUE(exact.output == payload);
    }
}

// The fixed literal/length code of a symbol.
void fixedLiteral(BitWriter& w, std::uint32_t s) {
    if (s < 144)
        w.code(0x30 + s, 8);
    else if (s < 256)
        w.code(0x190 + s - 144, 9);
    else if (s < 280)
        w.code(s - 256, 7);
    else
        w.code(0xC0 + s - 280, 8);
}

TEST(InflateDamaged, RefusesWithTheExactMessage) {
    // Each stream is one final block (first bits 1 and the type); the destination already
    // holds "earlier", which is not part of the stream's history and stays, with whatever was
    // decoded before the error.
    auto fixed = [](BitWriter& w, const std::string& literals) {
        w.bits(1, 1);
        w.bits(1, 2);
        for (char ch : literals)
            fixedLiteral(w, static_cast<std::uint8_t>(ch));
    };
    // A dynamic block header with no extra lengths, whose first four code-length code lengths
    // (for 16, 17, 18 and 0) are given.
    auto dynamic = [](BitWriter& w, std::initializer_list<std::uint32_t> lengths) {
        w.bits(1, 1);
        w.bits(2, 2);
        w.bits(0, 14);
        for (std::uint32_t l : lengths)
            w.bits(l, 3);
    };
    struct Row {
        const char* name;
        std::function<void(BitWriter&)> write;
        std::string message, output;
    };
    const Row rows[] = {
        {"empty", [](BitWriter&) {}, "Attempted to read over end of buffer. ", ""},
        {"reserved block type", [](BitWriter& w) { w.bits(7, 3); },
         "deflate : Reserved block type detected. ", ""},
        {"stored length and complement differ",
         [](BitWriter& w) {
             w.bits(1, 3);
             w.bytes({5, 0, 0xFB, 0xFF, 'a', 'b', 'c', 'd', 'e'});
         },
         "deflate : Missmatching length and length complement in no compression block. ", ""},
        {"four codes of one bit",
         [&](BitWriter& w) {
             dynamic(w, {1, 1, 1, 1});
         },
         "deflate : Over-subscribed Huffman code lengths. ", ""},
        {"an unassigned code", // only symbol 0 has a code, "0"
         [&](BitWriter& w) {
             dynamic(w, {0, 0, 0, 1});
             w.code(1, 1);
         },
         "deflate : Invalid Huffman code. ", ""},
        {"zero runs past the literal list", // 0 is "0", 18 is "1"
         [&](BitWriter& w) {
             dynamic(w, {0, 0, 1, 1});
             for (int i = 0; i < 2; ++i) {
                 w.code(1, 1);
                 w.bits(127, 7);
             }
         },
         "deflate : Invalid number of code length symbols unpacked. ", ""},
        {"literal/length symbol 286",
         [&](BitWriter& w) {
             fixed(w, "hi");
             fixedLiteral(w, 286);
         },
         "deflate : Invalid literal/length symbol. ", "hi"},
        {"distance code 30",
         [&](BitWriter& w) {
             fixed(w, "a");
             fixedLiteral(w, 257);
             w.code(30, 5);
         },
         "deflate : Invalid distance symbol. ", "a"},
        {"distance 6 after five bytes",
         [&](BitWriter& w) {
             fixed(w, "hello");
             fixedLiteral(w, 257);
             w.code(4, 5); // distances 5 and 6, one extra bit
             w.bits(1, 1);
             fixedLiteral(w, 256);
         },
         "deflate : Back reference refer beyond beginning of buffer. ", "hello"},
    };
    const Bytes earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    Inflater inflater;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        BitWriter w;
        row.write(w);
        Bytes expected = earlier;
        expected.insert(expected.end(), row.output.begin(), row.output.end());
        for (bool chunked : {true, false}) {
            const Outcome o =
                inflateBytes(inflater, w.finish(), chunked, Inflater::unlimited, earlier);
            EXPECT_EQ(o.error, row.message) << chunked;
            EXPECT_EQ(o.output, expected) << chunked;
        }
    }
}

TEST(DeflateStored, RoundTripsAcrossBlockBoundaries) {
    // A stored block holds up to 65535 bytes behind a 5-byte header; nothing gives no stream.
    for (std::uint32_t size : {0u, 1u, 65535u, 65536u, 3 * 65535u + 17}) {
        Bytes source(size);
        for (std::uint32_t i = 0; i < size; ++i)
            source[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
        IncrementalBuffer written;
        BufferStream out(written);
        deflateStored(source.data(), size, out);
        EXPECT_EQ(written.size(), size + 5 * ((size + 65534) / 65535)) << size;
        EXPECT_EQ(deflateStoredSize(size), written.size());
        Inflater inflater;
        if (size > 0) {
            EXPECT_EQ(inflateBytes(inflater, bytesOf(written)).output, source);
        }
    }
}

} // namespace
} // namespace ZELK::Migration
