// TIFF files: the reader (one page: strips or tiles, contiguous or separate planes, uncompressed,
// LZW with or without the horizontal predictor, PackBits, CCITT modified Huffman, Group 3 and
// Group 4; bilevel, grey, palette, RGB, CMYK and CIE L*a*b*) and the writer (one page, as a new
// file or added to the chain of an existing one). Portable.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/core/iemask.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Streams.h"

#include <cstdint>
#include <memory>

namespace imaging {

// Reads page Params.TIFFImageIndex of the TIFF whose header is at the stream's position, and fills
// Params with its tags, the EXIF directory, IPTC records and imaging annotations. ImageCount (also
// Params.ImageCount) receives the pages in the chain; the walk ends at a loop or after a page that
// points past the stream. RelativeOffsets: every offset counts from the header (a TIFF inside
// another stream); else from the stream's start.
//
// Pixels: ie1g for bilevel pages; with Params.NativePixelFormat ie8p for palettes, ie8g for 8-bit
// and ie16g for 16-bit black-is-zero grey; ie24RGB otherwise. Unless IgnoreAlpha, an alpha sample
// goes into AlphaMask (created when null, 8 bits, the page's size). With Params.TIFFOption set the
// page is turned to its orientation tag. ParamsOnly stops before the pixels; a page of width or
// height 0 is refused unless AcceptZeroSize; a missing page or a first offset of 0 reads nothing
// and is no error here (the I/O component counts a load without a picture as failed).
//
// Bad data, a page the stream holds only in part (its directory, a value its pixels need, a strip
// or tile, an uncompressed one's rows), a layout or compression not read here (grey with alpha,
// 12-bit grey, floating point, Deflate, JPEG), and pages past the size limit set the abort flag;
// what was read stays in the bitmap. Nothing is thrown for bad data.
void ReadTIFFStream(TIEBitmap* Bitmap, rtl::TStream& Stream, int& ImageCount, bool AcceptZeroSize,
                    bool IgnoreAlpha, bool RelativeOffsets, std::unique_ptr<TIEMask>& AlphaMask,
                    bool ParamsOnly, TProgressRecord& Progress, TIOParamsVals& Params);

// Writes Bitmap as one little-endian page. A new file starts at the stream's position; with Append
// the page is linked into the chain of the file there (at Params.TIFFImageIndex, or last), and the
// stream must hold that file from its position on. Every offset counts from the header. The depth,
// photometric and compression come from Params and go back to it as written: a compression the
// layout cannot take becomes none, grey and palette depths are scaled or requantized. The bitmap is
// never changed. Returns the pages in the file, 0 when a short write, an empty bitmap, a big-endian
// file to append to or a damaged chain set the abort flag.
int WriteTIFFStream(rtl::TStream& Stream, bool Append, TIEBitmap* Bitmap, TProgressRecord& Progress,
                    TIOParamsVals& Params);

// Largest page the reader decodes, in bytes of 24-bit rows; larger ones abort.
extern std::int64_t IETiffMaxImageBytes;

}  // namespace imaging
