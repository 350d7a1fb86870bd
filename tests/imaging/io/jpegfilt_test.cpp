// JPEG decoder and encoder: where the file is found, scaling, density, markers, colour spaces,
// the library's errors at the unit's boundary, and the limits on size, memory and scans. Whole
// images are judged by the peer suite (jpeg_peers.py) against djpeg and exiftool.
#include "imaging/io/jpegfilt.h"

#include "imaging/io/iecolorspace.h"
#include "imaging/io/ieexif.h"
#include "imaging/io/iefileformats.h"
#include "imaging/io/iejpegmarkers.h"
#include "imaging/io/tiffilt.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/Endian.h"
#include "tests/imaging/io/io_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

using namespace imaging;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A smooth picture with some detail, so every colour space has something to keep.
TIEBitmap& Picture(TIEBitmap& b, int w, int h, bool grey = false)
{
    b.Allocate(w, h, ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto v = std::uint8_t((x * 255) / std::max(1, w - 1));
            b.SetPixel24(x, y,
                         grey ? TRGB{v, v, v} : TRGB{v, std::uint8_t((y * 255) / std::max(1, h - 1)), 200});
        }
    return b;
}

using test::Progress;

Bytes Encode(TIEBitmap& b, TIOParamsVals& p)
{
    rtl::TMemoryStream m;
    Progress progress;
    EncodeJpegStream(m, &b, p, progress.record);
    EXPECT_FALSE(progress.abort);
    return m.Bytes();
}

Bytes Encode(TIEBitmap& b, int quality = 90, bool progressive = false)
{
    TIOParamsVals p(nullptr);
    p.JPEGQuality = quality;
    p.JPEGProgressive = progressive;
    return Encode(b, p);
}

struct Decoded {
    bool aborted = false;
    TIEBitmap bitmap;
    TIOParamsVals params{nullptr};
};

void Decode(const Bytes& file, Decoded& d, bool paramsOnly = false)
{
    rtl::TReadOnlyMemoryStream m(file.data(), std::int64_t(file.size()));
    Progress progress;
    DecodeJpegStream(m, nullptr, &d.bitmap, false, paramsOnly, progress.record, d.params);
    d.aborted = progress.abort;
}

int MaxDifference(TIEBitmap& a, TIEBitmap& b)
{
    int worst = 0;
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x) {
            const TRGB p = a.GetPixelRGB(x, y), q = b.GetPixelRGB(x, y);
            worst = std::max({worst, std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
        }
    return worst;
}

// ---- reading ----

TEST(JpegReader, FindsTheImageWithinTheFirstHundredBytesOnly)
{
    TIEBitmap b;
    const Bytes jpeg = Encode(Picture(b, 8, 8));
    for (const auto& [junk, found] : {std::pair{0, true}, {99, true}, {100, false}}) {
        Bytes file(std::size_t(junk), 0x20);
        file.insert(file.end(), jpeg.begin(), jpeg.end());
        Decoded d;
        Decode(file, d);
        EXPECT_EQ(d.aborted, !found) << junk;
        EXPECT_EQ(d.bitmap.GetWidth(), found ? 8 : 0) << junk;
    }
}

TEST(JpegReader, AutomaticScaleTakesTheLargestDenominatorThatStillFits)
{
    TIEBitmap b;
    const Bytes file = Encode(Picture(b, 1600, 1200), 50);
    struct Case {
        int scale, wantW, wantH;
        int used, w, h;
    };
    const Case cases[] = {
        {0, 100, 100, 8, 200, 150},   {0, 250, 100, 4, 400, 300}, {0, 0, 0, 1, 1600, 1200},
        {0, 1601, 10, 1, 1600, 1200}, {3, 0, 0, 4, 400, 300},
    };
    for (const Case& c : cases) {
        Decoded d;
        d.params.JPEGScale = c.scale;
        d.params.Width = c.wantW;
        d.params.Height = c.wantH;
        Decode(file, d, true);
        EXPECT_EQ(d.params.JPEGScaleUsed, c.used) << c.wantW;
        EXPECT_EQ(d.params.Width, c.w) << c.wantW;
        EXPECT_EQ(d.params.Height, c.h) << c.wantW;
        EXPECT_EQ(d.params.JPEGOriginalWidth, 1600);
    }
    Decoded eighth;
    eighth.params.JPEGScale = 4;
    Decode(file, eighth);
    EXPECT_EQ(eighth.bitmap.GetWidth(), 200);
    EXPECT_EQ(eighth.bitmap.GetHeight(), 150);
    Decoded paramsOnly;
    paramsOnly.bitmap.Allocate(3, 3, ie8g);
    Decode(file, paramsOnly, true);
    EXPECT_EQ(paramsOnly.bitmap.GetWidth(), 3) << "a parameters-only read leaves the bitmap";
}

TEST(JpegReader, DensityBecomesTheResolution)
{
    TIEBitmap b;
    const Bytes jpeg = Encode(Picture(b, 8, 8));
    ASSERT_EQ(std::memcmp(jpeg.data() + 6, "JFIF", 4), 0);
    struct Case {
        std::uint8_t unit;
        int x, y, dpiX, dpiY;
    };
    for (const Case& c : {Case{0, 1, 1, 1, 1}, Case{1, 72, 96, 72, 96}, Case{2, 118, 40, 299, 101},
                          Case{3, 50, 50, 300, 300}}) {
        Bytes file = jpeg;
        file[13] = c.unit;
        rtl::StoreBE16(file.data() + 14, std::uint16_t(c.x));
        rtl::StoreBE16(file.data() + 16, std::uint16_t(c.y));
        Decoded d;
        d.params.SetDpiX(300);
        d.params.SetDpiY(300);
        Decode(file, d);
        EXPECT_EQ(d.params.DpiX, c.dpiX) << int(c.unit);
        EXPECT_EQ(d.params.DpiY, c.dpiY) << int(c.unit);
    }
}

TEST(JpegReader, KeepsEveryMarkerButALeadingJfifHeader)
{
    TIEBitmap b;
    Picture(b, 8, 8);
    const char comment[] = "made here";
    const std::uint8_t exif[] = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M'};
    TIOParamsVals p(nullptr);
    p.JPEGMarkerList.AddMarker(JPEG_COM, comment, sizeof comment);
    p.JPEGMarkerList.AddMarker(JPEG_APP0 + 1, exif, sizeof exif);
    p.JPEGMarkerList.AddMarker(JPEG_APP0, "late", 4);
    Decoded d;
    Decode(Encode(b, p), d);
    const TIEMarkerList& m = d.params.JPEGMarkerList;
    ASSERT_EQ(m.Count(), 3);
    EXPECT_EQ(m.MarkerType(0), JPEG_COM);
    EXPECT_EQ(std::memcmp(m.MarkerData(0), comment, sizeof comment), 0);
    EXPECT_EQ(m.MarkerType(1), JPEG_APP0 + 1);
    EXPECT_EQ(m.MarkerLength(1), int(sizeof exif));
    EXPECT_EQ(m.MarkerType(2), JPEG_APP0) << "an APP0 that is not first is kept";
}

TEST(JpegCodec, EveryColourSpaceRoundTripsWithoutSwappingChannels)
{
    TIEBitmap colour, grey;
    Picture(colour, 48, 32);
    Picture(grey, 48, 32, true);
    struct Case {
        std::uint8_t space;
        int samples;
        TIEBitmap* source;
    };
    for (const Case& c : {Case{0, 3, &colour}, Case{1, 1, &grey}, Case{2, 3, &colour}, Case{3, 4, &colour},
                          Case{4, 4, &colour}}) {
        TIOParamsVals p(nullptr);
        p.JPEGColorSpace = c.space;
        p.JPEGQuality = 100;
        Decoded d;
        Decode(Encode(*c.source, p), d);
        ASSERT_FALSE(d.aborted) << int(c.space);
        EXPECT_EQ(d.params.JPEGColorSpace, c.space);
        EXPECT_EQ(d.params.SamplesPerPixel, c.samples);
        EXPECT_EQ(d.bitmap.GetPixelFormat(), ie24RGB);
        EXPECT_LE(MaxDifference(d.bitmap, *c.source), 8) << int(c.space);
    }
}

// CMYK goes to and from the pixels through the library-wide converter a program may replace, in
// JPEG files (CMYK and YCCK) and in TIFF JPEG pages alike: a converter that makes every pixel one
// colour makes the whole picture that colour.
std::vector<std::pair<int, int>> conversions;
void OneColour(const std::uint8_t*, int SourceSpace, std::uint8_t* Dest, int Count, int DestSpace,
               const TIELabSpace*)
{
    conversions.emplace_back(SourceSpace, DestSpace);
    for (int i = 0; i < Count; ++i) {
        if (DestSpace == kIEColorRGB) {
            const std::uint8_t bgr[3] = {7, 77, 177};
            std::memcpy(Dest + 3 * i, bgr, 3);
        } else {
            const std::uint8_t cmyk[4] = {255, 0, 255, 255};  // magenta, as a JPEG file's CMYK
            std::memcpy(Dest + 4 * i, cmyk, 4);
        }
    }
}

TEST(JpegCodec, CmykGoesThroughTheReplaceableConverter)
{
    TIEBitmap b;
    Picture(b, 32, 16);
    struct Case {
        const char* what;
        bool tiff;
        std::uint8_t space;
    };
    for (const Case& c :
         {Case{"CMYK file", false, 3}, {"YCCK file", false, 4}, {"CMYK TIFF page", true, 3}}) {
        const auto write = [&] {
            TIOParamsVals p(nullptr);
            p.JPEGQuality = 100;
            p.JPEGColorSpace = c.space;
            p.TIFFCompression = 7;
            p.TIFFJPEGColorSpace = c.space;
            p.TIFFJPEGQuality = 100;
            rtl::TMemoryStream m;
            Progress progress;
            if (c.tiff)
                WriteTIFFStream(m, false, &b, progress.record, p);
            else
                EncodeJpegStream(m, &b, p, progress.record);
            EXPECT_FALSE(progress.abort) << c.what;
            return m.Bytes();
        };
        const auto read = [&](const Bytes& file, TIEBitmap& out) {
            rtl::TReadOnlyMemoryStream m(file.data(), std::int64_t(file.size()));
            Progress progress;
            TIOParamsVals p(nullptr);
            if (c.tiff) {
                int count = 0;
                std::unique_ptr<TIEMask> mask;
                ReadTIFFStream(&out, m, count, false, true, true, mask, false, progress.record, p);
            } else {
                DecodeJpegStream(m, nullptr, &out, false, false, progress.record, p);
            }
            EXPECT_FALSE(progress.abort) << c.what;
        };
        conversions.clear();
        Bytes file;
        {
            test::ScopedValue<TIEConvertColorFunction> replaced(IEConvertColorFunction, OneColour);
            file = write();
        }
        EXPECT_EQ(std::count(conversions.begin(), conversions.end(), std::pair{kIEColorRGB, kIEColorCMYK}),
                  16)
            << c.what;
        TIEBitmap magenta;
        read(file, magenta);
        ASSERT_EQ(magenta.GetWidth(), 32) << c.what;
        for (int y = 0; y < 16; y += 5)
            for (int x = 0; x < 32; x += 7) {
                const TRGB px = magenta.GetPixelRGB(x, y);
                EXPECT_TRUE(px.r > 245 && px.g < 10 && px.b > 245) << c.what << " at " << x << "," << y;
            }

        conversions.clear();
        TIEBitmap one;
        {
            test::ScopedValue<TIEConvertColorFunction> replaced(IEConvertColorFunction, OneColour);
            read(write(), one);
        }
        EXPECT_GE(std::count(conversions.begin(), conversions.end(), std::pair{kIEColorCMYK, kIEColorRGB}),
                  16)
            << c.what;
        bool same = one.GetWidth() == 32;
        for (int y = 0; y < one.GetHeight(); ++y)
            for (int x = 0; x < one.GetWidth(); ++x)
                same = same && one.GetPixelRGB(x, y) == (TRGB{7, 77, 177});
        EXPECT_TRUE(same) << c.what;
    }
}

TEST(JpegReader, DamagedFilesAbortWithoutThrowingOrAllocating)
{
    TIEBitmap b;
    const Bytes good = Encode(Picture(b, 64, 48));
    Bytes noComponents = good;
    Bytes huge = good;
    // The SOF0 segment: FF C0, length, precision, height, width, components.
    const Bytes sof0 = {0xFF, 0xC0};
    const auto sof = std::search(good.begin(), good.end(), sof0.begin(), sof0.end());
    ASSERT_NE(sof, good.end());
    const std::size_t at = std::size_t(sof - good.begin());
    noComponents[at + 9] = 0;
    rtl::StoreBE16(huge.data() + at + 5, 65000);
    rtl::StoreBE16(huge.data() + at + 7, 65000);
    struct Case {
        const char* what;
        Bytes file;
    };
    const Case cases[] = {
        {"empty", {}},
        {"start of image only", {0xFF, 0xD8, 0xFF}},
        {"cut in the header", Bytes(good.begin(), good.begin() + 100)},
        {"no components", noComponents},
        {"65000 x 65000 pixels", huge},
    };
    for (const Case& c : cases) {
        Decoded d;
        ASSERT_NO_THROW(Decode(c.file, d)) << c.what;
        EXPECT_TRUE(d.aborted) << c.what;
        EXPECT_EQ(d.bitmap.GetWidth(), 0) << c.what;
    }
}

TEST(JpegReader, DataThatEndsEarlyDecodesWithAWarning)
{
    TIEBitmap b;
    const Bytes good = Encode(Picture(b, 64, 48));
    Decoded d;
    Decode(Bytes(good.begin(), good.begin() + std::ptrdiff_t(good.size() * 2 / 3)), d);
    EXPECT_FALSE(d.aborted);
    EXPECT_EQ(d.bitmap.GetHeight(), 48);
    EXPECT_GT(d.params.JPEGWarningCount, 0);
    EXPECT_NE(d.params.JPEGWarningCode, 0);
}

class FailingStream : public rtl::TReadOnlyMemoryStream {
public:
    FailingStream(const Bytes& b, std::int64_t failAt)
        : TReadOnlyMemoryStream(b.data(), std::int64_t(b.size())), at_(failAt)
    {
    }
    std::int32_t Read(void* buffer, std::int32_t count) override
    {
        if (Position() >= at_)
            throw rtl::EReadError("Stream read error");
        return TReadOnlyMemoryStream::Read(buffer,
                                           std::int32_t(std::min<std::int64_t>(count, at_ - Position())));
    }

private:
    std::int64_t at_;
};

TEST(JpegReader, AStreamThatThrowsAbortsTheReadInsteadOfUnwindingTheLibrary)
{
    TIEBitmap b;
    const Bytes good = Encode(Picture(b, 64, 48));
    FailingStream s(good, std::int64_t(good.size()) / 2);
    TIEBitmap out;
    TIOParamsVals p(nullptr);
    Progress progress;
    ASSERT_NO_THROW(DecodeJpegStream(s, nullptr, &out, false, false, progress.record, p));
    EXPECT_TRUE(progress.abort);
}

TEST(JpegReader, TheLibrarysMemoryIsLimited)
{
    TIEBitmap b;
    Picture(b, 1024, 1024);
    const Bytes baseline = Encode(b, 90, false);
    const Bytes progressive = Encode(b, 90, true);
    // A progressive file keeps every coefficient of the image, 3 MB here; a baseline one a row.
    test::ScopedValue<std::int64_t> limit(IEJpegMaxMemory, 1 << 20);
    Decoded d1, d2;
    Decode(baseline, d1);
    Decode(progressive, d2);
    EXPECT_FALSE(d1.aborted);
    EXPECT_TRUE(d2.aborted);
}

// The progressive file with its last scan repeated: every copy is one more scan to decode.
Bytes WithRepeatedScans(const Bytes& file, int copies)
{
    const Bytes sos = {0xFF, 0xDA};
    const auto last = std::find_end(file.begin(), file.end(), sos.begin(), sos.end());
    const Bytes scan(last, file.end() - 2);
    Bytes out(file.begin(), file.end() - 2);
    for (int i = 0; i < copies; ++i)
        out.insert(out.end(), scan.begin(), scan.end());
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

TEST(JpegReader, FilesWithMoreScansThanTheLimitAbort)
{
    TIEBitmap b;
    const Bytes file = WithRepeatedScans(Encode(Picture(b, 64, 48), 90, true), 40);
    Decoded unlimited;
    Decode(file, unlimited);
    EXPECT_FALSE(unlimited.aborted);
    test::ScopedValue<int> limit(IEJpegMaxScans, 30);
    Decoded limited;
    Decode(file, limited);
    EXPECT_TRUE(limited.aborted);
    Decoded normal;
    Decode(Encode(b, 90, true), normal);
    EXPECT_FALSE(normal.aborted);
}

TEST(JpegReader, AnAbortFromTheProgressHandlerStopsTheRows)
{
    TIEBitmap b;
    const Bytes file = Encode(Picture(b, 64, 48));
    rtl::TReadOnlyMemoryStream m(file.data(), std::int64_t(file.size()));
    TIEBitmap out;
    TIOParamsVals p(nullptr);
    Progress progress;
    int calls = 0;
    progress.record.fOnProgress = [&](void*, int) {
        if (++calls == 5)
            progress.abort = true;
    };
    DecodeJpegStream(m, nullptr, &out, false, false, progress.record, p);
    EXPECT_TRUE(progress.abort);
    EXPECT_EQ(calls, 5);
}

// Tables and image written as two abbreviated streams by the library, as TIFF files keep them.
void AbbreviatedPair(TIEBitmap& b, Bytes& tables, Bytes& image)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    c.image_width = JDIMENSION(b.GetWidth());
    c.image_height = JDIMENSION(b.GetHeight());
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_mem_dest(&c, &buffer, &size);
    jpeg_write_tables(&c);
    tables.assign(buffer, buffer + size);
    std::free(buffer);
    buffer = nullptr;
    size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    jpeg_start_compress(&c, FALSE);
    for (int y = 0; y < b.GetHeight(); ++y) {
        JSAMPROW row = b.ScanLine(y);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    image.assign(buffer, buffer + size);
    std::free(buffer);
    jpeg_destroy_compress(&c);
}

TEST(JpegReader, AbbreviatedImagesTakeTheirTablesFromTheSecondStream)
{
    TIEBitmap b;
    Bytes tables, image;
    AbbreviatedPair(Picture(b, 40, 24), tables, image);
    rtl::TReadOnlyMemoryStream t(tables.data(), std::int64_t(tables.size()));
    rtl::TReadOnlyMemoryStream m(image.data(), std::int64_t(image.size()));
    TIEBitmap out;
    TIOParamsVals p(nullptr);
    Progress progress;
    DecodeJpegStream(m, &t, &out, false, false, progress.record, p);
    EXPECT_FALSE(progress.abort);
    EXPECT_LE(MaxDifference(out, b), 8);
    Decoded alone;
    Decode(image, alone);
    EXPECT_TRUE(alone.aborted) << "without its tables the image cannot be decoded";
}

TEST(JpegReader, TheStreamIsLeftAfterTheImage)
{
    TIEBitmap a, b;
    const Bytes first = Encode(Picture(a, 16, 8));
    const Bytes second = Encode(Picture(b, 8, 16));
    rtl::TMemoryStream m;
    m.WriteBuffer(first.data(), std::int32_t(first.size()));
    m.WriteBuffer(second.data(), std::int32_t(second.size()));
    m.SetPosition(0);
    TIOParamsVals p(nullptr);
    Progress progress;
    TIEBitmap out;
    DecodeJpegStream(m, nullptr, &out, false, false, progress.record, p);
    EXPECT_EQ(m.Position(), std::int64_t(first.size()));
    DecodeJpegStream(m, nullptr, &out, false, false, progress.record, p);
    EXPECT_FALSE(progress.abort);
    EXPECT_EQ(out.GetWidth(), 8);
}

// ---- writing ----

TEST(JpegWriter, LibraryErrorsRaiseTheLibrarysMessage)
{
    TIEBitmap small, wide;
    Picture(small, 8, 8);
    wide.Allocate(70000, 1, ie24RGB);
    struct Case {
        TIEBitmap* bitmap;
        std::uint8_t space;
        const char* message;
    };
    for (const Case& c : {Case{&small, 9, "Bogus JPEG colorspace"},
                          Case{&wide, 2, "Maximum supported image dimension is ? pixels"}}) {
        TIOParamsVals p(nullptr);
        p.JPEGColorSpace = c.space;
        rtl::TMemoryStream m;
        Progress progress;
        try {
            EncodeJpegStream(m, c.bitmap, p, progress.record);
            ADD_FAILURE() << c.message;
        } catch (const EIEJpegException& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_TRUE(progress.abort) << c.message;
    }
}

TEST(JpegWriter, MessagesComeFromTheLibrarysTable)
{
    EXPECT_EQ(IEJpegMessage(0), "Bogus message code ?");
    EXPECT_EQ(IEJpegMessage(-1), "Corrupted");
    EXPECT_EQ(IEJpegMessage(100000), "Corrupted");
}

// The table of 124 messages (0 to 123), whatever later library versions add or reword.
TEST(JpegWriter, MessagesAreTheTableOfOneHundredAndTwentyFour)
{
    const std::pair<int, const char*> table[] = {
        {1, "Sorry, there are legal restrictions on arithmetic coding"},
        {5, "Invalid component ID ? in SOS"},
        {16, "Invalid progressive parameters Ss=? Se=? Ah=? Al=?"},
        {29, "Bogus DAC value 0x?"},
        {53, "Not a JPEG file: starts with 0x? 0x?"},
        {122, "Invalid SOS parameters for sequential JPEG"},
        {123, "Application transferred too many scanlines"},
    };
    for (const auto& [code, text] : table)
        EXPECT_EQ(IEJpegMessage(code), text) << code;
    for (int code = 124; code <= 128; ++code)
        EXPECT_EQ(IEJpegMessage(code), "Corrupted") << code;
}

TEST(JpegWriter, AShortWriteSetsTheAbortFlag)
{
    TIEBitmap b;
    Picture(b, 300, 300);
    test::FullStream m(1000);
    TIOParamsVals p(nullptr);
    Progress progress;
    EXPECT_NO_THROW(EncodeJpegStream(m, &b, p, progress.record));
    EXPECT_TRUE(progress.abort);
}

TEST(JpegWriter, DensityIsWrittenInDotsPerInch)
{
    TIEBitmap b;
    Picture(b, 8, 8);
    for (const auto& [dpi, written] : {std::pair{150, 150}, {0, IEDefaultDpiX}}) {
        TIOParamsVals p(nullptr);
        p.SetDpiX(dpi);
        p.SetDpiY(dpi);
        const Bytes file = Encode(b, p);
        EXPECT_EQ(file[13], 1);
        EXPECT_EQ(rtl::LoadBE16(file.data() + 14), written);
        EXPECT_EQ(rtl::LoadBE16(file.data() + 16), written);
    }
}

// ---- through the I/O component ----

TEST(JpegSteps, StreamsWithHeadersAndIptcTravelThroughTheComponent)
{
    TVodirAdIO io(nullptr);
    Picture(*io.IEBitmap(), 32, 16);
    io.Params().IPTCInfoList.AddBufferItem(2, 120, "caption", 7);
    io.StreamHeaders = true;
    rtl::TMemoryStream m;
    io.SaveToStream(m, ioJPEG);
    ASSERT_FALSE(io.AbortFlag);
    const std::int64_t end = m.Position();
    m.WriteBuffer("tail", 4);
    m.SetPosition(0);

    TVodirAdIO other(nullptr);
    other.LoadFromStream(m);
    ASSERT_FALSE(other.AbortFlag);
    EXPECT_EQ(other.Params().FileType, ioJPEG);
    EXPECT_EQ(other.IEBitmap()->GetWidth(), 32);
    EXPECT_EQ(m.Position(), end);
    ASSERT_EQ(other.Params().IPTCInfoList.Count(), 1);
    EXPECT_EQ(other.Params().IPTCInfoList.Record(0).DataSet, 120);

    const Bytes junk(64, 0x55);
    rtl::TReadOnlyMemoryStream j(junk.data(), std::int64_t(junk.size()));
    other.LoadFromStreamType(j, ioJPEG);
    EXPECT_TRUE(other.AbortFlag);
}

// An EXIF block of the given make and resolution; unit 3 is put in by hand, as our writer always
// says inches.
Bytes ExifBlock(const char* make, double dpi, int unit = 2)
{
    TIOParamsVals p(nullptr);
    p.HasEXIF = true;
    p.EXIF_Make = make;
    p.EXIF_XResolution = dpi;
    p.EXIF_YResolution = dpi;
    Bytes block;
    EXPECT_TRUE(BuildExifBlock(p, block));
    const std::uint8_t* tiff = block.data() + 6;
    const std::uint32_t ifd = rtl::LoadLE32(tiff + 4);
    for (std::uint32_t i = 0, n = rtl::LoadLE16(tiff + ifd); i < n; ++i) {
        std::uint8_t* entry = block.data() + 6 + ifd + 2 + 12 * i;
        if (rtl::LoadLE16(entry) == 0x0128)
            rtl::StoreLE16(entry + 8, std::uint16_t(unit));
    }
    return block;
}

Bytes JpegWithMarkers(int jfifDpi, const std::vector<std::pair<std::uint8_t, Bytes>>& markers)
{
    TIEBitmap b;
    Picture(b, 16, 8);
    TIOParamsVals p(nullptr);
    p.SetDpiX(jfifDpi);
    p.SetDpiY(jfifDpi);
    for (const auto& [type, data] : markers)
        p.JPEGMarkerList.AddMarker(type, data.data(), std::uint16_t(data.size()));
    return Encode(b, p);
}

TEST(JpegSteps, ExifGivesTheResolutionWhenTheJfifHeaderHasNone)
{
    const struct {
        int jfif;
        double exif;
        int unit;
        int dpi;
    } cases[] = {
        {1, 72, 2, 72},
        {1, 28, 3, 71},  // per centimetre: the reader gives dots per inch already
        {150, 72, 2, 150},
        {1, 4e9, 2, 2147483647},  // past an int: clamped, not overflowed
    };
    for (const auto& c : cases) {
        const Bytes file = JpegWithMarkers(c.jfif, {{kJpegApp1, ExifBlock("Maker", c.exif, c.unit)}});
        rtl::TReadOnlyMemoryStream m(file.data(), std::int64_t(file.size()));
        TVodirAdIO io(nullptr);
        io.LoadFromStream(m);
        ASSERT_FALSE(io.AbortFlag);
        EXPECT_TRUE(io.Params().HasEXIF);
        EXPECT_EQ(io.Params().EXIF_Make, "Maker");
        EXPECT_EQ(io.Params().EXIF_ResolutionUnit, c.unit);
        EXPECT_EQ(io.Params().DpiX, c.dpi) << c.exif;
        EXPECT_EQ(io.Params().DpiY, c.dpi) << c.exif;
    }
}

TEST(JpegSteps, ASaveReplacesTheExifBlockAndKeepsXmp)
{
    const Bytes xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0, '<', 'x', '/', '>'};
    const Bytes file = JpegWithMarkers(72, {{kJpegApp1, xmp}, {kJpegApp1, ExifBlock("Old", 72)}});
    rtl::TReadOnlyMemoryStream in(file.data(), std::int64_t(file.size()));
    TVodirAdIO io(nullptr);
    io.LoadFromStream(in);
    ASSERT_EQ(io.Params().EXIF_Make, "Old");
    io.Params().EXIF_Make = "New";
    rtl::TMemoryStream out;
    io.SaveToStream(out, ioJPEG);
    ASSERT_FALSE(io.AbortFlag);

    out.SetPosition(0);
    TVodirAdIO again(nullptr);
    again.LoadFromStream(out);
    EXPECT_EQ(again.Params().EXIF_Make, "New");
    const TIEMarkerList& m = again.Params().JPEGMarkerList;
    ASSERT_EQ(m.Count(), 2);
    EXPECT_EQ(Bytes(m.MarkerData(0), m.MarkerData(0) + m.MarkerLength(0)), xmp);
    EXPECT_EQ(IEFindEXIFMarker(again.Params()), 1);
}

TEST(JpegSteps, AnExifBlockSavedUnchangedIsWrittenAsRead)
{
    // Bytes past the TIFF structure stand for what the parameters do not hold.
    Bytes exif = ExifBlock("Maker", 96);
    exif.insert(exif.end(), {'k', 'e', 'p', 't'});
    const Bytes file = JpegWithMarkers(96, {{kJpegApp1, exif}});
    rtl::TReadOnlyMemoryStream in(file.data(), std::int64_t(file.size()));
    TVodirAdIO io(nullptr);
    io.LoadFromStream(in);
    ASSERT_TRUE(io.Params().HasEXIF);
    rtl::TMemoryStream out;
    io.SaveToStream(out, ioJPEG);
    Decoded d;
    Decode(out.Bytes(), d);
    const TIEMarkerList& m = d.params.JPEGMarkerList;
    ASSERT_EQ(m.Count(), 1);
    EXPECT_EQ(Bytes(m.MarkerData(0), m.MarkerData(0) + m.MarkerLength(0)), exif);
}

}  // namespace
