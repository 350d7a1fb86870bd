// Windows icon and cursor files: the reader (uncompressed DIB entries of 1, 4, 8, 16, 24 and 32
// bits with their AND masks, and PNG entries) and the icon writer. Cursors are read only. The
// content tests TryICO and TryCUR live with the other probes (detail/ieprobes.h). Portable.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/core/iemask.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Streams.h"

#include <memory>
#include <span>

namespace imaging {

// Reads image Params.ICOImageIndex of the icon file at the stream's position (offsets count from
// there). A file that starts with "BM" is a bitmap saved under an icon's name and is read whole by
// ReadBMPStream, without a mask. Both readers take icon and cursor directories alike.
//
// DIB entries go through the runtime's BMP parser: the info header's height counts both the colour
// rows and the AND rows, its bit count (or, when 0, the entry's, or one derived from the colour
// count) gives the depth, and the palette holds the header's used-colour count (all 2^bits when 0;
// the directory's colour count when only that agrees with the entry's size). 1-bit entries whose two
// colours are black and white become ie1g, everything else ie24RGB. A pixel whose AND bit is set
// takes ICOBackground combined with its colour by exclusive-or (the background itself where the
// colour is black, as Windows draws it on that background) and mask value 0. 32-bit entries give
// their fourth byte to the mask, or their AND mask when every fourth byte is 0; their AND mask may
// be missing. PNG entries go through ReadPNGStream, their alpha to the mask.
//
// Unless NoMask, AlphaMask (created when null) takes the image's transparency: 8 bits, 255 for
// opaque pixels, Full cleared. ParamsOnly fills Params without touching Bitmap or AlphaMask.
// Params gets Width, Height, BitsPerSample and SamplesPerPixel (bits/1 up to 8 bits, 8/4 for 32,
// 8/3 otherwise), the resolution, the palette as ColorMap, and ICOSizes and ICOBitCount for the
// first 16 entries (a stored size of 0 as 256).
//
// An index outside the directory, a damaged directory or entry (sizes the entry's bytes cannot
// hold, data beyond the stream, RLE or top-down entries), an image beyond IEReadMaxImageBytes and
// an abort between rows set the abort flag and leave Bitmap, AlphaMask and Params as they were.
// Never throws for bad data.
void ReadICOStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress,
                   std::unique_ptr<TIEMask>& AlphaMask, bool NoMask, bool ParamsOnly);

// The same for Params.CURImageIndex of a cursor file: no bitmap fallback and no size table;
// CURXHotSpot and CURYHotSpot take the entry's hot spot (0 for an icon directory), and
// CURBackground stands for ICOBackground.
void ReadCURStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress,
                   std::unique_ptr<TIEMask>& AlphaMask, bool NoMask, bool ParamsOnly);

// Writes one icon file holding the bitmap at each of Sizes (1 to 256 on a side), at the depth of
// the matching BitCounts entry: 1, 4, 8 and 32 bits as they are, 0 for the depth Params names
// (BitsPerSample x SamplesPerPixel; an ie1g bitmap sets both to 1 first), anything else 24 bits. Each image
// is resized to its size (nearest pixel for an ie1g source, linear otherwise) and converted to its depth: 1
// bit through the image's two colours or a threshold, with a black and white palette; 4 and 8 bits through a
// quantizer, with entry 0 black for transparent pixels; 32 bits with the alpha channel in the
// pixels. The AND mask marks every pixel whose alpha is below 255, at every depth; below 32 bits
// those pixels are stored black. Params.ColorMap takes the last palette written.
//
// The bitmap is never changed: resizing and conversions work on copies. An empty bitmap, no sizes,
// BitCounts and Sizes of different lengths, or a size outside 1 to 256 sets the abort flag and
// writes nothing; a short write or an abort stops the writing.
void WriteICOStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress,
                    std::span<const int> BitCounts, std::span<const TIOParamsVals::TICOSize> Sizes);

}  // namespace imaging
