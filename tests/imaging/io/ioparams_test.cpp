// Tests of the per-image I/O parameters: defaults, the resolution rule, copying and metadata reset.
#include "imaging/io/ioparams.h"

#include "platform/rtl/DateTime.h"
#include "platform/rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace imaging;

namespace {

class FakeOwner : public TIEParamsOwner {
public:
    bool hasBitmap = false;
    bool hasView = false;
    int w = 0, h = 0, dx = 0, dy = 0;
    bool ParamsBitmapSize(int& Width, int& Height) const override
    {
        if (!hasBitmap)
            return false;
        Width = w;
        Height = h;
        return true;
    }
    bool ParamsViewDpi(int& DpiX, int& DpiY) const override
    {
        if (!hasView)
            return false;
        DpiX = dx;
        DpiY = dy;
        return true;
    }
};

// Restores the library-wide settings a test changes.
class GlobalsGuard {
public:
    ~GlobalsGuard()
    {
        IEDefaultDpiX = dpiX_;
        IEDefaultDpiY = dpiY_;
        DefTIFFLZWDecompress = tiffDec_;
        DefTIFFLZWCompress = tiffEnc_;
        DefGIFLZWDecompress = gifDec_;
        DefGIFLZWCompress = gifEnc_;
    }

private:
    int dpiX_ = IEDefaultDpiX;
    int dpiY_ = IEDefaultDpiY;
    TTIFFLZWDecompressFunc tiffDec_ = DefTIFFLZWDecompress;
    TTIFFLZWCompressFunc tiffEnc_ = DefTIFFLZWCompress;
    TGIFLZWDecompressFunc gifDec_ = DefGIFLZWDecompress;
    TGIFLZWCompressFunc gifEnc_ = DefGIFLZWCompress;
};

// ---- defaults ----

TEST(Defaults, TgaDateIsTodayWithoutTime)
{
    const double before = rtl::Date();
    TIOParamsVals p(nullptr);
    const double after = rtl::Date();
    EXPECT_TRUE(p.TGADate == before || p.TGADate == after);
    EXPECT_EQ(p.TGADate, std::floor(p.TGADate));
}

TEST(Defaults, SizeAndResolutionComeFromTheOwnerWhenItHasThem)
{
    FakeOwner owner;
    owner.hasBitmap = true;
    owner.w = 640;
    owner.h = 480;
    owner.hasView = true;
    owner.dx = 96;
    owner.dy = 120;
    TIOParamsVals p(&owner);
    EXPECT_EQ(p.Width, 640);
    EXPECT_EQ(p.Height, 480);
    EXPECT_EQ(p.DpiX, 96);
    EXPECT_EQ(p.DpiY, 120);
    EXPECT_DOUBLE_EQ(p.EXIF_XResolution, 96);
    EXPECT_DOUBLE_EQ(p.EXIF_YResolution, 120);

    owner.hasView = false;
    owner.hasBitmap = false;
    p.SetDefaultParams();
    EXPECT_EQ(p.Width, 0);
    EXPECT_EQ(p.DpiX, 0);
    EXPECT_DOUBLE_EQ(p.EXIF_XResolution, 0);
}

TEST(Defaults, ResetFreesThePaletteAndTheThumbnailAndUndoesChanges)
{
    TIOParamsVals p(nullptr);
    const TRGB pal[2] = {{1, 2, 3}, {4, 5, 6}};
    p.SetColorMap(pal, 2);
    p.EXIF_BitmapCreate().Allocate(4, 4, ie24RGB);
    p.JPEGQuality = 10;
    p.GIFComments.Add("x");
    p.FileName = "a.bmp";
    p.SetEXIF_WhitePoint(1, 0.5);
    p.SetDefaultParams();
    EXPECT_EQ(p.ColorMap(), nullptr);
    EXPECT_EQ(p.ColorMapCount(), 0);
    EXPECT_EQ(p.EXIF_Bitmap(), nullptr);
    EXPECT_EQ(p.JPEGQuality, 80);
    EXPECT_EQ(p.GIFComments.Count(), 0);
    EXPECT_EQ(p.FileName, "");
    EXPECT_DOUBLE_EQ(p.EXIF_WhitePoint(1), 0);
}

// ---- LZW routine references ----

TEST(LzwReferences, NewSetsCopyTheLibraryWideRoutines)
{
    TIOParamsVals p(nullptr);
    EXPECT_EQ(p.TIFFLZWDecompress, DefTIFFLZWDecompress);
    EXPECT_EQ(p.TIFFLZWCompress, DefTIFFLZWCompress);
    EXPECT_EQ(p.GIFLZWDecompress, DefGIFLZWDecompress);
    EXPECT_EQ(p.GIFLZWCompress, DefGIFLZWCompress);
    EXPECT_NE(p.TIFFLZWDecompress, nullptr);
    EXPECT_NE(p.GIFLZWCompress, nullptr);
}

TEST(LzwReferences, ALeftOutCodecStaysOutOfLaterSetsAndAResetPicksUpTheCurrentOnes)
{
    GlobalsGuard guard;
    TIOParamsVals before(nullptr);
    DefTIFFLZWCompress = nullptr;
    DefGIFLZWDecompress = nullptr;
    TIOParamsVals after(nullptr);
    EXPECT_EQ(after.TIFFLZWCompress, nullptr);
    EXPECT_EQ(after.GIFLZWDecompress, nullptr);
    EXPECT_NE(after.TIFFLZWDecompress, nullptr);
    // An existing set keeps its copy until it is reset.
    EXPECT_NE(before.TIFFLZWCompress, nullptr);
    before.SetDefaultParams();
    EXPECT_EQ(before.TIFFLZWCompress, nullptr);
}

// ---- resolution ----

TEST(DefaultDpi, ValuesBelowTwoBecomeTheLibraryDefault)
{
    TIOParamsVals p(nullptr);
    for (int bad : {std::numeric_limits<int>::min(), -1, 0, 1}) {
        p.SetDpiX(bad);
        p.SetDpiY(bad);
        p.ApplyDefaultDpi();
        EXPECT_EQ(p.DpiX, 300) << bad;
        EXPECT_EQ(p.DpiY, 300) << bad;
        EXPECT_DOUBLE_EQ(p.EXIF_XResolution, 300) << bad;
        EXPECT_DOUBLE_EQ(p.EXIF_YResolution, 300) << bad;
    }
}

TEST(DefaultDpi, TwoAndAboveAreKeptAndEachAxisIsJudgedAlone)
{
    TIOParamsVals p(nullptr);
    p.SetDpiX(2);
    p.SetDpiY(1);
    p.ApplyDefaultDpi();
    EXPECT_EQ(p.DpiX, 2);
    EXPECT_EQ(p.DpiY, 300);
    p.SetDpiX(72);
    p.SetDpiY(600);
    p.ApplyDefaultDpi();
    EXPECT_EQ(p.DpiX, 72);
    EXPECT_EQ(p.DpiY, 600);
}

TEST(DefaultDpi, FollowsAChangedLibraryDefault)
{
    GlobalsGuard guard;
    IEDefaultDpiX = 96;
    IEDefaultDpiY = 144;
    TIOParamsVals p(nullptr);
    p.ApplyDefaultDpi();
    EXPECT_EQ(p.DpiX, 96);
    EXPECT_EQ(p.DpiY, 144);
}

TEST(DpiSetters, FloatingValuesAreTruncatedAndWildOnesClamped)
{
    TIOParamsVals p(nullptr);
    p.SetDpiXFloat(299.9994);
    p.SetDpiYFloat(71.99);
    EXPECT_EQ(p.DpiX, 299);
    EXPECT_EQ(p.DpiY, 71);
    EXPECT_DOUBLE_EQ(p.EXIF_XResolution, 299);
    p.SetDpiXFloat(1e300);
    EXPECT_EQ(p.DpiX, std::numeric_limits<int>::max());
    p.SetDpiXFloat(-1e300);
    EXPECT_EQ(p.DpiX, std::numeric_limits<int>::min());
    p.SetDpiXFloat(std::nan(""));
    EXPECT_EQ(p.DpiX, 0);
}

TEST(Orientation, OneSetterMovesBothFields)
{
    TIOParamsVals p(nullptr);
    p.SetOrientation(6);
    EXPECT_EQ(p.TIFFOrientation, 6);
    EXPECT_EQ(p.EXIF_Orientation, 6);
    p.SetTIFFOrientation(3);
    EXPECT_EQ(p.EXIF_Orientation, 3);
}

// ---- metadata reset ----

void FillMetadata(TIOParamsVals& p)
{
    const std::uint8_t marker[3] = {1, 2, 3};
    p.JPEGMarkerList.AddMarker(0xE1, marker, 3);
    p.IPTCInfoList.AddBufferItem(2, 120, "caption", 7);
    p.ImageDescriptions.Add("description");
    p.GIFComments.Add("comment");
    p.TIFFDocumentName = "doc";
    p.TIFFImageDescription = "desc";
    p.TIFFPageName = "page";
    p.TGADescription = "tga";
    p.TGAAuthor = "author";
    p.TGAImageName = "name";
    p.HasEXIF = true;
    p.EXIF_Make = "maker";
    p.EXIF_BitmapCreate().Allocate(2, 2, ie8g);
    p.SetEXIF_ISOSpeedRatings(0, 100);
}

TEST(ResetInfo, ClearsMetadataAndKeepsFormatOptions)
{
    TIOParamsVals p(nullptr);
    FillMetadata(p);
    p.JPEGQuality = 55;
    p.TIFFCompression = 5;
    p.Width = 10;
    p.SetDpiX(150);
    p.GIFVersion = "GIF87a";
    const TRGB palette[2] = {{1, 2, 3}, {4, 5, 6}};
    p.SetColorMap(palette, 2);
    p.ResetInfo();
    EXPECT_EQ(p.ColorMapCount(), 0);
    EXPECT_EQ(p.ColorMap(), nullptr);
    EXPECT_EQ(p.JPEGMarkerList.Count(), 0);
    EXPECT_EQ(p.IPTCInfoList.Count(), 0);
    EXPECT_EQ(p.ImageDescriptions.Count(), 0);
    EXPECT_EQ(p.GIFComments.Count(), 0);
    EXPECT_EQ(p.TIFFDocumentName, "");
    EXPECT_EQ(p.TIFFImageDescription, "");
    EXPECT_EQ(p.TIFFPageName, "");
    EXPECT_EQ(p.TGADescription, "");
    EXPECT_EQ(p.TGAAuthor, "");
    EXPECT_EQ(p.TGAImageName, "");
    EXPECT_FALSE(p.HasEXIF);
    EXPECT_EQ(p.EXIF_Make, "");
    EXPECT_EQ(p.EXIF_Bitmap(), nullptr);
    EXPECT_EQ(p.EXIF_ISOSpeedRatings(0), 0);
    EXPECT_EQ(p.JPEGQuality, 55);
    EXPECT_EQ(p.TIFFCompression, 5);
    EXPECT_EQ(p.Width, 10);
    EXPECT_EQ(p.DpiX, 150);
    EXPECT_EQ(p.GIFVersion, "GIF87a");
}

// ---- copying ----

TEST(Assign, CopiesValuesListsPaletteAndThumbnailDeeply)
{
    FakeOwner ownerA, ownerB;
    TIOParamsVals src(&ownerA);
    FillMetadata(src);
    src.JPEGQuality = 33;
    src.SetDpiX(123);
    src.SetDpiY(456);
    src.FileName = "x.tif";
    src.FileType = 1;
    src.ICOSizes[1] = {32, 32};
    src.ICOBitCount[1] = 4;
    src.SetEXIF_ReferenceBlackWhite(5, 255.0);
    src.TGADate = 12345.0;
    src.TIFFLZWCompress = nullptr;
    const TRGB pal[3] = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    src.SetColorMap(pal, 3);
    src.EXIF_Bitmap()->ScanLine(0)[0] = 77;

    TIOParamsVals dst(&ownerB);
    dst.Assign(&src);
    EXPECT_EQ(dst.Owner(), &ownerB);
    EXPECT_EQ(dst.JPEGQuality, 33);
    EXPECT_EQ(dst.DpiX, 123);
    EXPECT_EQ(dst.DpiY, 456);
    EXPECT_DOUBLE_EQ(dst.EXIF_XResolution, 123);
    EXPECT_EQ(dst.FileName, "x.tif");
    EXPECT_EQ(dst.FileType, 1);
    EXPECT_EQ(dst.ICOSizes[1], (TIOParamsVals::TICOSize{32, 32}));
    EXPECT_EQ(dst.ICOBitCount[1], 4);
    EXPECT_DOUBLE_EQ(dst.EXIF_ReferenceBlackWhite(5), 255.0);
    EXPECT_DOUBLE_EQ(dst.TGADate, 12345.0);
    EXPECT_EQ(dst.TIFFLZWCompress, nullptr);
    EXPECT_EQ(dst.EXIF_Make, "maker");
    EXPECT_TRUE(dst.HasEXIF);
    ASSERT_EQ(dst.JPEGMarkerList.Count(), 1);
    EXPECT_EQ(dst.JPEGMarkerList.MarkerType(0), 0xE1);
    EXPECT_EQ(dst.JPEGMarkerList.MarkerLength(0), 3);
    ASSERT_EQ(dst.IPTCInfoList.Count(), 1);
    EXPECT_EQ(dst.IPTCInfoList.Record(0).DataSet, 120);
    EXPECT_EQ(dst.ImageDescriptions.Count(), 1);
    EXPECT_EQ(dst.GIFComments[0], "comment");
    ASSERT_EQ(dst.ColorMapCount(), 3);
    EXPECT_EQ(dst.ColorMap()[2], (TRGB{7, 8, 9}));
    ASSERT_NE(dst.EXIF_Bitmap(), nullptr);
    EXPECT_EQ(dst.EXIF_Bitmap()->GetWidth(), 2);
    EXPECT_EQ(dst.EXIF_Bitmap()->ScanLine(0)[0], 77);

    // The copy shares nothing with its source.
    EXPECT_NE(dst.ColorMap(), src.ColorMap());
    EXPECT_NE(dst.EXIF_Bitmap(), src.EXIF_Bitmap());
    src.ColorMap()[2] = TRGB{0, 0, 0};
    src.GIFComments.Clear();
    src.JPEGMarkerList.Clear();
    src.IPTCInfoList.Clear();
    src.EXIF_Bitmap()->ScanLine(0)[0] = 1;
    src.ResetEXIF();
    EXPECT_EQ(dst.ColorMap()[2], (TRGB{7, 8, 9}));
    EXPECT_EQ(dst.GIFComments.Count(), 1);
    EXPECT_EQ(dst.JPEGMarkerList.Count(), 1);
    EXPECT_EQ(dst.IPTCInfoList.Count(), 1);
    ASSERT_NE(dst.EXIF_Bitmap(), nullptr);
    EXPECT_EQ(dst.EXIF_Bitmap()->ScanLine(0)[0], 77);
}

TEST(Assign, SourceWithoutPaletteOrThumbnailClearsThoseOfTheTarget)
{
    TIOParamsVals src(nullptr);
    TIOParamsVals dst(nullptr);
    const TRGB pal[1] = {{1, 1, 1}};
    dst.SetColorMap(pal, 1);
    dst.EXIF_BitmapCreate();
    dst.Assign(&src);
    EXPECT_EQ(dst.ColorMap(), nullptr);
    EXPECT_EQ(dst.ColorMapCount(), 0);
    EXPECT_EQ(dst.EXIF_Bitmap(), nullptr);
}

TEST(Assign, SelfAndNullAreHarmless)
{
    TIOParamsVals p(nullptr);
    FillMetadata(p);
    const TRGB pal[2] = {{1, 2, 3}, {4, 5, 6}};
    p.SetColorMap(pal, 2);
    p.Assign(&p);
    p.Assign(nullptr);
    EXPECT_EQ(p.ColorMapCount(), 2);
    EXPECT_EQ(p.ColorMap()[1], (TRGB{4, 5, 6}));
    EXPECT_EQ(p.JPEGMarkerList.Count(), 1);
    EXPECT_NE(p.EXIF_Bitmap(), nullptr);
}

// ---- bounds ----

TEST(Bounds, PaletteSizeOutsideTheLimitsIsRefused)
{
    TIOParamsVals p(nullptr);
    const TRGB pal[1] = {};
    EXPECT_THROW(p.SetColorMap(pal, -1), rtl::EInvalidArgument);
    EXPECT_THROW(p.SetColorMap(pal, 65537), rtl::EInvalidArgument);
    p.SetColorMap(pal, 1);
    p.SetColorMap(pal, 0);
    EXPECT_EQ(p.ColorMap(), nullptr);
}

TEST(Bounds, ExifArrayIndexesOutsideTheArraysRaise)
{
    TIOParamsVals p(nullptr);
    EXPECT_THROW(p.EXIF_ISOSpeedRatings(2), rtl::EInvalidArgument);
    EXPECT_THROW(p.SetEXIF_WhitePoint(-1, 1.0), rtl::EInvalidArgument);
    EXPECT_THROW(p.EXIF_PrimaryChromaticities(6), rtl::EInvalidArgument);
    EXPECT_THROW(p.SetEXIF_YCbCrCoefficients(3, 1.0), rtl::EInvalidArgument);
    EXPECT_THROW(p.EXIF_ReferenceBlackWhite(6), rtl::EInvalidArgument);
    p.SetEXIF_PrimaryChromaticities(5, 0.25);
    EXPECT_DOUBLE_EQ(p.EXIF_PrimaryChromaticities(5), 0.25);
}

}  // namespace
