// The bitmap a writer that takes bilevel and 24-bit pixels reads.
#pragma once

#include "imaging/core/iebitmap.h"

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

}  // namespace imaging::detail
