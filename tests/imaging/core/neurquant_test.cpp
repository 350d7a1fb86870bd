// Tests of TIEQuantizer, NeuQuant and the median cut: exact palettes, grey ramps, nearest entries, clamping,
// edge sizes.
#include "imaging/core/neurquant.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/ieplatformbitmap.h"
#include "imaging/core/stdquant.h"
#include "bitmap_test_util.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Numeric.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

using namespace imaging;
using namespace imaging::test;

namespace {

constexpr TRGB kSentinel{1, 2, 3};

std::unique_ptr<TIEBitmap> Make24(int w, int h, Storage storage = Storage::Memory)
{
    auto bmp = MakeBitmap(storage);
    bmp->Allocate(w, h, ie24RGB);
    return bmp;
}

void Put(TIEBitmap& bmp, int x, int y, TRGB c) { std::memcpy(bmp.ScanLine(y) + std::size_t(x) * 3, &c, 3); }
TRGB At(TIEBitmap& bmp, int x, int y)
{
    TRGB c;
    std::memcpy(&c, bmp.ScanLine(y) + std::size_t(x) * 3, 3);
    return c;
}

int L1(TRGB a, TRGB b) { return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b); }

// Smooth colour field with a little noise: many distinct colours, no greys.
std::unique_ptr<TIEBitmap> Field(int w, int h, std::uint32_t seed, Storage storage = Storage::Memory)
{
    auto bmp = Make24(w, h, storage);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            Put(*bmp, x, y,
                TRGB{std::uint8_t((x * 255 / std::max(1, w - 1) + rng() % 8) & 255),
                     std::uint8_t((y * 255 / std::max(1, h - 1)) ^ (rng() % 4)),
                     std::uint8_t(((x + y) * 3 + 1 + rng() % 16) & 255)});
    return bmp;
}

// ---------------------------------------------------------------- exact palettes and grey ramps

TEST(ExactPalette, FewColoursComeBackInOrderOfFirstAppearance)
{
    for (Storage storage : {Storage::Memory, Storage::File}) {
        auto bmp = Make24(7, 5, storage);
        const TRGB colors[] = {{10, 20, 30}, {200, 0, 0}, {0, 255, 1}, {9, 9, 10}};
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                Put(*bmp, x, y, colors[(x * 3 + y) % 4]);
        std::array<TRGB, 16> pal;
        pal.fill(kSentinel);
        TIEQuantizer q(bmp.get(), pal, 255, 16);
        ASSERT_TRUE(q.HasExactPalette()) << StorageName(storage);
        EXPECT_EQ(q.ExactColorCount(), 4);
        // First appearance: (0,0)=0, (1,0)=3, (2,0)=2, (3,0)=1.
        EXPECT_EQ(pal[0], colors[0]);
        EXPECT_EQ(pal[1], colors[3]);
        EXPECT_EQ(pal[2], colors[2]);
        EXPECT_EQ(pal[3], colors[1]);
        for (std::size_t i = 4; i < pal.size(); ++i)
            EXPECT_EQ(pal[i], kSentinel) << "entry " << i << " past the colours was written";
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                const int index = q.ColorIndex(At(*bmp, x, y));
                ASSERT_GE(index, 0);
                EXPECT_EQ(pal[std::size_t(index)], At(*bmp, x, y));
            }
        // A colour the image lacks gets its nearest entry, never an unused one or -1.
        EXPECT_EQ(q.ColorIndex(TRGB{1, 1, 2}), 1);
        EXPECT_EQ(q.ColorIndex(TRGB{190, 10, 5}), 3);
    }
}

TEST(ExactPalette, ExactlyNumColoursStaysExactOneMoreDoesNot)
{
    auto bmp = Make24(16, 16);
    for (int i = 0; i < 256; ++i)
        Put(*bmp, i % 16, i / 16, TRGB{std::uint8_t(i), std::uint8_t(255 - i), 7});
    std::array<TRGB, 256> pal{};
    TIEQuantizer all(bmp.get(), pal, 255, 256);
    EXPECT_TRUE(all.HasExactPalette());
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(all.ColorIndex(TRGB{std::uint8_t(i), std::uint8_t(255 - i), 7}), i);
    TIEQuantizer fewer(bmp.get(), pal, 255, 255);
    EXPECT_FALSE(fewer.HasExactPalette());
    EXPECT_EQ(fewer.Method(), 0);
}

TEST(GrayImages, NeverQuantiseAndUseTheRamp)
{
    auto bmp = Make24(32, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 32; ++x) {
            const auto v = std::uint8_t(x * 8 + y);
            Put(*bmp, x, y, TRGB{v, v, v});
        }
    std::array<TRGB, 256> pal{};
    TIEQuantizer q256(bmp.get(), pal, 255, 256, -1, 1);
    EXPECT_TRUE(q256.GrayScale());
    EXPECT_FALSE(q256.HasExactPalette());
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(pal[std::size_t(i)], (TRGB{std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)}));
    EXPECT_EQ(q256.ColorIndex(TRGB{77, 77, 77}), 77);

    std::array<TRGB, 16> pal16{};
    TIEQuantizer q16(bmp.get(), pal16, 15, 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(pal16[std::size_t(i)].g, i * 16);
    EXPECT_EQ(q16.ColorIndex(TRGB{0, 0, 255}), 15);
    EXPECT_EQ(q16.ColorIndex(TRGB{0, 0, 31}), 1);
    EXPECT_EQ(q16.ColorIndex(TRGB{0, 0, 15}), 0);

    // A ramp of 3 entries: Trunc(256 / 3 * i).
    std::array<TRGB, 3> pal3{};
    TIEQuantizer q3(bmp.get(), pal3, 255, 3);
    EXPECT_EQ(pal3[1].r, 85);
    EXPECT_EQ(pal3[2].r, 170);
}

TEST(PalettedImages, KeepTheirPaletteAndMissingColoursFindTheNearest)
{
    TIEBitmap bmp;
    bmp.Allocate(4, 4, ie8p);
    for (int i = 0; i < bmp.PaletteLen(); ++i)
        bmp.SetPaletteColor(i, TRGB{std::uint8_t(i), 0, std::uint8_t(255 - i)});
    std::array<TRGB, 256> pal{};
    TIEQuantizer q(&bmp, pal, 255, 256);
    EXPECT_FALSE(q.GrayScale());
    EXPECT_EQ(pal[10], (TRGB{10, 0, 245}));
    EXPECT_EQ(q.ColorIndex(TRGB{10, 0, 245}), 10);
    const int near = q.ColorIndex(TRGB{12, 3, 240});
    ASSERT_GE(near, 0);
    ASSERT_LT(near, bmp.PaletteLen()) << "an unmatched colour got an index past the palette";
    EXPECT_EQ(near, 12) << "the first of three entries at distance 6 wins";

    // Only the entries handed on may be chosen.
    std::array<TRGB, 16> pal16{};
    TIEQuantizer q16(&bmp, pal16, 15, 16);
    EXPECT_EQ(q16.ColorIndex(TRGB{200, 0, 55}), 15);
}

TEST(PalettedImages, AGreyPaletteInAnyOrderIsLookedUpNotComputed)
{
    // A grey palette in reverse order: the grey ramp's arithmetic would point every pixel at the
    // mirrored entry.
    TIEBitmap bmp;
    bmp.Allocate(2, 2, ie8p);
    for (int i = 0; i < 256; ++i)
        bmp.SetPaletteColor(i, TRGB{std::uint8_t(255 - i), std::uint8_t(255 - i), std::uint8_t(255 - i)});
    ASSERT_TRUE(bmp.IsGrayScale());
    std::array<TRGB, 256> pal{};
    TIEQuantizer q(&bmp, pal, 255, 256);
    for (int v : {0, 17, 128, 255})
        EXPECT_EQ(pal[std::size_t(q.ColorIndex(TRGB{std::uint8_t(v), std::uint8_t(v), std::uint8_t(v)}))].r,
                  v);
}

// ---------------------------------------------------------------- choice of quantizer, sizes and clamps

TEST(Choice, OneHundredTwentyEightColoursChooseNeuQuantFewerTheMedianCut)
{
    auto bmp = Field(64, 64, 1);
    std::array<TRGB, 256> pal{};
    TIEQuantizer at128(bmp.get(), pal, 255, 128, -1, 1);
    EXPECT_EQ(at128.Method(), 0);
    EXPECT_EQ(at128.ColorsProduced(), 128);
    TIEQuantizer at127(bmp.get(), pal, 255, 127, -1, 0);
    EXPECT_EQ(at127.Method(), 1);
    EXPECT_LE(at127.ColorsProduced(), 127);
}

TEST(Clamping, HugeAndNonPositiveCountsAreClampedAndShortPalettesRefused)
{
    auto bmp = Field(40, 40, 2);
    std::array<TRGB, 256> pal{};
    TIEQuantizer huge(bmp.get(), pal, 134217727, 134217727);
    EXPECT_EQ(huge.NumColors(), 256);
    TIEQuantizer zero(bmp.get(), pal, 255, 0);
    EXPECT_EQ(zero.NumColors(), 1);
    EXPECT_EQ(zero.ColorsProduced(), 1);
    EXPECT_EQ(zero.ColorIndex(TRGB{1, 200, 3}), 0);
    TIEQuantizer negative(bmp.get(), pal, 255, -5);
    EXPECT_EQ(negative.NumColors(), 1);
    std::array<TRGB, 8> small{};
    EXPECT_THROW(TIEQuantizer(bmp.get(), small, 255, 16), rtl::EInvalidArgument);
    EXPECT_THROW(TIEQuantizer(nullptr, pal, 255, 16), rtl::EInvalidArgument);
}

TEST(Sizes, OnePixelSingleColourAndEmptyImagesNeedNoQuantizer)
{
    std::array<TRGB, 256> pal;
    pal.fill(kSentinel);
    auto one = Make24(1, 1);
    Put(*one, 0, 0, TRGB{5, 6, 7});
    TIEQuantizer q1(one.get(), pal, 255, 256);
    EXPECT_TRUE(q1.HasExactPalette());
    EXPECT_EQ(pal[0], (TRGB{5, 6, 7}));
    EXPECT_EQ(pal[1], kSentinel);
    EXPECT_EQ(q1.ColorIndex(TRGB{5, 6, 7}), 0);

    auto flat = Make24(300, 200);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            Put(*flat, x, y, TRGB{0, 128, 255});
    TIEQuantizer qf(flat.get(), pal, 255, 2);
    EXPECT_EQ(qf.ExactColorCount(), 1);
    EXPECT_EQ(qf.ColorIndex(TRGB{0, 128, 255}), 0);

    // An empty 24-bit image counts as grey: the ramp, and no pixel is read.
    TIEBitmap empty;
    empty.Allocate(0, 0, ie24RGB);
    TIEQuantizer qe(&empty, pal, 255, 16);
    EXPECT_TRUE(qe.GrayScale());
    EXPECT_EQ(pal[15].r, 240);
    // Rows of no bytes: nothing to read, and nothing may be read.
    TIEBitmap narrow;
    narrow.Allocate(0, 5, ie24RGB);
    EXPECT_TRUE(narrow.IsGrayScale());
    TIEQuantizer qz(&narrow, pal, 255, 16);
    TMedianCutQuantizer mz(narrow, 16);
    EXPECT_EQ(mz.BoxCount(), 1);
    TNeuQuant nz(narrow, 128, -1);
    EXPECT_GE(nz.Search(TRGB{1, 2, 3}), 0);
    TIEBitmap none;
    TIEQuantizer qn(&none, pal, 255, 4);
    EXPECT_EQ(qn.ColorIndex(TRGB{255, 255, 255}), 3);
}

// ---------------------------------------------------------------- NeuQuant

TEST(NeuQuant, SamplingFactorFollowsPixelCountOrQuality)
{
    auto small = Field(40, 49, 3);  // 1960 pixels
    EXPECT_EQ(TNeuQuant(*small, 256, -1).SampleFac(), 1);
    auto medium = Field(100, 100, 3);  // Round(8000 * 13 / 148000 + 2) = 3
    EXPECT_EQ(TNeuQuant(*medium, 256, -1).SampleFac(), 3);
    auto large = Field(700, 700, 3);  // far past the cap
    EXPECT_EQ(TNeuQuant(*large, 256, -1).SampleFac(), 30);
    EXPECT_EQ(TNeuQuant(*small, 256, 100).SampleFac(), 1);
    EXPECT_EQ(TNeuQuant(*small, 256, 0).SampleFac(), 30);
    EXPECT_EQ(TNeuQuant(*small, 256, 50).SampleFac(), 15);
    EXPECT_EQ(TNeuQuant(*small, 256, -400).SampleFac(), 30) << "quality below 0 must not sample past the cap";
    EXPECT_EQ(TNeuQuant(*small, 256, 1000).SampleFac(), 1);
}

TEST(NeuQuant, SearchFindsANearestNodeForEveryColour)
{
    auto bmp = Field(120, 90, 4);
    TNeuQuant nq(*bmp, 256, -1);
    std::mt19937 rng(9);
    for (int k = 0; k < 20000; ++k) {
        const TRGB c{std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())};
        const int index = nq.Search(c);
        ASSERT_GE(index, 0);
        ASSERT_LT(index, 256);
        int best = 1 << 30;
        for (int i = 0; i < 256; ++i)
            best = std::min(best, L1(nq.PaletteEntry(i), c));
        ASSERT_EQ(L1(nq.PaletteEntry(index), c), best) << "search stopped before the nearest node";
    }
}

TEST(NeuQuant, ImagesSmallerThanTheStepWrapInsideTheImageAndEachColourGetsANode)
{
    // 2x1 pixels: the step of 499 is far past the end; samples must still come from the image.
    // The second sample must win a node of its own rather than drag the first winner away.
    auto bmp = Make24(2, 1);
    Put(*bmp, 0, 0, TRGB{255, 0, 0});
    Put(*bmp, 1, 0, TRGB{0, 0, 255});
    TNeuQuant nq(*bmp, 128, -1);
    EXPECT_LE(L1(nq.PaletteEntry(nq.Search(TRGB{255, 0, 0})), TRGB{255, 0, 0}), 40);
}

// ---------------------------------------------------------------- median cut

TEST(MedianCut, APlatformBitmapIsCutAsTheImageHoldingItsPixels)
{
    for (int wanted : {2, 16, 127}) {
        auto bmp = Field(61, 37, std::uint32_t(wanted));
        TIEMemoryPlatformBitmap platform;
        platform.SetBitsPerPixel(24);
        platform.SetSize(61, 37);
        for (int y = 0; y < 37; ++y)
            std::memcpy(platform.ScanLine(y), bmp->ScanLine(y), 61 * 3);
        const TMedianCutQuantizer fromImage(*bmp, wanted), fromPlatform(platform, wanted);
        ASSERT_EQ(fromPlatform.BoxCount(), fromImage.BoxCount()) << wanted;
        for (int i = 0; i < fromImage.BoxCount(); ++i) {
            EXPECT_EQ(fromPlatform.Box(i).Count, fromImage.Box(i).Count) << wanted << " box " << i;
            EXPECT_EQ(fromPlatform.Box(i).Lo, fromImage.Box(i).Lo) << wanted << " box " << i;
            EXPECT_EQ(fromPlatform.Box(i).Hi, fromImage.Box(i).Hi) << wanted << " box " << i;
            EXPECT_EQ(fromPlatform.PaletteEntry(i), fromImage.PaletteEntry(i)) << wanted << " box " << i;
        }
        for (int y = 0; y < 37; ++y)
            for (int x = 0; x < 61; ++x)
                ASSERT_EQ(fromPlatform.ColorIndex(At(*bmp, x, y)), fromImage.ColorIndex(At(*bmp, x, y)));
    }
    // Depths other than 24 bits hold no colours to count.
    for (int bits : {1, 8, 32}) {
        TIEMemoryPlatformBitmap other;
        other.SetBitsPerPixel(bits);
        other.SetSize(9, 4);
        std::memset(other.ScanLine(0), 0xC3, 4);
        const TMedianCutQuantizer mc(other, 16);
        EXPECT_EQ(mc.BoxCount(), 1) << bits;
        EXPECT_EQ(mc.Box(0).Count, 0) << bits;
    }
}

TEST(MedianCut, EveryPixelFallsInsideTheBoxItMapsTo)
{
    for (int wanted : {2, 7, 16, 64, 127}) {
        auto bmp = Field(90, 70, std::uint32_t(wanted));
        TMedianCutQuantizer mc(*bmp, wanted);
        ASSERT_GE(mc.BoxCount(), 1);
        ASSERT_LE(mc.BoxCount(), wanted);
        std::vector<std::int64_t> counts(std::size_t(mc.BoxCount()), 0);
        for (int y = 0; y < 70; ++y)
            for (int x = 0; x < 90; ++x) {
                const TRGB c = At(*bmp, x, y);
                const int i = mc.ColorIndex(c);
                ASSERT_LT(i, mc.BoxCount());
                const TMedianCutBox& box = mc.Box(i);
                const int cell[3] = {c.r >> 3, c.g >> 3, c.b >> 3};
                for (std::size_t k = 0; k < 3; ++k)
                    ASSERT_TRUE(box.Lo[k] <= cell[k] && cell[k] < box.Hi[k])
                        << "pixel outside its box, wanted " << wanted;
                ++counts[std::size_t(i)];
            }
        for (int i = 0; i < mc.BoxCount(); ++i) {
            EXPECT_EQ(counts[std::size_t(i)], mc.Box(i).Count)
                << "box " << i << " counts pixels it does not hold";
            const TRGB e = mc.PaletteEntry(i);
            EXPECT_EQ(e.r % 8, 0);
            EXPECT_EQ(e.r, rtl::Round(mc.Box(i).Mean[0]) * 8);
            EXPECT_EQ(e.b, rtl::Round(mc.Box(i).Mean[2]) * 8);
        }
    }
}

TEST(MedianCut, StopsEarlyWhenNoBoxCanBeSplit)
{
    // 64 colours in one cell: nothing to split.
    auto bmp = Make24(8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            Put(*bmp, x, y, TRGB{std::uint8_t(x), std::uint8_t(y), 2});
    std::array<TRGB, 16> pal;
    pal.fill(kSentinel);
    TIEQuantizer q(bmp.get(), pal, 15, 16);
    EXPECT_EQ(q.Method(), 1);
    EXPECT_EQ(q.ColorsProduced(), 1);
    EXPECT_EQ(pal[0], (TRGB{0, 0, 0}));
    EXPECT_EQ(pal[1], kSentinel);

    // Three occupied cells give at most three boxes.
    auto three = Make24(30, 1);
    for (int x = 0; x < 30; ++x)
        Put(*three, x, 0,
            TRGB{std::uint8_t(x % 3 == 0 ? 8 + x % 5 : 0), std::uint8_t(x % 3 == 1 ? 200 + x % 7 : 0),
                 std::uint8_t(x % 3 == 2 ? 250 + x % 5 : 0)});
    TMedianCutQuantizer mc(*three, 100);
    EXPECT_LE(mc.BoxCount(), 3);
    EXPECT_GE(mc.BoxCount(), 2);
}

// ---------------------------------------------------------------- random images under the sanitizers

TEST(RandomImages, EveryIndexPointsAtAWrittenEntry)
{
    std::mt19937 rng(2026);
    for (int round = 0; round < 60; ++round) {
        const int w = int(rng() % 40), h = int(rng() % 30);
        auto bmp = Make24(w, h, round % 3 == 0 ? Storage::File : Storage::Memory);
        const int palette = int(rng() % 300);  // sometimes fewer colours than pixels, sometimes more
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint32_t v = palette ? rng() % std::uint32_t(palette) * 2654435761u : rng();
                Put(*bmp, x, y, TRGB{std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16)});
            }
        const int numColors = 1 + int(rng() % 256);
        std::vector<TRGB> pal(256, kSentinel);
        TIEQuantizer q(bmp.get(), pal, 255, numColors);
        ASSERT_LE(q.ColorsProduced(), numColors);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int index = q.ColorIndex(At(*bmp, x, y));
                ASSERT_GE(index, 0) << "round " << round;
                ASSERT_LT(index, q.ColorsProduced()) << "round " << round;
                if (q.HasExactPalette()) {
                    ASSERT_EQ(pal[std::size_t(index)], At(*bmp, x, y));
                }
            }
    }
}

}  // namespace
