// Our codecs judged by Debian's libtiff and giflib: what we encode they decode, and the reverse.
#include "imaging/io/giflzw.h"
#include "imaging/io/tifccitt.h"
#include "imaging/io/tiflzw.h"

#include "gif_test_util.h"
#include "tiff_test_util.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <unistd.h>

namespace {

using codectest::BuildTiff;
using codectest::TiffImage;

// Writes a TIFF to a temporary file and reads every strip back with libtiff.
std::vector<std::uint8_t> LibtiffDecode(const TiffImage& img)
{
    char path[] = "/tmp/va_codecs_peer_XXXXXX";
    const int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    const auto bytes = BuildTiff(img);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
    std::vector<std::uint8_t> out;
    TIFF* tif = TIFFOpen(path, "r");
    EXPECT_NE(tif, nullptr);
    if (tif) {
        const tmsize_t stripSize = TIFFStripSize(tif);
        for (tstrip_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
            std::vector<std::uint8_t> buf(static_cast<std::size_t>(stripSize));
            const tmsize_t n = TIFFReadEncodedStrip(tif, s, buf.data(), stripSize);
            EXPECT_GT(n, 0) << "libtiff failed strip " << s;
            if (n > 0)
                out.insert(out.end(), buf.begin(), buf.begin() + n);
        }
        TIFFClose(tif);
    }
    std::remove(path);
    return out;
}

std::vector<std::uint8_t> Noise(std::size_t n, unsigned seed, int mod)
{
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>(mod == 0 ? rng() : (i / 13 + rng() % static_cast<unsigned>(mod)));
    return v;
}

TEST(LibtiffReadsOurLzw, GreyStripsOfNoiseAndRunsDecodeByteExact)
{
    for (int mod : {0, 2, 5}) {
        TiffImage img;
        img.width = 517;
        img.height = 301;
        img.bitsPerSample = 8;
        img.compression = 5;
        img.photometric = 1;
        img.rowsPerStrip = 64;
        const auto pixels =
            Noise(static_cast<std::size_t>(img.width) * img.height, 17u + static_cast<unsigned>(mod), mod);
        for (std::uint32_t y0 = 0; y0 < img.height; y0 += img.rowsPerStrip) {
            rtl::TMemoryStream strip;
            imaging::TIFFLZWEncodeStatePtr state;
            for (std::uint32_t y = y0; y < std::min(img.height, y0 + img.rowsPerStrip); ++y)
                imaging::TIFFLZWCompress(pixels.data() + static_cast<std::size_t>(y) * img.width, img.width,
                                         strip, state);
            imaging::TIFFLZWCompress(nullptr, 0, strip, state);
            img.strips.push_back(strip.Bytes());
        }
        EXPECT_TRUE(LibtiffDecode(img) == pixels) << "mod " << mod;
    }
}

enum class Coding { Huffman, G3_1D, G3_2D, G4 };

class LibtiffReadsOurCcitt : public ::testing::TestWithParam<Coding> {};

TEST_P(LibtiffReadsOurCcitt, EveryPixelMatches)
{
    std::mt19937 rng(99);
    for (std::uint32_t width : {1u, 9u, 64u, 203u, 1728u, 3001u}) {
        TiffImage img;
        img.width = width;
        img.height = 50;
        img.rowsPerStrip = 16;
        img.photometric = 0;  // 1 bits are black, as our encoders take them
        const Coding c = GetParam();
        img.compression = c == Coding::Huffman ? 2 : c == Coding::G4 ? 4 : 3;
        img.t4Options = c == Coding::G3_2D ? 1 : 0;
        const std::size_t rb = img.RowBytes();
        std::vector<std::uint8_t> pixels(rb * img.height, 0);
        for (std::uint32_t y = 0; y < img.height; ++y) {
            std::uint32_t x = 0;
            int colour = static_cast<int>(rng() % 2);
            const unsigned maxRun = y % 3 == 0 ? 3000 : y % 3 == 1 ? 4 : 70;
            while (x < width) {
                const std::uint32_t run = 1 + rng() % maxRun;
                for (std::uint32_t i = 0; i < run && x < width; ++i, ++x)
                    if (colour)
                        pixels[y * rb + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
                colour ^= 1;
            }
        }
        for (std::uint32_t y0 = 0; y0 < img.height; y0 += img.rowsPerStrip) {
            rtl::TMemoryStream strip;
            imaging::TCCITTEncodeState state;
            for (std::uint32_t y = y0; y < std::min(img.height, y0 + img.rowsPerStrip); ++y) {
                const std::uint8_t* row = pixels.data() + y * rb;
                switch (c) {
                case Coding::Huffman:
                    imaging::CCITTEncodeHuffmanRow(row, static_cast<std::int32_t>(width), strip);
                    break;
                case Coding::G3_1D:
                    imaging::CCITTEncodeG3Row1D(row, static_cast<std::int32_t>(width), strip, state);
                    break;
                case Coding::G3_2D:
                    imaging::CCITTEncodeG3Row(row, static_cast<std::int32_t>(width), strip, state);
                    break;
                case Coding::G4:
                    imaging::CCITTEncodeG4Row(row, static_cast<std::int32_t>(width), strip, state);
                    break;
                }
            }
            if (c == Coding::G3_1D)
                imaging::CCITTEncodeG3Row1D(nullptr, static_cast<std::int32_t>(width), strip, state);
            if (c == Coding::G3_2D)
                imaging::CCITTEncodeG3Row(nullptr, static_cast<std::int32_t>(width), strip, state);
            if (c == Coding::G4)
                imaging::CCITTEncodeG4Row(nullptr, static_cast<std::int32_t>(width), strip, state);
            img.strips.push_back(strip.Bytes());
        }
        const auto decoded = LibtiffDecode(img);
        ASSERT_EQ(decoded.size(), pixels.size()) << "width " << width;
        for (std::uint32_t y = 0; y < img.height; ++y)
            for (std::uint32_t x = 0; x < width; ++x)
                ASSERT_EQ((decoded[y * rb + x / 8] >> (7 - x % 8)) & 1,
                          (pixels[y * rb + x / 8] >> (7 - x % 8)) & 1)
                    << "width " << width << " row " << y << " column " << x;
    }
}

INSTANTIATE_TEST_SUITE_P(Codings, LibtiffReadsOurCcitt,
                         ::testing::Values(Coding::Huffman, Coding::G3_1D, Coding::G3_2D, Coding::G4));

// Whole GIF around one image's LZW data, with a grey palette of 1 << bits entries.
std::vector<std::uint8_t> WrapGif(const std::vector<std::uint8_t>& lzw, int w, int h, int bits,
                                  bool interlaced)
{
    std::vector<std::uint8_t> f{'G',
                                'I',
                                'F',
                                '8',
                                '9',
                                'a',
                                static_cast<std::uint8_t>(w),
                                static_cast<std::uint8_t>(w >> 8),
                                static_cast<std::uint8_t>(h),
                                static_cast<std::uint8_t>(h >> 8),
                                static_cast<std::uint8_t>(0x80 | (bits - 1)),
                                0,
                                0};
    for (int i = 0; i < (1 << bits); ++i)
        f.insert(f.end(),
                 {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i)});
    f.insert(f.end(), {0x2C, 0, 0, 0, 0, static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(w >> 8),
                       static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(h >> 8),
                       static_cast<std::uint8_t>(interlaced ? 0x40 : 0)});
    f.insert(f.end(), lzw.begin(), lzw.end());
    f.push_back(0x3B);
    return f;
}

struct MemReader {
    const std::vector<std::uint8_t>* data;
    std::size_t pos = 0;
};

int ReadMem(GifFileType* gif, GifByteType* buf, int n)
{
    auto* m = static_cast<MemReader*>(gif->UserData);
    const std::size_t k = std::min<std::size_t>(static_cast<std::size_t>(n), m->data->size() - m->pos);
    std::memcpy(buf, m->data->data() + m->pos, k);
    m->pos += k;
    return static_cast<int>(k);
}

// giflib's raster, rows in display order (DGifSlurp undoes the interlacing).
std::vector<std::uint8_t> GiflibDecode(const std::vector<std::uint8_t>& file)
{
    MemReader m{&file};
    int err = 0;
    GifFileType* gif = DGifOpen(&m, ReadMem, &err);
    EXPECT_NE(gif, nullptr);
    if (!gif)
        return {};
    EXPECT_EQ(DGifSlurp(gif), GIF_OK);
    std::vector<std::uint8_t> out;
    if (gif->ImageCount > 0) {
        const SavedImage& im = gif->SavedImages[0];
        const int w = im.ImageDesc.Width, h = im.ImageDesc.Height;
        out.assign(im.RasterBits, im.RasterBits + static_cast<std::size_t>(w) * h);
    }
    DGifCloseFile(gif, &err);
    return out;
}

TEST(GiflibReadsOurGifLzw, EveryDepthInterlacedOrNot)
{
    for (int bits = 1; bits <= 8; ++bits) {
        for (bool interlaced : {false, true}) {
            const int w = 233, h = 149;
            auto px = Noise(static_cast<std::size_t>(w * h), static_cast<unsigned>(bits), 0);
            for (auto& p : px)
                p = static_cast<std::uint8_t>(p & ((1 << bits) - 1));
            rtl::TMemoryStream lzw;
            imaging::GIFLZWCompress(lzw, h, w, bits, px.data(), interlaced);
            EXPECT_TRUE(GiflibDecode(WrapGif(lzw.Bytes(), w, h, bits, interlaced)) == px)
                << bits << " " << interlaced;
        }
    }
}

int WriteMem(GifFileType* gif, const GifByteType* buf, int n)
{
    auto* v = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    v->insert(v->end(), buf, buf + n);
    return n;
}

TEST(OurGifLzwReadsGiflib, EncodedImagesDecodeExactly)
{
    for (int bits : {1, 3, 8}) {
        for (bool interlaced : {false, true}) {
            const int w = 190, h = 77;
            auto px =
                Noise(static_cast<std::size_t>(w * h), 5u + static_cast<unsigned>(bits), bits == 8 ? 0 : 3);
            for (auto& p : px)
                p = static_cast<std::uint8_t>(p & ((1 << bits) - 1));
            std::vector<std::uint8_t> file;
            int err = 0;
            GifFileType* gif = EGifOpen(&file, WriteMem, &err);
            ASSERT_NE(gif, nullptr);
            ColorMapObject* map = GifMakeMapObject(1 << bits, nullptr);
            ASSERT_EQ(EGifPutScreenDesc(gif, w, h, bits, 0, map), GIF_OK);
            ASSERT_EQ(EGifPutImageDesc(gif, 0, 0, w, h, interlaced, nullptr), GIF_OK);
            const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
            for (int p = 0; p < (interlaced ? 4 : 1); ++p)
                for (int y = interlaced ? start[p] : 0; y < h; y += interlaced ? step[p] : 1)
                    ASSERT_EQ(EGifPutLine(gif, px.data() + static_cast<std::size_t>(y) * w, w), GIF_OK);
            EGifCloseFile(gif, &err);
            GifFreeMapObject(map);
            const auto parsed = codectest::ParseGif(file);
            rtl::TReadOnlyMemoryStream in(file.data(), static_cast<std::int64_t>(file.size()));
            in.SetPosition(static_cast<std::int64_t>(parsed.dataOffset));
            std::vector<std::uint8_t> out(px.size());
            ASSERT_TRUE(imaging::GIFLZWDecompress(in, h, w, out.data(), interlaced));
            EXPECT_TRUE(out == px) << bits << " " << interlaced;
        }
    }
}

TEST(GiflibAgrees, FrozenTableDataDecodeTheSameInBoth)
{
    const int w = 400, h = 300;
    const auto px = Noise(static_cast<std::size_t>(w * h), 77, 0);
    const auto lzw = codectest::ReferenceGifLzw(px, 8, true);
    EXPECT_TRUE(GiflibDecode(WrapGif(lzw, w, h, 8, false)) == px);
    rtl::TReadOnlyMemoryStream in(lzw.data(), static_cast<std::int64_t>(lzw.size()));
    std::vector<std::uint8_t> out(px.size());
    ASSERT_TRUE(imaging::GIFLZWDecompress(in, h, w, out.data(), false));
    EXPECT_TRUE(out == px);
}

TEST(OurTiffLzwReadsLibtiff, LibtiffEncodedStripsDecodeByteExact)
{
    char path[] = "/tmp/va_codecs_lzw_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    const std::uint32_t w = 411, h = 150, rps = 40;
    const auto px = Noise(static_cast<std::size_t>(w) * h, 8, 0);
    TIFF* tif = TIFFOpen(path, "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rps);
    for (std::uint32_t y = 0; y < h; ++y)
        ASSERT_EQ(TIFFWriteScanline(tif, const_cast<std::uint8_t*>(px.data() + y * w), y, 0), 1);
    TIFFClose(tif);
    const auto img = codectest::ParseTiff(codectest::ReadFile(path));
    std::remove(path);
    std::vector<std::uint8_t> out;
    for (std::size_t s = 0; s < img.strips.size(); ++s) {
        imaging::TIFFLZWDecodeStatePtr state;
        for (std::uint32_t r = 0; r < img.RowsInStrip(s); ++r) {
            std::int32_t got = 0;
            const auto* row = imaging::TIFFLZWDecompress(img.strips[s].data(),
                                                         static_cast<std::int64_t>(img.strips[s].size()),
                                                         static_cast<std::int32_t>(w), state, &got);
            ASSERT_NE(row, nullptr);
            ASSERT_EQ(got, static_cast<std::int32_t>(w));
            out.insert(out.end(), row, row + got);
        }
    }
    EXPECT_TRUE(out == px);
}

}  // namespace
