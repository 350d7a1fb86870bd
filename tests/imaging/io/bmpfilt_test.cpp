// BMP reader and writer on hand-built files whose every byte the cases state: header variants,
// run-length codes, masks and the damaged files a reader must refuse. Whole images are judged by
// the peer suite (bmp_peers.py); these pin the codes and limits the peers cannot isolate.
#include "imaging/io/bmpfilt.h"

#include "platform/rtl/Endian.h"
#include "tests/imaging/io/io_test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

using namespace imaging;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct BmpSpec {
    std::uint32_t headerSize = 40;
    std::int32_t width = 4;
    std::int32_t height = 2;
    int bits = 8;
    std::uint32_t compression = 0;
    std::uint32_t clrUsed = 0;
    std::vector<std::uint32_t> palette;  // 0x00RRGGBB
    std::vector<std::uint32_t> masks;    // after a 40-byte header, or inside a longer one
    Bytes pixels;
    std::int32_t xPelsPerMeter = 0;
};

void Put16(Bytes& b, std::size_t at, std::uint32_t v) { rtl::StoreLE16(b.data() + at, std::uint16_t(v)); }
void Put32(Bytes& b, std::size_t at, std::uint32_t v) { rtl::StoreLE32(b.data() + at, v); }

Bytes Build(const BmpSpec& s)
{
    Bytes h(s.headerSize, 0);
    Put32(h, 0, s.headerSize);
    if (s.headerSize == 12) {
        Put16(h, 4, std::uint32_t(s.width));
        Put16(h, 6, std::uint32_t(s.height));
        Put16(h, 8, 1);
        Put16(h, 10, std::uint32_t(s.bits));
    } else {
        Put32(h, 4, std::uint32_t(s.width));
        Put32(h, 8, std::uint32_t(s.height));
        Put16(h, 12, 1);
        Put16(h, 14, std::uint32_t(s.bits));
        Put32(h, 16, s.compression);
        Put32(h, 24, std::uint32_t(s.xPelsPerMeter));
        Put32(h, 32, s.clrUsed);
        if (s.headerSize >= 52 && s.headerSize != 64)
            for (std::size_t i = 0; i < s.masks.size() && i < 3; ++i)
                Put32(h, 40 + 4 * i, s.masks[i]);
    }
    Bytes tail;
    if (s.headerSize == 40)
        for (std::uint32_t m : s.masks)
            tail.insert(tail.end(), {std::uint8_t(m), std::uint8_t(m >> 8), std::uint8_t(m >> 16),
                                     std::uint8_t(m >> 24)});
    for (std::uint32_t c : s.palette) {
        tail.insert(tail.end(), {std::uint8_t(c), std::uint8_t(c >> 8), std::uint8_t(c >> 16)});
        if (s.headerSize != 12)
            tail.push_back(0);
    }
    Bytes f(14, 0);
    f[0] = 'B';
    f[1] = 'M';
    const std::uint32_t off = std::uint32_t(14 + h.size() + tail.size());
    Put32(f, 2, std::uint32_t(off + s.pixels.size()));
    Put32(f, 10, off);
    f.insert(f.end(), h.begin(), h.end());
    f.insert(f.end(), tail.begin(), tail.end());
    f.insert(f.end(), s.pixels.begin(), s.pixels.end());
    return f;
}

struct ReadResult {
    bool aborted = false;
    TIEBitmap bitmap;
    TIOParamsVals params{nullptr};
    std::int64_t endPosition = 0;
};

void Read(const Bytes& file, ReadResult& r, bool native = false, std::int64_t blockSize = 0)
{
    rtl::TMemoryStream m;
    if (!file.empty())
        m.WriteBuffer(file.data(), std::int32_t(file.size()));
    m.SetPosition(0);
    test::Progress progress;
    r.params.NativePixelFormat = native;
    ReadBMPStream(m, &r.bitmap, blockSize, r.params, progress.record, false, false);
    r.aborted = progress.Aborted();
    r.endPosition = m.Position();
}

// "rrggbb" of a 24-bit pixel.
std::uint32_t Px(TIEBitmap& b, int x, int y)
{
    const TRGB c = b.GetPixelRGB(x, y);
    return std::uint32_t(c.r) << 16 | std::uint32_t(c.g) << 8 | c.b;
}

const std::vector<std::uint32_t> kPal4 = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};

// ---- run-length decoding ----

struct RleCase {
    const char* what;
    Bytes data;
    std::vector<std::uint32_t> row0;  // top row, 4 pixels
    std::vector<std::uint32_t> row1;  // bottom row
};

TEST(BmpReader, Rle8CodesClipAndLeaveUncoveredPixelsZero)
{
    const std::uint32_t K = 0x000000, R = 0xFF0000, G = 0x00FF00, B = 0x0000FF;
    const RleCase cases[] = {
        {"run then end of line", {3, 1, 0, 0, 1, 2, 0, 1}, {G, K, K, K}, {R, R, R, K}},
        {"absolute run with pad", {0, 3, 1, 2, 3, 0, 0, 0, 0, 1}, {K, K, K, K}, {R, G, B, K}},
        {"run past the row is clipped, not piled on the last pixel",
         {9, 2, 0, 0, 2, 3, 0, 1},
         {B, B, K, K},
         {G, G, G, G}},
        {"absolute run past the row is clipped", {0, 6, 1, 2, 3, 1, 2, 3, 0, 1}, {K, K, K, K}, {R, G, B, R}},
        {"delta moves right and up", {0, 2, 2, 1, 1, 3, 0, 1}, {K, K, B, K}, {K, K, K, K}},
        {"delta beyond the image ends the decoding",
         {1, 1, 0, 2, 0, 200, 1, 3, 0, 1},
         {K, K, K, K},
         {R, K, K, K}},
    };
    for (const RleCase& c : cases) {
        BmpSpec s;
        s.compression = 1;
        s.palette = kPal4;
        s.pixels = c.data;
        ReadResult r;
        Read(Build(s), r);
        EXPECT_FALSE(r.aborted) << c.what;
        ASSERT_EQ(r.bitmap.GetPixelFormat(), ie24RGB) << c.what;
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(Px(r.bitmap, x, 0), c.row0[std::size_t(x)]) << c.what << " top x=" << x;
            EXPECT_EQ(Px(r.bitmap, x, 1), c.row1[std::size_t(x)]) << c.what << " bottom x=" << x;
        }
    }
}

TEST(BmpReader, Rle8DataEndingBeforeTheImageIsRefusedAndChangesNothing)
{
    const Bytes cut[] = {{2, 1, 0}, {0, 4, 1, 2}, {2, 1, 0, 0}, {}};
    for (const Bytes& data : cut) {
        BmpSpec s;
        s.compression = 1;
        s.palette = kPal4;
        s.pixels = data;
        ReadResult r;
        r.bitmap.Allocate(1, 1, ie8g);
        r.bitmap.ScanLine(0)[0] = 77;
        Read(Build(s), r);
        EXPECT_TRUE(r.aborted) << data.size();
        EXPECT_EQ(r.bitmap.GetWidth(), 1);
        EXPECT_EQ(r.bitmap.ScanLine(0)[0], 77);
        EXPECT_EQ(r.params.Width, 0) << "the parameters stay as they were";
    }
}

TEST(BmpReader, Rle4AlternatesNibblesAndPadsAbsoluteRuns)
{
    BmpSpec s;
    s.bits = 4;
    s.width = 5;
    s.compression = 2;
    s.palette = kPal4;
    // Bottom: run of 5 alternating 1 and 2; top: absolute run of 3 (2 bytes, padded) then a run.
    s.pixels = {5, 0x12, 0, 0, 0, 3, 0x32, 0x10, 2, 0x33, 0, 1};
    ReadResult r;
    Read(Build(s), r, true);
    ASSERT_FALSE(r.aborted);
    ASSERT_EQ(r.bitmap.GetPixelFormat(), ie8p);
    const int bottom[] = {1, 2, 1, 2, 1};
    const int top[] = {3, 2, 1, 3, 3};
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(r.bitmap.ScanLine(1)[x], bottom[x]) << x;
        EXPECT_EQ(r.bitmap.ScanLine(0)[x], top[x]) << x;
    }
}

// ---- palettes, masks and headers ----

TEST(BmpReader, PaletteIndexesBeyondThePaletteReadBlack)
{
    BmpSpec s;
    s.clrUsed = 2;
    s.palette = {0x123456, 0xABCDEF};
    s.pixels = {0, 1, 2, 255, 0, 1, 7, 9};
    ReadResult r;
    Read(Build(s), r);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(Px(r.bitmap, 0, 0), 0x123456u);
    EXPECT_EQ(Px(r.bitmap, 1, 0), 0xABCDEFu);
    EXPECT_EQ(Px(r.bitmap, 2, 0), 0u);
    EXPECT_EQ(Px(r.bitmap, 3, 0), 0u);
    EXPECT_EQ(r.params.ColorMapCount(), 2);
}

TEST(BmpReader, MasksComeFromTheHeaderOrAfterIt)
{
    struct Case {
        const char* what;
        std::uint32_t headerSize;
        int bits;
        std::uint32_t compression;
        std::vector<std::uint32_t> masks;
        Bytes pixel;  // one pixel, padded to 4 bytes
        std::uint32_t expect;
    };
    const Case cases[] = {
        {"16-bit default is 5-5-5", 40, 16, 0, {}, {0xFF, 0x7F, 0, 0}, 0xFFFFFF},
        {"16-bit 5-6-5 bit fields", 40, 16, 3, {0xF800, 0x7E0, 0x1F}, {0xE0, 0x07, 0, 0}, 0x00FF00},
        {"16-bit 4-4-4 in BGR order", 40, 16, 3, {0xF, 0xF0, 0xF00}, {0x0F, 0x00, 0, 0}, 0xFF0000},
        {"32-bit bit fields are applied",
         40,
         32,
         3,
         {0xFF, 0xFF00, 0xFF0000},
         {0x11, 0x22, 0x33, 0x44},
         0x112233},
        {"32-bit 10-10-10 masks in a v4 header",
         108,
         32,
         3,
         {0x3FF00000, 0xFFC00, 0x3FF},
         {0xFF, 0x03, 0, 0},
         0x0000FF},
        {"v5 masks from inside the header", 124, 16, 3, {0x7C00, 0x3E0, 0x1F}, {0x00, 0x7C, 0, 0}, 0xFF0000},
        {"32-bit without bit fields drops the fourth byte",
         40,
         32,
         0,
         {},
         {0x01, 0x02, 0x03, 0xFF},
         0x030201},
    };
    for (const Case& c : cases) {
        BmpSpec s;
        s.headerSize = c.headerSize;
        s.width = 1;
        s.height = 1;
        s.bits = c.bits;
        s.compression = c.compression;
        s.masks = c.masks;
        s.pixels = c.pixel;
        ReadResult r;
        Read(Build(s), r);
        ASSERT_FALSE(r.aborted) << c.what;
        EXPECT_EQ(Px(r.bitmap, 0, 0), c.expect) << c.what;
    }
}

TEST(BmpReader, DamagedHeadersSetTheAbortFlag)
{
    struct Case {
        const char* what;
        BmpSpec spec;
    };
    auto with = [](auto change) {
        BmpSpec s;
        s.palette = kPal4;
        s.pixels.assign(8, 1);
        change(s);
        return s;
    };
    const Case cases[] = {
        {"zero mask", with([](BmpSpec& s) {
             s.bits = 16, s.compression = 3, s.masks = {0xF800, 0, 0x1F}, s.palette = {};
         })},
        {"split mask", with([](BmpSpec& s) {
             s.bits = 16, s.compression = 3, s.masks = {0xF00F, 0xF0, 0xF00}, s.palette = {};
         })},
        {"bit fields at 8 bits", with([](BmpSpec& s) {
             s.compression = 3, s.masks = {1, 2, 4};
         })},
        {"RLE8 at 4 bits", with([](BmpSpec& s) { s.bits = 4, s.compression = 1; })},
        {"RLE4 at 8 bits", with([](BmpSpec& s) { s.compression = 2; })},
        {"JPEG compression", with([](BmpSpec& s) { s.compression = 4; })},
        {"PNG compression", with([](BmpSpec& s) { s.compression = 5; })},
        {"OS/2 Huffman", with([](BmpSpec& s) { s.headerSize = 64, s.bits = 1, s.compression = 3; })},
        {"top-down RLE", with([](BmpSpec& s) { s.compression = 1, s.height = -2; })},
        {"negative width", with([](BmpSpec& s) { s.width = -4; })},
        {"height the minimum integer", with([](BmpSpec& s) { s.height = INT_MIN; })},
        {"huge size", with([](BmpSpec& s) { s.width = 0x7FFFFFFF, s.height = 0x7FFFFFFF; })},
        {"7 bits per pixel", with([](BmpSpec& s) { s.bits = 7; })},
        {"header size 8", with([](BmpSpec& s) { s.headerSize = 12, s.bits = 0; })},
    };
    for (const Case& c : cases) {
        ReadResult r;
        Read(Build(c.spec), r);
        EXPECT_TRUE(r.aborted) << c.what;
    }
    ReadResult notBmp;
    Read(Bytes{'B', 'A', 0, 0, 0, 0}, notBmp);
    EXPECT_TRUE(notBmp.aborted);
    EXPECT_EQ(notBmp.bitmap.GetPixelFormat(), ieNull);
    ReadResult empty;
    Read(Bytes{}, empty);
    EXPECT_TRUE(empty.aborted);
}

TEST(BmpReader, HeaderVariantsSetVersionResolutionAndOrientation)
{
    BmpSpec s;
    s.bits = 24;
    s.width = 1;
    s.height = 2;
    s.pixels = {1, 2, 3, 0, 4, 5, 6, 0};  // bottom row first
    s.xPelsPerMeter = 3780;               // 96 dpi
    struct Case {
        std::uint32_t headerSize;
        int version;
    };
    for (Case c : {Case{40, 1}, Case{64, 3}, Case{108, 0}, Case{124, 0}, Case{12, 2}}) {
        s.headerSize = c.headerSize;
        ReadResult r;
        Read(Build(s), r);
        ASSERT_FALSE(r.aborted) << c.headerSize;
        EXPECT_EQ(r.params.BMPVersion, c.version) << c.headerSize;
        EXPECT_EQ(Px(r.bitmap, 0, 0), 0x060504u) << c.headerSize;
        EXPECT_EQ(Px(r.bitmap, 0, 1), 0x030201u) << c.headerSize;
        EXPECT_EQ(r.params.DpiX, c.headerSize == 12 ? IEDefaultDpiX : 96) << c.headerSize;
    }
    s.headerSize = 40;
    s.height = -2;  // top-down: the same bytes now give the rows the other way round
    ReadResult r;
    Read(Build(s), r);
    EXPECT_EQ(r.params.Height, 2);
    EXPECT_EQ(Px(r.bitmap, 0, 0), 0x030201u);
}

TEST(BmpReader, OneBitBlackAndWhiteStaysOneBitWithZeroBlack)
{
    for (bool whiteFirst : {false, true}) {
        BmpSpec s;
        s.bits = 1;
        s.width = 8;
        s.height = 1;
        s.palette =
            whiteFirst ? std::vector<std::uint32_t>{0xFFFFFF, 0} : std::vector<std::uint32_t>{0, 0xFFFFFF};
        s.pixels = {0xF0, 0, 0, 0};
        ReadResult r;
        Read(Build(s), r);
        ASSERT_EQ(r.bitmap.GetPixelFormat(), ie1g);
        EXPECT_EQ(Px(r.bitmap, 0, 0), whiteFirst ? 0u : 0xFFFFFFu);
        EXPECT_EQ(Px(r.bitmap, 7, 0), whiteFirst ? 0xFFFFFFu : 0u);
    }
    // Two colours that are not black and white keep their colours.
    BmpSpec s;
    s.bits = 1;
    s.width = 2;
    s.height = 1;
    s.palette = {0xFF0000, 0x0000FF};
    s.pixels = {0x40, 0, 0, 0};
    ReadResult r;
    Read(Build(s), r);
    ASSERT_EQ(r.bitmap.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(Px(r.bitmap, 0, 0), 0xFF0000u);
    EXPECT_EQ(Px(r.bitmap, 1, 0), 0x0000FFu);
}

TEST(BmpReader, ColourCountAbove256CountsAsNone)
{
    BmpSpec s;
    s.bits = 4;
    s.width = 2;
    s.height = 1;
    s.clrUsed = 300;
    s.palette.assign(16, 0);
    s.palette[15] = 0x00FF00;
    s.pixels = {0xF0, 0, 0, 0};
    ReadResult r;
    Read(Build(s), r);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.params.ColorMapCount(), 16);
    EXPECT_EQ(Px(r.bitmap, 0, 0), 0x00FF00u);
}

TEST(BmpReader, DataEndingEarlyIsRefusedAndTheBlockSizesOnlyCompressedData)
{
    BmpSpec s;
    s.bits = 24;
    s.width = 1;
    s.height = 3;
    s.pixels = {9, 9, 9, 0, 8, 8, 8, 0, 7, 7, 7, 0};
    const Bytes whole = Build(s);
    for (std::size_t cut : {1, 5, 12}) {
        ReadResult r;
        r.bitmap.Allocate(2, 2, ie24RGB);
        Read(Bytes(whole.begin(), whole.end() - std::ptrdiff_t(cut)), r);
        EXPECT_TRUE(r.aborted) << cut;
        EXPECT_EQ(r.bitmap.GetWidth(), 2) << cut << ": the bitmap stays as it was";
    }

    // Uncompressed rows are what the header says, whatever the block or the file size claim.
    Bytes understated = whole;
    Put32(understated, 2, 54);
    for (std::int64_t block : {std::int64_t(0), std::int64_t(whole.size()) - 4, std::int64_t(20)}) {
        ReadResult r;
        Read(block ? whole : understated, r, false, block);
        EXPECT_FALSE(r.aborted) << block;
        EXPECT_EQ(Px(r.bitmap, 0, 0), 0x070707u) << block;
        EXPECT_EQ(Px(r.bitmap, 0, 2), 0x090909u) << block;
        EXPECT_EQ(r.endPosition, std::int64_t(whole.size())) << block;
    }
}

TEST(BmpReader, RleDataIsSizedByTheBlockThenTheImageSizeThenItsEnd)
{
    // Two rows of index 1, then a second image right behind: each read must stop at its own end.
    BmpSpec s;
    s.compression = 1;
    s.palette = kPal4;
    s.pixels = {4, 1, 0, 0, 4, 1, 0, 1};
    const Bytes one = Build(s);
    struct Case {
        const char* what;
        std::uint32_t bfSize, sizeImage;
    };
    const std::uint32_t off = rtl::LoadLE32(one.data() + 10);
    for (Case c : {Case{"file size", std::uint32_t(one.size()), 0}, Case{"image size", 0, 8},
                   Case{"neither: up to the end of the bitmap", 0, 0},
                   Case{"an understated file size: the image size", 40, 8},
                   Case{"an understated file size and no image size", off, 0}}) {
        Bytes first = one;
        Put32(first, 2, c.bfSize);
        Put32(first, 34, c.sizeImage);
        Bytes both = first;
        both.insert(both.end(), one.begin(), one.end());
        rtl::TMemoryStream m;
        m.WriteBuffer(both.data(), std::int32_t(both.size()));
        m.SetPosition(0);
        for (int image = 0; image < 2; ++image) {
            test::Progress progress;
            TIEBitmap b;
            TIOParamsVals p(nullptr);
            ReadBMPStream(m, &b, 0, p, progress.record, false, false);
            EXPECT_FALSE(progress.Aborted()) << c.what << " image " << image;
            EXPECT_EQ(m.Position(), std::int64_t(first.size()) + image * std::int64_t(one.size())) << c.what;
            EXPECT_EQ(Px(b, 3, 1), 0xFF0000u) << c.what << " image " << image;
        }
    }
}

// ---- writing ----

struct WriteResult {
    bool aborted = false;
    Bytes file;
};

WriteResult Write(TIEBitmap& bitmap, TIOParamsVals& params, rtl::TStream* stream = nullptr)
{
    rtl::TMemoryStream m;
    test::Progress progress;
    WriteBMPStream(stream ? *stream : m, &bitmap, params, progress.record);
    return {progress.Aborted(), m.Bytes()};
}

Bytes PixelData(const Bytes& file)
{
    return Bytes(file.begin() + rtl::LoadLE32(file.data() + 10), file.end());
}

TEST(BmpWriter, Rle8EncodesRunsAndLiteralsAsDocumented)
{
    struct Case {
        std::vector<std::uint8_t> row;
        Bytes code;
    };
    std::vector<std::uint8_t> longRun(300, 2);
    const Case cases[] = {
        {longRun, {255, 2, 45, 2, 0, 0}},
        {{1, 2, 3}, {0, 3, 1, 2, 3, 0, 0, 0}},
        {{7, 9}, {1, 7, 1, 9, 0, 0}},
        {{5}, {1, 5, 0, 0}},
        {{4, 4, 1, 2, 3, 4}, {2, 4, 0, 4, 1, 2, 3, 4, 0, 0}},
    };
    for (const Case& c : cases) {
        TIEBitmap b;
        b.Allocate(int(c.row.size()), 1, ie8p);
        for (int i = 0; i < 10; ++i)
            b.SetPaletteColor(i, TRGB{std::uint8_t(i * 20), 0, 0});
        std::memcpy(b.ScanLine(0), c.row.data(), c.row.size());
        TIOParamsVals p(nullptr);
        p.BitsPerSample = 8;
        p.SamplesPerPixel = 1;
        p.BMPCompression = 1;
        WriteResult w = Write(b, p);
        ASSERT_FALSE(w.aborted);
        Bytes expect = c.code;
        expect.insert(expect.end(), {0, 1});
        EXPECT_EQ(PixelData(w.file), expect) << c.row.size();
        EXPECT_EQ(rtl::LoadLE32(w.file.data() + 30), 1u);

        // And the reader gives the row back.
        ReadResult r;
        Read(w.file, r, true);
        EXPECT_EQ(Bytes(r.bitmap.ScanLine(0), r.bitmap.ScanLine(0) + c.row.size()), c.row);
    }
}

TEST(BmpWriter, CoreHeaderWritesNoCompressionAndRefusesWideImages)
{
    TIEBitmap b;
    b.Allocate(3, 1, ie8p);
    TIOParamsVals p(nullptr);
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 1;
    p.BMPCompression = 1;
    p.BMPVersion = 2;
    WriteResult w = Write(b, p);
    ASSERT_FALSE(w.aborted);
    EXPECT_EQ(rtl::LoadLE32(w.file.data() + 14), 12u);
    EXPECT_EQ(PixelData(w.file).size(), 4u);  // one uncompressed, padded row

    TIEBitmap wide;
    wide.Allocate(65536, 1, ie1g);
    p.BitsPerSample = 1;
    EXPECT_TRUE(Write(wide, p).aborted);
    EXPECT_TRUE(Write(wide, p).file.empty());
}

TEST(BmpWriter, FourBitOutputQuantizesToSixteenColours)
{
    TIEBitmap b;
    b.Allocate(40, 1, ie8p);
    for (int i = 0; i < 40; ++i) {
        b.SetPaletteColor(i, TRGB{std::uint8_t(i * 6), std::uint8_t(i * 6), std::uint8_t(i * 6)});
        b.ScanLine(0)[i] = std::uint8_t(i);
    }
    TIOParamsVals p(nullptr);
    p.BitsPerSample = 4;
    p.SamplesPerPixel = 1;
    WriteResult w = Write(b, p);
    ASSERT_FALSE(w.aborted);
    EXPECT_EQ(rtl::LoadLE32(w.file.data() + 46), 16u);
    ReadResult r;
    Read(w.file, r);
    ASSERT_FALSE(r.aborted);
    // Every pixel lands near its grey, which a 4-bit index cut from 0..39 would not give.
    for (int x = 0; x < 40; ++x)
        EXPECT_NEAR(r.bitmap.GetPixel24(x, 0).g, x * 6, 16) << x;
}

TEST(BmpWriter, FewColoursAreWrittenExactlyAtOneAndFourBits)
{
    struct Case {
        const char* what;
        TIEPixelFormat format;
        int bits;
        std::vector<TRGB> colours;
    };
    std::vector<TRGB> greys, mixed;
    for (int i = 0; i < 16; ++i) {
        greys.push_back(TRGB{std::uint8_t(i * 17), std::uint8_t(i * 17), std::uint8_t(i * 17)});
        mixed.push_back(TRGB{std::uint8_t(i * 40), std::uint8_t(255 - i * 9), std::uint8_t(i * i)});
    }
    const TRGB black{0, 0, 0}, white{255, 255, 255}, teal{128, 128, 0};
    const Case cases[] = {
        {"16 greys at 4 bits", ie24RGB, 4, greys},
        {"16 greys as ie8g at 4 bits", ie8g, 4, greys},
        {"black and white at 4 bits", ie1g, 4, {black, white}},
        {"16 colours at 4 bits", ie24RGB, 4, mixed},
        {"all black at 1 bit", ie24RGB, 1, {black}},
        {"all white at 1 bit", ie24RGB, 1, {white}},
        {"all teal at 1 bit", ie24RGB, 1, {teal}},
        {"teal and white at 1 bit", ie24RGB, 1, {teal, white}},
    };
    for (const Case& c : cases) {
        TIEBitmap source;
        source.Allocate(23, 5, ie24RGB);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 23; ++x)
                source.SetPixel24(x, y, c.colours[std::size_t(x * 7 + y) % c.colours.size()]);
        if (c.format != ie24RGB)
            source.SetPixelFormat(c.format);
        TIOParamsVals p(nullptr);
        p.BitsPerSample = c.bits;
        p.SamplesPerPixel = 1;
        WriteResult w = Write(source, p);
        ASSERT_FALSE(w.aborted) << c.what;
        EXPECT_EQ(rtl::LoadLE16(w.file.data() + 28), c.bits) << c.what;
        ReadResult r;
        Read(w.file, r);
        ASSERT_FALSE(r.aborted) << c.what;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 23; ++x)
                ASSERT_EQ(r.bitmap.GetPixelRGB(x, y), source.GetPixelRGB(x, y))
                    << c.what << " at " << x << "," << y;
    }
}

TEST(BmpWriter, OtherFormatsAreConvertedOnACopy)
{
    TIEBitmap grey;
    grey.Allocate(3, 2, ie8g);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            grey.ScanLine(y)[x] = std::uint8_t(10 * (x + 3 * y));
    TIOParamsVals p(nullptr);
    WriteResult w = Write(grey, p);
    ASSERT_FALSE(w.aborted);
    EXPECT_EQ(grey.GetPixelFormat(), ie8g);  // the caller's bitmap is untouched
    ReadResult r;
    Read(w.file, r);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(Px(r.bitmap, x, y), 0x010101u * std::uint32_t(10 * (x + 3 * y)));
}

TEST(BmpWriter, AShortWriteAbortsAndStops)
{
    TIEBitmap b;
    b.Allocate(100, 100, ie24RGB);
    TIOParamsVals p(nullptr);
    test::FullStream full(1000);
    EXPECT_TRUE(Write(b, p, &full).aborted);
    EXPECT_LE(full.Size(), 1000);
}

}  // namespace
