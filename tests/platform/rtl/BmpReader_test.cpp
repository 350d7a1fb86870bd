// Tests of the portable BMP reader: the reference files, header variants, palettes, bit fields and
// RLE; decoding into a caller's rows; refusal of bad and mutated files on the stream and buffer paths.
#include "platform/rtl/BmpReader.h"

#include "tests/platform/rtl/BmpTestFiles.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace rtl;
using namespace bmptest;

namespace {

// The road TBitmap takes: size the file from a stream, then decode it.
TBmpImage ReadFromStream(const Bytes& bytes, std::int64_t* consumed = nullptr)
{
    TReadOnlyMemoryStream s(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    const Bytes file = ReadBmpFile(s);
    if (consumed)
        *consumed = s.Position();
    return DecodeBmp(file.data(), file.size());
}

TBmpImage FromBytes(const Bytes& bytes) { return DecodeBmp(bytes.data(), bytes.size()); }

}  // namespace

// --- reads ---

TEST(BmpRead, ReferenceFilesKeepTheirPixelsAndFormat)
{
    struct Case {
        const char* File;
        TBmpPixelFormat Format;
        std::uint32_t InfoSize;
        std::size_t Colors;
        std::uint32_t (*At)(int, int);
    };
    const Case cases[] = {
        {"bw1.bmp", bf1bit, 40, 2, BilevelAt},        {"pat4.bmp", bf4bit, 40, 16, PatternAt},
        {"pat8.bmp", bf8bit, 40, 256, Pattern35At},   {"pat8rle.bmp", bf8bit, 40, 256, Pattern35At},
        {"pat565.bmp", bf16bit, 124, 0, PatternAt},   {"pat24.bmp", bf24bit, 40, 0, PatternAt},
        {"pat24core.bmp", bf24bit, 12, 0, PatternAt}, {"pat32.bmp", bf32bit, 124, 0, PatternAt},
    };
    for (const auto& k : cases) {
        const Bytes bytes = ReadBytes(DataFile(k.File));
        std::int64_t consumed = 0;
        TBmpImage image;
        ASSERT_NO_THROW(image = ReadFromStream(bytes, &consumed)) << k.File;
        EXPECT_EQ(consumed, static_cast<std::int64_t>(bytes.size()))
            << k.File << ": the reader consumes the file";
        EXPECT_EQ(image.Header.Format, k.Format) << k.File;
        EXPECT_EQ(image.Header.InfoSize, k.InfoSize) << k.File;
        EXPECT_EQ(image.Header.Colors.size(), k.Colors) << k.File;
        ASSERT_EQ(image.Header.Width, 7) << k.File;
        ASSERT_EQ(image.Header.Height, 5) << k.File;
        EXPECT_EQ(image.Header.RowLength % 4, 0) << k.File;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(ColorAt(image, x, y), k.At(x, y)) << k.File << " at " << x << "," << y;
        // The same bytes without the file header are a packed DIB with the same pixels, unless
        // the file put its pixels away from the table.
        const TBmpHeader dib = ReadDibHeader(bytes.data() + 14, bytes.size() - 14);
        if (dib.PixelOffset + 14 == image.Header.PixelOffset) {
            const TBmpImage packed = DecodeDib(bytes.data() + 14, bytes.size() - 14);
            EXPECT_EQ(packed.Pixels, image.Pixels) << k.File;
        }
    }
}

TEST(BmpRead, ReadsTopDownAndUnusualBitFields)
{
    // 2x2 top-down 16-bit 4:4:4 bit fields, written by hand: file header, info header (2 x -2,
    // 16 bits, bit fields), the three masks, then the rows (red, green; blue, white).
    // clang-format off
    const Bytes f = {
        'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 66, 0, 0, 0,
        40, 0, 0, 0, 2, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 16, 0, 3, 0, 0, 0,
        8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0x00, 0x0F, 0, 0, 0xF0, 0, 0, 0, 0x0F, 0, 0, 0,
        0x00, 0x0F, 0xF0, 0x00,
        0x0F, 0x00, 0xFF, 0x0F};
    // clang-format on
    const TBmpImage b = FromBytes(f);
    EXPECT_TRUE(b.Header.TopDown);
    EXPECT_EQ(b.Header.Format, bf24bit);
    EXPECT_EQ(ColorAt(b, 0, 0), 0xFF0000u);
    EXPECT_EQ(ColorAt(b, 1, 0), 0x00FF00u);
    EXPECT_EQ(ColorAt(b, 0, 1), 0x0000FFu);
    EXPECT_EQ(ColorAt(b, 1, 1), 0xFFFFFFu);
}

TEST(BmpRead, ColourTablesOfBothEntrySizesAreRead)
{
    // 2x1 1-bit bitmap with the 12-byte core header: three-byte entries, red then blue.
    const Bytes core = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 32,   0,    0, 0, 12,   0, 0, 0,
                        2,   0,   1, 0, 1, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0x40, 0, 0, 0};
    const TBmpImage b = FromBytes(core);
    EXPECT_EQ(b.Header.Width, 2);
    EXPECT_EQ(b.Header.Height, 1);
    EXPECT_EQ(ColorAt(b, 0, 0), 0xFF0000u);
    EXPECT_EQ(ColorAt(b, 1, 0), 0x0000FFu);

    // The same through a 40-byte header: four-byte entries, and a short table of 2 for 8 bits.
    const Bytes info = MakeBmp({40, 2, 1, 8, kBmpRgb, {}, {0xFF0000, 0x0000FF}, 2, {1, 0, 0, 0}});
    const TBmpImage c = FromBytes(info);
    ASSERT_EQ(c.Header.Colors.size(), 2u);
    EXPECT_EQ(ColorAt(c, 0, 0), 0x0000FFu);
    EXPECT_EQ(ColorAt(c, 1, 0), 0xFF0000u);

    // The 64-byte OS/2 header keeps four-byte entries too (ImageMagick reads three; the format
    // does not).
    const TBmpImage os2 =
        FromBytes(MakeBmp({64, 2, 1, 8, kBmpRgb, {}, {0x00FF00, 0x112233}, 2, {1, 0, 0, 0}}));
    EXPECT_EQ(ColorAt(os2, 0, 0), 0x112233u);
    EXPECT_EQ(ColorAt(os2, 1, 0), 0x00FF00u);
}

TEST(BmpRead, RleRunsBeyondTheEdgeAreClipped)
{
    // 2x2 RLE8: a run of 5 on the bottom row, a delta past the top, then end of bitmap.
    const Bytes f = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0,   0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0,
                     0,   0,   1, 0, 8, 0, 1, 0, 0, 0, 8,  0, 0,   0, 0,  0, 0, 0, 0, 0, 0, 0, 2, 0,
                     0,   0,   0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 255, 0, 5,  1, 0, 2, 9, 9, 0, 1};
    TBmpImage b;
    ASSERT_NO_THROW(b = FromBytes(f));
    EXPECT_EQ(ColorAt(b, 0, 1), 0xFF0000u);
    EXPECT_EQ(ColorAt(b, 1, 1), 0xFF0000u);
    EXPECT_EQ(ColorAt(b, 0, 0), 0x000000u) << "no run reaches the top row";
}

TEST(BmpRead, Rle4NibblesAlternateInRunsAndLiterals)
{
    // 5x2 RLE4, bottom row: a run of 3 alternating 1 and 2, a run of 2 alternating 3 and 4; top
    // row: a literal of 5 nibbles (padded to a 16-bit boundary), then end of bitmap.
    const Bytes f = MakeBmp({40,
                             5,
                             2,
                             4,
                             kBmpRle4,
                             {},
                             {0x000000, 0x110000, 0x220000, 0x330000, 0x440000, 0x550000},
                             6,
                             {3, 0x12, 2, 0x34, 0, 0, 0, 5, 0x54, 0x32, 0x10, 0, 0, 1}});
    const TBmpImage b = FromBytes(f);
    const std::uint32_t bottom[5] = {0x110000, 0x220000, 0x110000, 0x330000, 0x440000};
    const std::uint32_t top[5] = {0x550000, 0x440000, 0x330000, 0x220000, 0x110000};
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(ColorAt(b, x, 1), bottom[x]) << x;
        EXPECT_EQ(ColorAt(b, x, 0), top[x]) << x;
    }
}

TEST(BmpRead, DecodesIntoTheCallersRowsAtItsStride)
{
    const Bytes bytes = ReadBytes(DataFile("pat24.bmp"));
    const TBmpImage own = FromBytes(bytes);
    const TBmpHeader h = ReadBmpHeader(bytes.data(), bytes.size());
    const std::size_t stride = static_cast<std::size_t>(h.RowLength) + 8;
    Bytes rows(stride * static_cast<std::size_t>(h.Height), 0xAB);
    DecodeBmpPixels(h, bytes.data(), bytes.size(), rows.data(), stride);
    for (std::int32_t y = 0; y < h.Height; ++y) {
        const std::uint8_t* row = rows.data() + static_cast<std::size_t>(y) * stride;
        EXPECT_EQ(std::memcmp(row, own.Pixels.data() + static_cast<std::size_t>(y) * h.RowLength,
                              static_cast<std::size_t>(h.RowLength)),
                  0)
            << "row " << y;
        EXPECT_EQ(row[h.RowLength], 0xAB) << "beyond RowLength the caller's bytes stay";
    }
}

// --- rejects ---

TEST(BmpRejects, BadFilesRaiseInvalidGraphicOnEveryPath)
{
    for (const auto& bad : BadBmpFiles()) {
        try {
            ReadFromStream(bad.File);
            ADD_FAILURE() << bad.Why << ": accepted from a stream";
        } catch (const EInvalidGraphic& e) {
            EXPECT_EQ(e.Message().rfind("bitmap image is not valid: ", 0), 0u) << e.Message();
        }
        if (!bad.SizedByStream) {
            EXPECT_THROW(FromBytes(bad.File), EInvalidGraphic) << bad.Why << ": accepted from memory";
        }
    }
}

TEST(BmpRejects, LimitsRefuseLargeImagesBeforeAnythingIsAllocated)
{
    // 100000x100000 at 24 bits says 30 GB of rows; the file holds none of them.
    const Bytes huge = Patch32(Patch32(ReadBytes(DataFile("pat24.bmp")), 18, 100000), 22, 100000);
    try {
        FromBytes(huge);
        ADD_FAILURE() << "accepted";
    } catch (const EInvalidGraphic& e) {
        EXPECT_NE(e.Message().find("100000x100000 exceeds the size limit"), std::string::npos) << e.Message();
    }
    // A caller's tighter limit holds too.
    const Bytes small = ReadBytes(DataFile("pat24.bmp"));
    EXPECT_NO_THROW(DecodeBmp(small.data(), small.size(), TBmpLimits{120}));
    EXPECT_THROW(DecodeBmp(small.data(), small.size(), TBmpLimits{119}), EInvalidGraphic);
}

TEST(BmpRejects, MutatedFilesLoadOrFailCleanly)
{
    // Seeded byte flips, truncations and header rewrites of every reference file: each load
    // either succeeds or raises EInvalidGraphic, never anything else.
    std::uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    int loaded = 0, rejected = 0;
    for (const char* name : {"bw1.bmp", "pat4.bmp", "pat8.bmp", "pat8rle.bmp", "pat565.bmp", "pat24.bmp",
                             "pat24core.bmp", "pat32.bmp"}) {
        const auto original = ReadBytes(DataFile(name));
        for (int round = 0; round < 400; ++round) {
            auto f = original;
            const int edits = 1 + next() % 4;
            for (int e = 0; e < edits; ++e) {
                const std::size_t at = next() % (next() % 2 ? std::min<std::size_t>(f.size(), 70) : f.size());
                switch (next() % 4) {
                case 0: f[at] = static_cast<std::uint8_t>(next()); break;
                case 1: f[at] ^= static_cast<std::uint8_t>(1u << (next() % 8)); break;
                case 2: f[at] = static_cast<std::uint8_t>(next() % 2 ? 0xFF : 0x00); break;
                default: f.resize(at); break;
                }
                if (f.empty())
                    break;
            }
            try {
                const TBmpImage image = ReadFromStream(f);
                ++loaded;
                ASSERT_EQ(image.Pixels.size(), image.Header.ImageBytes());
            } catch (const EInvalidGraphic&) {
                ++rejected;
            }
        }
    }
    EXPECT_GT(loaded, 100);
    EXPECT_GT(rejected, 100);
}

// --- what the headers leave open ---

TEST(BmpRead, ColourCountsAndTablesTheHeadersOverstateAreReadAsFarAsTheyGo)
{
    const Bytes pal = ReadBytes(DataFile("pat4.bmp"));  // 16 colours, pixels right after them
    const TBmpImage plain = FromBytes(pal);
    struct Case {
        std::uint32_t ClrUsed;
        const char* Why;
    };
    // Counts above 256 are damage and count as none; a table longer than the room before the
    // pixels ends where they begin.
    for (Case k :
         {Case{17, "one colour more than the depth"}, Case{256, "a 256-entry table cut by the pixels"},
          Case{300, "300 colours"}, Case{0xFFFFFFFFu, "four billion colours"}}) {
        const Bytes file = Patch32(pal, 46, k.ClrUsed);
        for (bool stream : {false, true}) {
            TBmpImage image;
            ASSERT_NO_THROW(image = stream ? ReadFromStream(file) : FromBytes(file)) << k.Why;
            EXPECT_EQ(image.Header.Colors.size(), 16u) << k.Why;
            EXPECT_EQ(image.Pixels, plain.Pixels) << k.Why;
        }
    }
}

TEST(BmpRead, CompressedDataWithoutAStatedSizeEndsAtTheEndOfTheBitmap)
{
    TBmpSpec spec{40, 4, 2, 8, kBmpRle8, {}, {0, 0xFFFFFF}, 2, {4, 1, 0, 0, 4, 1, 0, 1}};
    Bytes first = MakeBmp(spec);
    first = Patch32(Patch32(first, 34, 0), 2, 0);  // neither an image size nor a file size
    Bytes both = first;
    const Bytes next = ReadBytes(DataFile("pat24.bmp"));
    both.insert(both.end(), next.begin(), next.end());
    TReadOnlyMemoryStream s(both.data(), static_cast<std::int64_t>(both.size()));
    const Bytes file = ReadBmpFile(s);
    EXPECT_EQ(file.size(), first.size());
    EXPECT_EQ(s.Position(), static_cast<std::int64_t>(first.size())) << "the next image starts here";
    EXPECT_EQ(FromBytes(file).Row(0)[3], 1);
    EXPECT_NO_THROW(ReadFromStream(Bytes(both.begin() + std::ptrdiff_t(first.size()), both.end())));
}
