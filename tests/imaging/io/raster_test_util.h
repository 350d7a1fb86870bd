// Helpers of the PNM, WBMP, TGA and PCX tests: files as byte vectors, a reader or writer run with its
// own abort flag, and pixels as 0xRRGGBB, with the helpers every format test shares.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Endian.h"
#include "platform/rtl/Streams.h"
#include "tests/imaging/io/io_test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace imaging::test {

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline void PutLE16(Bytes& b, std::size_t at, unsigned v) { rtl::StoreLE16(b.data() + at, std::uint16_t(v)); }

// A stream over the bytes, positioned at 0.
inline std::unique_ptr<rtl::TMemoryStream> StreamOf(const Bytes& bytes)
{
    auto m = std::make_unique<rtl::TMemoryStream>();
    if (!bytes.empty())
        m->WriteBuffer(bytes.data(), std::int32_t(bytes.size()));
    m->SetPosition(0);
    return m;
}

// One run of a reader or writer: its parameters, bitmap and abort flag.
struct Job {
    TIEBitmap bitmap;
    TIOParamsVals params{nullptr};
    std::atomic<bool> abort{false};
    TProgressRecord progress;
    Job() { progress.Aborting = &abort; }
};

// The bitmap holds these pixels (0xRRGGBB), left to right and top to bottom.
inline void ExpectPixels(Job& r, const std::vector<std::uint32_t>& pixels, const char* what)
{
    const int w = r.bitmap.GetWidth();
    ASSERT_EQ(std::size_t(w) * r.bitmap.GetHeight(), pixels.size()) << what;
    for (std::size_t i = 0; i < pixels.size(); ++i)
        EXPECT_EQ(Px(r.bitmap, int(i) % w, int(i) / w), pixels[i]) << what << " pixel " << i;
}

// A bitmap of w x h 24-bit pixels from a function of (x, y) giving 0xRRGGBB.
template <class Pixel>
void Fill24(TIEBitmap& b, int w, int h, Pixel pixel)
{
    b.Allocate(w, h, ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = pixel(x, y);
            b.SetPixel24(x, y, TRGB{std::uint8_t(c), std::uint8_t(c >> 8), std::uint8_t(c >> 16)});
        }
}

}  // namespace imaging::test
