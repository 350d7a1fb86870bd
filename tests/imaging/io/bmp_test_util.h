// A BMP file of a pattern, for the tests that need an image to load rather than a reader to test.
#pragma once

#include "imaging/io/bmpfilt.h"
#include "platform/rtl/Endian.h"
#include "tests/imaging/io/io_test_util.h"

#include <cstdint>
#include <vector>

namespace imaging::test {

// 24 bits, w x h, pixel (x, y) = Pixel(x, y); the resolution in dots per metre (0: none).
template <class Pixel>
std::vector<std::uint8_t> PatternBmp(int w, int h, Pixel pixel, int xPerMetre = 0, int yPerMetre = 0)
{
    TIEBitmap b;
    b.Allocate(w, h, ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetPixel24(x, y, pixel(x, y));
    TIOParamsVals p(nullptr);
    rtl::TMemoryStream m;
    Progress progress;
    WriteBMPStream(m, &b, p, progress.record);
    std::vector<std::uint8_t> file = m.Bytes();
    rtl::StoreLE32(file.data() + 38, std::uint32_t(xPerMetre));
    rtl::StoreLE32(file.data() + 42, std::uint32_t(yPerMetre));
    return file;
}

}  // namespace imaging::test
