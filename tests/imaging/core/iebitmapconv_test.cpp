// Tests of pixel-format conversion and the exchange with platform bitmaps and DIB sections.
#include "imaging/core/iebitmap.h"

#include "imaging/core/vodiradproc.h"
#include "platform/rtl/Exceptions.h"
#include "bitmap_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <set>

using namespace imaging;
using namespace imaging::test;

namespace {

constexpr TIEPixelFormat kFormats[] = {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f};

const char* FormatName(TIEPixelFormat f)
{
    switch (f) {
    case ie1g: return "ie1g";
    case ie8p: return "ie8p";
    case ie8g: return "ie8g";
    case ie16g: return "ie16g";
    case ie24RGB: return "ie24RGB";
    case ie32f: return "ie32f";
    default: return "ieNull";
    }
}

std::uint16_t Get16(TIEBitmap& b, int x, int y)
{
    std::uint16_t v;
    std::memcpy(&v, b.ScanLine(y) + x * 2, 2);
    return v;
}

void Set16(TIEBitmap& b, int x, int y, std::uint16_t v) { std::memcpy(b.ScanLine(y) + x * 2, &v, 2); }

float GetF(TIEBitmap& b, int x, int y)
{
    float v;
    std::memcpy(&v, b.ScanLine(y) + x * 4, 4);
    return v;
}

void SetF(TIEBitmap& b, int x, int y, float v) { std::memcpy(b.ScanLine(y) + x * 4, &v, 4); }

TRGB Rgb(int r, int g, int b) { return TRGB{std::uint8_t(b), std::uint8_t(g), std::uint8_t(r)}; }

// Four pixels in one row; the colours below have hand-worked greys:
//   (200,100,50): 8-bit (4200+7100+400) div 100 = 117, 16-bit 30067200 div 1000 = 30067,
//                 float 117.65 / 255
//   (10,20,30):   8-bit 1870 div 100 = 18, 16-bit 4769280 div 1000 = 4769, float 18.596 / 255
//   white:        255, 65280, 1.0; black: 0, 0, 0
std::unique_ptr<TIEBitmap> Known(TIEPixelFormat f, Storage s)
{
    auto b = MakeBitmap(s);
    b->Allocate(4, 1, f);
    switch (f) {
    case ie1g: b->ScanLine(0)[0] = 0xB0; break;  // 1 0 1 1
    case ie8p: {
        b->SetPaletteColor(0, Rgb(200, 100, 50));
        b->SetPaletteColor(1, Rgb(10, 20, 30));
        b->SetPaletteColor(2, Rgb(255, 255, 255));
        const std::uint8_t idx[4] = {0, 1, 2, 3};  // entry 3 stays black
        std::memcpy(b->ScanLine(0), idx, 4);
        break;
    }
    case ie8g: {
        const std::uint8_t v[4] = {0, 128, 255, 17};
        std::memcpy(b->ScanLine(0), v, 4);
        break;
    }
    case ie16g:
        Set16(*b, 0, 0, 0x1234);
        Set16(*b, 1, 0, 0xFFFF);
        Set16(*b, 2, 0, 0x00FF);
        Set16(*b, 3, 0, 0x8000);
        break;
    case ie24RGB:
        b->SetPixel24(0, 0, Rgb(200, 100, 50));
        b->SetPixel24(1, 0, Rgb(10, 20, 30));
        b->SetPixel24(2, 0, Rgb(255, 255, 255));
        b->SetPixel24(3, 0, Rgb(0, 0, 0));
        break;
    case ie32f:
        SetF(*b, 0, 0, -0.5f);
        SetF(*b, 1, 0, 1.5f);
        SetF(*b, 2, 0, 0.5f);
        SetF(*b, 3, 0, 1.0f);
        break;
    default: break;
    }
    return b;
}

// --- hand-worked results of every pair ---

TEST(ConvertsEveryPair, ToEightBitGrey)
{
    struct Case {
        TIEPixelFormat from;
        std::uint8_t expect[4];
    } cases[] = {
        {ie1g, {255, 0, 255, 255}},
        {ie8p, {117, 18, 255, 0}},
        {ie16g, {0x12, 0xFF, 0x00, 0x80}},
        {ie24RGB, {117, 18, 255, 0}},
        // -0.5 clamps to 0 and 1.5 to 255 (a wrap would give 126); Trunc(127.5) is 127
        {ie32f, {0, 255, 127, 255}},
    };
    for (const auto& c : cases) {
        auto b = Known(c.from, Storage::Memory);
        b->SetPixelFormat(ie8g);
        ASSERT_EQ(b->GetPixelFormat(), ie8g);
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(b->ScanLine(0)[x], c.expect[x]) << FormatName(c.from) << " x=" << x;
    }
}

TEST(ConvertsEveryPair, ToSixteenBitGrey)
{
    struct Case {
        TIEPixelFormat from;
        std::uint16_t expect[4];
    } cases[] = {
        {ie1g, {65535, 0, 65535, 65535}},         {ie8p, {30067, 4769, 65280, 0}},
        {ie8g, {0, 128 << 8, 255 << 8, 17 << 8}}, {ie24RGB, {30067, 4769, 65280, 0}},
        {ie32f, {0, 65535, 32767, 65535}},
    };
    for (const auto& c : cases) {
        auto b = Known(c.from, Storage::Memory);
        b->SetPixelFormat(ie16g);
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(Get16(*b, x, 0), c.expect[x]) << FormatName(c.from) << " x=" << x;
    }
}

TEST(ConvertsEveryPair, ToTwentyFourBits)
{
    struct Case {
        TIEPixelFormat from;
        TRGB expect[4];
    } cases[] = {
        {ie1g, {Rgb(255, 255, 255), Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(255, 255, 255)}},
        {ie8p, {Rgb(200, 100, 50), Rgb(10, 20, 30), Rgb(255, 255, 255), Rgb(0, 0, 0)}},
        {ie8g, {Rgb(0, 0, 0), Rgb(128, 128, 128), Rgb(255, 255, 255), Rgb(17, 17, 17)}},
        {ie16g, {Rgb(0x12, 0x12, 0x12), Rgb(255, 255, 255), Rgb(0, 0, 0), Rgb(0x80, 0x80, 0x80)}},
        {ie32f, {Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(127, 127, 127), Rgb(255, 255, 255)}},
    };
    for (const auto& c : cases) {
        auto b = Known(c.from, Storage::Memory);
        b->SetPixelFormat(ie24RGB);
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(b->GetPixel24(x, 0), c.expect[x]) << FormatName(c.from) << " x=" << x;
    }
}

TEST(ConvertsEveryPair, ToFloat)
{
    struct Case {
        TIEPixelFormat from;
        double expect[4];
    } cases[] = {
        {ie1g, {1, 0, 1, 1}},
        {ie8p, {117.65 / 255, 18.596 / 255, 1, 0}},
        {ie8g, {0, 128 / 255.0, 1, 17 / 255.0}},
        {ie16g, {0x1234 / 65535.0, 1, 0xFF / 65535.0, 0x8000 / 65535.0}},
        {ie24RGB, {117.65 / 255, 18.596 / 255, 1, 0}},
    };
    for (const auto& c : cases) {
        auto b = Known(c.from, Storage::Memory);
        b->SetPixelFormat(ie32f);
        for (int x = 0; x < 4; ++x)
            EXPECT_NEAR(GetF(*b, x, 0), c.expect[x], 1e-6) << FormatName(c.from) << " x=" << x;
    }
}

TEST(ConvertsEveryPair, ToPaletteIndexesWithTheirPalette)
{
    // Grey sources index a grey ramp by their 8-bit level.
    struct Case {
        TIEPixelFormat from;
        std::uint8_t expect[4];
    } cases[] = {
        {ie8g, {0, 128, 255, 17}},
        {ie16g, {0x12, 0xFF, 0x00, 0x80}},
        {ie32f, {0, 255, 127, 255}},
    };
    for (const auto& c : cases) {
        auto b = Known(c.from, Storage::Memory);
        b->SetPixelFormat(ie8p);
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(b->ScanLine(0)[x], c.expect[x]) << FormatName(c.from) << " x=" << x;
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(b->GetPaletteColor(i), Rgb(i, i, i)) << FormatName(c.from) << " entry " << i;
    }
    // One bit: index = bit, and only entries 0 (black) and 1 (white) are set.
    auto b = Known(ie1g, Storage::Memory);
    b->SetPixelFormat(ie8p);
    const std::uint8_t expect[4] = {1, 0, 1, 1};
    EXPECT_EQ(0, std::memcmp(b->ScanLine(0), expect, 4));
    EXPECT_EQ(b->GetPaletteColor(0), Rgb(0, 0, 0));
    EXPECT_EQ(b->GetPaletteColor(1), Rgb(255, 255, 255));
    for (int i = 2; i < 256; ++i)
        EXPECT_EQ(b->GetPaletteColor(i), Rgb(0, 0, 0)) << i;
}

TEST(ConvertsEveryPair, TwentyFourBitsWithFewColoursKeepThemExactly)
{
    auto b = MakeBitmap(Storage::Memory);
    b->Allocate(20, 10, ie24RGB);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            b->SetPixel24(x, y, Rgb(y * 20 + x, 255 - x * 7, 3 * y));  // 200 distinct colours
    TIEBitmap original;
    original.Assign(b.get());
    b->SetPixelFormat(ie8p);
    ASSERT_EQ(b->GetPixelFormat(), ie8p);
    std::set<int> used;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            const int index = b->ScanLine(y)[x];
            used.insert(index);
            ASSERT_EQ(b->GetPaletteColor(index), original.GetPixel24(x, y)) << x << "," << y;
        }
    EXPECT_EQ(used.size(), 200u);
}

TEST(ConvertsEveryPair, PaletteColoursOutsideTwoTo256AreClampedNotRefused)
{
    for (int colors : {-7, 0, 1, 2, 1000}) {
        auto b = Known(ie24RGB, Storage::Memory);
        b->PaletteColors = colors;
        ASSERT_NO_THROW(b->SetPixelFormat(ie8p)) << colors;
        std::set<int> used;
        for (int x = 0; x < 4; ++x)
            used.insert(b->ScanLine(0)[x]);
        // At least two colours survive whatever the setting.
        EXPECT_EQ(used.size(), colors <= 2 ? 2u : 4u) << colors;
    }
}

// --- one bit: white is a set bit ---

TEST(ConvertsToOneBit, OrderedDitherOfMidGreyLightsHalfOfEveryTile)
{
    auto b = MakeBitmap(Storage::Memory);
    b->Allocate(16, 16, ie8g);
    b->Fill(128);
    b->MonoConversion = 0;
    b->SetPixelFormat(ie1g);
    for (int ty = 0; ty < 2; ++ty)
        for (int tx = 0; tx < 2; ++tx) {
            int white = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    white += GetPixelBit(b->ScanLine(ty * 8 + y), tx * 8 + x) ? 1 : 0;
            EXPECT_EQ(white, 32) << "tile " << tx << "," << ty;
        }
    // Level 32: T[0][0] = 0 lights, T[0][1] = 32 and T[1][0] = 48 do not, T[0][2] = 8 does.
    EXPECT_TRUE(GetPixelBit(b->ScanLine(0), 0));
    EXPECT_FALSE(GetPixelBit(b->ScanLine(1), 0));
    EXPECT_FALSE(GetPixelBit(b->ScanLine(0), 1));
    EXPECT_TRUE(GetPixelBit(b->ScanLine(2), 0));
}

TEST(ConvertsToOneBit, DitheredWhiteStaysWhiteAndBlackStaysBlack)
{
    for (TIEPixelFormat f : {ie8g, ie16g, ie24RGB, ie32f, ie8p}) {
        for (int white = 0; white < 2; ++white) {
            auto b = MakeBitmap(Storage::Memory);
            b->Allocate(8, 8, f);
            if (f == ie8p) {
                b->SetPaletteColor(0, white ? Rgb(255, 255, 255) : Rgb(0, 0, 0));
            } else {
                b->Fill(white ? (f == ie32f ? 1.0 : f == ie16g ? 65535 : f == ie24RGB ? 0xFFFFFF : 255) : 0);
            }
            b->MonoConversion = 0;
            b->SetPixelFormat(ie1g);
            for (int y = 0; y < 8; ++y)
                EXPECT_EQ(b->ScanLine(y)[0], white ? 0xFF : 0x00) << FormatName(f) << " row " << y;
        }
    }
}

// Every grey lights as many of a tile's 64 pixels as its level (grey shr 2) exceeds matrix
// entries: the level itself, except the top level, which lights all 64 so white stays white.
TEST(ConvertsToOneBit, EveryGreyLightsItsLevelInEveryTile)
{
    auto b = MakeBitmap(Storage::Memory);
    b->Allocate(8, 256 * 8, ie8g);
    for (int v = 0; v < 256; ++v)
        for (int y = 0; y < 8; ++y)
            std::memset(b->ScanLine(v * 8 + y), v, 8);
    b->MonoConversion = 0;
    b->SetPixelFormat(ie1g);
    for (int v = 0; v < 256; ++v) {
        int white = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                white += GetPixelBit(b->ScanLine(v * 8 + y), x) ? 1 : 0;
        EXPECT_EQ(white, v >= 252 ? 64 : v >> 2) << "grey " << v;
    }
}

TEST(ConvertsToOneBit, ThresholdModeSplitsAtTheGreyOfTheAverageColour)
{
    auto b = MakeBitmap(Storage::Memory);
    b->Allocate(4, 1, ie8g);
    const std::uint8_t v[4] = {0, 99, 100, 201};  // average 100
    std::memcpy(b->ScanLine(0), v, 4);
    ASSERT_EQ(b->MonoConversion, 1);
    b->SetPixelFormat(ie1g);
    EXPECT_EQ(b->ScanLine(0)[0] & 0xF0, 0x30);
}

TEST(ConvertsToOneBit, SixteenBitAndFloatDitherByTheirEightBitLevel)
{
    // 0x8000 shr 10 = 32 and Trunc(0.5 * 255) shr 2 = 31: half a tile and one pixel less.
    for (TIEPixelFormat f : {ie16g, ie32f}) {
        auto b = MakeBitmap(Storage::Memory);
        b->Allocate(8, 8, f);
        b->Fill(f == ie16g ? 0x8000 : 0.5);
        b->MonoConversion = 0;
        b->SetPixelFormat(ie1g);
        int white = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                white += GetPixelBit(b->ScanLine(y), x) ? 1 : 0;
        EXPECT_EQ(white, f == ie16g ? 32 : 31) << FormatName(f);
    }
}

// --- round trips ---

TEST(RoundTrips, WideningAndBackIsLossless)
{
    struct Trip {
        TIEPixelFormat from, via;
    } trips[] = {
        {ie8g, ie16g}, {ie8g, ie24RGB}, {ie8g, ie32f},   {ie8g, ie8p},  {ie16g, ie32f},
        {ie1g, ie8g},  {ie1g, ie16g},   {ie1g, ie24RGB}, {ie1g, ie32f}, {ie1g, ie8p},
    };
    std::mt19937 rng(7);
    for (const auto& t : trips) {
        auto b = MakeBitmap(Storage::Memory);
        b->Allocate(37, 5, t.from);
        FillRandom(*b, rng);
        b->MonoConversion = 0;
        const auto before = PixelRows(*b);
        b->SetPixelFormat(t.via);
        b->SetPixelFormat(t.from);
        EXPECT_EQ(PixelRows(*b), before) << FormatName(t.from) << " via " << FormatName(t.via) << ": "
                                         << FirstDifference(PixelRows(*b), before);
    }
    // Every one of the 65536 levels comes back from float, not only those a float holds exactly.
    auto b = MakeBitmap(Storage::Memory);
    b->Allocate(256, 256, ie16g);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            Set16(*b, x, y, std::uint16_t(y * 256 + x));
    b->SetPixelFormat(ie32f);
    b->SetPixelFormat(ie16g);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            ASSERT_EQ(Get16(*b, x, y), y * 256 + x);
}

TEST(RoundTrips, GreyToPaletteKeepsEveryByteAndInstallsTheRamp)
{
    auto b = MakeBitmap(Storage::Memory);
    b->Allocate(256, 1, ie8g);
    for (int x = 0; x < 256; ++x)
        b->ScanLine(0)[x] = std::uint8_t(x);
    b->SetPixelFormat(ie8p);
    for (int x = 0; x < 256; ++x)
        ASSERT_EQ(b->ScanLine(0)[x], x);
    b->SetPixelFormat(ie24RGB);
    for (int x = 0; x < 256; ++x)
        ASSERT_EQ(b->GetPixel24(x, 0), Rgb(x, x, x));
}

// --- what the conversion keeps ---

TEST(KeepsAroundTheConversion, AlphaChannelSizeAndSameFormatNoOp)
{
    auto b = Known(ie24RGB, Storage::Memory);
    b->GetAlphaChannel()->ScanLine(0)[2] = 77;
    b->SetPixelFormat(ie16g);
    ASSERT_TRUE(b->HasAlphaChannel());
    EXPECT_EQ(b->GetAlpha(2, 0), 77);
    EXPECT_EQ(b->GetWidth(), 4);
    EXPECT_EQ(b->GetHeight(), 1);
    const auto before = Rows(*b);
    b->SetPixelFormat(ie16g);
    EXPECT_EQ(Rows(*b), before);
    EXPECT_EQ(b->GetAlpha(2, 0), 77);
}

TEST(KeepsAroundTheConversion, NullImageGetsStorageOfItsSize)
{
    TIEBitmap b;
    b.Allocate(5, 3, ieNull);
    b.SetPixelFormat(ie24RGB);
    EXPECT_EQ(b.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(b.GetWidth(), 5);
    EXPECT_EQ(b.GetHeight(), 3);
    EXPECT_EQ(b.GetRowLen(), 16);
}

TEST(KeepsAroundTheConversion, TooLargeTargetRefusesAndLeavesTheImage)
{
    // 2^30 x 2^30 pixels: only 64-bit sizes see that a float row does not fit.
    TIEBitmap b;
    b.Allocate(1 << 30, 1 << 30, ieNull);
    EXPECT_THROW(b.SetPixelFormat(ie32f), rtl::EOutOfMemory);
    EXPECT_EQ(b.GetPixelFormat(), ieNull);
    EXPECT_EQ(b.GetWidth(), 1 << 30);
    EXPECT_EQ(b.GetHeight(), 1 << 30);
}

// --- storage places give the same bytes ---

TEST(StoragePlaces, MemoryFileAndPlatformConvertToTheSameBytes)
{
    std::mt19937 rng(11);
    for (TIEPixelFormat from : kFormats)
        for (TIEPixelFormat to : kFormats) {
            if (from == to)
                continue;
            for (int mono = 0; mono < 2; ++mono) {
                std::vector<std::uint8_t> reference;
                const std::uint32_t seed = rng();
                for (Storage s : {Storage::Memory, Storage::File, Storage::Platform}) {
                    auto b = MakeBitmap(s);
                    b->Allocate(13, 9, from);
                    std::mt19937 fill(seed);
                    FillRandom(*b, fill);
                    if (from == ie8p)
                        for (int i = 0; i < 256; ++i)
                            b->SetPaletteColor(i, Rgb(i, 255 - i, (i * 7) & 255));
                    if (from == ie32f)
                        for (int y = 0; y < 9; ++y)
                            for (int x = 0; x < 13; ++x)
                                SetF(*b, x, y, float(int(fill() % 1000) - 200) / 500.0f);
                    b->MonoConversion = std::uint8_t(mono);
                    b->SetPixelFormat(to);
                    ASSERT_EQ(b->GetPixelFormat(), to);
                    if (s == Storage::Platform && from != ie16g && from != ie32f) {
                        const bool platformHolds = to != ie16g && to != ie32f;
                        EXPECT_EQ(b->Location(), platformHolds ? ieTBitmap : ieMemory);
                        if (platformHolds) {
                            const int bits = b->GetVclBitmap()->BitsPerPixel();
                            EXPECT_EQ(bits, IEBitCount(to)) << "platform bitmap rebuilt in the new format";
                        }
                    } else if (s == Storage::File) {
                        EXPECT_EQ(b->Location(), ieFile);
                    }
                    const auto rows = Rows(*b);
                    if (s == Storage::Memory)
                        reference = rows;
                    else
                        EXPECT_EQ(rows, reference)
                            << FormatName(from) << " to " << FormatName(to) << " in " << StorageName(s)
                            << " mono " << mono << ": " << FirstDifference(rows, reference);
                }
            }
        }
}

TEST(StoragePlaces, EncapsulatedPlatformBitmapIsRebuiltInPlace)
{
    TIEMemoryPlatformBitmap picture;
    picture.SetBitsPerPixel(24);
    picture.SetSize(8, 2);
    for (int y = 0; y < 2; ++y)
        std::memset(picture.ScanLine(y), y ? 255 : 0, 24);
    TIEBitmap b;
    b.EncapsulateTBitmap(&picture, true);
    b.MonoConversion = 0;
    b.SetPixelFormat(ie1g);
    EXPECT_TRUE(b.EncapsulatedTBitmap());
    EXPECT_EQ(picture.BitsPerPixel(), 1);
    EXPECT_EQ(picture.ScanLine(0)[0], 0x00);
    EXPECT_EQ(picture.ScanLine(1)[0], 0xFF);
    b.SetPixelFormat(ie8g);
    EXPECT_EQ(picture.BitsPerPixel(), 8);
    EXPECT_EQ(picture.ScanLine(1)[7], 255);
    TRGB entries[256];
    ASSERT_EQ(picture.GetPalette(entries, 256), 256);
    EXPECT_EQ(entries[200], Rgb(200, 200, 200));
}

TEST(StoragePlaces, RandomImagesOfEveryPairAndSize)
{
    std::mt19937 rng(2024);
    for (int round = 0; round < 60; ++round) {
        const TIEPixelFormat from = kFormats[rng() % 6];
        const TIEPixelFormat to = kFormats[rng() % 6];
        const int w = int(rng() % 70), h = int(rng() % 20);
        auto b = MakeBitmap(round % 3 == 0   ? Storage::File
                            : round % 3 == 1 ? Storage::Memory
                                             : Storage::Platform);
        b->Allocate(w, h, from);
        FillRandom(*b, rng);
        b->MonoConversion = std::uint8_t(rng() % 2);
        b->PaletteColors = int(rng() % 300);
        b->SetPixelFormat(to);
        EXPECT_EQ(b->GetPixelFormat(), to);
        EXPECT_EQ(b->GetWidth(), w);
        EXPECT_EQ(b->GetHeight(), h);
    }
}

// --- platform bitmaps ---

std::unique_ptr<TIEMemoryPlatformBitmap> Platform(int w, int h, int bits)
{
    auto p = std::make_unique<TIEMemoryPlatformBitmap>();
    p->SetBitsPerPixel(bits);
    p->SetSize(w, h);
    return p;
}

TEST(CopyFromTBitmap, HighColourPixelsScaleByChannelWidth)
{
    auto p = Platform(3, 1, 16);
    const std::uint16_t px[3] = {0xFFFF, 0xF800, 0x07E0};
    std::memcpy(p->ScanLine(0), px, 6);
    TIEBitmap b;
    b.CopyFromTBitmap(p.get());
    ASSERT_EQ(b.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(b.GetPixel24(0, 0), Rgb(248, 252, 248));
    EXPECT_EQ(b.GetPixel24(1, 0), Rgb(248, 0, 0));
    EXPECT_EQ(b.GetPixel24(2, 0), Rgb(0, 252, 0));

    auto q = Platform(3, 1, 15);
    const std::uint16_t px15[3] = {0x7FFF, 0x7C00, 0x001F};
    std::memcpy(q->ScanLine(0), px15, 6);
    b.CopyFromTBitmap(q.get());
    EXPECT_EQ(b.GetPixel24(0, 0), Rgb(248, 248, 248));
    EXPECT_EQ(b.GetPixel24(1, 0), Rgb(248, 0, 0));
    EXPECT_EQ(b.GetPixel24(2, 0), Rgb(0, 0, 248));
}

TEST(CopyFromTBitmap, PaletteDepthsBecomeIndexBytesWithTheirEntries)
{
    auto p4 = Platform(3, 1, 4);
    TRGB entries[16];
    for (int i = 0; i < 16; ++i)
        entries[i] = Rgb(i * 16, 0, 255 - i);
    p4->SetPalette(entries, 16);
    p4->ScanLine(0)[0] = 0x3C;  // high nibble first
    p4->ScanLine(0)[1] = 0x70;
    TIEBitmap b;
    b.CopyFromTBitmap(p4.get());
    ASSERT_EQ(b.GetPixelFormat(), ie8p);
    const std::uint8_t expect[3] = {3, 12, 7};
    EXPECT_EQ(0, std::memcmp(b.ScanLine(0), expect, 3));
    EXPECT_EQ(b.GetPaletteColor(12), Rgb(192, 0, 243));

    // A 1-bit picture with colours is no black and white image.
    auto p1 = Platform(10, 1, 1);
    const TRGB two[2] = {Rgb(255, 0, 0), Rgb(0, 0, 255)};
    p1->SetPalette(two, 2);
    p1->ScanLine(0)[0] = 0xA0;
    b.CopyFromTBitmap(p1.get());
    ASSERT_EQ(b.GetPixelFormat(), ie8p);
    const std::uint8_t bits[4] = {1, 0, 1, 0};
    EXPECT_EQ(0, std::memcmp(b.ScanLine(0), bits, 4));
    EXPECT_EQ(b.GetPaletteColor(1), Rgb(0, 0, 255));

    auto p8 = Platform(2, 2, 8);
    TRGB ramp[256];
    for (int i = 0; i < 256; ++i)
        ramp[i] = Rgb(i, i / 2, 0);
    p8->SetPalette(ramp, 256);
    p8->ScanLine(1)[1] = 99;
    b.CopyFromTBitmap(p8.get());
    ASSERT_EQ(b.GetPixelFormat(), ie8p);
    EXPECT_EQ(b.ScanLine(1)[1], 99);
    EXPECT_EQ(b.GetPaletteColor(99), Rgb(99, 49, 0));
    EXPECT_FALSE(b.Full);
}

TEST(CopyFromTBitmap, MonochromeAndTrueColourRowsAreCopiedAsTheyAre)
{
    auto p1 = Platform(12, 2, 1);
    const TRGB bw[2] = {Rgb(0, 0, 0), Rgb(255, 255, 255)};
    p1->SetPalette(bw, 2);
    p1->ScanLine(1)[0] = 0x5A;
    p1->ScanLine(1)[1] = 0xC0;
    TIEBitmap b;
    b.CopyFromTBitmap(p1.get());
    ASSERT_EQ(b.GetPixelFormat(), ie1g);
    EXPECT_EQ(b.ScanLine(1)[0], 0x5A);
    EXPECT_EQ(b.ScanLine(1)[1], 0xC0);

    auto p32 = Platform(2, 1, 32);
    const std::uint8_t px[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::memcpy(p32->ScanLine(0), px, 8);
    b.CopyFromTBitmap(p32.get());
    ASSERT_EQ(b.GetPixelFormat(), ie24RGB);
    const std::uint8_t expect[6] = {1, 2, 3, 5, 6, 7};
    EXPECT_EQ(0, std::memcmp(b.ScanLine(0), expect, 6));
}

TEST(CopyFromTBitmap, IntoAPlatformImageKeepsHighColourPixels)
{
    auto p = Platform(2, 1, 16);
    const std::uint16_t px[2] = {0xFFFF, 0x001F};
    std::memcpy(p->ScanLine(0), px, 4);
    auto b = MakeBitmap(Storage::Platform);
    b->CopyFromTBitmap(p.get());
    EXPECT_EQ(b->Location(), ieTBitmap);
    ASSERT_EQ(b->GetPixelFormat(), ie24RGB);
    EXPECT_EQ(b->GetVclBitmap()->BitsPerPixel(), 24);
    EXPECT_EQ(b->GetPixel24(0, 0), Rgb(248, 252, 248));
    EXPECT_EQ(b->GetPixel24(1, 0), Rgb(0, 0, 248));
}

TEST(CopyFromTBitmap, AssignTakesAPlatformBitmap)
{
    auto p = Platform(3, 2, 24);
    std::memset(p->ScanLine(1), 0x42, 9);
    TIEBitmap b;
    b.Assign(p.get());
    ASSERT_EQ(b.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(b.GetPixel24(2, 1), (TRGB{0x42, 0x42, 0x42}));
}

TEST(CopyToTBitmap, EachFormatGetsItsDepthPaletteAndPixels)
{
    TRGB entries[256];
    {
        auto b = Known(ie16g, Storage::Memory);
        auto p = Platform(1, 1, 24);
        b->CopyToTBitmap(p.get());
        ASSERT_EQ(p->BitsPerPixel(), 8);
        EXPECT_EQ(p->Width(), 4);
        const std::uint8_t expect[4] = {0x12, 0xFF, 0x00, 0x80};
        EXPECT_EQ(0, std::memcmp(p->ScanLine(0), expect, 4));
        ASSERT_EQ(p->GetPalette(entries, 256), 256);
        EXPECT_EQ(entries[0x80], Rgb(0x80, 0x80, 0x80));
    }
    {
        auto b = Known(ie32f, Storage::Memory);
        auto p = Platform(1, 1, 24);
        b->CopyToTBitmap(p.get());
        ASSERT_EQ(p->BitsPerPixel(), 8);
        const std::uint8_t expect[4] = {0, 255, 127, 255};  // clamped, not wrapped
        EXPECT_EQ(0, std::memcmp(p->ScanLine(0), expect, 4));
    }
    {
        auto b = Known(ie1g, Storage::File);
        auto p = Platform(1, 1, 24);
        b->CopyToTBitmap(p.get());
        ASSERT_EQ(p->BitsPerPixel(), 1);
        EXPECT_EQ(p->ScanLine(0)[0] & 0xF0, 0xB0);
        ASSERT_EQ(p->GetPalette(entries, 256), 2);
        EXPECT_EQ(entries[0], Rgb(0, 0, 0));
        EXPECT_EQ(entries[1], Rgb(255, 255, 255));
    }
    {
        auto b = Known(ie8p, Storage::Memory);
        auto p = Platform(1, 1, 24);
        b->CopyToTBitmap(p.get());
        ASSERT_EQ(p->BitsPerPixel(), 8);
        ASSERT_EQ(p->GetPalette(entries, 256), 256);
        EXPECT_EQ(entries[1], Rgb(10, 20, 30));
        EXPECT_EQ(p->ScanLine(0)[1], 1);
    }
}

TEST(CopyToTBitmap, RoundTripThroughAPlatformBitmapIsLossless)
{
    std::mt19937 rng(5);
    for (TIEPixelFormat f : {ie1g, ie8p, ie24RGB}) {
        for (Storage s : {Storage::Memory, Storage::File}) {
            auto b = MakeBitmap(s);
            b->Allocate(29, 7, f);
            FillRandom(*b, rng);
            if (f == ie8p)
                for (int i = 0; i < 256; ++i)
                    b->SetPaletteColor(i, Rgb(int(rng() & 255), i, 7));
            auto p = Platform(1, 1, 24);
            b->CopyToTBitmap(p.get());
            TIEBitmap back;
            back.CopyFromTBitmap(p.get());
            ASSERT_EQ(back.GetPixelFormat(), f);
            EXPECT_EQ(PixelRows(back), PixelRows(*b)) << FormatName(f) << " " << StorageName(s);
            for (int i = 0; f == ie8p && i < 256; ++i)
                ASSERT_EQ(back.GetPaletteColor(i), b->GetPaletteColor(i));
        }
    }
}

// --- DIB sections ---

TEST(CopyFromTDibBitmap, TakesOneEightAndTwentyFourBitSections)
{
    struct Case {
        int bits;
        TIEPixelFormat format;
    } cases[] = {{1, ie1g}, {8, ie8g}, {24, ie24RGB}};
    for (const auto& c : cases) {
        for (Storage s : {Storage::Memory, Storage::File, Storage::Platform}) {
            TIEDibbitmap dib;
            dib.AllocateBits(9, 3, c.bits);
            for (int y = 0; y < 3; ++y)
                std::memset(dib.ScanLine(y), 0x10 * (y + 1), std::size_t(dib.GetRowLen()));
            auto b = MakeBitmap(s);
            b->CopyFromTDibBitmap(&dib);
            ASSERT_EQ(b->GetPixelFormat(), c.format);
            ASSERT_EQ(b->GetWidth(), 9);
            for (int y = 0; y < 3; ++y)
                EXPECT_EQ(b->ScanLine(y)[0], 0x10 * (y + 1)) << c.bits << " " << StorageName(s);
        }
    }
    TIEBitmap b;
    b.CopyFromTDibBitmap(nullptr);
    EXPECT_EQ(b.GetWidth(), 0);
    TIEDibbitmap sixteen;
    sixteen.AllocateBits(2, 2, 16);
    EXPECT_THROW(b.CopyFromTDibBitmap(&sixteen), rtl::EInvalidArgument);
}

}  // namespace
