// Window regions: rectangles, rounded rectangles and bitmap-shaped areas combined into one HRGN.
#pragma once

#include "platform/win/Graphics.h"
#include "platform/win/Handles.h"
#include "platform/rtl/Win32.h"

#include <vector>

namespace win {

// Owns one region. Combining never changes the other operand. Every constructor and
// operation raises EOutOfResources when GDI cannot make the region.
class TRegion {
public:
    // The empty region.
    TRegion();
    explicit TRegion(const TRect& rect);
    // CreateRoundRectRgn: corners of cornerWidth x cornerHeight; 0 gives a plain rectangle.
    static TRegion RoundRect(const TRect& rect, int cornerWidth, int cornerHeight);
    // One-row rectangles for each run of pixels that differ from `transparent`, over rows
    // firstRow..lastRow (inclusive, clamped to the bitmap), moved by `offset`. The bitmap
    // itself is not changed.
    static TRegion FromBitmap(TBitmap& bitmap, int firstRow, int lastRow, TColor transparent, TPoint offset);

    TRegion(TRegion&&) noexcept = default;
    TRegion& operator=(TRegion&&) noexcept = default;
    TRegion(const TRegion& other);
    TRegion& operator=(const TRegion& other);

    TRegion& Union(const TRegion& other) { return Combine(other, RGN_OR); }
    TRegion& Union(const TRect& rect) { return Combine(TRegion(rect), RGN_OR); }
    TRegion& Intersect(const TRegion& other) { return Combine(other, RGN_AND); }
    TRegion& Subtract(const TRegion& other) { return Combine(other, RGN_DIFF); }
    TRegion& Subtract(const TRect& rect) { return Combine(TRegion(rect), RGN_DIFF); }
    void Offset(int dx, int dy);

    bool IsEmpty() const;
    bool Contains(int x, int y) const;
    TRect Bounds() const;
    bool operator==(const TRegion& other) const;
    // The region as non-overlapping rectangles, top to bottom.
    std::vector<TRect> Rects() const;

    HRGN Handle() const { return region_.Get(); }
    // Gives the region to the window (SetWindowRgn); the system then owns it and this
    // object becomes empty. On failure the region stays here and false is returned.
    bool ApplyToWindow(HWND window, bool redraw);
    // Removes a window's region: the whole window shows again.
    static void ClearWindowRegion(HWND window, bool redraw);

private:
    explicit TRegion(HRGN region);
    TRegion& Combine(const TRegion& other, int mode);

    OwnedRegion region_;
};

}  // namespace win
