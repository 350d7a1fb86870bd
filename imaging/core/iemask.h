// The selection and alpha mask TIEMask: a 1-bit or 8-bit plane with a bounding box of its set pixels.
#pragma once

#include "imaging/core/hyiedefs.h"
#include "platform/rtl/Object.h"

#include <climits>
#include <cstdint>
#include <functional>
#include <vector>

namespace win {
class TCanvas;
}

namespace imaging {

class TIEBitmap;
class TIEPlatformBitmap;

struct TIEPoint {
    std::int32_t X = 0;
    std::int32_t Y = 0;
};

// X of the point that separates polygons in FillPolygons. No image column can have it: a point list
// of an image more than a million pixels wide holds real points at any positive X.
inline constexpr std::int32_t kIEPolygonSeparator = INT32_MIN;

// Coordinates are mask pixels, row 0 at the top. Coordinates outside the mask are ignored, read as
// 0 or clipped; nothing reads or writes outside the plane.
class TIEMask : public rtl::TObject {
public:
    static constexpr std::int32_t kEmptyBox = 2147483647;

    TIEMask() = default;
    ~TIEMask() override = default;

    // BitsPerPixel 1 or 8 (else rtl::EInvalidArgument); zero-filled, empty box, Full false.
    // Raises rtl::EOutOfMemory for sizes beyond the image limit.
    void AllocateBits(int Width, int Height, int BitsPerPixel);
    void FreeBits();
    // Raises rtl::EInvalidArgument for a row outside the mask.
    std::uint8_t* ScanLine(int Row);
    const std::uint8_t* ScanLine(int Row) const;

    void SetPixel(int X, int Y, int Value);
    int GetPixel(int X, int Y) const;
    bool IsPointInside(int X, int Y) const { return GetPixel(X, Y) != 0; }
    // Returns the number of pixels written; rows outside the mask write nothing.
    int FillHorzLine(int Value, int X1, int X2, int Y);
    // A 1-bit mask is wholly set by any non-zero value and cleared by 0. Full: every pixel is 255
    // (or set) afterwards.
    void Fill(int Value);
    void Empty();
    bool IsEmpty() const { return x1_ == kEmptyBox; }
    void FillPolygons(int Value, const TIEPoint* Points, int Count);
    void FillPolygon(int Value, const TIEPoint* Points, int Count);
    void Translate(int& DX, int& DY, bool ClipBox);
    // Sets the box to the bounding box of the non-zero pixels (empty when none).
    void RecomputeBox();

    // Resamples the part XOrigin, YOrigin, SrcWidth x SrcHeight into Dest (W x H pixels, same depth,
    // rows of DestRowLen bytes top-down, cleared first).
    void StretchRows(std::uint8_t* const* DestRows, int W, int H, int XOrigin, int YOrigin, int SrcWidth,
                     int SrcHeight) const;
    // Calls Plot(x, y, firstColour) for every outline pixel of the selection scaled to DisplayWidth x
    // DisplayHeight, visiting only the visible part of the box; the dash pattern moves with Phase.
    // Canvas drawing wraps it.
    void EnumOutline(int DisplayWidth, int DisplayHeight, int XOrigin, int YOrigin, int SrcWidth,
                     int SrcHeight, int Phase,
                     const std::function<void(int x, int y, bool firstColour)>& Plot);
    // Windows build only: inverts the canvas under the selected pixels of a 1-bit mask, the source
    // rectangle stretched onto the destination one.
    void DrawOnCanvas(win::TCanvas& Canvas, int XDst, int YDst, int DstWidth, int DstHeight, int XSrc,
                      int YSrc, int SrcWidth, int SrcHeight);
    // Windows build only: the dashed outline of EnumOutline in two colours, at XDst, YDst.
    void DrawOutline(win::TCanvas& Canvas, int XDst, int YDst, int DisplayWidth, int DisplayHeight,
                     int XOrigin, int YOrigin, int SrcWidth, int SrcHeight, TColor Color1, TColor Color2,
                     int Phase);
    // Shades the unselected part with a grey chequer in the rows of a 24-bit platform bitmap.
    void DrawOutlineToBitmap(TIEPlatformBitmap* Bitmap, int XDst, int YDst, int DisplayWidth,
                             int DisplayHeight, int XOrigin, int YOrigin, int SrcWidth, int SrcHeight);

    void CopyBitmapMasked(TIEBitmap* Dest, TIEBitmap* Source, bool CopyAlpha, bool SourceAtBox,
                          bool DestAtBox);
    void CopyAlphaMasked(TIEBitmap* Dest, TIEBitmap* Source, bool SourceAtBox, bool DestAtBox);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitsPerPixel() const { return bitsPerPixel_; }
    int RowLen() const { return rowLen_; }
    int X1() const { return x1_; }
    int Y1() const { return y1_; }
    int X2() const { return x2_; }
    int Y2() const { return y2_; }
    void SetBox(int X1, int Y1, int X2, int Y2);

    bool Full = false;

private:
    // Display rows and columns (inclusive) that can show box pixels; first > last when none.
    struct TDisplayRange {
        int firstRow, lastRow, firstCol, lastCol;
    };
    TDisplayRange VisibleBox(int W, int H, int XOrigin, int YOrigin, int SrcWidth, int SrcHeight) const;
    void ResetBox();
    void ClampBox();
    void UpdateFull(int value);
    void RebuildCache(int displayWidth, int displayHeight);

    int width_ = 0;
    int height_ = 0;
    int bitsPerPixel_ = 0;
    int rowLen_ = 0;
    std::vector<std::uint8_t> bits_;
    std::int32_t x1_ = kEmptyBox;
    std::int32_t y1_ = kEmptyBox;
    std::int32_t x2_ = 0;
    std::int32_t y2_ = 0;
    // Scaled copy kept between outline draws.
    std::vector<std::uint8_t> cache_;
    std::vector<std::uint8_t*> cacheRows_;
    int cacheWidth_ = 0;
    int cacheHeight_ = 0;
    int cacheRowLen_ = 0;
};

}  // namespace imaging
