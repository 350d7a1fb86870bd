// Wireless bitmaps (WBMP, type 0): the reader and the writer. Portable.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Streams.h"

namespace imaging {

// Reads one image from the stream's position into an ie1g bitmap; width and height are the
// format's multi-byte integers. ParamsOnly fills Params without touching Bitmap. A type other than
// 0, extension headers, a size of 0, an image beyond IEReadMaxImageBytes or larger than the data
// sets the abort flag and leaves Bitmap alone. Never throws for bad data.
void ReadWBMPStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                    TProgressRecord& Progress);

// Writes a type 0 file from the stream's position. An image wider or taller than 255 pixels is
// scaled down to fit 255 x 255, keeping its proportions; other pixel formats become 1 bit. Both
// work on copies: the bitmap itself is never changed. An empty bitmap or a short write sets the
// abort flag.
void WriteWBMPStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TProgressRecord& Progress);

}  // namespace imaging
