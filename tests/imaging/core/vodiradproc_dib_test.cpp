// Tests of the packed-DIB exchange: round trips, row order, tables, refusals, frames and row depths.
#include "imaging/core/vodiradproc.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/neurquant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace imaging;

namespace {

std::vector<std::uint8_t> Header(int w, int h, int bits, std::uint32_t compression, std::uint32_t colors = 0)
{
    std::vector<std::uint8_t> d(40, 0);
    auto put32 = [&](int at, std::uint32_t v) { std::memcpy(&d[std::size_t(at)], &v, 4); };
    put32(0, 40);
    put32(4, std::uint32_t(w));
    put32(8, std::uint32_t(h));
    d[12] = 1;
    d[14] = std::uint8_t(bits);
    put32(16, compression);
    put32(32, colors);
    return d;
}

std::uint32_t FourCC(const char* s)
{
    std::uint32_t v;
    std::memcpy(&v, s, 4);
    return v;
}

std::vector<std::uint8_t> Join(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> v, std::size_t n)
{
    v.resize(n);
    return v;
}

// A quantizer over an image of two colours, (10, 20, 30) and (40, 50, 60).
struct TwoColours {
    TIEBitmap image;
    TRGB palette[16];
    TIEQuantizer quantizer{Prepared(image), palette, 255, 16, -1, 0};

    static TIEBitmap* Prepared(TIEBitmap& b)
    {
        b.Allocate(2, 1, ie24RGB);
        b.SetPixel24(0, 0, {10, 20, 30});
        b.SetPixel24(1, 0, {40, 50, 60});
        return &b;
    }
};

int Import(const std::vector<std::uint8_t>& dib, TIEBitmap& bmp)
{
    return DIBToBitmap(dib.data(), dib.size(), &bmp);
}

TEST(DibImport, UyvyBlackAndWhiteAreExact)
{
    const auto dib = Join(Header(4, 1, 16, FourCC("UYVY")), {128, 16, 128, 235, 128, 235, 128, 16});
    TIEBitmap bmp;
    ASSERT_EQ(Import(dib, bmp), 16);
    EXPECT_EQ(bmp.GetPixel24(0, 0), (TRGB{0, 0, 0}));
    EXPECT_EQ(bmp.GetPixel24(1, 0), (TRGB{255, 255, 255}));
    EXPECT_EQ(bmp.GetPixel24(3, 0), (TRGB{0, 0, 0}));
}

// Each channel is a whole number of thousandths (the coefficients have three decimals): divided
// once, correctly rounded, a tie is exactly k + 0.5 and goes to the even neighbour.
TRGB ExactYuv(int Y, int U, int V)
{
    const int y = Y - 16, u = U - 128, v = V - 128;
    const auto round = [](int thousandths) { return ClampByte(int(std::nearbyint(thousandths / 1000.0))); };
    return TRGB{round(1164 * y + 2018 * u), round(1164 * y - 813 * v - 391 * u), round(1164 * y + 1596 * v)};
}

TEST(DibImport, FramesAndYUVToRGBRoundEveryTripleAlike)
{
    // One IYU2 frame per Y: U along the row, V down the rows.
    std::vector<std::uint8_t> rows(256 * 256 * 3);
    long frameMisses = 0, functionMisses = 0;
    for (int Y = 0; Y < 256; ++Y) {
        for (int V = 0; V < 256; ++V)
            for (int U = 0; U < 256; ++U) {
                std::uint8_t* p = &rows[(std::size_t(V) * 256 + std::size_t(U)) * 3];
                p[0] = std::uint8_t(U), p[1] = std::uint8_t(Y), p[2] = std::uint8_t(V);
            }
        TIEBitmap bmp;
        ASSERT_EQ(Import(Join(Header(256, 256, 24, FourCC("IYU2")), rows), bmp), 24);
        for (int V = 0; V < 256; ++V) {
            const auto* line = reinterpret_cast<const TRGB*>(bmp.ScanLine(V));
            for (int U = 0; U < 256; ++U) {
                const TRGB want = ExactYuv(Y, U, V);
                TRGB single;
                YUVToRGB(Y, U, V, single);
                frameMisses += !(line[U] == want);
                functionMisses += !(single == want);
            }
        }
    }
    EXPECT_EQ(frameMisses, 0) << "triples a frame decodes off the exact rounding";
    EXPECT_EQ(functionMisses, 0) << "triples YUVToRGB converts off the exact rounding";
}

TEST(DibImport, OneBitDibsMapThroughTheirTable)
{
    struct TCase {
        const char* name;
        std::vector<std::uint8_t> table;
        std::uint32_t colors;
        TIEPixelFormat format;
        TRGB first;  // pixel 0, whose bit is 1
    };
    const TCase cases[] = {
        {"black first, count 0", {0, 0, 0, 0, 255, 255, 255, 0}, 0, ie1g, {255, 255, 255}},
        {"white first", {255, 255, 255, 0, 0, 0, 0, 0}, 2, ie1g, {0, 0, 0}},
        {"two colours", {0, 0, 255, 0, 255, 0, 0, 0}, 2, ie24RGB, {255, 0, 0}},
    };
    for (const TCase& c : cases) {
        const auto dib = Join(Join(Header(9, 1, 1, 0, c.colors), c.table), {0x80, 0x80, 0, 0});
        TIEBitmap bmp;
        ASSERT_EQ(Import(dib, bmp), 1) << c.name;
        EXPECT_EQ(bmp.GetPixelFormat(), c.format) << c.name;
        EXPECT_EQ(bmp.GetPixelRGB(0, 0), c.first) << c.name;
        EXPECT_EQ(bmp.GetPixelRGB(8, 0), c.first) << c.name;
        EXPECT_NE(bmp.GetPixelRGB(1, 0), c.first) << c.name;
    }
}

TEST(DibImport, RowOrderFollowsTheSignOfTheHeight)
{
    // Two rows of one 24-bit pixel each, padded to four bytes.
    const std::vector<std::uint8_t> rows = {1, 2, 3, 0, 4, 5, 6, 0};
    for (int sign : {1, -1}) {
        TIEBitmap bmp;
        ASSERT_EQ(Import(Join(Header(1, 2 * sign, 24, 0), rows), bmp), 24);
        ASSERT_EQ(bmp.GetHeight(), 2);
        EXPECT_EQ(bmp.GetPixel24(0, 0), sign > 0 ? (TRGB{4, 5, 6}) : (TRGB{1, 2, 3}));
    }
}

TEST(DibImport, RunLengthDibsAreDecodedNotReadAsRows)
{
    // Two colours; row 0 (the bottom) is four pixels of index 1, row 1 four of index 0.
    const auto dib =
        Join(Join(Header(4, 2, 8, 1, 2), {0, 0, 0, 0, 255, 255, 255, 0}), {4, 1, 0, 0, 4, 0, 0, 1});
    TIEBitmap bmp;
    ASSERT_EQ(Import(dib, bmp), 8);
    EXPECT_EQ(bmp.GetPixel24(3, 1), (TRGB{255, 255, 255}));
    EXPECT_EQ(bmp.GetPixel24(3, 0), (TRGB{0, 0, 0}));
}

TEST(DibImport, RefusedDibsLeaveTheBitmapAsItWas)
{
    const std::vector<std::uint8_t> table2 = {0, 0, 0, 0, 255, 255, 255, 0};
    struct TCase {
        const char* name;
        std::vector<std::uint8_t> dib;
    };
    const TCase cases[] = {
        {"rows cut short", Join(Header(4, 4, 24, 0), std::vector<std::uint8_t>(40))},
        {"header cut short", Cut(Header(4, 4, 24, 0), 30)},
        {"jpeg", Join(Header(4, 4, 24, 4), std::vector<std::uint8_t>(64))},
        {"png", Join(Header(4, 4, 24, 5), std::vector<std::uint8_t>(64))},
        {"unknown fourcc", Join(Header(4, 4, 16, FourCC("XVID")), std::vector<std::uint8_t>(64))},
        {"two bits", Join(Join(Header(4, 4, 2, 0), table2), std::vector<std::uint8_t>(64))},
        {"zero mask",
         Join(Join(Header(2, 1, 16, 3), {0, 0xF8, 0, 0, 0, 0, 0, 0, 0x1F, 0, 0, 0}), {0, 0, 0, 0})},
        {"a colour table the block cannot hold",
         Join(Join(Header(2, 1, 8, 0, 200), std::vector<std::uint8_t>(700)), {0, 0, 0, 0})},
        {"zero width", Join(Header(0, 4, 24, 0), std::vector<std::uint8_t>(64))},
        {"short frame", Join(Header(4, 4, 16, FourCC("YUY2")), std::vector<std::uint8_t>(31))},
        {"short planes", Join(Header(3, 3, 12, FourCC("I420")), std::vector<std::uint8_t>(16))},
    };
    for (const TCase& c : cases) {
        TIEBitmap bmp;
        bmp.Allocate(5, 3, ie8g);
        EXPECT_EQ(Import(c.dib, bmp), 0) << c.name;
        EXPECT_EQ(bmp.GetWidth(), 5) << c.name;
        EXPECT_EQ(bmp.GetPixelFormat(), ie8g) << c.name;
    }
}

TEST(DibImport, OddPlanarFramesRoundTheirChromaPlanesUp)
{
    // 3 x 3 I420: chroma planes of 2 x 2. The last chroma sample (bottom right) is what an odd
    // column and row read; rounding down would read past the planes.
    std::vector<std::uint8_t> frame(9, 126);
    frame.insert(frame.end(), {128, 128, 128, 255});  // U
    frame.insert(frame.end(), {128, 128, 128, 128});  // V
    TIEBitmap bmp;
    ASSERT_EQ(Import(Join(Header(3, 3, 12, FourCC("I420")), frame), bmp), 12);
    const TRGB grey = bmp.GetPixel24(0, 0);
    EXPECT_EQ(grey.b, grey.r);
    EXPECT_GT(bmp.GetPixel24(2, 2).b, 250);
}

TEST(DibImport, CljrFieldsAreWidenedBeforeConversion)
{
    // Y fields 31 and 0, chroma fields 32 (neutral): white and black, not a dark grey.
    const std::uint32_t word = (31u << 27) | (0u << 22) | (31u << 17) | (0u << 12) | (32u << 6) | 32u;
    const std::vector<std::uint8_t> bytes = {std::uint8_t(word >> 24), std::uint8_t(word >> 16),
                                             std::uint8_t(word >> 8), std::uint8_t(word)};
    TIEBitmap bmp;
    ASSERT_EQ(Import(Join(Header(4, 1, 8, FourCC("CLJR")), bytes), bmp), 8);
    EXPECT_EQ(bmp.GetPixel24(0, 0), (TRGB{0, 0, 0}));
    EXPECT_EQ(bmp.GetPixel24(1, 0), (TRGB{255, 255, 255}));
}

TEST(DibImport, RowsGivenApartFromTheHeaderAreRead)
{
    const auto header = Header(1, 1, 24, 0);
    const std::vector<std::uint8_t> rows = {7, 8, 9, 0};
    TIEBitmap bmp;
    ASSERT_EQ(DIBToBitmap(header.data(), header.size(), &bmp, rows.data(), rows.size()), 24);
    EXPECT_EQ(bmp.GetPixel24(0, 0), (TRGB{7, 8, 9}));
}

TEST(DibExport, RoundTripsAndClipsTheRectangle)
{
    TIEBitmap bits;
    bits.Allocate(20, 3, ie1g);
    bits.Fill(0);
    SetPixelBit(bits.ScanLine(0), 3, true);
    SetPixelBit(bits.ScanLine(2), 19, true);
    // From X = 3 the first bit of the top row is source pixel 3.
    std::vector<std::uint8_t> dib = BitmapToPackedDIB(&bits, 3, 100, 3);
    ASSERT_FALSE(dib.empty());
    std::int32_t width;
    std::memcpy(&width, &dib[4], 4);
    EXPECT_EQ(width, 17);  // X + Width cut to the bitmap
    TIEBitmap back;
    ASSERT_EQ(DIBToBitmap(dib.data(), dib.size(), &back), 1);
    EXPECT_EQ(back.GetPixelFormat(), ie1g);
    EXPECT_NE(GetPixelBit(back.ScanLine(0), 0), 0);
    EXPECT_NE(GetPixelBit(back.ScanLine(2), 16), 0);
    EXPECT_EQ(GetPixelBit(back.ScanLine(1), 0), 0);

    TIEBitmap colour;
    colour.Allocate(5, 4, ie24RGB);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            colour.SetPixel24(x, y, TRGB{std::uint8_t(x), std::uint8_t(y), 9});
    dib = BitmapToPackedDIB(&colour, 0, 0, 0);
    ASSERT_EQ(DIBToBitmap(dib.data(), dib.size(), &back), 24);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(back.GetPixel24(x, y), colour.GetPixel24(x, y));

    TIEBitmap grey;
    grey.Allocate(2, 1, ie16g);
    std::uint16_t words[2] = {0x1234, 0xFF00};
    std::memcpy(grey.ScanLine(0), words, 4);
    dib = BitmapToPackedDIB(&grey, 0, 0, 0);
    ASSERT_EQ(DIBToBitmap(dib.data(), dib.size(), &back), 24);
    EXPECT_EQ(back.GetPixel24(1, 0), (TRGB{255, 255, 255}));
    TIEBitmap empty;
    EXPECT_TRUE(BitmapToPackedDIB(&empty, 0, 0, 0).empty());
}

TEST(RowDepth, ConvertsTheListedPairs)
{
    TRGB palette[256] = {};
    palette[1] = {10, 20, 30};
    palette[2] = {40, 50, 60};
    const std::uint8_t indexes4[] = {0x12, 0x10};
    std::uint8_t out[16] = {};
    EXPECT_EQ(ConvertRowDepth(out, indexes4, 4, 3, 24, palette, nullptr), 9);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 9),
              (std::vector<std::uint8_t>{10, 20, 30, 40, 50, 60, 10, 20, 30}));
    const std::uint8_t bgra[] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(ConvertRowDepth(out, bgra, 32, 2, 24, nullptr, nullptr), 6);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 6), (std::vector<std::uint8_t>{1, 2, 3, 5, 6, 7}));
    const std::uint8_t bits[] = {0xA5, 0x80};
    EXPECT_EQ(ConvertRowDepth(out, bits, 1, 9, 1, palette, nullptr), 2);
    EXPECT_EQ(out[0], 0xA5);

    TwoColours two;
    TIEQuantizer& q = two.quantizer;
    const std::uint8_t rgb[] = {40, 50, 60, 10, 20, 30, 40, 50, 60};
    std::uint8_t packed[2] = {};
    EXPECT_EQ(ConvertRowDepth(packed, rgb, 24, 3, 4, nullptr, &q), 2);
    EXPECT_EQ(packed[0], 0x10);
    EXPECT_EQ(packed[1], 0x10);
    std::uint8_t untouched[4] = {7, 7, 7, 7};
    EXPECT_EQ(ConvertRowDepth(untouched, rgb, 16, 1, 24, palette, nullptr), 0);
    EXPECT_EQ(untouched[0], 7);
}

TEST(DibImport, RowsGivenApartFollowTheTableWhateverTheBlockHoldsAfterIt)
{
    // A global block is often longer than header and table: what lies after them is not the rows.
    const std::vector<std::uint8_t> table = {0, 0, 0, 0, 255, 255, 255, 0};
    const auto block = Join(Join(Header(2, 1, 8, 0, 2), table), std::vector<std::uint8_t>(16, 1));
    const std::vector<std::uint8_t> rows = {1, 0, 0, 0};
    TIEBitmap bmp;
    ASSERT_EQ(DIBToBitmap(block.data(), block.size(), &bmp, rows.data(), rows.size()), 8);
    EXPECT_EQ(bmp.GetPixel24(0, 0), (TRGB{255, 255, 255}));
    EXPECT_EQ(bmp.GetPixel24(1, 0), (TRGB{0, 0, 0}));

    // And a 24-bit DIB's table of biClrUsed entries comes before its rows, here and in one block.
    const std::vector<std::uint8_t> four(16, 0x55);
    const std::vector<std::uint8_t> pixel = {7, 8, 9, 0};
    ASSERT_EQ(DIBToBitmap(Join(Header(1, 1, 24, 0, 4), four).data(), 56, &bmp, pixel.data(), 4), 24);
    EXPECT_EQ(bmp.GetPixel24(0, 0), (TRGB{7, 8, 9}));
    const auto whole = Join(Join(Header(1, 1, 24, 0, 4), four), pixel);
    ASSERT_EQ(Import(whole, bmp), 24);
    EXPECT_EQ(bmp.GetPixel24(0, 0), (TRGB{7, 8, 9}));
}

TEST(DibExport, ARectangleStartingOutsideTheImageGivesNothing)
{
    TIEBitmap b;
    b.Allocate(4, 2, ie24RGB);
    for (int x : {4, 5, 100, -1})
        EXPECT_TRUE(BitmapToPackedDIB(&b, x, 1, 1).empty()) << x;
    EXPECT_FALSE(BitmapToPackedDIB(&b, 3, 1, 1).empty());
}

TEST(RowDepth, SameDepthCopiesNeedNoPaletteAndThirtyTwoBitsGoOnlyToTwentyFour)
{
    const std::uint8_t bits[] = {0xA5, 0x80};
    std::uint8_t out[4] = {};
    EXPECT_EQ(ConvertRowDepth(out, bits, 1, 9, 1, nullptr, nullptr), 2);
    EXPECT_EQ(out[0], 0xA5);
    EXPECT_EQ(out[1], 0x80);

    TwoColours two;
    TIEQuantizer& q = two.quantizer;
    const std::uint8_t bgra[] = {40, 50, 60, 0, 10, 20, 30, 0};
    for (int dest : {8, 4}) {
        std::uint8_t untouched[4] = {7, 7, 7, 7};
        EXPECT_EQ(ConvertRowDepth(untouched, bgra, 32, 2, dest, nullptr, &q), 0) << dest;
        EXPECT_EQ(untouched[0], 7) << dest;
    }
}

}  // namespace
