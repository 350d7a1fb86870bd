// Fuzz target: the PCX reader on arbitrary bytes, with and without a size that ends before the
// stream does. Bad input must end in the abort flag or an image, never a fault; a read image must
// have the size the parameters report, and what the writer makes of it must read back unaborted at
// that size.
#include "imaging/io/detail/iereadbuffer.h"
#include "imaging/io/pcxfilter.h"
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

void ReadOnce(const std::uint8_t* data, std::size_t size, std::int64_t blockSize)
{
    rtl::TReadOnlyMemoryStream stream(data, std::int64_t(size));
    Job r;
    imaging::ReadPCXStream(stream, &r.bitmap, r.params, blockSize, r.progress, false);
    if (r.abort || r.bitmap.GetWidth() == 0)
        return;
    Check(r.bitmap.GetWidth() == r.params.Width && r.bitmap.GetHeight() == r.params.Height);
    // Small images only: the round trip is for catching writer faults, not for speed.
    if (std::int64_t(r.bitmap.GetWidth()) * r.bitmap.GetHeight() > 4096)
        return;
    rtl::TMemoryStream out;
    imaging::WritePCXStream(out, &r.bitmap, r.params, r.progress);
    Check(!r.abort);
    out.SetPosition(0);
    Job back;
    imaging::ReadPCXStream(out, &back.bitmap, back.params, 0, back.progress, false);
    Check(!back.abort && back.bitmap.GetWidth() == r.bitmap.GetWidth() &&
          back.bitmap.GetHeight() == r.bitmap.GetHeight());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Keeps each run fast; the limit itself is covered by the unit tests.
    imaging::IEReadMaxImageBytes = 8 << 20;
    ReadOnce(data, size, 0);
    if (size > 900)
        ReadOnce(data, size, std::int64_t(size) - 7);
    return 0;
}
