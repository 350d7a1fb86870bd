// Tests of drawing on real windows and bitmaps under Windows: what reaches the screen is read back
// from the screen itself and must equal the picture the portable renderer made; DIBs in global
// blocks and DrawDib imports.
#include "imaging/core/iebitmap.h"

#include "imaging/core/vodiradproc.h"
#include "imaging/core/vodiradproc_win32.h"
#include "platform/rtl/Win32.h"
#include "platform/win/Forms.h"
#include "platform/win/Graphics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using namespace imaging;

namespace {

void Pump()
{
    MSG m;
    while (::PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&m);
        ::DispatchMessageA(&m);
    }
}

// The screen's pixels of a rectangle, read through the screen DC: what the display shows.
std::vector<TRGB> Screenshot(int x, int y, int w, int h)
{
    ::GdiFlush();
    HDC screen = ::GetDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP section = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC mem = ::CreateCompatibleDC(screen);
    HGDIOBJ old = ::SelectObject(mem, section);
    ::BitBlt(mem, 0, 0, w, h, screen, x, y, SRCCOPY);
    ::GdiFlush();
    std::vector<TRGB> out;
    const int stride = (w * 3 + 3) / 4 * 4;
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            TRGB p;
            std::memcpy(&p, static_cast<std::uint8_t*>(bits) + r * stride + c * 3, 3);
            out.push_back(p);
        }
    ::SelectObject(mem, old);
    ::DeleteDC(mem);
    ::DeleteObject(section);
    ::ReleaseDC(nullptr, screen);
    return out;
}

void Picture(TIEBitmap& bmp, int w, int h)
{
    bmp.Allocate(w, h, ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            bmp.SetPixel24(x, y, TRGB{std::uint8_t(x * 9), std::uint8_t(y * 13), std::uint8_t((x ^ y) * 17)});
}

// A form whose client area the test draws on through a canvas over its window DC.
class TPaintForm : public win::TForm {
public:
    using win::TForm::TForm;
    ~TPaintForm() override
    {
        if (dc_) {
            canvas_.SetHandle(nullptr);
            ::ReleaseDC(Handle(), dc_);
        }
    }
    win::TCanvas* Canvas()
    {
        if (!dc_) {
            dc_ = ::GetDC(Handle());
            canvas_.SetHandle(dc_);
        }
        return &canvas_;
    }

private:
    win::TCanvas canvas_;
    HDC dc_ = nullptr;
};

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<TPaintForm>(nullptr);
        form->SetBorderStyle(win::bsNone);
        form->SetBounds(20, 20, 300, 200);
        form->Show();
        ::SetWindowPos(form->Handle(), HWND_TOPMOST, 20, 20, 300, 200, SWP_SHOWWINDOW);
        // The window reaches the display asynchronously: wait until a fill shows on the screen.
        Clear();
        const DWORD start = ::GetTickCount();
        POINT origin{0, 0};
        ::ClientToScreen(form->Handle(), &origin);
        while (!(Screenshot(origin.x, origin.y, 1, 1)[0] == kMagenta) && ::GetTickCount() - start < 10000) {
            Pump();
            Clear();
        }
        ASSERT_EQ(Screenshot(origin.x, origin.y, 1, 1)[0], kMagenta)
            << "the test window never reached the screen";
    }
    static constexpr TRGB kMagenta{255, 0, 255};
    void Clear()
    {
        form->Canvas()->Brush()->SetColor(0x00FF00FF);
        form->Canvas()->FillRect(win::TRect{0, 0, 300, 200});
        ::GdiFlush();
    }
    // Compares the screen at the form's client origin with `expect`.
    void ExpectOnScreen(TIEBitmap& expect, int x, int y, const char* what)
    {
        POINT origin{x, y};
        ::ClientToScreen(form->Handle(), &origin);
        const int w = expect.GetWidth(), h = expect.GetHeight();
        // Drawing reaches the display in order: once a marker drawn after it shows, so has it.
        ++marker;
        const TRGB mark{std::uint8_t(marker), std::uint8_t(marker * 7), 3};
        ::SetPixel(form->Canvas()->Handle(), 299, 199, RGB(mark.r, mark.g, mark.b));
        ::GdiFlush();
        POINT corner{299, 199};
        ::ClientToScreen(form->Handle(), &corner);
        const DWORD start = ::GetTickCount();
        while (!(Screenshot(corner.x, corner.y, 1, 1)[0] == mark) && ::GetTickCount() - start < 10000)
            Pump();
        const std::vector<TRGB> shot = Screenshot(origin.x, origin.y, w, h);
        int wrong = 0;
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c)
                wrong += !(shot[std::size_t(r * w + c)] == expect.GetPixelRGB(c, r));
        EXPECT_EQ(wrong, 0) << what;
    }
    std::unique_ptr<TPaintForm> form;
    int marker = 0;
};

TEST_F(ScreenTest, StretchedDrawingsReachTheScreenAsTheRendererMadeThem)
{
    TIEBitmap bmp;
    Picture(bmp, 30, 20);
    struct TCase {
        const char* what;
        TResampleFilter filter;
        double gamma;
        std::int64_t minFileSize;  // bands of one row when tiny
        int w, h;
    };
    const TCase cases[] = {
        {"nearest, one DIB", rfNone, 1, std::int64_t(1) << 30, 60, 40},
        {"nearest with gamma, bands of one row", rfNone, 2.2, 1, 90, 60},
        {"triangle, bands of one row", rfTriangle, 1, 0, 71, 33},
        {"fast linear, one band", rfFastLinear, 0, std::int64_t(1) << 30, 45, 50},
    };
    for (const TCase& c : cases) {
        bmp.MinFileSize = c.minFileSize;
        Clear();
        bmp.StretchDrawToCanvas(form->Canvas(), 5, 7, c.w, c.h, c.filter, c.gamma);
        auto expect = bmp.StretchForCanvas(c.w, c.h, c.filter, c.gamma);
        ASSERT_TRUE(expect);
        ExpectOnScreen(*expect, 5, 7, c.what);
    }
}

TEST_F(ScreenTest, EveryFormatIsDrawnAsItsDisplayCopy)
{
    for (TIEPixelFormat f : {ie1g, ie8p, ie8g, ie16g, ie32f}) {
        TIEBitmap bmp;
        bmp.Allocate(16, 8, f);
        bmp.Fill(f == ie32f ? 0.5 : f == ie16g ? 40000 : 77);
        if (f == ie8p)
            for (int i = 0; i < 256; ++i)
                bmp.SetPaletteColor(i, TRGB{std::uint8_t(i), 10, 200});
        Clear();
        bmp.StretchDrawToCanvas(form->Canvas(), 0, 0, 32, 16, rfNone, 1);
        auto expect = bmp.StretchForCanvas(32, 16, rfNone, 1);
        ASSERT_TRUE(expect);
        ExpectOnScreen(*expect, 0, 0, "format");
    }
}

TEST_F(ScreenTest, ARectangleIsDrawnUnscaledAtItsPlace)
{
    TIEBitmap bmp;
    Picture(bmp, 30, 20);
    TIEBitmap::DrawRectToCanvas(form->Canvas(), 11, 13, 9, 6, 4, 5, &bmp);
    TIEBitmap part;
    part.Allocate(9, 6, ie24RGB);
    bmp.CopyRectTo(&part, 4, 5, 0, 0, 9, 6);
    ExpectOnScreen(part, 11, 13, "rectangle");
}

TEST(DrawRect, OnlyThePartInsideTheImageIsDrawnEachPixelAtItsPlace)
{
    TIEBitmap bmp;
    Picture(bmp, 10, 8);
    struct Case {
        const char* what;
        int srcX, srcY, w, h;
    };
    const Case cases[] = {
        {"inside", 2, 1, 5, 4},         {"left edge cut", -3, 2, 6, 3},   {"top edge cut", 1, -2, 4, 5},
        {"right edge cut", 7, 0, 6, 2}, {"all left of it", -20, 0, 9, 4}, {"all above it", 0, -9, 4, 5},
    };
    for (const Case& c : cases) {
        win::TBitmap target;
        target.SetPixelFormat(win::pf24bit);
        target.SetSize(40, 30);
        target.Canvas()->Brush()->SetColor(0x00FF00FF);
        target.Canvas()->FillRect(win::TRect{0, 0, 40, 30});
        const int X = 15, Y = 12;
        TIEBitmap::DrawRectToCanvas(target.Canvas(), X, Y, c.w, c.h, c.srcX, c.srcY, &bmp);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                // Canvas pixel (x, y) shows source pixel (x - X + srcX, y - Y + srcY) when that lies in
                // both the rectangle and the image.
                const int sx = x - X + c.srcX, sy = y - Y + c.srcY;
                const bool drawn =
                    x >= X && x < X + c.w && y >= Y && y < Y + c.h && sx >= 0 && sx < 10 && sy >= 0 && sy < 8;
                std::uint32_t expect = 0x00FF00FF;
                if (drawn) {
                    const TRGB p = bmp.GetPixel24(sx, sy);
                    expect = std::uint32_t(p.r | p.g << 8 | p.b << 16);
                }
                ASSERT_EQ(target.Canvas()->Pixels(x, y) & 0xFFFFFF, expect)
                    << c.what << " at " << x << "," << y;
            }
    }
}

TEST(GlobalDib, RoundTripsThroughAGlobalBlock)
{
    TIEBitmap bmp;
    Picture(bmp, 7, 5);
    void* dib = BitmapToDIB(&bmp, 0, 0, 0);
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(::GlobalFlags(static_cast<HGLOBAL>(dib)) & GMEM_LOCKCOUNT, 0u);
    TIEBitmap back;
    EXPECT_EQ(GlobalDIBToBitmap(dib, &back), 24);
    EXPECT_EQ(::GlobalFlags(static_cast<HGLOBAL>(dib)) & GMEM_LOCKCOUNT, 0u);  // unlocked again
    ::GlobalFree(static_cast<HGLOBAL>(dib));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(back.GetPixel24(x, y), bmp.GetPixel24(x, y));
}

// The 40-byte header of an uncompressed w x h DIB of the given depth, with `used` table entries.
std::vector<std::uint8_t> InfoHeader(int w, int h, int bits, std::uint32_t used = 0)
{
    std::vector<std::uint8_t> dib(40, 0);
    const std::int32_t header[] = {40, w, h};
    std::memcpy(dib.data(), header, 12);
    dib[12] = 1;
    dib[14] = std::uint8_t(bits);
    std::memcpy(&dib[32], &used, 4);
    return dib;
}

TEST(DrawDibImport, UncompressedDibsDecodeAsOurOwnImport)
{
    struct TCase {
        const char* what;
        TIEPixelFormat format;
    };
    for (const TCase c : {TCase{"24-bit", ie24RGB}, TCase{"1-bit", ie1g}}) {
        TIEBitmap bmp;
        Picture(bmp, 13, 6);
        if (c.format == ie1g)
            bmp.SetPixelFormat(ie1g);
        const std::vector<std::uint8_t> dib = BitmapToPackedDIB(&bmp, 0, 0, 0);
        TIEBitmap ours, system;
        ASSERT_NE(DIBToBitmap(dib.data(), dib.size(), &ours), 0) << c.what;
        ASSERT_NE(DrawDIBToBitmap(dib.data(), dib.size(), &system), 0) << c.what;
        ASSERT_EQ(system.GetPixelFormat(), c.format) << c.what;
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 13; ++x)
                ASSERT_EQ(system.GetPixelRGB(x, y), ours.GetPixelRGB(x, y)) << c.what << " " << x << "," << y;
    }
    // An 8-bit DIB without a table size: 256 entries are read.
    std::vector<std::uint8_t> dib = InfoHeader(1, 1, 8);
    dib.resize(40 + 1024 + 4);
    dib[40 + 4 * 200] = 33;  // blue of entry 200
    dib[40 + 1024] = 200;
    TIEBitmap system;
    ASSERT_EQ(DrawDIBToBitmap(dib.data(), dib.size(), &system), 8);
    EXPECT_EQ(system.GetPixel24(0, 0), (TRGB{33, 0, 0}));
}

TEST(DrawDibImport, TablesBeforeDeepRowsAreSkippedAsOurOwnImportSkipsThem)
{
    // Deep DIBs may carry a table of biClrUsed entries, and the rows follow it. (Bit fields, whose
    // masks come before such a table, are counted by the same reader; Wine's DrawDib draws none.)
    struct TCase {
        const char* what;
        int bits;
        std::uint32_t used;
    };
    const TCase cases[] = {
        {"16-bit, 2 entries", 16, 2}, {"24-bit, 3 entries", 24, 3},     {"32-bit, 1 entry", 32, 1},
        {"24-bit, no table", 24, 0},  {"16-bit, 256 entries", 16, 256},
    };
    const int w = 3, h = 2;
    for (const TCase& c : cases) {
        std::vector<std::uint8_t> dib = InfoHeader(w, h, c.bits, c.used);
        // Table entries that no pixel is: a read of the table as rows shows.
        for (std::uint32_t i = 0; i < c.used * 4; ++i)
            dib.push_back(std::uint8_t(0x11 * (i % 4 + 1)));
        const int rowLen = (w * c.bits + 31) / 32 * 4;
        for (int i = 0; i < rowLen * h; ++i)
            dib.push_back(std::uint8_t(40 + 37 * i));
        TIEBitmap ours, system;
        ASSERT_EQ(DIBToBitmap(dib.data(), dib.size(), &ours), c.bits) << c.what;
        ASSERT_EQ(DrawDIBToBitmap(dib.data(), dib.size(), &system), c.bits) << c.what;
        ASSERT_EQ(system.GetWidth(), w) << c.what;
        // Five and six-bit channels widen to eight bits by either of two roundings.
        const int slack = c.bits == 16 ? 4 : 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const TRGB a = system.GetPixelRGB(x, y), b = ours.GetPixelRGB(x, y);
                EXPECT_LE(std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)}), slack)
                    << c.what << " at " << x << "," << y;
            }
    }
}

TEST(DrawDibImport, RefusedHeadersLeaveTheBitmap)
{
    const std::vector<std::uint8_t> dib = InfoHeader(100, 100, 24);
    TIEBitmap bmp;
    bmp.Allocate(2, 2, ie8g);
    EXPECT_EQ(DrawDIBToBitmap(dib.data(), dib.size(), &bmp), 0);  // rows missing
    EXPECT_EQ(bmp.GetWidth(), 2);
}

}  // namespace
