// The string table of both LZW decoders. Every string the table holds was once written to the
// output: the string of the previous code followed by the first byte of the next. So an entry is
// just where that was written and how long it is, and a code is decoded by copying bytes that are
// already there. Single bytes point into kSingles; clear and end codes, and codes not yet defined,
// have length 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace imaging::detail {

constexpr int kLzwMaxCodes = 4096;
// Room past the write position for one whole string and for the 16-byte copies of short ones.
constexpr std::size_t kLzwStringRoom = kLzwMaxCodes + 32;

struct LzwEntry {
    const std::uint8_t* bytes;
    std::uint32_t length;
};

// The single-byte string of each literal code, with room behind for the 16-byte copies.
inline constexpr auto kLzwSingles = [] {
    std::array<std::uint8_t, 256 + 16> a{};
    for (int i = 0; i < 256; ++i)
        a[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    return a;
}();

// Copies a string to the end of the output. The source always ends at or before the write
// position, and a short string is copied as 16 bytes loaded before any is stored.
inline void LzwCopyString(std::uint8_t* dst, const std::uint8_t* src, std::size_t length)
{
    if (length <= 16) {
        std::uint8_t tmp[16];
        std::memcpy(tmp, src, 16);
        std::memcpy(dst, tmp, 16);
    } else {
        std::memcpy(dst, src, length);
    }
}

}  // namespace imaging::detail
