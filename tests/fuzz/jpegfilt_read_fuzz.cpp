// Fuzz target: the JPEG decoder on arbitrary bytes, at full size and at 1/4, through the I/O
// component's JPEG step (so the IPTC and EXIF markers are read too, the EXIF thumbnail under the
// program's TIFF limit). Bad input must end in the abort flag or an image, never a fault or an
// exception; a read image must have the size the parameters report, and the encoder must write it
// again in the colour space it was read in.
#include "imaging/io/ieformatsteps.h"
#include "imaging/io/iefileformats.h"
#include "imaging/io/jpegfilt.h"
#include "platform/rtl/Streams.h"
#include "tests/fuzz/image_fuzz.h"

#include <cstdint>
#include <cstdlib>

namespace {

using fuzz::Check;

void ReadOnce(const std::uint8_t* data, std::size_t size, int scale)
{
    rtl::TReadOnlyMemoryStream stream(data, std::int64_t(size));
    imaging::TIEBitmap bitmap;
    imaging::TIOParamsVals params(nullptr);
    params.JPEGScale = scale;
    fuzz::Progress progress;
    imaging::TIELoadJob job{stream, bitmap, params, progress.record, false, false, 0, nullptr, 0, 0};
    imaging::IEFormatSteps(imaging::ioJPEG)->Load(job);
    if (progress.abort)
        return;
    Check(bitmap.GetWidth() == params.Width && bitmap.GetHeight() == params.Height);
    // Small images only: the round trip is for catching writer faults, not for speed.
    if (std::int64_t(bitmap.GetWidth()) * bitmap.GetHeight() > 4096)
        return;
    rtl::TMemoryStream out;
    params.JPEGQuality = 50;
    imaging::EncodeJpegStream(out, &bitmap, params, progress.record);
    Check(!progress.abort);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Keeps each run fast; the limits themselves are covered by the unit tests. The TIFF limit, which
    // the EXIF thumbnail meets, stays the program's.
    imaging::IEJpegMaxImageBytes = 8 << 20;
    imaging::IEJpegMaxMemory = 32 << 20;
    imaging::IEJpegMaxScans = 64;
    ReadOnce(data, size, 1);
    ReadOnce(data, size, 3);
    return 0;
}
