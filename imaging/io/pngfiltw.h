// PNG writer through libpng. Portable.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/core/iemask.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Streams.h"

namespace imaging {

// Writes the bitmap as one PNG; the bitmap itself is never changed (conversions work on copies).
// Params.SamplesPerPixel 1 asks for a grey or palette file at Params.BitsPerSample (1, 2, 4 or 8;
// grey also 16): a 1-bit image is written at 1 bit (grey, or a palette of its two colours), a grey
// image as grey, anything else through a quantizer as a palette of 2^depth colours. Otherwise the
// file is 8-bit RGB. An AlphaMask with any pixel below 255 adds transparency: an alpha channel to
// RGB, or for palettes entry 0 fully transparent (where the mask is below 255) at 8 bits.
// Params.PNGBackground is written as bKGD, PNGInterlaced, PNGFilter and PNGCompression choose the
// layout, DpiX and DpiY the pHYs chunk.
//
// A library error raises rtl::EInvalidGraphic "Error on creating PNG" once the library's objects
// are released; a short write sets the abort flag and leaves the file without its end. An empty
// bitmap sets the abort flag and writes nothing.
void WritePNGStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress,
                    const TIEMask* AlphaMask);

}  // namespace imaging
