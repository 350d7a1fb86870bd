// Windows bitmap files: the reader (core, info, OS/2 2.x, v4 and v5 headers; 1 to 32 bits, RLE4,
// RLE8 and bit fields) and the writer (1, 4, 8 and 24 bits, RLE for 4 and 8). Portable.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Streams.h"

#include <cstdint>

namespace imaging {

// Reads one image from the stream's position through the runtime's BMP parser (the one TBitmap and
// DIB import use), and leaves the stream after it. BlockSize is the number of bytes that belong to
// the image, or 0 when the caller does not know it (the file header's size then stands for it); it
// sizes only the compressed data of RLE images, which otherwise comes from the header's image size.
// ParamsOnly fills Params without touching Bitmap. NoFileHeader: the stream starts at the info
// header (a packed DIB).
//
// Bad input (damaged or truncated files, sizes the data cannot back) sets the abort flag and leaves
// Bitmap and Params as they were; it never throws for bad data. So does an abort between rows.
// Pixels of 4 and 8-bit files become ie8p with Params.NativePixelFormat, else ie24RGB; 1-bit
// black-and-white files ie1g; 16, 24 and 32-bit files ie24RGB. RLE pixels no run reaches are
// palette entry 0.
void ReadBMPStream(rtl::TStream& Stream, TIEBitmap* Bitmap, std::int64_t BlockSize, TIOParamsVals& Params,
                   TProgressRecord& Progress, bool ParamsOnly, bool NoFileHeader);

// Writes a whole file from the stream's position and leaves the stream after it. The depth comes
// from Params.BitsPerSample and SamplesPerPixel (1, 4, 8 or 24 bits), the header from BMPVersion,
// run-length coding from BMPCompression. The bitmap itself is never changed: conversions work on
// copies. A short write, or a size the chosen header cannot hold, sets the abort flag.
void WriteBMPStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                    TProgressRecord& Progress);

// Largest decoded image the reader allocates, in bytes of 24-bit rows; larger ones abort. Far
// beyond a picture a form holds; the fuzz target lowers it to keep each run fast.
extern std::int64_t IEBmpMaxImageBytes;

}  // namespace imaging
