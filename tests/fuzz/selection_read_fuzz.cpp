// Fuzz target: arbitrary bytes as an image view's selection snapshot, read for the image size the
// snapshot itself claims. What a read accepts must write back to the same bytes and read again.
#include "imaging/core/vodiradview.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Snapshots of masks beyond this many pixels are not read, so each run stays small.
    constexpr std::int64_t kMaxPixels = std::int64_t(1) << 22;
    if (size < 8 || size > (std::size_t(1) << 24))
        return 0;
    std::int32_t w, h;
    std::memcpy(&w, data, 4);
    std::memcpy(&h, data + 4, 4);
    if (w < 0 || h < 0 || std::int64_t(w) * h > kMaxPixels)
        return 0;
    rtl::TMemoryStream in;
    in.WriteBuffer(data, std::int32_t(size));
    in.SetPosition(0);
    imaging::TIESelectionPoints points;
    imaging::TIEMask mask;
    bool selected = false;
    if (!imaging::IEReadSelection(in, w, h, points, selected, mask))
        return 0;
    rtl::TMemoryStream out;
    imaging::IEWriteSelection(out, w, h, points, selected, mask);
    out.SetPosition(0);
    imaging::TIESelectionPoints again;
    imaging::TIEMask againMask;
    bool againSelected = false;
    if (!imaging::IEReadSelection(out, w, h, again, againSelected, againMask) ||
        again.Count() != points.Count() || againSelected != selected ||
        againMask.BitsPerPixel() != mask.BitsPerPixel())
        std::abort();
    for (int i = 0; i < points.Count(); ++i)
        if (again[i].X != points[i].X || again[i].Y != points[i].Y)
            std::abort();
    for (int y = 0; y < h && mask.RowLen() > 0; ++y)
        if (std::memcmp(mask.ScanLine(y), againMask.ScanLine(y), std::size_t(mask.RowLen())) != 0)
            std::abort();
    return 0;
}
