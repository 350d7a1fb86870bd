// Drawing a TIEMask onto a GDI canvas: the inverting overlay and the dashed selection outline.
#include "imaging/core/iemask.h"

#include "platform/win/Graphics.h"
#include "platform/rtl/Win32.h"

namespace imaging {

void TIEMask::DrawOnCanvas(win::TCanvas& Canvas, int XDst, int YDst, int DstWidth, int DstHeight, int XSrc,
                           int YSrc, int SrcWidth, int SrcHeight)
{
    if (bitsPerPixel_ != 1 || IsEmpty() || bits_.empty() || DstWidth < 1 || DstHeight < 1 || SrcWidth < 1 ||
        SrcHeight < 1)
        return;
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[2];
    } info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width_;
    info.header.biHeight = height_;  // positive: rows bottom-up, as the mask keeps them
    info.header.biPlanes = 1;
    info.header.biBitCount = 1;
    info.header.biCompression = BI_RGB;
    info.colors[1] = RGBQUAD{255, 255, 255, 0};
    // GDI counts the source rectangle from the bottom row.
    ::StretchDIBits(Canvas.Handle(), XDst, YDst, DstWidth, DstHeight, XSrc, height_ - YSrc - SrcHeight,
                    SrcWidth, SrcHeight, bits_.data(), reinterpret_cast<const BITMAPINFO*>(&info),
                    DIB_RGB_COLORS, SRCINVERT);
}

void TIEMask::DrawOutline(win::TCanvas& Canvas, int XDst, int YDst, int DisplayWidth, int DisplayHeight,
                          int XOrigin, int YOrigin, int SrcWidth, int SrcHeight, TColor Color1, TColor Color2,
                          int Phase)
{
    EnumOutline(DisplayWidth, DisplayHeight, XOrigin, YOrigin, SrcWidth, SrcHeight, Phase,
                [&](int x, int y, bool first) {
                    Canvas.SetPixels(XDst + x, YDst + y, static_cast<win::TColor>(first ? Color1 : Color2));
                });
}

}  // namespace imaging
