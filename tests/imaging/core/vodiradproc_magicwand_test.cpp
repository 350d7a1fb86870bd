// The magic wand's own rules: tolerance, seeds outside the image, connectivity, every pixel format and
// storage place, masks of other depths and sizes, and the outline's shape.
#include "imaging/core/iebitmap.h"
#include "imaging/core/iemask.h"
#include "imaging/core/vodiradproc.h"
#include "bitmap_test_util.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace imaging;
using namespace imaging::test;

namespace {

// Draws an image from a picture of characters: '.' is grey 40, '#' grey 200, '+' grey 205.
std::unique_ptr<TIEBitmap> Picture(const std::vector<std::string>& rows, TIEPixelFormat format = ie24RGB,
                                   Storage storage = Storage::Memory)
{
    auto bmp = MakeBitmap(storage);
    const int w = int(rows[0].size()), h = int(rows.size());
    bmp->Allocate(w, h, format);
    if (format == ie8p)
        for (int i = 0; i < 256; ++i)
            bmp->SetPaletteColor(i, TRGB{std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)});
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const char c = rows[std::size_t(y)][std::size_t(x)];
            const std::uint8_t v = c == '#' ? 200 : c == '+' ? 205 : 40;
            std::uint8_t* row = bmp->ScanLine(y);
            switch (format) {
            case ie1g: SetPixelBit(row, x, c != '.'); break;
            case ie8p:
            case ie8g: row[x] = v; break;
            case ie16g: {
                const std::uint16_t word = std::uint16_t(v << 8 | 0x7F);
                std::memcpy(row + 2 * x, &word, 2);
                break;
            }
            case ie32f: {
                const float f = v / 255.0f + 0.001f;
                std::memcpy(row + 4 * x, &f, 4);
                break;
            }
            default: row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = v; break;
            }
        }
    return bmp;
}

std::vector<std::string> Selected(TIEMask& mask)
{
    std::vector<std::string> out;
    for (int y = 0; y < mask.Height(); ++y) {
        std::string row;
        for (int x = 0; x < mask.Width(); ++x)
            row += mask.GetPixel(x, y) ? 'X' : '.';
        out.push_back(row);
    }
    return out;
}

TIEMask MaskFor(const TIEBitmap& bmp, int bits = 1)
{
    TIEMask mask;
    mask.AllocateBits(const_cast<TIEBitmap&>(bmp).GetWidth(), const_cast<TIEBitmap&>(bmp).GetHeight(), bits);
    return mask;
}

const std::vector<std::string> kTwoAreas = {
    "##....##", "##....#+", "........", "..###...", "..#.#...", "..###...",
};

TEST(MagicWandTolerance, ZeroSelectsNothingNotEvenTheSeed)
{
    auto bmp = Picture(kTwoAreas);
    TIEMask mask = MaskFor(*bmp);
    MagicWandFill(bmp.get(), 0, 0, 0, &mask);
    MagicWandSelectAll(bmp.get(), 0, 0, &mask, 0);
    EXPECT_TRUE(mask.IsEmpty());
    EXPECT_EQ(mask.GetPixel(0, 0), 0);
    EXPECT_TRUE(MagicWandPolygon(bmp.get(), 0, 0, 0).empty());
}

TEST(MagicWandTolerance, DifferencesMustStayStrictlyBelowIt)
{
    // '#' is 200 and '+' 205: a difference of 5 needs a tolerance of 6.
    auto bmp = Picture(kTwoAreas);
    for (auto [tol, plusTaken] : {std::pair{5, false}, {6, true}}) {
        TIEMask mask = MaskFor(*bmp);
        MagicWandFill(bmp.get(), 6, 0, tol, &mask);
        EXPECT_EQ(mask.GetPixel(7, 1) != 0, plusTaken) << tol;
        EXPECT_NE(mask.GetPixel(6, 1), 0);
    }
}

TEST(MagicWandTolerance, OneColourImageWithToleranceOneIsWhollySelectedByAllThree)
{
    auto bmp = Picture({"....", "....", "...."});
    TIEMask fill = MaskFor(*bmp), all = MaskFor(*bmp);
    MagicWandFill(bmp.get(), 2, 1, 1, &fill);
    MagicWandSelectAll(bmp.get(), 2, 1, &all, 1);
    const std::vector<std::string> whole = {"XXXX", "XXXX", "XXXX"};
    EXPECT_EQ(Selected(fill), whole);
    EXPECT_EQ(Selected(all), whole);
    EXPECT_EQ(fill.X1(), 0);
    EXPECT_EQ(fill.Y1(), 0);
    EXPECT_EQ(fill.X2(), 3);
    EXPECT_EQ(fill.Y2(), 2);
    const std::vector<TIEPoint> polygon = MagicWandPolygon(bmp.get(), 2, 1, 1);
    ASSERT_EQ(polygon.size(), 4u);
    EXPECT_EQ(polygon[0].X, 0);
    EXPECT_EQ(polygon[0].Y, 0);
    EXPECT_EQ(polygon[1].X, 4);
    EXPECT_EQ(polygon[1].Y, 0);
    EXPECT_EQ(polygon[2].X, 4);
    EXPECT_EQ(polygon[2].Y, 3);
    EXPECT_EQ(polygon[3].X, 0);
    EXPECT_EQ(polygon[3].Y, 3);
}

TEST(MagicWandSeed, OutsideTheImageLeavesTheMaskAsItWas)
{
    auto bmp = Picture(kTwoAreas);
    // (Width, y) and (x, Height) lie outside as much as negative coordinates do.
    for (auto [x, y] : {std::pair{8, 0}, {0, 6}, {-1, 0}, {0, -1}, {8, 6}, {1 << 30, 2}}) {
        TIEMask mask = MaskFor(*bmp);
        mask.SetPixel(3, 2, 1);
        MagicWandFill(bmp.get(), x, y, 50, &mask);
        MagicWandSelectAll(bmp.get(), x, y, &mask, 50);
        EXPECT_EQ(Selected(mask)[2], "...X....") << x << "," << y;
        EXPECT_EQ(mask.X1(), 3);
        EXPECT_EQ(mask.X2(), 3);
        EXPECT_TRUE(MagicWandPolygon(bmp.get(), x, y, 50).empty());
    }
}

TEST(MagicWandSeed, EmptyAndMissingBitmapsAndMasksAreIgnored)
{
    TIEBitmap empty;
    TIEMask mask;
    mask.AllocateBits(4, 4, 1);
    MagicWandFill(&empty, 0, 0, 10, &mask);
    MagicWandFill(nullptr, 0, 0, 10, &mask);
    MagicWandSelectAll(nullptr, 0, 0, &mask, 10);
    auto bmp = Picture(kTwoAreas);
    MagicWandFill(bmp.get(), 0, 0, 10, nullptr);
    MagicWandSelectAll(bmp.get(), 0, 0, nullptr, 10);
    EXPECT_TRUE(mask.IsEmpty());
    EXPECT_TRUE(MagicWandPolygon(nullptr, 0, 0, 10).empty());
}

TEST(MagicWandRegions, SimilarAreasApartAreOneForSelectAllButOnlyTheClickedOneForFill)
{
    auto bmp = Picture(kTwoAreas);
    TIEMask fill = MaskFor(*bmp), all = MaskFor(*bmp);
    MagicWandFill(bmp.get(), 0, 0, 10, &fill);
    MagicWandSelectAll(bmp.get(), 0, 0, &all, 10);
    EXPECT_EQ(Selected(fill), (std::vector<std::string>{"XX......", "XX......", "........", "........",
                                                        "........", "........"}));
    EXPECT_EQ(Selected(all), (std::vector<std::string>{"XX....XX", "XX....XX", "........", "..XXX...",
                                                       "..X.X...", "..XXX..."}));
}

TEST(MagicWandRegions, DiagonalNeighboursJoinOnlyWhenEightConnected)
{
    auto bmp = Picture({"#...", ".#..", "..#.", "...."});
    TIEMask four = MaskFor(*bmp), eight = MaskFor(*bmp);
    MagicWandFill(bmp.get(), 0, 0, 10, &four);
    MagicWandFill(bmp.get(), 0, 0, 10, &eight, kIEMagicWand8Connected);
    EXPECT_EQ(Selected(four)[1], "....");
    EXPECT_EQ(Selected(eight), (std::vector<std::string>{"X...", ".X..", "..X.", "...."}));
}

TEST(MagicWandRegions, LeftAndUpwardScansStopAtTheImageEdge)
{
    // A region touching the left and top edges in every row: a scan past column 0 or row 0 would
    // read before the row or the image (the sanitizers see it) or wrap to the previous row.
    auto bmp = Picture({"##.#", "#..#", "####"});
    TIEMask mask = MaskFor(*bmp);
    MagicWandFill(bmp.get(), 3, 2, 10, &mask);
    EXPECT_EQ(Selected(mask), (std::vector<std::string>{"XX.X", "X..X", "XXXX"}));
}

TEST(MagicWandRegions, AddsToWhatTheMaskHoldsAndGrowsItsBox)
{
    auto bmp = Picture(kTwoAreas);
    TIEMask mask = MaskFor(*bmp);
    MagicWandFill(bmp.get(), 0, 0, 10, &mask);
    MagicWandFill(bmp.get(), 3, 3, 10, &mask);
    EXPECT_EQ(Selected(mask)[0], "XX......");
    EXPECT_EQ(Selected(mask)[5], "..XXX...");
    EXPECT_EQ(mask.X1(), 0);
    EXPECT_EQ(mask.Y1(), 0);
    EXPECT_EQ(mask.X2(), 4);
    EXPECT_EQ(mask.Y2(), 5);
}

TEST(MagicWandRegions, MasksOfEightBitsGetTheValueOneAndSmallerMasksAreNotOverrun)
{
    auto bmp = Picture(kTwoAreas);
    TIEMask eight = MaskFor(*bmp, 8);
    MagicWandFill(bmp.get(), 1, 1, 10, &eight);
    EXPECT_EQ(eight.GetPixel(0, 0), 1);
    EXPECT_EQ(eight.GetPixel(2, 0), 0);

    TIEMask small;
    small.AllocateBits(3, 2, 1);
    MagicWandFill(bmp.get(), 2, 2, 10, &small);
    MagicWandSelectAll(bmp.get(), 2, 2, &small, 10);
    EXPECT_EQ(Selected(small), (std::vector<std::string>{"..X", "..X"}));
    EXPECT_EQ(small.X2(), 2);
    EXPECT_EQ(small.Y2(), 1);
}

// Every pixel format and storage place finds the same regions as the 24-bit picture in memory.
TEST(MagicWandFormats, EveryFormatAndStoragePlaceFindsTheSameRegions)
{
    const std::vector<std::string> art = {"##.+#.", "#..#..", ".###.#", "...#.#"};
    auto reference = Picture(art);
    TIEMask refFill = MaskFor(*reference), refAll = MaskFor(*reference);
    MagicWandFill(reference.get(), 0, 0, 8, &refFill);
    MagicWandSelectAll(reference.get(), 0, 0, &refAll, 8);
    for (TIEPixelFormat format : {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f})
        for (Storage storage : {Storage::Memory, Storage::File, Storage::Platform}) {
            SCOPED_TRACE(std::to_string(int(format)) + " in " + StorageName(storage));
            auto bmp = Picture(art, format, storage);
            TIEMask fill = MaskFor(*bmp), all = MaskFor(*bmp);
            MagicWandFill(bmp.get(), 0, 0, 8, &fill);
            MagicWandSelectAll(bmp.get(), 0, 0, &all, 8);
            EXPECT_EQ(Selected(fill), Selected(refFill));
            EXPECT_EQ(Selected(all), Selected(refAll));
            EXPECT_EQ(MagicWandPolygon(bmp.get(), 0, 0, 8).size(),
                      MagicWandPolygon(reference.get(), 0, 0, 8).size());
        }
}

TEST(MagicWandOutline, RingOutlineEnclosesItsHole)
{
    auto bmp = Picture({".....", ".###.", ".#.#.", ".###.", "....."});
    const std::vector<TIEPoint> polygon = MagicWandPolygon(bmp.get(), 1, 1, 10);
    ASSERT_EQ(polygon.size(), 4u);
    EXPECT_EQ(polygon[0].X, 1);
    EXPECT_EQ(polygon[0].Y, 1);
    EXPECT_EQ(polygon[2].X, 4);
    EXPECT_EQ(polygon[2].Y, 4);
}

TEST(MagicWandOutline, PocketClosedByADiagonalIsInside)
{
    // The 4-connected region is a ring whose last link is a diagonal touch: the pixel it closes in
    // is inside the outline, as for a contour of eight-connected pixels.
    auto bmp = Picture({"##..", "#.#.", "###.", "...."});
    const std::vector<TIEPoint> polygon = MagicWandPolygon(bmp.get(), 0, 0, 10);
    TIEMask filled = MaskFor(*bmp);
    filled.FillPolygons(1, polygon.data(), int(polygon.size()));
    EXPECT_EQ(Selected(filled), (std::vector<std::string>{"XX..", "XXX.", "XXX.", "...."}));
}

TEST(MagicWandOutline, DiagonalTouchSharesAPointAndFillsBothPixels)
{
    auto bmp = Picture({"#..", ".#.", "..."});
    const std::vector<TIEPoint> polygon = MagicWandPolygon(bmp.get(), 0, 0, 10, kIEMagicWand8Connected);
    TIEMask filled = MaskFor(*bmp);
    filled.FillPolygons(1, polygon.data(), int(polygon.size()));
    EXPECT_EQ(Selected(filled), (std::vector<std::string>{"X..", ".X.", "..."}));
    int shared = 0;
    for (std::size_t i = 0; i < polygon.size(); ++i)
        for (std::size_t j = i + 1; j < polygon.size(); ++j)
            shared += polygon[i].X == polygon[j].X && polygon[i].Y == polygon[j].Y;
    EXPECT_EQ(shared, 1);
    EXPECT_EQ(polygon.size(), 8u);
}

TEST(MagicWandOutline, PointsAreCornersWithinTheImageAndFillBackTheRegion)
{
    auto bmp = Picture({"#.##", "####", ".#.#"});
    const std::vector<TIEPoint> polygon = MagicWandPolygon(bmp.get(), 3, 2, 10);
    for (const TIEPoint& p : polygon) {
        EXPECT_GE(p.X, 0);
        EXPECT_LE(p.X, 4);
        EXPECT_GE(p.Y, 0);
        EXPECT_LE(p.Y, 3);
    }
    TIEMask filled = MaskFor(*bmp), region = MaskFor(*bmp);
    filled.FillPolygons(1, polygon.data(), int(polygon.size()));
    MagicWandFill(bmp.get(), 3, 2, 10, &region);
    EXPECT_EQ(Selected(filled), Selected(region));
}

TEST(MagicWandRegions, FillsOneAfterAnotherOnImagesOfOtherHeightsStartClean)
{
    // Fills reuse their working plane: what a tall image left below a short one's rows must be gone
    // when a middle-sized one comes.
    auto tall = Picture({"####", "####", "####", "####", "####", "####"});
    auto shortOne = Picture({"#...", "...."});
    auto middle = Picture({"....", "....", "#...", "...."});
    TIEMask m1 = MaskFor(*tall), m2 = MaskFor(*shortOne), m3 = MaskFor(*middle);
    MagicWandFill(tall.get(), 0, 0, 10, &m1);
    MagicWandFill(shortOne.get(), 0, 0, 10, &m2);
    MagicWandFill(middle.get(), 0, 2, 10, &m3);
    EXPECT_EQ(Selected(m3), (std::vector<std::string>{"....", "....", "X...", "...."}));
    EXPECT_EQ(MagicWandPolygon(middle.get(), 0, 2, 10).size(), 4u);
}

TEST(MagicWandPoints, AddAndSubtractComponentWise)
{
    TIEPoint c;
    PointAdd({3, -4}, {10, 20}, c);
    EXPECT_EQ(c.X, 13);
    EXPECT_EQ(c.Y, 16);
    PointSub({3, -4}, {10, 20}, c);
    EXPECT_EQ(c.X, -7);
    EXPECT_EQ(c.Y, -24);
}

}  // namespace
