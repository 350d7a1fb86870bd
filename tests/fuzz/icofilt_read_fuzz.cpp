// Fuzz target: the icon and cursor readers on arbitrary bytes, at the first entry and at the one the
// last byte names, with and without a mask. Bad input must end in the abort flag or an image, never
// a fault or an exception; a read image (and its mask) must have the size the parameters report,
// and what the icon writer makes of a small one, at every depth, must read back unaborted at the
// same size.
#include "imaging/io/bmpfilt.h"
#include "imaging/io/detail/iereadbuffer.h"
#include "imaging/io/icofilt.h"
#include "imaging/io/pngfilt.h"
#include "platform/rtl/Streams.h"
#include "tests/fuzz/image_fuzz.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using imaging::TIOParamsVals;

using fuzz::Check;

using fuzz::Job;

void WriteBack(Job& r)
{
    const int w = r.bitmap.GetWidth();
    const int h = r.bitmap.GetHeight();
    if (w > 64 || h > 64)
        return;
    if (r.mask)
        r.bitmap.GetAlphaChannel()->CopyFromTIEMask(r.mask.get());
    const std::vector<int> bits = {1, 4, 8, 24, 32};
    const std::vector<TIOParamsVals::TICOSize> sizes(bits.size(), TIOParamsVals::TICOSize{w, h});
    rtl::TMemoryStream out;
    imaging::WriteICOStream(out, &r.bitmap, r.params, r.progress, bits, sizes);
    Check(!r.abort);
    for (int index = 0; index < int(bits.size()); ++index) {
        out.SetPosition(0);
        Job back;
        back.params.ICOImageIndex = index;
        imaging::ReadICOStream(out, &back.bitmap, back.params, back.progress, back.mask, false, false);
        Check(!back.abort && back.bitmap.GetWidth() == w && back.bitmap.GetHeight() == h);
    }
}

void ReadOnce(const std::uint8_t* data, std::size_t size, bool cursor, int index, bool noMask)
{
    rtl::TReadOnlyMemoryStream stream(data, std::int64_t(size));
    Job r;
    r.params.ICOImageIndex = r.params.CURImageIndex = index;
    if (cursor)
        imaging::ReadCURStream(stream, &r.bitmap, r.params, r.progress, r.mask, noMask, false);
    else
        imaging::ReadICOStream(stream, &r.bitmap, r.params, r.progress, r.mask, noMask, false);
    if (r.abort)
        return;
    Check(r.bitmap.GetWidth() == r.params.Width && r.bitmap.GetHeight() == r.params.Height);
    Check(!r.mask || (r.mask->Width() == r.params.Width && r.mask->Height() == r.params.Height));
    Check(!noMask || !r.mask);
    if (!cursor && !noMask)
        WriteBack(r);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Keeps each run fast; the limits themselves are covered by the unit tests.
    imaging::IEReadMaxImageBytes = 8 << 20;
    imaging::IEPngMaxImageBytes = 8 << 20;
    imaging::IEBmpMaxImageBytes = 8 << 20;
    const int last = size ? data[size - 1] % 8 : 0;
    for (bool cursor : {false, true}) {
        ReadOnce(data, size, cursor, 0, false);
        if (last)
            ReadOnce(data, size, cursor, last, false);
    }
    ReadOnce(data, size, false, last, true);
    return 0;
}
