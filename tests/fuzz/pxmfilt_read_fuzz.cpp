// Fuzz target: the anymap and WBMP readers on arbitrary bytes. Bad input must end in the abort flag or
// an image, never a fault; a read image must have the size the parameters report, and what the writer
// makes of it must read back unaborted at that size.
#include "imaging/io/detail/iereadbuffer.h"
#include "imaging/io/pxmfilt.h"
#include "imaging/io/wbmpfilt.h"
#include "platform/rtl/Streams.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

struct Job {
    imaging::TIEBitmap bitmap;
    imaging::TIOParamsVals params{nullptr};
    std::atomic<bool> abort{false};
    imaging::TProgressRecord progress;
    Job() { progress.Aborting = &abort; }
};

// Small images only: the round trip is for catching writer faults, not for speed.
bool Small(imaging::TIEBitmap& b) { return std::int64_t(b.GetWidth()) * b.GetHeight() <= 4096; }

void Pxm(const std::uint8_t* data, std::size_t size)
{
    rtl::TReadOnlyMemoryStream stream(data, std::int64_t(size));
    Job r;
    imaging::ReadPXMStream(stream, &r.bitmap, r.params, r.progress, false);
    if (r.abort || r.bitmap.GetWidth() == 0)
        return;
    Check(r.bitmap.GetWidth() == r.params.Width && r.bitmap.GetHeight() == r.params.Height);
    if (!Small(r.bitmap))
        return;
    rtl::TMemoryStream out;
    imaging::WritePXMStream(out, &r.bitmap, r.params, r.progress);
    Check(!r.abort);
    out.SetPosition(0);
    Job back;
    imaging::ReadPXMStream(out, &back.bitmap, back.params, back.progress, false);
    Check(!back.abort && back.bitmap.GetWidth() == r.bitmap.GetWidth() &&
          back.bitmap.GetHeight() == r.bitmap.GetHeight());
}

void Wbmp(const std::uint8_t* data, std::size_t size)
{
    rtl::TReadOnlyMemoryStream stream(data, std::int64_t(size));
    Job r;
    imaging::ReadWBMPStream(stream, &r.bitmap, r.params, false, r.progress);
    if (r.abort || r.bitmap.GetWidth() == 0)
        return;
    Check(r.bitmap.GetWidth() == r.params.Width && r.bitmap.GetHeight() == r.params.Height);
    if (!Small(r.bitmap))
        return;
    rtl::TMemoryStream out;
    imaging::WriteWBMPStream(out, &r.bitmap, r.progress);
    Check(!r.abort);
    out.SetPosition(0);
    Job back;
    imaging::ReadWBMPStream(out, &back.bitmap, back.params, false, back.progress);
    Check(!back.abort && back.bitmap.GetWidth() > 0 && back.bitmap.GetWidth() <= 255);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Keeps each run fast; the limit itself is covered by the unit tests.
    imaging::IEReadMaxImageBytes = 8 << 20;
    Pxm(data, size);
    Wbmp(data, size);
    return 0;
}
