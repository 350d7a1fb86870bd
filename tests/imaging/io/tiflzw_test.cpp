// Tests of the TIFF LZW codec: strips libtiff wrote, our own round trips, and hostile strips.
#include "imaging/io/tiflzw.h"

#include "tiff_test_util.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using codectest::DataPath;
using codectest::ParseTiff;
using codectest::ReadFile;

// Writes codes most significant bit first with the reader's width rules, for hand-made strips.
class CodeWriter {
public:
    void Put(int code, int width)
    {
        for (int i = width - 1; i >= 0; --i) {
            cur_ = static_cast<std::uint8_t>((cur_ << 1) | ((code >> i) & 1));
            if (++bits_ == 8) {
                out_.push_back(cur_);
                cur_ = 0;
                bits_ = 0;
            }
        }
    }
    std::vector<std::uint8_t> Bytes()
    {
        auto out = out_;
        if (bits_)
            out.push_back(static_cast<std::uint8_t>(cur_ << (8 - bits_)));
        return out;
    }

private:
    std::vector<std::uint8_t> out_;
    std::uint8_t cur_ = 0;
    int bits_ = 0;
};

std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& data, std::size_t chunk = 0)
{
    rtl::TMemoryStream out;
    imaging::TIFFLZWEncodeStatePtr state;
    if (chunk == 0)
        chunk = data.size() ? data.size() : 1;
    for (std::size_t at = 0; at < data.size(); at += chunk)
        imaging::TIFFLZWCompress(data.data() + at,
                                 static_cast<std::int64_t>(std::min(chunk, data.size() - at)), out, state);
    imaging::TIFFLZWCompress(nullptr, 0, out, state);
    EXPECT_FALSE(state);
    return out.Bytes();
}

// Decodes whole rows until the data end; fails the test on a decoder error.
std::vector<std::uint8_t> Decompress(const std::vector<std::uint8_t>& strip, std::int32_t rowLength,
                                     std::int32_t rows)
{
    std::vector<std::uint8_t> out;
    imaging::TIFFLZWDecodeStatePtr state;
    for (std::int32_t r = 0; r < rows; ++r) {
        std::int32_t got = 0;
        const std::uint8_t* row = imaging::TIFFLZWDecompress(
            strip.data(), static_cast<std::int64_t>(strip.size()), rowLength, state, &got);
        if (row == nullptr) {
            ADD_FAILURE() << "decoder error at row " << r;
            break;
        }
        out.insert(out.end(), row, row + got);
        if (got < rowLength)
            break;
    }
    imaging::TIFFLZWDecompress(nullptr, 0, rowLength, state);
    EXPECT_FALSE(state);
    return out;
}

class LibtiffLzwStrips : public ::testing::TestWithParam<const char*> {};

TEST_P(LibtiffLzwStrips, DecodeToTheUncompressedTwinByteForByte)
{
    const std::string name = GetParam();
    const auto lzw = ParseTiff(ReadFile(DataPath(name + "_lzw.tif")));
    const auto raw = ParseTiff(ReadFile(DataPath(name + "_none.tif")));
    ASSERT_EQ(lzw.compression, 5u);
    ASSERT_EQ(lzw.strips.size(), (lzw.height + lzw.rowsPerStrip - 1) / lzw.rowsPerStrip);
    std::vector<std::uint8_t> all, expected;
    for (std::size_t s = 0; s < lzw.strips.size(); ++s) {
        const auto rows = Decompress(lzw.strips[s], static_cast<std::int32_t>(lzw.RowBytes()),
                                     static_cast<std::int32_t>(lzw.RowsInStrip(s)));
        all.insert(all.end(), rows.begin(), rows.end());
    }
    for (const auto& s : raw.strips)
        expected.insert(expected.end(), s.begin(), s.end());
    ASSERT_EQ(all.size(), expected.size());
    EXPECT_TRUE(all == expected);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, LibtiffLzwStrips, ::testing::Values("grey", "bilevel", "wide"));

TEST(TiffLzwRoundTrip, RandomAndRepetitiveDataSurviveEveryChunking)
{
    std::mt19937 rng(42);
    for (int kind = 0; kind < 4; ++kind) {
        std::vector<std::uint8_t> data(kind == 3 ? 200000 : 30011);
        for (std::size_t i = 0; i < data.size(); ++i) {
            switch (kind) {
            case 0: data[i] = static_cast<std::uint8_t>(rng()); break;      // table fills, clears
            case 1: data[i] = static_cast<std::uint8_t>(rng() % 3); break;  // long strings
            case 2: data[i] = 7; break;                                     // one growing string
            default: data[i] = static_cast<std::uint8_t>((i / 97) ^ (rng() % 2)); break;
            }
        }
        for (std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{333}}) {
            const auto packed = Compress(data, chunk);
            for (std::int32_t rowLength : {1, 7, 1000, 30011}) {
                const std::int32_t rows =
                    static_cast<std::int32_t>((data.size() + rowLength - 1) / rowLength);
                EXPECT_EQ(Decompress(packed, rowLength, rows), data)
                    << "kind " << kind << " chunk " << chunk << " row " << rowLength;
            }
        }
    }
}

TEST(TiffLzwEncoder, SwitchesToTenBitCodesAfterCode510IsAssigned)
{
    // Bytes whose neighbouring pairs never repeat, so every byte but the last becomes one literal code.
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 256; ++i)
        data.push_back(static_cast<std::uint8_t>(i));
    for (int i = 0; i < 60; ++i)
        data.push_back(static_cast<std::uint8_t>(i * 2));
    const auto packed = Compress(data);
    std::int64_t bit = 0;
    auto read = [&](int width) {
        int v = 0;
        for (int i = 0; i < width; ++i, ++bit)
            v = (v << 1) | ((packed[static_cast<std::size_t>(bit >> 3)] >> (7 - (bit & 7))) & 1);
        return v;
    };
    EXPECT_EQ(read(9), 256);
    // Codes 258..510 are assigned after the first 253 data codes; the 255th data code is wide.
    for (int i = 0; i < 254; ++i)
        ASSERT_EQ(read(9), data[static_cast<std::size_t>(i)]) << i;
    for (std::size_t i = 254; i + 1 < data.size(); ++i)
        ASSERT_EQ(read(10), data[i]) << i;
}

TEST(TiffLzwDecoder, StripWithoutLeadingClearCodeDecodesAsFreshTable)
{
    CodeWriter w;
    w.Put('A', 9);
    w.Put('B', 9);
    w.Put(258, 9);  // "AB"
    w.Put(260, 9);  // KwKwK case: "ABA"
    w.Put(257, 9);
    EXPECT_EQ(Decompress(w.Bytes(), 7, 1), (std::vector<std::uint8_t>{'A', 'B', 'A', 'B', 'A', 'B', 'A'}));
}

TEST(TiffLzwDecoder, RejectsCodePastTheNextFreeCode)
{
    CodeWriter w;
    w.Put(256, 9);
    w.Put('A', 9);
    w.Put(300, 9);
    const auto strip = w.Bytes();
    imaging::TIFFLZWDecodeStatePtr state;
    EXPECT_EQ(imaging::TIFFLZWDecompress(strip.data(), static_cast<std::int64_t>(strip.size()), 4, state),
              nullptr);
    imaging::TIFFLZWDecompress(nullptr, 0, 4, state);
}

TEST(TiffLzwDecoder, RejectsATableGrowingPast4096Entries)
{
    CodeWriter w;
    w.Put(256, 9);
    int next = 258;
    int width = 9;
    w.Put(1, width);
    for (int i = 0; i < 4000; ++i) {
        w.Put(i & 0xFF, width);
        ++next;
        if (next == 511)
            width = 10;
        if (next == 1023)
            width = 11;
        if (next == 2047)
            width = 12;
    }
    const auto strip = w.Bytes();
    imaging::TIFFLZWDecodeStatePtr state;
    std::int32_t got = 0;
    EXPECT_EQ(
        imaging::TIFFLZWDecompress(strip.data(), static_cast<std::int64_t>(strip.size()), 8000, state, &got),
        nullptr);
    imaging::TIFFLZWDecompress(nullptr, 0, 8000, state);
}

TEST(TiffLzwDecoder, RejectsClearFollowedByATableCode)
{
    CodeWriter w;
    w.Put(256, 9);
    w.Put(258, 9);
    const auto strip = w.Bytes();
    imaging::TIFFLZWDecodeStatePtr state;
    EXPECT_EQ(imaging::TIFFLZWDecompress(strip.data(), static_cast<std::int64_t>(strip.size()), 2, state),
              nullptr);
}

TEST(TiffLzwDecoder, TruncatedStripHandsOutAShortLastRowInsteadOfReadingOn)
{
    std::vector<std::uint8_t> data(5000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    auto packed = Compress(data);
    packed.resize(packed.size() / 2);
    const auto out = Decompress(packed, 100, 50);
    ASSERT_LT(out.size(), data.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
}

TEST(TiffLzwDecoder, RejectsNonPositiveRowLength)
{
    const std::uint8_t strip[] = {0x80, 0x00};
    imaging::TIFFLZWDecodeStatePtr state;
    EXPECT_EQ(imaging::TIFFLZWDecompress(strip, 2, 0, state), nullptr);
    EXPECT_EQ(imaging::TIFFLZWDecompress(strip, 2, -5, state), nullptr);
}

}  // namespace
