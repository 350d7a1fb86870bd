// Fuzz target: the TIFF reader on arbitrary bytes: the page chain, the tags, strips and tiles, in
// both pixel modes, turned by the orientation tag. Bad input must end in the abort flag or an
// image, never a fault; a small page read must write back and read back unaborted at its size.
#include "imaging/io/tiffilt.h"
#include "platform/rtl/Streams.h"
#include "tests/fuzz/image_fuzz.h"

#include <cstdint>
#include <cstdlib>

namespace {

using fuzz::Check;
using fuzz::Job;

int ReadPage(const std::uint8_t* data, std::size_t size, int page, bool native)
{
    rtl::TReadOnlyMemoryStream stream(data, std::int64_t(size));
    Job r;
    r.params.TIFFImageIndex = page;
    r.params.NativePixelFormat = native;
    r.params.TIFFOption = native;
    int count = 0;
    imaging::ReadTIFFStream(&r.bitmap, stream, count, false, false, true, r.mask, false, r.progress,
                            r.params);
    if (r.abort || r.bitmap.GetWidth() == 0 || r.bitmap.GetHeight() == 0)
        return count;
    if (r.mask)
        Check(r.mask->Width() == r.bitmap.GetWidth() && r.mask->Height() == r.bitmap.GetHeight());
    if (std::int64_t(r.bitmap.GetWidth()) * r.bitmap.GetHeight() > 4096)
        return count;
    rtl::TMemoryStream out;
    Check(imaging::WriteTIFFStream(out, false, &r.bitmap, r.progress, r.params) == 1 && !r.abort);
    out.SetPosition(0);
    imaging::TIEBitmap again;
    r.params.TIFFImageIndex = 0;
    r.params.TIFFOption = 0;
    int againCount = 0;
    imaging::ReadTIFFStream(&again, out, againCount, false, true, true, r.mask, false, r.progress, r.params);
    Check(!r.abort && again.GetWidth() == r.bitmap.GetWidth() && again.GetHeight() == r.bitmap.GetHeight());
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Keeps each run fast; the limit itself is covered by the unit tests.
    imaging::IETiffMaxImageBytes = 8 << 20;
    const int count = ReadPage(data, size, 0, false);
    for (int page = 1; page < count && page < 4; ++page)
        ReadPage(data, size, page, page % 2 == 1);
    if (count == 1)
        ReadPage(data, size, 0, true);
    return 0;
}
