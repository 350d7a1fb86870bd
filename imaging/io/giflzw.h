// LZW codec of GIF image data: codes least significant bit first, packed in data sub-blocks.
#pragma once

#include "platform/rtl/Streams.h"

#include <cstdint>

namespace imaging {

// Reads the minimum code size byte and the data sub-blocks at the stream position and writes one
// palette index per pixel into `pixels` (width x height bytes, rows top-down, owned by the caller).
// Pixels after an early end code keep their values. On success the stream is left after the
// terminating zero-length block and true is returned; on failure (code size outside 2..9, a
// literal code past 255, a code past the table, data that run out without the end code before
// every pixel is filled or on a full table) the stream is set back to where the image data began
// and false is returned. Never throws for bad data.
bool GIFLZWDecompress(rtl::TStream& stream, std::int32_t height, std::int32_t width, std::uint8_t* pixels,
                      bool interlaced);

// Writes the code size byte (max(bitsPerPixel, 2)), the sub-blocks and the terminator. `pixels`
// holds width x height indices, rows top-down; bits above bitsPerPixel are ignored.
void GIFLZWCompress(rtl::TStream& stream, std::int32_t height, std::int32_t width, std::int32_t bitsPerPixel,
                    const std::uint8_t* pixels, bool interlaced);

using TGIFLZWDecompressFunc = decltype(&GIFLZWDecompress);
using TGIFLZWCompressFunc = decltype(&GIFLZWCompress);

// The library-wide routine references; they start out as the routines above.
extern TGIFLZWDecompressFunc DefGIFLZWDecompress;
extern TGIFLZWCompressFunc DefGIFLZWCompress;

}  // namespace imaging
