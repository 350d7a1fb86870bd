// Pictures for the tests of the JPEG 2000, PostScript and PDF units, with the helpers every format
// test shares.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/Files.h"
#include "tests/imaging/io/io_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace imaging::test {

// Smooth shapes with edges and a little noise, like a small photograph: hard enough that a lossy
// coder loses something, regular enough that it compresses.
inline void Photo(TIEBitmap& b, int w, int h)
{
    b.Allocate(w, h, ie24RGB);
    std::uint32_t seed = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = int((seed >> 16) % 9) - 4;
            const double u = double(x) / w, v = double(y) / h;
            const double sky = 200 - 120 * v + 20 * std::sin(u * 9);
            const bool disc = (u - 0.6) * (u - 0.6) + (v - 0.55) * (v - 0.55) < 0.05;
            auto clamp = [](double d) { return std::uint8_t(d < 0 ? 0 : d > 255 ? 255 : d); };
            const int r = disc ? 220 : int(sky * 0.6 + 60 * u);
            const int g = disc ? int(90 + 80 * v) : int(sky * 0.8);
            const int bl = disc ? 40 : int(sky + 30 * std::cos(v * 7));
            b.SetPixel24(x, y, TRGB{clamp(bl + noise), clamp(g + noise), clamp(r + noise)});
        }
}

// Black text-like strokes on white: rows of bars with gaps, a frame and a diagonal.
inline void Bilevel(TIEBitmap& b, int w, int h)
{
    b.Allocate(w, h, ie1g);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = b.ScanLine(y);
        for (int x = 0; x < w; ++x) {
            const bool frame = x == 0 || y == 0 || x == w - 1 || y == h - 1;
            const bool bar = (y / 3) % 4 == 1 && (x / 5 + y / 12) % 3 != 0;
            const bool black = frame || bar || x == y;
            if (!black)
                row[x >> 3] |= std::uint8_t(0x80 >> (x & 7));
        }
    }
}

// Random bits, which no coder can shrink.
inline void Noise1(TIEBitmap& b, int w, int h, unsigned seed)
{
    b.Allocate(w, h, ie1g);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = b.ScanLine(y);
        for (int i = 0; i < (w + 7) / 8; ++i) {
            seed = seed * 1103515245u + 12345u;
            row[i] = std::uint8_t(seed >> 16);
        }
    }
}

// The library's grey of a pixel.
inline int Grey(TRGB c) { return (c.r * 21 + c.g * 71 + c.b * 8) / 100; }

inline bool BitAt(TIEBitmap& b, int x, int y) { return (b.ScanLine(y)[x >> 3] >> (7 - (x & 7))) & 1; }

inline std::string HeadOf(const rtl::TMemoryStream& m, std::size_t count)
{
    return std::string(m.Bytes().begin(), m.Bytes().end()).substr(0, count);
}

// Saves the component's image to a temporary file called Name: the file must start with Head and
// its ending must have chosen FileType.
inline void ExpectSavedFile(TVodirAdIO& io, const std::string& Name, int FileType, const std::string& Head)
{
    SCOPED_TRACE(Name);
    const std::string file = rtl::TempFolder() + Name;
    io.SaveToFile(file);
    ASSERT_FALSE(io.AbortFlag);
    rtl::TMemoryStream m;
    m.LoadFromFile(file);
    rtl::RemoveFile(file);
    EXPECT_EQ(HeadOf(m, Head.size()), Head);
    EXPECT_EQ(io.Params().FileType, FileType);
}

// Saves the component's image to a stream of FileType, which must start with Head.
inline void ExpectSavedStream(TVodirAdIO& io, int FileType, const std::string& Head)
{
    rtl::TMemoryStream m;
    io.SaveToStream(m, FileType);
    EXPECT_FALSE(io.AbortFlag);
    EXPECT_EQ(HeadOf(m, Head.size()), Head);
}

}  // namespace imaging::test
