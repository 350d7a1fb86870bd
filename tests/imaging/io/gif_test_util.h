// GIF helpers for the codec tests: find the image data in a GIF file, and a plain map-based LZW
// encoder that can defer its clear code (keeping a full table frozen), as some writers do.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <utility>
#include <vector>

namespace codectest {

struct GifImage {
    int width = 0;
    int height = 0;
    bool interlaced = false;
    std::vector<std::uint8_t> palette;  // RGB triplets
    std::size_t dataOffset = 0;         // the code size byte
};

inline GifImage ParseGif(const std::vector<std::uint8_t>& f)
{
    GifImage g;
    std::size_t p = 13;
    if (f.size() < p)
        throw std::runtime_error("short gif");
    if (f[10] & 0x80) {
        const std::size_t n = std::size_t{3} << ((f[10] & 7) + 1);
        g.palette.assign(f.begin() + 13, f.begin() + 13 + n);
        p += n;
    }
    while (p < f.size()) {
        if (f[p] == 0x21) {
            p += 2;
            while (p < f.size() && f[p] != 0)
                p += f[p] + 1u;
            ++p;
        } else if (f[p] == 0x2C) {
            g.width = f[p + 5] | (f[p + 6] << 8);
            g.height = f[p + 7] | (f[p + 8] << 8);
            const std::uint8_t flags = f[p + 9];
            g.interlaced = (flags & 0x40) != 0;
            p += 10;
            if (flags & 0x80) {
                const std::size_t n = std::size_t{3} << ((flags & 7) + 1);
                g.palette.assign(f.begin() + static_cast<std::ptrdiff_t>(p),
                                 f.begin() + static_cast<std::ptrdiff_t>(p + n));
                p += n;
            }
            g.dataOffset = p;
            return g;
        } else {
            break;
        }
    }
    throw std::runtime_error("no image in gif");
}

// Straightforward LZW with sub-blocks; with deferClear it never clears, so once 4096 codes
// exist the table stays frozen and codes stay 12 bits wide.
inline std::vector<std::uint8_t> ReferenceGifLzw(const std::vector<std::uint8_t>& pixels, int codeSize,
                                                 bool deferClear)
{
    std::vector<std::uint8_t> bytes;
    std::uint32_t acc = 0;
    int accBits = 0;
    int width = codeSize + 1;
    const int clear = 1 << codeSize;
    int next = clear + 2;
    std::map<std::pair<int, int>, int> table;
    auto put = [&](int code) {
        acc |= static_cast<std::uint32_t>(code) << accBits;
        accBits += width;
        while (accBits >= 8) {
            bytes.push_back(static_cast<std::uint8_t>(acc & 0xFF));
            acc >>= 8;
            accBits -= 8;
        }
    };
    put(clear);
    int prefix = -1;
    for (std::uint8_t px : pixels) {
        if (prefix < 0) {
            prefix = px;
            continue;
        }
        auto it = table.find({prefix, px});
        if (it != table.end()) {
            prefix = it->second;
            continue;
        }
        put(prefix);
        if (next < 4096) {
            table[{prefix, px}] = next++;
            // The reader widens when its table (one entry behind) reaches the limit.
            if (next > (1 << width) && width < 12)
                ++width;
        } else if (!deferClear) {
            put(clear);
            table.clear();
            next = clear + 2;
            width = codeSize + 1;
        }
        prefix = px;
    }
    if (prefix >= 0)
        put(prefix);
    put(clear + 1);
    if (accBits > 0)
        bytes.push_back(static_cast<std::uint8_t>(acc & 0xFF));
    std::vector<std::uint8_t> out{static_cast<std::uint8_t>(codeSize)};
    for (std::size_t at = 0; at < bytes.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, bytes.size() - at);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                   bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    out.push_back(0);
    return out;
}

}  // namespace codectest
