// The picture adaptors and the component's Windows paths: stored picture data, drawing on a canvas,
// platform bitmaps and image controls, metafiles the tests draw through GDI, and AVI frames of
// files ffmpeg made (uncompressed, MS Video 1, Cinepak) judged against ffmpeg's own decoding.
#include "imaging/io/iegraphic_win32.h"

#include "imaging/io/bmpfilt.h"
#include "tests/imaging/io/bmp_test_util.h"
#include "platform/rtl/Endian.h"
#include "platform/rtl/Files.h"
#include "platform/rtl/Win32.h"
#include "platform/win/ExtCtrls.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace imaging;

namespace {

using Bytes = std::vector<std::uint8_t>;

class Registered : public ::testing::Test {
protected:
    static void SetUpTestSuite() { IERegisterGraphicClasses(); }
    static void TearDownTestSuite() { IEUnregisterGraphicClasses(); }
};

// A 24-bit BMP whose pixel (x, y) is (x * 9, y * 13, 77).
Bytes MakeBmp(int w, int h)
{
    return test::PatternBmp(w, h, [](int x, int y) {
        return TRGB{77, std::uint8_t(y * 13), std::uint8_t(x * 9)};
    });
}

Bytes Stored(const Bytes& file)
{
    Bytes out(4);
    rtl::StoreLE32(out.data(), std::uint32_t(file.size()));
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

rtl::TMemoryStream Stream(const Bytes& bytes)
{
    rtl::TMemoryStream m;
    if (!bytes.empty())
        m.WriteBuffer(bytes.data(), std::int32_t(bytes.size()));
    m.SetPosition(0);
    return m;
}

// ---- stored picture data ----

using StoredData = Registered;

TEST_F(StoredData, ReadsExactlyItsBlockAndLeavesTheStreamAfterIt)
{
    const Bytes file = MakeBmp(5, 4);
    struct Case {
        const char* what;
        Bytes block;  // what the stored length covers
        bool image;
    };
    Bytes padded = file;
    padded.insert(padded.end(), 9, 0xEE);  // the block holds more than the BMP reads
    const Case cases[] = {
        {"exact", file, true}, {"longer than the image", padded, true}, {"empty", {}, false}};
    for (const Case& c : cases) {
        Bytes bytes = Stored(c.block);
        bytes.insert(bytes.end(), {'N', 'E', 'X', 'T'});
        rtl::TMemoryStream m = Stream(bytes);
        TIEBMPImage picture;
        picture.ReadData(m);
        EXPECT_EQ(m.Position(), std::int64_t(4 + c.block.size())) << c.what;
        EXPECT_EQ(picture.Width(), c.image ? 5 : 0) << c.what;
        EXPECT_FALSE(picture.Empty()) << c.what;
    }
    // A length beyond what remains is refused before anything is read.
    Bytes lying = Stored(file);
    rtl::StoreLE32(lying.data(), std::uint32_t(file.size() + 100));
    rtl::TMemoryStream m = Stream(lying);
    TIEBMPImage picture;
    EXPECT_THROW(picture.ReadData(m), rtl::EReadError);
}

TEST_F(StoredData, WriteThenReadGivesThePixelsBack)
{
    rtl::TMemoryStream in = Stream(Stored(MakeBmp(7, 3)));
    TIEBMPImage a;
    a.ReadData(in);
    rtl::TMemoryStream stored;
    a.WriteData(stored);
    EXPECT_EQ(rtl::LoadLE32(stored.Memory()), std::uint32_t(stored.Size() - 4));
    EXPECT_EQ(stored.Memory()[4], 'B');
    stored.SetPosition(0);
    TIEBMPImage b;
    b.ReadData(stored);
    ASSERT_EQ(b.Width(), 7);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(b.Bitmap()->GetPixel24(x, y), (TRGB{77, std::uint8_t(y * 13), std::uint8_t(x * 9)}));
}

TEST_F(StoredData, APictureFindsTheClassByNameAndExtension)
{
    Bytes data = {11};
    const char* name = "TIEBMPImage";
    data.insert(data.end(), name, name + 11);
    const Bytes stored = Stored(MakeBmp(6, 2));
    data.insert(data.end(), stored.begin(), stored.end());
    rtl::TMemoryStream m = Stream(data);
    win::TPicture picture;
    picture.ReadData(m);
    ASSERT_NE(dynamic_cast<TIEBMPImage*>(picture.Graphic()), nullptr);
    EXPECT_EQ(picture.Width(), 6);
    for (const char* ext : {"tif", "G3F", "jpe", "pcx", "rle", "png", "pix", "pbm", "jp2", "j2c"})
        EXPECT_NE(dynamic_cast<TIEGraphicBase*>(win::TPicture::CreateGraphicByExtension(ext).get()), nullptr)
            << ext;
}

// ---- drawing and assigning ----

TEST_F(StoredData, DrawPaintsExactlyTheTargetRectangle)
{
    TIEBMPImage picture;
    picture.Bitmap()->Allocate(4, 3, ie24RGB);
    picture.Bitmap()->Fill(0);  // black
    win::TBitmap target;
    target.SetPixelFormat(win::pf24bit);
    target.SetSize(20, 20);
    target.Canvas()->Brush()->SetColor(0x00FFFFFF);
    target.Canvas()->FillRect(win::TRect{0, 0, 20, 20});
    target.Canvas()->StretchDraw(win::TRect{2, 3, 10, 9}, &picture);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool inside = x >= 2 && x < 10 && y >= 3 && y < 9;
            EXPECT_EQ(target.Canvas()->Pixels(x, y) & 0xFFFFFF, inside ? 0 : 0xFFFFFF) << x << "," << y;
        }
}

TEST_F(StoredData, DrawShowsTheImageAsItIsAtEachDraw)
{
    TIEBMPImage picture;
    EXPECT_FALSE(picture.IO()->AbortFlag) << "a new picture has failed at nothing";
    picture.Bitmap()->Allocate(4, 3, ie24RGB);
    picture.Bitmap()->Fill(0);  // black
    win::TBitmap target;
    target.SetPixelFormat(win::pf24bit);
    target.SetSize(8, 8);
    auto drawnAt = [&](int x, int y) {
        target.Canvas()->StretchDraw(win::TRect{0, 0, 8, 8}, &picture);
        return target.Canvas()->Pixels(x, y) & 0xFFFFFF;
    };
    EXPECT_EQ(drawnAt(1, 1), 0u);
    // A load through the picture's component: its pattern, red 9 green 13 blue 77 at (1, 1).
    rtl::TMemoryStream m = Stream(MakeBmp(4, 3));
    picture.IO()->LoadFromStreamType(m, ioBMP);
    ASSERT_FALSE(picture.IO()->AbortFlag);
    EXPECT_EQ(drawnAt(2, 4), 0x004D0D09u);
    // A change straight to its bitmap.
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            picture.Bitmap()->SetPixel24(x, y, TRGB{255, 255, 255});
    EXPECT_EQ(drawnAt(1, 1), 0x00FFFFFFu);
}

TEST_F(StoredData, AssignFromAPlatformBitmapLeavesTheSourceAsItWas)
{
    win::TBitmap source;
    source.SetPixelFormat(win::pf8bit);
    source.SetSize(3, 2);
    source.Canvas()->SetPixels(1, 1, 0x000000FF);
    TIEBMPImage picture;
    picture.Assign(&source);
    EXPECT_EQ(source.PixelFormat(), win::pf8bit);
    EXPECT_EQ(picture.Bitmap()->GetPixelFormat(), ie24RGB);
    EXPECT_EQ(picture.Bitmap()->GetPixel24(1, 1), (TRGB{0, 0, 255}));
}

// ---- image controls and platform bitmaps ----

TEST_F(StoredData, ALoadIntoAnImageControlReplacesItsPictureBitmap)
{
    win::TImage image(nullptr);
    TVodirAdIO io(nullptr);
    io.SetAttachedTImage(&image);
    rtl::TMemoryStream m = Stream(MakeBmp(9, 5));
    io.LoadFromStreamType(m, ioBMP);
    EXPECT_FALSE(io.AbortFlag);
    EXPECT_EQ(image.Picture()->Width(), 9);
    EXPECT_EQ(image.Picture()->Bitmap()->Canvas()->Pixels(2, 1) & 0xFFFFFF,
              0x004D0D12);  // red 18, green 13, blue 77

    // Switching to a TIEBitmap leaves the control's bitmap alone.
    TIEBitmap other;
    io.SetAttachedTIEBitmap(&other);
    rtl::TMemoryStream n = Stream(MakeBmp(3, 3));
    io.LoadFromStreamType(n, ioBMP);
    EXPECT_EQ(image.Picture()->Width(), 9);
    EXPECT_EQ(other.GetWidth(), 3);
}

// ---- the clipboard ----

// The system clipboard, held open by a hidden window of the test's while the object lives (a
// clipboard opened without a window takes no data).
class OpenClipboardOf {
public:
    OpenClipboardOf()
        : window_(CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, GetModuleHandleA(nullptr),
                                  nullptr))
    {
        opened_ = window_ && OpenClipboard(window_);
        EXPECT_TRUE(opened_);
    }
    ~OpenClipboardOf()
    {
        if (opened_)
            CloseClipboard();
        if (window_)
            DestroyWindow(window_);
    }
    // Replaces what the clipboard holds by the data; the clipboard takes it.
    void Put(UINT format, HANDLE data) const
    {
        EmptyClipboard();
        EXPECT_NE(SetClipboardData(format, data), nullptr) << format;
    }

private:
    HWND window_;
    bool opened_ = false;
};

// The pixels GDI reads from a bitmap handle, as 24-bit top-down rows.
std::vector<TRGB> GdiPixels(HBITMAP bitmap, int w, int h)
{
    std::vector<TRGB> out(std::size_t(w) * h);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const int stride = (w * 3 + 3) & ~3;
    std::vector<std::uint8_t> rows(std::size_t(stride) * h);
    const HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetDIBits(screen, bitmap, 0, UINT(h), rows.data(), &info, DIB_RGB_COLORS), h);
    ReleaseDC(nullptr, screen);
    for (int y = 0; y < h; ++y)
        std::memcpy(&out[std::size_t(y) * w], &rows[std::size_t(y) * stride], std::size_t(w) * 3);
    return out;
}

std::vector<TRGB> Pixels(TIEBitmap& b)
{
    std::vector<TRGB> out;
    for (int y = 0; y < b.GetHeight(); ++y)
        for (int x = 0; x < b.GetWidth(); ++x)
            out.push_back(b.GetPixelRGB(x, y));
    return out;
}

TEST(Clipboard, APictureGoesThroughTheClipboardAsADibTheSystemReads)
{
    struct Case {
        int w, h;
        TIEPixelFormat format;
    } cases[] = {{37, 23, ie24RGB}, {1, 1, ie24RGB}, {33, 5, ie1g}, {8, 2, ie1g}};
    for (const Case& c : cases) {
        TIEBMPImage source;
        TIEBitmap& b = *source.Bitmap();
        b.Allocate(c.w, c.h, c.format);
        b.Fill(0);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                if (c.format == ie24RGB)
                    b.SetPixel24(x, y, TRGB{std::uint8_t(x * 7), std::uint8_t(y * 11), std::uint8_t(x ^ y)});
                else if ((x + y) % 3)
                    b.ScanLine(y)[x / 8] |= std::uint8_t(0x80 >> (x % 8));  // a set bit is white
            }
        UINT format = 0;
        HANDLE data = nullptr;
        HPALETTE palette = reinterpret_cast<HPALETTE>(std::uintptr_t(0x1234));
        source.SaveToClipboardFormat(format, data, palette);
        EXPECT_EQ(format, UINT(CF_DIB));
        EXPECT_EQ(palette, reinterpret_cast<HPALETTE>(std::uintptr_t(0x1234)));
        ASSERT_NE(data, nullptr);
        OpenClipboardOf{}.Put(format, data);

        OpenClipboardOf clipboard;
        // The system's bitmap made from the DIB shows the picture.
        const auto shown = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(GdiPixels(shown, c.w, c.h), Pixels(b)) << c.w << "x" << c.h;
        // And the DIB comes back as the same picture, 1-bit images as 1 bit.
        TIEBMPImage back;
        back.LoadFromClipboardFormat(CF_DIB, GetClipboardData(CF_DIB), nullptr);
        EXPECT_EQ(back.Bitmap()->GetPixelFormat(), c.format);
        EXPECT_EQ(Pixels(*back.Bitmap()), Pixels(b)) << c.w << "x" << c.h;
    }
}

TEST(Clipboard, ADibTheSystemMadeLoadsAndOtherFormatsAreIgnored)
{
    // A bitmap GDI draws, put on the clipboard as a bitmap: the system makes the DIB.
    const int w = 19, h = 7;
    const HDC screen = GetDC(nullptr);
    const HBITMAP drawn = CreateCompatibleBitmap(screen, w, h);
    const HDC dc = CreateCompatibleDC(screen);
    const HGDIOBJ old = SelectObject(dc, drawn);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            SetPixel(dc, x, y, RGB(x * 13, y * 30, 200 - x * 5));
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    const std::vector<TRGB> want = GdiPixels(drawn, w, h);
    OpenClipboardOf{}.Put(CF_BITMAP, drawn);

    OpenClipboardOf clipboard;
    TIEBMPImage picture;
    picture.LoadFromClipboardFormat(CF_DIB, GetClipboardData(CF_DIB), nullptr);
    ASSERT_EQ(picture.Width(), w);
    EXPECT_EQ(Pixels(*picture.Bitmap()), want);

    // Another format, and a DIB whose header claims more than its block holds, leave the image.
    const HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, 4);
    std::memcpy(GlobalLock(text), "abc", 4);
    GlobalUnlock(text);
    picture.LoadFromClipboardFormat(CF_TEXT, text, nullptr);
    const HGLOBAL lying = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 64);
    BITMAPINFOHEADER head{sizeof head, 4000, 3000, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::memcpy(GlobalLock(lying), &head, sizeof head);
    GlobalUnlock(lying);
    picture.LoadFromClipboardFormat(CF_DIB, lying, nullptr);
    GlobalFree(text);
    GlobalFree(lying);
    EXPECT_EQ(picture.Width(), w);
    EXPECT_EQ(Pixels(*picture.Bitmap()), want);
}

// ---- metafiles ----

class Metafiles : public ::testing::Test {
protected:
    std::string folder_ = rtl::TempFolder();
    std::vector<std::string> files_;
    ~Metafiles() override
    {
        for (const std::string& f : files_)
            rtl::RemoveFile(f);
    }
    // A Windows metafile whose window is w x h units with a red rectangle over its left half; the
    // placeable kind says it is w x h pixels at the screen's resolution.
    std::string Windows(int w, int h, bool placeable)
    {
        const std::string name = folder_ + "va_meta_" + std::to_string(files_.size()) + ".wmf";
        files_.push_back(name);
        const HDC dc = CreateMetaFileA(nullptr);
        SetMapMode(dc, MM_ANISOTROPIC);
        SetWindowOrgEx(dc, 0, 0, nullptr);
        SetWindowExtEx(dc, w, h, nullptr);
        const HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        const HGDIOBJ old = SelectObject(dc, red);
        SelectObject(dc, GetStockObject(NULL_PEN));
        Rectangle(dc, 0, 0, w / 2 + 1, h + 1);
        SelectObject(dc, old);
        DeleteObject(red);
        const HMETAFILE mf = CloseMetaFile(dc);
        std::vector<std::uint8_t> bits(GetMetaFileBitsEx(mf, 0, nullptr));
        GetMetaFileBitsEx(mf, UINT(bits.size()), bits.data());
        DeleteMetaFile(mf);
        std::vector<std::uint8_t> file;
        if (placeable) {
            const HDC screen = GetDC(nullptr);
            const int ppi = GetDeviceCaps(screen, LOGPIXELSX);
            ReleaseDC(nullptr, screen);
            // Key, handle, the box in units of 1/ppi inch, that unit, reserved, checksum.
            std::uint16_t head[11] = {
                0xCDD7, 0x9AC6, 0, 0, 0, std::uint16_t(w), std::uint16_t(h), std::uint16_t(ppi), 0, 0, 0};
            for (int i = 0; i < 10; ++i)
                head[10] ^= head[i];
            file.resize(22);
            std::memcpy(file.data(), head, 22);
        }
        file.insert(file.end(), bits.begin(), bits.end());
        FILE* f = std::fopen(name.c_str(), "wb");
        std::fwrite(file.data(), 1, file.size(), f);
        std::fclose(f);
        return name;
    }
    // A red rectangle over the left half of a 200 x 100 unit picture, the rest left undrawn.
    std::string Enhanced(int width, int height)
    {
        const std::string name = folder_ + "va_meta_" + std::to_string(files_.size()) + ".emf";
        files_.push_back(name);
        const HDC screen = GetDC(nullptr);
        // The frame in hundredths of a millimetre at the screen's resolution: width x height pixels.
        const int mmX = GetDeviceCaps(screen, HORZSIZE), pxX = GetDeviceCaps(screen, HORZRES);
        const int mmY = GetDeviceCaps(screen, VERTSIZE), pxY = GetDeviceCaps(screen, VERTRES);
        const RECT frame{0, 0, MulDiv(width, mmX * 100, pxX), MulDiv(height, mmY * 100, pxY)};
        const HDC dc = CreateEnhMetaFileA(screen, name.c_str(), width && height ? &frame : nullptr, nullptr);
        ReleaseDC(nullptr, screen);
        if (width && height) {
            const HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
            const RECT left{0, 0, width / 2, height};
            FillRect(dc, &left, red);
            DeleteObject(red);
        }
        DeleteEnhMetaFile(CloseEnhMetaFile(dc));
        return name;
    }
};

TEST_F(Metafiles, DrawsOverTheBackgroundWithAlphaWhereNothingWasDrawn)
{
    TVodirAdIO io(nullptr);
    io.SetBackground(0x0000FF00);  // green
    io.LoadFromFile(Enhanced(200, 100));
    ASSERT_FALSE(io.AbortFlag);
    TIEBitmap& b = *io.IEBitmap();
    EXPECT_NEAR(b.GetWidth(), 200, 2);
    EXPECT_NEAR(b.GetHeight(), 100, 2);
    EXPECT_EQ(io.Params().FileType, ioEMF);
    EXPECT_EQ(b.GetPixel24(10, 50), (TRGB{0, 0, 255}));
    EXPECT_EQ(b.GetPixel24(b.GetWidth() - 10, 50), (TRGB{0, 255, 0}));
    ASSERT_TRUE(b.HasAlphaChannel());
    EXPECT_EQ(b.GetAlpha(10, 50), 255);
    EXPECT_EQ(b.GetAlpha(b.GetWidth() - 10, 50), 0);
}

TEST_F(Metafiles, SizesFollowTheRequestAndKeepProportions)
{
    struct Case {
        int w, h, expectW, expectH;
    };
    const std::string file = Enhanced(200, 100);
    for (Case c : {Case{50, 40, 50, 40}, Case{-1, 50, 100, 50}, Case{60, -1, 60, 30}}) {
        TVodirAdIO io(nullptr);
        io.LoadMetafile(file, c.w, c.h, false);
        EXPECT_FALSE(io.AbortFlag);
        EXPECT_NEAR(io.IEBitmap()->GetWidth(), c.expectW, 1) << c.w << "x" << c.h;
        EXPECT_NEAR(io.IEBitmap()->GetHeight(), c.expectH, 1) << c.w << "x" << c.h;
    }
}

TEST_F(Metafiles, PlainAndPlaceableWindowsMetafilesKeepTheirOwnSizeUpToTheCap)
{
    struct Case {
        const char* what;
        bool placeable;
        int w, h, expectW, expectH;
    };
    const Case cases[] = {
        {"plain 200 x 100", false, 200, 100, 200, 100},
        {"placeable 200 x 100", true, 200, 100, 200, 100},
        {"plain 32000 x 100, capped", false, 32000, 100, 16000, 50},
        {"placeable 30000 x 20000, capped", true, 30000, 20000, 16000, 10666},
    };
    for (const Case& c : cases) {
        TVodirAdIO io(nullptr);
        io.SetBackground(0x0000FF00);
        io.LoadMetafile(Windows(c.w, c.h, c.placeable), -1, -1, false);
        ASSERT_FALSE(io.AbortFlag) << c.what;
        EXPECT_EQ(io.Params().FileType, ioWMF) << c.what;
        TIEBitmap& b = *io.IEBitmap();
        EXPECT_NEAR(b.GetWidth(), c.expectW, 1) << c.what;
        EXPECT_NEAR(b.GetHeight(), c.expectH, 1) << c.what;
        if (c.w == 200) {
            // The red left half lands on the left half.
            EXPECT_EQ(b.GetPixel24(10, 50), (TRGB{0, 0, 255})) << c.what;
            EXPECT_EQ(b.GetPixel24(190, 50), (TRGB{0, 255, 0})) << c.what;
        }
    }
}

TEST_F(Metafiles, AnEmptyMetafileSetsTheAbortFlag)
{
    TVodirAdIO io(nullptr);
    io.IEBitmap()->Allocate(2, 2, ie24RGB);
    io.LoadMetafile(Enhanced(0, 0), -1, 40, false);
    EXPECT_TRUE(io.AbortFlag);
    EXPECT_EQ(io.IEBitmap()->GetWidth(), 2);
}

// ---- AVI frames ----

// Files and reference frames made at build time by ffmpeg (tests/imaging/io/make-avi-files).
std::string Media(const std::string& name) { return std::string(VA_IO_MEDIA_DIR) + "/" + name; }

// ffmpeg's decoding of frame 0, as a binary PPM.
std::unique_ptr<TIEBitmap> Reference(const std::string& name)
{
    rtl::TMemoryStream m;
    m.LoadFromFile(Media(name));
    const std::string text(m.Bytes().begin(), m.Bytes().end());
    int w = 0, h = 0, max = 0, used = 0;
    std::sscanf(text.c_str(), "P6 %d %d %d%n", &w, &h, &max, &used);
    auto b = std::make_unique<TIEBitmap>();
    b->Allocate(w, h, ie24RGB);
    const char* p = text.data() + used + 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x, p += 3)
            b->SetPixel24(x, y, TRGB{std::uint8_t(p[2]), std::uint8_t(p[1]), std::uint8_t(p[0])});
    return b;
}

TEST(AviFrames, FirstFrameMatchesFfmpegsDecoding)
{
    struct Case {
        const char* file;
        int tolerance;  // the codecs' own rounding of colours: 5-bit channels, YUV
    };
    for (Case c : {Case{"raw.avi", 0}, Case{"msvideo1.avi", 8}, Case{"cinepak.avi", 24}}) {
        TVodirAdIO io(nullptr);
        const int frames = io.OpenAVIReader(Media(c.file));
        ASSERT_EQ(frames, 5) << c.file;
        io.LoadAVIFrame(0);
        io.CloseAVIReader();
        ASSERT_FALSE(io.AbortFlag) << c.file;
        EXPECT_EQ(io.Params().FrameDelay, 66) << c.file;  // 15 frames a second
        std::unique_ptr<TIEBitmap> ref = Reference(std::string(c.file) + ".ppm");
        TIEBitmap& reference = *ref;
        TIEBitmap& b = *io.IEBitmap();
        ASSERT_EQ(b.GetWidth(), reference.GetWidth()) << c.file;
        ASSERT_EQ(b.GetHeight(), reference.GetHeight()) << c.file;
        int worst = 0;
        for (int y = 0; y < b.GetHeight(); ++y)
            for (int x = 0; x < b.GetWidth(); ++x) {
                const TRGB a = b.GetPixel24(x, y), r = reference.GetPixel24(x, y);
                worst = std::max({worst, std::abs(a.r - r.r), std::abs(a.g - r.g), std::abs(a.b - r.b)});
            }
        EXPECT_LE(worst, c.tolerance) << c.file;
    }
    // The whole-file load takes frame 0 and names the file's type.
    TVodirAdIO io(nullptr);
    io.LoadFromFile(Media("raw.avi"));
    EXPECT_EQ(io.Params().FileType, ioAVI);
    EXPECT_EQ(io.IEBitmap()->GetWidth(), 64);
}

TEST(AviFrames, AStreamWithoutAFrameRateHasNoFrameDelay)
{
    TVodirAdIO io(nullptr);
    ASSERT_EQ(io.OpenAVIReader(Media("norate.avi")), 5);
    io.LoadAVIFrame(1);
    io.CloseAVIReader();
    EXPECT_FALSE(io.AbortFlag);
    EXPECT_EQ(io.Params().FrameDelay, 0);
    EXPECT_EQ(io.IEBitmap()->GetWidth(), 64);
}

TEST(AviFrames, AMissingFileOrFrameChangesNothing)
{
    TVodirAdIO io(nullptr);
    EXPECT_EQ(io.OpenAVIReader(Media("none.avi")), 0);
    EXPECT_TRUE(io.AbortFlag);
    io.OpenAVIReader(Media("raw.avi"));
    io.LoadAVIFrame(5);
    io.CloseAVIReader();
    EXPECT_EQ(io.IEBitmap()->GetWidth(), 0);
}

}  // namespace
