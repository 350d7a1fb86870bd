// Portable anymap files (PBM, PGM and PPM, magic "P1" to "P6"): the reader and the writer. Portable.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Streams.h"

namespace imaging {

// Reads one image from the stream's position. The header's comments go to ImageDescriptions;
// ParamsOnly fills Params without touching Bitmap. Bitmaps (P1, P4) become ie1g, grey and colour
// maps ie24RGB, each sample scaled from the file's maximum to 0..255 (value * 255 / maximum rounded
// down; two big-endian bytes a sample for maxima above 255), samples above the maximum taken as the maximum.
//
// A bad header, a maximum of 0 or above 65535, an image beyond IEReadMaxImageBytes or larger than
// its data could hold sets the abort flag and leaves Bitmap alone. Data that ends early, or ASCII
// data that is not a number, sets the abort flag after the rows before it. Never throws for bad data.
void ReadPXMStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress,
                   bool ParamsOnly);

// Writes a binary anymap from the stream's position: P4 when Params say 1 bit and 1 sample or the
// bitmap is ie1g, else P5 for 8 bits and 1 sample, else P6 for 8 bits and 3 samples or an ie24RGB
// bitmap; each line of each ImageDescriptions entry becomes a comment. Bitmaps in other pixel
// formats are converted on copies; the bitmap itself is never changed. Any other combination, an
// empty bitmap or a short write sets the abort flag (the first two write nothing).
void WritePXMStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                    TProgressRecord& Progress);

}  // namespace imaging
