// Tests of the container over the GUI layer: encapsulated TBitmaps and GDI drawing on DIB sections.
#include "imaging/core/iebitmap.h"

#include "platform/win/Graphics.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace imaging;

namespace {

std::unique_ptr<win::TBitmap> Picture(int w, int h, win::TPixelFormat format, win::TColor fill)
{
    auto bmp = std::make_unique<win::TBitmap>();
    bmp->SetPixelFormat(format);
    bmp->SetSize(w, h);
    bmp->Canvas()->Brush()->SetColor(fill);
    bmp->Canvas()->FillRect(win::TRect{0, 0, w, h});
    return bmp;
}

// --- encapsulating a TBitmap ---

TEST(EncapsulatedTBitmap, ReadsAndWritesTheTBitmapsOwnPixels)
{
    auto picture = Picture(10, 6, win::pf24bit, 0x00336699);
    TIEBitmap bmp;
    bmp.EncapsulateTBitmap(picture.get(), true);
    EXPECT_TRUE(bmp.EncapsulatedTBitmap());
    EXPECT_EQ(bmp.Location(), ieTBitmap);
    EXPECT_EQ(bmp.GetWidth(), 10);
    EXPECT_EQ(bmp.GetHeight(), 6);
    EXPECT_EQ(bmp.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(bmp.GetRowLen(), 32);
    EXPECT_EQ(bmp.GetPixel24(9, 5), (TRGB{0x33, 0x66, 0x99}));
    bmp.SetPixel24(2, 1, TRGB{0x10, 0x20, 0x30});  // blue, green, red
    EXPECT_EQ(picture->Canvas()->Pixels(2, 1) & 0xFFFFFF, 0x00102030)
        << "no copy: the TBitmap itself changed";
    ASSERT_NE(bmp.GetVclBitmap(), nullptr);
    EXPECT_EQ(bmp.GetVclBitmap()->GuiBitmap(), picture.get());
}

TEST(EncapsulatedTBitmap, OutlivesNeitherFreeNorDestructionOfTheContainer)
{
    auto picture = Picture(4, 3, win::pf24bit, 0x00FFFFFF);
    {
        TIEBitmap bmp;
        bmp.EncapsulateTBitmap(picture.get(), false);
        bmp.GetAlphaChannel()->ScanLine(0)[0] = 5;
        bmp.FreeImage();
        EXPECT_EQ(bmp.GetWidth(), 0);
        EXPECT_FALSE(bmp.EncapsulatedTBitmap());
        EXPECT_EQ(picture->Width(), 4);
        bmp.EncapsulateTBitmap(picture.get(), true);
        EXPECT_FALSE(bmp.HasAlphaChannel());
    }
    EXPECT_EQ(picture->Width(), 4);
    EXPECT_EQ(picture->Canvas()->Pixels(3, 2) & 0xFFFFFF, 0xFFFFFF);
}

TEST(EncapsulatedTBitmap, AllocateAndAssignWorkInsideTheTBitmap)
{
    auto picture = Picture(4, 3, win::pf24bit, 0);
    TIEBitmap bmp;
    bmp.EncapsulateTBitmap(picture.get(), true);
    bmp.Allocate(20, 7, ie8g);
    EXPECT_EQ(picture->Width(), 20);
    EXPECT_EQ(picture->Height(), 7);
    EXPECT_EQ(picture->PixelFormat(), win::pf8bit);
    bmp.ScanLine(6)[19] = 200;
    EXPECT_EQ(picture->Canvas()->Pixels(19, 6) & 0xFFFFFF, 0x00C8C8C8) << "grey rows get a grey palette";

    TIEBitmap source;
    source.Allocate(3, 2, ie24RGB);
    source.SetPixel24(1, 1, TRGB{1, 2, 3});
    bmp.Assign(&source);
    EXPECT_TRUE(bmp.EncapsulatedTBitmap());
    EXPECT_EQ(picture->Width(), 3);
    EXPECT_EQ(picture->PixelFormat(), win::pf24bit);
    EXPECT_EQ(picture->Canvas()->Pixels(1, 1) & 0xFFFFFF, 0x00010203);  // blue 1, green 2, red 3
}

TEST(EncapsulatedTBitmap, TakesEachDepthAsAFormatItCanAddress)
{
    auto mono = Picture(9, 2, win::pf1bit, win::clWhite);
    TIEBitmap bmp;
    bmp.EncapsulateTBitmap(mono.get(), true);
    EXPECT_EQ(bmp.GetPixelFormat(), ie1g);
    EXPECT_EQ(bmp.ScanLine(1)[0], 0xFF);

    auto indexed = Picture(5, 5, win::pf8bit, 0);
    std::vector<PALETTEENTRY> entries(256, PALETTEENTRY{0, 0, 0, 0});
    entries[7] = PALETTEENTRY{10, 20, 30, 0};  // red, green, blue
    indexed->SetPaletteEntries(entries);
    static_cast<std::uint8_t*>(indexed->ScanLine(2))[3] = 7;
    bmp.EncapsulateTBitmap(indexed.get(), true);
    EXPECT_EQ(bmp.GetPixelFormat(), ie8p);
    EXPECT_EQ(bmp.GetPaletteColor(7), (TRGB{30, 20, 10}));
    EXPECT_EQ(bmp.GetPixelRGB(3, 2), (TRGB{30, 20, 10}));

    // 32-bit rows do not match 24-bit pixels: the picture is brought to 24 bits, colours kept.
    auto wide = Picture(6, 2, win::pf32bit, 0x00445566);
    bmp.EncapsulateTBitmap(wide.get(), true);
    EXPECT_EQ(bmp.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(wide->PixelFormat(), win::pf24bit);
    EXPECT_EQ(bmp.GetPixel24(5, 1), (TRGB{0x44, 0x55, 0x66}));

    // A device-dependent picture and a 4-bit one likewise.
    auto device = Picture(3, 3, win::pfDevice, 0x00FF0000);
    bmp.EncapsulateTBitmap(device.get(), true);
    EXPECT_EQ(bmp.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(bmp.GetPixel24(2, 2), (TRGB{0xFF, 0, 0}));
    auto nibbles = Picture(7, 2, win::pf4bit, win::clWhite);
    bmp.EncapsulateTBitmap(nibbles.get(), true);
    EXPECT_EQ(bmp.GetRowLen(), 24);
    EXPECT_EQ(bmp.GetPixel24(6, 1), (TRGB{255, 255, 255}));
}

TEST(EncapsulatedTBitmap, FollowsAResizeByTheOwner)
{
    auto picture = Picture(50, 50, win::pf24bit, 0);
    TIEBitmap bmp;
    bmp.EncapsulateTBitmap(picture.get(), true);
    bmp.ScanLine(49);
    picture->SetSize(3, 2);
    EXPECT_THROW(bmp.ScanLine(49), rtl::EInvalidArgument);
    EXPECT_EQ(bmp.GetWidth(), 3);
    bmp.ScanLine(1)[8] = 9;
    EXPECT_EQ(static_cast<std::uint8_t*>(picture->ScanLine(1))[8], 9);
}

TEST(EncapsulatedTBitmap, MoveAndRelocationHandTheWrapperOverCleanly)
{
    auto picture = Picture(4, 4, win::pf24bit, 0x000000FF);
    auto bmp = std::make_unique<TIEBitmap>();
    bmp->EncapsulateTBitmap(picture.get(), true);
    TIEBitmap other;
    bmp->MoveTo(&other);
    bmp.reset();  // the wrapper now belongs to `other`
    EXPECT_TRUE(other.EncapsulatedTBitmap());
    other.SetPixel24(0, 0, TRGB{9, 9, 9});
    EXPECT_EQ(picture->Canvas()->Pixels(0, 0) & 0xFFFFFF, 0x00090909);

    other.SetLocation(ieMemory);
    EXPECT_FALSE(other.EncapsulatedTBitmap());
    EXPECT_EQ(other.GetPixel24(0, 0), (TRGB{9, 9, 9}));
    EXPECT_EQ(other.GetPixel24(3, 3), (TRGB{0, 0, 255}));
    other.SetPixel24(0, 0, TRGB{1, 1, 1});
    EXPECT_EQ(picture->Canvas()->Pixels(0, 0) & 0xFFFFFF, 0x00090909) << "the owner's picture is left alone";
    EXPECT_EQ(picture->Width(), 4);
}

TEST(EncapsulatedTBitmap, SwitchingPicturesOrPassingNothing)
{
    auto first = Picture(4, 4, win::pf24bit, 0x00010101);
    auto second = Picture(2, 9, win::pf24bit, 0x00020202);
    TIEBitmap bmp;
    bmp.EncapsulateTBitmap(first.get(), true);
    bmp.EncapsulateTBitmap(first.get(), false);  // the same picture again keeps working on it
    EXPECT_EQ(bmp.GetVclBitmap()->GuiBitmap(), first.get());
    bmp.EncapsulateTBitmap(second.get(), false);
    EXPECT_EQ(bmp.GetHeight(), 9);
    EXPECT_EQ(bmp.GetPixel24(1, 8), (TRGB{2, 2, 2}));
    EXPECT_EQ(bmp.GetVclBitmap()->GuiBitmap(), second.get());
    bmp.EncapsulateTBitmap(static_cast<win::TBitmap*>(nullptr), false);
    EXPECT_TRUE(bmp.EncapsulatedTBitmap()) << "nothing to wrap without freeing first";
    bmp.EncapsulateTBitmap(static_cast<win::TBitmap*>(nullptr), true);
    EXPECT_EQ(bmp.GetWidth(), 0);
    EXPECT_EQ(second->Height(), 9);
}

TEST(EncapsulatedTBitmap, SixteenBitGreyLeavesThePictureAndGoesToMemory)
{
    auto picture = Picture(4, 4, win::pf24bit, 0x00112233);
    TIEBitmap bmp;
    bmp.EncapsulateTBitmap(picture.get(), true);
    bmp.Allocate(3, 3, ie16g);
    EXPECT_EQ(bmp.Location(), ieMemory);
    EXPECT_FALSE(bmp.EncapsulatedTBitmap());
    EXPECT_EQ(bmp.GetPixelFormat(), ie16g);
    EXPECT_EQ(picture->Width(), 4);
    EXPECT_EQ(picture->Canvas()->Pixels(3, 3) & 0xFFFFFF, 0x00112233);
}

TEST(EncapsulatedTBitmap, ANewPictureBringsItsOwnPalette)
{
    std::vector<PALETTEENTRY> first(256, PALETTEENTRY{0, 0, 0, 0});
    first[7] = PALETTEENTRY{10, 20, 30, 0};
    std::vector<PALETTEENTRY> second(256, PALETTEENTRY{0, 0, 0, 0});
    second[7] = PALETTEENTRY{200, 100, 50, 0};
    auto a = Picture(3, 3, win::pf8bit, 0);
    a->SetPaletteEntries(first);
    auto b = Picture(3, 3, win::pf8bit, 0);
    b->SetPaletteEntries(second);
    TIEBitmap bmp;
    bmp.EncapsulateTBitmap(a.get(), true);
    ASSERT_EQ(bmp.GetPaletteColor(7), (TRGB{30, 20, 10}));
    bmp.EncapsulateTBitmap(b.get(), false);
    EXPECT_EQ(bmp.GetPaletteColor(7), (TRGB{50, 100, 200}))
        << "the old picture's colours would paint the new one";
    EXPECT_EQ(a->PaletteEntries()[7].peRed, 10) << "and the old picture keeps its own";
}

// --- DIB sections drawn with GDI ---

TEST(DibSection, GdiDrawingShowsInTheRowsTopRowFirst)
{
    TIEDibbitmap dib;
    dib.AllocateBits(8, 4, 24);
    HDC dc = static_cast<HDC>(dib.DC());
    ASSERT_NE(dc, nullptr);
    ASSERT_NE(dib.Handle(), nullptr);
    HBRUSH red = ::CreateSolidBrush(RGB(255, 0, 0));
    RECT r{2, 0, 5, 1};
    ::FillRect(dc, &r, red);
    ::DeleteObject(red);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            const std::uint8_t* p = dib.ScanLine(y) + x * 3;
            const bool inside = y == 0 && x >= 2 && x < 5;
            EXPECT_EQ(p[0], 0) << x << "," << y;
            EXPECT_EQ(p[1], 0) << x << "," << y;
            EXPECT_EQ(p[2], inside ? 255 : 0) << x << "," << y;
        }
    // And the other way: bytes written to a row are what GDI reads back.
    dib.ScanLine(3)[7 * 3 + 1] = 200;
    EXPECT_EQ(::GetPixel(dc, 7, 3), RGB(0, 200, 0));
}

TEST(DibSection, OneBitSectionsAreBlackAndWhite)
{
    TIEDibbitmap dib;
    dib.Allocate(16, 2, ie1g);
    HDC dc = static_cast<HDC>(dib.DC());
    ::PatBlt(dc, 0, 1, 8, 1, WHITENESS);
    EXPECT_EQ(dib.ScanLine(1)[0], 0xFF);
    EXPECT_EQ(dib.ScanLine(1)[1], 0x00);
    EXPECT_EQ(dib.ScanLine(0)[0], 0x00);
    EXPECT_EQ(::GetPixel(dc, 3, 1), RGB(255, 255, 255));
    EXPECT_EQ(::GetPixel(dc, 9, 1), RGB(0, 0, 0));
}

TEST(DibSection, EightBitSectionsHaveAFullGreyTable)
{
    TIEDibbitmap dib;
    dib.AllocateBits(4, 1, 8);
    HDC dc = static_cast<HDC>(dib.DC());
    RGBQUAD table[256] = {};
    ASSERT_EQ(::GetDIBColorTable(dc, 0, 256, table), 256u);
    EXPECT_EQ(table[128].rgbRed, 128);
    EXPECT_EQ(table[255].rgbBlue, 255);
    dib.ScanLine(0)[1] = 77;
    EXPECT_EQ(::GetPixel(dc, 1, 0), RGB(77, 77, 77));
}

TEST(DibSection, AssignMakesASeparateSectionWithTheSamePicture)
{
    TIEDibbitmap src;
    src.AllocateBits(5, 5, 24);
    ::PatBlt(static_cast<HDC>(src.DC()), 0, 0, 5, 5, WHITENESS);
    TIEDibbitmap dst;
    dst.Assign(&src);
    ASSERT_NE(dst.DC(), nullptr);
    EXPECT_NE(dst.DC(), src.DC());
    EXPECT_EQ(::GetPixel(static_cast<HDC>(dst.DC()), 4, 4), RGB(255, 255, 255));
    ::PatBlt(static_cast<HDC>(dst.DC()), 0, 0, 5, 5, BLACKNESS);
    EXPECT_EQ(src.ScanLine(4)[0], 255);
    dst.FreeBitmap();
    EXPECT_EQ(dst.DC(), nullptr);
}

}  // namespace
