// Drawing of TIEBitmap on canvases of the GUI layer through packed DIBs, and the thin DrawDib
// wrappers; the pixels themselves come from the portable renderer.
#include "imaging/core/iebitmap.h"

#include "imaging/core/vodiradproc.h"
#include "imaging/core/vodiradproc_win32.h"
#include "platform/win/Graphics.h"
#include "platform/rtl/Win32.h"

#include <vfw.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace imaging {

namespace {

// A BITMAPINFO with room for a two-entry table, for one band of rows.
struct TBandInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colors[2];
};

// Restores the canvas's stretch mode when the drawing is done.
class TStretchMode {
public:
    TStretchMode(HDC dc, int mode) : dc_(dc), saved_(::SetStretchBltMode(dc, mode)) {}
    ~TStretchMode() { ::SetStretchBltMode(dc_, saved_); }
    TStretchMode(const TStretchMode&) = delete;
    TStretchMode& operator=(const TStretchMode&) = delete;

private:
    HDC dc_;
    int saved_;
};

}  // namespace

void TIEBitmap::RenderToTBitmap(win::TBitmap* Dest, TIERenderCache* Cache, const TIERect* VisibleRect,
                                int DestX, int DestY, int DestWidth, int DestHeight, int SrcX, int SrcY,
                                int SrcWidth, int SrcHeight, bool EnableAlpha, bool RowReuse,
                                int Transparency, TResampleFilter Filter, bool FreeCaches,
                                std::uint8_t Operation)
{
    if (!Dest)
        throw rtl::EInvalidArgument("render needs a destination bitmap");
    if (Dest->PixelFormat() != win::pf24bit)
        Dest->SetPixelFormat(win::pf24bit);
    auto wrapped = IEWrapTBitmap(Dest);
    RenderToTBitmap(wrapped.get(), Cache, VisibleRect, DestX, DestY, DestWidth, DestHeight, SrcX, SrcY,
                    SrcWidth, SrcHeight, EnableAlpha, RowReuse, Transparency, Filter, FreeCaches, Operation);
}

void TIEBitmap::StretchDrawToCanvas(win::TCanvas* Canvas, int X, int Y, int Width, int Height,
                                    TResampleFilter Filter, double Gamma)
{
    if (!Canvas || pixelFormat_ == ieNull || GetWidth() < 1 || GetHeight() < 1 || Width < 1 || Height < 1)
        return;
    if (Filter == rfNone && (Gamma == 1 || Gamma == 0)) {
        // The whole image as one packed DIB, stretched by the system.
        void* dib = BitmapToDIB(this, 0, 0, 0);
        if (!dib)
            return;
        DrawPackedDIB(Canvas, dib, X, Y, Width, Height, 0, 0, GetWidth(), GetHeight());
        ::GlobalFree(static_cast<HGLOBAL>(dib));
        return;
    }
    std::unique_ptr<TIEBitmap> picture = StretchForCanvas(Width, Height, Filter, Gamma);
    if (!picture)
        return;
    Canvas->SetCopyMode(win::cmSrcCopy);
    const bool bits1 = picture->GetPixelFormat() == ie1g;
    const int rowLen = IERowLen(Width, bits1 ? 1 : 24, 32);
    // Bands hold at least one row, however small MinFileSize is.
    const int band = std::min(IEStretchBandRows(MinFileSize, IERowLen(Width, 24, 32)), Height);
    std::vector<std::uint8_t> rows(std::size_t(rowLen) * std::size_t(band));
    TBandInfo info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = Width;
    info.header.biPlanes = 1;
    info.header.biBitCount = WORD(bits1 ? 1 : 24);
    info.colors[1] = RGBQUAD{255, 255, 255, 0};
    HDC dc = Canvas->Handle();
    TIEAccessScope readOnly(*picture, 1);
    for (int start = 0; start < Height; start += band) {
        const int n = std::min(band, Height - start);
        for (int r = 0; r < n; ++r)
            std::memcpy(&rows[std::size_t(rowLen) * std::size_t(n - 1 - r)], picture->ScanLine(start + r),
                        std::size_t(rowLen));
        info.header.biHeight = n;
        ::SetDIBitsToDevice(dc, X, Y + start, DWORD(Width), DWORD(n), 0, 0, 0, UINT(n), rows.data(),
                            reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    }
}

void TIEBitmap::DrawRectToCanvas(win::TCanvas* Canvas, int X, int Y, int Width, int Height, int SrcX,
                                 int SrcY, TIEBitmap* Source)
{
    if (!Canvas || !Source || Width < 1 || Height < 1)
        return;
    // Only the part of the rectangle inside the image is drawn, each pixel where it would be had the
    // image been larger.
    const std::int64_t left = std::max<std::int64_t>(SrcX, 0), top = std::max<std::int64_t>(SrcY, 0);
    const std::int64_t right = std::min<std::int64_t>(std::int64_t(SrcX) + Width, Source->GetWidth());
    const std::int64_t bottom = std::min<std::int64_t>(std::int64_t(SrcY) + Height, Source->GetHeight());
    if (left >= right || top >= bottom)
        return;
    X += int(left - SrcX);
    Y += int(top - SrcY);
    const int w = int(right - left), h = int(bottom - top);
    // The packed DIB holds the rows from the top to the last one asked for; the rectangle is its
    // bottom part.
    void* dib = BitmapToDIB(Source, int(left), w, int(bottom));
    if (!dib)
        return;
    DrawPackedDIB(Canvas, dib, X, Y, w, h, 0, int(top), w, h);
    ::GlobalFree(static_cast<HGLOBAL>(dib));
}

void DrawPackedDIB(win::TCanvas* Canvas, void* DIB, int X, int Y, int Width, int Height, int SrcX, int SrcY,
                   int SrcWidth, int SrcHeight)
{
    if (!Canvas || !DIB)
        return;
    auto* header = static_cast<BITMAPINFOHEADER*>(::GlobalLock(static_cast<HGLOBAL>(DIB)));
    if (!header)
        return;
    std::size_t tableEntries = 0;
    if (header->biBitCount <= 8)
        tableEntries = header->biClrUsed ? header->biClrUsed : (std::size_t(1) << header->biBitCount);
    const auto* bits = reinterpret_cast<const std::uint8_t*>(header) + header->biSize + tableEntries * 4;
    HDC dc = Canvas->Handle();
    {
        TStretchMode mode(dc, COLORONCOLOR);
        // The source rectangle is counted from the top; a bottom-up DIB counts from the bottom.
        const int fromBottom = std::abs(header->biHeight) - SrcY - SrcHeight;
        ::StretchDIBits(dc, X, Y, Width, Height, SrcX, header->biHeight > 0 ? fromBottom : SrcY, SrcWidth,
                        SrcHeight, bits, reinterpret_cast<BITMAPINFO*>(header), DIB_RGB_COLORS, SRCCOPY);
    }
    ::GlobalUnlock(static_cast<HGLOBAL>(DIB));
}

void* DrawDibOpenWrap() { return ::DrawDibOpen(); }
bool DrawDibCloseWrap(void* Handle) { return ::DrawDibClose(static_cast<HDRAWDIB>(Handle)) != FALSE; }
bool DrawDibDrawWrap(void* Handle, void* DC, int X, int Y, int Width, int Height, void* Header, void* Bits,
                     int SrcX, int SrcY, int SrcWidth, int SrcHeight, unsigned Flags)
{
    return ::DrawDibDraw(static_cast<HDRAWDIB>(Handle), static_cast<HDC>(DC), X, Y, Width, Height,
                         static_cast<BITMAPINFOHEADER*>(Header), Bits, SrcX, SrcY, SrcWidth, SrcHeight,
                         Flags) != FALSE;
}
unsigned DrawDibRealizeWrap(void* Handle, void* DC, bool Background)
{
    return ::DrawDibRealize(static_cast<HDRAWDIB>(Handle), static_cast<HDC>(DC), Background ? TRUE : FALSE);
}

}  // namespace imaging
