// Tests of the GIF LZW codec: GIFs ImageMagick wrote, our own round trips, and hostile data.
#include "imaging/io/giflzw.h"

#include "gif_test_util.h"
#include "tiff_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using codectest::DataPath;
using codectest::ParseGif;
using codectest::ReadFile;
using codectest::ReferenceGifLzw;

std::vector<std::uint8_t> Encode(const std::vector<std::uint8_t>& pixels, int w, int h, int bits,
                                 bool interlaced)
{
    rtl::TMemoryStream out;
    imaging::GIFLZWCompress(out, h, w, bits, pixels.data(), interlaced);
    return out.Bytes();
}

bool Decode(const std::vector<std::uint8_t>& data, int w, int h, bool interlaced,
            std::vector<std::uint8_t>& pixels, std::int64_t* endPos = nullptr, std::int64_t startPos = 0)
{
    rtl::TReadOnlyMemoryStream in(data.data(), static_cast<std::int64_t>(data.size()));
    in.SetPosition(startPos);
    pixels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0xEE);
    const bool ok = imaging::GIFLZWDecompress(in, h, w, pixels.data(), interlaced);
    if (endPos)
        *endPos = in.Position();
    return ok;
}

std::vector<std::uint8_t> Noise(std::size_t n, int bits, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& x : v)
        x = static_cast<std::uint8_t>(rng() & ((1u << bits) - 1));
    return v;
}

class ImageMagickGifs : public ::testing::TestWithParam<const char*> {};

TEST_P(ImageMagickGifs, DecodeToThePixelsImageMagickShows)
{
    const std::string name = GetParam();
    const auto file = ReadFile(DataPath(name + ".gif"));
    const auto rgb = ReadFile(DataPath(name + ".rgb"));
    const auto gif = ParseGif(file);
    std::vector<std::uint8_t> pixels;
    std::int64_t endPos = 0;
    ASSERT_TRUE(Decode(file, gif.width, gif.height, gif.interlaced, pixels, &endPos,
                       static_cast<std::int64_t>(gif.dataOffset)));
    ASSERT_EQ(rgb.size(), pixels.size() * 3);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const std::size_t p = pixels[i] * 3u;
        ASSERT_LT(p + 2, gif.palette.size()) << "pixel " << i;
        ASSERT_TRUE(gif.palette[p] == rgb[i * 3] && gif.palette[p + 1] == rgb[i * 3 + 1] &&
                    gif.palette[p + 2] == rgb[i * 3 + 2])
            << "pixel " << i;
    }
    // Left after the terminator: the trailer follows.
    ASSERT_LT(static_cast<std::size_t>(endPos), file.size());
    EXPECT_EQ(file[static_cast<std::size_t>(endPos)], 0x3B);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ImageMagickGifs,
                         ::testing::Values("noise256", "checker2", "interlaced16", "interlaced_h2"));

TEST(GifLzwRoundTrip, EveryDepthAndShapeSurvives)
{
    for (int bits = 1; bits <= 8; ++bits) {
        for (auto [w, h] : {std::pair{1, 1}, std::pair{17, 3}, std::pair{300, 211}}) {
            for (bool interlaced : {false, true}) {
                const auto px =
                    Noise(static_cast<std::size_t>(w * h), bits, static_cast<unsigned>(bits * 31 + w));
                std::vector<std::uint8_t> out;
                const auto data = Encode(px, w, h, bits, interlaced);
                ASSERT_EQ(data[0], std::max(bits, 2));
                std::int64_t end = 0;
                ASSERT_TRUE(Decode(data, w, h, interlaced, out, &end));
                EXPECT_EQ(end, static_cast<std::int64_t>(data.size()));
                EXPECT_EQ(out, px) << bits << " bits " << w << "x" << h << (interlaced ? " interlaced" : "");
            }
        }
    }
}

TEST(GifLzwRoundTrip, InterlacedImagesOfOneAndTwoRowsDecodeEveryRow)
{
    for (int h : {1, 2, 3, 5, 9}) {
        const auto px = Noise(static_cast<std::size_t>(7 * h), 4, static_cast<unsigned>(h));
        std::vector<std::uint8_t> out;
        ASSERT_TRUE(Decode(Encode(px, 7, h, 4, true), 7, h, true, out));
        EXPECT_EQ(out, px) << h;
    }
}

TEST(GifLzwEncoder, SubBlocksNeverExceed254BytesAndEndWithTerminator)
{
    const auto data = Encode(Noise(100000, 8, 9), 400, 250, 8, false);
    std::size_t p = 1;
    while (data[p] != 0) {
        EXPECT_LE(data[p], 254);
        p += data[p] + 1u;
        ASSERT_LT(p, data.size());
    }
    EXPECT_EQ(p + 1, data.size());
}

TEST(GifLzwDecoder, FullTableStaysFrozenUntilTheNextClearCode)
{
    const auto px = Noise(120000, 8, 5);
    const auto data = ReferenceGifLzw(px, 8, true);
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(Decode(data, 400, 300, false, out));
    EXPECT_EQ(out, px);
}

TEST(GifLzwDecoder, DataEndingOnAFrozenTableWithoutEndCodeFailsAndRewinds)
{
    const auto px = Noise(120000, 8, 5);
    auto data = ReferenceGifLzw(px, 8, true);
    // Drop the last sub-block (with the end code) but keep the terminator.
    std::size_t p = 1, last = 1;
    while (data[p] != 0) {
        last = p;
        p += data[p] + 1u;
    }
    data.erase(data.begin() + static_cast<std::ptrdiff_t>(last), data.end() - 1);
    std::vector<std::uint8_t> prefix{0xAA, 0xBB};
    data.insert(data.begin(), prefix.begin(), prefix.end());
    std::vector<std::uint8_t> out;
    std::int64_t end = -1;
    EXPECT_FALSE(Decode(data, 400, 300, false, out, &end, 2));
    EXPECT_EQ(end, 2);
}

// Codes of `width` bits, least significant bit first, in one sub-block after the code size byte.
std::vector<std::uint8_t> PackCodes(int codeSize, int width, std::initializer_list<int> codes)
{
    std::vector<std::uint8_t> bits;
    std::uint32_t acc = 0;
    int accBits = 0;
    for (const int code : codes) {
        acc |= static_cast<std::uint32_t>(code) << accBits;
        for (accBits += width; accBits >= 8; accBits -= 8, acc >>= 8)
            bits.push_back(static_cast<std::uint8_t>(acc));
    }
    if (accBits > 0)
        bits.push_back(static_cast<std::uint8_t>(acc));
    std::vector<std::uint8_t> data{static_cast<std::uint8_t>(codeSize),
                                   static_cast<std::uint8_t>(bits.size())};
    data.insert(data.end(), bits.begin(), bits.end());
    data.push_back(0);
    return data;
}

// Code size 9 (clear 512, end 513, 10-bit codes) decodes like any other; a literal past 255, which
// no byte index can be, fails the image rather than being cut to its low byte.
TEST(GifLzwDecoder, CodeSizeNineIsDecoded)
{
    std::vector<std::uint8_t> out;
    std::int64_t end = -1;
    const auto data = PackCodes(9, 10, {512, 200, 514, 201, 513});  // 200, "200 200", 201
    ASSERT_TRUE(Decode(data, 4, 1, false, out, &end));
    EXPECT_EQ(out, (std::vector<std::uint8_t>{200, 200, 200, 201}));
    EXPECT_EQ(end, static_cast<std::int64_t>(data.size()));

    const auto wide = PackCodes(9, 10, {512, 200, 300, 513});
    EXPECT_FALSE(Decode(wide, 2, 1, false, out, &end));
    EXPECT_EQ(end, 0);
}

TEST(GifLzwDecoder, RejectsCodeSizesOutsideTwoToNine)
{
    for (std::uint8_t size : {0, 1, 10, 12, 255}) {
        const std::vector<std::uint8_t> data{size, 1, 0x00, 0};
        std::vector<std::uint8_t> out;
        std::int64_t end = -1;
        EXPECT_FALSE(Decode(data, 2, 2, false, out, &end)) << int(size);
        EXPECT_EQ(end, 0);
    }
}

TEST(GifLzwDecoder, RejectsCodePastTheNextFreeCode)
{
    // Code size 2: clear 4, end 5, first free 6. Codes (3 bits, LSB first): 4, 1, 7.
    const std::uint32_t bits = 4u | (1u << 3) | (7u << 6);
    const std::vector<std::uint8_t> data{2, 2, static_cast<std::uint8_t>(bits & 0xFF),
                                         static_cast<std::uint8_t>(bits >> 8), 0};
    std::vector<std::uint8_t> out;
    std::int64_t end = -1;
    EXPECT_FALSE(Decode(data, 4, 1, false, out, &end));
    EXPECT_EQ(end, 0);
}

TEST(GifLzwDecoder, RepeatedClearCodesAndMissingEndCodeStillDecode)
{
    // Code size 2: 4 4 4 then 1 2 6 (6 = "12"), data ending without end code.
    int codes[] = {4, 4, 4, 1, 2, 6};
    std::uint32_t acc = 0;
    int n = 0;
    for (int c : codes) {
        acc |= static_cast<std::uint32_t>(c) << n;
        n += 3;
    }
    std::vector<std::uint8_t> data{2,
                                   3,
                                   static_cast<std::uint8_t>(acc),
                                   static_cast<std::uint8_t>(acc >> 8),
                                   static_cast<std::uint8_t>(acc >> 16),
                                   0};
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(Decode(data, 4, 1, false, out));
    EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 2, 1, 2}));
}

TEST(GifLzwDecoder, SurplusPixelsAreDroppedNotWrittenPastTheImage)
{
    const auto px = Noise(1000, 8, 3);
    const auto data = Encode(px, 50, 20, 8, false);
    std::vector<std::uint8_t> out(50 * 5 + 16, 0x5A);
    rtl::TReadOnlyMemoryStream in(data.data(), static_cast<std::int64_t>(data.size()));
    ASSERT_TRUE(imaging::GIFLZWDecompress(in, 5, 50, out.data(), false));
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 250, px.begin()));
    for (std::size_t i = 250; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0x5A);
}

// Data that stop before the image is filled, cut inside a sub-block or ending in an early
// terminator, fail and rewind, plain or interlaced; an end code that comes early is the writer's
// word that the rest is left as it is.
TEST(GifLzwDecoder, DataEndingBeforeTheLastPixelWithoutEndCodeFailAndRewind)
{
    const auto px = Noise(500, 4, 1);
    for (bool interlaced : {false, true}) {
        const auto whole = Encode(px, 25, 20, 4, interlaced);
        for (std::size_t keep :
             {whole.size() / 6, whole.size() / 3, whole.size() / 2, whole.size() * 5 / 6, whole.size() - 4}) {
            auto cut = whole;
            cut.resize(keep);
            std::vector<std::uint8_t> prefix{0x2C, 0x01};
            cut.insert(cut.begin(), prefix.begin(), prefix.end());
            std::vector<std::uint8_t> out;
            std::int64_t end = -1;
            EXPECT_FALSE(Decode(cut, 25, 20, interlaced, out, &end, 2))
                << keep << (interlaced ? " interlaced" : "");
            EXPECT_EQ(end, 2);
            // The codes before the cut in sound sub-blocks with their terminator: still short.
            std::vector<std::uint8_t> codes;
            for (std::size_t p = 1; p < keep && whole[p] != 0; p += whole[p] + 1u)
                codes.insert(codes.end(), whole.begin() + std::ptrdiff_t(p + 1),
                             whole.begin() + std::ptrdiff_t(std::min<std::size_t>(keep, p + 1 + whole[p])));
            std::vector<std::uint8_t> closed{whole[0]};
            for (std::size_t at = 0; at < codes.size(); at += 255) {
                const std::size_t n = std::min<std::size_t>(255, codes.size() - at);
                closed.push_back(static_cast<std::uint8_t>(n));
                closed.insert(closed.end(), codes.begin() + std::ptrdiff_t(at),
                              codes.begin() + std::ptrdiff_t(at + n));
            }
            closed.push_back(0);
            EXPECT_FALSE(Decode(closed, 25, 20, interlaced, out, &end)) << keep;
            EXPECT_EQ(end, 0);
        }
    }

    // Code size 2: clear, 1, 2, end: two of four pixels, the rest as they were.
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(Decode(PackCodes(2, 3, {4, 1, 2, 5}), 4, 1, false, out));
    EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 2, 0xEE, 0xEE}));
}

}  // namespace
