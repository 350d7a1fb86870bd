// Tests of the LZH codec: round trips, the exact stream for small cases, the encoder's
// parsing choices, rejection of corrupt streams, and one-at-a-time use from many threads.
#include "app/LHARoutines.h"

#include "tests/app/LzhTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

namespace {

using lzhtest::Bytes;
using lzhtest::CompressBytes;
using lzhtest::ExpandBytes;

// MSB-first bit writer for hand-made streams; Finish() prepends the size field.
class StreamBuilder {
public:
    StreamBuilder& Bits(int n, std::uint32_t v)
    {
        for (int i = n - 1; i >= 0; --i) {
            if (bit_ % 8 == 0)
                body_.push_back(0);
            if ((v >> i) & 1)
                body_.back() |= static_cast<std::uint8_t>(0x80 >> (bit_ % 8));
            ++bit_;
        }
        return *this;
    }
    // A block header that uses the single-symbol forms for all three codes.
    StreamBuilder& SingleSymbolBlock(std::uint32_t blockSize, std::uint32_t symbol,
                                     std::uint32_t position = 0)
    {
        return Bits(16, blockSize)
            .Bits(5, 0)
            .Bits(5, 0)
            .Bits(9, 0)
            .Bits(9, symbol)
            .Bits(4, 0)
            .Bits(4, position);
    }
    Bytes Finish(std::uint32_t size) const
    {
        Bytes out = {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
                     static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 24)};
        out.insert(out.end(), body_.begin(), body_.end());
        out.insert(out.end(), 8, 0);  // slack so only the tables can be at fault
        return out;
    }

private:
    Bytes body_;
    std::size_t bit_ = 0;
};

std::string CorruptDetail(const Bytes& packed)
{
    try {
        ExpandBytes(packed);
    } catch (const app::ECorruptFile& e) {
        EXPECT_EQ(e.Message(), "Compressed file is corrupt");
        return e.Detail();
    }
    ADD_FAILURE() << "stream was accepted";
    return {};
}

Bytes RoundTrip(const Bytes& data) { return ExpandBytes(CompressBytes(data)); }

// ---- round trips

TEST(LHARoutinesRoundTrip, SamplesOfEveryKindSurviveUnchanged)
{
    for (std::size_t size :
         {1u, 2u, 3u, 4u, 255u, 256u, 257u, 8191u, 8192u, 8193u, 16384u, 16640u, 70000u, 300000u}) {
        for (const auto& sample : {lzhtest::TextSample(size, 1), lzhtest::BinarySample(size, 2),
                                   lzhtest::RandomSample(size, 3), lzhtest::RunsSample(size, 4)}) {
            ASSERT_EQ(RoundTrip(sample), sample) << "size " << size;
        }
    }
}

TEST(LHARoutinesRoundTrip, SeveralMebibytesOfMixedDataSurvive)
{
    Bytes data;
    for (std::uint32_t seed = 0; data.size() < 3u << 20; ++seed) {
        const auto text = lzhtest::TextSample(200000, seed);
        const auto bin = lzhtest::BinarySample(150000, seed);
        const auto rnd = lzhtest::RandomSample(50000, seed);
        const auto runs = lzhtest::RunsSample(100000, seed);
        for (const auto* part : {&text, &bin, &rnd, &runs})
            data.insert(data.end(), part->begin(), part->end());
    }
    const Bytes packed = CompressBytes(data);
    EXPECT_LT(packed.size(), data.size());
    EXPECT_EQ(ExpandBytes(packed), data);
}

TEST(LHARoutinesRoundTrip, MatchesAtTheFarEdgeOfTheWindowAreEncodedCorrectly)
{
    // A random block repeated at distances just inside and just outside 8 KiB.
    for (std::size_t gap : {8189u, 8190u, 8191u, 8192u, 8193u}) {
        Bytes data = lzhtest::RandomSample(gap, 7);
        const Bytes head(data.begin(), data.begin() + 600);
        data.insert(data.end(), head.begin(), head.end());
        EXPECT_EQ(RoundTrip(data), data) << "gap " << gap;
    }
}

TEST(LHARoutinesRoundTrip, EveryByteValueAndEveryShortRunLengthSurvives)
{
    Bytes data;
    for (int run = 1; run <= 300; ++run)
        data.insert(data.end(), static_cast<std::size_t>(run), static_cast<std::uint8_t>(run * 37));
    for (int b = 0; b < 256; ++b)
        data.push_back(static_cast<std::uint8_t>(b));
    EXPECT_EQ(RoundTrip(data), data);
}

TEST(LHARoutinesRoundTrip, SkewedFrequenciesNeedingCodeLengthLimitSurvive)
{
    // Fibonacci-like symbol frequencies give a Huffman tree deeper than 16 levels.
    Bytes data;
    std::uint64_t a = 1, b = 1;
    for (int sym = 0; sym < 26; ++sym) {
        data.insert(data.end(), static_cast<std::size_t>(std::min<std::uint64_t>(a, 60000)),
                    static_cast<std::uint8_t>('a' + sym));
        const auto c = a + b;
        a = b;
        b = c;
    }
    // Shuffle deterministically so the symbols are literals, not runs.
    std::mt19937 rng(11);
    std::shuffle(data.begin(), data.end(), rng);
    EXPECT_EQ(RoundTrip(data), data);
}

// ---- the stream itself

TEST(LHARoutinesStream, EmptySourceWritesNothingAndEmptyStreamExpandsToNothing)
{
    EXPECT_TRUE(CompressBytes({}).empty());
    EXPECT_TRUE(ExpandBytes({}).empty());
}

TEST(LHARoutinesStream, OneByteUsesTheSingleSymbolForms)
{
    // size 1; block of 1 symbol; no code-length code; literal/length code of the single 'A';
    // single position symbol 0; 'A' itself takes no bits; 7 end bits; padding.
    const Bytes expected = {0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x04, 0x10, 0x00, 0x00};
    EXPECT_EQ(CompressBytes({'A'}), expected);
    EXPECT_EQ(ExpandBytes(expected), Bytes{'A'});
}

TEST(LHARoutinesStream, SizeFieldIsLittleEndianUncompressedSize)
{
    const Bytes data = lzhtest::TextSample(0x012345, 5);
    const Bytes packed = CompressBytes(data);
    ASSERT_GE(packed.size(), 4u);
    EXPECT_EQ(packed[0], 0x45);
    EXPECT_EQ(packed[1], 0x23);
    EXPECT_EQ(packed[2], 0x01);
    EXPECT_EQ(packed[3], 0x00);
}

TEST(LHARoutinesStream, HundredThousandEqualBytesAreOneLiteralThenLongestMatches)
{
    const Bytes data(100000, 'x');
    const Bytes packed = CompressBytes(data);
    EXPECT_LT(packed.size(), 200u);
    lzhtest::ReferenceReader reader(Bytes(packed.begin() + 4, packed.end()));
    const auto symbols = reader.ReadSymbols(data.size());
    ASSERT_EQ(symbols.size(), 1u + 391u);
    EXPECT_FALSE(symbols[0].match);
    EXPECT_EQ(symbols[0].value, 'x');
    for (std::size_t i = 1; i < 391; ++i) {
        ASSERT_TRUE(symbols[i].match) << i;
        EXPECT_EQ(symbols[i].value, 256u) << i;
        EXPECT_EQ(symbols[i].distance, 1u) << i;
    }
    EXPECT_EQ(symbols.back().value, 99999u - 390u * 256u);
    EXPECT_EQ(ExpandBytes(packed), data);
}

TEST(LHARoutinesStream, LazyParsingPrefersTheLongerMatchOneByteLater)
{
    // At the last "abcdefgh" the match "abc" (3) loses to "bcdefgh" (7) one byte later.
    const std::string s = "bcdefghXYZabcQRSabcdefgh";
    const Bytes data(s.begin(), s.end());
    const Bytes packed = CompressBytes(data);
    lzhtest::ReferenceReader reader(Bytes(packed.begin() + 4, packed.end()));
    const auto symbols = reader.ReadSymbols(data.size());
    ASSERT_GE(symbols.size(), 3u);
    const auto& last = symbols.back();
    const auto& beforeLast = symbols[symbols.size() - 2];
    EXPECT_FALSE(beforeLast.match);
    EXPECT_EQ(beforeLast.value, 'a');
    EXPECT_TRUE(last.match);
    EXPECT_EQ(last.value, 7u);
    EXPECT_EQ(last.distance, 17u);
}

TEST(LHARoutinesStream, BlocksAreCutWhenTheBufferFills)
{
    // The block buffer takes a flag byte per 8 entries, 1 byte per literal and 3 per match;
    // a block is sent when a flag byte is due and 16,360 bytes are in use.
    for (const auto& data : {lzhtest::RandomSample(100000, 9), lzhtest::BinarySample(400000, 10)}) {
        const Bytes packed = CompressBytes(data);
        lzhtest::ReferenceReader reader(Bytes(packed.begin() + 4, packed.end()));
        const auto symbols = reader.ReadSymbols(data.size());
        std::vector<std::uint32_t> expected;
        std::uint32_t used = 0;
        std::uint32_t inBlock = 0;
        for (const auto& s : symbols) {
            if (inBlock % 8 == 0) {
                if (used >= 16360) {
                    expected.push_back(inBlock);
                    used = 0;
                    inBlock = 0;
                }
                ++used;
            }
            used += s.match ? 3 : 1;
            ++inBlock;
        }
        expected.push_back(inBlock);
        EXPECT_EQ(reader.BlockSizes(), expected);
        EXPECT_GT(expected.size(), 5u);
        // The whole stream is used: after the symbols come 7 end bits and the byte padding.
        EXPECT_LE((packed.size() - 4) * 8 - reader.BitsUsed(), 14u);
        EXPECT_GE((packed.size() - 4) * 8 - reader.BitsUsed(), 7u);
    }
}

TEST(LHARoutinesStream, ReferenceReaderAgreesWithOurDecoderOnEverySample)
{
    for (const auto& data :
         {lzhtest::TextSample(40000, 21), lzhtest::BinarySample(40000, 22), lzhtest::RunsSample(40000, 23)}) {
        const Bytes packed = CompressBytes(data);
        lzhtest::ReferenceReader reader(Bytes(packed.begin() + 4, packed.end()));
        Bytes rebuilt;
        for (const auto& s : reader.ReadSymbols(data.size())) {
            if (!s.match) {
                rebuilt.push_back(static_cast<std::uint8_t>(s.value));
                continue;
            }
            ASSERT_LE(s.distance, rebuilt.size());
            ASSERT_LE(s.distance, 8191u) << "match reaches outside the dictionary";
            for (std::uint32_t k = 0; k < s.value; ++k)
                rebuilt.push_back(rebuilt[rebuilt.size() - s.distance]);
        }
        EXPECT_EQ(rebuilt, data);
    }
}

TEST(LHARoutinesStream, CompressRewindsTheSourceAndAppendsToTheDestination)
{
    const Bytes data = lzhtest::TextSample(5000, 3);
    rtl::TMemoryStream in;
    in.WriteBuffer(data.data(), static_cast<std::int32_t>(data.size()));  // position at the end
    rtl::TMemoryStream out;
    out.WriteBuffer("HEAD", 4);
    app::Compress(in, out);
    EXPECT_EQ(out.Size(), 4 + static_cast<std::int64_t>(CompressBytes(data).size()));

    rtl::TMemoryStream packed;
    const Bytes p = CompressBytes(data);
    packed.WriteBuffer(p.data(), static_cast<std::int32_t>(p.size()));
    rtl::TMemoryStream expanded;
    expanded.WriteBuffer("HEAD", 4);
    app::Expand(packed, expanded);
    ASSERT_EQ(expanded.Size(), 4 + static_cast<std::int64_t>(data.size()));
    EXPECT_EQ(Bytes(expanded.Bytes().begin() + 4, expanded.Bytes().end()), data);
}

// A stream that claims a size it never delivers, to reach the 4 GiB limit cheaply.
class HugeStream : public rtl::TStream {
public:
    std::int32_t Read(void*, std::int32_t) override { return 0; }
    std::int32_t Write(const void*, std::int32_t) override { return 0; }
    std::int64_t Seek(std::int64_t, rtl::TSeekOrigin origin) override
    {
        return origin == rtl::soEnd ? size_ : 0;
    }
    std::int64_t Size() override { return size_; }
    std::int64_t size_ = (4ll << 30);
};

TEST(LHARoutinesStream, SourcesOf4GiBOrMoreAreRefusedBeforeWriting)
{
    HugeStream huge;
    rtl::TMemoryStream out;
    EXPECT_THROW(app::Compress(huge, out), rtl::EInvalidArgument);
    EXPECT_EQ(out.Size(), 0);
}

TEST(LHARoutinesStream, SourceShorterThanItsSizeRaisesAReadError)
{
    HugeStream lying;
    lying.size_ = 1000;
    rtl::TMemoryStream out;
    EXPECT_THROW(app::Compress(lying, out), rtl::EReadError);
}

// ---- corrupt streams

TEST(LHARoutinesRejects, StreamsTooShortForTheSizeField)
{
    for (const Bytes& b : {Bytes{1}, Bytes{1, 0}, Bytes{1, 0, 0}})
        EXPECT_FALSE(CorruptDetail(b).empty());
}

TEST(LHARoutinesRejects, CodeLengthTableCountBeyondItsAlphabet)
{
    StreamBuilder s;
    s.Bits(16, 1).Bits(5, 20);
    EXPECT_NE(CorruptDetail(s.Finish(1)).find("exceeds 19"), std::string::npos);
}

TEST(LHARoutinesRejects, LiteralLengthCountBeyondItsAlphabet)
{
    StreamBuilder s;
    // Code-length code: symbols 0..2 with lengths 1,2,2 (0, 10, 11).
    s.Bits(16, 1).Bits(5, 3).Bits(3, 1).Bits(3, 2).Bits(3, 2).Bits(2, 0).Bits(9, 511);
    EXPECT_NE(CorruptDetail(s.Finish(1)).find("exceeds 510"), std::string::npos);
}

TEST(LHARoutinesRejects, PositionCountBeyondItsAlphabet)
{
    StreamBuilder s;
    s.Bits(16, 1).Bits(5, 0).Bits(5, 0).Bits(9, 0).Bits(9, 'A').Bits(4, 15);
    EXPECT_NE(CorruptDetail(s.Finish(1)).find("exceeds 14"), std::string::npos);
}

TEST(LHARoutinesRejects, ZeroRunPastTheEndOfTheLiteralAlphabet)
{
    StreamBuilder s;
    // Code-length code: symbols 0..2 with lengths 1,2,2: "0" = one zero, "10" = short run,
    // "11" = long run. 500 zeros + a long run of 20 + 0x1FF passes 510.
    s.Bits(16, 1).Bits(5, 3).Bits(3, 1).Bits(3, 2).Bits(3, 2).Bits(2, 0).Bits(9, 510);
    s.Bits(2, 3).Bits(9, 480);  // 500 zeros
    s.Bits(2, 3).Bits(9, 0);    // 20 more: 520 > 510
    EXPECT_NE(CorruptDetail(s.Finish(1)).find("zero run"), std::string::npos);
}

TEST(LHARoutinesRejects, OverfilledCodeSpace)
{
    StreamBuilder s;
    // Code-length code with three codes of length 1.
    s.Bits(16, 1).Bits(5, 3).Bits(3, 1).Bits(3, 1).Bits(3, 1).Bits(2, 0);
    EXPECT_NE(CorruptDetail(s.Finish(1)).find("complete code"), std::string::npos);
}

TEST(LHARoutinesRejects, CodeSpaceOverfilledByAWholeMultiple)
{
    // Four codes of length 1 sum to exactly twice the code space; a modulo test misses it.
    StreamBuilder s;
    s.Bits(16, 1).Bits(5, 4).Bits(3, 1).Bits(3, 1).Bits(3, 1).Bits(2, 0).Bits(3, 1);
    EXPECT_NE(CorruptDetail(s.Finish(1)).find("complete code"), std::string::npos);
}

TEST(LHARoutinesRejects, IncompleteCode)
{
    StreamBuilder s;
    s.Bits(16, 1).Bits(5, 2).Bits(3, 1).Bits(3, 2);
    EXPECT_NE(CorruptDetail(s.Finish(1)).find("complete code"), std::string::npos);
}

TEST(LHARoutinesRejects, CodeLengthLongerThan16)
{
    StreamBuilder s;
    // 7 followed by ten 1 bits is length 17.
    s.Bits(16, 1).Bits(5, 1).Bits(3, 7).Bits(10, 0x3FF).Bits(1, 0);
    EXPECT_NE(CorruptDetail(s.Finish(1)).find("exceeds 16"), std::string::npos);
}

TEST(LHARoutinesRejects, ZeroBlockSize)
{
    StreamBuilder s;
    s.Bits(16, 0);
    EXPECT_NE(CorruptDetail(s.Finish(1)).find("zero symbols"), std::string::npos);
}

TEST(LHARoutinesRejects, SingleSymbolOutsideTheAlphabetWhenUsed)
{
    StreamBuilder lit;
    lit.SingleSymbolBlock(1, 510);
    EXPECT_NE(CorruptDetail(lit.Finish(1)).find("invalid code"), std::string::npos);

    StreamBuilder pos;
    pos.SingleSymbolBlock(1, 256, 14);  // a match needs the bad position code
    EXPECT_NE(CorruptDetail(pos.Finish(3)).find("invalid code"), std::string::npos);
}

TEST(LHARoutinesRejects, EmptyCodeWhenUsed)
{
    StreamBuilder s;
    // Literal/length code whose 5 listed lengths are all zero, then a symbol is read from it.
    s.Bits(16, 1).Bits(5, 0).Bits(5, 0).Bits(9, 5).Bits(4, 0).Bits(4, 0);
    EXPECT_NE(CorruptDetail(s.Finish(1)).find("empty"), std::string::npos);
}

TEST(LHARoutinesAccepts, JunkSingleSymbolInAnUnusedCode)
{
    StreamBuilder s;
    s.SingleSymbolBlock(2, 'Q', 15);  // position code is junk but no match uses it
    const Bytes packed = s.Finish(2);
    EXPECT_EQ(ExpandBytes(packed), (Bytes{'Q', 'Q'}));
}

TEST(LHARoutinesAccepts, MatchesBeforeTheStartSeeSpaces)
{
    StreamBuilder s;
    s.SingleSymbolBlock(1, 256 + 5 - 3, 1);  // match of 5 at distance 2 with nothing before
    EXPECT_EQ(ExpandBytes(s.Finish(5)), Bytes(5, ' '));
}

TEST(LHARoutinesRejects, EveryTruncationOfAValidStream)
{
    const Bytes data = lzhtest::TextSample(30000, 17);
    const Bytes packed = CompressBytes(data);
    // Dropping the last byte may only drop padding; dropping two always loses symbol bits.
    for (std::size_t keep = 4; keep + 2 <= packed.size(); keep += 1 + keep / 64) {
        const Bytes cut(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(keep));
        EXPECT_THROW(ExpandBytes(cut), app::ECorruptFile) << "kept " << keep << " of " << packed.size();
    }
}

TEST(LHARoutinesRejects, TruncatedHugeClaimStopsEarly)
{
    // 4 GiB claimed from 4 bytes: must not try to write gigabytes of zeros first.
    rtl::TMemoryStream in;
    const Bytes b = {0xFF, 0xFF, 0xFF, 0xFF};
    in.WriteBuffer(b.data(), 4);
    rtl::TMemoryStream out;
    EXPECT_THROW(app::Expand(in, out), app::ECorruptFile);
    EXPECT_LE(out.Size(), 8192);
}

TEST(LHARoutinesRejects, BitFlipsNeverCrashAndEitherDecodeOrRaise)
{
    const Bytes data = lzhtest::BinarySample(20000, 31);
    const Bytes packed = CompressBytes(data);
    std::mt19937 rng(5);
    for (int trial = 0; trial < 400; ++trial) {
        Bytes bad = packed;
        for (int k = 0; k < 1 + trial % 4; ++k)
            bad[4 + rng() % (bad.size() - 4)] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        try {
            EXPECT_EQ(ExpandBytes(bad).size(), data.size());
        } catch (const app::ECorruptFile&) {
        }
    }
}

// ---- concurrency

TEST(LHARoutinesThreads, ConcurrentCallsSerialiseAndStayCorrect)
{
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 4; ++i) {
                const Bytes data = (t % 2) ? lzhtest::TextSample(60000 + 1000 * t, t * 10 + i)
                                           : lzhtest::BinarySample(60000 + 1000 * t, t * 10 + i);
                if (RoundTrip(data) != data)
                    ++failures;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
