// Tests of the skin reader's inflater, judged against zlib on the same streams.
#include "skin/SUI2Inflate.h"

#include "DeflateTestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

using test::ZlibDeflate;

// zlib's verdict: true and the output when the stream ends properly within `limit` bytes.
bool ZlibInflate(const Bytes& stream, std::size_t limit, Bytes& out)
{
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK)
        return false;
    out.assign(limit + 1, 0);
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    return rc == Z_STREAM_END && out.size() <= limit;
}

bool OurInflate(const Bytes& stream, std::int64_t limit, Bytes& out)
{
    rtl::TReadOnlyMemoryStream in(stream.data(), static_cast<std::int64_t>(stream.size()));
    rtl::TMemoryStream dest;
    try {
        std::int64_t n = skin::Inflate(in, dest, limit);
        EXPECT_EQ(n, dest.Size());
    } catch (const rtl::Exception&) {
        return false;
    }
    out = dest.Bytes();
    return true;
}

enum TSampleKind { skNoise, skRuns, skMixed, skRareFar, skText, kSampleKinds };

Bytes Sample(std::size_t size, int kind, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) {
        switch (kind) {
        case skNoise: b[i] = static_cast<std::uint8_t>(rng()); break;
        case skRuns: b[i] = static_cast<std::uint8_t>("skin data "[i % 10]); break;
        case skMixed: b[i] = static_cast<std::uint8_t>((i / 7) ^ (rng() % 3)); break;
        case skRareFar: test::FillRareFar(b, i, rng); break;
        default: {
            static const char* const words[] = {"skin ", "bitmap ", "colour ",  "integer ", "flag ", "the ",
                                                "of ",   "a ",      "record\n", "Button",   "Form"};
            const char* w = words[rng() % std::size(words)];
            for (; *w && i < size; ++w, ++i)
                b[i] = static_cast<std::uint8_t>(*w);
            --i;
            break;
        }
        }
    }
    return b;
}

// Streams from every zlib level and strategy on every kind of data: stored, fixed and dynamic
// blocks, long matches across the 64 KiB window flush, overlapping copies, and rare long literal
// codes followed by far matches.
TEST(InflateMatchesZlib, DecodesEveryLevelAndStrategy)
{
    struct TStrategy {
        int value;
        const char* name;
    };
    const TStrategy strategies[] = {{Z_DEFAULT_STRATEGY, "default"},
                                    {Z_FILTERED, "filtered"},
                                    {Z_HUFFMAN_ONLY, "huffman-only"},
                                    {Z_RLE, "rle"},
                                    {Z_FIXED, "fixed"}};
    struct TData {
        std::size_t size;
        int kind;
    };
    std::vector<TData> samples;
    for (std::size_t size : {0, 1, 258, 40000})
        for (int kind = 0; kind < kSampleKinds; ++kind)
            samples.push_back({size, kind});
    samples.push_back({150000, skRareFar});  // blocks large enough for 15-bit literal codes
    int refused = 0;
    for (const TData& sample : samples) {
        const Bytes data =
            Sample(sample.size, sample.kind, static_cast<std::uint32_t>(sample.size + sample.kind));
        for (int level = 0; level <= 9; ++level)
            for (const TStrategy& strategy : strategies)
                for (int memLevel : {8, 9}) {
                    const Bytes stream = ZlibDeflate(data, level, strategy.value, memLevel);
                    Bytes expected;
                    ASSERT_TRUE(ZlibInflate(stream, sample.size, expected));
                    ASSERT_EQ(expected, data);
                    Bytes out;
                    const bool ok = OurInflate(stream, static_cast<std::int64_t>(sample.size), out);
                    EXPECT_TRUE(ok) << "size " << sample.size << " kind " << sample.kind << " level " << level
                                    << " " << strategy.name << " memLevel " << memLevel;
                    if (ok) {
                        EXPECT_EQ(out, data) << "size " << sample.size << " kind " << sample.kind << " level "
                                             << level << " " << strategy.name << " memLevel " << memLevel;
                    }
                    refused += ok ? 0 : 1;
                }
    }
    EXPECT_EQ(refused, 0);
}

// Whatever zlib accepts in damaged streams, we must decode to the same bytes; the rest must
// fail cleanly (the sanitizers watch for out-of-bounds).
TEST(InflateMatchesZlib, AgreesOnDamagedStreams)
{
    std::mt19937 rng(1234);
    int zlibAccepted = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes data = Sample(1000 + rng() % 3000, static_cast<int>(rng() % 3), rng());
        Bytes stream = ZlibDeflate(data, static_cast<int>(rng() % 10), Z_DEFAULT_STRATEGY);
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < flips; ++i)
            stream[rng() % stream.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        const std::size_t limit = 8192;
        Bytes expected;
        Bytes actual;
        const bool ours = OurInflate(stream, limit, actual);
        if (ZlibInflate(stream, limit, expected)) {
            ++zlibAccepted;
            ASSERT_TRUE(ours) << "round " << round;
            ASSERT_EQ(actual, expected) << "round " << round;
        }
    }
    EXPECT_GT(zlibAccepted, 0);
}

TEST(InflateRejects, StreamCutBeforeItsLastBlock)
{
    Bytes data = Sample(5000, 2, 7);
    for (int level : {0, 1, 9}) {
        Bytes stream = ZlibDeflate(data, level, Z_DEFAULT_STRATEGY);
        for (std::size_t cut = 1; cut <= 40 && cut < stream.size(); ++cut) {
            Bytes shorter(stream.begin(), stream.end() - static_cast<std::ptrdiff_t>(cut));
            Bytes out;
            EXPECT_FALSE(OurInflate(shorter, 1 << 20, out)) << "level " << level << " cut " << cut;
        }
    }
}

TEST(InflateRejects, OutputBeyondTheLimit)
{
    Bytes data(100000, 'x');
    Bytes stream = ZlibDeflate(data, 9, Z_DEFAULT_STRATEGY);
    Bytes out;
    EXPECT_FALSE(OurInflate(stream, 99999, out));
    EXPECT_TRUE(OurInflate(stream, 100000, out));
}

TEST(InflateRejects, DistanceBeforeTheStartOfOutput)
{
    // Fixed block: literal 'a', then length 3 at distance 2 (only one byte exists).
    // Bits LSB first: BFINAL=1, BTYPE=01, 'a' = 0x91 (8 bits), len 257 = 0000001 (7 bits),
    // distance code 1 = 00001 (5 bits), end 0000000.
    std::uint64_t bits = 0;
    int n = 0;
    auto put = [&](std::uint32_t v, int count) {
        bits |= std::uint64_t{v} << n;
        n += count;
    };
    auto putCode = [&](std::uint32_t code, int len) {
        for (int i = len - 1; i >= 0; --i)
            put((code >> i) & 1u, 1);
    };
    put(1, 1);
    put(1, 2);
    putCode(0x30 + 'a', 8);
    putCode(1, 7);  // length symbol 257: 3
    putCode(1, 5);  // distance symbol 1: 2
    putCode(0, 7);  // end of block
    Bytes stream;
    for (int i = 0; i < n; i += 8)
        stream.push_back(static_cast<std::uint8_t>(bits >> i));
    Bytes out;
    Bytes zout;
    EXPECT_FALSE(ZlibInflate(stream, 100, zout));
    EXPECT_FALSE(OurInflate(stream, 100, out));
}

TEST(InflateRejects, OverSubscribedDynamicCodes)
{
    // Dynamic header whose code-length code gives four symbols length 1.
    std::uint64_t bits = 0;
    int n = 0;
    auto put = [&](std::uint32_t v, int count) {
        bits |= std::uint64_t{v} << n;
        n += count;
    };
    put(1, 1);
    put(2, 2);
    put(0, 5);
    put(0, 5);
    put(0, 4);  // four code-length codes: 16, 17, 18, 0
    for (int i = 0; i < 4; ++i)
        put(1, 3);
    Bytes stream;
    for (int i = 0; i < 64; i += 8)
        stream.push_back(static_cast<std::uint8_t>(bits >> i));
    stream.resize(stream.size() + 8, 0);
    Bytes out;
    Bytes zout;
    EXPECT_FALSE(ZlibInflate(stream, 100, zout));
    EXPECT_FALSE(OurInflate(stream, 100, out));
}

}  // namespace

namespace {

// The archive hands over the entry's bytes only; anything after the last block is not data.
TEST(InflateBuffer, StopsAtTheLastBlockAndHonoursTheExactLimit)
{
    const Bytes data = Sample(70000, 2, 5);
    for (int level : {0, 1, 9}) {
        Bytes stream = ZlibDeflate(data, level, Z_DEFAULT_STRATEGY);
        stream.insert(stream.end(), {0xFF, 0xFF, 0x00, 0x12});
        Bytes out = {1, 2, 3};
        EXPECT_EQ(skin::InflateBuffer(stream.data(), stream.size(), out, data.size()), data.size());
        EXPECT_EQ(out, data) << "level " << level;
        EXPECT_THROW(skin::InflateBuffer(stream.data(), stream.size(), out, data.size() - 1), rtl::Exception);
        EXPECT_THROW(skin::InflateBuffer(stream.data(), 0, out, data.size()), rtl::Exception);
    }
}

}  // namespace
