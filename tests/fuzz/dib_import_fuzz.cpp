// Fuzz target: packed DIBs and video frames of any bytes; every DIB is imported or refused, never
// read past its end. A refused one must leave the bitmap untouched.
#include "imaging/core/iebitmap.h"
#include "imaging/core/vodiradproc.h"
#include "platform/rtl/Exceptions.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    imaging::TIEBitmap bitmap;
    bitmap.MinFileSize = std::int64_t(1) << 40;
    bitmap.Allocate(3, 2, imaging::ie8g);
    // The first byte, when set, moves the rows to a separate block, as AVI frames pass them.
    const bool split = size > 60 && (data[0] & 1);
    try {
        // Tight limits: an RLE DIB of a few bytes can describe a huge image.
        constexpr std::uint64_t kLimit = 4u << 20;
        const int bits = split ? imaging::DIBToBitmap(data + 1, 40, &bitmap, data + 41, size - 41, kLimit)
                               : imaging::DIBToBitmap(data, size, &bitmap, nullptr, 0, kLimit);
        if (bits == 0 && (bitmap.GetWidth() != 3 || bitmap.GetPixelFormat() != imaging::ie8g))
            std::abort();
        if (bits != 0 && bitmap.GetWidth() > 0) {
            // Every row of the result is readable.
            for (int y = 0; y < bitmap.GetHeight(); ++y)
                (void)std::memchr(bitmap.ScanLine(y), 1, std::size_t(bitmap.GetRowLen()));
        }
    } catch (const rtl::EOutOfMemory&) {
    }
    return 0;
}
