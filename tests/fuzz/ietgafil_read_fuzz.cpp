// Fuzz target: the TGA reader on arbitrary bytes. Bad input must end in the abort flag or an image,
// never a fault; a read image (and its alpha) must have the size the parameters report, and what the
// writer makes of it must read back unaborted at that size.
#include "imaging/io/detail/iereadbuffer.h"
#include "imaging/io/ietgafil.h"
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
    std::unique_ptr<imaging::TIEMask> mask;
    std::atomic<bool> abort{false};
    imaging::TProgressRecord progress;
    Job() { progress.Aborting = &abort; }

    void Read(rtl::TStream& stream)
    {
        imaging::ReadTGAStream(stream, &bitmap, params, mask, false, false, progress);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Keeps each run fast; the limit itself is covered by the unit tests.
    imaging::IEReadMaxImageBytes = 8 << 20;
    rtl::TReadOnlyMemoryStream stream(data, std::int64_t(size));
    Job r;
    r.Read(stream);
    if (r.abort || r.bitmap.GetWidth() == 0)
        return 0;
    Check(r.bitmap.GetWidth() == r.params.Width && r.bitmap.GetHeight() == r.params.Height);
    Check(!r.mask || (r.mask->Width() == r.params.Width && r.mask->Height() == r.params.Height));
    // Small images only: the round trip is for catching writer faults, not for speed.
    if (std::int64_t(r.bitmap.GetWidth()) * r.bitmap.GetHeight() > 4096)
        return 0;
    rtl::TMemoryStream out;
    imaging::WriteTGAStream(out, &r.bitmap, r.params, r.progress, r.mask.get());
    Check(!r.abort);
    out.SetPosition(0);
    Job back;
    back.Read(out);
    Check(!back.abort && back.bitmap.GetWidth() == r.bitmap.GetWidth() &&
          back.bitmap.GetHeight() == r.bitmap.GetHeight());
    return 0;
}
