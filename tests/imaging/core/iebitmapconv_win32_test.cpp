// Tests of the exchange between TIEBitmap and TBitmaps of the GUI layer, pixels read back through GDI.
#include "imaging/core/iebitmap.h"

#include "platform/win/Graphics.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace imaging;

namespace {

TRGB Rgb(int r, int g, int b) { return TRGB{std::uint8_t(b), std::uint8_t(g), std::uint8_t(r)}; }

std::unique_ptr<win::TBitmap> Picture(int w, int h, win::TPixelFormat format)
{
    auto bmp = std::make_unique<win::TBitmap>();
    bmp->SetPixelFormat(format);
    bmp->SetSize(w, h);
    return bmp;
}

// 0x00BBGGRR as GDI reports it.
win::TColor Colour(int r, int g, int b) { return win::TColor(r | (g << 8) | (b << 16)); }

TEST(CopyFromGuiBitmap, DrawnTrueColourPixelsArriveInOrderBlueGreenRed)
{
    auto picture = Picture(6, 4, win::pf24bit);
    picture->Canvas()->Brush()->SetColor(Colour(200, 100, 50));
    picture->Canvas()->FillRect(win::TRect{0, 0, 6, 4});
    picture->Canvas()->SetPixels(5, 3, Colour(1, 2, 3));
    TIEBitmap b;
    b.CopyFromTBitmap(picture.get());
    ASSERT_EQ(b.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(b.GetWidth(), 6);
    EXPECT_EQ(b.GetHeight(), 4);
    EXPECT_EQ(b.GetPixel24(0, 0), Rgb(200, 100, 50));
    EXPECT_EQ(b.GetPixel24(5, 3), Rgb(1, 2, 3));
    EXPECT_FALSE(b.EncapsulatedTBitmap()) << "a copy, not the TBitmap's own pixels";
}

TEST(CopyFromGuiBitmap, HighColourAndPaletteDepthsAndAssign)
{
    auto p16 = Picture(2, 1, win::pf16bit);
    const std::uint16_t px[2] = {0xFFFF, 0xF800};
    std::memcpy(p16->ScanLine(0), px, 4);
    TIEBitmap b;
    b.Assign(p16.get());
    ASSERT_EQ(b.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(b.GetPixel24(0, 0), Rgb(248, 252, 248));
    EXPECT_EQ(b.GetPixel24(1, 0), Rgb(248, 0, 0));

    auto p8 = Picture(3, 1, win::pf8bit);
    std::vector<PALETTEENTRY> entries(256);
    for (int i = 0; i < 256; ++i)
        entries[std::size_t(i)] = PALETTEENTRY{BYTE(i), BYTE(255 - i), 9, 0};
    p8->SetPaletteEntries(entries);
    static_cast<std::uint8_t*>(p8->ScanLine(0))[2] = 40;
    b.CopyFromTBitmap(p8.get());
    ASSERT_EQ(b.GetPixelFormat(), ie8p);
    EXPECT_EQ(b.ScanLine(0)[2], 40);
    EXPECT_EQ(b.GetPaletteColor(40), Rgb(40, 215, 9));

    auto p1 = Picture(9, 1, win::pf1bit);
    p1->SetPaletteEntries({PALETTEENTRY{0, 0, 0, 0}, PALETTEENTRY{255, 255, 255, 0}});
    ASSERT_TRUE(p1->Monochrome());
    static_cast<std::uint8_t*>(p1->ScanLine(0))[0] = 0x81;
    b.CopyFromTBitmap(p1.get());
    ASSERT_EQ(b.GetPixelFormat(), ie1g);
    EXPECT_EQ(b.ScanLine(0)[0], 0x81);
}

TEST(CopyToGuiBitmap, EachFormatIsDrawnWithTheRightColours)
{
    TIEBitmap b;
    b.Allocate(3, 2, ie8p);
    b.SetPaletteColor(5, Rgb(10, 200, 30));
    b.ScanLine(1)[2] = 5;
    auto picture = Picture(1, 1, win::pf24bit);
    b.CopyToTBitmap(picture.get());
    EXPECT_EQ(picture->PixelFormat(), win::pf8bit);
    EXPECT_EQ(picture->Width(), 3);
    EXPECT_EQ(picture->Canvas()->Pixels(2, 1) & 0xFFFFFF, Colour(10, 200, 30));

    b.Allocate(10, 1, ie1g);
    b.ScanLine(0)[0] = 0x80;
    b.CopyToTBitmap(picture.get());
    EXPECT_EQ(picture->PixelFormat(), win::pf1bit);
    EXPECT_TRUE(picture->Monochrome());
    EXPECT_EQ(picture->Canvas()->Pixels(0, 0) & 0xFFFFFF, Colour(255, 255, 255)) << "a set bit is white";
    EXPECT_EQ(picture->Canvas()->Pixels(1, 0) & 0xFFFFFF, Colour(0, 0, 0));

    b.Allocate(2, 1, ie32f);
    const float v[2] = {1.5f, 0.5f};
    std::memcpy(b.ScanLine(0), v, 8);
    b.CopyToTBitmap(picture.get());
    EXPECT_EQ(picture->PixelFormat(), win::pf8bit);
    EXPECT_EQ(picture->Canvas()->Pixels(0, 0) & 0xFFFFFF, Colour(255, 255, 255)) << "clamped, not wrapped";
    EXPECT_EQ(picture->Canvas()->Pixels(1, 0) & 0xFFFFFF, Colour(127, 127, 127));

    b.Allocate(2, 1, ie24RGB);
    b.SetPixel24(1, 0, Rgb(7, 8, 9));
    b.CopyToTBitmap(picture.get());
    EXPECT_EQ(picture->PixelFormat(), win::pf24bit);
    EXPECT_EQ(picture->Canvas()->Pixels(1, 0) & 0xFFFFFF, Colour(7, 8, 9));
}

TEST(ConvertOnGuiBitmap, EncapsulatedPictureIsRebuiltWithTheMatchingFormat)
{
    auto picture = Picture(8, 2, win::pf24bit);
    picture->Canvas()->Brush()->SetColor(Colour(255, 255, 255));
    picture->Canvas()->FillRect(win::TRect{0, 0, 8, 1});
    picture->Canvas()->Brush()->SetColor(Colour(0, 0, 0));
    picture->Canvas()->FillRect(win::TRect{0, 1, 8, 2});
    TIEBitmap b;
    b.EncapsulateTBitmap(picture.get(), true);
    b.MonoConversion = 0;
    b.SetPixelFormat(ie1g);
    EXPECT_EQ(picture->PixelFormat(), win::pf1bit);
    EXPECT_EQ(b.ScanLine(0)[0], 0xFF);
    EXPECT_EQ(b.ScanLine(1)[0], 0x00);
    EXPECT_EQ(picture->Canvas()->Pixels(3, 0) & 0xFFFFFF, Colour(255, 255, 255));
    EXPECT_EQ(picture->Canvas()->Pixels(3, 1) & 0xFFFFFF, Colour(0, 0, 0));

    b.SetPixelFormat(ie8g);
    EXPECT_EQ(picture->PixelFormat(), win::pf8bit);
    EXPECT_EQ(picture->Canvas()->Pixels(0, 0) & 0xFFFFFF, Colour(255, 255, 255));
    b.ScanLine(1)[4] = 100;
    EXPECT_EQ(picture->Canvas()->Pixels(4, 1) & 0xFFFFFF, Colour(100, 100, 100)) << "grey palette installed";

    b.SetPixelFormat(ie24RGB);
    EXPECT_EQ(picture->PixelFormat(), win::pf24bit);
    EXPECT_EQ(b.GetPixel24(4, 1), Rgb(100, 100, 100));
}

TEST(ConvertOnGuiBitmap, OwnPlatformBitmapFollowsEveryConversion)
{
    TIEBitmap b;
    b.MinFileSize = std::int64_t(1) << 40;
    b.SetLocation(ieTBitmap);
    b.Allocate(4, 1, ie24RGB);
    b.SetPixel24(0, 0, Rgb(200, 100, 50));
    b.SetPixelFormat(ie8g);
    ASSERT_EQ(b.Location(), ieTBitmap);
    win::TBitmap* gui = b.GetVclBitmap()->GuiBitmap();
    ASSERT_NE(gui, nullptr);
    EXPECT_EQ(gui->PixelFormat(), win::pf8bit);
    EXPECT_EQ(b.ScanLine(0)[0], 117);
    EXPECT_EQ(gui->Canvas()->Pixels(0, 0) & 0xFFFFFF, Colour(117, 117, 117));
    b.SetPixelFormat(ie16g);
    EXPECT_EQ(b.Location(), ieMemory) << "no platform bitmap holds 16-bit grey";
    std::uint16_t v;
    std::memcpy(&v, b.ScanLine(0), 2);
    EXPECT_EQ(v, 117 << 8);
}

}  // namespace
