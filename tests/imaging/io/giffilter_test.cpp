// GIF reader and writer: files ImageMagick made, files built here byte by byte for the edge cases
// and damage, the writer's round trips, and the frame composition of the I/O component.
#include "imaging/io/giffilter.h"

#include "imaging/io/vodiradio.h"
#include "platform/rtl/Files.h"
#include "tests/imaging/io/io_test_util.h"
#include "tests/imaging/io/tiff_test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>

using namespace imaging;
using test::Bytes;
using test::Px;
using test::ReadResult;

namespace {

struct Frame {
    int left = 0, top = 0, w = 0, h = 0;
    std::vector<std::uint8_t> pixels;  // w * h indexes
    std::vector<TRGB> local;           // empty: none; else 2^n entries
    bool interlaced = false;
    int control = -1;  // graphic control flags, -1 for none
    int delay = 0;
    int transparent = 0;
    int codeBits = 8;
};

void Put16(Bytes& b, int v)
{
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}

void PutTable(Bytes& b, const std::vector<TRGB>& t)
{
    for (const TRGB& c : t)
        b.insert(b.end(), {c.r, c.g, c.b});
}

int TableBits(std::size_t n)
{
    int bits = 1;
    while ((std::size_t(1) << bits) < n)
        ++bits;
    return bits;
}

// A file built field by field; the LZW data come from our encoder, which giflib judges elsewhere.
Bytes BuildGif(int sw, int sh, const std::vector<TRGB>& global, int background,
               const std::vector<Frame>& frames, const char* version = "GIF89a")
{
    Bytes b(version, version + 6);
    Put16(b, sw);
    Put16(b, sh);
    const int gb = global.empty() ? 0 : TableBits(global.size());
    b.push_back(std::uint8_t(global.empty() ? 0 : 0x80 | (gb - 1) << 4 | (gb - 1)));
    b.push_back(std::uint8_t(background));
    b.push_back(0);
    PutTable(b, global);
    for (const Frame& f : frames) {
        if (f.control >= 0) {
            b.insert(b.end(), {0x21, 0xF9, 4, std::uint8_t(f.control)});
            Put16(b, f.delay);
            b.insert(b.end(), {std::uint8_t(f.transparent), 0});
        }
        b.push_back(0x2C);
        Put16(b, f.left);
        Put16(b, f.top);
        Put16(b, f.w);
        Put16(b, f.h);
        const int lb = f.local.empty() ? 0 : TableBits(f.local.size());
        b.push_back(std::uint8_t((f.local.empty() ? 0 : 0x80 | (lb - 1)) | (f.interlaced ? 0x40 : 0)));
        PutTable(b, f.local);
        rtl::TMemoryStream lzw;
        GIFLZWCompress(lzw, f.h, f.w, f.codeBits, f.pixels.data(), f.interlaced);
        b.insert(b.end(), lzw.Bytes().begin(), lzw.Bytes().end());
    }
    b.push_back(0x3B);
    return b;
}

std::vector<TRGB> Ramp(int n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<TRGB> t(static_cast<std::size_t>(n));
    for (auto& c : t)
        c = TRGB{std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())};
    return t;
}

std::vector<std::uint8_t> Indexes(int w, int h, int colors, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(std::size_t(w) * std::size_t(h));
    for (auto& x : v)
        x = std::uint8_t(rng() % unsigned(colors));
    return v;
}

void Read(const Bytes& file, ReadResult& r, int index = 0, bool native = false, bool paramsOnly = false)
{
    rtl::TReadOnlyMemoryStream in(file.data(), std::int64_t(file.size()));
    test::Progress progress;
    r.params.GIFImageIndex = index;
    r.params.NativePixelFormat = native;
    ReadGIFStream(in, &r.bitmap, r.count, false, r.mask, paramsOnly, progress.record, r.params);
    r.aborted = progress.Aborted();
}

struct WriteResult {
    Bytes file;
    bool aborted = false;
};

WriteResult Write(TIEBitmap& b, TIOParamsVals& p)
{
    rtl::TMemoryStream out;
    test::Progress progress;
    WriteGIFStream(out, &b, p, progress.record);
    return {out.Bytes(), progress.Aborted()};
}

// ---- reading ----------------------------------------------------------------------------------

TEST(GifReader, ReadsImageMagickFilesPixelExact)
{
    for (const char* name : {"noise256", "checker2", "interlaced16", "interlaced_h2"}) {
        const Bytes file = codectest::ReadFile(codectest::DataPath(std::string(name) + ".gif"));
        const Bytes rgb = codectest::ReadFile(codectest::DataPath(std::string(name) + ".rgb"));
        for (bool native : {false, true}) {
            ReadResult r;
            Read(file, r, 0, native);
            ASSERT_FALSE(r.aborted) << name;
            EXPECT_EQ(r.count, 1);
            const int w = r.bitmap.GetWidth(), h = r.bitmap.GetHeight();
            ASSERT_EQ(std::size_t(w) * h * 3, rgb.size()) << name;
            int wrong = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const std::uint8_t* e = rgb.data() + (std::size_t(y) * w + x) * 3;
                    wrong += Px(r.bitmap, x, y) != (std::uint32_t(e[0]) << 16 | e[1] << 8 | e[2]);
                }
            EXPECT_EQ(wrong, 0) << name << (native ? " native" : "");
        }
    }
}

TEST(GifReader, IndexesPastTheTableAndFilesWithoutATableReadBlack)
{
    Frame f;
    f.w = 5;
    f.h = 1;
    f.pixels = {0, 1, 2, 3, 255};
    f.control = 1;
    f.transparent = 250;
    // A two-entry global table, background index 200, transparent index 250.
    const std::vector<TRGB> table = {TRGB{10, 20, 30}, TRGB{40, 50, 60}};
    for (bool native : {false, true}) {
        ReadResult r;
        Read(BuildGif(5, 1, table, 200, {f}), r, 0, native);
        ASSERT_FALSE(r.aborted);
        EXPECT_EQ(Px(r.bitmap, 0, 0), 0x1E140Au);
        EXPECT_EQ(Px(r.bitmap, 1, 0), 0x3C3228u);
        for (int x = 2; x < 5; ++x)
            EXPECT_EQ(Px(r.bitmap, x, 0), 0u) << x;
        EXPECT_EQ(test::Rgb(r.params.GIFBackground), 0u);
        EXPECT_EQ(test::Rgb(r.params.GIFTranspColor), 0u);
        EXPECT_EQ(r.params.ColorMapCount(), 2);
    }
    ReadResult none;
    Read(BuildGif(5, 1, {}, 7, {f}), none);
    ASSERT_FALSE(none.aborted);
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(Px(none.bitmap, x, 0), 0u);
    EXPECT_EQ(none.params.BitsPerSample, 8);
}

TEST(GifReader, OnlyTheControlBlockBeforeTheWantedFrameApplies)
{
    std::vector<Frame> frames(3);
    for (int i = 0; i < 3; ++i) {
        frames[std::size_t(i)].w = 4;
        frames[std::size_t(i)].h = 3;
        frames[std::size_t(i)].left = i;
        frames[std::size_t(i)].pixels = Indexes(4, 3, 4, unsigned(i));
    }
    frames[0].control = 1 | 2 << 2;
    frames[0].delay = 11;
    frames[0].transparent = 1;
    frames[2].control = 1 << 2;
    frames[2].delay = 33;
    frames[2].transparent = 3;
    const Bytes file = BuildGif(8, 3, Ramp(4, 1), 0, frames);
    ReadResult r;
    Read(file, r, 2);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.count, 3);
    EXPECT_EQ(r.params.GIFDelayTime, 33);
    EXPECT_EQ(r.params.GIFTransparent, 0);
    EXPECT_EQ(r.params.GIFDisposalMethod, 1);
    EXPECT_EQ(r.params.GIFXPos, 2);
    ASSERT_TRUE(r.mask);
    EXPECT_TRUE(r.mask->Full);
    ReadResult middle;
    Read(file, middle, 1);
    EXPECT_EQ(middle.params.GIFDelayTime, 0);  // frame 0's block is not frame 1's
    EXPECT_EQ(middle.params.GIFTransparent, 0);
    ReadResult first;
    Read(file, first, 0);
    EXPECT_EQ(first.params.GIFDelayTime, 11);
    EXPECT_EQ(first.params.GIFDisposalMethod, 2);
    ASSERT_TRUE(first.mask);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(first.mask->GetPixel(x, y), frames[0].pixels[std::size_t(y * 4 + x)] == 1 ? 0 : 255);
}

TEST(GifReader, BlackThenWhiteIsOneBitOtherPairsAreColour)
{
    Frame f;
    f.w = 9;
    f.h = 2;
    f.pixels = Indexes(9, 2, 2, 5);
    ReadResult bw;
    Read(BuildGif(9, 2, {TRGB{0, 0, 0}, TRGB{255, 255, 255}}, 0, {f}), bw, 0, true);
    EXPECT_EQ(bw.bitmap.GetPixelFormat(), ie1g);
    ReadResult wb;
    Read(BuildGif(9, 2, {TRGB{255, 255, 255}, TRGB{0, 0, 0}}, 0, {f}), wb);
    EXPECT_EQ(wb.bitmap.GetPixelFormat(), ie24RGB);
    ReadResult native;
    Read(BuildGif(9, 2, {TRGB{1, 2, 3}, TRGB{4, 5, 6}}, 0, {f}), native, 0, true);
    EXPECT_EQ(native.bitmap.GetPixelFormat(), ie8p);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 9; ++x) {
            const bool one = f.pixels[std::size_t(y * 9 + x)] == 1;
            EXPECT_EQ(Px(bw.bitmap, x, y), one ? 0xFFFFFFu : 0u);
            EXPECT_EQ(Px(wb.bitmap, x, y), one ? 0u : 0xFFFFFFu);
            EXPECT_EQ(Px(native.bitmap, x, y), one ? 0x060504u : 0x030201u);
        }
}

TEST(GifReader, LocalTablesInterlaceAndCommentsReachTheParams)
{
    Frame f;
    f.w = 7;
    f.h = 11;
    f.pixels = Indexes(7, 11, 16, 9);
    f.local = Ramp(16, 4);
    f.interlaced = true;
    Bytes file = BuildGif(7, 11, Ramp(2, 3), 1, {f});
    // A comment extension of two sub-blocks and an application extension, before the trailer.
    file.pop_back();
    file.insert(file.end(), {0x21, 0xFE, 2, 'h', 'i', 3, 'y', 'o', 'u', 0});
    file.insert(file.end(), {0x21, 0xFF, 3, 'a', 'p', 'p', 1, 0, 0, 0x3B});
    ReadResult r;
    Read(file, r);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.params.BitsPerSample, 4);
    EXPECT_EQ(r.params.GIFInterlaced, 1);
    ASSERT_EQ(r.params.GIFComments.Count(), 2);
    EXPECT_EQ(r.params.GIFComments.Get(1), "you");
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(Px(r.bitmap, x, y), test::Rgb(f.local[f.pixels[std::size_t(y * 7 + x)]]));
}

TEST(GifReader, DamageSetsTheAbortFlag)
{
    Frame f;
    f.w = 4;
    f.h = 4;
    f.pixels = Indexes(4, 4, 4, 2);
    const Bytes good = BuildGif(4, 4, Ramp(4, 1), 0, {f});
    ASSERT_EQ(good[13 + 12], 0x2C);
    Bytes nine = good;
    nine[13 + 12 + 10] = 9;
    Bytes huge = good;
    huge[13 + 12 + 5] = 0xFF;
    huge[13 + 12 + 6] = 0xFF;
    huge[13 + 12 + 7] = 0xFF;
    huge[13 + 12 + 8] = 0xFF;
    const struct {
        const char* what;
        Bytes file;
    } cases[] = {
        {"empty", {}},
        {"not a gif", Bytes{'G', 'I', 'X', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B}},
        {"header only", Bytes(good.begin(), good.begin() + 13 + 12)},
        {"short global table", Bytes(good.begin(), good.begin() + 20)},
        {"code size 9 over data coded at 2", nine},
        {"65535 x 65535 frame", huge},
    };
    for (const auto& c : cases) {
        ReadResult r;
        Read(c.file, r);
        EXPECT_TRUE(r.aborted) << c.what;
    }
    // Data cut short are refused, the bitmap left as it was.
    ReadResult cut;
    Read(Bytes(good.begin(), good.end() - 4), cut);
    EXPECT_TRUE(cut.aborted);
    EXPECT_EQ(cut.bitmap.GetWidth(), 0);
}

// Where a frame's code size byte is: after the screen, the global table and the descriptor.
std::size_t FrameData(const Bytes& file, std::size_t frame = 0)
{
    std::size_t p = 13 + ((file[10] & 0x80) ? std::size_t(3) << ((file[10] & 7) + 1) : 0);
    for (;;) {
        if (file[p] == 0x21) {
            for (p += 2; file[p] != 0; p += file[p] + 1u)
                ;
            ++p;
            continue;
        }
        const std::uint8_t flags = file[p + 9];
        p += 10 + ((flags & 0x80) ? std::size_t(3) << ((flags & 7) + 1) : 0);
        if (frame-- == 0)
            return p;
        for (++p; file[p] != 0; p += file[p] + 1u)
            ;
        ++p;
    }
}

// A file cut anywhere in its image data is refused by the reader, plain or interlaced, and through
// the component, which keeps the picture it had.
TEST(GifReader, FramesCutInTheirImageDataAreRefused)
{
    for (bool interlaced : {false, true}) {
        Frame f;
        f.w = 40;
        f.h = 30;
        f.interlaced = interlaced;
        f.pixels = Indexes(40, 30, 16, 7);
        const Bytes good = BuildGif(40, 30, Ramp(16, 3), 0, {f});
        const std::size_t data = FrameData(good);
        const std::size_t length = good.size() - 1 - data;
        for (std::size_t sixth = 1; sixth <= 5; ++sixth) {
            const Bytes cut(good.begin(), good.begin() + std::ptrdiff_t(data + length * sixth / 6));
            const std::string where = std::to_string(sixth) + "/6" + (interlaced ? " interlaced" : "");
            ReadResult r;
            Read(cut, r);
            EXPECT_TRUE(r.aborted) << where;
            EXPECT_EQ(r.bitmap.GetWidth(), 0) << where;
            TVodirAdIO io(nullptr);
            io.IEBitmap()->Allocate(3, 2, ie24RGB);
            rtl::TReadOnlyMemoryStream in(cut.data(), std::int64_t(cut.size()));
            io.LoadFromStreamType(in, ioGIF);
            EXPECT_TRUE(io.AbortFlag) << where;
            EXPECT_EQ(io.IEBitmap()->GetWidth(), 3) << where;
        }
    }
}

// Fuzz findings: each file reads frame by frame and through the component without a fault.
TEST(GifReader, FuzzFindingsReadCleanly)
{
    const std::string bad = std::string(VA_TEST_DATA_DIR) + "/imaging/io/gif/bad/";
    // A frame 2 pixels wide and 0 high: no pixels, an empty bitmap, and the other frames still read.
    const Bytes zero = codectest::ReadFile(bad + "frame_of_height_zero.gif");
    ReadResult r;
    Read(zero, r, 1);
    EXPECT_FALSE(r.aborted);
    EXPECT_EQ(r.count, 3);
    EXPECT_EQ(r.bitmap.GetWidth(), 0);
    EXPECT_EQ(r.params.Height, 0);
    ReadResult first;
    Read(zero, first, 0);
    EXPECT_EQ(first.bitmap.GetWidth(), 6);
    // Through the component, frames 0 and 1 compose to the first frame's size; the third frame is
    // damaged, so asking for it fails and leaves the image the component had.
    TVodirAdIO io(nullptr);
    io.Params().GIFImageIndex = 1;
    rtl::TReadOnlyMemoryStream in(zero.data(), std::int64_t(zero.size()));
    io.LoadFromStreamType(in, ioGIF);
    EXPECT_FALSE(io.AbortFlag);
    EXPECT_EQ(io.IEBitmap()->GetWidth(), 6);
    io.Params().GIFImageIndex = 2;
    in.SetPosition(0);
    io.LoadFromStreamType(in, ioGIF);
    EXPECT_TRUE(io.AbortFlag);
    EXPECT_EQ(io.IEBitmap()->GetWidth(), 6);

    // A frame at 65535, 767: it reads, but no screen holds it there, so it is written only when
    // placed elsewhere.
    ReadResult far;
    Read(codectest::ReadFile(bad + "frame_past_the_screen.gif"), far);
    ASSERT_FALSE(far.aborted);
    EXPECT_EQ(far.params.GIFXPos, 65535);
    EXPECT_TRUE(Write(far.bitmap, far.params).aborted);
    far.params.GIFXPos = 0;
    EXPECT_FALSE(Write(far.bitmap, far.params).aborted);
}

TEST(GifReader, ParamsOnlyAndFramesPastTheLastLeaveTheBitmap)
{
    Frame f;
    f.w = 3;
    f.h = 2;
    f.pixels = Indexes(3, 2, 2, 1);
    const Bytes file = BuildGif(3, 2, Ramp(2, 1), 0, {f, f});
    ReadResult params;
    Read(file, params, 0, false, true);
    EXPECT_FALSE(params.aborted);
    EXPECT_EQ(params.count, 2);
    EXPECT_EQ(params.params.Width, 3);
    EXPECT_EQ(params.bitmap.GetWidth(), 0);
    ReadResult past;
    Read(file, past, 5);
    EXPECT_FALSE(past.aborted);
    EXPECT_EQ(past.count, 2);
    EXPECT_EQ(past.bitmap.GetWidth(), 0);
}

// ---- writing ----------------------------------------------------------------------------------

void Pattern(TIEBitmap& b, int w, int h, int colors, unsigned seed)
{
    const auto table = Ramp(colors, seed);
    const auto idx = Indexes(w, h, colors, seed + 1);
    b.Allocate(w, h, ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetPixel24(x, y, table[idx[std::size_t(y * w + x)]]);
}

TEST(GifWriter, RoundTripsEveryDepthInterlacedOrNot)
{
    for (int bits = 1; bits <= 8; ++bits)
        for (bool interlaced : {false, true}) {
            TIEBitmap b;
            Pattern(b, 37, 23, 1 << bits, unsigned(bits));
            TIOParamsVals p(nullptr);
            p.BitsPerSample = bits;
            p.GIFInterlaced = interlaced;
            const WriteResult w = Write(b, p);
            ASSERT_FALSE(w.aborted);
            ReadResult r;
            Read(w.file, r);
            ASSERT_FALSE(r.aborted);
            EXPECT_EQ(r.params.BitsPerSample, bits);
            EXPECT_EQ(r.params.GIFInterlaced, interlaced);
            int wrong = 0;
            for (int y = 0; y < 23; ++y)
                for (int x = 0; x < 37; ++x)
                    wrong += Px(r.bitmap, x, y) != Px(b, x, y);
            EXPECT_EQ(wrong, 0) << bits << " bits";
        }
}

TEST(GifWriter, TheScreenHoldsTheFrameWhereItIsPlaced)
{
    TIEBitmap b;
    Pattern(b, 20, 10, 4, 3);
    TIOParamsVals p(nullptr);
    p.GIFXPos = 30;
    p.GIFYPos = 7;
    const WriteResult w = Write(b, p);
    ASSERT_FALSE(w.aborted);
    EXPECT_EQ(w.file[6] | w.file[7] << 8, 50);
    EXPECT_EQ(w.file[8] | w.file[9] << 8, 17);
    ReadResult r;
    Read(w.file, r);
    EXPECT_EQ(r.params.GIFXPos, 30);
    EXPECT_EQ(r.params.GIFYPos, 7);
    p.GIFXPos = 65530;
    EXPECT_TRUE(Write(b, p).aborted);
}

TEST(GifWriter, BitsAreClampedToOneToEight)
{
    TIEBitmap b;
    Pattern(b, 8, 8, 2, 1);
    for (const auto& [asked, written] : {std::pair{0, 1}, {-5, 1}, {12, 8}, {255, 8}}) {
        TIOParamsVals p(nullptr);
        p.BitsPerSample = asked;
        const WriteResult w = Write(b, p);
        ASSERT_FALSE(w.aborted) << asked;
        EXPECT_EQ((w.file[10] & 7) + 1, written) << asked;
        ReadResult r;
        Read(w.file, r);
        EXPECT_FALSE(r.aborted);
    }
}

TEST(GifWriter, TwoColoursAtOneBitKeepTheirColours)
{
    TIEBitmap b;
    Pattern(b, 13, 5, 2, 8);
    TIOParamsVals p(nullptr);
    p.BitsPerSample = 1;
    const WriteResult w = Write(b, p);
    ReadResult r;
    Read(w.file, r);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(Px(r.bitmap, x, y), Px(b, x, y));
}

TEST(GifWriter, ColoursMissingFromAnExactPaletteGetTheNearestEntry)
{
    TIEBitmap b;
    b.Allocate(2, 1, ie24RGB);
    b.SetPixel24(0, 0, TRGB{0, 0, 200});
    b.SetPixel24(1, 0, TRGB{0, 190, 0});
    TIOParamsVals p(nullptr);
    p.BitsPerSample = 3;
    p.GIFBackground = TRGB{0, 180, 10};  // green-ish
    p.GIFTranspColor = TRGB{0, 0, 255};  // red-ish
    p.GIFTransparent = 1;
    const WriteResult w = Write(b, p);
    ASSERT_FALSE(w.aborted);
    EXPECT_EQ(w.file[11], 1);  // background index
    const std::size_t control = 13 + 8 * 3;
    ASSERT_EQ(w.file[control + 1], 0xF9);
    EXPECT_EQ(w.file[control + 6], 0);  // transparent index
}

TEST(GifWriter, ExtensionsGoWithTheNewerVersion)
{
    TIEBitmap b;
    Pattern(b, 4, 4, 4, 1);
    TIOParamsVals plain(nullptr);
    plain.GIFVersion = "GIF87a";
    plain.BitsPerSample = 2;
    const WriteResult w87 = Write(b, plain);
    EXPECT_EQ(std::string(w87.file.begin(), w87.file.begin() + 6), "GIF87a");
    EXPECT_EQ(w87.file[13 + 4 * 3], 0x2C);  // the image right after the table, no extension
    for (int what = 0; what < 3; ++what) {
        TIOParamsVals p(nullptr);
        p.GIFVersion = "GIF87a";
        p.BitsPerSample = 2;
        if (what == 0)
            p.GIFTransparent = 1;
        else if (what == 1)
            p.GIFDelayTime = 5;
        else
            p.GIFComments.Add("made here");
        const WriteResult w = Write(b, p);
        EXPECT_EQ(std::string(w.file.begin(), w.file.begin() + 6), "GIF89a") << what;
    }
}

TEST(GifWriter, AnAlphaChannelReservesTheLastEntry)
{
    TIEBitmap b;
    Pattern(b, 16, 16, 32, 4);
    TIEBitmap* a = b.GetAlphaChannel();
    for (int y = 0; y < 16; ++y)
        a->ScanLine(y)[y] = 0;
    TIOParamsVals p(nullptr);
    p.BitsPerSample = 5;
    const WriteResult w = Write(b, p);
    ASSERT_FALSE(w.aborted);
    ReadResult r;
    Read(w.file, r);
    EXPECT_EQ(r.params.GIFTransparent, 1);
    const std::size_t control = 13 + 32 * 3;
    ASSERT_EQ(w.file[control + 1], 0xF9);
    EXPECT_EQ(w.file[control + 6], 31);
    ASSERT_TRUE(r.mask);
    int colours = 0;
    std::vector<std::uint32_t> seen;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            EXPECT_EQ(r.mask->GetPixel(x, y), x == y ? 0 : 255);
            if (x != y && std::find(seen.begin(), seen.end(), Px(r.bitmap, x, y)) == seen.end())
                seen.push_back(Px(r.bitmap, x, y));
        }
    colours = int(seen.size());
    EXPECT_LE(colours, 31);
    // An alpha channel that is all opaque takes no entry.
    TIEBitmap opaque;
    Pattern(opaque, 16, 16, 32, 4);
    opaque.GetAlphaChannel();
    TIOParamsVals q(nullptr);
    q.BitsPerSample = 5;
    ReadResult back;
    Read(Write(opaque, q).file, back);
    EXPECT_EQ(back.params.GIFTransparent, 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(Px(back.bitmap, x, y), Px(opaque, x, y));
}

TEST(GifWriter, OneBitWithTransparencyTakesASecondBit)
{
    TIEBitmap b;
    b.Allocate(8, 2, ie1g);
    b.ScanLine(0)[0] = 0xF0;
    b.GetAlphaChannel()->ScanLine(1)[3] = 0;
    TIOParamsVals p(nullptr);
    p.BitsPerSample = 1;
    const WriteResult w = Write(b, p);
    ReadResult r;
    Read(w.file, r);
    EXPECT_EQ(r.params.BitsPerSample, 2);
    ASSERT_TRUE(r.mask);
    EXPECT_EQ(r.mask->GetPixel(3, 1), 0);
    EXPECT_EQ(Px(r.bitmap, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(Px(r.bitmap, 4, 0), 0u);
}

TEST(GifWriter, LongCommentLinesGoOnInTheNextSubBlock)
{
    TIEBitmap b;
    Pattern(b, 3, 3, 2, 1);
    TIOParamsVals p(nullptr);
    const std::string longLine(300, 'x');
    p.GIFComments.Add("short");
    p.GIFComments.Add(longLine);
    ReadResult r;
    Read(Write(b, p).file, r);
    ASSERT_EQ(r.params.GIFComments.Count(), 3);
    EXPECT_EQ(r.params.GIFComments.Get(0), "short");
    EXPECT_EQ(r.params.GIFComments.Get(1) + r.params.GIFComments.Get(2), longLine);
}

TEST(GifWriter, AShortWriteAbortsAndEveryFormatIsTaken)
{
    TIEBitmap b;
    Pattern(b, 50, 50, 256, 1);
    TIOParamsVals p(nullptr);
    test::FullStream full(200);
    test::Progress progress;
    WriteGIFStream(full, &b, p, progress.record);
    EXPECT_TRUE(progress.Aborted());
    EXPECT_LE(full.Size(), 200);
    for (TIEPixelFormat f : {ie8g, ie16g, ie8p, ie32f}) {
        TIEBitmap c;
        c.Assign(&b);
        c.SetPixelFormat(f);
        TIOParamsVals q(nullptr);
        EXPECT_FALSE(Write(c, q).aborted) << int(f);
    }
    TIEBitmap empty;
    EXPECT_TRUE(Write(empty, p).aborted);
}

// ---- the I/O component ------------------------------------------------------------------------

TEST(GifSteps, AFrameIsComposedOverTheOnesBeforeItHonouringDisposal)
{
    // Screen 6 x 4 of background index 0; frame 0 fills it with 1; frame 1 (2 x 2 at 1,1, index 2,
    // disposed to background); frame 2 (1 x 1 at 4,0, index 3, transparent index 3 covers nothing).
    const std::vector<TRGB> table = {TRGB{9, 9, 9}, TRGB{0, 0, 255}, TRGB{0, 255, 0}, TRGB{255, 0, 0}};
    Frame f0, f1, f2;
    f0.w = 6;
    f0.h = 4;
    f0.pixels.assign(24, 1);
    f1.left = 1;
    f1.top = 1;
    f1.w = 2;
    f1.h = 2;
    f1.pixels.assign(4, 2);
    f1.control = 2 << 2;
    f2.left = 4;
    f2.w = 2;
    f2.h = 1;
    f2.pixels = {3, 2};
    f2.control = 1;
    f2.transparent = 3;
    const Bytes file = BuildGif(6, 4, table, 0, {f0, f1, f2});
    // A new component for each frame, and one that steps on, back and again on through the file.
    std::vector<std::pair<std::unique_ptr<TVodirAdIO>, int>> loads;
    for (int index = 0; index < 3; ++index)
        loads.emplace_back(std::make_unique<TVodirAdIO>(nullptr), index);
    rtl::TReadOnlyMemoryStream in(file.data(), std::int64_t(file.size()));
    TVodirAdIO stepping(nullptr);
    for (const int index : {0, 1, 2, 2, 1, 2, 0, 2})
        loads.emplace_back(nullptr, index);
    for (auto& [own, index] : loads) {
        TVodirAdIO& io = own ? *own : stepping;
        io.Params().GIFImageIndex = index;
        in.SetPosition(0);
        io.LoadFromStreamType(in, ioGIF);
        ASSERT_FALSE(io.AbortFlag);
        EXPECT_EQ(in.Position(), std::int64_t(file.size()));
        TIEBitmap& b = *io.IEBitmap();
        ASSERT_EQ(b.GetWidth(), 6);
        EXPECT_EQ(io.Params().GIFImageIndex, index);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                std::uint32_t want = 0xFF0000u;
                if (index == 1 && x >= 1 && x <= 2 && y >= 1 && y <= 2)
                    want = 0x00FF00u;
                if (index == 2 && x >= 1 && x <= 2 && y >= 1 && y <= 2)
                    want = 0x090909u;
                if (index == 2 && x == 5 && y == 0)
                    want = 0x00FF00u;
                EXPECT_EQ(Px(b, x, y), want) << index << ": " << x << "," << y;
                const int alpha = index == 2 && x >= 1 && x <= 2 && y >= 1 && y <= 2 ? 0 : 255;
                EXPECT_EQ(b.GetAlpha(x, y), alpha) << index << ": " << x << "," << y;
            }
    }
}

// Frames over a 5 x 3 screen of background index 0, each a full row: frame i row i % 3 of index
// 1 + i % 3.
std::vector<Frame> RowFrames(int frames)
{
    std::vector<Frame> f(std::size_t(frames), Frame{});
    for (int i = 0; i < frames; ++i) {
        f[std::size_t(i)].top = i % 3;
        f[std::size_t(i)].w = 5;
        f[std::size_t(i)].h = 1;
        f[std::size_t(i)].pixels.assign(5, std::uint8_t(1 + i % 3));
    }
    return f;
}

// The frames and a comment.
Bytes Rows(const std::vector<Frame>& frames, const std::vector<TRGB>& table)
{
    Bytes file = BuildGif(5, 3, table, 0, frames);
    file.pop_back();
    file.insert(file.end(), {0x21, 0xFE, 3, 'o', 'n', 'e', 0, 0x3B});
    return file;
}

std::uint32_t RowColour(TIEBitmap& b, int y) { return b.GetAlpha(0, y) ? Px(b, 0, y) : 0xDEADu; }

// A frame that fails, or a file cut before the frame asked for, fails the load and keeps the picture;
// the frames before it still load, and the comment is listed once however many frames are drawn.
TEST(GifSteps, AFailedFrameKeepsThePictureAndTheFramesBeforeItStillLoad)
{
    const std::vector<TRGB> table = {TRGB{0, 0, 0}, TRGB{1, 0, 0}, TRGB{2, 0, 0}, TRGB{3, 0, 0}};
    const Bytes whole = Rows(RowFrames(3), table);
    const Bytes cut(whole.begin(), whole.begin() + std::ptrdiff_t(FrameData(whole, 2) + 3));
    rtl::TReadOnlyMemoryStream in(cut.data(), std::int64_t(cut.size()));
    TVodirAdIO io(nullptr);
    const struct {
        int index;
        bool fails;
        std::uint32_t rows[3];  // what the picture shows after the load
    } steps[] = {
        {1, false, {1, 2, 0xDEAD}},      {2, true, {1, 2, 0xDEAD}},  {5, true, {1, 2, 0xDEAD}},
        {0, false, {1, 0xDEAD, 0xDEAD}}, {1, false, {1, 2, 0xDEAD}},
    };
    for (const auto& step : steps) {
        io.Params().GIFImageIndex = step.index;
        in.SetPosition(0);
        io.LoadFromStreamType(in, ioGIF);
        EXPECT_EQ(io.AbortFlag, step.fails) << step.index;
        for (int y = 0; y < 3; ++y)
            EXPECT_EQ(RowColour(*io.IEBitmap(), y), step.rows[y]) << step.index << " row " << y;
    }
    EXPECT_EQ(io.Params().GIFImageCount, 3);

    TVodirAdIO last(nullptr);
    last.Params().GIFImageIndex = 2;
    rtl::TReadOnlyMemoryStream all(whole.data(), std::int64_t(whole.size()));
    last.LoadFromStreamType(all, ioGIF);
    ASSERT_FALSE(last.AbortFlag);
    ASSERT_EQ(last.Params().GIFComments.Count(), 1);
    EXPECT_EQ(last.Params().GIFComments.Get(0), "one");
}

// Writes `bytes` over the start of `m` and loads frame `index` of them through `io`, which keeps
// what it may from its last load.
void LoadFrameOf(TVodirAdIO& io, rtl::TMemoryStream& m, const Bytes& bytes, int index)
{
    m.SetPosition(0);
    m.WriteBuffer(bytes.data(), std::int32_t(bytes.size()));
    io.Params().GIFImageIndex = index;
    m.SetPosition(0);
    io.LoadFromStreamType(m, ioGIF);
}

// What a component keeps from a load is used only for the same source: a stream filled anew with
// another screen (here its colour table), or a file written again with the same size (its write
// time), is read afresh.
TEST(GifSteps, ALoadOfChangedBytesStartsOver)
{
    const std::vector<TRGB> blue = {TRGB{0, 0, 0}, TRGB{1, 0, 0}, TRGB{2, 0, 0}, TRGB{3, 0, 0}};
    const std::vector<TRGB> red = {TRGB{0, 0, 0}, TRGB{0, 0, 1}, TRGB{0, 0, 2}, TRGB{0, 0, 3}};
    const Bytes first = Rows(RowFrames(3), blue);
    const Bytes second = Rows(RowFrames(3), red);
    ASSERT_EQ(first.size(), second.size());

    rtl::TMemoryStream m;
    TVodirAdIO io(nullptr);
    LoadFrameOf(io, m, first, 1);
    ASSERT_FALSE(io.AbortFlag);
    EXPECT_EQ(Px(*io.IEBitmap(), 0, 0), 0x000001u);
    LoadFrameOf(io, m, second, 2);
    ASSERT_FALSE(io.AbortFlag);
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(Px(*io.IEBitmap(), 0, y), std::uint32_t(y + 1) << 16) << y;

    // The same screen and frames, the pixels of the first frame changed: only the file's write
    // time tells.
    std::vector<Frame> frames = RowFrames(3);
    const Bytes before = BuildGif(5, 3, red, 0, frames);
    frames[0].pixels.assign(5, 3);
    const Bytes after = BuildGif(5, 3, red, 0, frames);
    ASSERT_EQ(before.size(), after.size());
    const std::string path = rtl::TempFolder() + "va_gif_rewritten.gif";
    auto save = [&](const Bytes& bytes) {
        rtl::TFileStream f(path, rtl::fmCreate);
        f.WriteBuffer(bytes.data(), std::int32_t(bytes.size()));
    };
    save(before);
    const auto written = std::filesystem::last_write_time(path);
    TVodirAdIO file(nullptr);
    file.Params().GIFImageIndex = 1;
    file.LoadFromFile(path);
    ASSERT_FALSE(file.AbortFlag);
    EXPECT_EQ(Px(*file.IEBitmap(), 0, 0), 0x010000u);
    save(after);
    std::filesystem::last_write_time(path, written + std::chrono::seconds(5));
    file.Params().GIFImageIndex = 2;
    file.LoadFromFile(path);
    ASSERT_FALSE(file.AbortFlag);
    EXPECT_EQ(Px(*file.IEBitmap(), 0, 0), 0x030000u);
    EXPECT_EQ(Px(*file.IEBitmap(), 0, 2), 0x030000u);
    rtl::RemoveFile(path);
}

// A kept composition whose file turns out changed when its next frame is read (the same size and
// screen, a frame moved) is drawn again from the file as it is now, its comment listed once.
TEST(GifSteps, AFrameFoundChangedStartsTheLoadOverWithTheCommentsListedOnce)
{
    const std::vector<TRGB> table = {TRGB{0, 0, 0}, TRGB{1, 0, 0}, TRGB{2, 0, 0}, TRGB{3, 0, 0}};
    std::vector<Frame> moved = RowFrames(3);
    moved[2].top = 0;
    const Bytes first = Rows(RowFrames(3), table);
    const Bytes second = Rows(moved, table);
    ASSERT_EQ(first.size(), second.size());
    rtl::TMemoryStream m;
    TVodirAdIO io(nullptr);
    LoadFrameOf(io, m, first, 1);
    ASSERT_FALSE(io.AbortFlag);
    LoadFrameOf(io, m, second, 2);
    ASSERT_FALSE(io.AbortFlag);
    const std::uint32_t rows[3] = {3, 2, 0xDEAD};
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(RowColour(*io.IEBitmap(), y), rows[y]) << y;
    ASSERT_EQ(io.Params().GIFComments.Count(), 1);
    EXPECT_EQ(io.Params().GIFComments.Get(0), "one");
}

// Pixels past an early end code take index 0, whatever frame the component decoded before.
TEST(GifSteps, PixelsPastAnEarlyEndCodeAreIndexZeroAfterAnyFrame)
{
    const std::vector<TRGB> table = {TRGB{5, 5, 5}, TRGB{1, 0, 0}, TRGB{2, 0, 0}, TRGB{3, 0, 0}};
    Frame full;
    full.w = 4;
    full.h = 1;
    full.pixels.assign(4, 3);
    Bytes file = BuildGif(4, 1, table, 0, {full, full});
    // The second frame's data: code size 2, then clear, 2, end in 3-bit codes.
    const std::size_t data = FrameData(file, 1);
    const std::uint32_t codes = 4u | 2u << 3 | 5u << 6;
    const Bytes coded = {2, 2, std::uint8_t(codes), std::uint8_t(codes >> 8), 0, 0x3B};
    file.erase(file.begin() + std::ptrdiff_t(data), file.end());
    file.insert(file.end(), coded.begin(), coded.end());
    rtl::TReadOnlyMemoryStream in(file.data(), std::int64_t(file.size()));
    TVodirAdIO stepping(nullptr);
    for (const int index : {0, 1}) {
        stepping.Params().GIFImageIndex = index;
        in.SetPosition(0);
        stepping.LoadFromStreamType(in, ioGIF);
        ASSERT_FALSE(stepping.AbortFlag);
    }
    TVodirAdIO fresh(nullptr);
    fresh.Params().GIFImageIndex = 1;
    in.SetPosition(0);
    fresh.LoadFromStreamType(in, ioGIF);
    ASSERT_FALSE(fresh.AbortFlag);
    for (TVodirAdIO* io : {&stepping, &fresh})
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(Px(*io->IEBitmap(), x, 0), x == 0 ? 2u : 0x050505u) << x;
}

// A frame brings an alpha channel only when it has a transparent colour; a screen its frames leave
// uncovered is transparent there.
TEST(GifSteps, AlphaComesOnlyWithTransparency)
{
    const std::vector<TRGB> table = {TRGB{9, 9, 9}, TRGB{0, 0, 255}};
    Frame whole;
    whole.w = 4;
    whole.h = 2;
    whole.pixels = {1, 1, 0, 0, 1, 0, 1, 0};
    Frame keyed = whole;
    keyed.control = 1;
    keyed.transparent = 0;
    Frame corner;
    corner.w = 1;
    corner.h = 1;
    corner.pixels = {1};
    const struct {
        const char* what;
        std::vector<Frame> frames;
        int index;
        bool alpha;
    } cases[] = {
        {"one opaque frame", {whole}, 0, false},
        {"one frame with a transparent colour", {keyed}, 0, true},
        {"frames that cover the screen", {whole, corner}, 1, false},
        {"a frame that leaves part of the screen", {corner, whole}, 0, true},
        {"a transparent frame over an opaque one", {whole, keyed}, 1, false},
    };
    for (const auto& c : cases) {
        const Bytes file = BuildGif(4, 2, table, 0, c.frames);
        TVodirAdIO io(nullptr);
        io.Params().GIFImageIndex = c.index;
        rtl::TReadOnlyMemoryStream in(file.data(), std::int64_t(file.size()));
        io.LoadFromStreamType(in, ioGIF);
        ASSERT_FALSE(io.AbortFlag) << c.what;
        EXPECT_EQ(io.IEBitmap()->HasAlphaChannel(), c.alpha) << c.what;
        if (c.alpha && c.frames.size() == 1) {
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(io.IEBitmap()->GetAlpha(x, 0), whole.pixels[std::size_t(x)] ? 255 : 0) << x;
        }
    }
}

TEST(GifSteps, SavesAndLoadsThroughTheComponent)
{
    TVodirAdIO io(nullptr);
    Pattern(*io.IEBitmap(), 10, 7, 16, 2);
    io.Params().BitsPerSample = 4;
    rtl::TMemoryStream m;
    io.SaveToStream(m, ioGIF);
    ASSERT_FALSE(io.AbortFlag);
    TVodirAdIO back(nullptr);
    m.SetPosition(0);
    back.LoadFromStream(m);
    ASSERT_FALSE(back.AbortFlag);
    EXPECT_EQ(back.Params().FileType, ioGIF);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(Px(*back.IEBitmap(), x, y), Px(*io.IEBitmap(), x, y));
}

}  // namespace
