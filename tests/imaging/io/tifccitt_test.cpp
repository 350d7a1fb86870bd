// Tests of the CCITT codecs: strips libtiff wrote, code words we emit, round trips, hostile data.
#include "imaging/io/tifccitt.h"

#include "tiff_test_util.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using codectest::DataPath;
using codectest::ParseTiff;
using codectest::ReadFile;

enum class Coding { Huffman, G3_1D, G3_2D, G4 };

std::size_t RowBytes(int width) { return static_cast<std::size_t>((width + 7) / 8); }

bool PixelWhite(const std::vector<std::uint8_t>& rows, std::size_t rowBytes, int y, int x)
{
    return (rows[static_cast<std::size_t>(y) * rowBytes + static_cast<std::size_t>(x >> 3)] >>
            (7 - (x & 7))) &
           1;
}

// Decodes every row of one strip into decoder rows (1 = white).
std::vector<std::uint8_t> DecodeStrip(const std::vector<std::uint8_t>& strip, Coding coding, int width,
                                      int rows, int fillOrder, bool eolAligned)
{
    const std::size_t rb = RowBytes(width);
    std::vector<std::uint8_t> out(rb * static_cast<std::size_t>(rows) + 8, 0xA5);  // canary past the rows
    std::vector<std::uint8_t> ref(rb, 0xFF);
    const auto* d = strip.data();
    const auto n = static_cast<std::int64_t>(strip.size());
    std::int64_t pos = 0;
    for (int y = 0; y < rows; ++y) {
        std::uint8_t* row = out.data() + rb * static_cast<std::size_t>(y);
        switch (coding) {
        case Coding::Huffman:
            pos += imaging::CCITTDecodeHuffmanRow(d + std::min(pos, n), n - std::min(pos, n), row, width,
                                                  fillOrder);
            break;
        case Coding::G3_1D: pos = imaging::CCITTDecode1DRow(d, n, pos, row, width, fillOrder); break;
        default:
            pos = imaging::CCITTDecode2DRow(d, n, pos, row, ref.data(), width, fillOrder, eolAligned);
            break;
        }
    }
    for (std::size_t i = rb * static_cast<std::size_t>(rows); i < out.size(); ++i)
        EXPECT_EQ(out[i], 0xA5) << "decoder wrote past the last row";
    out.resize(rb * static_cast<std::size_t>(rows));
    return out;
}

// Encoder rows use 1 = black.
std::vector<std::uint8_t> EncodeRows(const std::vector<std::uint8_t>& rows, Coding coding, int width,
                                     int height)
{
    rtl::TMemoryStream out;
    imaging::TCCITTEncodeState state;
    const std::size_t rb = RowBytes(width);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = rows.data() + rb * static_cast<std::size_t>(y);
        switch (coding) {
        case Coding::Huffman: imaging::CCITTEncodeHuffmanRow(row, width, out); break;
        case Coding::G3_1D: imaging::CCITTEncodeG3Row1D(row, width, out, state); break;
        case Coding::G3_2D: imaging::CCITTEncodeG3Row(row, width, out, state); break;
        case Coding::G4: imaging::CCITTEncodeG4Row(row, width, out, state); break;
        }
    }
    switch (coding) {
    case Coding::Huffman: break;
    case Coding::G3_1D: imaging::CCITTEncodeG3Row1D(nullptr, width, out, state); break;
    case Coding::G3_2D: imaging::CCITTEncodeG3Row(nullptr, width, out, state); break;
    case Coding::G4: imaging::CCITTEncodeG4Row(nullptr, width, out, state); break;
    }
    EXPECT_TRUE(state.refRow.empty());
    EXPECT_EQ(state.pendingBits, 0);
    return out.Bytes();
}

// Rows mixing long runs, single pixels, dense noise and rows that start black.
std::vector<std::uint8_t> TestPage(int width, int height, unsigned seed)
{
    std::mt19937 rng(seed);
    const std::size_t rb = RowBytes(width);
    std::vector<std::uint8_t> rows(rb * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        const int kind = static_cast<int>(rng() % 5);
        int x = 0;
        int colour = kind == 4 ? 1 : 0;
        while (x < width) {
            int run = kind == 0   ? static_cast<int>(rng() % 4000)
                      : kind == 1 ? 1 + static_cast<int>(rng() % 3)
                                  : static_cast<int>(rng() % 90);
            if (y > 0 && kind == 2) {  // copy of the previous row, shifted: vertical modes
                run = 1 + static_cast<int>(rng() % 20);
            }
            for (int i = 0; i < run && x < width; ++i, ++x)
                if (colour)
                    rows[static_cast<std::size_t>(y) * rb + static_cast<std::size_t>(x >> 3)] |=
                        static_cast<std::uint8_t>(0x80 >> (x & 7));
            colour ^= 1;
        }
    }
    return rows;
}

std::vector<std::uint8_t> Invert(std::vector<std::uint8_t> rows)
{
    for (auto& b : rows)
        b = static_cast<std::uint8_t>(~b);
    return rows;
}

void ExpectSamePixels(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, int width,
                      int height)
{
    const std::size_t rb = RowBytes(width);
    ASSERT_EQ(a.size(), rb * static_cast<std::size_t>(height));
    ASSERT_EQ(b.size(), a.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(PixelWhite(a, rb, y, x), PixelWhite(b, rb, y, x)) << "row " << y << " column " << x;
}

struct Fixture {
    const char* file;
    Coding coding;
};

class LibtiffCcittStrips : public ::testing::TestWithParam<std::tuple<const char*, const char*>> {};

TEST_P(LibtiffCcittStrips, DecodeToTheUncompressedTwin)
{
    const std::string image = std::get<0>(GetParam());
    const std::string variant = std::get<1>(GetParam());
    const auto tif = ParseTiff(ReadFile(DataPath(image + "_" + variant + ".tif")));
    const auto raw = ParseTiff(ReadFile(DataPath(image + "_none.tif")));
    ASSERT_EQ(tif.bitsPerSample, 1u);
    Coding coding = tif.compression == 4 ? Coding::G4 : (tif.t4Options & 1) ? Coding::G3_2D : Coding::G3_1D;
    if (tif.compression == 2)
        coding = Coding::Huffman;
    std::vector<std::uint8_t> decoded, expected;
    for (std::size_t s = 0; s < tif.strips.size(); ++s) {
        const auto rows = DecodeStrip(tif.strips[s], coding, static_cast<int>(tif.width),
                                      static_cast<int>(tif.RowsInStrip(s)), static_cast<int>(tif.fillOrder),
                                      (tif.t4Options & 4) != 0);
        decoded.insert(decoded.end(), rows.begin(), rows.end());
    }
    for (const auto& s : raw.strips)
        expected.insert(expected.end(), s.begin(), s.end());
    // The coding's white is a 0 bit of the stored samples, whatever the photometric says; our
    // decoded rows say 1 = white.
    expected = Invert(expected);
    ExpectSamePixels(decoded, expected, static_cast<int>(tif.width), static_cast<int>(tif.height));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, LibtiffCcittStrips,
                         ::testing::Combine(::testing::Values("bilevel", "wide"),
                                            ::testing::Values("g3", "g3_2d", "g3_2d_fill", "g4", "g4_lsb")));

std::string Bits(const std::vector<std::uint8_t>& bytes, std::size_t count)
{
    std::string s;
    for (std::size_t i = 0; i < count && i / 8 < bytes.size(); ++i)
        s += ((bytes[i / 8] >> (7 - i % 8)) & 1) ? '1' : '0';
    return s;
}

TEST(CcittEncoder, RunOf3000WhiteUses2560Then384ThenTerminating56)
{
    std::vector<std::uint8_t> row(RowBytes(3000), 0);
    const auto out = EncodeRows(row, Coding::Huffman, 3000, 1);
    // 2560: 000000011111, 384: 00110111, 56: 01011001
    EXPECT_EQ(Bits(out, 28),
              "000000011111"
              "00110111"
              "01011001");
    EXPECT_EQ(out.size(), 4u);
}

TEST(CcittEncoder, RowStartingBlackBeginsWithAWhiteRunOfZero)
{
    std::vector<std::uint8_t> row{0xC0};  // 2 black, 6 white
    const auto out = EncodeRows(row, Coding::Huffman, 8, 1);
    // white 0: 00110101, black 2: 11, white 6: 1110
    EXPECT_EQ(Bits(out, 14),
              "00110101"
              "11"
              "1110");
}

TEST(CcittEncoder, Group4EndsWithEndOfBlockPaddedToAByte)
{
    std::vector<std::uint8_t> row(RowBytes(16), 0);
    const auto out = EncodeRows(row, Coding::G4, 16, 1);
    // An all-white row against the white reference is one V0 code.
    EXPECT_EQ(Bits(out, 25),
              "1"
              "000000000001"
              "000000000001");
    EXPECT_EQ(out.size(), 4u);
}

TEST(CcittEncoder, Group3TwoDimensionalTagsFirstRowOneDimensional)
{
    std::vector<std::uint8_t> rows(RowBytes(8) * 2, 0);
    const auto out = EncodeRows(rows, Coding::G3_2D, 8, 2);
    // EOL+1, white 8 (10011); EOL+0, V0 (1); closing EOL.
    EXPECT_EQ(Bits(out, 13 + 5 + 13 + 1 + 12),
              "0000000000011"
              "10011"
              "0000000000010"
              "1"
              "000000000001");
}

class CcittRoundTrip : public ::testing::TestWithParam<Coding> {};

TEST_P(CcittRoundTrip, OwnDecoderRestoresEveryPixel)
{
    // The widest rows are past what the 2-D decoder lists the changes of; it scans them instead.
    for (int width : {1, 7, 8, 63, 64, 65, 203, 1728, 2561, 5000, (1 << 20) + 9}) {
        const int height = width > 5000 ? 3 : 40;
        const auto page = TestPage(width, height, static_cast<unsigned>(width));
        const auto strip = EncodeRows(page, GetParam(), width, height);
        const auto decoded = DecodeStrip(strip, GetParam(), width, height, 1, false);
        ExpectSamePixels(decoded, Invert(page), width, height);
    }
}

INSTANTIATE_TEST_SUITE_P(Codings, CcittRoundTrip,
                         ::testing::Values(Coding::Huffman, Coding::G3_1D, Coding::G3_2D, Coding::G4));

std::vector<std::uint8_t> Reverse(std::vector<std::uint8_t> bytes)
{
    for (auto& b : bytes) {
        std::uint8_t r = 0;
        for (int i = 0; i < 8; ++i)
            r = static_cast<std::uint8_t>(r | (((b >> i) & 1) << (7 - i)));
        b = r;
    }
    return bytes;
}

TEST(CcittDecoder, FillOrderTwoDecodesLikeItsBitReversedTwin)
{
    const int width = 300, height = 30;
    const auto page = TestPage(width, height, 11);
    for (Coding c : {Coding::G3_1D, Coding::G3_2D, Coding::G4}) {
        const auto strip = EncodeRows(page, c, width, height);
        EXPECT_EQ(DecodeStrip(Reverse(strip), c, width, height, 2, false),
                  DecodeStrip(strip, c, width, height, 1, false));
    }
}

TEST(CcittDecoder, ByteAlignedEolRowsDecodeLikeUnalignedOnes)
{
    // Re-encode each row with the EOL moved to end on a byte boundary, as T4Options bit 2 asks.
    const int width = 77, height = 12;
    const auto page = TestPage(width, height, 5);
    const auto plain = EncodeRows(page, Coding::G3_2D, width, height);
    std::vector<std::uint8_t> aligned;
    {
        std::string bits = Bits(plain, plain.size() * 8);
        std::string out;
        std::size_t p = 0;
        const std::string eol = "000000000001";
        while ((p = bits.find(eol, p)) != std::string::npos) {
            std::size_t nextEol = bits.find(eol, p + eol.size());
            // Fill zeros so that the EOL ends on a byte boundary.
            while ((out.size() + eol.size()) % 8 != 0)
                out += '0';
            out += bits.substr(p, (nextEol == std::string::npos ? bits.size() : nextEol) - p);
            p = nextEol == std::string::npos ? bits.size() : nextEol;
        }
        while (out.size() % 8)
            out += '0';
        for (std::size_t i = 0; i < out.size(); i += 8)
            aligned.push_back(static_cast<std::uint8_t>(std::stoi(out.substr(i, 8), nullptr, 2)));
    }
    EXPECT_EQ(DecodeStrip(aligned, Coding::G3_2D, width, height, 1, true),
              DecodeStrip(plain, Coding::G3_2D, width, height, 1, false));
}

TEST(CcittDecoder, GarbageNeverWritesPastTheRowAndEndsWithinTheData)
{
    std::mt19937 rng(3);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> data(rng() % 200);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0 : rng());
        const int width = 1 + static_cast<int>(rng() % 300);
        for (Coding c : {Coding::Huffman, Coding::G3_1D, Coding::G3_2D, Coding::G4}) {
            const auto rows = DecodeStrip(data, c, width, 5, 1 + round % 2, round % 3 == 0);
            EXPECT_EQ(rows.size(), RowBytes(width) * 5);
        }
        std::vector<std::uint8_t> row(RowBytes(width));
        std::vector<std::uint8_t> ref(RowBytes(width), 0xFF);
        const auto end = imaging::CCITTDecode2DRow(data.data(), static_cast<std::int64_t>(data.size()), 0,
                                                   row.data(), ref.data(), width, 1, false);
        EXPECT_LE(end, static_cast<std::int64_t>(data.size()) * 8);
    }
}

TEST(CcittDecoder, DataEndingInsideAModeCodeStopsAtTheLastBitAndKeepsTheReference)
{
    // V0 then the first two bits of a horizontal code (001) and nothing more.
    const std::vector<std::uint8_t> data{0b10000000};
    std::vector<std::uint8_t> row(4, 0);
    std::vector<std::uint8_t> ref{0x0F, 0xFF, 0xFF, 0xFF};
    const auto end = imaging::CCITTDecode2DRow(data.data(), 1, 0, row.data(), ref.data(), 30, 1, false);
    EXPECT_EQ(end, 8);
    EXPECT_EQ(row, (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(ref, row);
}

TEST(CcittDecoder, RowThatEndsEarlyStaysWhiteFromThere)
{
    // One black run of 3 (0 white, then black 3 = 10), then the data end.
    const std::vector<std::uint8_t> data{0b00110101, 0b10000000};
    std::vector<std::uint8_t> row(2, 0);
    imaging::CCITTDecode1DRow(data.data(), 1, 0, row.data(), 16, 1);
    EXPECT_EQ(row[0], 0xFF);  // the black run code lies past the one byte we allowed
    imaging::CCITTDecode1DRow(data.data(), 2, 0, row.data(), 16, 1);
    EXPECT_EQ(row[0], 0x1F);
    EXPECT_EQ(row[1], 0xFF);
}

// Two-dimensional rows decoded through a decoder state (no reference row); the bit positions
// after each row go to `ends`.
std::vector<std::uint8_t> DecodeStripWithState(const std::vector<std::uint8_t>& strip, int width, int rows,
                                               bool eolAligned, std::vector<std::int64_t>& ends)
{
    const std::size_t rb = RowBytes(width);
    std::vector<std::uint8_t> out(rb * static_cast<std::size_t>(rows) + 8, 0xA5);
    imaging::TCCITTDecodeState state;
    std::int64_t pos = 0;
    for (int y = 0; y < rows; ++y) {
        pos = imaging::CCITTDecode2DRow(strip.data(), static_cast<std::int64_t>(strip.size()), pos,
                                        out.data() + rb * static_cast<std::size_t>(y), state, width, 1,
                                        eolAligned);
        ends.push_back(pos);
    }
    for (std::size_t i = rb * static_cast<std::size_t>(rows); i < out.size(); ++i)
        EXPECT_EQ(out[i], 0xA5) << "decoder wrote past the last row";
    out.resize(rb * static_cast<std::size_t>(rows));
    return out;
}

// The same through reference rows, two strips taking turns row by row: neither finds the changes
// of the row it decoded last kept, so each reads them from its reference row again.
std::vector<std::uint8_t> DecodeTwoStripsByTurns(const std::vector<std::uint8_t>& a,
                                                 const std::vector<std::uint8_t>& b, int width, int rows,
                                                 bool eolAligned, std::vector<std::int64_t>& ends)
{
    const std::size_t rb = RowBytes(width);
    std::vector<std::uint8_t> out(rb * static_cast<std::size_t>(rows)), other(rb);
    std::vector<std::uint8_t> refA(rb, 0xFF), refB(rb, 0xFF);
    std::int64_t posA = 0, posB = 0;
    for (int y = 0; y < rows; ++y) {
        posA = imaging::CCITTDecode2DRow(a.data(), static_cast<std::int64_t>(a.size()), posA,
                                         out.data() + rb * static_cast<std::size_t>(y), refA.data(), width, 1,
                                         eolAligned);
        ends.push_back(posA);
        posB = imaging::CCITTDecode2DRow(b.data(), static_cast<std::int64_t>(b.size()), posB, other.data(),
                                         refB.data(), width, 1, eolAligned);
    }
    return out;
}

TEST(CcittDecoderState, RowsComeOutByteForByteWithWhitePaddingBits)
{
    // Widths around the byte and 64-pixel words the rows are written in; the widest is past what
    // the decoder lists the changes of.
    for (int width : {1, 2, 7, 8, 9, 63, 64, 65, 127, 128, 129, 200, 1000, 2561, (1 << 20) + 9}) {
        const bool wide = width > 5000;
        const int height = wide ? 3 : 60;
        auto page = TestPage(wide ? 4000 : width, height, static_cast<unsigned>(width) * 7 + 1);
        if (wide) {  // the narrow page's rows at the start of the wide rows, white after them
            std::vector<std::uint8_t> rows(RowBytes(width) * static_cast<std::size_t>(height), 0);
            for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y)
                std::copy_n(page.begin() + static_cast<std::ptrdiff_t>(y * 500), 500,
                            rows.begin() + static_cast<std::ptrdiff_t>(y * RowBytes(width)));
            page = rows;
        }
        for (Coding c : {Coding::G3_2D, Coding::G4}) {
            const auto strip = EncodeRows(page, c, width, height);
            std::vector<std::int64_t> ends;
            const auto decoded = DecodeStripWithState(strip, width, height, false, ends);
            EXPECT_EQ(decoded, Invert(page)) << "width " << width;
            EXPECT_EQ(decoded, DecodeStrip(strip, c, width, height, 1, false)) << "width " << width;
        }
    }
}

TEST(CcittDecoderState, TruncatedAndDamagedDataDecodeAsThroughReferenceRows)
{
    // Cut or damaged strips leave rows part collected, part painted; the state must then hold the
    // changes of what was painted.
    std::mt19937 rng(17);
    for (int round = 0; round < 120; ++round) {
        const int width = 1 + static_cast<int>(rng() % 400);
        const int height = 12;
        const auto page = TestPage(width, height, rng());
        auto strip = EncodeRows(page, round % 2 ? Coding::G4 : Coding::G3_2D, width, height);
        if (round % 3 == 0)
            strip.resize(rng() % (strip.size() + 1));
        if (round % 3 != 2)
            for (int k = 0; k < 3 && !strip.empty(); ++k)
                strip[rng() % strip.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        std::vector<std::uint8_t> garbage(rng() % 120);
        for (auto& b : garbage)
            b = static_cast<std::uint8_t>(rng() % 3 == 0 ? 0 : rng());
        for (const auto* data : {&strip, &garbage}) {
            std::vector<std::int64_t> endsState, endsRef;
            const auto viaState = DecodeStripWithState(*data, width, height, round % 4 == 0, endsState);
            const auto viaRef =
                DecodeTwoStripsByTurns(*data, garbage, width, height, round % 4 == 0, endsRef);
            ASSERT_EQ(viaState, viaRef) << "round " << round;
            ASSERT_EQ(endsState, endsRef) << "round " << round;
            const int pad = 0xFF >> (width & 7);  // bits past the width stay white
            for (std::size_t y = 0; y < static_cast<std::size_t>(height) && (width & 7); ++y)
                EXPECT_EQ(viaState[(y + 1) * RowBytes(width) - 1] & pad, pad);
        }
    }
}

TEST(CcittDecoderState, RestartAndANewWidthStartWhite)
{
    const int width = 90, height = 4;
    const auto page = TestPage(width, height, 23);
    const auto strip = EncodeRows(page, Coding::G4, width, height);
    imaging::TCCITTDecodeState state;
    std::vector<std::uint8_t> row(RowBytes(width));
    for (int pass = 0; pass < 3; ++pass) {
        if (pass == 1)
            state.Restart();
        if (pass == 2) {  // a row of another width in between
            std::vector<std::uint8_t> narrow(2);
            imaging::CCITTDecode2DRow(strip.data(), static_cast<std::int64_t>(strip.size()), 0, narrow.data(),
                                      state, 9, 1, false);
        }
        std::int64_t pos = 0;
        for (int y = 0; y < height; ++y) {
            pos = imaging::CCITTDecode2DRow(strip.data(), static_cast<std::int64_t>(strip.size()), pos,
                                            row.data(), state, width, 1, false);
            const auto expected = Invert(std::vector<std::uint8_t>(
                page.begin() + static_cast<std::ptrdiff_t>(RowBytes(width)) * y,
                page.begin() + static_cast<std::ptrdiff_t>(RowBytes(width)) * (y + 1)));
            EXPECT_EQ(row, expected) << "pass " << pass << " row " << y;
        }
    }
}

TEST(CcittDecoderState, ARowLeftInBlackKeepsItsBlackRunUpToWhereTheCodesStopped)
{
    // Against a reference row black at 0-3, 8-11, ...: V0 (black from 0), pass (on to 8, still
    // black), then the data end or an EOL ends the row: black up to 8, then white or black to the end.
    const std::vector<std::uint8_t> ref{0x0F, 0x0F, 0x0F, 0x0F};
    const struct {
        std::vector<std::uint8_t> data;
        std::vector<std::uint8_t> row;
    } cases[] = {
        {{0b10001000}, {0x00, 0xFF, 0xFF, 0xFF}},
        {{0b10001000, 0b00000000, 0b10000000}, {0x00, 0x00, 0x00, 0x03}},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> row(4, 0x55), refRow = ref;
        imaging::CCITTDecode2DRow(c.data.data(), static_cast<std::int64_t>(c.data.size()), 0, row.data(),
                                  refRow.data(), 30, 1, false);
        EXPECT_EQ(row, c.row);
    }
}

}  // namespace
