// JPEG 2000 adaptor: round trips in both formats and every layout, the mapping of the parameters,
// colour spaces and sample forms the writer never makes (built here with OpenJPEG directly), the
// stream's offset, and the refusals. Files are judged by independent decoders and encoders in
// iej2000_peer_test.cpp.
#include "imaging/io/iej2000.h"

#include "imaging/io/vodiradio.h"
#include "platform/rtl/Endian.h"
#include "platform/rtl/Files.h"
#include "platform/rtl/Strings.h"
#include "tests/imaging/io/image_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include <openjpeg.h>

using namespace imaging;
using imaging::test::Progress;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Write(TIEBitmap& b, TIOParamsVals& p, int format, bool* aborted = nullptr)
{
    rtl::TMemoryStream m;
    Progress progress;
    WriteJ2000Stream(m, &b, p, format, progress.record);
    if (aborted)
        *aborted = progress.abort;
    else
        EXPECT_FALSE(progress.abort);
    return m.Bytes();
}

struct Read {
    bool aborted = false;
    TIEBitmap bitmap;
    TIOParamsVals params{nullptr};
    explicit Read(const Bytes& file, bool paramsOnly = false)
    {
        rtl::TReadOnlyMemoryStream m(file.data(), std::int64_t(file.size()));
        Progress progress;
        ReadJ2000Stream(m, &bitmap, params, paramsOnly, progress.record);
        aborted = progress.abort;
    }
};

bool SamePixels(TIEBitmap& a, TIEBitmap& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return false;
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x)
            if (!(a.GetPixelRGB(x, y) == b.GetPixelRGB(x, y)))
                return false;
    return true;
}

// ---- OpenJPEG directly, for files our writer does not make ----

struct Sink {
    Bytes data;
    std::size_t at = 0;
};

OPJ_SIZE_T SinkWrite(void* buffer, OPJ_SIZE_T n, void* user)
{
    auto& s = *static_cast<Sink*>(user);
    if (s.data.size() < s.at + n)
        s.data.resize(s.at + n);
    std::memcpy(s.data.data() + s.at, buffer, n);
    s.at += n;
    return n;
}
OPJ_OFF_T SinkSkip(OPJ_OFF_T n, void* user)
{
    static_cast<Sink*>(user)->at += std::size_t(n);
    return n;
}
OPJ_BOOL SinkSeek(OPJ_OFF_T n, void* user)
{
    static_cast<Sink*>(user)->at = std::size_t(n);
    return OPJ_TRUE;
}

struct CompSpec {
    int dx = 1, dy = 1, prec = 8, sgnd = 0;
};

// A lossless file of components of the given forms; Fill(c, x, y) gives each sample on the
// component's own grid.
Bytes OpjFile(OPJ_CODEC_FORMAT format, OPJ_COLOR_SPACE space, int w, int h, std::vector<CompSpec> comps,
              const std::function<int(int c, int x, int y)>& fill)
{
    std::vector<opj_image_cmptparm_t> cp(comps.size());
    for (std::size_t c = 0; c < comps.size(); ++c) {
        cp[c] = {};
        cp[c].dx = OPJ_UINT32(comps[c].dx);
        cp[c].dy = OPJ_UINT32(comps[c].dy);
        cp[c].w = OPJ_UINT32((w + comps[c].dx - 1) / comps[c].dx);
        cp[c].h = OPJ_UINT32((h + comps[c].dy - 1) / comps[c].dy);
        cp[c].prec = OPJ_UINT32(comps[c].prec);
        cp[c].sgnd = OPJ_UINT32(comps[c].sgnd);
    }
    opj_image_t* image = opj_image_create(OPJ_UINT32(cp.size()), cp.data(), space);
    image->x1 = OPJ_UINT32(w);
    image->y1 = OPJ_UINT32(h);
    for (std::size_t c = 0; c < comps.size(); ++c)
        for (OPJ_UINT32 y = 0; y < cp[c].h; ++y)
            for (OPJ_UINT32 x = 0; x < cp[c].w; ++x)
                image->comps[c].data[y * cp[c].w + x] = fill(int(c), int(x), int(y));
    opj_cparameters_t p;
    opj_set_default_encoder_parameters(&p);
    p.tcp_numlayers = 1;
    p.cp_disto_alloc = 1;
    p.numresolution = 2;
    opj_codec_t* codec = opj_create_compress(format);
    Sink sink;
    opj_stream_t* s = opj_stream_create(1 << 16, OPJ_FALSE);
    opj_stream_set_user_data(s, &sink, nullptr);
    opj_stream_set_write_function(s, SinkWrite);
    opj_stream_set_skip_function(s, SinkSkip);
    opj_stream_set_seek_function(s, SinkSeek);
    const bool ok = opj_setup_encoder(codec, &p, image) && opj_start_compress(codec, image, s) &&
                    opj_encode(codec, s) && opj_end_compress(codec, s);
    EXPECT_TRUE(ok);
    opj_stream_destroy(s);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    return sink.data;
}

// ---- round trips ----

TEST(J2000RoundTrip, LosslessInBothFormatsForColourGreyAndBilevel)
{
    for (int format : {kJ2000FormatJP2, kJ2000FormatJ2K}) {
        TIEBitmap colour;
        test::Photo(colour, 37, 23);
        TIOParamsVals p(nullptr);
        Read c(Write(colour, p, format));
        ASSERT_FALSE(c.aborted) << format;
        EXPECT_EQ(c.bitmap.GetPixelFormat(), ie24RGB);
        EXPECT_TRUE(SamePixels(c.bitmap, colour)) << format;
        EXPECT_EQ(c.params.SamplesPerPixel, 3);
        EXPECT_EQ(c.params.J2000ColorSpace, 1);

        p.J2000ColorSpace = 0;
        Read g(Write(colour, p, format));
        ASSERT_FALSE(g.aborted) << format;
        EXPECT_EQ(g.params.SamplesPerPixel, 1);
        EXPECT_EQ(g.params.J2000ColorSpace, 0);
        bool grey = true;
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 37; ++x) {
                const auto v = std::uint8_t(test::Grey(colour.GetPixelRGB(x, y)));
                grey = grey && g.bitmap.GetPixelRGB(x, y) == TRGB{v, v, v};
            }
        EXPECT_TRUE(grey) << format;

        TIEBitmap bw;
        test::Bilevel(bw, 45, 30);
        TIOParamsVals q(nullptr);
        q.BitsPerSample = 8;
        q.J2000ColorSpace = 1;
        Read b(Write(bw, q, format));
        EXPECT_EQ(q.BitsPerSample, 1) << "an ie1g save sets the depth it wrote";
        EXPECT_EQ(q.J2000ColorSpace, 0);
        ASSERT_FALSE(b.aborted) << format;
        EXPECT_EQ(b.bitmap.GetPixelFormat(), ie1g);
        EXPECT_EQ(b.params.BitsPerSample, 1);
        EXPECT_TRUE(SamePixels(b.bitmap, bw)) << format;
    }
}

TEST(J2000RoundTrip, FormatZeroIsAJP2FileAndOneACodeStreamWhateverTheLibraryNumbers)
{
    TIEBitmap b;
    test::Photo(b, 8, 8);
    TIOParamsVals p(nullptr);
    const Bytes jp2 = Write(b, p, kJ2000FormatJP2);
    const Bytes j2k = Write(b, p, kJ2000FormatJ2K);
    ASSERT_GE(jp2.size(), 12u);
    EXPECT_EQ(rtl::LoadBE32(jp2.data() + 4), 0x6A502020u);
    ASSERT_GE(j2k.size(), 4u);
    EXPECT_EQ(rtl::LoadBE32(j2k.data()), 0xFF4FFF51u);
    for (int format : {-1, 2, 14}) {
        bool aborted = false;
        EXPECT_TRUE(Write(b, p, format, &aborted).empty()) << format;
        EXPECT_TRUE(aborted) << format;
    }
}

TEST(J2000RoundTrip, SmallImagesSaveWithFewerResolutions)
{
    for (auto [w, h] : {std::pair{1, 1}, {1, 9}, {2, 2}, {3, 7}, {31, 33}, {64, 5}, {70, 70}}) {
        TIEBitmap b;
        test::Photo(b, w, h);
        TIOParamsVals p(nullptr);
        for (double rate : {1.0, 0.5}) {
            p.J2000Rate = rate;
            bool aborted = false;
            Read r(Write(b, p, kJ2000FormatJ2K, &aborted));
            EXPECT_FALSE(aborted) << w << "x" << h << " rate " << rate;
            EXPECT_FALSE(r.aborted) << w << "x" << h;
            EXPECT_EQ(r.bitmap.GetWidth(), w);
            if (rate == 1.0) {
                EXPECT_TRUE(SamePixels(r.bitmap, b)) << w << "x" << h;
            }
        }
    }
}

// Noise codes to more than its raw size at low depths; the encoder must have room for that.
TEST(J2000RoundTrip, IncompressibleLowDepthImagesSaveLosslessly)
{
    struct Case {
        int w, h, bits;
        bool colour;
    };
    for (const Case c : {Case{4097, 3, 1, false},
                         {2050, 16, 1, false},
                         {3, 700, 1, false},
                         {1000, 257, 1, false},
                         {4097, 3, 1, true},
                         {2, 2000, 1, true},
                         {2050, 16, 2, true},
                         {1, 3000, 2, false},
                         {4097, 3, 3, true},
                         {600, 70, 4, false}}) {
        // Random levels of c.bits bits, and what they read back as: the writer truncates each
        // sample to its level, the reader spreads the levels over 0..255 rounded.
        TIEBitmap noise, want;
        if (c.bits == 1 && !c.colour) {
            test::Noise1(noise, c.w, c.h, unsigned(c.w + c.h));
            want.Assign(&noise);
        } else {
            const int max = (1 << c.bits) - 1;
            std::uint32_t seed = unsigned(c.w * 31 + c.h);
            noise.Allocate(c.w, c.h, ie24RGB);
            want.Allocate(c.w, c.h, ie24RGB);
            for (int y = 0; y < c.h; ++y)
                for (int x = 0; x < c.w; ++x) {
                    std::uint8_t v[3], r[3];
                    for (int i = 0; i < 3; ++i) {
                        seed = seed * 1103515245u + 12345u;
                        const int level = int(seed >> 16) % (max + 1);
                        v[i] = std::uint8_t((level * 255 + max - 1) / max);
                        r[i] = std::uint8_t((level * 255 + max / 2) / max);
                    }
                    const int n = c.colour ? 1 : 0;
                    noise.SetPixel24(x, y, TRGB{v[0], v[n], v[2 * n]});
                    want.SetPixel24(x, y, TRGB{r[0], r[n], r[2 * n]});
                }
        }
        const std::string what = std::to_string(c.w) + "x" + std::to_string(c.h) + " at " +
                                 std::to_string(c.bits) + (c.colour ? " bits colour" : " bits grey");
        for (int format : {kJ2000FormatJP2, kJ2000FormatJ2K}) {
            TIOParamsVals p(nullptr);
            p.BitsPerSample = c.bits;
            p.J2000ColorSpace = c.colour ? 1 : 0;
            bool aborted = false;
            Read r(Write(noise, p, format, &aborted));
            ASSERT_FALSE(aborted) << what << " format " << format;
            ASSERT_FALSE(r.aborted) << what;
            EXPECT_EQ(r.params.BitsPerSample, c.bits) << what;
            EXPECT_TRUE(SamePixels(r.bitmap, want)) << what << " format " << format;
        }
    }
}

// A 64 x 64 bilevel picture whose wavelet low band of five levels reaches 5, where the two guard
// bits the library gives by default hold 3 for a 1-bit sample: the file must still be exact.
TEST(J2000RoundTrip, BilevelPicturesPastTheDefaultGuardBitsReadBackExactly)
{
    rtl::TMemoryStream file;
    file.LoadFromFile(std::string(VA_TEST_DATA_DIR) + "/imaging/io/j2000/lowband-overflow.pbm");
    const Bytes pbm = file.Bytes();
    const std::string head = "P4\n64 64\n";
    ASSERT_EQ(pbm.size(), head.size() + 64 * 8);
    for (int tiles : {1, 3}) {
        TIEBitmap b;
        b.Allocate(64 * tiles, 64 * tiles, ie1g);
        for (int y = 0; y < 64 * tiles; ++y)
            for (int x = 0; x < 8 * tiles; ++x)
                b.ScanLine(y)[x] = pbm[head.size() + std::size_t(y % 64) * 8 + std::size_t(x % 8)];
        for (int format : {kJ2000FormatJP2, kJ2000FormatJ2K}) {
            TIOParamsVals p(nullptr);
            Read r(Write(b, p, format));
            ASSERT_FALSE(r.aborted) << tiles;
            EXPECT_TRUE(SamePixels(r.bitmap, b)) << tiles << " tiles, format " << format;
        }
    }
}

TEST(J2000RoundTrip, DepthIsClampedToOneToSixteenBitsAndWideSamplesKeepTheirTopBits)
{
    TIEBitmap b;
    test::Photo(b, 20, 10);
    struct Case {
        int asked, written;
    };
    for (const Case c : {Case{0, 1}, {-5, 1}, {1, 1}, {4, 4}, {12, 12}, {16, 16}, {17, 16}, {40, 16}}) {
        TIOParamsVals p(nullptr);
        p.J2000ColorSpace = 0;
        p.BitsPerSample = c.asked;
        const Bytes file = Write(b, p, kJ2000FormatJ2K);
        ASSERT_GT(file.size(), 44u);
        EXPECT_EQ(file[42] + 1, c.written) << "precision in the size header, asked " << c.asked;
        Read r(file);
        ASSERT_FALSE(r.aborted) << c.asked;
        EXPECT_EQ(r.params.BitsPerSample, c.written);
        if (c.written < 8)
            continue;
        // 8-bit grey stretched to more bits and cut back to its top 8 is the grey again.
        bool same = true;
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x)
                same = same && r.bitmap.GetPixelRGB(x, y).g == test::Grey(b.GetPixelRGB(x, y));
        EXPECT_TRUE(same) << c.asked;
    }
}

TEST(J2000RoundTrip, NarrowSamplesAreScaledSoWhiteStaysWhite)
{
    TIEBitmap b;
    b.Allocate(4, 1, ie24RGB);
    b.SetPixel24(0, 0, TRGB{0, 0, 0});
    b.SetPixel24(1, 0, TRGB{255, 255, 255});
    b.SetPixel24(2, 0, TRGB{128, 128, 128});
    b.SetPixel24(3, 0, TRGB{64, 64, 64});
    for (int bits = 2; bits < 8; ++bits) {
        TIOParamsVals p(nullptr);
        p.BitsPerSample = bits;
        Read r(Write(b, p, kJ2000FormatJ2K));
        ASSERT_FALSE(r.aborted);
        const int max = (1 << bits) - 1;
        EXPECT_EQ(r.bitmap.GetPixelRGB(0, 0), (TRGB{0, 0, 0})) << bits;
        EXPECT_EQ(r.bitmap.GetPixelRGB(1, 0), (TRGB{255, 255, 255})) << bits;
        const int mid = (128 * max / 255 * 255 + max / 2) / max;
        EXPECT_EQ(r.bitmap.GetPixelRGB(2, 0).r, mid) << bits;
    }
}

// ---- the rate ----

TEST(J2000Rate, AFractionCompressesByItsInverseAndEverythingElseIsLossless)
{
    TIEBitmap b;
    test::Photo(b, 128, 96);
    const std::size_t raw = 128 * 96 * 3;
    struct Case {
        double rate;
        bool lossless;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    TIOParamsVals lossless(nullptr);
    const std::size_t losslessSize = Write(b, lossless, kJ2000FormatJ2K).size();
    for (const Case c : {Case{1.0, true},
                         {0.0, true},
                         {-0.5, true},
                         {2.0, true},
                         {nan, true},
                         {0.5, false},
                         {0.1, false},
                         {0.02, false}}) {
        TIOParamsVals p(nullptr);
        p.J2000Rate = c.rate;
        const Bytes file = Write(b, p, kJ2000FormatJ2K);
        Read r(file);
        ASSERT_FALSE(r.aborted) << c.rate;
        EXPECT_EQ(SamePixels(r.bitmap, b), c.lossless) << c.rate;
        if (c.lossless) {
            EXPECT_EQ(file.size(), losslessSize) << c.rate;
            continue;
        }
        const auto target = std::size_t(raw * c.rate);
        EXPECT_LE(file.size(), target * 1.02) << c.rate;
        // The rate is a ceiling: a target above the lossless size needs nothing thrown away.
        if (target < losslessSize) {
            EXPECT_GE(file.size(), target * 7 / 10) << "an empty image is no answer to " << c.rate;
        }
    }
}

TEST(J2000Rate, TheDecimalSeparatorHasNoSay)
{
    TIEBitmap b;
    test::Photo(b, 64, 48);
    TIOParamsVals p(nullptr);
    p.J2000Rate = 0.25;
    const Bytes dot = Write(b, p, kJ2000FormatJP2);
    rtl::SetDecimalSeparator(',');
    const Bytes comma = Write(b, p, kJ2000FormatJP2);
    rtl::SetDecimalSeparator('.');
    EXPECT_EQ(dot, comma);
    EXPECT_LE(dot.size(), 64u * 48 * 3 / 4 + 200);
}

// ---- colour spaces and samples the writer does not make ----

TEST(J2000Read, UnnamedColourSpacesFollowTheComponentCount)
{
    auto fill = [](int c, int x, int y) { return (c * 70 + x * 9 + y * 5) % 256; };
    struct Case {
        OPJ_CODEC_FORMAT format;
        OPJ_COLOR_SPACE space;
        int comps;
        int samples;
    };
    for (const Case c : {Case{OPJ_CODEC_J2K, OPJ_CLRSPC_UNSPECIFIED, 3, 3},
                         {OPJ_CODEC_J2K, OPJ_CLRSPC_UNSPECIFIED, 1, 1},
                         {OPJ_CODEC_J2K, OPJ_CLRSPC_UNSPECIFIED, 4, 3},
                         {OPJ_CODEC_J2K, OPJ_CLRSPC_UNSPECIFIED, 2, 1},
                         {OPJ_CODEC_JP2, OPJ_CLRSPC_UNKNOWN, 3, 3},
                         {OPJ_CODEC_JP2, OPJ_CLRSPC_UNKNOWN, 1, 1}}) {
        Read r(OpjFile(c.format, c.space, 6, 4, std::vector<CompSpec>(std::size_t(c.comps)), fill));
        ASSERT_FALSE(r.aborted) << c.comps;
        EXPECT_EQ(r.params.SamplesPerPixel, c.samples) << c.comps;
        const TRGB px = r.bitmap.GetPixelRGB(5, 3);
        if (c.samples == 3)
            EXPECT_EQ(px, (TRGB{std::uint8_t(fill(2, 5, 3)), std::uint8_t(fill(1, 5, 3)),
                                std::uint8_t(fill(0, 5, 3))}));
        else
            EXPECT_EQ(px.r, fill(0, 5, 3));
    }
}

TEST(J2000Read, CmykAndOtherColourSpacesAreRefusedAndTheBitmapKept)
{
    // The library writes no CMYK colour box itself: its enumerated space is set in the file.
    for (std::uint32_t space : {12u, 24u}) {
        Bytes file = OpjFile(OPJ_CODEC_JP2, OPJ_CLRSPC_UNKNOWN, 4, 4, std::vector<CompSpec>(4),
                             [](int, int, int) { return 10; });
        const auto colr = std::search(file.begin(), file.end(), std::begin("colr"), std::end("colr") - 1);
        ASSERT_NE(colr, file.end());
        ASSERT_EQ(colr[4], 1) << "an enumerated colour space";
        rtl::StoreBE32(&colr[7], space);
        rtl::TReadOnlyMemoryStream m(file.data(), std::int64_t(file.size()));
        TIEBitmap b;
        b.Allocate(3, 3, ie24RGB);
        TIOParamsVals p(nullptr);
        Progress progress;
        ReadJ2000Stream(m, &b, p, false, progress.record);
        EXPECT_TRUE(progress.abort) << space;
        EXPECT_EQ(b.GetWidth(), 3) << space;
    }
}

TEST(J2000Read, SignedSamplesAreMovedUpByHalfTheirRange)
{
    struct Case {
        int prec;
        int sample;
        int want;
    };
    for (const Case c : {Case{8, -128, 0},
                         {8, 0, 128},
                         {8, 127, 255},
                         {12, -2048, 0},
                         {12, 2047, 255},
                         {12, 16, 129},
                         {4, -8, 0},
                         {4, 7, 255}}) {
        Read r(OpjFile(OPJ_CODEC_J2K, OPJ_CLRSPC_GRAY, 2, 2, {CompSpec{1, 1, c.prec, 1}},
                       [&](int, int, int) { return c.sample; }));
        ASSERT_FALSE(r.aborted) << c.prec << " " << c.sample;
        EXPECT_EQ(r.bitmap.GetPixelRGB(1, 1).g, c.want) << c.prec << " " << c.sample;
    }
}

TEST(J2000Read, YCbCrIsConvertedWithSubsampledChromaReachingEveryPixel)
{
    // Y on the full grid, Cb and Cr on a 2 x 2 grid.
    const int w = 5, h = 3;
    auto fill = [](int c, int x, int y) {
        if (c == 0)
            return 60 + x * 30 + y * 10;
        return c == 1 ? 100 + x * 40 : 200 - y * 60;
    };
    Read r(OpjFile(OPJ_CODEC_JP2, OPJ_CLRSPC_SYCC, w, h, {CompSpec{}, CompSpec{2, 2}, CompSpec{2, 2}}, fill));
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.params.J2000ColorSpace, 2);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double Y = fill(0, x, y), cb = fill(1, x / 2, y / 2) - 128.0,
                         cr = fill(2, x / 2, y / 2) - 128.0;
            auto clamp = [](double v) { return std::clamp(v, 0.0, 255.0); };
            const TRGB px = r.bitmap.GetPixelRGB(x, y);
            EXPECT_NEAR(px.r, clamp(Y + 1.402 * cr), 1.0) << x << "," << y;
            EXPECT_NEAR(px.g, clamp(Y - 0.344136 * cb - 0.714136 * cr), 1.0) << x << "," << y;
            EXPECT_NEAR(px.b, clamp(Y + 1.772 * cb), 1.0) << x << "," << y;
        }
}

// ---- streams ----

TEST(J2000Stream, AJP2FileWrittenAfterOtherDataReadsBackFromThere)
{
    TIEBitmap b;
    test::Photo(b, 30, 20);
    TIOParamsVals p(nullptr);
    rtl::TMemoryStream m;
    const std::string before = "some other data first", after = "and after";
    m.WriteBuffer(before.data(), std::int32_t(before.size()));
    Progress progress;
    WriteJ2000Stream(m, &b, p, kJ2000FormatJP2, progress.record);
    ASSERT_FALSE(progress.abort);
    const std::int64_t end = m.Position();
    EXPECT_EQ(end, m.Size()) << "the stream is left after the image";
    m.WriteBuffer(after.data(), std::int32_t(after.size()));

    EXPECT_EQ(std::string(m.Bytes().begin(), m.Bytes().begin() + std::ptrdiff_t(before.size())), before);
    m.Seek(std::int64_t(before.size()), rtl::soBeginning);
    TIEBitmap back;
    TIOParamsVals q(nullptr);
    ReadJ2000Stream(m, &back, q, false, progress.record);
    ASSERT_FALSE(progress.abort);
    EXPECT_TRUE(SamePixels(back, b));
}

TEST(J2000Stream, AShortWriteAborts)
{
    test::FullStream full(100);
    TIEBitmap b;
    test::Photo(b, 60, 60);
    TIOParamsVals p(nullptr);
    Progress progress;
    WriteJ2000Stream(full, &b, p, kJ2000FormatJP2, progress.record);
    EXPECT_TRUE(progress.abort);
}

// ---- refusals ----

// A code stream's start with the given size header fields and component sampling.
Bytes SizeHeader(std::uint32_t w, std::uint32_t h, std::uint32_t tileW, std::uint32_t tileH, int comps)
{
    Bytes b(42 + 3 * std::size_t(comps));
    rtl::StoreBE16(b.data(), 0xFF4F);
    rtl::StoreBE16(b.data() + 2, 0xFF51);
    rtl::StoreBE16(b.data() + 4, std::uint16_t(38 + 3 * comps));
    rtl::StoreBE32(b.data() + 8, w);
    rtl::StoreBE32(b.data() + 12, h);
    rtl::StoreBE32(b.data() + 24, tileW);
    rtl::StoreBE32(b.data() + 28, tileH);
    rtl::StoreBE16(b.data() + 40, std::uint16_t(comps));
    for (int c = 0; c < comps; ++c) {
        b[42 + 3 * c] = 7;
        b[43 + 3 * c] = 1;
        b[44 + 3 * c] = 1;
    }
    b.insert(b.end(), 64, 0);
    return b;
}

TEST(J2000Refuses, HugeDeclaredSizesBeforeAnythingIsAllocated)
{
    struct Case {
        const char* what;
        Bytes file;
    };
    Bytes jp2Palette;
    {
        // Signature, a header box with a palette of 255 channels, then the code stream.
        const Bytes stream = SizeHeader(9000, 9000, 9000, 9000, 1);
        Bytes box = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
        const Bytes pclr = {0, 0, 0, 14, 'p', 'c', 'l', 'r', 0, 1, 255, 7, 0, 0};
        Bytes header = {0, 0, 0, std::uint8_t(8 + pclr.size()), 'j', 'p', '2', 'h'};
        header.insert(header.end(), pclr.begin(), pclr.end());
        box.insert(box.end(), header.begin(), header.end());
        const Bytes jp2c = {0, 0, 0, 0, 'j', 'p', '2', 'c'};
        box.insert(box.end(), jp2c.begin(), jp2c.end());
        box.insert(box.end(), stream.begin(), stream.end());
        jp2Palette = box;
    }
    const Case cases[] = {
        {"60000 x 60000 x 3", SizeHeader(60000, 60000, 60000, 60000, 3)},
        {"4 billion one-pixel tiles", SizeHeader(65536, 65536, 1, 1, 1)},
        {"16384 components", SizeHeader(1000, 1000, 1000, 1000, 16384)},
        {"a palette of 255 channels", jp2Palette},
        {"tile size 0", SizeHeader(10, 10, 0, 0, 1)},
    };
    for (const Case& c : cases) {
        Read r(c.file);
        EXPECT_TRUE(r.aborted) << c.what;
        EXPECT_EQ(r.bitmap.GetWidth(), 0) << c.what;
    }
}

TEST(J2000Refuses, DataNeitherProbeAcceptsAndStreamsCutShort)
{
    TIEBitmap b;
    test::Photo(b, 64, 64);
    TIOParamsVals p(nullptr);
    for (int format : {kJ2000FormatJP2, kJ2000FormatJ2K}) {
        Bytes file = Write(b, p, format);
        file.resize(file.size() * 2 / 3);
        Read r(file);
        EXPECT_TRUE(r.aborted) << format;
        EXPECT_EQ(r.bitmap.GetWidth(), 0) << format;
    }
    Read junk(Bytes(200, 0x41));
    EXPECT_TRUE(junk.aborted);
    Read empty(Bytes{});
    EXPECT_TRUE(empty.aborted);
}

TEST(J2000Read, ParamsOnlyDescribesTheImageAndLeavesTheBitmap)
{
    TIEBitmap b;
    test::Photo(b, 33, 17);
    TIOParamsVals p(nullptr);
    p.J2000ColorSpace = 0;
    p.BitsPerSample = 12;
    Read r(Write(b, p, kJ2000FormatJP2), true);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.bitmap.GetWidth(), 0);
    EXPECT_EQ(r.params.Width, 33);
    EXPECT_EQ(r.params.Height, 17);
    EXPECT_EQ(r.params.BitsPerSample, 12);
    EXPECT_EQ(r.params.SamplesPerPixel, 1);
    EXPECT_EQ(r.params.DpiX, IEDefaultDpiX);
}

// ---- through the I/O component ----

TEST(J2000Component, SavesAndLoadsByExtension)
{
    const std::string folder = rtl::TempFolder();
    TVodirAdIO io(nullptr);
    test::Photo(*io.IEBitmap(), 21, 13);
    TIEBitmap original;
    original.Assign(io.IEBitmap());
    for (const char* name : {"va_j2k_io.jp2", "va_j2k_io.j2k", "va_j2k_io.jpc"}) {
        const std::string file = folder + name;
        io.SaveToFile(file);
        ASSERT_FALSE(io.AbortFlag) << name;
        rtl::TMemoryStream m;
        m.LoadFromFile(file);
        const bool jp2 = std::string(name).ends_with(".jp2");
        EXPECT_EQ(rtl::LoadBE32(m.Memory() + (jp2 ? 4 : 0)), jp2 ? 0x6A502020u : 0xFF4FFF51u) << name;
        TVodirAdIO in(nullptr);
        in.LoadFromFile(file);
        EXPECT_FALSE(in.AbortFlag) << name;
        EXPECT_TRUE(SamePixels(*in.IEBitmap(), original)) << name;
        EXPECT_EQ(in.Params().FileType, jp2 ? ioJP2 : ioJ2K);
        EXPECT_EQ(in.FindStreamFormat(m), jp2 ? ioJP2 : ioJ2K);
        rtl::RemoveFile(file);
    }
}

}  // namespace
