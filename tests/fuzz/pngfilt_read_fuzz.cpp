// Fuzz target: the PNG reader on arbitrary bytes, with its mask, blended and in native pixel formats.
// Bad input must end in the abort flag or an image, never a fault or an exception; a read image must
// have the size the parameters report, and the writer's file of it must read back unaborted with the
// same size.
#include "imaging/io/pngfilt.h"
#include "imaging/io/pngfiltw.h"
#include "platform/rtl/Streams.h"
#include "tests/fuzz/image_fuzz.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

#include <zlib.h>

namespace {

using fuzz::Check;
using fuzz::Job;

void ReadOnce(const std::uint8_t* data, std::size_t size, bool blend, bool native)
{
    rtl::TReadOnlyMemoryStream stream(data, std::int64_t(size));
    Job r;
    r.params.NativePixelFormat = native;
    imaging::ReadPNGStream(stream, &r.bitmap, r.params, r.progress, r.mask, blend, false);
    if (r.abort)
        return;
    Check(r.bitmap.GetWidth() == r.params.Width && r.bitmap.GetHeight() == r.params.Height);
    Check(blend ? !r.mask
                : r.mask && r.mask->Width() == r.params.Width && r.mask->Height() == r.params.Height);
    if (std::int64_t(r.bitmap.GetWidth()) * r.bitmap.GetHeight() > 4096)
        return;
    // Written back the way it came (samples and depth), then read again.
    rtl::TMemoryStream out;
    imaging::WritePNGStream(out, &r.bitmap, r.params, r.progress, r.mask.get());
    Check(!r.abort);
    out.SetPosition(0);
    imaging::TIEBitmap again;
    std::unique_ptr<imaging::TIEMask> againMask;
    imaging::ReadPNGStream(out, &again, r.params, r.progress, againMask, false, false);
    Check(!r.abort && again.GetWidth() == r.bitmap.GetWidth() && again.GetHeight() == r.bitmap.GetHeight());
}

// The input with every chunk's CRC made right, so mutations reach the chunks' contents instead of
// stopping at the checksum.
std::vector<std::uint8_t> WithGoodCrcs(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> out(data, data + size);
    std::size_t at = 8;
    while (at + 12 <= out.size()) {
        const std::uint32_t length =
            std::uint32_t(out[at]) << 24 | out[at + 1] << 16 | out[at + 2] << 8 | out[at + 3];
        if (length > out.size() - at - 12)
            break;
        const std::uint32_t crc = crc32(0, out.data() + at + 4, uInt(length + 4));
        for (int i = 0; i < 4; ++i)
            out[at + 8 + length + i] = std::uint8_t(crc >> (24 - 8 * i));
        at += 12 + length;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Keeps each run fast; the limit itself is covered by the unit tests.
    imaging::IEPngMaxImageBytes = 8 << 20;
    ReadOnce(data, size, false, false);
    const std::vector<std::uint8_t> fixed = WithGoodCrcs(data, size);
    ReadOnce(fixed.data(), fixed.size(), false, false);
    ReadOnce(fixed.data(), fixed.size(), true, false);
    ReadOnce(fixed.data(), fixed.size(), false, true);
    return 0;
}
