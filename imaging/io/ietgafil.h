// Truevision TGA files: the reader (colour-mapped, true-colour and grey images, raw or run-length,
// with the extension area and footer) and the writer. Portable.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/core/iemask.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Streams.h"

#include <memory>

namespace imaging {

// Reads one image from the stream's position; the footer is looked for at the stream's end.
// ParamsOnly fills Params without touching Bitmap. Depth 1 grey images become ie1g, all others
// ie24RGB: colour-mapped images through their map (8-bit indexes, raw 1 and 4-bit ones), 15 and
// 16-bit pixels scaled to 0..255, grey with alpha (depth 16) as grey. Unless NoMask, the alpha of
// 32-bit and grey-with-alpha images goes to AlphaMask (a new 8-bit mask of the image's size,
// replacing what it held) when the descriptor gives 8 attribute bits, or when it gives none and
// some alpha is not 0; otherwise AlphaMask is left alone.
//
// An unknown image type, depth or colour-map entry size, a combination the format does not
// define, an image beyond IEReadMaxImageBytes or larger than its data could hold sets the abort
// flag and leaves Bitmap alone. Data that ends early sets the abort flag after the rows before
// it. Never throws for bad data.
void ReadTGAStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                   std::unique_ptr<TIEMask>& AlphaMask, bool NoMask, bool ParamsOnly,
                   TProgressRecord& Progress);

// Writes a whole file with its extension area and footer from the stream's position. The depth
// comes from Params: 1 bit for 1 bit and 1 sample; 8-bit indexes with a 16-entry map for 4 bits;
// for 8 bits grey when TGAGrayLevel, else 8-bit indexes with a 256-entry map; otherwise 24 bits, or
// 32 with AlphaMask's values when it holds any below 255 (the other depths leave alpha out). TGACompressed
// run-length codes the 8 and 24-bit forms. The bitmap is never changed: conversions and colour reduction work
// on copies. An empty bitmap, a side above 65535 or a short write sets the abort flag.
void WriteTGAStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress,
                    TIEMask* AlphaMask);

}  // namespace imaging
