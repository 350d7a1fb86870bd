// Tests of the mask's canvas drawing under Windows: the inverting overlay and the dashed outline.
#include "imaging/core/iemask.h"

#include "platform/win/Graphics.h"

#include <gtest/gtest.h>

using namespace imaging;

namespace {

std::unique_ptr<win::TBitmap> WhiteCanvas(int w, int h)
{
    auto bmp = std::make_unique<win::TBitmap>();
    bmp->SetPixelFormat(win::pf24bit);
    bmp->SetSize(w, h);
    bmp->Canvas()->Brush()->SetColor(0x00FFFFFF);
    bmp->Canvas()->FillRect(win::TRect{0, 0, w, h});
    return bmp;
}

TEST(MaskCanvas, OverlayInvertsExactlyTheSelectedPixelsAtTheirPlace)
{
    TIEMask mask;
    mask.AllocateBits(10, 8, 1);
    for (int y = 1; y <= 2; ++y)
        mask.FillHorzLine(1, 3, 6, y);
    mask.SetBox(3, 1, 6, 2);
    auto bmp = WhiteCanvas(10, 8);
    mask.DrawOnCanvas(*bmp->Canvas(), 0, 0, 10, 8, 0, 0, 10, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool selected = x >= 3 && x <= 6 && y >= 1 && y <= 2;
            EXPECT_EQ(bmp->Canvas()->Pixels(x, y) & 0xFFFFFF, selected ? 0 : 0xFFFFFF) << x << "," << y;
        }
}

TEST(MaskCanvas, OutlineIsDrawnAtTheDestinationOffset)
{
    TIEMask mask;
    mask.AllocateBits(10, 10, 1);
    for (int y = 2; y < 8; ++y)
        mask.FillHorzLine(1, 2, 7, y);
    mask.SetBox(2, 2, 7, 7);
    auto bmp = WhiteCanvas(20, 20);
    mask.DrawOutline(*bmp->Canvas(), 5, 5, 10, 10, 0, 0, 10, 10, 0x000000FF, 0x00FF0000, 0);
    int painted = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            if ((bmp->Canvas()->Pixels(x, y) & 0xFFFFFF) != 0xFFFFFF) {
                ++painted;
                EXPECT_TRUE(x == 7 || x == 12 || y == 7 || y == 12) << x << "," << y;
            }
    EXPECT_EQ(painted, 20);
}

}  // namespace
