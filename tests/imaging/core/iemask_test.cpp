// Tests of TIEMask: pixels and box, lines, polygons against ImageMagick's rasteriser, translation, masked
// copies, shade.
#include "imaging/core/iemask.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/vodiradproc.h"
#include "bitmap_test_util.h"
#include "platform/rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

using namespace imaging;
using namespace imaging::test;

namespace {

struct TGreyImage {
    int w = 0, h = 0;
    std::vector<std::uint8_t> px;
    std::uint8_t at(int x, int y) const { return px[std::size_t(y) * w + x]; }
};

TGreyImage ReadPgm(const std::string& name)
{
    std::ifstream in(std::string(VA_TEST_DATA_DIR) + "/imaging/core/mask/" + name + ".pgm", std::ios::binary);
    std::string magic;
    TGreyImage img;
    int maxval = 0;
    in >> magic >> img.w >> img.h >> maxval;
    in.get();
    img.px.resize(std::size_t(img.w) * img.h);
    in.read(reinterpret_cast<char*>(img.px.data()), std::streamsize(img.px.size()));
    if (magic != "P5" || !in)
        ADD_FAILURE() << "cannot read reference " << name;
    return img;
}

// Pixels whose whole 3x3 neighbourhood agrees in the reference must agree in the mask; edge pixels
// depend on where each rasteriser samples a pixel and are left out.
void ExpectInnerPixelsMatch(TIEMask& mask, const TGreyImage& ref, const char* what)
{
    int compared = 0, set = 0;
    for (int y = 1; y + 1 < ref.h; ++y)
        for (int x = 1; x + 1 < ref.w; ++x) {
            const bool v = ref.at(x, y) != 0;
            bool uniform = true;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    uniform = uniform && (ref.at(x + dx, y + dy) != 0) == v;
            if (!uniform)
                continue;
            ++compared;
            set += v;
            ASSERT_EQ(mask.GetPixel(x, y) != 0, v) << what << " at " << x << "," << y;
        }
    EXPECT_GT(set, 20) << what;
    EXPECT_GT(compared, 1000) << what;
}

TEST(MaskBox, RecomputingTheBoxOfAMaskWithoutColumnsFindsItEmpty)
{
    TIEMask mask;
    mask.AllocateBits(0, 6, 1);
    mask.RecomputeBox();
    EXPECT_TRUE(mask.IsEmpty());
}

TEST(MaskPolygons, PointsFarRightOnVeryWideMasksAreRealPoints)
{
    // Column 0xFFFFF is an ordinary column of a mask wider than a million pixels.
    TIEMask mask;
    mask.AllocateBits(0x100010, 4, 1);
    const TIEPoint points[] = {{0xFFFF0, 0}, {0xFFFFF, 0}, {0xFFFFF, 3}, {0xFFFF0, 3}};
    mask.FillPolygons(1, points, 4);
    EXPECT_NE(mask.GetPixel(0xFFFFE, 2), 0);
    EXPECT_NE(mask.GetPixel(0xFFFF0, 0), 0);
    EXPECT_EQ(mask.GetPixel(0xFFFFF, 0), 0);
    EXPECT_EQ(mask.X1(), 0xFFFF0);
    EXPECT_EQ(mask.X2(), 0xFFFFE);
}

class MaskDepth : public ::testing::TestWithParam<int> {};

TEST_P(MaskDepth, PolygonsMatchImageMagickOnInnerPixels)
{
    struct TCase {
        const char* name;
        std::vector<TIEPoint> points;
    };
    const TIEPoint sep{kIEPolygonSeparator, 0};
    const TCase cases[] = {
        {"triangle", {{5, 5}, {50, 10}, {20, 40}}},
        {"concave", {{4, 4}, {60, 4}, {60, 44}, {32, 20}, {4, 44}}},
        {"star", {{32, 2}, {40, 44}, {4, 16}, {60, 16}, {24, 44}}},
        {"rectangle", {{10, 8}, {50, 8}, {50, 30}, {10, 30}}},
        {"two", {{2, 2}, {20, 2}, {11, 20}, sep, {30, 10}, {60, 10}, {60, 40}, {30, 40}}},
        {"clipped", {{-20, -10}, {80, 5}, {30, 70}}},
    };
    for (const auto& c : cases) {
        TIEMask mask;
        mask.AllocateBits(64, 48, GetParam());
        mask.FillPolygons(255, c.points.data(), int(c.points.size()));
        ExpectInnerPixelsMatch(mask, ReadPgm(c.name), c.name);
        EXPECT_FALSE(mask.IsEmpty()) << c.name;
        EXPECT_GE(mask.X1(), 0);
        EXPECT_LE(mask.X2(), 63);
        EXPECT_LE(mask.Y2(), 47);
    }
}

TEST_P(MaskDepth, ExactRectangleFillsLeftTopInclusiveRightBottomExclusive)
{
    TIEMask mask;
    mask.AllocateBits(40, 30, GetParam());
    const TIEPoint rect[] = {{10, 5}, {20, 5}, {20, 12}, {10, 12}};
    mask.FillPolygon(1, rect, 4);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(mask.GetPixel(x, y) != 0, x >= 10 && x < 20 && y >= 5 && y < 12) << x << "," << y;
    EXPECT_EQ(mask.X1(), 10);
    EXPECT_EQ(mask.Y1(), 5);
    EXPECT_EQ(mask.X2(), 19);
    EXPECT_EQ(mask.Y2(), 11);

    // The box follows the points, not the filled pixels: a flat spike to x 30 fills nothing but
    // still reaches the box's right edge (exclusive).
    TIEMask spike;
    spike.AllocateBits(40, 30, GetParam());
    const TIEPoint withSpike[] = {{2, 2}, {30, 2}, {8, 2}, {8, 6}, {2, 6}};
    spike.FillPolygon(1, withSpike, 5);
    EXPECT_FALSE(spike.IsPointInside(8, 2));
    EXPECT_EQ(spike.X2(), 29);
    EXPECT_EQ(spike.Y2(), 5);
}

TEST_P(MaskDepth, TriangleRightColumnAndBottomRowAreNotFilled)
{
    TIEMask mask;
    mask.AllocateBits(20, 20, GetParam());
    const TIEPoint tri[] = {{0, 0}, {10, 0}, {0, 10}};
    mask.FillPolygon(1, tri, 3);
    EXPECT_TRUE(mask.IsPointInside(0, 0));
    EXPECT_TRUE(mask.IsPointInside(9, 0));
    EXPECT_FALSE(mask.IsPointInside(10, 0));
    EXPECT_FALSE(mask.IsPointInside(0, 10));
}

TEST_P(MaskDepth, PolygonThatFillsNothingKeepsTheEarlierBox)
{
    TIEMask mask;
    mask.AllocateBits(20, 20, GetParam());
    mask.SetPixel(3, 4, 1);
    const TIEPoint outside[] = {{100, 100}, {120, 100}, {110, 130}};
    mask.FillPolygon(1, outside, 3);
    EXPECT_EQ(mask.X1(), 3);
    EXPECT_EQ(mask.Y1(), 4);
    EXPECT_EQ(mask.X2(), 3);
    EXPECT_EQ(mask.Y2(), 4);
    const TIEPoint flat[] = {{1, 1}, {10, 1}};
    mask.FillPolygons(1, flat, 2);
    EXPECT_FALSE(mask.IsEmpty());
}

TEST_P(MaskDepth, HugeCoordinatesAreClippedWithoutWalkingEveryRow)
{
    TIEMask mask;
    mask.AllocateBits(16, 16, GetParam());
    const TIEPoint big[] = {{-2147483647, -2147483647}, {2147483647, -2147483647}, {0, 2147483647}};
    mask.FillPolygon(1, big, 3);
    EXPECT_TRUE(mask.IsPointInside(8, 8));
    EXPECT_EQ(mask.X1(), 0);
    EXPECT_EQ(mask.X2(), 15);
}

TEST_P(MaskDepth, NewMaskAndBoxFollowOnlyNonZeroWrites)
{
    TIEMask mask;
    EXPECT_TRUE(mask.IsEmpty());
    mask.AllocateBits(10, 10, GetParam());
    EXPECT_TRUE(mask.IsEmpty());
    mask.SetPixel(4, 6, 0);
    EXPECT_TRUE(mask.IsEmpty());
    mask.SetPixel(4, 6, 1);
    EXPECT_EQ(mask.X1(), 4);
    EXPECT_EQ(mask.Y1(), 6);
    EXPECT_EQ(mask.X2(), 4);
    EXPECT_EQ(mask.Y2(), 6);
    mask.SetPixel(10, 0, 1);
    mask.SetPixel(-1, 0, 1);
    mask.SetPixel(0, 10, 1);
    EXPECT_EQ(mask.X2(), 4);
    EXPECT_EQ(mask.GetPixel(10, 0), 0);
    EXPECT_EQ(mask.GetPixel(-1, -1), 0);
    mask.SetPixel(4, 6, 0);
    EXPECT_EQ(mask.X1(), 4) << "clearing never shrinks the box";
    EXPECT_THROW(mask.ScanLine(10), rtl::EInvalidArgument);
}

TEST_P(MaskDepth, HorizontalLinesClipAndSkipRowsOutsideTheMask)
{
    TIEMask mask;
    mask.AllocateBits(20, 5, GetParam());
    EXPECT_EQ(mask.FillHorzLine(255, -5, 30, 2), 20);
    EXPECT_EQ(mask.FillHorzLine(255, 0, 19, -1), 0);
    EXPECT_EQ(mask.FillHorzLine(255, 0, 19, 5), 0);
    for (int x = 0; x < 20; ++x) {
        EXPECT_EQ(mask.GetPixel(x, 0), 0) << "row -1 must not paint row 0";
        EXPECT_EQ(mask.GetPixel(x, 4), 0) << "row 5 must not paint the last row";
        EXPECT_NE(mask.GetPixel(x, 2), 0);
    }
    EXPECT_EQ(mask.FillHorzLine(0, 3, 9, 2), 7);
    EXPECT_EQ(mask.GetPixel(5, 2), 0) << "value 0 clears, in 1-bit masks too";
    EXPECT_NE(mask.GetPixel(10, 2), 0);
    EXPECT_EQ(mask.FillHorzLine(1, 5, 4, 2), 0);
    TIEMask none;
    EXPECT_EQ(none.FillHorzLine(1, 0, 5, 0), 0);
}

TEST_P(MaskDepth, TranslateClampsOrClipsWithoutStaleBits)
{
    TIEMask mask;
    mask.AllocateBits(30, 20, GetParam());
    for (int y = 5; y <= 8; ++y)
        mask.FillHorzLine(255, 4, 12, y);
    mask.SetBox(4, 5, 12, 8);
    int dx = -10, dy = 0;
    mask.Translate(dx, dy, false);
    EXPECT_EQ(dx, -4);
    EXPECT_EQ(mask.X1(), 0);
    EXPECT_TRUE(mask.IsPointInside(0, 5));
    EXPECT_TRUE(mask.IsPointInside(8, 8));
    EXPECT_FALSE(mask.IsPointInside(9, 5));
    // Clipping: the part pushed beyond the left edge vanishes, nothing stays at the old place.
    dx = -3;
    dy = 2;
    mask.Translate(dx, dy, true);
    int count = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            const bool expected = x >= 0 && x <= 5 && y >= 7 && y <= 10;
            count += mask.IsPointInside(x, y);
            ASSERT_EQ(mask.IsPointInside(x, y), expected) << x << "," << y;
        }
    EXPECT_EQ(count, 24);
    EXPECT_EQ(mask.X1(), 0);
    EXPECT_EQ(mask.Y1(), 7);
    EXPECT_EQ(mask.X2(), 5);
    EXPECT_EQ(mask.Y2(), 10);
    dx = 1000;
    dy = 0;
    mask.Translate(dx, dy, true);
    EXPECT_TRUE(mask.IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Depth, MaskDepth, ::testing::Values(1, 8),
                         [](const auto& info) { return std::to_string(info.param) + "bit"; });

TEST(MaskFull, FollowsTheValuesWrittenAndAOneBitFillSetsOrClearsEveryPixel)
{
    TIEMask m8;
    m8.AllocateBits(4, 4, 8);
    m8.Fill(255);
    EXPECT_TRUE(m8.Full);
    m8.SetPixel(1, 1, 254);
    EXPECT_FALSE(m8.Full);
    m8.SetPixel(1, 1, 255);
    EXPECT_FALSE(m8.Full);
    TIEMask m1;
    m1.AllocateBits(13, 4, 1);
    m1.Fill(0x55);  // any non-zero value: every pixel set, not a pattern of stripes
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_NE(m1.GetPixel(x, y), 0) << x << "," << y;
    EXPECT_TRUE(m1.Full);
    m1.SetPixel(0, 0, 0);
    EXPECT_TRUE(m1.Full) << "a 1-bit mask keeps the flag while written";
    m1.Fill(0);
    EXPECT_FALSE(m1.Full);
    EXPECT_THROW(m1.AllocateBits(4, 4, 4), rtl::EInvalidArgument);
}

class MaskedCopy : public ::testing::TestWithParam<Storage> {};

TEST_P(MaskedCopy, EightBitMaskMovesChannelsTowardTheSourceRoundingDown)
{
    auto src = MakeBitmap(GetParam());
    auto dst = MakeBitmap(GetParam());
    src->Allocate(4, 4, ie24RGB);
    dst->Allocate(4, 4, ie24RGB);
    src->Fill(0x00FFFFFF);
    dst->Fill(0x00000001);  // red 1
    TIEMask mask;
    mask.AllocateBits(4, 4, 8);
    for (int y = 0; y < 4; ++y)
        mask.FillHorzLine(128, 0, 3, y);
    mask.SetBox(0, 0, 3, 3);
    mask.CopyBitmapMasked(dst.get(), src.get(), true, false, false);
    const TRGB c = dst->GetPixel24(2, 2);
    EXPECT_EQ(c.r, 128);  // 1 + floor(254 * 128 / 256)
    EXPECT_EQ(c.g, 127);
    EXPECT_EQ(c.b, 127);
    EXPECT_EQ(dst->GetAlpha(2, 2), 128);
    // Toward a darker source the signed product floors toward minus infinity.
    src->Fill(0);
    dst->Fill(0x00000003);
    mask.CopyBitmapMasked(dst.get(), src.get(), false, false, false);
    EXPECT_EQ(dst->GetPixel24(0, 0).r, 1);  // 3 + floor(-3 * 128 / 256) = 3 - 2
}

TEST_P(MaskedCopy, OneBitMaskCopiesOnlySelectedPixelsAndChecksBothSizes)
{
    auto src = MakeBitmap(GetParam());
    auto dst = MakeBitmap(GetParam());
    src->Allocate(3, 2, ie24RGB);  // smaller than the mask box
    dst->Allocate(40, 40, ie24RGB);
    src->Fill(0x00FF0000);
    TIEMask mask;
    mask.AllocateBits(40, 40, 1);
    mask.Fill(255);
    mask.SetBox(0, 0, 39, 39);
    mask.SetPixel(1, 1, 0);
    mask.CopyBitmapMasked(dst.get(), src.get(), true, false, false);
    EXPECT_EQ(dst->GetPixel24(0, 0), (TRGB{255, 0, 0}));
    EXPECT_EQ(dst->GetPixel24(1, 1), TRGB{});
    EXPECT_EQ(dst->GetPixel24(3, 0), TRGB{});
    EXPECT_EQ(dst->GetAlpha(1, 1), 0);
    EXPECT_EQ(dst->GetAlpha(2, 1), 255);
    // Box-relative addressing past the end of a small destination writes nothing outside it.
    auto small = MakeBitmap(GetParam());
    small->Allocate(2, 2, ie1g);
    auto mono = MakeBitmap(GetParam());
    mono->Allocate(40, 40, ie1g);
    mono->Fill(1);
    mask.CopyBitmapMasked(small.get(), mono.get(), false, false, true);
    EXPECT_EQ(small->GetPixelRGB(0, 0), (TRGB{255, 255, 255}));
    EXPECT_EQ(small->GetPixelRGB(1, 1), TRGB{});
}

TEST_P(MaskedCopy, BoxRelativeAddressingMapsTheBoxCornerToTheImageOrigin)
{
    // Box (2,1)-(3,2) of a 6x5 mask, all of it selected.
    TIEMask mask;
    mask.AllocateBits(6, 5, 1);
    for (int y = 1; y <= 2; ++y)
        mask.FillHorzLine(1, 2, 3, y);
    mask.SetBox(2, 1, 3, 2);
    const TRGB colours[2][2] = {{{1, 2, 3}, {4, 5, 6}}, {{7, 8, 9}, {10, 11, 12}}};

    // Source at the box: its 2x2 pixels land on the box in a 6x5 destination, nowhere else.
    auto small = MakeBitmap(GetParam());
    small->Allocate(2, 2, ie24RGB);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            small->SetPixel24(x, y, colours[y][x]);
    auto big = MakeBitmap(GetParam());
    big->Allocate(6, 5, ie24RGB);
    mask.CopyBitmapMasked(big.get(), small.get(), false, true, false);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool inBox = x >= 2 && x <= 3 && y >= 1 && y <= 2;
            EXPECT_EQ(big->GetPixel24(x, y), inBox ? colours[y - 1][x - 2] : TRGB{}) << x << "," << y;
        }

    // Destination at the box: the box's pixels of a 6x5 source fill a 2x2 destination.
    auto back = MakeBitmap(GetParam());
    back->Allocate(2, 2, ie24RGB);
    mask.CopyBitmapMasked(back.get(), big.get(), true, false, true);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            EXPECT_EQ(back->GetPixel24(x, y), colours[y][x]) << x << "," << y;
            EXPECT_EQ(back->GetAlpha(x, y), 255) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Storage, MaskedCopy, ::testing::Values(Storage::Memory, Storage::File),
                         [](const auto& info) { return std::string(StorageName(info.param)); });

TEST(MaskDrawing, ShadeCoversOnlyTheUnselectedPartWithAChequer)
{
    TIEMask mask;
    mask.AllocateBits(10, 10, 1);
    for (int y = 2; y < 6; ++y)
        mask.FillHorzLine(1, 2, 5, y);
    mask.SetBox(2, 2, 5, 5);
    TIEMemoryPlatformBitmap target;
    target.SetBitsPerPixel(24);
    target.SetSize(20, 20);
    mask.DrawOutlineToBitmap(&target, 0, 0, 20, 20, 0, 0, 10, 10);
    auto px = [&](int x, int y) { return target.ScanLine(y)[x * 3]; };
    EXPECT_EQ(px(0, 0), 97);
    EXPECT_EQ(px(1, 0), 0);
    EXPECT_EQ(px(1, 1), 97);
    EXPECT_EQ(px(6, 6), 0) << "selected pixels are left alone";
    EXPECT_EQ(px(19, 19), 97);
    // A destination offset beyond the bitmap writes nothing out of it.
    mask.DrawOutlineToBitmap(&target, 15, -5, 20, 20, 0, 0, 10, 10);
}

TEST(MaskDrawing, OutlineIsTheBorderOfTheSelectionWithMovingDashes)
{
    TIEMask mask;
    mask.AllocateBits(10, 10, 1);
    for (int y = 2; y < 8; ++y)
        mask.FillHorzLine(1, 2, 7, y);
    mask.SetBox(2, 2, 7, 7);
    std::vector<std::pair<int, int>> points;
    int first = 0;
    mask.EnumOutline(10, 10, 0, 0, 10, 10, 0, [&](int x, int y, bool a) {
        points.emplace_back(x, y);
        first += a;
    });
    EXPECT_EQ(points.size(), 20u);  // the ring of a 6 x 6 square
    for (auto [x, y] : points)
        EXPECT_TRUE(x == 2 || x == 7 || y == 2 || y == 7) << x << "," << y;
    EXPECT_GT(first, 0);
    EXPECT_LT(first, 20);
}

}  // namespace
