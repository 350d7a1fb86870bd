// PNG files built chunk by chunk, so a test states every byte that matters (a short PLTE, a bKGD
// at some depth, an interlaced image), and the chunks of a file read back.
#pragma once

#include "platform/rtl/Endian.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

namespace imaging::test {

using Bytes = std::vector<std::uint8_t>;

inline void AppendChunk(Bytes& file, const char* type, const Bytes& data, std::uint32_t length)
{
    std::uint8_t head[8];
    rtl::StoreBE32(head, length);
    std::memcpy(head + 4, type, 4);
    file.insert(file.end(), head, head + 8);
    file.insert(file.end(), data.begin(), data.end());
    std::uint32_t crc = crc32(0, head + 4, 4);
    if (!data.empty())  // a null buffer restarts the CRC
        crc = crc32(crc, data.data(), uInt(data.size()));
    std::uint8_t tail[4];
    rtl::StoreBE32(tail, crc);
    file.insert(file.end(), tail, tail + 4);
}

inline void AppendChunk(Bytes& file, const char* type, const Bytes& data)
{
    AppendChunk(file, type, data, std::uint32_t(data.size()));
}

// A PNG of the given header whose image rows (unfiltered, packed as the depth says) are `rows`;
// `extra` chunks come between IHDR and IDAT. Interlaced files take the same rows, split into the
// seven passes here.
struct PngSpec {
    std::uint32_t width = 1, height = 1;
    int depth = 8, colorType = 2, interlace = 0;
    std::vector<std::pair<std::string, Bytes>> extra{};
    std::vector<Bytes> rows{};
    bool end = true;
};

inline int PngChannels(int colorType)
{
    switch (colorType) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
    }
}

inline Bytes BuildPng(const PngSpec& s)
{
    Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr(13, 0);
    rtl::StoreBE32(ihdr.data(), s.width);
    rtl::StoreBE32(ihdr.data() + 4, s.height);
    ihdr[8] = std::uint8_t(s.depth);
    ihdr[9] = std::uint8_t(s.colorType);
    ihdr[12] = std::uint8_t(s.interlace);
    AppendChunk(file, "IHDR", ihdr);
    for (const auto& [type, data] : s.extra)
        AppendChunk(file, type.c_str(), data);
    const int bits = s.depth * PngChannels(s.colorType);
    Bytes raw;
    if (!s.interlace) {
        for (const Bytes& row : s.rows) {
            raw.push_back(0);
            raw.insert(raw.end(), row.begin(), row.end());
        }
    } else {
        // Whole bytes a pixel only: the tests interlace 8-bit images.
        const int bpp = bits / 8;
        const int pass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
        for (const auto& p : pass)
            for (std::uint32_t y = p[1]; y < s.height; y += p[3]) {
                if (std::uint32_t(p[0]) >= s.width)
                    break;
                raw.push_back(0);
                for (std::uint32_t x = p[0]; x < s.width; x += p[2])
                    raw.insert(raw.end(), s.rows[y].begin() + x * bpp, s.rows[y].begin() + (x + 1) * bpp);
            }
    }
    uLongf size = compressBound(uLong(raw.size()));
    Bytes idat(size);
    compress(idat.data(), &size, raw.data(), uLong(raw.size()));
    idat.resize(size);
    AppendChunk(file, "IDAT", idat);
    if (s.end)
        AppendChunk(file, "IEND", {});
    return file;
}

// The data of the first chunk of a type, or empty.
inline Bytes PngChunk(const Bytes& file, const char* type)
{
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const std::uint32_t length = rtl::LoadBE32(file.data() + at);
        if (std::memcmp(file.data() + at + 4, type, 4) == 0 && at + 12 + length <= file.size())
            return Bytes(file.begin() + std::ptrdiff_t(at + 8),
                         file.begin() + std::ptrdiff_t(at + 8 + length));
        at += 12 + std::size_t(length);
    }
    return {};
}

// The image data of a non-interlaced file: every IDAT joined and inflated (filter bytes included).
inline Bytes PngPixels(const Bytes& file, std::size_t expected)
{
    Bytes z;
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const std::uint32_t length = rtl::LoadBE32(file.data() + at);
        if (std::memcmp(file.data() + at + 4, "IDAT", 4) == 0)
            z.insert(z.end(), file.begin() + std::ptrdiff_t(at + 8),
                     file.begin() + std::ptrdiff_t(at + 8 + length));
        at += 12 + std::size_t(length);
    }
    Bytes raw(expected);
    uLongf size = uLongf(expected);
    if (uncompress(raw.data(), &size, z.data(), uLong(z.size())) != Z_OK)
        return {};
    raw.resize(size);
    return raw;
}

}  // namespace imaging::test
