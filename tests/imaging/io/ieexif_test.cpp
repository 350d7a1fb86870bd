// EXIF blocks: built from the parameters and read back, their thumbnail, their size limit, and
// data that are no block.
#include "imaging/io/ieexif.h"

#include "imaging/io/tiffilt.h"
#include "platform/rtl/Endian.h"
#include "tests/imaging/io/io_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>

using namespace imaging;

namespace {

void Fill(TIOParamsVals& p)
{
    p.HasEXIF = true;
    p.EXIF_ImageDescription = "a test";
    p.EXIF_Make = "Maker";
    p.EXIF_Model = "Model 7";
    p.EXIF_Orientation = 6;
    p.EXIF_XResolution = 72;
    p.EXIF_YResolution = 96;
    p.EXIF_Software = "writer";
    p.EXIF_DateTime = "2024:01:02 03:04:05";
    p.EXIF_Copyright = "nobody";
    p.EXIF_YCbCrPositioning = 1;
    p.EXIF_ExposureTime = 1.0 / 250;
    p.EXIF_FNumber = 5.6;
    p.EXIF_ExposureProgram = 2;
    p.SetEXIF_ISOSpeedRatings(0, 200);
    p.EXIF_ExifVersion = "0230";
    p.EXIF_DateTimeOriginal = "2024:01:02 03:04:05";
    p.EXIF_DateTimeDigitized = "2024:01:02 03:04:06";
    p.EXIF_ShutterSpeedValue = 7.97;
    p.EXIF_ApertureValue = 4.97;
    p.EXIF_BrightnessValue = -1.25;
    p.EXIF_ExposureBiasValue = -0.33;
    p.EXIF_MaxApertureValue = 3.0;
    p.EXIF_SubjectDistance = 2.5;
    p.EXIF_MeteringMode = 5;
    p.EXIF_LightSource = 1;
    p.EXIF_Flash = 16;
    p.EXIF_FocalLength = 35;
    p.EXIF_SubsecTime = "12";
    p.EXIF_FlashPixVersion = "0100";
    p.EXIF_ColorSpace = 1;
    p.EXIF_ExifImageWidth = 640;
    p.EXIF_ExifImageHeight = 480;
    p.EXIF_FocalPlaneXResolution = 2000.5;
    p.EXIF_FocalPlaneResolutionUnit = 2;
    p.EXIF_SensingMethod = 2;
    p.EXIF_FileSource = 3;
    p.EXIF_SceneType = 1;
    p.EXIF_UserCommentCode = std::string("ASCII\0\0\0", 8);
    p.EXIF_UserComment = "comment";
    p.SetEXIF_WhitePoint(0, 0.3127);
    p.SetEXIF_WhitePoint(1, 0.329);
    p.SetEXIF_YCbCrCoefficients(0, 0.299);
    p.SetEXIF_ReferenceBlackWhite(1, 255);
}

TEST(ExifBlock, DataThatAreNoBlockLeaveTheParams)
{
    TIOParamsVals p(nullptr);
    p.EXIF_Make = "kept";
    const std::string jfif("JFIF\0\1\1\0\0\1\0\1\0\0\0\0", 16);
    EXPECT_FALSE(LoadExifBlock(jfif.data(), std::int64_t(jfif.size()), p));
    const std::string tiny("Exif\0\0II*\0", 10);
    EXPECT_FALSE(LoadExifBlock(tiny.data(), std::int64_t(tiny.size()), p));
    EXPECT_FALSE(LoadExifBlock(nullptr, 100, p));
    EXPECT_EQ(p.EXIF_Make, "kept");
    EXPECT_FALSE(p.HasEXIF);
    EXPECT_EQ(p.EXIF_Bitmap(), nullptr);
}

TEST(ExifBlock, ABuiltBlockReadsBackItsFields)
{
    TIOParamsVals p(nullptr);
    Fill(p);
    std::vector<std::uint8_t> block;
    ASSERT_TRUE(BuildExifBlock(p, block));
    ASSERT_GT(block.size(), 14u);
    EXPECT_EQ(std::string(block.begin(), block.begin() + 6), std::string("Exif\0\0", 6));
    TIOParamsVals q(nullptr);
    ASSERT_TRUE(LoadExifBlock(block.data(), std::int64_t(block.size()), q));
    EXPECT_TRUE(q.HasEXIF);
    for (auto field :
         {&TIOParamsVals::EXIF_ImageDescription, &TIOParamsVals::EXIF_Make, &TIOParamsVals::EXIF_Model,
          &TIOParamsVals::EXIF_Software, &TIOParamsVals::EXIF_DateTime, &TIOParamsVals::EXIF_Copyright,
          &TIOParamsVals::EXIF_ExifVersion, &TIOParamsVals::EXIF_DateTimeOriginal,
          &TIOParamsVals::EXIF_DateTimeDigitized, &TIOParamsVals::EXIF_SubsecTime,
          &TIOParamsVals::EXIF_FlashPixVersion, &TIOParamsVals::EXIF_UserComment,
          &TIOParamsVals::EXIF_UserCommentCode})
        EXPECT_EQ(q.*field, p.*field);
    for (auto field : {&TIOParamsVals::EXIF_ExposureTime, &TIOParamsVals::EXIF_FNumber,
                       &TIOParamsVals::EXIF_ShutterSpeedValue, &TIOParamsVals::EXIF_ApertureValue,
                       &TIOParamsVals::EXIF_BrightnessValue, &TIOParamsVals::EXIF_ExposureBiasValue,
                       &TIOParamsVals::EXIF_MaxApertureValue, &TIOParamsVals::EXIF_SubjectDistance,
                       &TIOParamsVals::EXIF_FocalLength, &TIOParamsVals::EXIF_FocalPlaneXResolution,
                       &TIOParamsVals::EXIF_XResolution, &TIOParamsVals::EXIF_YResolution})
        EXPECT_NEAR(q.*field, p.*field, 1e-6);
    for (auto field :
         {&TIOParamsVals::EXIF_Orientation, &TIOParamsVals::EXIF_ExposureProgram,
          &TIOParamsVals::EXIF_MeteringMode, &TIOParamsVals::EXIF_LightSource, &TIOParamsVals::EXIF_Flash,
          &TIOParamsVals::EXIF_ColorSpace, &TIOParamsVals::EXIF_ExifImageWidth,
          &TIOParamsVals::EXIF_ExifImageHeight, &TIOParamsVals::EXIF_FocalPlaneResolutionUnit,
          &TIOParamsVals::EXIF_SensingMethod, &TIOParamsVals::EXIF_FileSource, &TIOParamsVals::EXIF_SceneType,
          &TIOParamsVals::EXIF_YCbCrPositioning})
        EXPECT_EQ(q.*field, p.*field);
    EXPECT_EQ(q.EXIF_ISOSpeedRatings(0), 200);
    EXPECT_NEAR(q.EXIF_WhitePoint(1), 0.329, 1e-6);
    EXPECT_NEAR(q.EXIF_YCbCrCoefficients(0), 0.299, 1e-6);
    EXPECT_NEAR(q.EXIF_ReferenceBlackWhite(1), 255, 1e-6);
}

// The first directory of the TIFF structure, as (tag, count) pairs.
std::vector<std::pair<int, std::uint32_t>> FirstDirectory(const std::vector<std::uint8_t>& block)
{
    const std::uint8_t* tiff = block.data() + 6;
    const std::uint32_t ifd = rtl::LoadLE32(tiff + 4);
    std::vector<std::pair<int, std::uint32_t>> tags;
    for (int i = 0; i < rtl::LoadLE16(tiff + ifd); ++i)
        tags.emplace_back(rtl::LoadLE16(tiff + ifd + 2 + 12 * i), rtl::LoadLE32(tiff + ifd + 2 + 12 * i + 4));
    return tags;
}

TEST(ExifBlock, OnlyTheFirstDirectorysOwnTagsAreWritten)
{
    TIOParamsVals p(nullptr);
    Fill(p);
    p.TIFFPageName = "not in EXIF";
    p.TIFFPageNumber = 3;
    p.IPTCInfoList.AddBufferItem(2, 120, "caption", 7);
    std::vector<std::uint8_t> block;
    ASSERT_TRUE(BuildExifBlock(p, block));
    const std::vector<int> allowed = {270, 271, 272, 274, 282, 283, 296,   305,
                                      306, 318, 319, 529, 531, 532, 33432, 34665};
    for (const auto& [tag, count] : FirstDirectory(block))
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), tag), allowed.end()) << tag;
    // No thumbnail: no second directory.
    const std::uint8_t* tiff = block.data() + 6;
    const std::uint32_t ifd = rtl::LoadLE32(tiff + 4);
    EXPECT_EQ(rtl::LoadLE32(tiff + ifd + 2 + 12 * rtl::LoadLE16(tiff + ifd)), 0u);
}

TEST(ExifBlock, TheThumbnailGoesBackInTheSecondDirectory)
{
    TIOParamsVals p(nullptr);
    Fill(p);
    TIEBitmap& thumb = p.EXIF_BitmapCreate();
    thumb.Allocate(16, 12, ie24RGB);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            thumb.SetPixel24(x, y, TRGB{std::uint8_t(x * 16), std::uint8_t(y * 20), 99});
    std::vector<std::uint8_t> block;
    ASSERT_TRUE(BuildExifBlock(p, block));
    TIOParamsVals q(nullptr);
    ASSERT_TRUE(LoadExifBlock(block.data(), std::int64_t(block.size()), q));
    ASSERT_NE(q.EXIF_Bitmap(), nullptr);
    ASSERT_EQ(q.EXIF_Bitmap()->GetWidth(), 16);
    ASSERT_EQ(q.EXIF_Bitmap()->GetHeight(), 12);
    // A JPEG thumbnail: close to its source, not equal.
    int worst = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            const TRGB a = q.EXIF_Bitmap()->GetPixelRGB(x, y), b = thumb.GetPixelRGB(x, y);
            worst = std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
        }
    EXPECT_LE(worst, 24);
    EXPECT_EQ(q.EXIF_Make, "Maker");
    // Its directory holds a JPEG stream found by offset and length, and nothing of a page.
    const std::uint8_t* tiff = block.data() + 6;
    const std::uint32_t first = rtl::LoadLE32(tiff + 4);
    const std::uint32_t second = rtl::LoadLE32(tiff + first + 2 + 12 * rtl::LoadLE16(tiff + first));
    ASSERT_NE(second, 0u);
    std::vector<int> tags;
    for (int i = 0; i < rtl::LoadLE16(tiff + second); ++i)
        tags.push_back(rtl::LoadLE16(tiff + second + 2 + 12 * i));
    EXPECT_EQ(tags, (std::vector<int>{259, 282, 283, 296, 513, 514}));
    // Built again from what was read, the block holds the same tags and the same thumbnail size.
    std::vector<std::uint8_t> again;
    ASSERT_TRUE(BuildExifBlock(q, again));
    TIOParamsVals r(nullptr);
    ASSERT_TRUE(LoadExifBlock(again.data(), std::int64_t(again.size()), r));
    EXPECT_EQ(r.EXIF_Model, p.EXIF_Model);
    ASSERT_NE(r.EXIF_Bitmap(), nullptr);
    EXPECT_EQ(r.EXIF_Bitmap()->GetWidth(), 16);
}

// Loads the fuzz finding File (read sees its parameters), builds a block of them, loads that
// (again sees the parameters of both loads) and builds again: the two blocks must be the same.
void ExpectRebuildsTheSame(const char* file, const std::function<void(const TIOParamsVals&)>& read,
                           const std::function<void(const TIOParamsVals&, const TIOParamsVals&)>& again = {})
{
    rtl::TMemoryStream m;
    m.LoadFromFile(std::string(VA_TEST_DATA_DIR) + "/imaging/io/exif/bad/" + file);
    TIOParamsVals p(nullptr);
    ASSERT_TRUE(LoadExifBlock(m.Memory(), m.Size(), p));
    read(p);
    std::vector<std::uint8_t> block, rebuilt;
    ASSERT_TRUE(BuildExifBlock(p, block));
    TIOParamsVals q(nullptr);
    ASSERT_TRUE(LoadExifBlock(block.data(), std::int64_t(block.size()), q));
    if (again)
        again(p, q);
    ASSERT_TRUE(BuildExifBlock(q, rebuilt));
    EXPECT_EQ(rebuilt, block);
}

// Fuzz finding: a block whose first directory cannot be found has no resolution; built back, its
// resolution stays none rather than becoming the library's default on the next read.
TEST(ExifBlock, AResolutionOfNoneStaysNone)
{
    ExpectRebuildsTheSame(
        "no_resolution.exif", [](const TIOParamsVals& p) { EXPECT_EQ(p.EXIF_XResolution, 0); },
        [](const TIOParamsVals&, const TIOParamsVals& q) { EXPECT_EQ(q.EXIF_XResolution, 0); });
}

// Fuzz finding: an orientation outside the eight is read as none (1), and builds back as such.
TEST(ExifBlock, AnOrientationOutsideTheEightIsNone)
{
    ExpectRebuildsTheSame("orientation_out_of_range.exif",
                          [](const TIOParamsVals& p) { EXPECT_EQ(p.EXIF_Orientation, 1); });
}

// Fuzz finding: a value of a SHORT tag given as a LONG past 16 bits is written back as the LONG it
// was, not cut to its low 16 bits.
TEST(ExifBlock, AShortTagsValuePast16BitsIsKept)
{
    ExpectRebuildsTheSame(
        "short_value_past_16_bits.exif",
        [](const TIOParamsVals& p) { EXPECT_GT(p.EXIF_YCbCrPositioning, 0xFFFF); },
        [](const TIOParamsVals& p, const TIOParamsVals& q) {
            EXPECT_EQ(q.EXIF_YCbCrPositioning, p.EXIF_YCbCrPositioning);
        });
}

// Fuzz finding: the one-byte FileSource and SceneType given as a SHORT of 300 and an SLONG of
// 0xFFFF0000 hold no value of theirs; they are read as none and not written, rather than kept as
// numbers a byte cannot carry and written cut to one.
TEST(ExifBlock, OneByteFieldsPastAByteAreNone)
{
    ExpectRebuildsTheSame("scene_type_past_a_byte.exif", [](const TIOParamsVals& p) {
        EXPECT_EQ(p.EXIF_SceneType, 0);
        EXPECT_EQ(p.EXIF_FileSource, 0);
    });
    // Set in code, such values are left out of the block too.
    for (int value : {-65536, -1, 256, 0x10001}) {
        TIOParamsVals p(nullptr);
        Fill(p);
        p.EXIF_SceneType = value;
        p.EXIF_FileSource = value;
        std::vector<std::uint8_t> block, again;
        ASSERT_TRUE(BuildExifBlock(p, block));
        TIOParamsVals q(nullptr);
        ASSERT_TRUE(LoadExifBlock(block.data(), std::int64_t(block.size()), q));
        EXPECT_EQ(q.EXIF_SceneType, 0) << value;
        EXPECT_EQ(q.EXIF_FileSource, 0) << value;
        ASSERT_TRUE(BuildExifBlock(q, again));
        EXPECT_EQ(again, block) << value;
    }
    TIOParamsVals p(nullptr);
    Fill(p);
    p.EXIF_SceneType = 255;
    std::vector<std::uint8_t> block;
    ASSERT_TRUE(BuildExifBlock(p, block));
    TIOParamsVals q(nullptr);
    ASSERT_TRUE(LoadExifBlock(block.data(), std::int64_t(block.size()), q));
    EXPECT_EQ(q.EXIF_SceneType, 255);
    EXPECT_EQ(q.EXIF_FileSource, 3);
}

// A block with a JPEG thumbnail of w x h, smooth enough to cost little.
std::vector<std::uint8_t> BlockWithThumbnail(int w, int h)
{
    TIOParamsVals p(nullptr);
    Fill(p);
    TIEBitmap& thumb = p.EXIF_BitmapCreate();
    thumb.Allocate(w, h, ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            thumb.SetPixel24(x, y, TRGB{std::uint8_t(x / 4), std::uint8_t(y / 4), 90});
    std::vector<std::uint8_t> block;
    EXPECT_TRUE(BuildExifBlock(p, block));
    return block;
}

// The thumbnail's size as its JPEG stream's frame header gives it.
std::uint8_t* FrameSize(std::vector<std::uint8_t>& block)
{
    for (std::size_t i = 6; i + 9 < block.size(); ++i)
        if (block[i] == 0xFF && block[i + 1] == 0xC0)
            return block.data() + i + 5;  // height, then width, big-endian
    ADD_FAILURE() << "no frame header";
    return nullptr;
}

// A thumbnail is a page: its pixels are bounded as a page's are, and by what its bytes can hold
// (a bit at least for each 8 x 8 block). Either way the fields are read and the thumbnail stays
// empty.
TEST(ExifBlock, AThumbnailPastThePageLimitOrItsDataIsRefused)
{
    struct Case {
        const char* what;
        int claimW, claimH;  // 0: as coded
        std::int64_t limit;
        bool read;
    };
    const Case cases[] = {
        {"256 x 192 within the limit", 0, 0, 256 * 192 * 3, true},
        {"256 x 192 one byte past the limit", 0, 0, 256 * 192 * 3 - 1, false},
        {"its data claimed as 4000 x 3000", 4000, 3000, std::int64_t(1) << 30, false},
        {"its data claimed as 10512 x 32780", 10512, 32780, std::int64_t(1) << 30, false},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> block = BlockWithThumbnail(256, 192);
        if (c.claimW) {
            std::uint8_t* size = FrameSize(block);
            ASSERT_NE(size, nullptr);
            rtl::StoreBE16(size, std::uint16_t(c.claimH));
            rtl::StoreBE16(size + 2, std::uint16_t(c.claimW));
        }
        test::ScopedValue<std::int64_t> limit(IETiffMaxImageBytes, c.limit);
        TIOParamsVals q(nullptr);
        ASSERT_TRUE(LoadExifBlock(block.data(), std::int64_t(block.size()), q)) << c.what;
        EXPECT_EQ(q.EXIF_Model, "Model 7") << c.what;
        ASSERT_NE(q.EXIF_Bitmap(), nullptr) << c.what;
        EXPECT_EQ(q.EXIF_Bitmap()->GetWidth(), c.read ? 256 : 0) << c.what;
        EXPECT_EQ(q.EXIF_Bitmap()->GetHeight(), c.read ? 192 : 0) << c.what;
    }
}

TEST(ExifBlock, ABlockPastWhatAMarkerHoldsIsRefused)
{
    TIOParamsVals p(nullptr);
    Fill(p);
    p.EXIF_UserComment = std::string(65600, 'x');
    std::vector<std::uint8_t> block;
    EXPECT_FALSE(BuildExifBlock(p, block));
    EXPECT_TRUE(block.empty());
    p.EXIF_UserComment = std::string(64000, 'x');
    EXPECT_TRUE(BuildExifBlock(p, block));
    EXPECT_LE(block.size(), 65533u);
}

}  // namespace
