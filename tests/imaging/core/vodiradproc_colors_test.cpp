// Tests of the two-level and reduced-colour conversions: ordered dither, thresholds, average colour,
// two-colour packing, palette reduction. ImageMagick judges the threshold in vodiradproc_colors_peer_test.
#include "imaging/core/vodiradproc.h"

#include "imaging/core/iebitmap.h"
#include "bitmap_test_util.h"
#include "platform/rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <set>

using namespace imaging;
using namespace imaging::test;

namespace {

constexpr TIEPixelFormat kFormats[] = {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f};

void Put(TIEBitmap& bmp, int x, int y, TRGB c) { std::memcpy(bmp.ScanLine(y) + std::size_t(x) * 3, &c, 3); }
TRGB At(TIEBitmap& bmp, int x, int y)
{
    TRGB c;
    std::memcpy(&c, bmp.ScanLine(y) + std::size_t(x) * 3, 3);
    return c;
}
bool Bit(TIEBitmap& bmp, int x, int y) { return GetPixelBit(bmp.ScanLine(y), x) != 0; }

std::unique_ptr<TIEBitmap> Uniform(int w, int h, TRGB c, Storage storage = Storage::Memory)
{
    auto bmp = MakeBitmap(storage);
    bmp->Allocate(w, h, ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            Put(*bmp, x, y, c);
    return bmp;
}

// ---------------------------------------------------------------- ordered dither

TEST(BWOrdered, EachTileOfAFlatGreyLightsAsManyPixelsAsItsLevel)
{
    // The matrix holds 0..63 once each, so a flat grey g lights g div 4 pixels of every 8x8 tile.
    for (int g : {0, 3, 4, 100, 128, 200, 250, 251, 255}) {
        auto bmp = Uniform(16, 24, TRGB{std::uint8_t(g), std::uint8_t(g), std::uint8_t(g)});
        BWOrdered(bmp.get());
        ASSERT_EQ(bmp->GetPixelFormat(), ie1g);
        ASSERT_EQ(bmp->GetWidth(), 16);
        ASSERT_EQ(bmp->GetHeight(), 24);
        const int expected = g > 250 ? 64 : g / 4;
        for (int ty = 0; ty < 3; ++ty)
            for (int tx = 0; tx < 2; ++tx) {
                int lit = 0;
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x)
                        lit += Bit(*bmp, tx * 8 + x, ty * 8 + y);
                EXPECT_EQ(lit, expected) << "grey " << g;
            }
    }
}

TEST(BWOrdered, MatrixRowFollowsXAndColumnFollowsY)
{
    // Level 40 (grey 160): the entry for x=1, y=0 is 48 (dark), for x=0, y=1 it is 32 (lit).
    auto bmp = Uniform(8, 8, TRGB{160, 160, 160});
    BWOrdered(bmp.get());
    EXPECT_FALSE(Bit(*bmp, 1, 0));
    EXPECT_TRUE(Bit(*bmp, 0, 1));
    EXPECT_TRUE(Bit(*bmp, 0, 0));
    EXPECT_FALSE(Bit(*bmp, 7, 0));  // 63
}

TEST(BWOrdered, DropsAlphaAndLeavesOtherFormatsAlone)
{
    auto bmp = Uniform(5, 3, TRGB{255, 255, 255}, Storage::File);
    bmp->GetAlphaChannel();
    BWOrdered(bmp.get());
    EXPECT_FALSE(bmp->HasAlphaChannel());
    EXPECT_TRUE(Bit(*bmp, 4, 2));
    TIEBitmap grey;
    grey.Allocate(3, 3, ie8g);
    BWOrdered(&grey);
    EXPECT_EQ(grey.GetPixelFormat(), ie8g);
    BWOrdered(nullptr);
    TIEBitmap empty;
    empty.Allocate(0, 0, ie24RGB);
    BWOrdered(&empty);
    EXPECT_EQ(empty.GetPixelFormat(), ie1g);
    EXPECT_EQ(empty.GetWidth(), 0);
}

// ---------------------------------------------------------------- threshold

TEST(BWThreshold, AutomaticLevelIsTheGreyOfTheAverageColour)
{
    auto bmp = Uniform(10, 10, TRGB{0, 0, 0});
    for (int x = 0; x < 10; ++x)
        for (int y = 0; y < 3; ++y)
            Put(*bmp, x, y, TRGB{255, 255, 255});
    // Average 76 (30 % white): rows 0..2 white, the rest black.
    EXPECT_EQ(BWThresholdLevel(bmp.get(), -1), 76);
    TIEBitmap dst;
    BWThreshold(bmp.get(), &dst, -1);
    EXPECT_TRUE(Bit(dst, 3, 2));
    EXPECT_FALSE(Bit(dst, 3, 3));
    EXPECT_EQ(BWThresholdLevel(bmp.get(), 17), 17);
}

TEST(BWThreshold, MaximumEntropyLevelSeparatesTwoNoisyModes)
{
    auto bmp = MakeBitmap(Storage::Memory);
    bmp->Allocate(64, 64, ie8g);
    std::mt19937 rng(5);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            bmp->ScanLine(y)[x] = std::uint8_t((x < 32 ? 40 : 190) + rng() % 21);
    const int level = BWThresholdLevel(bmp.get(), -2);
    EXPECT_GT(level, 60);
    EXPECT_LE(level, 190);
    TIEBitmap dst;
    BWThreshold(bmp.get(), &dst, -2);
    for (int y = 0; y < 64; y += 7)
        for (int x = 0; x < 64; x += 5)
            EXPECT_EQ(Bit(dst, x, y), x >= 32);
    // Two exact levels score zero everywhere: the middle grey still parts them.
    auto two = Uniform(4, 4, TRGB{40, 40, 40});
    Put(*two, 0, 0, TRGB{200, 200, 200});
    EXPECT_EQ(BWThresholdLevel(two.get(), -2), 128);
}

TEST(BWThreshold, OneBitSourceIsCopiedAndEveryFormatConverts)
{
    TIEBitmap mono, copy;
    mono.Allocate(13, 4, ie1g);
    std::mt19937 rng(3);
    FillRandom(mono, rng);
    BWThreshold(&mono, &copy, 0);
    EXPECT_EQ(PixelRows(copy), PixelRows(mono));

    for (TIEPixelFormat format : kFormats) {
        TIEBitmap src, dst;
        src.Allocate(9, 5, format);
        FillRandom(src, rng);
        if (format == ie32f)
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 9; ++x) {
                    const float v = float(x) / 8.0f;
                    std::memcpy(src.ScanLine(y) + x * 4, &v, 4);
                }
        BWThreshold(&src, &dst, 128);
        ASSERT_EQ(dst.GetPixelFormat(), ie1g);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 9; ++x) {
                if (format == ie1g)
                    ASSERT_EQ(Bit(dst, x, y), Bit(src, x, y));
                else if (format != ie32f)
                    ASSERT_EQ(Bit(dst, x, y), RGBToGray(src.GetPixelRGB(x, y)) >= 128) << int(format);
                else
                    ASSERT_EQ(Bit(dst, x, y), x * 255 / 8 >= 128);
            }
    }
}

TEST(BWThreshold, SameSourceAndDestAndProgressAndEmptyImages)
{
    auto bmp = Uniform(6, 40, TRGB{0, 0, 255}, Storage::File);
    std::vector<int> seen;
    BWThreshold(bmp.get(), bmp.get(), 50, [&](void*, int per) { seen.push_back(per); });
    ASSERT_EQ(bmp->GetPixelFormat(), ie1g);
    EXPECT_TRUE(Bit(*bmp, 5, 39));  // grey of pure red is 53
    ASSERT_EQ(seen.size(), 40u);
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), int(39 * 100 / 40.5));
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));

    TIEBitmap empty, dst;
    empty.Allocate(0, 5, ie24RGB);
    BWThreshold(&empty, &dst, -1);
    BWThreshold(&empty, &dst, -2);
    EXPECT_EQ(dst.GetWidth(), 0);
    BWThreshold(nullptr, &dst, 1);
}

// ---------------------------------------------------------------- average colour

TEST(AverageColor, RowMeansAreTruncatedBeforeTheyAreAveraged)
{
    // Row sums 255 over 2 pixels give 127 per row, not the 127.5 a whole-image mean keeps.
    auto bmp = Uniform(2, 3, TRGB{0, 0, 0});
    for (int y = 0; y < 3; ++y)
        Put(*bmp, 0, y, TRGB{255, 1, 255});
    int r, g, b;
    AverageColor(bmp.get(), r, g, b);
    EXPECT_EQ(r, 127);
    EXPECT_EQ(g, 0);
    EXPECT_EQ(b, 127);

    TIEBitmap mono;
    mono.Allocate(4, 2, ie1g);
    mono.ScanLine(0)[0] = 0xC0;  // two white pixels in row 0
    AverageColor(&mono, r, g, b);
    EXPECT_EQ(r, 63);  // (127 + 0) div 2

    TIEBitmap g16;
    g16.Allocate(1, 1, ie16g);
    const std::uint16_t v = 0xABCD;
    std::memcpy(g16.ScanLine(0), &v, 2);
    AverageColor(&g16, r, g, b);
    EXPECT_EQ(g, 0xAB);

    TIEBitmap pal;
    pal.Allocate(1, 1, ie8p);
    pal.SetPaletteColor(0, TRGB{1, 2, 3});
    AverageColor(&pal, r, g, b);
    EXPECT_EQ(r, 3);
    EXPECT_EQ(b, 1);

    TIEBitmap empty;
    AverageColor(&empty, r, g, b);
    EXPECT_EQ(r + g + b, 0);
}

// ---------------------------------------------------------------- two colours

TEST(TwoColorsTo1Bit, BlackAndWhiteGiveDarkZeroAndLightOne)
{
    for (bool whiteFirst : {false, true}) {
        auto bmp = Uniform(11, 3, TRGB{0, 0, 0});
        for (int x = 0; x < 11; x += 2)
            Put(*bmp, x, 1, TRGB{255, 255, 255});
        if (whiteFirst)
            Put(*bmp, 0, 0, TRGB{255, 255, 255});
        TRGB c1{9, 9, 9}, c2{9, 9, 9};
        auto result = TwoColorsTo1Bit(bmp.get(), c1, c2);
        ASSERT_TRUE(result) << whiteFirst;
        EXPECT_EQ(c1, (TRGB{0, 0, 0}));
        EXPECT_EQ(c2, (TRGB{255, 255, 255}));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 11; ++x)
                EXPECT_EQ(Bit(*result, x, y), At(*bmp, x, y) == (TRGB{255, 255, 255})) << x << "," << y;
    }
}

TEST(TwoColorsTo1Bit, OneOrThreeColoursAndEmptyImagesGiveNothing)
{
    TRGB c1, c2;
    EXPECT_FALSE(TwoColorsTo1Bit(Uniform(4, 4, TRGB{1, 2, 3}).get(), c1, c2));
    auto three = Uniform(4, 4, TRGB{1, 2, 3});
    Put(*three, 1, 0, TRGB{4, 5, 6});
    Put(*three, 3, 3, TRGB{7, 8, 9});  // the third colour only in the last row
    EXPECT_FALSE(TwoColorsTo1Bit(three.get(), c1, c2));
    TIEBitmap empty;
    empty.Allocate(0, 0, ie24RGB);
    EXPECT_FALSE(TwoColorsTo1Bit(&empty, c1, c2));
    EXPECT_FALSE(TwoColorsTo1Bit(nullptr, c1, c2));
}

TEST(TwoColorsTo1Bit, ReadsAnyFormatAndKeepsOrderForEqualGrey)
{
    TIEBitmap pal;
    pal.Allocate(5, 2, ie8p);
    pal.SetPaletteColor(0, TRGB{0, 0, 200});
    pal.SetPaletteColor(1, TRGB{10, 20, 30});
    pal.ScanLine(1)[2] = 1;
    TRGB c1, c2;
    auto result = TwoColorsTo1Bit(&pal, c1, c2);
    ASSERT_TRUE(result);
    EXPECT_EQ(c1, (TRGB{10, 20, 30}));  // grey 20 against 42
    EXPECT_EQ(c2, (TRGB{0, 0, 200}));
    EXPECT_FALSE(Bit(*result, 2, 1));
    EXPECT_TRUE(Bit(*result, 0, 0));

    // Equal grey (Round(0.21) and Round(0.08) are both 0): no exchange, the first colour stays Color1.
    auto same = Uniform(2, 1, TRGB{0, 0, 1});
    Put(*same, 1, 0, TRGB{1, 0, 0});
    auto kept = TwoColorsTo1Bit(same.get(), c1, c2);
    ASSERT_TRUE(kept);
    EXPECT_EQ(c1, (TRGB{0, 0, 1}));
    EXPECT_EQ(c2, (TRGB{1, 0, 0}));
    EXPECT_FALSE(Bit(*kept, 0, 0));
    EXPECT_TRUE(Bit(*kept, 1, 0));
}

// ---------------------------------------------------------------- palette reduction

TEST(ReduceColors, FewColoursStayAndManyBecomeAtMostTheCount)
{
    auto few = Uniform(6, 6, TRGB{10, 20, 30});
    Put(*few, 2, 2, TRGB{200, 100, 0});
    const auto before = Rows(*few);
    ReduceColors(few.get(), 16);
    EXPECT_EQ(Rows(*few), before);

    std::mt19937 rng(8);
    for (int count : {2, 16, 200}) {
        auto bmp = MakeBitmap(Storage::Memory);
        bmp->Allocate(50, 40, ie24RGB);
        FillRandom(*bmp, rng);
        std::vector<TRGB> palette(256);
        std::vector<int> seen;
        ReduceColors(bmp.get(), count, palette, [&](void*, int per) { seen.push_back(per); });
        std::set<std::uint32_t> colors;
        const std::set<std::uint32_t> allowed = [&] {
            std::set<std::uint32_t> s;
            for (int i = 0; i < count; ++i)
                s.insert(std::uint32_t(palette[std::size_t(i)].r << 16 | palette[std::size_t(i)].g << 8 |
                                       palette[std::size_t(i)].b));
            return s;
        }();
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 50; ++x) {
                const TRGB c = At(*bmp, x, y);
                colors.insert(std::uint32_t(c.r << 16 | c.g << 8 | c.b));
            }
        EXPECT_LE(colors.size(), std::size_t(count));
        for (std::uint32_t c : colors)
            EXPECT_TRUE(allowed.count(c)) << "pixel colour outside the palette, count " << count;
        EXPECT_EQ(seen.size(), 40u);
    }
    TIEBitmap grey;
    grey.Allocate(2, 2, ie8g);
    ReduceColors(&grey, 2);
    EXPECT_EQ(grey.GetPixelFormat(), ie8g);
    std::vector<TRGB> tooSmall(4);
    auto bmp = MakeBitmap(Storage::Memory);
    bmp->Allocate(30, 30, ie24RGB);
    FillRandom(*bmp, rng);
    EXPECT_THROW(ReduceColors(bmp.get(), 16, tooSmall), rtl::EInvalidArgument);
}

TEST(FileBackedImages, EveryRowIsWrittenBackIncludingTheLast)
{
    // Rows of a file-backed image reach the file only when the next row is fetched.
    auto bmp = Uniform(9, 7, TRGB{0, 0, 0}, Storage::File);
    std::mt19937 rng(12);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x)
            Put(*bmp, x, y, TRGB{std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())});
    auto expected = MakeBitmap(Storage::Memory);
    expected->Assign(bmp.get());
    ReduceColors(expected.get(), 4);
    ReduceColors(bmp.get(), 4);
    EXPECT_EQ(Rows(*bmp), Rows(*expected)) << FirstDifference(Rows(*bmp), Rows(*expected));

    auto dest = MakeBitmap(Storage::File);
    TIEBitmap memoryDest;
    BWThreshold(expected.get(), dest.get(), 100);
    BWThreshold(expected.get(), &memoryDest, 100);
    EXPECT_EQ(PixelRows(*dest), PixelRows(memoryDest));
}

// ---------------------------------------------------------------- random images under the sanitizers

TEST(RandomImages, EveryRoutineTakesEveryFormatAndSize)
{
    std::mt19937 rng(77);
    for (int round = 0; round < 80; ++round) {
        const TIEPixelFormat format = kFormats[rng() % 6];
        const int w = int(rng() % 35), h = int(rng() % 20);
        auto bmp = MakeBitmap(round % 4 == 0 ? Storage::File : Storage::Memory);
        bmp->Allocate(w, h, format);
        if (w > 0)
            FillRandom(*bmp, rng);
        int r, g, b;
        AverageColor(bmp.get(), r, g, b);
        ASSERT_TRUE(r >= 0 && r <= 255 && g >= 0 && g <= 255 && b >= 0 && b <= 255);
        TRGB c1, c2;
        auto two = TwoColorsTo1Bit(bmp.get(), c1, c2);
        if (two) {
            ASSERT_LE(RGBToGray(c1), RGBToGray(c2) + 1);
        }
        TIEBitmap dst;
        BWThreshold(bmp.get(), &dst, int(rng() % 4) - 2);
        ASSERT_EQ(dst.GetWidth(), w);
        auto copy = MakeBitmap(Storage::Memory);
        copy->Assign(bmp.get());
        ReduceColors(copy.get(), int(rng() % 300) - 10);
        BWOrdered(bmp.get());
        if (format == ie24RGB) {
            ASSERT_EQ(bmp->GetPixelFormat(), ie1g);
        }
    }
}

}  // namespace
