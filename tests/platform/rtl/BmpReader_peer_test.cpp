// Tests of the BMP reader against ImageMagick: the reference files and hand-made variants of every
// header, depth, palette, bit-field and RLE kind, decoded by both and compared pixel by pixel.
#include "platform/rtl/BmpReader.h"

#include "tests/platform/rtl/BmpTestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace rtl;
using namespace bmptest;
namespace fs = std::filesystem;

namespace {

// ImageMagick's reading of a BMP file: top-down rows of red, green, blue bytes.
Bytes PeerRgb(const Bytes& file, const std::string& name)
{
    const fs::path path = fs::temp_directory_path() / ("bmpreader_peer_" + name + ".bmp");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    const std::string command =
        std::string("'") + VA_JUDGE_CONVERT + "' 'bmp:" + path.string() + "' -depth 8 rgb:- 2>/dev/null";
    Bytes rgb;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        std::uint8_t buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            rgb.insert(rgb.end(), buffer, buffer + n);
        if (pclose(pipe) != 0)
            rgb.clear();
    }
    fs::remove(path);
    return rgb;
}

// Reproducible filler bytes below `modulo`, so palette indexes stay inside short palettes.
Bytes Filler(std::size_t n, std::uint32_t seed, unsigned modulo = 256)
{
    Bytes b(n);
    for (auto& v : b) {
        seed = seed * 1103515245u + 12345u;
        v = static_cast<std::uint8_t>((seed >> 16) % modulo);
    }
    return b;
}

std::size_t StoredRow(int width, int bits) { return static_cast<std::size_t>((width * bits + 31) / 32 * 4); }

std::vector<std::uint32_t> Palette(std::size_t n, std::uint32_t seed)
{
    std::vector<std::uint32_t> p;
    const Bytes b = Filler(n * 3, seed);
    for (std::size_t i = 0; i < n; ++i)
        p.push_back(static_cast<std::uint32_t>(b[i * 3] << 16 | b[i * 3 + 1] << 8 | b[i * 3 + 2]));
    return p;
}

struct Case {
    std::string Name;
    Bytes File;
    TBmpPixelFormat Format;
    // Channels narrower or wider than 8 bits may be rounded either way; everything else is exact.
    int Tolerance;
};

std::vector<Case> Cases()
{
    std::vector<Case> cases;
    for (const auto& [name, format] : {std::pair{"bw1", bf1bit},
                                       {"pat4", bf4bit},
                                       {"pat8", bf8bit},
                                       {"pat8rle", bf8bit},
                                       {"pat565", bf16bit},
                                       {"pat24", bf24bit},
                                       {"pat24core", bf24bit},
                                       {"pat32", bf32bit}})
        cases.push_back({name, ReadBytes(DataFile(std::string(name) + ".bmp")), format, 0});

    auto add = [&](const std::string& name, const TBmpSpec& spec, TBmpPixelFormat format, int tolerance = 0) {
        cases.push_back({name, MakeBmp(spec), format, tolerance});
    };
    add("core1", {12, 9, 3, 1, kBmpRgb, {}, Palette(2, 1), 0, Filler(StoredRow(9, 1) * 3, 2)}, bf1bit);
    add("core8", {12, 3, 2, 8, kBmpRgb, {}, Palette(256, 3), 0, Filler(StoredRow(3, 8) * 2, 4)}, bf8bit);
    add("topdown4", {40, 5, -3, 4, kBmpRgb, {}, Palette(16, 5), 0, Filler(StoredRow(5, 4) * 3, 6)}, bf4bit);
    add("short8", {40, 3, -3, 8, kBmpRgb, {}, Palette(5, 7), 5, Filler(StoredRow(3, 8) * 3, 8, 5)}, bf8bit);
    add("rgb16", {40, 3, 2, 16, kBmpRgb, {}, {}, 0, Filler(StoredRow(3, 16) * 2, 11)}, bf15bit, 1);
    add("fields565", {40, 3, -2, 16, kBmpBitFields, {0xF800, 0x07E0, 0x001F}, {}, 0, Filler(16, 12)}, bf16bit,
        1);
    add("v2_565", {52, 3, 2, 16, kBmpBitFields, {0xF800, 0x07E0, 0x001F}, {}, 0, Filler(16, 13)}, bf16bit, 1);
    add("v3_bgr555", {56, 3, 2, 16, kBmpBitFields, {0x001F, 0x03E0, 0x7C00}, {}, 0, Filler(16, 14)}, bf24bit,
        1);
    add("v4_rgbx", {108, 3, 2, 32, kBmpBitFields, {0x0000FF, 0x00FF00, 0xFF0000}, {}, 0, Filler(24, 15)},
        bf24bit);
    add("v5_101010",
        {124, 3, 2, 32, kBmpBitFields, {0x3FF00000, 0x000FFC00, 0x000003FF}, {}, 0, Filler(24, 16)}, bf24bit,
        1);
    add("v5_rgb32", {124, 3, -2, 32, kBmpRgb, {}, {}, 0, Filler(24, 17)}, bf32bit);
    add("rgb24", {40, 5, 3, 24, kBmpRgb, {}, {}, 0, Filler(StoredRow(5, 24) * 3, 18)}, bf24bit);
    // Runs, a literal with its pad byte, a move right and an empty row. ImageMagick follows no move
    // up and takes an end of bitmap before the last row's end as an error, and bmptopnm refuses
    // moves altogether, so the unit tests cover those. One line per row, bottom row first.
    // clang-format off
    const Bytes rle8 = {
        3, 1,  0, 3, 2, 3, 1, 0,  0, 0,
        2, 2,  0, 2, 2, 0,  2, 3,  0, 0,
        0, 0,
        4, 2,  0, 0,
        0, 1};
    // The same at 4 bits: alternating nibbles, literals of 7 and 5 nibbles, a move right.
    const Bytes rle4 = {
        7, 0x12,  0, 0,
        0, 7, 0x34, 0x56, 0x78, 0x90,  0, 0,
        3, 0xAB,  0, 2, 2, 0,  2, 0xCD,  0, 0,
        0, 5, 0x12, 0x34, 0x50, 0,  0, 0,
        0, 1};
    // clang-format on
    add("rle8", {40, 6, 4, 8, kBmpRle8, {}, Palette(4, 19), 4, rle8}, bf8bit);
    add("rle4", {40, 7, 4, 4, kBmpRle4, {}, Palette(16, 20), 16, rle4}, bf4bit);
    return cases;
}

}  // namespace

TEST(BmpPeer, EveryKindDecodesAsImageMagickDecodesIt)
{
    for (const Case& k : Cases()) {
        TBmpImage image;
        ASSERT_NO_THROW(image = DecodeBmp(k.File.data(), k.File.size())) << k.Name;
        EXPECT_EQ(image.Header.Format, k.Format) << k.Name;
        const int w = image.Header.Width, h = image.Header.Height;
        const Bytes peer = PeerRgb(k.File, k.Name);
        ASSERT_EQ(peer.size(), static_cast<std::size_t>(w * h * 3))
            << k.Name << ": ImageMagick could not read it";
        int worst = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint32_t ours = ColorAt(image, x, y);
                const std::uint8_t* theirs = &peer[static_cast<std::size_t>((y * w + x) * 3)];
                const int channels[3][2] = {{static_cast<int>(ours >> 16 & 0xFF), theirs[0]},
                                            {static_cast<int>(ours >> 8 & 0xFF), theirs[1]},
                                            {static_cast<int>(ours & 0xFF), theirs[2]}};
                for (const auto& c : channels)
                    worst = std::max(worst, std::abs(c[0] - c[1]));
                ASSERT_LE(worst, k.Tolerance)
                    << k.Name << " at " << x << "," << y << ": ours " << std::hex << ours;
            }
    }
}
