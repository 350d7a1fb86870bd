// The parts of the DIB exchange and canvas drawing that need the system: global memory blocks,
// StretchDIBits and DrawDib. Windows build only; handles travel as void* (HGLOBAL, HDC, HDRAWDIB).
#pragma once

#include <cstddef>

namespace win {
class TCanvas;
}

namespace imaging {

class TIEBitmap;

// BitmapToPackedDIB in a new movable, zero-initialised global block the caller frees with
// GlobalFree; nullptr for an empty image or rectangle.
void* BitmapToDIB(TIEBitmap* Bitmap, int X, int Width, int Height);
// DIBToBitmap over a movable global block, locked for the call; its size bounds every read.
int GlobalDIBToBitmap(void* DIB, TIEBitmap* Bitmap, const void* Bits = nullptr, std::size_t BitsSize = 0);
// Imports through the system's DrawDib, which decodes uncompressed DIBs and the frames of the
// installed codecs, onto a DIB section: 1-bit DIBs stay 1-bit, everything else becomes 24-bit.
// A missing table size means 2, 16 or 256 entries. Returns the bit count, or 0 when the header
// is refused or DrawDib cannot draw it (Bitmap then unchanged).
int DrawDIBToBitmap(const void* DIB, std::size_t Size, TIEBitmap* Bitmap, const void* Bits = nullptr,
                    std::size_t BitsSize = 0);
// Draws the global block's packed DIB with StretchDIBits (COLORONCOLOR, SRCCOPY); the source
// rectangle is counted from the top row.
void DrawPackedDIB(win::TCanvas* Canvas, void* DIB, int X, int Y, int Width, int Height, int SrcX, int SrcY,
                   int SrcWidth, int SrcHeight);
void* DrawDibOpenWrap();
bool DrawDibCloseWrap(void* Handle);
bool DrawDibDrawWrap(void* Handle, void* DC, int X, int Y, int Width, int Height, void* Header, void* Bits,
                     int SrcX, int SrcY, int SrcWidth, int SrcHeight, unsigned Flags);
unsigned DrawDibRealizeWrap(void* Handle, void* DC, bool Background);

}  // namespace imaging
