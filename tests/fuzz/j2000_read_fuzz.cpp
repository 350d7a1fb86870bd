// Fuzz target: the JPEG 2000 reader on arbitrary bytes, parameters only and whole. Bad input must
// end in the abort flag or an image, never a fault or an allocation beyond the memory limit; a
// small image read must have the size the parameters report and survive a lossless round trip.
#include "imaging/io/iej2000.h"
#include "platform/rtl/Streams.h"
#include "tests/fuzz/image_fuzz.h"

#include <cstdint>
#include <cstdlib>

namespace {

using fuzz::Check;

bool Read(rtl::TStream& stream, imaging::TIEBitmap& bitmap, imaging::TIOParamsVals& params, bool paramsOnly)
{
    fuzz::Progress progress;
    imaging::ReadJ2000Stream(stream, &bitmap, params, paramsOnly, progress.record);
    return !progress.abort;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Keeps each run within the fuzzer's memory limit; the limit itself is covered by the unit tests.
    imaging::IEJ2000MaxMemory = 64 << 20;
    rtl::TReadOnlyMemoryStream stream(data, std::int64_t(size));
    imaging::TIEBitmap bitmap;
    imaging::TIOParamsVals params(nullptr);
    if (!Read(stream, bitmap, params, true))
        return 0;
    Check(bitmap.GetWidth() == 0);
    stream.SetPosition(0);
    if (!Read(stream, bitmap, params, false))
        return 0;
    Check(bitmap.GetWidth() == params.Width && bitmap.GetHeight() == params.Height);
    if (std::int64_t(bitmap.GetWidth()) * bitmap.GetHeight() > 4096)
        return 0;
    // Lossless and back: the same size and, for 8-bit colour, the same pixels.
    rtl::TMemoryStream out;
    fuzz::Progress progress;
    params.J2000Rate = 1;
    params.BitsPerSample = 8;
    params.J2000ColorSpace = 1;
    imaging::WriteJ2000Stream(out, &bitmap, params, imaging::kJ2000FormatJ2K, progress.record);
    Check(!progress.abort);
    out.SetPosition(0);
    imaging::TIEBitmap again;
    imaging::TIOParamsVals back(nullptr);
    Check(Read(out, again, back, false));
    Check(again.GetWidth() == bitmap.GetWidth() && again.GetHeight() == bitmap.GetHeight());
    if (bitmap.GetPixelFormat() == imaging::ie24RGB)
        for (int y = 0; y < bitmap.GetHeight(); ++y)
            for (int x = 0; x < bitmap.GetWidth(); ++x)
                Check(again.GetPixelRGB(x, y) == bitmap.GetPixelRGB(x, y));
    return 0;
}
