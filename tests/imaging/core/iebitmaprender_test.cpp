// Tests of the renderer: exact copies, clipping, caches, the display mapping of every format, alpha,
// the blend table and the stretched pictures for canvases.
#include "imaging/core/detail/iecpu.h"
#include "imaging/core/iebitmap.h"

#include "imaging/core/vodiradproc.h"
#include "bitmap_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <functional>
#include <limits>

using namespace imaging;
using namespace imaging::test;

namespace {

TRGB At(TIEPlatformBitmap& bmp, int x, int y)
{
    TRGB c;
    std::memcpy(&c, bmp.ScanLine(y) + x * 3, 3);
    return c;
}

void FillPlatform(TIEPlatformBitmap& bmp, int w, int h, TRGB c)
{
    bmp.SetBitsPerPixel(24);
    bmp.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            std::memcpy(bmp.ScanLine(y) + x * 3, &c, 3);
}

// A w x h picture of random bytes to blend onto, and `before`, a copy of it to judge the blend by.
void RandomBackdrop(TIEMemoryPlatformBitmap& dst, TIEMemoryPlatformBitmap& before, int w, int h,
                    std::mt19937& rng)
{
    FillPlatform(dst, w, h, {});
    FillPlatform(before, w, h, {});
    for (int y = 0; y < h; ++y) {
        for (int i = 0; i < w * 3; ++i)
            dst.ScanLine(y)[i] = std::uint8_t(rng());
        std::memcpy(before.ScanLine(y), dst.ScanLine(y), std::size_t(w) * 3);
    }
}

// A 24-bit picture whose pixel (x, y) names its place.
void Numbered(TIEBitmap& bmp, int w, int h)
{
    bmp.Allocate(w, h, ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            bmp.SetPixel24(x, y, TRGB{std::uint8_t(x), std::uint8_t(y), std::uint8_t(x * 7 + y)});
}

void Render(TIEBitmap& src, TIEPlatformBitmap& dst, int dx, int dy, int dw, int dh, int sx, int sy, int sw,
            int sh, int transparency = 255, std::uint8_t op = 0, bool alpha = true,
            TIERenderCache* cache = nullptr, TResampleFilter filter = rfNone)
{
    src.RenderToTBitmap(&dst, cache, nullptr, dx, dy, dw, dh, sx, sy, sw, sh, alpha, true, transparency,
                        filter, cache == nullptr, op);
}

TEST(Render, OneToOneCopiesEveryPixelInEveryStorage)
{
    for (Storage s : {Storage::Memory, Storage::File, Storage::Platform}) {
        auto src = MakeBitmap(s);
        Numbered(*src, 13, 9);
        TIEMemoryPlatformBitmap dst;
        FillPlatform(dst, 13, 9, {});
        Render(*src, dst, 0, 0, 13, 9, 0, 0, 13, 9);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 13; ++x)
                ASSERT_EQ(At(dst, x, y), src->GetPixel24(x, y)) << StorageName(s);
    }
}

TEST(Render, HalfTransparentWhiteOverBlackIs127)
{
    TIEBitmap src;
    src.Allocate(4, 4, ie24RGB);
    src.Fill(0xFFFFFF);
    TIEMemoryPlatformBitmap dst;
    FillPlatform(dst, 4, 4, {});
    Render(src, dst, 0, 0, 4, 4, 0, 0, 4, 4, 128);
    EXPECT_EQ(At(dst, 2, 2), (TRGB{127, 127, 127}));
}

TEST(Render, AFullAlphaChannelIsIgnoredAndAnotherBlendsRoundingDown)
{
    TIEBitmap src;
    src.Allocate(2, 1, ie24RGB);
    src.SetPixel24(0, 0, {0, 0, 0});
    src.SetPixel24(1, 0, {0, 0, 0});
    TIEBitmap* a = src.GetAlphaChannel();
    ASSERT_TRUE(a->Full);
    TIEMemoryPlatformBitmap dst;
    FillPlatform(dst, 2, 1, {101, 101, 101});
    Render(src, dst, 0, 0, 2, 1, 0, 0, 2, 1);
    EXPECT_EQ(At(dst, 0, 0), (TRGB{0, 0, 0}));  // opaque: copied
    a->ScanLine(0)[1] = 100;
    a->UpdateFullFlag();
    FillPlatform(dst, 2, 1, {101, 101, 101});
    Render(src, dst, 0, 0, 2, 1, 0, 0, 2, 1);
    // 101 + floor(-101 * 100 / 256) = 101 - 40 = 61, and the opaque pixel still copies.
    EXPECT_EQ(At(dst, 1, 0), (TRGB{61, 61, 61}));
    EXPECT_EQ(At(dst, 0, 0), (TRGB{0, 0, 0}));
}

TEST(Render, AlphaBlendsOfLongRowsFollowTheFormulaAtEveryByte)
{
    // Rows long enough for the blocks of 32 and of sixteen pixels and a tail, alphas of 0, 255 and
    // between, a source rectangle that starts inside the image and a destination offset; with the
    // AVX2 loops and, as processors without AVX2 run it, without.
    std::mt19937 rng(5);
    for (Storage s : {Storage::Memory, Storage::File}) {
        auto src = MakeBitmap(s);
        src->Allocate(141, 5, ie24RGB);
        FillRandom(*src, rng);
        TIEBitmap* a = src->GetAlphaChannel();
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 141; ++x)
                a->ScanLine(y)[x] = std::uint8_t(x % 7 == 0 ? 0 : x % 7 == 1 ? 255 : rng());
        a->UpdateFullFlag();
        for (const int transparency : {255, 200, 1})
            for (const bool avx2 : {true, false}) {
                TIEMemoryPlatformBitmap dst, before;
                RandomBackdrop(dst, before, 144, 5, rng);
                const bool was = detail::AllowAvx2(avx2);
                Render(*src, dst, 5, 0, 137, 5, 3, 0, 137, 5, transparency, 0, true);
                detail::AllowAvx2(was);
                for (int y = 0; y < 5; ++y)
                    for (int x = 0; x < 144; ++x)
                        for (int c = 0; c < 3; ++c) {
                            const int d = before.ScanLine(y)[x * 3 + c];
                            int want = d;
                            if (x >= 5 && x < 142) {
                                const int sx = x - 5 + 3;
                                const int w = std::min<int>(transparency, a->ScanLine(y)[sx]);
                                want = (d * (256 - w) + src->ScanLine(y)[sx * 3 + c] * w) >> 8;
                            }
                            ASSERT_EQ(dst.ScanLine(y)[x * 3 + c], want)
                                << StorageName(s) << " transparency " << transparency
                                << (avx2 ? "" : " without AVX2") << " at " << x << "," << y;
                        }
            }
    }
}

TEST(Render, CutOutAlphaRunsBlendByTheFormulaAtEveryByte)
{
    // Runs of 0 and 255 long and short, at every offset to the blocks of sixteen and 32 pixels, graded
    // pixels between them; a transparency of 255 lets opaque runs take their shortcut, one below it
    // must not.
    std::mt19937 rng(11);
    const int w = 700, h = 4;
    TIEBitmap src;
    src.Allocate(w, h, ie24RGB);
    FillRandom(src, rng);
    TIEBitmap* a = src.GetAlphaChannel();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w;) {
            const int kind = int(rng() % 3), length = 1 + int(rng() % 90);
            for (int k = 0; k < length && x < w; ++k, ++x)
                a->ScanLine(y)[x] = kind == 0 ? 0 : kind == 1 ? 255 : std::uint8_t(rng());
        }
    a->UpdateFullFlag();
    for (const int transparency : {255, 254, 100})
        for (const bool avx2 : {true, false}) {
            TIEMemoryPlatformBitmap dst, before;
            RandomBackdrop(dst, before, w, h, rng);
            const bool was = detail::AllowAvx2(avx2);
            Render(src, dst, 0, 0, w, h, 0, 0, w, h, transparency, 0, true);
            detail::AllowAvx2(was);
            for (int y = 0; y < h; ++y)
                for (int i = 0; i < w * 3; ++i) {
                    const int d = before.ScanLine(y)[i],
                              weight = std::min<int>(transparency, a->ScanLine(y)[i / 3]);
                    const int want = d + int(std::floor((src.ScanLine(y)[i] - d) * weight / 256.0));
                    ASSERT_EQ(dst.ScanLine(y)[i], want)
                        << "transparency " << transparency << (avx2 ? "" : " without AVX2") << " at byte "
                        << i << " of row " << y << ", alpha " << int(a->ScanLine(y)[i / 3]);
                }
        }
}

TEST(Render, ARectangleStartingOutsideTheDestinationKeepsItsAlignment)
{
    TIEBitmap src;
    Numbered(src, 10, 10);
    struct TCase {
        int dx, dy, zoom;
    };
    for (const TCase c : {TCase{-3, 0, 1}, TCase{0, -5, 1}, TCase{-7, -4, 3}, TCase{-1, -1, 2}}) {
        TIEMemoryPlatformBitmap clipped, whole;
        FillPlatform(clipped, 12, 12, {9, 9, 9});
        FillPlatform(whole, 40, 40, {9, 9, 9});
        Render(src, clipped, c.dx, c.dy, 10 * c.zoom, 10 * c.zoom, 0, 0, 10, 10);
        Render(src, whole, 0, 0, 10 * c.zoom, 10 * c.zoom, 0, 0, 10, 10);
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 12; ++x) {
                const int wx = x - c.dx, wy = y - c.dy;
                const TRGB expect = wx < 10 * c.zoom && wy < 10 * c.zoom ? At(whole, wx, wy) : TRGB{9, 9, 9};
                ASSERT_EQ(At(clipped, x, y), expect) << c.dx << "," << c.dy << " at " << x << "," << y;
            }
    }
}

TEST(Render, WholeZoomsMapEveryColumnExactly)
{
    // A 14-bit zoom factor maps column 3 of a 300% zoom to source column 0.
    TIEBitmap src;
    Numbered(src, 9, 2);
    for (int zoom : {3, 5, 6, 7}) {
        TIEMemoryPlatformBitmap dst;
        FillPlatform(dst, 9 * zoom, 2, {});
        Render(src, dst, 0, 0, 9 * zoom, 2, 0, 0, 9, 2);
        for (int x = 0; x < 9 * zoom; ++x)
            ASSERT_EQ(At(dst, x, 0).b, x / zoom) << "zoom " << zoom << " column " << x;
    }
}

TEST(Render, ACacheKeptByTheCallerIsRebuiltWhenZoomOrSizesChange)
{
    TIEBitmap src;
    Numbered(src, 30, 30);
    TIERenderCache cache;
    TIEMemoryPlatformBitmap dst;
    FillPlatform(dst, 20, 20, {});
    Render(src, dst, 0, 0, 10, 10, 0, 0, 30, 30, 255, 0, true, &cache);
    // Larger destination, other zoom, smaller image: a stale table would index out of bounds.
    FillPlatform(dst, 90, 90, {});
    Render(src, dst, 0, 0, 90, 90, 0, 0, 30, 30, 255, 0, true, &cache);
    EXPECT_EQ(At(dst, 89, 89), src.GetPixel24(29, 29));
    Numbered(src, 5, 5);
    Render(src, dst, 0, 0, 90, 90, 0, 0, 5, 5, 255, 0, true, &cache);
    EXPECT_EQ(At(dst, 89, 89), src.GetPixel24(4, 4));
    EXPECT_EQ(At(dst, 18, 0), src.GetPixel24(1, 0));
}

TEST(Render, EveryFormatShowsItsDisplayValue)
{
    struct TCase {
        const char* name;
        TIEPixelFormat format;
        double low, high;
        std::function<void(std::uint8_t*)> write;  // pixel 0 of row 0
        std::uint8_t expect;
    };
    auto word = [](std::uint16_t v) { return [v](std::uint8_t* p) { std::memcpy(p, &v, 2); }; };
    auto flt = [](float v) { return [v](std::uint8_t* p) { std::memcpy(p, &v, 4); }; };
    auto byte = [](std::uint8_t v) { return [v](std::uint8_t* p) { p[0] = v; }; };
    const TCase cases[] = {
        {"1g set", ie1g, 0, 0, byte(0x80), 255},
        {"8g plain", ie8g, 0, 0, byte(77), 77},
        {"8g ranged", ie8g, 50, 150, byte(100), 127},
        {"8g below range", ie8g, 50, 150, byte(10), 0},
        {"16g high byte", ie16g, 0, 0, word(0x1234), 0x12},
        {"16g ranged", ie16g, 1000, 2000, word(1500), 127},
        {"32f plain", ie32f, 0, 0, flt(0.5f), 127},
        {"32f above one without range", ie32f, 0, 0, flt(7.0f), 255},
        {"32f negative without range", ie32f, 0, 0, flt(-3.0f), 0},
        {"32f NaN", ie32f, 0, 0, flt(std::numeric_limits<float>::quiet_NaN()), 0},
        {"32f ranged", ie32f, -1, 1, flt(0.0f), 127},
    };
    for (const TCase& c : cases) {
        TIEBitmap src;
        src.Allocate(1, 1, c.format);
        src.RangeLow = c.low;
        src.RangeHigh = c.high;
        c.write(src.ScanLine(0));
        TIEMemoryPlatformBitmap dst;
        FillPlatform(dst, 3, 3, {1, 2, 3});
        Render(src, dst, 0, 0, 3, 3, 0, 0, 1, 1);
        EXPECT_EQ(At(dst, 2, 2), (TRGB{c.expect, c.expect, c.expect})) << c.name;
    }
    TIEBitmap pal;
    pal.Allocate(1, 1, ie8p);
    pal.SetPaletteColor(5, {10, 20, 30});
    pal.ScanLine(0)[0] = 5;
    TIEMemoryPlatformBitmap dst;
    FillPlatform(dst, 1, 1, {});
    Render(pal, dst, 0, 0, 1, 1, 0, 0, 1, 1);
    EXPECT_EQ(At(dst, 0, 0), (TRGB{10, 20, 30}));
}

TEST(Render, FilteredRenderOfEveryFormatFillsTheDestination)
{
    for (TIEPixelFormat f : {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f}) {
        TIEBitmap src;
        src.Allocate(8, 8, f);
        src.Fill(f == ie24RGB ? 0xFFFFFF : f == ie32f ? 1.0 : f == ie16g ? 65535 : 255);
        if (f == ie8p)
            for (int i = 0; i < 256; ++i)
                src.SetPaletteColor(i, {255, 255, 255});
        for (TResampleFilter filter : {rfTriangle, rfFastLinear, rfBicubic}) {
            TIEMemoryPlatformBitmap dst;
            FillPlatform(dst, 13, 5, {});
            Render(src, dst, 0, 0, 13, 5, 0, 0, 8, 8, 255, 0, true, nullptr, filter);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 13; ++x)
                    ASSERT_EQ(At(dst, x, y), (TRGB{255, 255, 255})) << int(f) << " filter " << int(filter);
        }
        auto picture = src.StretchForCanvas(13, 5, rfTriangle, 1);
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->GetPixelRGB(12, 4), (TRGB{255, 255, 255})) << int(f);
    }
}

TEST(Render, ColourAdjustmentShiftsAndStretchesEachChannel)
{
    TIEBitmap src;
    src.Allocate(1, 1, ie24RGB);
    src.SetPixel24(0, 0, {100, 150, 200});
    src.AdjustColors = 1;
    src.RedOffset = 10;
    src.BlueOffset = -20;
    src.Contrast = 10;  // K = 2.0
    TIEMemoryPlatformBitmap dst;
    FillPlatform(dst, 1, 1, {});
    Render(src, dst, 0, 0, 1, 1, 0, 0, 1, 1);
    // (c + offset - 128) * 2 + 128, clamped.
    EXPECT_EQ(At(dst, 0, 0), (TRGB{32, 172, 255}));
    src.Contrast = -25;  // K = 0.5, a negative product truncates toward zero
    src.RedOffset = src.BlueOffset = 0;
    src.SetPixel24(0, 0, {127, 129, 0});
    Render(src, dst, 0, 0, 1, 1, 0, 0, 1, 1);
    EXPECT_EQ(At(dst, 0, 0), (TRGB{128, 128, 64}));
}

TEST(Render, HugeOffsetsAndContrastsSaturateWithoutOverflow)
{
    constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
    // Pixel (127, 128, 129) in B, G, R with the same offset on every channel.
    struct TCase {
        int offset, contrast;
        TRGB want;
    };
    const TCase cases[] = {
        {kMax, 0, {255, 255, 255}},    {kMin, 0, {0, 0, 0}},
        {0, kMax, {0, 128, 255}},      {0, kMin, {255, 128, 0}},  // K is negative below -100
        {kMax, kMax, {255, 255, 255}}, {kMin, kMax, {0, 0, 0}},
        {kMax, kMin, {0, 0, 0}},       {kMin, kMin, {255, 255, 255}},
        {kMax, -100, {128, 128, 128}}, {kMin, -100, {128, 128, 128}},    // K = 0
        {kMax, -99, {255, 255, 255}},  {1 << 26, -99, {255, 255, 255}},  // K = 328
        {-(1 << 26), -99, {0, 0, 0}},  {1000, 1000000, {255, 255, 255}},
        {-1000, 1000000, {0, 0, 0}},   {0, 1000000, {0, 128, 255}},
    };
    for (const TCase& c : cases)
        for (TResampleFilter filter : {rfNone, rfTriangle}) {
            TIEBitmap src;
            src.Allocate(2, 2, ie24RGB);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 2; ++x)
                    src.SetPixel24(x, y, TRGB{127, 128, 129});
            src.AdjustColors = 1;
            src.RedOffset = src.GreenOffset = src.BlueOffset = c.offset;
            src.Contrast = c.contrast;
            TIEMemoryPlatformBitmap dst;
            FillPlatform(dst, 4, 4, {});
            Render(src, dst, 0, 0, 4, 4, 0, 0, 2, 2, 255, 0, true, nullptr, filter);
            EXPECT_EQ(At(dst, 3, 3), c.want) << c.offset << " " << c.contrast << " filter " << int(filter);
        }
}

TEST(Render, TheFilteredPathAppliesTheColourAdjustmentToo)
{
    TIEBitmap src;
    src.Allocate(3, 3, ie24RGB);
    src.Fill(0x646464);  // grey 100
    src.AdjustColors = 1;
    src.Contrast = 10;  // (100 - 128) * 2 + 128 = 72
    for (TResampleFilter filter : {rfNone, rfTriangle, rfFastLinear, rfBicubic}) {
        TIEMemoryPlatformBitmap dst;
        FillPlatform(dst, 7, 5, {});
        Render(src, dst, 0, 0, 7, 5, 0, 0, 3, 3, 255, 0, true, nullptr, filter);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(At(dst, x, y), (TRGB{72, 72, 72})) << "filter " << int(filter);
    }
}

TEST(Render, AnAlphaChannelOfAnotherSizeOrFormatIsLeftOut)
{
    struct TCase {
        int w, h;
        TIEPixelFormat format;
    };
    // The image is 6 x 5; its alpha plane is made transparent so that using it would show.
    for (const TCase c : {TCase{2, 2, ie8g}, TCase{6, 1, ie8g}, TCase{1, 5, ie8g}, TCase{9, 8, ie8g},
                          TCase{6, 5, ie24RGB}, TCase{6, 5, ie1g}}) {
        for (TResampleFilter filter : {rfNone, rfTriangle}) {
            TIEBitmap src;
            src.Allocate(6, 5, ie24RGB);
            src.Fill(0xFFFFFF);
            TIEBitmap* a = src.GetAlphaChannel();
            a->Allocate(c.w, c.h, c.format);
            a->Fill(0);
            a->Full = false;
            TIEMemoryPlatformBitmap dst;
            FillPlatform(dst, 12, 10, {});
            Render(src, dst, 0, 0, 12, 10, 0, 0, 6, 5, 255, 0, true, nullptr, filter);
            for (int y = 0; y < 10; ++y)
                for (int x = 0; x < 12; ++x)
                    ASSERT_EQ(At(dst, x, y), (TRGB{255, 255, 255}))
                        << c.w << "x" << c.h << " format " << int(c.format) << " filter " << int(filter);
        }
    }
    // The same size still blends.
    TIEBitmap src;
    src.Allocate(6, 5, ie24RGB);
    src.Fill(0xFFFFFF);
    src.GetAlphaChannel()->Fill(0);
    src.GetAlphaChannel()->Full = false;
    TIEMemoryPlatformBitmap dst;
    FillPlatform(dst, 6, 5, {});
    Render(src, dst, 0, 0, 6, 5, 0, 0, 6, 5);
    EXPECT_EQ(At(dst, 5, 4), (TRGB{0, 0, 0}));
}

TEST(Render, NothingIsDrawnForEmptyRectanglesOrBeyondTheDestination)
{
    TIEBitmap src;
    Numbered(src, 4, 4);
    TIEMemoryPlatformBitmap dst;
    FillPlatform(dst, 4, 4, {9, 9, 9});
    const int cases[][8] = {{0, 0, 0, 4, 0, 0, 4, 4}, {0, 0, 4, 4, 0, 0, 0, 4},  {4, 0, 4, 4, 0, 0, 4, 4},
                            {0, 4, 4, 4, 0, 0, 4, 4}, {-9, 0, 4, 4, 0, 0, 4, 4}, {0, 0, -4, 4, 0, 0, 4, 4}};
    for (const auto& c : cases)
        Render(src, dst, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            ASSERT_EQ(At(dst, x, y), (TRGB{9, 9, 9}));
    TIEMemoryPlatformBitmap deep;
    deep.SetBitsPerPixel(32);
    deep.SetSize(4, 4);
    EXPECT_THROW(Render(src, deep, 0, 0, 4, 4, 0, 0, 4, 4), rtl::EInvalidArgument);
}

TEST(Render, BlendTableAndPixelBlends)
{
    EXPECT_EQ(IEBlendChannel(29, 0, 0), 0);
    EXPECT_EQ(IEBlendChannel(29, 255, 255), 255);
    EXPECT_EQ(IEBlendCurve()[0], 0);
    EXPECT_EQ(IEBlendCurve()[255], 128);
    // White and black are neutral where the blend says so.
    for (int b = 0; b < 256; ++b) {
        ASSERT_EQ(IEBlendChannel(4, 255, std::uint8_t(b)), b) << "multiply by white";
        ASSERT_EQ(IEBlendChannel(11, 0, std::uint8_t(b)), b) << "screen with black";
        ASSERT_EQ(IEBlendChannel(28, 255, std::uint8_t(b)), b) << "linear burn with white";
        ASSERT_EQ(IEBlendChannel(19, std::uint8_t(b), 255), 255) << "burning white";
    }
    const TRGB a{10, 20, 30}, b{40, 50, 60};
    EXPECT_EQ(IEBlendPixel(31, a, b), (TRGB{40, 50, 30}));
    EXPECT_EQ(IEBlendPixel(32, a, b), (TRGB{40, 20, 60}));
    EXPECT_EQ(IEBlendPixel(33, a, b), (TRGB{10, 50, 60}));
    EXPECT_EQ(IEBlendPixel(36, b, b), b);
    EXPECT_EQ(IEBlendPixel(38, a, b), b);
    EXPECT_EQ(IEBlendChannel(99, 1, 2), 2);
}

TEST(Render, BandsHoldAtLeastOneRow)
{
    EXPECT_EQ(IEStretchBandRows(0, 3000), 1);
    EXPECT_EQ(IEStretchBandRows(-1, 3000), 1);
    EXPECT_EQ(IEStretchBandRows(2999, 3000), 1);
    EXPECT_EQ(IEStretchBandRows(30000, 3000), 10);
    EXPECT_EQ(IEStretchBandRows(std::int64_t(1) << 40, 4), std::numeric_limits<int>::max());
}

TEST(Render, StretchedPicturesKeepOneBitAndEmptyOnesAreNone)
{
    TIEBitmap bits;
    bits.Allocate(10, 10, ie1g);
    bits.Fill(1);
    auto picture = bits.StretchForCanvas(5, 20, rfNone, 2.2);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->GetPixelFormat(), ie1g);
    EXPECT_EQ(picture->GetPixelRGB(4, 19), (TRGB{255, 255, 255}));
    EXPECT_EQ(bits.StretchForCanvas(0, 5, rfNone, 1), nullptr);
    TIEBitmap empty;
    EXPECT_EQ(empty.StretchForCanvas(5, 5, rfTriangle, 1), nullptr);
}

}  // namespace
