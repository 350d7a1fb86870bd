// Tests of colours, fonts, canvases and bitmaps: painting checked pixel by pixel, pixel formats,
// BMP files against ImageMagick-written references turned into DIB sections, and the picture's
// stored data. The BMP parsing itself is tested with the portable reader (tests/platform/rtl).
#include "platform/win/Graphics.h"

#include "platform/rtl/FormStream.h"
#include "platform/rtl/FormText.h"
#include "tests/platform/rtl/BmpTestFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace win;

namespace {

const TColor kPattern[8] = {clBlack, clWhite, clRed, clLime, clBlue, clYellow, clAqua, clFuchsia};

TColor PatternAt(int x, int y) { return kPattern[(x + 2 * y) % 8]; }
TColor BilevelAt(int x, int y) { return (x * y + x) % 2 ? clWhite : clBlack; }
TColor Pattern35At(int x, int y)
{
    const int k = x + 7 * y;
    return static_cast<TColor>(RGB(k * 7, 255 - k * 7, 100));
}

std::string DataFile(const char* name) { return std::string(VA_TEST_DATA_DIR) + "/win/bmp/" + name; }

std::unique_ptr<TBitmap> MakeBitmap(int w, int h, TPixelFormat pf = pf24bit)
{
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(pf);
    b->SetSize(w, h);
    return b;
}

void PaintPattern(TBitmap& b, TColor (*at)(int, int))
{
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            b.Canvas()->SetPixels(x, y, at(x, y));
}

// Counts pixels in [x0,x1) x [y0,y1) that differ from `background`.
int Ink(TBitmap& b, int x0, int y0, int x1, int y1, TColor background = clWhite)
{
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            n += b.Canvas()->Pixels(x, y) != background;
    return n;
}

std::uint32_t Le32(const std::uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::vector<std::uint8_t> Saved(TBitmap& b)
{
    rtl::TMemoryStream s;
    b.SaveToStream(s);
    return s.Bytes();
}

void ExpectRejected(std::vector<std::uint8_t> bytes, const char* why)
{
    TBitmap b;
    b.SetSize(3, 3);
    rtl::TReadOnlyMemoryStream s(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    EXPECT_THROW(b.LoadFromStream(s), EInvalidGraphic) << why;
    // A failed load leaves the bitmap as it was.
    EXPECT_EQ(b.Width(), 3) << why;
}

}  // namespace

// --- colours ---

TEST(Colors, SystemColoursResolveThroughTheCurrentScheme)
{
    EXPECT_EQ(ColorToRGB(clBtnFace), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(ColorToRGB(clWindowText), GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(ColorToRGB(clHighlight), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(static_cast<std::uint32_t>(clBtnFace), 0x8000000Fu);
    EXPECT_EQ(ColorToRGB(0x808040), 0x808040u);
}

TEST(Colors, NamesAndNumbersConvertBothWays)
{
    EXPECT_EQ(StringToColor("clBtnFace"), clBtnFace);
    EXPECT_EQ(StringToColor("CLTEAL"), clTeal);
    EXPECT_EQ(StringToColor("$00C7AF67"), 0xC7AF67);
    EXPECT_EQ(StringToColor("8421440"), 8421440);
    EXPECT_EQ(ColorToString(clWindowText), "clWindowText");
    EXPECT_EQ(ColorToString(0xC7AF67), "$00C7AF67");
    EXPECT_THROW(StringToColor("clNoSuchColour"), rtl::EConvertError);
    EXPECT_THROW(StringToColor("$1FFFFFFFF"), rtl::EConvertError);
}

TEST(Colors, FontColourAndCharsetTakeNamesInFormText)
{
    TFont font;
    const rtl::TPropInfo* color = rtl::GetPropInfo(font, "Color");
    ASSERT_NE(color, nullptr);
    EXPECT_EQ(color->PropType->Name, "TColor");
    const rtl::TIdentToInt* toInt = rtl::FindIdentToInt(*color->PropType);
    const rtl::TIntToIdent* toIdent = rtl::FindIntToIdent(*color->PropType);
    ASSERT_TRUE(toInt && toIdent);
    std::int64_t value = 0;
    EXPECT_TRUE((*toInt)("clHighlight", value));
    EXPECT_EQ(value, clHighlight);
    std::string ident;
    EXPECT_TRUE((*toIdent)(clBtnFace, ident));
    EXPECT_EQ(ident, "clBtnFace");
    EXPECT_FALSE((*toIdent)(0x123456, ident));

    const rtl::TPropInfo* charset = rtl::GetPropInfo(font, "Charset");
    ASSERT_NE(charset, nullptr);
    const rtl::TIdentToInt* charsetToInt = rtl::FindIdentToInt(*charset->PropType);
    ASSERT_NE(charsetToInt, nullptr);
    EXPECT_TRUE((*charsetToInt)("ANSI_CHARSET", value));
    EXPECT_EQ(value, ANSI_CHARSET);
    EXPECT_EQ(rtl::FindIdentToInt(rtl::TypeInfoOf<std::int32_t>()), nullptr)
        << "plain integers take no colour names";
    rtl::SetPropValue(font, "Style", "[fsBold,fsItalic]");
    EXPECT_TRUE(font.Style().Contains(fsBold));
    EXPECT_TRUE(font.Style().Contains(fsItalic));
    EXPECT_FALSE(font.Style().Contains(fsUnderline));
}

// --- fonts ---

TEST(Fonts, SizeAndHeightConvertAtPixelsPerInch)
{
    TFont font;
    font.SetPixelsPerInch(96);
    font.SetSize(8);
    EXPECT_EQ(font.Height(), -11);
    font.SetHeight(-19);
    EXPECT_EQ(font.Size(), 14);
}

TEST(Fonts, ChangeFiresOnChangeAndRemakesTheHandle)
{
    TFont font;
    int changes = 0;
    font.OnChange = [&](rtl::TObject*) { ++changes; };
    font.Handle();  // made once, so the changes below must remake it
    font.SetName("Tahoma");
    font.SetStyle({fsBold});
    EXPECT_EQ(changes, 2);
    LOGFONTA lf{};
    ASSERT_NE(GetObjectA(font.Handle(), sizeof lf, &lf), 0);
    EXPECT_STREQ(lf.lfFaceName, "Tahoma");
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
}

TEST(Fonts, AssignCopiesEveryAttribute)
{
    TFont a, b;
    a.SetName("Arial");
    a.SetHeight(-19);
    a.SetColor(196);
    a.SetStyle({fsUnderline, fsStrikeOut});
    a.SetCharset(ANSI_CHARSET);
    b.Assign(&a);
    EXPECT_EQ(b.Name(), "Arial");
    EXPECT_EQ(b.Height(), -19);
    EXPECT_EQ(b.Color(), 196);
    EXPECT_EQ(b.Style(), (TFontStyles{fsUnderline, fsStrikeOut}));
    EXPECT_EQ(b.Charset(), ANSI_CHARSET);
    TPen pen;
    EXPECT_THROW(b.Assign(&pen), rtl::EConvertError);
}

// --- painting ---

TEST(Painting, FillRectCoversExactlyTheRectangle)
{
    auto b = MakeBitmap(20, 10);
    b->Canvas()->Brush()->SetColor(clWhite);
    b->Canvas()->FillRect(Rect(0, 0, 20, 10));
    b->Canvas()->Brush()->SetColor(clRed);
    b->Canvas()->FillRect(Rect(2, 3, 7, 8));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool inside = x >= 2 && x < 7 && y >= 3 && y < 8;
            ASSERT_EQ(b->Canvas()->Pixels(x, y), inside ? clRed : clWhite) << x << "," << y;
        }
}

TEST(Painting, FrameRectDrawsOnePixelBorderOnly)
{
    auto b = MakeBitmap(12, 12);
    b->Canvas()->Brush()->SetColor(clWhite);
    b->Canvas()->FillRect(Rect(0, 0, 12, 12));
    b->Canvas()->Brush()->SetColor(clBlue);
    b->Canvas()->FrameRect(Rect(2, 2, 10, 10));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool inRect = x >= 2 && x < 10 && y >= 2 && y < 10;
            const bool border = inRect && (x == 2 || x == 9 || y == 2 || y == 9);
            ASSERT_EQ(b->Canvas()->Pixels(x, y), border ? clBlue : clWhite) << x << "," << y;
        }
}

TEST(Painting, RectangleUsesPenForEdgeAndBrushInside)
{
    auto b = MakeBitmap(10, 10);
    TCanvas* c = b->Canvas();
    c->Brush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, 10, 10));
    c->Pen()->SetColor(clRed);
    c->Brush()->SetColor(clLime);
    c->Rectangle(1, 1, 9, 9);
    EXPECT_EQ(c->Pixels(1, 1), clRed);
    EXPECT_EQ(c->Pixels(8, 8), clRed);
    EXPECT_EQ(c->Pixels(5, 5), clLime);
    EXPECT_EQ(c->Pixels(9, 9), clWhite);
    c->Brush()->SetStyle(bsClear);
    c->Pen()->SetColor(clBlue);
    c->Rectangle(3, 3, 7, 7);
    EXPECT_EQ(c->Pixels(3, 3), clBlue);
    EXPECT_EQ(c->Pixels(5, 5), clLime) << "a clear brush must leave the inside alone";
}

TEST(Painting, PenChangeBetweenCallsReachesTheDC)
{
    auto b = MakeBitmap(10, 4);
    TCanvas* c = b->Canvas();
    c->Brush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, 10, 4));
    c->Pen()->SetColor(clRed);
    c->MoveTo(0, 1);
    c->LineTo(10, 1);
    c->Pen()->SetColor(clBlue);
    c->MoveTo(0, 2);
    c->LineTo(10, 2);
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(c->Pixels(x, 1), clRed);
        EXPECT_EQ(c->Pixels(x, 2), clBlue);
        EXPECT_EQ(c->Pixels(x, 3), clWhite);
    }
    EXPECT_EQ(c->PenPos(), Point(10, 2));
}

TEST(Painting, EllipseRoundRectPolygonFillTheirInsides)
{
    auto b = MakeBitmap(40, 40);
    TCanvas* c = b->Canvas();
    c->Brush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, 40, 40));
    c->Pen()->SetStyle(psClear);
    c->Brush()->SetColor(clRed);
    c->Ellipse(0, 0, 20, 20);
    EXPECT_EQ(c->Pixels(10, 10), clRed);
    EXPECT_EQ(c->Pixels(1, 1), clWhite) << "ellipse corners stay empty";
    c->Brush()->SetColor(clBlue);
    c->RoundRect(20, 0, 40, 20, 10, 10);
    EXPECT_EQ(c->Pixels(30, 10), clBlue);
    EXPECT_EQ(c->Pixels(20, 0), clWhite) << "rounded corner stays empty";
    c->Brush()->SetColor(clLime);
    c->Polygon({Point(0, 39), Point(20, 20), Point(39, 39)});
    EXPECT_EQ(c->Pixels(20, 35), clLime);
    EXPECT_EQ(c->Pixels(2, 22), clWhite);
}

TEST(Painting, PixelsReadBackWhatWasSet)
{
    auto b = MakeBitmap(7, 5);
    PaintPattern(*b, PatternAt);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(b->Canvas()->Pixels(x, y), PatternAt(x, y));
    EXPECT_EQ(b->Canvas()->Pixels(7, 0), clNone) << "outside the bitmap there is no colour";
}

TEST(Painting, TextOutPaintsInkInsideItsExtentOnly)
{
    auto b = MakeBitmap(200, 40);
    TCanvas* c = b->Canvas();
    c->Brush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, 200, 40));
    c->Font()->SetName("Tahoma");
    c->Font()->SetHeight(-16);
    c->Font()->SetColor(clBlack);
    c->Brush()->SetStyle(bsClear);
    const SIZE ext = c->TextExtent("Varnelo");
    ASSERT_GT(ext.cx, 20);
    ASSERT_GT(ext.cy, 8);
    c->TextOut(10, 5, "Varnelo");
    EXPECT_GT(Ink(*b, 10, 5, 10 + ext.cx, 5 + ext.cy), 20);
    EXPECT_EQ(Ink(*b, 10 + ext.cx + 1, 0, 200, 40), 0);
    EXPECT_EQ(Ink(*b, 0, 5 + ext.cy, 200, 40), 0);
}

TEST(Painting, FontChangeAfterDrawingTakesEffect)
{
    auto b = MakeBitmap(10, 10);
    TCanvas* c = b->Canvas();
    c->Font()->SetName("Tahoma");
    c->Font()->SetHeight(-12);
    const int narrow = c->TextWidth("WWWWWWWWWW");
    c->Font()->SetHeight(-24);
    const int wide = c->TextWidth("WWWWWWWWWW");
    EXPECT_GT(wide, narrow * 3 / 2);
}

TEST(Painting, SolidBrushFillsTextBackgroundClearDoesNot)
{
    auto b = MakeBitmap(100, 30);
    TCanvas* c = b->Canvas();
    c->Brush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, 100, 30));
    c->Font()->SetColor(clBlack);
    c->Brush()->SetColor(clYellow);
    c->TextOut(0, 0, "ii");
    EXPECT_EQ(c->Pixels(0, 0), clYellow) << "opaque text background is the brush colour";
    c->Brush()->SetStyle(bsClear);
    c->TextOut(50, 0, "ii");
    EXPECT_EQ(c->Pixels(50, 0), clWhite);
}

TEST(Painting, DrawTextPathEllipsisStaysWithinTheWidth)
{
    const std::string path = "C:\\Program Files\\Vendor\\Sub\\Deeper\\Folder\\Even\\More\\Levels\\";
    auto b = MakeBitmap(400, 20);
    TCanvas* c = b->Canvas();
    c->Brush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, 400, 20));
    c->Font()->SetName("Tahoma");
    c->Font()->SetHeight(-11);
    c->Brush()->SetStyle(bsClear);
    ASSERT_GT(c->TextWidth(path), 150);

    TRect r = Rect(0, 0, 150, 20);
    std::string copy = path;
    c->DrawText(copy, r, DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_NOPREFIX | DT_NOCLIP);
    EXPECT_EQ(copy, path) << "the caller's text is never shortened";
    EXPECT_GT(Ink(*b, 0, 0, 150, 20), 30);
    EXPECT_EQ(Ink(*b, 150, 0, 400, 20), 0);

    // Both ends of the path stay visible: ink near the start and near the right edge.
    EXPECT_GT(Ink(*b, 0, 0, 20, 20), 0);
    EXPECT_GT(Ink(*b, 110, 0, 150, 20), 0);

    // Measuring gives the shortened width too.
    TRect calc = Rect(0, 0, 150, 20);
    c->DrawText(path, calc, DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_NOPREFIX | DT_CALCRECT);
    EXPECT_LE(calc.Width(), 150);
}

TEST(Painting, DrawTextEndEllipsisAndWithoutEllipsisOverflows)
{
    const std::string text = "This setup assistant will attempt to locate the correct folder";
    auto b = MakeBitmap(400, 20);
    TCanvas* c = b->Canvas();
    c->Brush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, 400, 20));
    c->Brush()->SetStyle(bsClear);
    TRect r = Rect(0, 0, 100, 20);
    c->DrawText(text, r, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOCLIP);
    EXPECT_EQ(Ink(*b, 100, 0, 400, 20), 0);
    c->Brush()->SetStyle(bsSolid);
    c->FillRect(Rect(0, 0, 400, 20));
    c->Brush()->SetStyle(bsClear);
    TRect r2 = Rect(0, 0, 100, 20);
    c->DrawText(text, r2, DT_SINGLELINE | DT_NOCLIP);
    EXPECT_GT(Ink(*b, 100, 0, 400, 20), 0) << "without an ellipsis flag the text runs on";
}

TEST(Painting, TextRectClipsToItsRectangle)
{
    auto b = MakeBitmap(200, 20);
    TCanvas* c = b->Canvas();
    c->Brush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, 200, 20));
    c->Brush()->SetColor(clYellow);
    c->TextRect(Rect(10, 0, 40, 20), 10, 2, "A long text that does not fit");
    EXPECT_EQ(c->Pixels(10, 0), clYellow);
    EXPECT_EQ(Ink(*b, 40, 0, 200, 20), 0);
    EXPECT_EQ(Ink(*b, 0, 0, 10, 20), 0);
}

TEST(Painting, CopyRectStretchesTheSourceRectangle)
{
    auto src = MakeBitmap(2, 2);
    src->Canvas()->SetPixels(0, 0, clRed);
    src->Canvas()->SetPixels(1, 0, clLime);
    src->Canvas()->SetPixels(0, 1, clBlue);
    src->Canvas()->SetPixels(1, 1, clYellow);
    auto dst = MakeBitmap(4, 4);
    dst->Canvas()->CopyRect(Rect(0, 0, 4, 4), *src->Canvas(), Rect(0, 0, 2, 2));
    EXPECT_EQ(dst->Canvas()->Pixels(0, 0), clRed);
    EXPECT_EQ(dst->Canvas()->Pixels(3, 0), clLime);
    EXPECT_EQ(dst->Canvas()->Pixels(1, 3), clBlue);
    EXPECT_EQ(dst->Canvas()->Pixels(3, 3), clYellow);
}

TEST(Painting, DrawAndStretchDrawPlaceTheGraphic)
{
    auto src = MakeBitmap(7, 5);
    PaintPattern(*src, PatternAt);
    auto dst = MakeBitmap(30, 30);
    dst->Canvas()->Brush()->SetColor(clGray);
    dst->Canvas()->FillRect(Rect(0, 0, 30, 30));
    dst->Canvas()->Draw(3, 4, src.get());
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(dst->Canvas()->Pixels(3 + x, 4 + y), PatternAt(x, y));
    EXPECT_EQ(dst->Canvas()->Pixels(2, 4), clGray);
    EXPECT_EQ(dst->Canvas()->Pixels(10, 4), clGray);

    dst->Canvas()->StretchDraw(Rect(0, 10, 14, 20), src.get());
    EXPECT_EQ(dst->Canvas()->Pixels(0, 10), PatternAt(0, 0));
    EXPECT_EQ(dst->Canvas()->Pixels(13, 19), PatternAt(6, 4));
}

TEST(Painting, TransparentBitmapSkipsItsTransparentColour)
{
    auto src = MakeBitmap(4, 4);
    src->Canvas()->Brush()->SetColor(clFuchsia);
    src->Canvas()->FillRect(Rect(0, 0, 4, 4));
    src->Canvas()->SetPixels(1, 1, clBlue);
    src->SetTransparent(true);
    EXPECT_EQ(src->TransparentColor(), clFuchsia) << "automatic: the bottom-left pixel";
    auto dst = MakeBitmap(4, 4);
    dst->Canvas()->Brush()->SetColor(clLime);
    dst->Canvas()->FillRect(Rect(0, 0, 4, 4));
    dst->Canvas()->Draw(0, 0, src.get());
    EXPECT_EQ(dst->Canvas()->Pixels(1, 1), clBlue);
    EXPECT_EQ(dst->Canvas()->Pixels(0, 0), clLime);
    EXPECT_EQ(dst->Canvas()->Pixels(3, 3), clLime);

    src->SetTransparentColor(clBlue);
    EXPECT_EQ(src->TransparentMode(), tmFixed);
    dst->Canvas()->Draw(0, 0, src.get());
    EXPECT_EQ(dst->Canvas()->Pixels(0, 0), clFuchsia);
}

TEST(Painting, ClipRectOfABitmapCanvasIsTheBitmap)
{
    auto b = MakeBitmap(33, 17);
    EXPECT_EQ(b->Canvas()->ClipRect(), Rect(0, 0, 33, 17));
}

TEST(Painting, CanvasWithoutADeviceContextRefusesToDraw)
{
    TCanvas c;
    EXPECT_THROW(c.FillRect(Rect(0, 0, 1, 1)), rtl::EInvalidOperation);
}

TEST(Painting, ForeignDCKeepsItsOwnObjectsAfterDetach)
{
    OwnedDC dc(CreateCompatibleDC(nullptr));
    HGDIOBJ font = GetCurrentObject(dc.Get(), OBJ_FONT);
    HGDIOBJ brush = GetCurrentObject(dc.Get(), OBJ_BRUSH);
    {
        TCanvas c;
        c.SetHandle(dc.Get());
        c.Font()->SetHeight(-30);
        c.TextWidth("x");
        c.Brush()->SetColor(clRed);
        c.FillRect(Rect(0, 0, 1, 1));
        EXPECT_NE(GetCurrentObject(dc.Get(), OBJ_FONT), font);
        c.SetHandle(nullptr);
    }
    // Our font and brush are gone from the DC, so deleting them was safe.
    EXPECT_NE(GetCurrentObject(dc.Get(), OBJ_FONT), nullptr);
    EXPECT_EQ(GetObjectType(GetCurrentObject(dc.Get(), OBJ_BRUSH)), static_cast<DWORD>(OBJ_BRUSH));
    (void)brush;
}

TEST(CanvasLock, WorkerAndMainThreadDrawInTurn)
{
    auto b = MakeBitmap(100, 2);
    TCanvas* c = b->Canvas();
    c->Handle();
    std::atomic<bool> workerHolds{false};
    std::atomic<bool> release{false};
    std::thread worker([&] {
        c->Lock();
        workerHolds = true;
        while (!release)
            std::this_thread::yield();
        c->Brush()->SetColor(clRed);
        c->FillRect(Rect(0, 0, 100, 1));
        c->Unlock();
    });
    while (!workerHolds)
        std::this_thread::yield();
    EXPECT_FALSE(c->TryLock()) << "the worker holds the canvas";
    release = true;
    c->Lock();
    c->Brush()->SetColor(clBlue);
    c->FillRect(Rect(0, 1, 100, 2));
    c->Unlock();
    worker.join();
    EXPECT_EQ(c->Pixels(50, 0), clRed);
    EXPECT_EQ(c->Pixels(50, 1), clBlue);
    EXPECT_TRUE(c->TryLock());
    EXPECT_EQ(c->LockCount(), 1);
    c->Unlock();
}

// --- bitmaps and pixel formats ---

TEST(Bitmaps, NewBitmapIsEmptyDeviceBitmap)
{
    TBitmap b;
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.PixelFormat(), pfDevice);
    EXPECT_EQ(b.HandleType(), bmDDB);
    EXPECT_THROW(b.ScanLine(0), EInvalidGraphicOperation);
}

TEST(Bitmaps, ResizeKeepsTopLeftContentAndFillsWhite)
{
    auto b = MakeBitmap(7, 5);
    PaintPattern(*b, PatternAt);
    b->SetSize(10, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(b->Canvas()->Pixels(x, y), x < 7 && y < 5 ? PatternAt(x, y) : clWhite) << x << "," << y;
    b->SetWidth(3);
    EXPECT_EQ(b->Width(), 3);
    EXPECT_EQ(b->Canvas()->Pixels(2, 4), PatternAt(2, 4));
    EXPECT_THROW(b->SetSize(-1, 3), EInvalidGraphic);
}

TEST(Bitmaps, ScanLineRowsCountFromTheTop)
{
    auto b = MakeBitmap(4, 3);
    auto* row0 = static_cast<std::uint8_t*>(b->ScanLine(0));
    row0[0] = 255;  // blue of pixel (0, 0)
    row0[1] = 0;
    row0[2] = 0;
    EXPECT_EQ(b->Canvas()->Pixels(0, 0), clBlue);
    b->Canvas()->SetPixels(3, 2, clRed);
    auto* row2 = static_cast<std::uint8_t*>(b->ScanLine(2));
    EXPECT_EQ(row2[9], 0);
    EXPECT_EQ(row2[11], 255);
    EXPECT_EQ(b->RowLength(), 12);
    EXPECT_THROW(b->ScanLine(3), EInvalidGraphicOperation);
    EXPECT_THROW(b->ScanLine(-1), EInvalidGraphicOperation);
}

TEST(Bitmaps, EachPixelFormatStoresRedAsItsOwnBits)
{
    struct Case {
        TPixelFormat Format;
        int RowBytes;  // for width 5
        std::vector<std::uint8_t> FirstBytes;
    };
    const Case cases[] = {
        {pf1bit, 4, {0x00}},        // red is nearer black than white
        {pf4bit, 4, {0x99, 0x99}},  // VGA index 9 is pure red
        {pf8bit, 8, {180, 180}},    // cube index r*36: 5*36
        {pf15bit, 12, {0x00, 0x7C}}, {pf16bit, 12, {0x00, 0xF8}},
        {pf24bit, 16, {0, 0, 255}},  {pf32bit, 20, {0, 0, 255}},
    };
    for (const auto& k : cases) {
        auto b = MakeBitmap(5, 2, k.Format);
        ASSERT_EQ(b->PixelFormat(), k.Format);
        ASSERT_EQ(b->HandleType(), bmDIB);
        b->Canvas()->Brush()->SetColor(clRed);
        b->Canvas()->FillRect(Rect(0, 0, 5, 2));
        EXPECT_EQ(b->RowLength(), k.RowBytes) << k.Format;
        auto* row = static_cast<std::uint8_t*>(b->ScanLine(1));
        for (std::size_t i = 0; i < k.FirstBytes.size(); ++i)
            EXPECT_EQ(row[i], k.FirstBytes[i]) << "format " << k.Format << " byte " << i;
    }
}

TEST(Bitmaps, ConversionsKeepColoursThePaletteCanHold)
{
    for (TPixelFormat pf : {pf4bit, pf8bit, pf15bit, pf16bit, pf32bit, pf24bit}) {
        auto b = MakeBitmap(7, 5);
        PaintPattern(*b, PatternAt);
        b->SetPixelFormat(pf);
        b->SetPixelFormat(pf24bit);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(b->Canvas()->Pixels(x, y), PatternAt(x, y))
                    << "via format " << pf << " at " << x << "," << y;
    }
    auto mono = MakeBitmap(7, 5);
    PaintPattern(*mono, BilevelAt);
    mono->SetMonochrome(true);
    EXPECT_TRUE(mono->Monochrome());
    EXPECT_EQ(mono->PixelFormat(), pf1bit);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(mono->Canvas()->Pixels(x, y), BilevelAt(x, y));
}

TEST(Bitmaps, PaletteEntriesRoundTripAndIndexesSurviveResize)
{
    auto b = MakeBitmap(3, 1, pf8bit);
    std::vector<PALETTEENTRY> pal(256);
    for (int i = 0; i < 256; ++i)
        pal[i] = PALETTEENTRY{static_cast<BYTE>(i), 0, static_cast<BYTE>(255 - i), 0};
    // Two entries of the same colour: a blit by colour would merge them.
    pal[7] = pal[8];
    b->SetPaletteEntries(pal);
    auto got = b->PaletteEntries();
    ASSERT_EQ(got.size(), 256u);
    EXPECT_EQ(got[200].peRed, 200);
    EXPECT_EQ(got[200].peBlue, 55);
    auto* row = static_cast<std::uint8_t*>(b->ScanLine(0));
    row[0] = 7;
    row[1] = 8;
    row[2] = 200;
    EXPECT_EQ(b->Canvas()->Pixels(2, 0), static_cast<TColor>(RGB(200, 0, 55)));
    b->SetSize(5, 2);
    row = static_cast<std::uint8_t*>(b->ScanLine(0));
    EXPECT_EQ(row[0], 7);
    EXPECT_EQ(row[1], 8);
    EXPECT_EQ(row[2], 200);
    EXPECT_THROW(b->SetPaletteEntries(std::vector<PALETTEENTRY>(257)), EInvalidGraphicOperation);
    auto rgb = MakeBitmap(1, 1);
    EXPECT_TRUE(rgb->PaletteEntries().empty());
    EXPECT_THROW(rgb->SetPaletteEntries(pal), EInvalidGraphicOperation);
}

TEST(Bitmaps, SubByteResizeKeepsPixelsLeftOfTheOldEdge)
{
    auto b = MakeBitmap(3, 1, pf1bit);
    b->SetMonochrome(true);
    auto* row = static_cast<std::uint8_t*>(b->ScanLine(0));
    row[0] = 0xA0;  // 1 0 1
    b->SetWidth(9);
    row = static_cast<std::uint8_t*>(b->ScanLine(0));
    EXPECT_EQ(row[0] & 0xE0, 0xA0);
    // The new area is white (bit set).
    EXPECT_EQ(row[0] & 0x1F, 0x1F);
    EXPECT_EQ(row[1] & 0x80, 0x80);
}

TEST(Bitmaps, HandleTypeSwitchKeepsPixels)
{
    auto b = MakeBitmap(7, 5);
    PaintPattern(*b, PatternAt);
    b->SetHandleType(bmDDB);
    EXPECT_EQ(b->PixelFormat(), pfDevice);
    EXPECT_EQ(b->Canvas()->Pixels(3, 2), PatternAt(3, 2));
    b->ScanLine(0);  // turns it back into a DIB
    EXPECT_EQ(b->HandleType(), bmDIB);
    EXPECT_EQ(b->Canvas()->Pixels(6, 4), PatternAt(6, 4));
}

TEST(Bitmaps, AssignMakesAnIndependentCopy)
{
    auto a = MakeBitmap(7, 5);
    PaintPattern(*a, PatternAt);
    TBitmap b;
    b.Assign(a.get());
    a->Canvas()->SetPixels(0, 0, clWhite);
    EXPECT_EQ(b.Canvas()->Pixels(0, 0), PatternAt(0, 0));
    EXPECT_EQ(b.PixelFormat(), pf24bit);
    EXPECT_EQ(b.Width(), 7);
}

TEST(Bitmaps, HandleAndSetHandleHandOverOwnership)
{
    auto a = MakeBitmap(7, 5);
    PaintPattern(*a, PatternAt);
    HBITMAP h = a->ReleaseHandle();
    EXPECT_TRUE(a->Empty());
    TBitmap b;
    b.SetHandle(h);
    EXPECT_EQ(b.Width(), 7);
    EXPECT_EQ(b.PixelFormat(), pf24bit);
    EXPECT_EQ(b.Canvas()->Pixels(4, 3), PatternAt(4, 3));
}

// --- BMP files ---

TEST(BmpRead, DecodesImageMagickFilesOfEveryKind)
{
    struct Case {
        const char* File;
        TPixelFormat Format;
        TColor (*At)(int, int);
    };
    const Case cases[] = {
        {"bw1.bmp", pf1bit, BilevelAt},        {"pat4.bmp", pf4bit, PatternAt},
        {"pat8.bmp", pf8bit, Pattern35At},     {"pat8rle.bmp", pf8bit, Pattern35At},
        {"pat565.bmp", pf16bit, PatternAt},    {"pat24.bmp", pf24bit, PatternAt},
        {"pat24core.bmp", pf24bit, PatternAt}, {"pat32.bmp", pf32bit, PatternAt},
    };
    for (const auto& k : cases) {
        TBitmap b;
        ASSERT_NO_THROW(b.LoadFromFile(DataFile(k.File))) << k.File;
        EXPECT_EQ(b.Width(), 7) << k.File;
        EXPECT_EQ(b.Height(), 5) << k.File;
        EXPECT_EQ(b.PixelFormat(), k.Format) << k.File;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(b.Canvas()->Pixels(x, y), k.At(x, y)) << k.File << " at " << x << "," << y;
    }
}

TEST(BmpRead, RejectedFilesLeaveTheBitmapAsItWas)
{
    // The portable reader's tests hold the reasons; here a refused load must not touch the bitmap.
    for (const auto& bad : bmptest::BadBmpFiles())
        ExpectRejected(bad.File, bad.Why.c_str());
}

TEST(BmpWrite, HeaderFieldsDescribeThePixels)
{
    struct Case {
        TPixelFormat Format;
        int Bits;
        std::uint32_t Compression;
        std::uint32_t Colors;
    };
    const Case cases[] = {{pf1bit, 1, BI_RGB, 2},   {pf4bit, 4, BI_RGB, 16},        {pf8bit, 8, BI_RGB, 256},
                          {pf15bit, 16, BI_RGB, 0}, {pf16bit, 16, BI_BITFIELDS, 0}, {pf24bit, 24, BI_RGB, 0},
                          {pf32bit, 32, BI_RGB, 0}};
    for (const auto& k : cases) {
        auto b = MakeBitmap(7, 5, k.Format);
        auto f = Saved(*b);
        ASSERT_GE(f.size(), 54u);
        const std::uint32_t row = (7u * k.Bits + 31) / 32 * 4;
        const std::uint32_t extra = k.Compression == BI_BITFIELDS ? 12 : k.Colors * 4;
        EXPECT_EQ(f[0], 'B');
        EXPECT_EQ(f[1], 'M');
        EXPECT_EQ(Le32(&f[2]), f.size()) << k.Format;
        EXPECT_EQ(Le32(&f[10]), 54 + extra) << k.Format;
        EXPECT_EQ(Le32(&f[14]), 40u);
        EXPECT_EQ(Le32(&f[18]), 7u);
        EXPECT_EQ(Le32(&f[22]), 5u) << "bottom-up rows";
        EXPECT_EQ(Le16(&f[26]), 1);
        EXPECT_EQ(Le16(&f[28]), k.Bits);
        EXPECT_EQ(Le32(&f[30]), k.Compression);
        EXPECT_EQ(Le32(&f[34]), row * 5);
        EXPECT_EQ(Le32(&f[46]), k.Colors);
        EXPECT_EQ(f.size(), 54 + extra + row * 5);
        if (k.Format == pf16bit) {
            EXPECT_EQ(Le32(&f[54]), 0xF800u);
            EXPECT_EQ(Le32(&f[58]), 0x07E0u);
            EXPECT_EQ(Le32(&f[62]), 0x001Fu);
        }
    }
}

TEST(BmpWrite, RoundTripKeepsPixelsAndFormatAndWritesFilesForImageMagick)
{
    for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
        auto b = MakeBitmap(7, 5);
        PaintPattern(*b, pf == pf1bit ? BilevelAt : PatternAt);
        b->SetPixelFormat(pf);
        rtl::TMemoryStream s;
        b->SaveToStream(s);
        // The bottom row comes first in the file.
        if (pf == pf24bit) {
            const std::uint8_t* first = s.Memory() + 54;
            EXPECT_EQ(RGB(first[2], first[1], first[0]), static_cast<COLORREF>(PatternAt(0, 4)));
        }
        s.SetPosition(0);
        TBitmap back;
        back.LoadFromStream(s);
        EXPECT_EQ(back.PixelFormat(), pf);
        EXPECT_EQ(s.Position(), s.Size()) << "the reader consumes exactly the file";
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(back.Canvas()->Pixels(x, y), (pf == pf1bit ? BilevelAt : PatternAt)(x, y))
                    << "format " << pf << " at " << x << "," << y;
        // Checked after this test by ImageMagick (check_saved_bmps.py).
        b->SaveToFile("graphics_out_pf" + std::to_string(static_cast<int>(pf)) + ".bmp");
    }
}

TEST(BmpWrite, DeviceBitmapSavesAsTwentyFourBits)
{
    auto b = MakeBitmap(7, 5);
    PaintPattern(*b, PatternAt);
    b->SetHandleType(bmDDB);
    auto f = Saved(*b);
    EXPECT_EQ(Le16(&f[28]), 24);
    TBitmap back;
    rtl::TReadOnlyMemoryStream s(f.data(), static_cast<std::int64_t>(f.size()));
    back.LoadFromStream(s);
    EXPECT_EQ(back.Canvas()->Pixels(6, 4), PatternAt(6, 4));
}

// --- pictures ---

namespace {

// A graphic class of a library outside this layer, registering itself by extension.
class TTestGraphic : public TGraphic {
    RTL_DECLARE_CLASS(TTestGraphic, TGraphic)

public:
    bool Empty() const override { return data_.empty(); }
    std::int32_t Width() const override { return static_cast<std::int32_t>(data_.size()); }
    std::int32_t Height() const override { return 1; }
    void SetWidth(std::int32_t) override {}
    void SetHeight(std::int32_t) override {}
    void Draw(TCanvas& canvas, const TRect& rect) override
    {
        canvas.Brush()->SetColor(clRed);
        canvas.FillRect(rect);
    }
    void LoadFromStream(rtl::TStream& stream) override
    {
        std::uint8_t n = 0;
        stream.ReadBuffer(&n, 1);
        data_.resize(n);
        stream.ReadBuffer(data_.data(), n);
    }
    void SaveToStream(rtl::TStream& stream) override
    {
        auto n = static_cast<std::uint8_t>(data_.size());
        stream.WriteBuffer(&n, 1);
        stream.WriteBuffer(data_.data(), n);
    }
    void Assign(rtl::TPersistent* source) override
    {
        if (auto* g = dynamic_cast<TTestGraphic*>(source))
            data_ = g->data_;
        else
            TGraphic::Assign(source);
    }
    std::string data_;
};

void TTestGraphic::Publish(Table&) {}

}  // namespace

TEST(Pictures, StoredDataIsClassNameLengthAndBmpFile)
{
    auto b = MakeBitmap(7, 5);
    PaintPattern(*b, PatternAt);
    TPicture pic;
    pic.SetGraphic(b.get());
    rtl::TMemoryStream s;
    pic.WriteData(s);
    const auto& bytes = s.Bytes();
    ASSERT_GT(bytes.size(), 8u + 4 + 54);
    EXPECT_EQ(bytes[0], 7);
    EXPECT_EQ(std::string(bytes.begin() + 1, bytes.begin() + 8), "TBitmap");
    const std::uint32_t length = Le32(&bytes[8]);
    EXPECT_EQ(length, bytes.size() - 12);
    EXPECT_EQ(bytes[12], 'B');
    EXPECT_EQ(bytes[13], 'M');
    EXPECT_EQ(Le32(&bytes[14]), length) << "the BMP's own size field agrees";

    s.SetPosition(0);
    TPicture back;
    back.ReadData(s);
    ASSERT_NE(dynamic_cast<TBitmap*>(back.Graphic()), nullptr);
    EXPECT_EQ(s.Position(), s.Size());
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(back.Bitmap()->Canvas()->Pixels(x, y), PatternAt(x, y));
}

TEST(Pictures, StoredDataWithLyingLengthOrUnknownClassIsRejected)
{
    auto b = MakeBitmap(2, 2);
    TPicture pic;
    pic.SetGraphic(b.get());
    rtl::TMemoryStream s;
    pic.WriteData(s);
    auto bytes = s.Bytes();

    auto longer = bytes;
    longer[8] += 10;  // says 10 bytes more than there are
    {
        rtl::TReadOnlyMemoryStream in(longer.data(), static_cast<std::int64_t>(longer.size()));
        TPicture p;
        EXPECT_THROW(p.ReadData(in), EInvalidGraphic);
    }
    auto unknown = bytes;
    unknown[1] = 'X';
    {
        rtl::TReadOnlyMemoryStream in(unknown.data(), static_cast<std::int64_t>(unknown.size()));
        TPicture p;
        EXPECT_THROW(p.ReadData(in), EInvalidGraphic);
    }
    std::vector<std::uint8_t> cut = {9, 'T', 'B'};
    {
        rtl::TReadOnlyMemoryStream in(cut.data(), 3);
        TPicture p;
        EXPECT_THROW(p.ReadData(in), rtl::EReadError);
    }
    std::vector<std::uint8_t> zero = {7, 'T', 'B', 'i', 't', 'm', 'a', 'p', 0, 0, 0, 0};
    {
        rtl::TReadOnlyMemoryStream in(zero.data(), static_cast<std::int64_t>(zero.size()));
        TPicture p;
        p.ReadData(in);
        ASSERT_NE(p.Graphic(), nullptr);
        EXPECT_TRUE(p.Graphic()->Empty()) << "a stored length of 0 is an empty bitmap";
    }
}

TEST(Pictures, RegisteredClassLoadsByExtensionAndByStoredName)
{
    TPicture::RegisterFileFormat<TTestGraphic>("tst", "Test graphic");
    {
        rtl::TFileStream f("picture_test.tst", rtl::fmCreate);
        const std::uint8_t data[] = {3, 'a', 'b', 'c'};
        f.WriteBuffer(data, 4);
    }
    TPicture pic;
    int changes = 0;
    pic.OnChange = [&](rtl::TObject*) { ++changes; };
    pic.LoadFromFile("picture_test.tst");
    auto* g = dynamic_cast<TTestGraphic*>(pic.Graphic());
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->data_, "abc");
    EXPECT_GE(changes, 1);

    rtl::TMemoryStream s;
    pic.WriteData(s);
    s.SetPosition(0);
    TPicture back;
    back.ReadData(s);
    ASSERT_NE(dynamic_cast<TTestGraphic*>(back.Graphic()), nullptr);
    EXPECT_EQ(static_cast<TTestGraphic*>(back.Graphic())->data_, "abc");
    EXPECT_NE(TPicture::GraphicFilter(TGraphic::StaticClassInfo()).find("*.TST"), std::string::npos);

    // Asking for a bitmap replaces the foreign graphic.
    EXPECT_NE(back.Bitmap(), nullptr);
    EXPECT_EQ(dynamic_cast<TTestGraphic*>(back.Graphic()), nullptr);

    TPicture::UnregisterGraphicClass(TTestGraphic::StaticClassInfo());
    TPicture again;
    EXPECT_THROW(again.LoadFromFile("picture_test.tst"), EInvalidGraphic);
    s.SetPosition(0);
    EXPECT_THROW(again.ReadData(s), EInvalidGraphic);
    DeleteFileA("picture_test.tst");
}

TEST(Pictures, BitmapsStayCopyableWhenAnotherClassTakesTheirExtension)
{
    TPicture::RegisterFileFormat<TTestGraphic>("bmp", "Test graphic");
    auto b = MakeBitmap(3, 3);
    TPicture copy;
    EXPECT_NO_THROW(copy.SetGraphic(b.get()));
    EXPECT_NE(dynamic_cast<TBitmap*>(copy.Graphic()), nullptr);
    rtl::TMemoryStream stored;
    copy.WriteData(stored);
    stored.SetPosition(0);
    TPicture back;
    EXPECT_NO_THROW(back.ReadData(stored)) << "a stored TBitmap reads by its class name";
    EXPECT_EQ(back.Width(), 3);
    EXPECT_NE(TPicture::GraphicFilter(TGraphic::StaticClassInfo()).find("Test graphic"), std::string::npos);
    TPicture::UnregisterGraphicClass(TTestGraphic::StaticClassInfo());
    TPicture::RegisterFileFormat<TBitmap>("bmp", "Bitmaps");
}

TEST(Pictures, AssignAndSetGraphicCopy)
{
    auto b = MakeBitmap(3, 3);
    TPicture a;
    a.SetGraphic(b.get());
    EXPECT_NE(a.Graphic(), b.get()) << "the picture holds its own copy";
    TPicture c;
    c.Assign(&a);
    EXPECT_EQ(c.Width(), 3);
    c.Assign(nullptr);
    EXPECT_EQ(c.Graphic(), nullptr);
    EXPECT_EQ(c.Width(), 0);
}

// --- pictures inside form descriptions ---

namespace {

// A component with a published picture, standing in for an image control.
class TPictureHolder : public rtl::TComponent {
    RTL_DECLARE_CLASS(TPictureHolder, rtl::TComponent)

public:
    explicit TPictureHolder(rtl::TComponent* owner) : TComponent(owner) {}
    TPicture* Picture() { return &picture_; }
    void SetPicture(TPicture* value) { picture_.Assign(value); }

private:
    TPicture picture_;
};

void TPictureHolder::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Picture));
    t.Creatable();
}

std::unique_ptr<TPictureHolder> ReadHolder(rtl::TStream& binary)
{
    binary.SetPosition(0);
    auto* root = rtl::ReadComponentRes(binary, nullptr);
    auto* holder = dynamic_cast<TPictureHolder*>(root);
    EXPECT_NE(holder, nullptr);
    if (!holder)
        delete root;
    return std::unique_ptr<TPictureHolder>(holder);
}

}  // namespace

TEST(PicturesInForms, TextFormPictureDirectiveBuildsTheBitmap)
{
    rtl::RegisterClass(TPictureHolder::StaticClassInfo());
    const std::string text =
        "object Image1: TPictureHolder\n"
        "  Picture.Data = {@picture: TBitmap " +
        DataFile("pat24.bmp") +
        "}\n"
        "end\n";
    rtl::TStringStream in(text);
    rtl::TMemoryStream binary;
    rtl::ObjectTextToBinary(in, binary);
    auto holder = ReadHolder(binary);
    ASSERT_NE(holder, nullptr);
    auto* bitmap = dynamic_cast<TBitmap*>(holder->Picture()->Graphic());
    ASSERT_NE(bitmap, nullptr);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(bitmap->Canvas()->Pixels(x, y), PatternAt(x, y));

    // Written back and read again, the picture survives, in the same stored layout.
    rtl::TMemoryStream again;
    rtl::WriteComponentRes(again, holder.get());
    auto copy = ReadHolder(again);
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(dynamic_cast<TBitmap*>(copy->Picture()->Graphic()), nullptr);
    EXPECT_EQ(copy->Picture()->Bitmap()->Canvas()->Pixels(6, 4), PatternAt(6, 4));
    again.SetPosition(0);
    rtl::TMemoryStream textOut;
    rtl::ObjectBinaryToText(again, textOut);
    const std::string written(textOut.Bytes().begin(), textOut.Bytes().end());
    EXPECT_NE(written.find("Picture.Data"), std::string::npos);
    EXPECT_NE(written.find("07544269746D6170"), std::string::npos) << "class name TBitmap as a short string";
}

TEST(PicturesInForms, EmptyPictureIsNotStored)
{
    rtl::RegisterClass(TPictureHolder::StaticClassInfo());
    TPictureHolder holder(nullptr);
    holder.SetName("Image2");
    rtl::TMemoryStream binary;
    rtl::WriteComponentRes(binary, &holder);
    binary.SetPosition(0);
    rtl::TMemoryStream textOut;
    rtl::ObjectBinaryToText(binary, textOut);
    const std::string written(textOut.Bytes().begin(), textOut.Bytes().end());
    EXPECT_EQ(written.find("Picture.Data"), std::string::npos);
}

TEST(BmpRead, BitmapResourcesLoadByNameAndId)
{
    HINSTANCE self = GetModuleHandleA(nullptr);
    TBitmap byName;
    byName.LoadFromResourceName(self, "PAT8");
    EXPECT_EQ(byName.PixelFormat(), pf8bit);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(byName.Canvas()->Pixels(x, y), Pattern35At(x, y));
    TBitmap byId;
    byId.LoadFromResourceID(self, 42);
    EXPECT_EQ(byId.PixelFormat(), pf1bit);
    EXPECT_EQ(byId.Canvas()->Pixels(1, 1), BilevelAt(1, 1));
    EXPECT_THROW(byName.LoadFromResourceName(self, "NO_SUCH_BITMAP"), EInvalidGraphic);
    EXPECT_EQ(byName.Width(), 7) << "a failed load keeps the old image";
}

TEST(Fonts, AssigningAnIdenticalFontKeepsTheHandle)
{
    TFont a, b;
    a.SetName("Tahoma");
    b.Assign(&a);
    HFONT first = b.Handle();
    int changes = 0;
    b.OnChange = [&](rtl::TObject*) { ++changes; };
    a.SetColor(clRed);
    b.Assign(&a);
    EXPECT_EQ(b.Handle(), first);
    EXPECT_EQ(b.Color(), clRed);
    EXPECT_EQ(changes, 1) << "the colour change is still reported";
    a.SetStyle({fsItalic});
    b.Assign(&a);
    EXPECT_TRUE(b.Style().Contains(fsItalic));
    EXPECT_EQ(changes, 2);
}

TEST(Painting, CanvasFontAssignedBeforeEachPaintStillDrawsInItsColour)
{
    auto b = MakeBitmap(40, 20);
    TCanvas* c = b->Canvas();
    c->Brush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, 40, 20));
    c->Brush()->SetStyle(bsClear);
    TFont controlFont;
    controlFont.SetName("Tahoma");
    controlFont.SetHeight(-16);
    controlFont.SetColor(clBlack);
    c->Font()->Assign(&controlFont);
    c->TextOut(0, 0, "I");
    controlFont.SetColor(clRed);
    c->Font()->Assign(&controlFont);
    c->TextOut(20, 0, "I");
    bool red = false, black = false;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) {
            const TColor p = c->Pixels(x, y);
            red |= x >= 20 && p == clRed;
            black |= x < 20 && p == clBlack;
        }
    EXPECT_TRUE(black);
    EXPECT_TRUE(red) << "a colour-only change must reach the DC";
}

TEST(Painting, PenModeXorDrawnTwiceRestoresThePixels)
{
    auto b = MakeBitmap(10, 3);
    TCanvas* c = b->Canvas();
    c->Brush()->SetColor(clTeal);
    c->FillRect(Rect(0, 0, 10, 3));
    c->Pen()->SetColor(clWhite);
    c->Pen()->SetMode(pmXor);
    c->MoveTo(0, 1);
    c->LineTo(10, 1);
    EXPECT_EQ(c->Pixels(5, 1), static_cast<TColor>(clTeal ^ 0xFFFFFF));
    c->MoveTo(0, 1);
    c->LineTo(10, 1);
    EXPECT_EQ(c->Pixels(5, 1), clTeal);
    c->Pen()->SetMode(pmNot);
    c->MoveTo(0, 2);
    c->LineTo(10, 2);
    EXPECT_EQ(c->Pixels(5, 2), static_cast<TColor>(clTeal ^ 0xFFFFFF));
}

TEST(Painting, BrushPatternBitmapTilesAndHatchUsesTheColour)
{
    auto pattern = MakeBitmap(8, 8);
    pattern->Canvas()->Brush()->SetColor(clRed);
    pattern->Canvas()->FillRect(Rect(0, 0, 8, 8));
    pattern->Canvas()->SetPixels(0, 0, clBlue);
    auto b = MakeBitmap(16, 16);
    TCanvas* c = b->Canvas();
    c->Brush()->SetBitmap(pattern.get());
    c->FillRect(Rect(0, 0, 16, 16));
    EXPECT_EQ(c->Pixels(0, 0), clBlue);
    EXPECT_EQ(c->Pixels(8, 8), clBlue) << "the pattern repeats every 8 pixels";
    EXPECT_EQ(c->Pixels(3, 5), clRed);

    c->Brush()->SetBitmap(nullptr);
    c->Brush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, 16, 16));
    c->Brush()->SetColor(clBlack);
    c->Brush()->SetStyle(bsHorizontal);
    c->FillRect(Rect(0, 0, 16, 16));
    int black = 0;
    for (int y = 0; y < 16; ++y)
        black += c->Pixels(4, y) == clBlack;
    EXPECT_GT(black, 0);
    EXPECT_LT(black, 16) << "hatch lines leave gaps";
    EXPECT_EQ(Ink(*b, 0, 0, 16, 16) % 16, 0) << "horizontal hatch lines run the full width";
}
