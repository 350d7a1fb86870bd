// GIF files: the reader (one frame of a GIF87a or GIF89a file, with its transparency) and the
// writer (a single-frame file). Portable.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/core/iemask.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Streams.h"

#include <cstdint>
#include <memory>
#include <string>

namespace imaging {

// Reads frame Params.GIFImageIndex from the stream's position and walks the rest of the file to
// count the frames (ImageCount, also Params.GIFImageCount). Frames are read at their own size; the
// logical screen, position, delay, disposal and transparency go to Params. Pixels become ie1g for
// a black-then-white two-colour table, ie8p with Params.NativePixelFormat, else ie24RGB; indexes
// past the colour table (or with no table at all) read as black.
//
// Unless IgnoreAlpha, AlphaMask (created when null) receives an 8-bit mask of the frame's size:
// 255, and 0 for the transparent index. ParamsOnly fills Params and leaves Bitmap alone. A frame
// index past the last frame of a whole file leaves Bitmap alone and is no error. Not a GIF, an
// empty stream, LZW data that cannot be decoded or end before the frame is filled, and a file cut
// before the frame asked for set the abort flag and leave Bitmap alone; nothing is thrown for bad
// data. The stream is left where the walk over the file's blocks ended.
void ReadGIFStream(rtl::TStream& Stream, TIEBitmap* Bitmap, int& ImageCount, bool IgnoreAlpha,
                   std::unique_ptr<TIEMask>& AlphaMask, bool ParamsOnly, TProgressRecord& Progress,
                   TIOParamsVals& Params);

// Writes Bitmap as a one-frame file at Params.BitsPerSample (clamped to 1..8) colour bits, placed at
// GIFXPos, GIFYPos on a screen that holds it, with GIFDelayTime, GIFInterlaced, GIFComments and the
// background and transparent colours of Params. An alpha channel with transparent pixels takes one
// palette entry of its own (and a second bit at depth 1). The bitmap is never changed. A short
// write, or a frame that cannot be placed in 65535 x 65535, sets the abort flag.
void WriteGIFStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                    TProgressRecord& Progress);
// Creates (or empties) the file and writes it; raises rtl::EFCreateError when it cannot be created.
void WriteGIFFile(const std::string& FileName, TIEBitmap* Bitmap, TIOParamsVals& Params,
                  TProgressRecord& Progress);

// Largest frame the reader decodes, in bytes of 24-bit rows; larger ones abort.
extern std::int64_t IEGifMaxImageBytes;

}  // namespace imaging
