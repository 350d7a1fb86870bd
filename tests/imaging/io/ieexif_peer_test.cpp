// EXIF blocks judged by exiftool and exiv2: a block we build, with its thumbnail, put into a JPEG
// ImageMagick made, passes exiftool's validation without a warning, and exiv2 reads its values
// as we wrote them and finds the thumbnail.
#include "imaging/io/ieexif.h"

#include "tests/imaging/io/io_peer_util.h"

#include <gtest/gtest.h>

#include <string>

using namespace imaging;
using peer::Quote;

namespace {

std::string Tool(const char* path) { return std::string(path) + " "; }

// The JPEG with its own APP segments taken out and the block put in as the first after SOI.
peer::Bytes WithBlock(const peer::Bytes& jpeg, const std::vector<std::uint8_t>& block)
{
    peer::Bytes out{
        0xFF, 0xD8, 0xFF, 0xE1, std::uint8_t((block.size() + 2) >> 8), std::uint8_t(block.size() + 2)};
    out.insert(out.end(), block.begin(), block.end());
    std::size_t p = 2;
    while (p + 4 <= jpeg.size() && jpeg[p] == 0xFF && jpeg[p + 1] >= 0xE0 && jpeg[p + 1] <= 0xEF)
        p += 2 + (std::size_t(jpeg[p + 2]) << 8 | jpeg[p + 3]);
    out.insert(out.end(), jpeg.begin() + std::ptrdiff_t(p), jpeg.end());
    return out;
}

TEST(ExifBlockPeers, ExiftoolValidatesOurBlockAndExiv2ReadsIt)
{
    peer::TempDir dir("va_exif_peers");
    const std::string base = dir.File("base.jpg");
    const auto made =
        peer::Run(Tool(VA_JUDGE_CONVERT) + "-size 64x48 gradient:red-blue -strip " + Quote(base));
    ASSERT_EQ(made.status, 0) << made.err;

    TIOParamsVals p(nullptr);
    p.HasEXIF = true;
    p.EXIF_Make = "Maker";
    p.EXIF_Model = "Model 7";
    p.EXIF_XResolution = 72;
    p.EXIF_YResolution = 72;
    p.EXIF_Orientation = 1;
    p.EXIF_Software = "writer 1.0";
    p.EXIF_DateTime = "2024:01:02 03:04:05";
    p.EXIF_YCbCrPositioning = 1;
    p.EXIF_ExposureTime = 0.004;
    p.EXIF_FNumber = 5.6;
    p.EXIF_ExposureProgram = 2;
    p.SetEXIF_ISOSpeedRatings(0, 200);
    p.EXIF_ExifVersion = "0230";
    p.EXIF_DateTimeOriginal = "2024:01:02 03:04:05";
    p.EXIF_DateTimeDigitized = "2024:01:02 03:04:05";
    p.EXIF_ShutterSpeedValue = 7.965784;
    p.EXIF_ApertureValue = 4.970854;
    p.EXIF_ExposureBiasValue = -0.5;
    p.EXIF_MeteringMode = 5;
    p.EXIF_Flash = 16;
    p.EXIF_FocalLength = 35;
    p.EXIF_FlashPixVersion = "0100";
    p.EXIF_ColorSpace = 1;
    p.EXIF_ExifImageWidth = 64;
    p.EXIF_ExifImageHeight = 48;
    TIEBitmap& thumb = p.EXIF_BitmapCreate();
    thumb.Allocate(16, 12, ie24RGB);
    thumb.Fill(0x336699);
    std::vector<std::uint8_t> block;
    ASSERT_TRUE(BuildExifBlock(p, block));
    const std::string file = dir.File("exif.jpg");
    peer::WriteFile(file, WithBlock(peer::ReadFile(base), block));

    const auto valid = peer::Run(Tool(VA_JUDGE_EXIFTOOL) + "-validate -warning -a " + Quote(file));
    EXPECT_EQ(valid.status, 0) << valid.err;
    EXPECT_NE(valid.out.find("Validate                        : OK"), std::string::npos) << valid.out;
    EXPECT_EQ(valid.out.find("Warning"), std::string::npos) << valid.out;

    const auto read = peer::Run(Tool(VA_JUDGE_EXIV2) + "-pa " + Quote(file));
    EXPECT_EQ(read.status, 0) << read.err;
    for (const char* line : {"Exif.Image.Make                              Ascii       6  Maker",
                             "Exif.Image.Model                             Ascii       8  Model 7",
                             "Exif.Photo.ExposureTime                      Rational    1  1/250 s",
                             "Exif.Photo.FNumber                           Rational    1  F5.6",
                             "Exif.Photo.ISOSpeedRatings                   Short       2  200",
                             "Exif.Photo.ExposureBiasValue                 SRational   1  -1/2 EV",
                             "Exif.Photo.FocalLength                       Rational    1  35.0 mm",
                             "Exif.Photo.PixelXDimension                   Long        1  64",
                             "Exif.Thumbnail.Compression                   Short       1  JPEG (old-style)"})
        EXPECT_NE(read.out.find(line), std::string::npos) << line << "\n" << read.out;
    // exiv2 extracts the thumbnail (its exit status is not 0 even when it does).
    peer::Run(Tool(VA_JUDGE_EXIV2) + "-f -et -l " + Quote(dir.File("")) + " ex " + Quote(file));
    const auto shown =
        peer::Run(Tool(VA_JUDGE_CONVERT) + Quote(dir.File("exif-thumb.jpg")) + " -format %wx%h info:");
    EXPECT_EQ(shown.out, "16x12") << shown.err;
}

}  // namespace
