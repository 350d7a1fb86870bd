// Fuzz target: the image library's BMP reader on arbitrary bytes, as a file and as a packed DIB, in both
// pixel modes. Bad input must end in the abort flag or an image, never a fault; a read image must have the
// size the parameters report, and a file the writer makes of it must read back unaborted.
#include "imaging/io/bmpfilt.h"
#include "platform/rtl/Streams.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

void ReadOnce(const std::uint8_t* data, std::size_t size, bool native, bool noFileHeader)
{
    rtl::TReadOnlyMemoryStream stream(data, std::int64_t(size));
    imaging::TIEBitmap bitmap;
    imaging::TIOParamsVals params(nullptr);
    params.NativePixelFormat = native;
    std::atomic<bool> abort{false};
    imaging::TProgressRecord progress;
    progress.Aborting = &abort;
    imaging::ReadBMPStream(stream, &bitmap, 0, params, progress, false, noFileHeader);
    if (abort || bitmap.GetWidth() == 0)
        return;
    Check(bitmap.GetWidth() == params.Width && bitmap.GetHeight() == params.Height);
    // Small images only: the round trip is for catching writer faults, not for speed.
    if (std::int64_t(bitmap.GetWidth()) * bitmap.GetHeight() > 4096)
        return;
    rtl::TMemoryStream out;
    imaging::WriteBMPStream(out, &bitmap, params, progress);
    Check(!abort);
    out.SetPosition(0);
    imaging::TIEBitmap again;
    imaging::ReadBMPStream(out, &again, 0, params, progress, false, false);
    Check(!abort && again.GetWidth() == bitmap.GetWidth() && again.GetHeight() == bitmap.GetHeight());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Keeps each run fast; the limit itself is covered by the unit tests.
    imaging::IEBmpMaxImageBytes = 8 << 20;
    ReadOnce(data, size, false, false);
    ReadOnce(data, size, true, false);
    if (size > 14)
        ReadOnce(data + 14, size - 14, false, true);
    return 0;
}
