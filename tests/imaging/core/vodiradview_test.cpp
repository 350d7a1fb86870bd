// The view's portable rules: mode sets, click zoom, viewport geometry and mapping, automatic zoom,
// selection points, rectangles and snapshots, layers and the caption.
#include "imaging/core/vodiradview.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace imaging;

namespace {

TEST(MouseInteract, ModesExcludeEachOtherByWhatWasAdded)
{
    struct TCase {
        TIEMouseInteract old, given, expected;
    };
    const TCase cases[] = {
        {{miScroll}, {miScroll, miSelect}, {miSelect}},
        {{miSelectPolygon}, {miSelectPolygon, miZoom}, {miZoom}},
        {{}, {miZoom, miScroll, miSelect}, {miZoom, miScroll}},
        {{miZoom}, {miZoom, miSelectPolygon}, {miSelectPolygon}},
        {{miZoom}, {miZoom, miSelectCircle, miScroll}, {miZoom, miScroll}},
        {{miZoom}, {miZoom, miSelectCircle}, {miZoom, miSelectCircle}},
        {{miZoom}, {miZoom, miSelectLasso}, {miZoom, miSelectLasso}},
        {{}, {miSelectZoom, miZoom, miMoveLayers}, {miSelectZoom, miZoom}},
        {{miZoom}, {miZoom, miSelectMagicWand}, {miSelectMagicWand}},
        {{}, {miMoveLayers, miResizeLayers, miSelectMagicWand}, {miSelectMagicWand}},
        {{miSelect}, {miSelect, miMoveLayers}, {miMoveLayers}},
        {{}, {miMoveLayers, miResizeLayers}, {miMoveLayers, miResizeLayers}},
        // Taking a member away adds nothing: the rest stays as given.
        {{miZoom, miScroll}, {miScroll}, {miScroll}},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(IEReduceMouseInteract(c.old, c.given).Bits(), c.expected.Bits())
            << c.old.Bits() << " -> " << c.given.Bits();
}

TEST(ClickZoom, StepsBelowOneHundredAndHundredsAbove)
{
    const std::pair<double, double> in[] = {{33, 50},  {100, 200}, {1, 2},    {2, 5},
                                            {75, 100}, {99, 100},  {250, 350}};
    for (auto [from, to] : in)
        EXPECT_EQ(IEClickZoomIn(from), to) << from;
    const std::pair<double, double> out[] = {{150, 100}, {2, 2},   {1, 2},  {200, 100},
                                             {300, 200}, {33, 25}, {50, 33}};
    for (auto [from, to] : out)
        EXPECT_EQ(IEClickZoomOut(from), to) << from;
}

TIEViewport Viewport(int iw, int ih, int cw, int ch, double zoom = 100)
{
    TIEViewport v;
    v.SetImageSize(iw, ih);
    v.SetClientSize(cw, ch);
    v.SetControlSize(cw + 4, ch + 4);
    v.SetZoom(zoom);
    return v;
}

TEST(Viewport, MaximumOriginIsZeroForAnImageThatFits)
{
    int mx = -1, my = -1;
    Viewport(50, 40, 100, 80).MaxOrigin(mx, my);
    EXPECT_EQ(mx, 0);
    EXPECT_EQ(my, 0);
    // Fits the whole control but not the client (scroll bars took the room): no scrolling either.
    TIEViewport v;
    v.SetImageSize(110, 70);
    v.SetClientSize(100, 80);
    v.SetControlSize(120, 100);
    v.MaxOrigin(mx, my);
    EXPECT_EQ(mx, 0);
    EXPECT_EQ(my, 0);
}

TEST(Viewport, MaximumOriginOfALargerImageHasHalfAPixelMore)
{
    int mx, my;
    Viewport(100, 100, 300, 300, 400).MaxOrigin(mx, my);
    EXPECT_EQ(mx, 402 - 300);
    EXPECT_EQ(my, 402 - 300);
    // Within 10 pixels of the client the margin is not added.
    Viewport(305, 100, 300, 95, 100).MaxOrigin(mx, my);
    EXPECT_EQ(mx, 5);
    EXPECT_EQ(my, 5);
}

TEST(Viewport, ClampStopsScrollingAtTheMaximum)
{
    TIEViewport v = Viewport(1000, 800, 200, 100);
    v.ViewX = 5000;
    v.ViewY = -7;
    EXPECT_TRUE(v.ClampOrigin());
    EXPECT_EQ(v.ViewX, 1000 - 200 + 0);
    EXPECT_EQ(v.ViewY, 0);
    EXPECT_FALSE(v.ClampOrigin());
}

TEST(Viewport, ZoomingInKeepsTheCentreEvenFromAFittedView)
{
    // At 50 % the image fits and cannot scroll; the new zoom's range must clamp, not the old one.
    TIEViewport v = Viewport(1000, 1000, 500, 500, 50);
    v.SetZoomKeepCenter(200);
    EXPECT_EQ(v.Zoom(), 200);
    EXPECT_EQ(v.ViewX, 500 * 2 - 250);
    EXPECT_EQ(v.ViewY, 750);
    EXPECT_EQ(v.XScr2Bmp(250), 500);
    // Zooming out keeps it too, within the smaller range.
    v.SetZoomKeepCenter(60);
    EXPECT_EQ(v.ViewX, 500 * 6 / 10 - 250);
    v.SetZoomKeepCenter(40);
    EXPECT_EQ(v.ViewX, 0);
}

TEST(Viewport, ZoomAtAPointBringsItToTheCentre)
{
    TIEViewport v = Viewport(400, 300, 200, 100);
    v.SetZoomAt(200, 150, 20);
    EXPECT_EQ(v.ViewX, 150 * 2 - 100);
    EXPECT_EQ(v.ViewY, 0);  // 20 * 2 - 50 is before the first row
    EXPECT_EQ(v.XScr2Bmp(100), 150);
}

TEST(Viewport, SmallImagesAreCentredAndMapped)
{
    TIEViewport v = Viewport(10, 20, 100, 100, 200);
    EXPECT_EQ(v.ZoomedWidth(), 20);
    EXPECT_EQ(v.OffsetX(), 40);
    EXPECT_EQ(v.OffsetY(), 30);
    EXPECT_EQ(v.XScr2Bmp(40), 0);
    EXPECT_EQ(v.XScr2Bmp(41), 0);
    EXPECT_EQ(v.XScr2Bmp(42), 1);
    EXPECT_EQ(v.XScr2Bmp(39), -1);
    EXPECT_EQ(v.XBmp2Scr(1), 42);
    EXPECT_EQ(v.XScr2BmpClamped(0), 0);
    EXPECT_EQ(v.XScr2BmpClamped(99), 10);
    v.Center = false;
    v.SetZoom(200);
    EXPECT_EQ(v.OffsetX(), 0);
}

TEST(Viewport, EveryImageColumnMapsBackFromItsFirstClientColumn)
{
    for (double zoom : {37.0, 100.0, 133.0, 250.0, 400.0})
        for (int viewX : {0, 7, 31}) {
            TIEViewport v = Viewport(97, 50, 60, 40, zoom);
            v.ViewX = viewX;
            for (int x = 0; x < 97; ++x) {
                const int s = v.XBmp2Scr(x);
                ASSERT_GE(v.XScr2Bmp(s), x) << zoom << " " << x;
                ASSERT_LT(v.XScr2Bmp(s - 1), x) << zoom << " " << x;
            }
        }
}

TEST(Viewport, ZoomsNotAboveZeroAreIgnored)
{
    TIEViewport v = Viewport(10, 10, 10, 10, 150);
    v.SetZoom(0);
    v.SetZoom(-5);
    v.SetZoom(NAN);
    v.SetZoomKeepCenter(0);
    EXPECT_EQ(v.Zoom(), 150);
}

TEST(AutoZoom, ShrinksAndStretchesOnlyWhereAllowed)
{
    struct TCase {
        int iw, ih;
        bool fit, stretch, shrink;
        double expected;
    };
    // Client and control 200 x 100 without margins.
    const TCase cases[] = {
        {400, 100, false, false, true, 50},   // wider: shrink allowed
        {400, 100, false, true, false, 100},  // wider: only stretching allowed
        {100, 25, false, true, false, 200},   // smaller: stretch
        {100, 25, false, false, true, 100},   // smaller: only shrinking allowed
        {100, 25, true, false, false, 200},   // fit does both
        {100, 400, true, false, false, 25},   // taller decides by height
        {1, 1, true, false, false, 100},      // under 2 x 2
        {40000, 10, true, false, false, 1},   // never below 1 %
    };
    for (const TCase& c : cases) {
        TIEAutoZoomInput in;
        in.ImageWidth = c.iw;
        in.ImageHeight = c.ih;
        in.ClientWidth = in.ControlWidth = 200;
        in.ClientHeight = in.ControlHeight = 100;
        in.Fit = c.fit;
        in.Stretch = c.stretch;
        in.Shrink = c.shrink;
        EXPECT_DOUBLE_EQ(IEAutoZoom(in), c.expected) << c.iw << "x" << c.ih;
    }
}

TEST(AutoZoom, ClientOfNoSizeGivesOneHundredWithoutDividingByZero)
{
    TIEAutoZoomInput in;
    in.ImageWidth = 300;
    in.ImageHeight = 200;
    in.Fit = true;
    for (auto [cw, ch] : {std::pair{0, 0}, {0, 50}, {50, 0}}) {
        in.ClientWidth = cw;
        in.ClientHeight = ch;
        EXPECT_EQ(IEAutoZoom(in), 100);
    }
    EXPECT_EQ(IEFitZoom(0, 10, 100, 100), 0);
}

TEST(SelectionPoints, SeparatorsNeverRepeatAndPolygonsComeOffWhole)
{
    TIESelectionPoints p;
    p.AddSeparator();
    EXPECT_EQ(p.Count(), 0);
    p.Add(1, 1);
    p.Add(5, 1);
    p.Add(5, 4);
    p.AddSeparator();
    p.AddSeparator();
    EXPECT_EQ(p.Count(), 4);
    p.Add(7, 7);
    p.Add(9, 9);
    p.RemoveLastPolygon();
    EXPECT_EQ(p.Count(), 3);
    int x1, y1, x2, y2;
    ASSERT_TRUE(p.Box(x1, y1, x2, y2));
    EXPECT_EQ(x2, 5);
    EXPECT_EQ(y2, 4);
    p.RemoveLastPolygon();
    EXPECT_EQ(p.Count(), 0);
    EXPECT_FALSE(p.Box(x1, y1, x2, y2));
}

TEST(SelectionPoints, RectanglesAreFourAxisAlignedCorners)
{
    TIESelectionPoints p;
    p.Assign({{1, 1}, {5, 1}, {5, 4}, {1, 4}});
    EXPECT_TRUE(p.IsRectangle());
    p.Assign({{1, 1}, {5, 1}, {5, 4}, {2, 4}});
    EXPECT_FALSE(p.IsRectangle());
    p.Assign({{1, 1}, {1, 1}, {1, 1}, {1, 1}});
    EXPECT_FALSE(p.IsRectangle());
    p.Offset(2, 3);
    EXPECT_EQ(p[0].X, 3);
    EXPECT_EQ(p[0].Y, 4);
}

TEST(SelectionRectangle, CornersAreClampedOrderedAndCovered)
{
    TIEPoint c[4];
    ASSERT_TRUE(IESelectionRectangle(8, 6, 2, 1, 10, 10, false, 0, c));
    EXPECT_EQ(c[0].X, 2);
    EXPECT_EQ(c[0].Y, 1);
    EXPECT_EQ(c[2].X, 9);
    EXPECT_EQ(c[2].Y, 7);
    ASSERT_TRUE(IESelectionRectangle(-5, -5, 40, 40, 10, 8, false, 0, c));
    EXPECT_EQ(c[2].X, 10);
    EXPECT_EQ(c[2].Y, 8);
    ASSERT_TRUE(IESelectionRectangle(2, 2, 6, 3, 20, 20, true, -1, c));
    EXPECT_EQ(c[2].Y - c[0].Y, c[2].X - c[0].X);
    ASSERT_TRUE(IESelectionRectangle(2, 2, 6, 3, 20, 20, true, 0.5, c));
    EXPECT_EQ(c[2].Y, 2 + 2 + 1);
}

TEST(SelectionRectangle, WhollyOutsideTheImageSelectsNothing)
{
    TIEPoint c[4];
    for (auto [x1, y1, x2, y2] : {std::array{-9, 2, -3, 5}, {11, 2, 15, 5}, {2, -9, 5, -1}, {2, 10, 5, 12}})
        EXPECT_FALSE(IESelectionRectangle(x1, y1, x2, y2, 10, 10, false, 0, c)) << x1 << "," << y1;
}

TEST(Ellipse, AtLeastFiftyPointsAndMoreForLargerOnes)
{
    EXPECT_EQ(IEEllipsePoints(0, 0, 4, 4).size(), 50u);
    const auto big = IEEllipsePoints(0, 0, 400, 200);
    EXPECT_GT(big.size(), 400u);
    for (auto [x, y] : big) {
        const double u = (x - 200) / 200, v = (y - 100) / 100;
        EXPECT_NEAR(u * u + v * v, 1, 1e-9);
    }
}

TEST(Snapshot, RoundTripsPointsFlagAndMask)
{
    TIESelectionPoints points;
    points.Assign({{1, 1}, {6, 1}, {6, 4}, {kIESelectionSeparator, 0}, {2, 2}, {3, 3}, {2, 3}});
    TIEMask mask;
    mask.AllocateBits(13, 7, 1);
    mask.FillPolygons(1, points.Data(), points.Count());
    rtl::TMemoryStream s;
    IEWriteSelection(s, 13, 7, points, true, mask);
    s.SetPosition(0);
    TIESelectionPoints back;
    bool selected = false;
    TIEMask restored;
    ASSERT_TRUE(IEReadSelection(s, 13, 7, back, selected, restored));
    EXPECT_TRUE(selected);
    ASSERT_EQ(back.Count(), points.Count());
    for (int i = 0; i < points.Count(); ++i) {
        EXPECT_EQ(back[i].X, points[i].X) << i;
        EXPECT_EQ(back[i].Y, points[i].Y) << i;
    }
    EXPECT_EQ(restored.BitsPerPixel(), 1);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(restored.GetPixel(x, y) != 0, mask.GetPixel(x, y) != 0) << x << "," << y;
    EXPECT_EQ(restored.X1(), mask.X1());
    EXPECT_EQ(restored.Y2(), mask.Y2());
}

TEST(Snapshot, MasksWithoutColumnsOrRowsRoundTrip)
{
    // A mask of no width still has rows, none of them with bytes (a fuzzing find).
    for (auto [w, h] : {std::pair{0, 6}, {6, 0}, {0, 0}}) {
        TIESelectionPoints points;
        points.Assign({{1, 1}, {6, 1}, {6, 4}, {1, 4}});
        TIEMask mask;
        mask.AllocateBits(w, h, 1);
        rtl::TMemoryStream s;
        IEWriteSelection(s, w, h, points, true, mask);
        s.SetPosition(0);
        TIESelectionPoints back;
        bool selected = false;
        TIEMask restored;
        ASSERT_TRUE(IEReadSelection(s, w, h, back, selected, restored)) << w << "x" << h;
        EXPECT_EQ(restored.Width(), w);
        EXPECT_EQ(restored.Height(), h);
        EXPECT_EQ(back.Count(), 4);
    }
}

class SnapshotRefused : public ::testing::Test {
protected:
    void SetUp() override
    {
        points.Assign({{1, 1}, {3, 1}, {3, 3}, {1, 3}});
        mask.AllocateBits(9, 5, 8);
        mask.FillPolygons(255, points.Data(), points.Count());
        IEWriteSelection(bytes, 9, 5, points, true, mask);
        kept.Assign({{0, 0}});
        keptMask.AllocateBits(9, 5, 1);
    }
    // Reading leaves the target as it was.
    void ExpectRefused(rtl::TMemoryStream& s, int w = 9, int h = 5)
    {
        s.SetPosition(0);
        bool selected = false;
        EXPECT_FALSE(IEReadSelection(s, w, h, kept, selected, keptMask));
        EXPECT_FALSE(selected);
        EXPECT_EQ(kept.Count(), 1);
        EXPECT_EQ(keptMask.BitsPerPixel(), 1);
    }
    rtl::TMemoryStream Patched(std::size_t offset, std::int32_t value)
    {
        rtl::TMemoryStream s;
        s.WriteBuffer(bytes.Memory(), std::int32_t(bytes.Size()));
        s.SetPosition(std::int64_t(offset));
        s.WriteBuffer(&value, 4);
        return s;
    }
    TIESelectionPoints points, kept;
    TIEMask mask, keptMask;
    rtl::TMemoryStream bytes;
};

TEST_F(SnapshotRefused, ForAnotherImageSize)
{
    ExpectRefused(bytes, 10, 5);
    ExpectRefused(bytes, 9, 4);
}

TEST_F(SnapshotRefused, WithBitsPerPixelOtherThanOneOrEight)
{
    const std::size_t bppOffset = 12 + 4 * 8 + 16 + 1;
    for (std::int32_t bits : {0, 2, 4, 24, -1, 1 << 30}) {
        rtl::TMemoryStream s = Patched(bppOffset, bits);
        ExpectRefused(s);
    }
}

TEST_F(SnapshotRefused, WhenTheStreamEndsEarlyAnywhere)
{
    for (std::int64_t n = 0; n < bytes.Size(); ++n) {
        rtl::TMemoryStream s;
        s.WriteBuffer(bytes.Memory(), std::int32_t(n));
        ExpectRefused(s);
    }
}

TEST_F(SnapshotRefused, WithCountsBeyondTheStream)
{
    for (std::int32_t count : {1 << 28, -1, INT32_MAX}) {
        rtl::TMemoryStream s = Patched(8, count);
        ExpectRefused(s);
    }
    rtl::TMemoryStream wide = Patched(0, 1 << 30);
    ExpectRefused(wide, 1 << 30, 5);
    // No rows, but a row wider than a mask can have (a fuzzing find).
    rtl::TMemoryStream noRows = Patched(0, INT32_MAX - 1);
    noRows.SetPosition(4);
    const std::int32_t zero = 0;
    noRows.WriteBuffer(&zero, 4);
    ExpectRefused(noRows, INT32_MAX - 1, 0);
}

TEST(Layer, GripsAroundTheClientBoxInOrder)
{
    TIELayer layer(nullptr);
    layer.ClientAreaBox = {10, 20, 110, 70};
    EXPECT_EQ(layer.GripAt(10, 20), ieTopLeft);
    EXPECT_EQ(layer.GripAt(113, 17), ieTopRight);
    EXPECT_EQ(layer.GripAt(110, 70), ieBottomRight);
    EXPECT_EQ(layer.GripAt(6, 74), ieBottomLeft);
    EXPECT_EQ(layer.GripAt(10, 45), ieLeftSide);
    EXPECT_EQ(layer.GripAt(110, 45), ieRightSide);
    EXPECT_EQ(layer.GripAt(60, 20), ieTopSide);
    EXPECT_EQ(layer.GripAt(60, 70), ieBottomSide);
    EXPECT_EQ(layer.GripAt(60, 45), ieNone);
    EXPECT_EQ(layer.GripAt(15, 20), ieNone);
}

TEST(Layer, ResizingKeepsTheOppositeSideAndPositiveSizes)
{
    TIELayer layer(nullptr);
    layer.ResizeByGrip(ieTopLeft, 5, -3, 10, 10, 40, 30);
    EXPECT_EQ(layer.PosX, 15);
    EXPECT_EQ(layer.PosY, 7);
    EXPECT_EQ(layer.Width, 35);
    EXPECT_EQ(layer.Height, 33);
    layer.ResizeByGrip(ieRightSide, -100, 50, 10, 10, 40, 30);
    EXPECT_EQ(layer.Width, 1);
    EXPECT_EQ(layer.Height, 30);
    EXPECT_EQ(layer.PosX, 10);
    layer.ResizeByGrip(ieTopSide, 0, 100, 10, 10, 40, 30);
    EXPECT_EQ(layer.Height, 1);
    EXPECT_EQ(layer.PosY, 10 + 30 - 1);
}

TEST(Layer, CopiesOwnTheirPixelsAndDisplaySizesDefaultToTheBitmaps)
{
    TIEBitmap source;
    source.Allocate(6, 4, ie24RGB);
    source.ScanLine(1)[3] = 77;
    auto layer = TIELayer::CopyOf(source);
    EXPECT_NE(layer->Bitmap(), &source);
    EXPECT_EQ(layer->Bitmap()->ScanLine(1)[3], 77);
    EXPECT_EQ(layer->DisplayWidth(), 6);
    layer->Height = 9;
    EXPECT_EQ(layer->DisplayHeight(), 9);
}

TEST(Caption, PlaceholdersInAnyCaseAreReplaced)
{
    EXPECT_EQ(IEFormatCaption("Image=%iw%x%ih% Client=%cw%x%ch%", 640, 480, 105, 99),
              "Image=640x480 Client=105x99");
    EXPECT_EQ(IEFormatCaption("%IW%/%Iw%/%cH%%", 1, 2, 3, 4), "1/1/4%");
    EXPECT_EQ(IEFormatCaption("%iw", 5, 6, 7, 8), "%iw");
}

}  // namespace
