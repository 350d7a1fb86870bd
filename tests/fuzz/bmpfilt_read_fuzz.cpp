// Fuzz target: the image library's BMP reader on arbitrary bytes, as a file and as a packed DIB, in both
// pixel modes, and the I/O component loading them with AutoAdjustDPI on. Bad input must end in the abort
// flag or an image, never a fault; a read image must have the size the parameters report, and a file the
// writer makes of it must read back unaborted. The readers' own limits stay as they are: an image may be
// no larger than its data backs, so run with a tight -rss_limit_mb.
#include "imaging/io/bmpfilt.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/Streams.h"
#include "tests/fuzz/image_fuzz.h"

#include <cstdint>
#include <cstdlib>

namespace {

using fuzz::Check;

void ReadOnce(const std::uint8_t* data, std::size_t size, bool native, bool noFileHeader)
{
    rtl::TReadOnlyMemoryStream stream(data, std::int64_t(size));
    imaging::TIEBitmap bitmap;
    imaging::TIOParamsVals params(nullptr);
    params.NativePixelFormat = native;
    fuzz::Progress progress;
    imaging::ReadBMPStream(stream, &bitmap, 0, params, progress.record, false, noFileHeader);
    if (progress.abort || bitmap.GetWidth() == 0)
        return;
    Check(bitmap.GetWidth() == params.Width && bitmap.GetHeight() == params.Height);
    // Small images only: the round trip is for catching writer faults, not for speed.
    if (std::int64_t(bitmap.GetWidth()) * bitmap.GetHeight() > 4096)
        return;
    rtl::TMemoryStream out;
    imaging::WriteBMPStream(out, &bitmap, params, progress.record);
    Check(!progress.abort);
    out.SetPosition(0);
    imaging::TIEBitmap again;
    imaging::ReadBMPStream(out, &again, 0, params, progress.record, false, false);
    Check(!progress.abort && again.GetWidth() == bitmap.GetWidth() &&
          again.GetHeight() == bitmap.GetHeight());
}

}  // namespace

// Through the component: a refused file leaves the image it had; a stretched one keeps the
// resolutions equal.
void LoadThroughComponent(const std::uint8_t* data, std::size_t size)
{
    imaging::TVodirAdIO io(nullptr);
    io.AutoAdjustDPI = true;
    io.FilteredAdjustDPI = size & 1;
    io.IEBitmap()->Allocate(2, 3, imaging::ie24RGB);
    rtl::TReadOnlyMemoryStream stream(data, std::int64_t(size));
    io.LoadFromStreamType(stream, imaging::ioBMP);
    if (io.AbortFlag) {
        Check(io.IEBitmap()->GetWidth() == 2 || io.Params().DpiX != io.Params().DpiY);
        return;
    }
    Check(io.Params().DpiX == io.Params().DpiY);
    Check(io.IEBitmap()->GetWidth() == io.Params().Width && io.IEBitmap()->GetHeight() == io.Params().Height);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ReadOnce(data, size, false, false);
    ReadOnce(data, size, true, false);
    if (size > 14)
        ReadOnce(data + 14, size - 14, false, true);
    LoadThroughComponent(data, size);
    return 0;
}
