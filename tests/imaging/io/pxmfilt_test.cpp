// Anymap reader and writer on hand-built files: scaling by the maximum, the two-byte samples,
// clamping, headers and limits it must refuse, and what the writer does with formats and comments.
// Whole images are judged by the peer suite (raster_peers.py).
#include "imaging/io/pxmfilt.h"

#include "imaging/io/detail/ieprobes.h"
#include "imaging/io/detail/iereadbuffer.h"
#include "raster_test_util.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace imaging;
using namespace imaging::test;

namespace {

void Read(const Bytes& file, Job& r, bool paramsOnly = false)
{
    auto m = StreamOf(file);
    ReadPXMStream(*m, &r.bitmap, r.params, r.progress, paramsOnly);
}

std::string Write(Job& r)
{
    rtl::TMemoryStream m;
    WritePXMStream(m, &r.bitmap, r.params, r.progress);
    return std::string(m.Bytes().begin(), m.Bytes().end());
}

struct ReadCase {
    const char* what;
    Bytes file;
    std::vector<std::uint32_t> pixels;  // left to right, top to bottom
};

TEST(PxmReader, ScalesEverySampleByTheMaximumAndClampsThoseAboveIt)
{
    const ReadCase cases[] = {
        {"P2 maximum 15: 15 is white, 7 is 119", Text("P2 3 1 15\n15 7 0\n"), {0xFFFFFF, 0x777777, 0}},
        {"P5 maximum 100 scales every byte",
         Text("P5 3 1 100\n") + Bytes{100, 50, 1},
         {0xFFFFFF, 0x7F7F7F, 0x020202}},
        {"P5 maximum 255 is as it is", Text("P5 2 1 255\n") + Bytes{255, 9}, {0xFFFFFF, 0x090909}},
        {"P6 scales too", Text("P6 1 1 31\n") + Bytes{31, 0, 16}, {0xFF0083}},
        {"P3 scales each channel", Text("P3 1 1 3\n3 1 0\n"), {0xFF5500}},
        {"above 255: two big-endian bytes a sample",
         Text("P5 2 1 65535\n") + Bytes{0xFF, 0xFF, 0x80, 0x00},
         {0xFFFFFF, 0x7F7F7F}},
        {"P6 with two-byte samples", Text("P6 1 1 1000\n") + Bytes{0x03, 0xE8, 0x01, 0xF4, 0, 4}, {0xFF7F01}},
        {"samples above the maximum are the maximum",
         Text("P2 3 1 10\n20 10 65536\n"),
         {0xFFFFFF, 0xFFFFFF, 0xFFFFFF}},
        {"binary samples above the maximum", Text("P5 2 1 100\n") + Bytes{200, 101}, {0xFFFFFF, 0xFFFFFF}},
        {"wide samples above the maximum", Text("P5 1 1 1000\n") + Bytes{0xFF, 0xFF}, {0xFFFFFF}},
        {"P1: 1 is black, other bytes are skipped", Text("P1 3 1\n1x0#11\n 1"), {0, 0xFFFFFF, 0}},
        {"P4 2x2 0x80, 0x40: black on the diagonal",
         Text("P4 2 2\n") + Bytes{0x80, 0x40},
         {0, 0xFFFFFF, 0xFFFFFF, 0}},
        {"comments inside ASCII data are skipped", Text("P2 2 1 9\n# 5 5\n9 0"), {0xFFFFFF, 0}},
    };
    for (const ReadCase& c : cases) {
        Job r;
        Read(c.file, r);
        ASSERT_FALSE(r.abort) << c.what;
        ExpectPixels(r, c.pixels, c.what);
    }
}

TEST(PxmReader, KeepsCommentsWhereverTheyStandInTheHeader)
{
    Job r;
    Read(Text("P5\n# one\n2 # two\n1\n#  three  \n255\n") + Bytes{1, 2}, r);
    ASSERT_FALSE(r.abort);
    ASSERT_EQ(r.params.ImageDescriptions.Count(), 3);
    EXPECT_EQ(r.params.ImageDescriptions[0], "one");
    EXPECT_EQ(r.params.ImageDescriptions[1], "two");
    EXPECT_EQ(r.params.ImageDescriptions[2], "three");
    EXPECT_EQ(Px(r.bitmap, 1, 0), 0x020202u);
}

TEST(PxmReader, RefusesBadHeadersAndImagesItsDataCannotHoldBeforeAllocating)
{
    const std::pair<const char*, Bytes> cases[] = {
        {"maximum 0", Text("P5 1 1 0\n") + Bytes{0}},
        {"maximum above 65535", Text("P5 1 1 65536\n") + Bytes{0, 0}},
        {"maximum not a number", Text("P2 1 1 x\n0")},
        {"no maximum", Text("P6 1 1")},
        {"width 0", Text("P5 0 1 255\n")},
        {"height not a number", Text("P4 8 y\n") + Bytes{0}},
        {"a width past 2^31", Text("P4 2147483648 1\n") + Bytes{0}},
        {"an unknown magic", Text("P7 1 1 255\n") + Bytes{0}},
        {"not an anymap", Text("BM")},
        {"empty", Bytes{}},
        {"binary data short of one row", Text("P6 2 1 255\n") + Bytes{1, 2, 3, 4, 5}},
        {"10000 x 10000 from 20 bytes", Text("P6 10000 10000 255\n") + Bytes(20, 7)},
        {"ASCII data too short to hold a sample a pixel", Text("P2 100 100 255\n1 2 3")},
        {"plain bitmap of 1000000 pixels in 10 bytes", Text("P1 1000 1000\n0101010101")},
        {"a negative width", Text("P5\n-5 5\n255\n") + Bytes(25, 1)},
        {"a negative height", Text("P4 8 -1\n") + Bytes{0}},
        {"a width with a plus sign", Text("P6 +1 1 255\n") + Bytes(3, 1)},
        {"a negative maximum", Text("P5 1 1 -255\n") + Bytes{0}},
        {"a sign right after the width", Text("P5 1-1 255\n") + Bytes{0}},
    };
    for (const auto& [what, file] : cases) {
        Job r;
        Read(file, r);
        EXPECT_TRUE(r.abort) << what;
        EXPECT_EQ(r.bitmap.GetPixelFormat(), ieNull) << what;
    }
}

TEST(PxmReader, RefusesImagesBeyondTheSizeLimit)
{
    const std::int64_t keep = IEReadMaxImageBytes;
    IEReadMaxImageBytes = 1000;
    Job r;
    Read(Text("P5 20 20 255\n") + Bytes(400, 1), r);  // 20 rows of 60 bytes in 24 bits
    IEReadMaxImageBytes = keep;
    EXPECT_TRUE(r.abort);
    EXPECT_EQ(r.bitmap.GetPixelFormat(), ieNull);
}

TEST(PxmReader, DataThatEndsEarlyOrIsNoNumberKeepsTheRowsBeforeItAndAborts)
{
    Job cut;
    Read(Text("P2 2 2 255\n9 8 7          "), cut);
    EXPECT_TRUE(cut.abort);
    ASSERT_EQ(cut.bitmap.GetWidth(), 2);
    EXPECT_EQ(Px(cut.bitmap, 1, 0), 0x080808u);
    EXPECT_EQ(Px(cut.bitmap, 1, 1), 0u);

    Job word;
    Read(Text("P3 1 2 255\n1 2 3 4 5x 6"), word);
    EXPECT_TRUE(word.abort);
    EXPECT_EQ(Px(word.bitmap, 0, 0), 0x010203u);

    Job negative;
    Read(Text("P2 2 1 9\n9 -3"), negative);
    EXPECT_TRUE(negative.abort);
}

// The content probe takes a header exactly when the reader does: both read the same words, any
// byte that is no letter, digit or comment separating them.
TEST(PxmReader, TheProbeTakesWhatTheReaderTakes)
{
    const struct {
        const char* what;
        const char* header;
        bool valid;
    } cases[] = {
        {"spaces", "P5 3 2 255\n", true},
        {"commas", "P5\n3,2\n255\n", true},
        {"tabs and comments", "P6\t# c\n3\t2 #d\n255\n", true},
        {"semicolons", "P2;3;2;255;", true},
        {"a bitmap without maximum", "P4=3=2=", true},
        {"a negative width", "P5\n-5 5\n255\n", false},
        {"a signed height", "P5 5 +5 255\n", false},
        {"a sign after the width", "P5 5-5 255\n", false},
        {"a letter in the width", "P5 3a 2 255\n", false},
        {"width 0", "P4 0 2\n", false},
        {"an unknown magic", "P9 3 2 255\n", false},
    };
    for (const auto& c : cases) {
        const Bytes file = Text(c.header) + Bytes(std::size_t(5 * 5 * 3), '1');
        auto probed = StreamOf(file);
        EXPECT_EQ(TryPXM(*probed), c.valid) << c.what;
        EXPECT_EQ(probed->Position(), 0) << c.what;
        Job r;
        Read(file, r, true);
        EXPECT_EQ(!r.abort, c.valid) << c.what;
    }
    Job commas;
    Read(Text("P5\n3,2\n255\n") + Bytes{1, 2, 3, 4, 5, 6}, commas);
    ASSERT_FALSE(commas.abort);
    EXPECT_EQ(Px(commas.bitmap, 2, 1), 0x060606u);
}

TEST(PxmReader, ParamsOnlyLeavesTheBitmap)
{
    Job r;
    r.bitmap.Allocate(3, 3, ie8g);
    r.params.SetDpiX(1);
    Read(Text("P6 # c\n7 5 255\n"), r, true);
    EXPECT_FALSE(r.abort);
    EXPECT_EQ(r.params.Width, 7);
    EXPECT_EQ(r.params.Height, 5);
    EXPECT_EQ(r.params.SamplesPerPixel, 3);
    EXPECT_EQ(r.params.DpiX, IEDefaultDpiX);
    EXPECT_EQ(r.params.ImageDescriptions.Count(), 1);
    EXPECT_EQ(r.bitmap.GetPixelFormat(), ie8g);
}

// ---- writing ----

TEST(PxmWriter, ChoosesTheFormFromParamsAndConvertsACopy)
{
    struct Case {
        const char* what;
        TIEPixelFormat format;
        int bits, samples;
        const char* header;
        std::size_t rowBytes;  // of a 5 pixel wide row
    };
    const Case cases[] = {
        {"1 bit from a 24-bit image", ie24RGB, 1, 1, "P4\n5 2\n", 1},
        {"an ie1g image is always a bitmap", ie1g, 8, 3, "P4\n5 2\n", 1},
        {"grey from a 24-bit image", ie24RGB, 8, 1, "P5\n5 2\n255\n", 5},
        {"colour from a palette image", ie8p, 8, 3, "P6\n5 2\n255\n", 15},
        {"colour from grey", ie8g, 8, 3, "P6\n5 2\n255\n", 15},
        {"any other depth of a 24-bit image is colour", ie24RGB, 16, 1, "P6\n5 2\n255\n", 15},
    };
    for (const Case& c : cases) {
        Job r;
        Fill24(r.bitmap, 5, 2, [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFu : 0x102030u; });
        r.bitmap.SetPixelFormat(c.format);
        const Bytes before(r.bitmap.ScanLine(1), r.bitmap.ScanLine(1) + r.bitmap.GetRowLen());
        r.params.BitsPerSample = c.bits;
        r.params.SamplesPerPixel = c.samples;
        const std::string file = Write(r);
        EXPECT_FALSE(r.abort) << c.what;
        EXPECT_EQ(file.substr(0, std::strlen(c.header)), c.header) << c.what;
        EXPECT_EQ(file.size(), std::strlen(c.header) + 2 * c.rowBytes) << c.what;
        EXPECT_EQ(r.bitmap.GetPixelFormat(), c.format) << c.what;
        EXPECT_EQ(Bytes(r.bitmap.ScanLine(1), r.bitmap.ScanLine(1) + r.bitmap.GetRowLen()), before) << c.what;
        // What we wrote reads back as the image.
        Job back;
        Read(Bytes(file.begin(), file.end()), back);
        ASSERT_FALSE(back.abort) << c.what;
        EXPECT_EQ(Px(back.bitmap, 1, 0), 0xFFFFFFu) << c.what;
    }
}

TEST(PxmWriter, ACombinationWithoutAFormAbortsAndWritesNothing)
{
    Job r;
    r.bitmap.Allocate(4, 4, ie8g);
    r.params.BitsPerSample = 16;
    r.params.SamplesPerPixel = 1;
    EXPECT_EQ(Write(r), "");
    EXPECT_TRUE(r.abort);

    Job empty;
    EXPECT_EQ(Write(empty), "");
    EXPECT_TRUE(empty.abort);
}

TEST(PxmWriter, WritesEachCommentLineOnALineOfItsOwn)
{
    Job r;
    r.bitmap.Allocate(9, 1, ie1g);
    r.params.ImageDescriptions.Add("first");
    r.params.ImageDescriptions.Add("second\r\nthird");
    const std::string file = Write(r);
    EXPECT_EQ(file.substr(0, 35), "P4\n# first\n# second\n# third\n9 1\n\xFF\x80");
    Job back;
    Read(Bytes(file.begin(), file.end()), back);
    EXPECT_EQ(back.params.ImageDescriptions.Count(), 3);
}

TEST(PxmWriter, AShortWriteAborts)
{
    Job r;
    r.bitmap.Allocate(100, 100, ie24RGB);
    FullStream disk(500);
    WritePXMStream(disk, &r.bitmap, r.params, r.progress);
    EXPECT_TRUE(r.abort);
}

}  // namespace
