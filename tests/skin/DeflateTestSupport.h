// Raw DEFLATE streams from zlib, and test data that drives an inflater through its longest symbol
// sequences.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

namespace test {

// `data` as zlib deflates it raw at `level` with `strategy` and `memLevel`.
inline std::vector<std::uint8_t> ZlibDeflate(const std::vector<std::uint8_t>& data, int level, int strategy,
                                             int memLevel = 8)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, memLevel, strategy), Z_OK);
    std::vector<std::uint8_t> out(deflateBound(&z, static_cast<uLong>(data.size())) + 64);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// One step of data whose symbols a dynamic block codes at very unequal lengths: mostly skewed
// literals and short near copies, and now and then two rare literals followed by a long copy from
// 16 to 32 KiB back, so that rare literal, length and distance codes (12 to 15 bits) with the most
// extra bits come in a row.
inline void FillRareFar(std::vector<std::uint8_t>& b, std::size_t& i, std::mt19937& rng)
{
    const std::size_t size = b.size();
    const std::uint32_t pick = rng() % 256;
    if (i >= 32768 && pick == 0 && i + 2 < size) {
        b[i++] = static_cast<std::uint8_t>(0xF0 | (rng() & 15));
        b[i++] = static_cast<std::uint8_t>(0xE0 | (rng() & 15));
        const std::size_t distance = 16385 + rng() % 16000;
        const std::size_t n = std::min<std::size_t>(227 + rng() % 30, size - i);
        for (std::size_t k = 0; k < n; ++k)
            b[i + k] = b[i + k - distance];
        i += n - 1;
    } else if (i >= 16 && pick < 160) {
        const std::size_t distance = 1 + rng() % 16;
        const std::size_t n = std::min<std::size_t>(3 + rng() % 4, size - i);
        for (std::size_t k = 0; k < n; ++k)
            b[i + k] = b[i + k - distance];
        i += n - 1;
    } else {
        b[i] = static_cast<std::uint8_t>(std::min(std::countr_zero(rng() | 0x8000u), 13) * 16 + (rng() & 7));
    }
}

// `size` bytes of such data from `seed`.
inline std::vector<std::uint8_t> RareFarSample(std::size_t size, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> b(size);
    for (std::size_t i = 0; i < size; ++i)
        FillRareFar(b, i, rng);
    return b;
}

}  // namespace test
