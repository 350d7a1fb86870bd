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

int ReadPage(const std::uint8_t* data, std::size_t size, int page, bool native)
{
    rtl::TReadOnlyMemoryStream stream(data, std::int64_t(size));
    imaging::TIEBitmap bitmap;
    std::unique_ptr<imaging::TIEMask> mask;
    imaging::TIOParamsVals params(nullptr);
    params.TIFFImageIndex = page;
    params.NativePixelFormat = native;
    params.TIFFOption = native;
    fuzz::Progress progress;
    int count = 0;
    imaging::ReadTIFFStream(&bitmap, stream, count, false, false, true, mask, false, progress.record, params);
    if (progress.abort || bitmap.GetWidth() == 0 || bitmap.GetHeight() == 0)
        return count;
    if (mask)
        Check(mask->Width() == bitmap.GetWidth() && mask->Height() == bitmap.GetHeight());
    if (std::int64_t(bitmap.GetWidth()) * bitmap.GetHeight() > 4096)
        return count;
    rtl::TMemoryStream out;
    Check(imaging::WriteTIFFStream(out, false, &bitmap, progress.record, params) == 1 && !progress.abort);
    out.SetPosition(0);
    imaging::TIEBitmap again;
    params.TIFFImageIndex = 0;
    params.TIFFOption = 0;
    int againCount = 0;
    imaging::ReadTIFFStream(&again, out, againCount, false, true, true, mask, false, progress.record, params);
    Check(!progress.abort && again.GetWidth() == bitmap.GetWidth() &&
          again.GetHeight() == bitmap.GetHeight());
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
