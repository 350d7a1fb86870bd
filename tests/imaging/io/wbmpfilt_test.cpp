// WBMP reader and writer: the multi-byte sizes both ways, headers to refuse, and a save that scales a
// copy and leaves the caller's image whole. The peers judge whole files (raster_peers.py).
#include "imaging/io/wbmpfilt.h"

#include "raster_test_util.h"

#include <gtest/gtest.h>

using namespace imaging;
using namespace imaging::test;

namespace {

void Read(const Bytes& file, Job& r, bool paramsOnly = false)
{
    auto m = StreamOf(file);
    ReadWBMPStream(*m, &r.bitmap, r.params, paramsOnly, r.progress);
}

Bytes Write(Job& r)
{
    rtl::TMemoryStream m;
    WriteWBMPStream(m, &r.bitmap, r.progress);
    return m.Bytes();
}

TEST(WbmpReader, ReadsSizesOfManyBytes)
{
    // 200 = 0x81 0x48, 130 = 0x81 0x02: seven bits a byte, the high bit on all but the last.
    Bytes file = {0, 0, 0x81, 0x48, 0x81, 0x02};
    Bytes rows(25 * 130, 0);
    rows[0] = 0x80;           // (0, 0) white
    rows[25 * 129 + 24] = 1;  // (199, 129) white
    Job r;
    Read(file + rows, r);
    ASSERT_FALSE(r.abort);
    EXPECT_EQ(r.params.Width, 200);
    EXPECT_EQ(r.params.Height, 130);
    ASSERT_EQ(r.bitmap.GetPixelFormat(), ie1g);
    EXPECT_EQ(Px(r.bitmap, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(Px(r.bitmap, 1, 0), 0u);
    EXPECT_EQ(Px(r.bitmap, 199, 129), 0xFFFFFFu);
}

TEST(WbmpReader, RefusesBadHeadersAndShortData)
{
    const std::pair<const char*, Bytes> cases[] = {
        {"type 1", {1, 0, 1, 1, 0}},
        {"extension headers", {0, 0x80, 1, 1, 0}},
        {"width 0", {0, 0, 0, 1}},
        {"an integer of six bytes", {0, 0, 0x81, 0x80, 0x80, 0x80, 0x80, 0x01, 1, 0}},
        {"a width past 2^31", {0, 0, 0x88, 0x80, 0x80, 0x80, 0x00, 1, 0}},
        {"a size that ends with the file", {0, 0, 0x81}},
        {"rows short of the height", {0, 0, 8, 3, 0xFF, 0xFF}},
        {"a million rows in a few bytes", Bytes{0, 0, 8, 0xBD, 0x84, 0x40} + Bytes(10, 0)},
    };
    for (const auto& [what, file] : cases) {
        Job r;
        Read(file, r);
        EXPECT_TRUE(r.abort) << what;
        EXPECT_EQ(r.bitmap.GetPixelFormat(), ieNull) << what;
    }
}

TEST(WbmpWriter, WritesSizesOfManyBytes)
{
    Job r;
    r.bitmap.Allocate(200, 3, ie1g);
    r.bitmap.ScanLine(0)[0] = 0x80;
    const Bytes file = Write(r);
    ASSERT_FALSE(r.abort);
    ASSERT_EQ(file.size(), 5u + 25 * 3);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 6), (Bytes{0, 0, 0x81, 0x48, 3, 0x80}));
    Job back;
    Read(file, back);
    EXPECT_EQ(back.bitmap.GetWidth(), 200);
    EXPECT_EQ(Px(back.bitmap, 0, 0), 0xFFFFFFu);
}

TEST(WbmpWriter, ScalesACopyToFit255AndLeavesTheImageWhole)
{
    struct Case {
        int w, h;
        TIEPixelFormat format;
        int writtenW, writtenH;
    };
    const Case cases[] = {
        {300, 150, ie24RGB, 255, 127}, {300, 150, ie1g, 255, 127},    {100, 400, ie8g, 63, 255},
        {1000, 2, ie1g, 255, 1},       {255, 255, ie24RGB, 255, 255},
    };
    for (const Case& c : cases) {
        Job r;
        // Left half black, right half white.
        Fill24(r.bitmap, c.w, c.h, [&](int x, int) { return x < c.w / 2 ? 0u : 0xFFFFFFu; });
        r.bitmap.SetPixelFormat(c.format);
        const Bytes lastRow(r.bitmap.ScanLine(c.h - 1), r.bitmap.ScanLine(c.h - 1) + r.bitmap.GetRowLen());
        Job back;
        Read(Write(r), back);
        EXPECT_FALSE(r.abort) << c.w << "x" << c.h;
        EXPECT_EQ(back.bitmap.GetWidth(), c.writtenW) << c.w << "x" << c.h;
        EXPECT_EQ(back.bitmap.GetHeight(), c.writtenH) << c.w << "x" << c.h;
        EXPECT_EQ(Px(back.bitmap, 0, 0), 0u) << c.w << "x" << c.h;
        EXPECT_EQ(Px(back.bitmap, c.writtenW - 1, c.writtenH - 1), 0xFFFFFFu) << c.w << "x" << c.h;
        // The caller's image keeps its size, format and pixels.
        EXPECT_EQ(r.bitmap.GetWidth(), c.w);
        EXPECT_EQ(r.bitmap.GetHeight(), c.h);
        EXPECT_EQ(r.bitmap.GetPixelFormat(), c.format);
        EXPECT_EQ(Bytes(r.bitmap.ScanLine(c.h - 1), r.bitmap.ScanLine(c.h - 1) + r.bitmap.GetRowLen()),
                  lastRow);
    }
}

// The copy the writer turns to one bit takes the image's own black-and-white method: a grey ramp
// thresholded turns white once a row, dithered many times; scaled or not.
TEST(WbmpWriter, TheCopyTurnsToOneBitByTheImagesOwnMethod)
{
    for (const int width : {64, 300})
        for (const std::uint8_t threshold : {0, 1}) {
            Job r;
            Fill24(r.bitmap, width, 4, [&](int x, int) {
                const std::uint32_t v = std::uint32_t(x * 255 / (width - 1));
                return v | v << 8 | v << 16;
            });
            r.bitmap.MonoConversion = threshold;
            Job back;
            Read(Write(r), back);
            ASSERT_FALSE(r.abort);
            int changes = 0;
            for (int x = 1; x < back.bitmap.GetWidth(); ++x)
                changes += Px(back.bitmap, x, 1) != Px(back.bitmap, x - 1, 1);
            if (threshold)
                EXPECT_EQ(changes, 1) << width;
            else
                EXPECT_GT(changes, 16) << width;
        }
}

TEST(WbmpWriter, AnEmptyImageOrAShortWriteAborts)
{
    Job empty;
    EXPECT_TRUE(Write(empty).empty());
    EXPECT_TRUE(empty.abort);

    Job r;
    r.bitmap.Allocate(64, 64, ie1g);
    FullStream disk(100);
    WriteWBMPStream(disk, &r.bitmap, r.progress);
    EXPECT_TRUE(r.abort);
}

}  // namespace
