// Tests of window regions: rectangles, rounded corners, bitmap-shaped bands and window hand-over.
#include "platform/win/Regions.h"

#include <gtest/gtest.h>

using namespace win;

TEST(Regions, UnionAndSubtractOfRectangles)
{
    TRegion r(Rect(0, 0, 10, 10));
    r.Union(Rect(20, 0, 30, 10));
    EXPECT_TRUE(r.Contains(5, 5));
    EXPECT_TRUE(r.Contains(25, 5));
    EXPECT_FALSE(r.Contains(15, 5));
    EXPECT_FALSE(r.Contains(10, 5)) << "right edge is exclusive";
    EXPECT_EQ(r.Bounds(), Rect(0, 0, 30, 10));
    r.Subtract(Rect(0, 0, 30, 5));
    EXPECT_FALSE(r.Contains(5, 4));
    EXPECT_TRUE(r.Contains(5, 5));
    EXPECT_EQ(r.Rects().size(), 2u);
}

TEST(Regions, CopyIsIndependent)
{
    TRegion a(Rect(0, 0, 4, 4));
    TRegion b = a;
    b.Union(Rect(10, 10, 12, 12));
    EXPECT_FALSE(a.Contains(11, 11));
    EXPECT_TRUE(b.Contains(11, 11));
    EXPECT_TRUE(TRegion().IsEmpty());
    EXPECT_FALSE(a == b);
    TRegion c(Rect(0, 0, 4, 4));
    EXPECT_TRUE(a == c);
}

TEST(Regions, RoundedCornersAreCutAndZeroCornersGiveTheRectangle)
{
    TRegion round = TRegion::RoundRect(Rect(0, 0, 100, 50), 20, 20);
    EXPECT_FALSE(round.Contains(0, 0));
    EXPECT_FALSE(round.Contains(98, 0));
    EXPECT_TRUE(round.Contains(50, 0));
    EXPECT_TRUE(round.Contains(50, 25));
    TRegion square = TRegion::RoundRect(Rect(0, 0, 100, 50), 0, 0);
    EXPECT_TRUE(square == TRegion(Rect(0, 0, 100, 50)));
}

TEST(Regions, TopHalfRoundedBottomHalfSquareLikeAFrame)
{
    // Upper half with rounded top corners only: round rectangle, bottom corners squared off.
    const int w = 120, h = 80, corner = 10;
    TRegion top = TRegion::RoundRect(Rect(0, 0, w + 1, h / 2 + 1), corner, corner);
    top.Union(Rect(0, h / 2 + 1 - corner, corner, h / 2 + 1));
    top.Union(Rect(w + 1 - corner, h / 2 + 1 - corner, w + 1, h / 2 + 1));
    TRegion bottom(Rect(0, h / 2, w + 1, h + 1));
    top.Union(bottom);
    EXPECT_FALSE(top.Contains(0, 0));
    EXPECT_TRUE(top.Contains(0, h / 2));
    EXPECT_TRUE(top.Contains(0, h - 1));
    EXPECT_TRUE(top.Contains(w - 1, h - 1));
}

TEST(Regions, BitmapRunsSkipTheTransparentColour)
{
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(6, 3);
    b.Canvas()->Brush()->SetColor(clFuchsia);
    b.Canvas()->FillRect(Rect(0, 0, 6, 3));
    // Row 0: pixels 1-2 and 4 opaque; row 1 all transparent; row 2 pixels 0-5 opaque.
    b.Canvas()->SetPixels(1, 0, clRed);
    b.Canvas()->SetPixels(2, 0, clBlue);
    b.Canvas()->SetPixels(4, 0, clBlack);
    b.Canvas()->Brush()->SetColor(clWhite);
    b.Canvas()->FillRect(Rect(0, 2, 6, 3));

    TRegion r = TRegion::FromBitmap(b, 0, 2, clFuchsia, Point(10, 20));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool opaque = b.Canvas()->Pixels(x, y) != clFuchsia;
            EXPECT_EQ(r.Contains(10 + x, 20 + y), opaque) << x << "," << y;
        }
    EXPECT_EQ(r.Bounds(), Rect(10, 20, 16, 23));
    EXPECT_EQ(b.PixelFormat(), pf24bit) << "the source bitmap is left alone";

    // Rows outside the bitmap are clamped; an inverted range is empty.
    EXPECT_TRUE(TRegion::FromBitmap(b, 2, 99, clFuchsia, Point(0, 0)) == TRegion(Rect(0, 2, 6, 3)));
    EXPECT_TRUE(TRegion::FromBitmap(b, 2, 1, clFuchsia, Point(0, 0)).IsEmpty());
    EXPECT_TRUE(TRegion::FromBitmap(b, 1, 1, clFuchsia, Point(0, 0)).IsEmpty());
}

TEST(Regions, BitmapRunsWorkFromPaletteBitmaps)
{
    TBitmap b;
    b.SetPixelFormat(pf8bit);
    b.SetSize(4, 1);
    b.Canvas()->Brush()->SetColor(clFuchsia);
    b.Canvas()->FillRect(Rect(0, 0, 4, 1));
    b.Canvas()->SetPixels(3, 0, clLime);
    TRegion r = TRegion::FromBitmap(b, 0, 0, clFuchsia, Point(0, 0));
    EXPECT_TRUE(r == TRegion(Rect(3, 0, 4, 1)));
}

TEST(Regions, ApplyToWindowHandsOverOwnership)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VarneloRegionTest";
    RegisterClassA(&wc);
    HWND wnd = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 100, 60, nullptr, nullptr,
                               wc.hInstance, nullptr);
    ASSERT_NE(wnd, nullptr);
    TRegion r = TRegion::RoundRect(Rect(0, 0, 100, 60), 16, 16);
    TRegion expected = r;
    ASSERT_TRUE(r.ApplyToWindow(wnd, false));
    EXPECT_TRUE(r.IsEmpty()) << "the window owns the region now";
    TRegion got;
    ASSERT_NE(GetWindowRgn(wnd, got.Handle()), ERROR);
    EXPECT_EQ(got.Bounds(), expected.Bounds());
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(got.Contains(x, y), expected.Contains(x, y)) << x << "," << y;
    TRegion::ClearWindowRegion(wnd, false);
    EXPECT_EQ(GetWindowRgn(wnd, got.Handle()), ERROR) << "no region after clearing";
    DestroyWindow(wnd);
}
