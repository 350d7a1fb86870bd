// BMP files for the reader's tests: the reference files, a writer for hand-made variants, and the
// table of files every BMP reader must refuse (shared by the portable reader's tests and TBitmap's).
#pragma once

#include "platform/rtl/BmpReader.h"
#include "platform/rtl/Endian.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace bmptest {

using Bytes = std::vector<std::uint8_t>;

inline std::string DataFile(const std::string& name)
{
    return std::string(VA_TEST_DATA_DIR) + "/win/bmp/" + name;
}

inline Bytes ReadBytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Writes `v` as `size` (2 or 4) little-endian bytes at `at`, growing `b` when they pass its end.
inline void PutLe(Bytes& b, std::size_t at, std::uint32_t v, int size)
{
    if (b.size() < at + static_cast<std::size_t>(size))
        b.resize(at + static_cast<std::size_t>(size));
    if (size == 2)
        rtl::StoreLE16(&b[at], static_cast<std::uint16_t>(v));
    else
        rtl::StoreLE32(&b[at], v);
}
inline void Put16(Bytes& b, std::uint32_t v) { PutLe(b, b.size(), v, 2); }
inline void Put32(Bytes& b, std::uint32_t v) { PutLe(b, b.size(), v, 4); }

inline Bytes Patch32(Bytes b, std::size_t at, std::uint32_t v)
{
    PutLe(b, at, v, 4);
    return b;
}

inline Bytes Patch16(Bytes b, std::size_t at, std::uint16_t v)
{
    PutLe(b, at, v, 2);
    return b;
}

// A BMP file laid out field by field as the format describes it, so a test can make any variant,
// wrong ones included.
struct TBmpSpec {
    std::uint32_t InfoSize = 40;
    std::int32_t Width = 0;
    std::int32_t Height = 0;  // negative: top-down
    int BitCount = 24;
    std::uint32_t Compression = rtl::kBmpRgb;
    std::vector<std::uint32_t> Masks;    // red, green, blue: inside the header from 52 bytes on,
                                         // after a 40-byte one with bit fields
    std::vector<std::uint32_t> Palette;  // 0x00RRGGBB; three bytes an entry after a core header
    std::uint32_t ClrUsed = 0;
    Bytes Pixels;  // as stored: padded rows, or RLE commands
};

inline Bytes MakeBmp(const TBmpSpec& s)
{
    Bytes dib;
    Put32(dib, s.InfoSize);
    if (s.InfoSize == rtl::kBmpCoreHeaderSize) {
        Put16(dib, static_cast<std::uint32_t>(s.Width));
        Put16(dib, static_cast<std::uint32_t>(s.Height));
        Put16(dib, 1);
        Put16(dib, static_cast<std::uint32_t>(s.BitCount));
    } else {
        Put32(dib, static_cast<std::uint32_t>(s.Width));
        Put32(dib, static_cast<std::uint32_t>(s.Height));
        Put16(dib, 1);
        Put16(dib, static_cast<std::uint32_t>(s.BitCount));
        Put32(dib, s.Compression);
        Put32(dib, static_cast<std::uint32_t>(s.Pixels.size()));
        Put32(dib, 2835);  // 72 dpi
        Put32(dib, 2835);
        Put32(dib, s.ClrUsed);
        Put32(dib, 0);
        const bool inHeader = s.InfoSize >= 52 && s.InfoSize != 64;
        if (inHeader)
            for (std::size_t i = 0; i < 3; ++i)
                Put32(dib, i < s.Masks.size() ? s.Masks[i] : 0);
        dib.resize(s.InfoSize, 0);
        if (!inHeader && s.Compression == rtl::kBmpBitFields)
            for (std::uint32_t m : s.Masks)
                Put32(dib, m);
    }
    for (std::uint32_t c : s.Palette) {
        dib.push_back(static_cast<std::uint8_t>(c));
        dib.push_back(static_cast<std::uint8_t>(c >> 8));
        dib.push_back(static_cast<std::uint8_t>(c >> 16));
        if (s.InfoSize != rtl::kBmpCoreHeaderSize)
            dib.push_back(0);
    }
    Bytes file = {'B', 'M'};
    Put32(file, static_cast<std::uint32_t>(14 + dib.size() + s.Pixels.size()));
    Put32(file, 0);
    Put32(file, static_cast<std::uint32_t>(14 + dib.size()));
    file.insert(file.end(), dib.begin(), dib.end());
    file.insert(file.end(), s.Pixels.begin(), s.Pixels.end());
    return file;
}

// The colour of pixel (x, y), counted from the top, of a decoded image, as 0x00RRGGBB.
inline std::uint32_t ColorAt(const rtl::TBmpImage& image, int x, int y)
{
    const std::uint8_t* row = image.Row(y);
    const auto rgb = [](unsigned r, unsigned g, unsigned b) { return r << 16 | g << 8 | b; };
    const auto entry = [&](unsigned index) {
        const rtl::TBmpColor c =
            index < image.Header.Colors.size() ? image.Header.Colors[index] : rtl::TBmpColor{};
        return rgb(c.Red, c.Green, c.Blue);
    };
    const unsigned p16 = image.Header.BitCount == 16 ? row[x * 2] | row[x * 2 + 1] << 8 : 0;
    switch (image.Header.Format) {
    case rtl::bf1bit: return entry((row[x / 8] >> (7 - x % 8)) & 1);
    case rtl::bf4bit: return entry(x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4);
    case rtl::bf8bit: return entry(row[x]);
    case rtl::bf15bit:
        return rgb((p16 >> 10 & 31) * 255 / 31, (p16 >> 5 & 31) * 255 / 31, (p16 & 31) * 255 / 31);
    case rtl::bf16bit:
        return rgb((p16 >> 11 & 31) * 255 / 31, (p16 >> 5 & 63) * 255 / 63, (p16 & 31) * 255 / 31);
    case rtl::bf24bit: return rgb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
    default: return rgb(row[x * 4 + 2], row[x * 4 + 1], row[x * 4]);
    }
}

// The patterns the reference files were written from (7x5 pixels).
inline std::uint32_t PatternAt(int x, int y)
{
    static constexpr std::uint32_t kColors[8] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00,
                                                 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF};
    return kColors[(x + 2 * y) % 8];
}
inline std::uint32_t BilevelAt(int x, int y) { return (x * y + x) % 2 ? 0xFFFFFF : 0x000000; }
inline std::uint32_t Pattern35At(int x, int y)
{
    const std::uint32_t k = static_cast<std::uint32_t>(x + 7 * y);
    return (k * 7) << 16 | (255 - k * 7) << 8 | 100;
}

struct TBadBmp {
    Bytes File;
    std::string Why;
    // Only a reader that sizes the file from its headers (one reading a stream) can tell.
    bool SizedByStream = false;
};

// Files no reader may accept, each with what is wrong with it.
inline std::vector<TBadBmp> BadBmpFiles()
{
    const Bytes good = ReadBytes(DataFile("pat24.bmp"));  // 7x5, 24 bits, 40-byte header
    const Bytes pal = ReadBytes(DataFile("pat4.bmp"));    // 16 colours
    const Bytes rle = ReadBytes(DataFile("pat8rle.bmp"));
    Bytes noSig = good;
    noSig[0] = 'X';
    // 2x1 1-bit bitmap with the core header: three-byte palette entries, then one padded row.
    const Bytes core = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 32,   0,    0, 0, 12,   0, 0, 0,
                        2,   0,   1, 0, 1, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0x40, 0, 0, 0};
    TBmpSpec gapped{40, 2, 2, 16, rtl::kBmpBitFields, {0xF00F, 0x0F00, 0x00F0}, {}, 0, Bytes(8)};
    TBmpSpec os2Fields{64, 2, 2, 16, rtl::kBmpBitFields, {}, {}, 0, Bytes(8)};
    TBmpSpec rleNoSize{40, 4, 2, 8, rtl::kBmpRle8, {}, {0, 0xFFFFFF}, 2, {4, 1, 0, 0, 4, 1, 0, 1}};
    Bytes rleWithoutSize = MakeBmp(rleNoSize);
    rleWithoutSize = Patch32(Patch32(rleWithoutSize, 34, 0), 2, 14 + 40 + 8);
    return {
        {{}, "empty file"},
        {Bytes(good.begin(), good.begin() + 20), "truncated header"},
        {Bytes(good.begin(), good.end() - 1), "one byte of pixels missing"},
        {noSig, "no BM signature"},
        {Patch32(good, 18, 0), "width 0"},
        {Patch32(good, 18, 0x80000000u), "negative width"},
        {Patch32(good, 22, 0), "height 0"},
        {Patch32(good, 22, 0x80000000u), "height INT32_MIN"},
        {Patch32(good, 18, 0x7FFFFFFF), "width beyond any limit"},
        {Patch32(Patch32(good, 18, 0x7FFFFFFF), 22, 0x7FFFFFFF), "width and height at their maximum"},
        {Patch32(good, 22, 0x40000000), "height beyond the data"},
        {Patch16(good, 28, 7), "7 bits per pixel"},
        {Patch16(good, 28, 0), "0 bits per pixel"},
        {Patch16(good, 26, 2), "two planes"},
        {Patch32(good, 14, 41), "unknown header size"},
        {Patch32(good, 14, 0xFFFFFFF0u), "header size near 4 GB"},
        {Patch32(good, 30, 9), "unknown compression"},
        {Patch32(good, 30, rtl::kBmpRle8), "RLE8 at 24 bits"},
        {Patch32(good, 30, rtl::kBmpBitFields), "bit fields at 24 bits"},
        {Patch32(good, 10, 20), "pixel offset inside the header"},
        {Patch32(good, 10, 0x7FFFFFF0), "pixel offset beyond the end"},
        {Patch32(pal, 10, 14 + 40 + 2), "pixel offset leaving no room for a colour table"},
        {Bytes(pal.begin(), pal.begin() + 14 + 40 + 10), "colour table cut short"},
        {Bytes(core.begin(), core.begin() + 30), "core colour table cut short"},
        {Bytes(rle.begin(), rle.end() - 6), "RLE data cut short"},
        {Patch32(rle, 22, 0xFFFFFFFBu), "top-down RLE"},
        {Bytes(rleWithoutSize.begin(), rleWithoutSize.end() - 2),
         "compressed data of no stated size cut short", true},
        {MakeBmp(gapped), "colour mask with a gap"},
        {MakeBmp(os2Fields), "bit fields in an OS/2 header"},
    };
}

}  // namespace bmptest
