// The bitmap a writer reads: the caller's own when its pixels are in the format the file needs,
// else a converted copy.
#pragma once

#include "imaging/core/iebitmap.h"

#include <memory>

namespace imaging::detail {

// Bitmap itself when it is ie1g or ie24RGB, else Copy filled with it converted to ie24RGB; null
// when there is nothing to write (no bitmap, no pixels).
inline TIEBitmap* IESaveSource(TIEBitmap* Bitmap, TIEBitmap& Copy)
{
    if (!Bitmap || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1 || Bitmap->GetPixelFormat() == ieNull)
        return nullptr;
    if (Bitmap->GetPixelFormat() == ie1g || Bitmap->GetPixelFormat() == ie24RGB)
        return Bitmap;
    Copy.Assign(Bitmap);
    Copy.SetPixelFormat(ie24RGB);
    return &Copy;
}

// A copy of Source's image, its alpha channel left out, converted to Format.
std::unique_ptr<TIEBitmap> IEConvertedCopy(TIEBitmap& Source, TIEPixelFormat Format);

// A copy of Source's image as ie1g for a bilevel file: bit for bit when it holds exactly two
// colours, Dark (bits 0) and Light (bits 1) then being those colours; else converted, Dark black
// and Light white.
std::unique_ptr<TIEBitmap> IEBilevelCopy(TIEBitmap& Source, TRGB& Dark, TRGB& Light);

}  // namespace imaging::detail
