// Fuzz target: the GIF reader on arbitrary bytes, every frame in both pixel modes, and the I/O
// component's composition of the last one. Bad input must end in the abort flag or an image, never
// a fault; a frame read must have the size the parameters report and write back unaborted.
#include "imaging/io/giffilter.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/Streams.h"
#include "tests/fuzz/image_fuzz.h"

#include <cstdint>
#include <cstdlib>

namespace {

using fuzz::Check;
using fuzz::Job;

// The frame count, or -1 when the read aborted.
int ReadFrame(const std::uint8_t* data, std::size_t size, int index, bool native)
{
    rtl::TReadOnlyMemoryStream stream(data, std::int64_t(size));
    Job r;
    r.params.GIFImageIndex = index;
    r.params.NativePixelFormat = native;
    int count = 0;
    imaging::ReadGIFStream(stream, &r.bitmap, count, false, r.mask, false, r.progress, r.params);
    if (r.abort)
        return -1;
    if (r.bitmap.GetWidth() == 0 || r.bitmap.GetHeight() == 0)
        return count;
    Check(r.bitmap.GetWidth() == r.params.Width && r.bitmap.GetHeight() == r.params.Height);
    Check(r.mask && r.mask->Width() == r.params.Width && r.mask->Height() == r.params.Height);
    if (std::int64_t(r.bitmap.GetWidth()) * r.bitmap.GetHeight() <= 4096) {
        rtl::TMemoryStream out;
        // A frame placed past what a screen can hold is refused; the write is judged without that.
        const bool placeable = std::int64_t(r.params.GIFXPos) + r.params.Width <= 65535 &&
                               std::int64_t(r.params.GIFYPos) + r.params.Height <= 65535;
        imaging::WriteGIFStream(out, &r.bitmap, r.params, r.progress);
        Check(r.abort.load() != placeable);
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Keeps each run fast; the limit itself is covered by the unit tests.
    imaging::IEGifMaxImageBytes = 4 << 20;
    const int count = ReadFrame(data, size, 0, false);
    for (int i = 1; i < count && i < 8; ++i)
        ReadFrame(data, size, i, i % 2 == 0);
    if (count > 1) {
        imaging::TVodirAdIO io(nullptr);
        io.Params().GIFImageIndex = std::min(count, 8) - 1;
        rtl::TReadOnlyMemoryStream stream(data, std::int64_t(size));
        io.LoadFromStreamType(stream, imaging::ioGIF);
    }
    return 0;
}
