// Fuzz target: the GIF reader on arbitrary bytes, every frame in both pixel modes, and the I/O
// component's composition of each, one component stepping from frame to frame as a new one shows
// it. Bad input must end in the abort flag or an image, never a fault; a frame read must have the
// size the parameters report and write back unaborted.
#include "imaging/io/giffilter.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/Streams.h"
#include "tests/fuzz/image_fuzz.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

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
        // One component stepping through the frames shows what a new one shows for each.
        const int frames = std::min(count, 8);
        imaging::TVodirAdIO stepping(nullptr);
        rtl::TReadOnlyMemoryStream stream(data, std::int64_t(size));
        for (int i = 0; i < frames; ++i) {
            stepping.Params().GIFImageIndex = i;
            stream.SetPosition(0);
            stepping.LoadFromStreamType(stream, imaging::ioGIF);
            imaging::TVodirAdIO fresh(nullptr);
            fresh.Params().GIFImageIndex = i;
            stream.SetPosition(0);
            fresh.LoadFromStreamType(stream, imaging::ioGIF);
            Check(stepping.AbortFlag == fresh.AbortFlag);
            if (fresh.AbortFlag)
                break;
            imaging::TIEBitmap& a = *stepping.IEBitmap();
            imaging::TIEBitmap& b = *fresh.IEBitmap();
            Check(a.GetWidth() == b.GetWidth() && a.GetHeight() == b.GetHeight() &&
                  a.HasAlphaChannel() == b.HasAlphaChannel());
            for (int y = 0; y < a.GetHeight(); ++y) {
                Check(std::memcmp(a.ScanLine(y), b.ScanLine(y), std::size_t(a.GetWidth()) * 3) == 0);
                if (a.HasAlphaChannel())
                    Check(std::memcmp(a.GetAlphaChannel()->ScanLine(y), b.GetAlphaChannel()->ScanLine(y),
                                      std::size_t(a.GetWidth())) == 0);
            }
        }
    }
    return 0;
}
