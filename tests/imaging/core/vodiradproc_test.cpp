// Tests of the shared helpers: numbers, grey and HSL, bit runs, quarter turns, flips and rotation for every
// format.
#include "imaging/core/vodiradproc.h"

#include "imaging/core/iebitmap.h"
#include "bitmap_test_util.h"
#include "platform/rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using namespace imaging;
using namespace imaging::test;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr TIEPixelFormat kFormats[] = {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f};

TEST(Numbers, BoundsRoundingAndOrder)
{
    EXPECT_EQ(IELimit(5, 5, 3), 5);
    EXPECT_EQ(IELimit(9, 0, 3), 3);
    EXPECT_EQ(IELimit(2, 0, 3), 2);
    EXPECT_EQ(IEMax(-1, 2), 2);
    EXPECT_EQ(IEMin(-1, 2), -1);
    EXPECT_EQ(ClampByte(-3), 0);
    EXPECT_EQ(ClampByte(300), 255);
    EXPECT_EQ(IECeil(2.0), 2);
    EXPECT_EQ(IECeil(-1.5), -1);
    EXPECT_EQ(IECeil(1.25), 2);
    EXPECT_EQ(IEFloor(-1.5), -2);
    EXPECT_EQ(IEFloor(1.5), 1);
    EXPECT_THROW(IECeil(NAN), rtl::EInvalidOp);
    EXPECT_THROW(IEFloor(1e12), rtl::EInvalidOp);
    int x1 = 5, y1 = 1, x2 = 2, y2 = 7;
    OrderCoords(x1, y1, x2, y2);
    EXPECT_EQ(x1, 2);
    EXPECT_EQ(x2, 5);
    EXPECT_EQ(y1, 1);
    EXPECT_EQ(y2, 7);
}

TEST(Colours, GreyTruncatesAndColourConversionsSwapChannels)
{
    EXPECT_EQ(RGBToGray(TRGB{255, 255, 255}), 255);
    EXPECT_EQ(RGBToGray(TRGB{1, 1, 1}), 1);
    EXPECT_EQ(RGBToGray(TRGB{255, 0, 0}), 20);  // blue 255: 255 * 8 / 100
    TRGB c;
    SetRGB(0, 0, 255, c);
    EXPECT_EQ(RGBToGray(c), 20);
    EXPECT_EQ(SwapRedBlue(TRGB{3, 2, 1}), 0x030201);
    TColorToRGB(0x00112233, c);
    EXPECT_EQ(c, (TRGB{0x11, 0x22, 0x33}));
    TRGB row[2] = {{1, 2, 3}, {4, 5, 6}};
    SwapRedBlueRow(row, 2);
    EXPECT_EQ(row[1], (TRGB{6, 5, 4}));
    const TRGB pal[] = {{10, 10, 10}, {0, 0, 0}, {20, 20, 20}};
    EXPECT_EQ(NearestPaletteIndex(pal, 3, TRGB{15, 15, 15}), 0) << "ties go to the lower index";
    EXPECT_EQ(NearestPaletteIndex(pal, 3, TRGB{19, 19, 19}), 2);
    EXPECT_EQ(NearestPaletteIndex(pal, 0, TRGB{}), 0);
}

TEST(Colours, HslRoundTripsEveryColourAndRoundsHalvesToEven)
{
    TRGB c;
    HSL2RGB(c, 0.3, 0, 0.5);
    EXPECT_EQ(c, (TRGB{128, 128, 128}));
    HSL2RGB(c, 0, 1, 0.5);
    EXPECT_EQ(c, (TRGB{0, 0, 255}));
    double h, s, l;
    RGB2HSL(h, s, l, TRGB{0, 255, 0});
    EXPECT_NEAR(h, 1.0 / 3, 1e-12);
    EXPECT_NEAR(s, 1, 1e-12);
    EXPECT_NEAR(l, 0.5, 1e-12);
    std::mt19937 rng(11);
    for (int i = 0; i < 20000; ++i) {
        const TRGB in{std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())};
        RGB2HSL(h, s, l, in);
        ASSERT_TRUE(h >= 0 && h <= 1 && s >= 0 && s <= 1 && l >= 0 && l <= 1);
        TRGB out;
        HSL2RGB(out, h, s, l);
        ASSERT_EQ(out, in) << int(in.r) << "," << int(in.g) << "," << int(in.b);
    }
    HSL2RGB(c, NAN, 2, -1);
    EXPECT_EQ(c, TRGB{});
}

// Bit-by-bit reference for CopyBitRun: the run goes through a zeroed scratch row, so its bits beyond
// the source row are 0.
void ReferenceBitRun(std::vector<std::uint8_t>& dst, const std::vector<std::uint8_t>& src, int destBit,
                     int width, int srcBit)
{
    for (int i = 0; i < width; ++i) {
        const bool inside = srcBit + i < int(src.size()) * 8;
        SetPixelBit(dst.data(), destBit + i, inside && GetPixelBit(src.data(), srcBit + i) != 0);
    }
}

TEST(BitRuns, MatchABitByBitCopyAndKeepTheNeighbours)
{
    std::mt19937 rng(4);
    for (int i = 0; i < 3000; ++i) {
        const int srcLen = 1 + int(rng() % 12);
        std::vector<std::uint8_t> src(
            static_cast<std::size_t>(srcLen));  // exact size: ASan sees any overread
        for (auto& b : src)
            b = std::uint8_t(rng());
        std::vector<std::uint8_t> dst(16), expected;
        for (auto& b : dst)
            b = std::uint8_t(rng());
        const int srcBit = int(rng() % (srcLen * 8));
        const int width = 1 + int(rng() % 64);
        const int destBit = int(rng() % 60);
        if (destBit + width > 128)
            continue;
        expected = dst;
        ReferenceBitRun(expected, src, destBit, width, srcBit);
        CopyBitRun(dst.data(), src.data(), destBit, srcLen, width, srcBit);
        ASSERT_EQ(dst, expected) << srcBit << " " << width << " " << destBit;
    }
    std::vector<std::uint8_t> dst(2, 0x5A), src(2, 0xFF);
    CopyBitRun(dst.data(), src.data(), -1, 2, 4, 0);
    CopyBitRun(dst.data(), src.data(), 0, 2, 0, 0);
    EXPECT_EQ(dst, std::vector<std::uint8_t>(2, 0x5A));
    // Runs that start at or beyond the end of the source row are all 0, their neighbours kept.
    struct TCase {
        int destBit, sourceLength, width, sourceBit;
        std::uint8_t first, second;
    };
    for (const TCase c : {TCase{0, 1, 12, 4, 0xF0, 0x0A}, TCase{3, 1, 6, 8, 0x40, 0x5A},
                          TCase{0, 0, 16, 0, 0x00, 0x00}, TCase{4, 2, 8, 12, 0x5F, 0x0A}}) {
        std::vector<std::uint8_t> out(2, 0x5A);
        CopyBitRun(out.data(), src.data(), c.destBit, c.sourceLength, c.width, c.sourceBit);
        EXPECT_EQ(out[0], c.first) << c.destBit << " " << c.sourceBit;
        EXPECT_EQ(out[1], c.second) << c.destBit << " " << c.sourceBit;
    }
}

TEST(BitRuns, ReverseByteAndExpandTable)
{
    std::uint8_t b = 0x01;
    ReverseByteBits(b);
    EXPECT_EQ(b, 0x80);
    b = 0xC4;
    ReverseByteBits(b);
    EXPECT_EQ(b, 0x23);
    const auto& table = BitExpandTable();
    EXPECT_EQ(table[0x80][0], (TRGB{255, 255, 255}));
    EXPECT_EQ(table[0x80][1], TRGB{});
    EXPECT_EQ(table[0x01][7], (TRGB{255, 255, 255}));
}

class EveryFormat : public ::testing::TestWithParam<std::tuple<TIEPixelFormat, Storage>> {};

std::unique_ptr<TIEBitmap> RandomImage(TIEPixelFormat format, Storage storage, int w, int h, unsigned seed)
{
    auto bmp = MakeBitmap(storage);
    bmp->Allocate(w, h, format);
    std::mt19937 rng(seed);
    FillRandom(*bmp, rng);
    if (format == ie8p)
        for (int i = 0; i < 256; ++i)
            bmp->SetPaletteColor(i, TRGB{std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i / 2)});
    auto* alpha = bmp->GetAlphaChannel();
    FillRandom(*alpha, rng);
    return bmp;
}

// The pixel as bytes, whatever the format.
std::vector<std::uint8_t> PixelBytes(TIEBitmap& bmp, int x, int y)
{
    const std::uint8_t* row = bmp.ScanLine(y);
    if (bmp.GetPixelFormat() == ie1g)
        return {std::uint8_t(GetPixelBit(row, x) ? 1 : 0)};
    const int n = bmp.GetBitCount() / 8;
    return std::vector<std::uint8_t>(row + x * n, row + x * n + n);
}

TEST_P(EveryFormat, QuarterTurnsMapEveryPixelAndTheAlphaChannel)
{
    const auto [format, storage] = GetParam();
    auto src = RandomImage(format, storage, 13, 7, 21);
    auto right = MakeBitmap(storage);
    RotateIEBitmapRight(src.get(), right.get());
    ASSERT_EQ(right->GetWidth(), 7);
    ASSERT_EQ(right->GetHeight(), 13);
    ASSERT_EQ(right->GetPixelFormat(), format);
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 7; ++x) {
            ASSERT_EQ(PixelBytes(*right, x, y), PixelBytes(*src, y, 7 - 1 - x)) << x << "," << y;
            ASSERT_EQ(right->GetAlpha(x, y), src->GetAlpha(y, 7 - 1 - x));
        }
    auto left = MakeBitmap(storage);
    RotateIEBitmapLeft(src.get(), left.get());
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(PixelBytes(*left, x, 13 - 1 - y), PixelBytes(*src, y, x));
    auto back = MakeBitmap(storage);
    RotateIEBitmapLeft(right.get(), back.get());
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(PixelBytes(*back, x, y), PixelBytes(*src, x, y));
    if (format == ie8p) {
        EXPECT_EQ(right->GetPaletteColor(7), src->GetPaletteColor(7));
    }
}

TEST_P(EveryFormat, FlipsMirrorPixelsAndAlphaAndUndoThemselves)
{
    const auto [format, storage] = GetParam();
    auto bmp = RandomImage(format, storage, 11, 6, 8);
    auto orig = RandomImage(format, storage, 11, 6, 8);
    FlipBitmap(bmp.get(), 0);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 11; ++x) {
            ASSERT_EQ(PixelBytes(*bmp, x, y), PixelBytes(*orig, 10 - x, y));
            ASSERT_EQ(bmp->GetAlpha(x, y), orig->GetAlpha(10 - x, y));
        }
    FlipBitmap(bmp.get(), 0);
    FlipBitmap(bmp.get(), 1);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 11; ++x) {
            ASSERT_EQ(PixelBytes(*bmp, x, y), PixelBytes(*orig, x, 5 - y));
            ASSERT_EQ(bmp->GetAlpha(x, y), orig->GetAlpha(x, 5 - y));
        }
}

TEST_P(EveryFormat, RotationByRightAnglesIsExactAndByOtherAnglesKeepsTheFormat)
{
    const auto [format, storage] = GetParam();
    auto bmp = RandomImage(format, storage, 9, 5, 2);
    auto orig = RandomImage(format, storage, 9, 5, 2);
    RotateBitmap(bmp.get(), 90, 0);
    auto left = MakeBitmap(storage);
    RotateIEBitmapLeft(orig.get(), left.get());
    EXPECT_EQ(PixelRows(*bmp), PixelRows(*left));
    RotateBitmap(bmp.get(), -90, 0);
    RotateBitmap(bmp.get(), 360, 0);
    RotateBitmap(bmp.get(), 0, 0);
    EXPECT_EQ(PixelRows(*bmp), PixelRows(*orig));
    RotateBitmap(bmp.get(), 180, 0);
    RotateBitmap(bmp.get(), -180, 0);
    EXPECT_EQ(PixelRows(*bmp), PixelRows(*orig));
    RotateBitmap(bmp.get(), 30, 0x00FFFFFF);
    EXPECT_EQ(bmp->GetPixelFormat(), format);
    EXPECT_EQ(bmp->GetWidth(), int(std::ceil(9 * std::cos(kPi / 6) + 5 * 0.5 - 1e-9)));
    EXPECT_TRUE(bmp->HasAlphaChannel());
    EXPECT_EQ(bmp->GetAlphaChannel()->GetWidth(), bmp->GetWidth());
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryFormat,
                         ::testing::Combine(::testing::ValuesIn(kFormats),
                                            ::testing::Values(Storage::Memory, Storage::File)),
                         [](const auto& info) {
                             return "format" + std::to_string(int(std::get<0>(info.param))) + "_" +
                                    StorageName(std::get<1>(info.param));
                         });

TEST(Rotation, ThirtyDegreesCoversTheImageAndLeavesBackgroundCorners)
{
    TIEBitmap bmp;
    bmp.Allocate(40, 20, ie24RGB);
    bmp.Fill(0x000080FF);                // orange: red 255, green 128
    RotateBitmap(&bmp, 30, 0x00FF0000);  // blue background
    const int w = bmp.GetWidth(), h = bmp.GetHeight();
    EXPECT_EQ(w, int(std::ceil(40 * std::cos(kPi / 6) + 20 * 0.5)));
    EXPECT_EQ(h, int(std::ceil(40 * 0.5 + 20 * std::cos(kPi / 6))));
    const TRGB blue{255, 0, 0}, orange{0, 128, 255};
    EXPECT_EQ(bmp.GetPixel24(0, 0), blue);
    EXPECT_EQ(bmp.GetPixel24(w - 1, 0), blue);
    EXPECT_EQ(bmp.GetPixel24(0, h - 1), blue);
    EXPECT_EQ(bmp.GetPixel24(w - 1, h - 1), blue);
    EXPECT_EQ(bmp.GetPixel24(w / 2, h / 2), orange);
    // Edge pixels are blends; the red channel's mass measures the covered area.
    double area = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            area += bmp.GetPixel24(x, y).r / 255.0;
    EXPECT_NEAR(area, 800, 16) << "the area is kept";
}

TEST(Rotation, ProgressClimbsStepByStepToOneHundred)
{
    struct TCase {
        int w, h;
        double angle;
    };
    for (const TCase c : {TCase{40, 20, 30}, TCase{20, 40, -44}, TCase{97, 13, 10}, TCase{13, 97, 100},
                          TCase{64, 64, -130}, TCase{1, 1, 5}, TCase{300, 2, 45}}) {
        TIEBitmap bmp;
        bmp.Allocate(c.w, c.h, ie24RGB);
        bmp.Fill(0x00336699);
        std::vector<int> reports;
        RotateBitmap(&bmp, c.angle, 0, [&](void*, int per) { reports.push_back(per); });
        const std::string what =
            std::to_string(c.w) + "x" + std::to_string(c.h) + " by " + std::to_string(c.angle);
        ASSERT_FALSE(reports.empty()) << what;
        EXPECT_EQ(reports.back(), 100) << what;
        EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end())) << what;
        EXPECT_LE(reports.front(), std::max(100 / int(reports.size()), 1)) << what;
    }
}

TEST(Rotation, PositiveAnglesTurnAnticlockwise)
{
    for (auto format : {ie24RGB, ie8g}) {
        TIEBitmap bmp;
        bmp.Allocate(41, 41, format);
        bmp.Fill(0);
        // A bright spot right of the centre must move up (rows grow downwards).
        for (int y = 19; y <= 21; ++y)
            for (int x = 33; x <= 35; ++x) {
                if (format == ie24RGB)
                    bmp.SetPixel24(x, y, TRGB{255, 255, 255});
                else
                    bmp.ScanLine(y)[x] = 255;
            }
        RotateBitmap(&bmp, 30, 0);
        int bestX = 0, bestY = 0, best = -1;
        for (int y = 0; y < bmp.GetHeight(); ++y)
            for (int x = 0; x < bmp.GetWidth(); ++x)
                if (bmp.GetPixelRGB(x, y).g > best) {
                    best = bmp.GetPixelRGB(x, y).g;
                    bestX = x;
                    bestY = y;
                }
        const double cx = (bmp.GetWidth() - 1) / 2.0, cy = (bmp.GetHeight() - 1) / 2.0;
        EXPECT_NEAR(bestX - cx, 14 * std::cos(kPi / 6), 1.6) << int(format);
        EXPECT_NEAR(bestY - cy, -14 * std::sin(kPi / 6), 1.6) << int(format);
    }
}

TEST(PlatformBitmaps, ExpandQuarterTurnAndCopy)
{
    TIEMemoryPlatformBitmap mono, rgb, turned, copy;
    mono.SetBitsPerPixel(1);
    mono.SetSize(11, 2);
    mono.ScanLine(0)[0] = 0x80;
    mono.ScanLine(1)[1] = 0x20;  // pixel 10
    Expand1BitBitmap(&mono, &rgb);
    ASSERT_EQ(rgb.BitsPerPixel(), 24);
    EXPECT_EQ(rgb.ScanLine(0)[0], 255);
    EXPECT_EQ(rgb.ScanLine(0)[3], 0);
    EXPECT_EQ(rgb.ScanLine(1)[30], 255);
    RotateVclBitmapRight(&rgb, &turned);
    EXPECT_EQ(turned.Width(), 2);
    EXPECT_EQ(turned.Height(), 11);
    EXPECT_EQ(turned.ScanLine(10)[0], 255) << "pixel (10, 1) goes to (0, 10)";
    CopyBitmapBits(&turned, &copy);
    EXPECT_EQ(copy.Height(), 11);
    EXPECT_EQ(copy.ScanLine(10)[0], 255);
}

TEST(InvertBits, InvertsEveryByte)
{
    TIEBitmap bmp;
    bmp.Allocate(9, 2, ie1g);
    bmp.ScanLine(0)[0] = 0xF0;
    InvertBitmapBits(&bmp);
    EXPECT_EQ(bmp.ScanLine(0)[0], 0x0F);
    EXPECT_EQ(bmp.ScanLine(1)[1], 0xFF);
}

}  // namespace
