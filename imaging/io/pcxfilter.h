// PaintBrush (PCX) files: the reader (1, 2, 4 and 8 bits in one plane; 2, 3 and 4 planes of 1 bit;
// 3 and 4 planes of 8 bits; raw or run-length) and the writer (1, 4, 8 and 24 bits). Portable.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Streams.h"

#include <cstdint>

namespace imaging {

// Reads one image from the stream's position. Size is the number of bytes of the image from there
// (the 256-colour palette is its last 768); 0 or less means up to the end of the stream, and it is
// clamped to what the stream holds. ParamsOnly fills Params without touching Bitmap. One plane of
// 1 bit becomes ie1g when its two colours are black and white, everything else ie24RGB; a fourth
// plane of 8 bits (alpha) is read past.
//
// A bad header (manufacturer, encoding, a depth and plane count the format does not define, Xmax
// below Xmin, bytes per line too few for the width), an image beyond IEReadMaxImageBytes or larger
// than its data could hold sets the abort flag and leaves Bitmap alone. Data that ends early sets
// the abort flag after the rows before it. Never throws for bad data.
void ReadPCXStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, std::int64_t Size,
                   TProgressRecord& Progress, bool ParamsOnly);

// Writes a whole file from the stream's position. The depth is BitsPerSample x SamplesPerPixel
// (1 when BitsPerSample is 1) rounded up to 1, 4, 8 or 24 bits; PCXCompression chooses run-length
// coding and PCXVersion is stored as it is. The bitmap is never changed: conversions and colour
// reduction work on copies. An empty bitmap, a side above 65536, a row longer than the 16-bit
// bytes-per-line field holds (a width above 65534 at 8 or 24 bits) or a short write sets the abort
// flag; all but the last write nothing.
void WritePCXStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                    TProgressRecord& Progress);

// Run-length codes Count bytes taken at Source[i * Stride + Offset] into Output, which must hold
// 2 * Count + 1 bytes, and pads an odd Count with one zero byte. Returns the bytes written.
int EncodePCXLine(std::uint8_t* Output, const std::uint8_t* Source, int Count, int Stride, int Offset);

}  // namespace imaging
