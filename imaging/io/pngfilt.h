// PNG reader through libpng, and the I/O component's PNG steps. The library's errors jump back into
// this unit and become the abort flag; no exception passes through the library. The content test
// TryPNG lives with the other probes (detail/ieprobes.h). Portable.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/core/iemask.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Streams.h"

#include <cstdint>
#include <memory>

namespace imaging {

// Reads one PNG from the stream's position. Pixels: 1-bit black-and-white files (no transparency)
// as ie1g; with Params.NativePixelFormat 8-bit palette and grey files as ie8p (2^depth entries, a
// short palette padded black) and ie8g; everything else as ie24RGB, 16-bit samples cut to their
// high byte. Params gets size, depth, samples, resolution, palette (ColorMap), interlacing.
//
// Transparency (an alpha channel or tRNS, whatever the colour type) goes to AlphaMask, created when
// null, sized to the image and opaque (Full) unless the file has some; with BlendAlpha the pixels
// are instead blended over the file's bKGD colour (then stored in Params.PNGBackground, at 8 bits)
// or over Params.PNGBackground, and AlphaMask is untouched. ParamsOnly fills Params only.
//
// Never throws for bad data: a damaged or short file sets the abort flag.
void ReadPNGStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress,
                   std::unique_ptr<TIEMask>& AlphaMask, bool BlendAlpha, bool ParamsOnly);

// Largest decoded image the reader allocates, in bytes of 24-bit rows; larger ones abort. The fuzz
// target lowers it to keep each run fast.
extern std::int64_t IEPngMaxImageBytes;

}  // namespace imaging
