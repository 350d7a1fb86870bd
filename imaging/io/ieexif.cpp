// EXIF blocks built and read through the TIFF writer and reader.
#include "imaging/io/ieexif.h"

#include "imaging/io/detail/tiffexif.h"
#include "imaging/io/tiffilt.h"
#include "platform/rtl/Streams.h"

#include <atomic>
#include <cstring>

namespace imaging {

namespace {

constexpr char kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr std::int64_t kMaxBlock = 65533;  // a JPEG segment of 65535 bytes, less its length field
constexpr std::int64_t kMinBlock = 6 + 8;  // the header and a TIFF header

}  // namespace

bool BuildExifBlock(TIOParamsVals& Params, std::vector<std::uint8_t>& Buffer)
{
    Buffer.clear();
    rtl::TMemoryStream tiff;
    std::atomic<bool> abort{false};
    TProgressRecord progress;
    progress.Aborting = &abort;
    if (!detail::WriteExifTiff(tiff, Params, progress) || tiff.Size() + 6 > kMaxBlock)
        return false;
    Buffer.assign(kExifHeader, kExifHeader + 6);
    Buffer.insert(Buffer.end(), tiff.Bytes().begin(), tiff.Bytes().end());
    return true;
}

bool LoadExifBlock(const void* Data, std::int64_t Length, TIOParamsVals& Params)
{
    if (!Data || Length < kMinBlock || std::memcmp(Data, "Exif", 4) != 0)
        return false;
    const auto* bytes = static_cast<const std::uint8_t*>(Data);
    rtl::TReadOnlyMemoryStream tiff(bytes + 6, Length - 6);
    TIOParamsVals read(nullptr);
    TIEBitmap& thumbnail = Params.EXIF_BitmapCreate();
    std::atomic<bool> abort{false};
    TProgressRecord progress;
    progress.Aborting = &abort;
    int count = 0;
    std::unique_ptr<TIEMask> mask;
    // The first directory's pixels, if any, are no part of the block's: its tags alone are read.
    ReadTIFFStream(nullptr, tiff, count, false, true, true, mask, true, progress, read);
    ExifToParams(read, Params);
    Params.HasEXIF = true;
    read.TIFFImageIndex = 1;
    abort = false;
    tiff.SetPosition(0);
    ReadTIFFStream(&thumbnail, tiff, count, true, true, true, mask, false, progress, read);
    if (abort)
        thumbnail.FreeImage();
    return true;
}

void ExifToParams(const TIOParamsVals& s, TIOParamsVals& t)
{
    t.EXIF_ImageDescription = s.EXIF_ImageDescription;
    t.EXIF_Make = s.EXIF_Make;
    t.EXIF_Model = s.EXIF_Model;
    t.EXIF_Orientation = s.EXIF_Orientation;
    t.EXIF_XResolution = s.EXIF_XResolution;
    t.EXIF_YResolution = s.EXIF_YResolution;
    t.EXIF_ResolutionUnit = s.EXIF_ResolutionUnit;
    t.EXIF_Software = s.EXIF_Software;
    t.EXIF_DateTime = s.EXIF_DateTime;
    t.EXIF_Copyright = s.EXIF_Copyright;
    t.EXIF_YCbCrPositioning = s.EXIF_YCbCrPositioning;
    t.EXIF_ExposureTime = s.EXIF_ExposureTime;
    t.EXIF_FNumber = s.EXIF_FNumber;
    t.EXIF_ExposureProgram = s.EXIF_ExposureProgram;
    t.EXIF_ExifVersion = s.EXIF_ExifVersion;
    t.EXIF_DateTimeOriginal = s.EXIF_DateTimeOriginal;
    t.EXIF_DateTimeDigitized = s.EXIF_DateTimeDigitized;
    t.EXIF_CompressedBitsPerPixel = s.EXIF_CompressedBitsPerPixel;
    t.EXIF_ShutterSpeedValue = s.EXIF_ShutterSpeedValue;
    t.EXIF_ApertureValue = s.EXIF_ApertureValue;
    t.EXIF_BrightnessValue = s.EXIF_BrightnessValue;
    t.EXIF_ExposureBiasValue = s.EXIF_ExposureBiasValue;
    t.EXIF_MaxApertureValue = s.EXIF_MaxApertureValue;
    t.EXIF_SubjectDistance = s.EXIF_SubjectDistance;
    t.EXIF_MeteringMode = s.EXIF_MeteringMode;
    t.EXIF_LightSource = s.EXIF_LightSource;
    t.EXIF_Flash = s.EXIF_Flash;
    t.EXIF_FocalLength = s.EXIF_FocalLength;
    t.EXIF_SubsecTime = s.EXIF_SubsecTime;
    t.EXIF_SubsecTimeOriginal = s.EXIF_SubsecTimeOriginal;
    t.EXIF_SubsecTimeDigitized = s.EXIF_SubsecTimeDigitized;
    t.EXIF_FlashPixVersion = s.EXIF_FlashPixVersion;
    t.EXIF_ColorSpace = s.EXIF_ColorSpace;
    t.EXIF_ExifImageWidth = s.EXIF_ExifImageWidth;
    t.EXIF_ExifImageHeight = s.EXIF_ExifImageHeight;
    t.EXIF_RelatedSoundFile = s.EXIF_RelatedSoundFile;
    t.EXIF_FocalPlaneXResolution = s.EXIF_FocalPlaneXResolution;
    t.EXIF_FocalPlaneYResolution = s.EXIF_FocalPlaneYResolution;
    t.EXIF_FocalPlaneResolutionUnit = s.EXIF_FocalPlaneResolutionUnit;
    t.EXIF_ExposureIndex = s.EXIF_ExposureIndex;
    t.EXIF_SensingMethod = s.EXIF_SensingMethod;
    t.EXIF_FileSource = s.EXIF_FileSource;
    t.EXIF_SceneType = s.EXIF_SceneType;
    t.EXIF_UserComment = s.EXIF_UserComment;
    t.EXIF_UserCommentCode = s.EXIF_UserCommentCode;
    for (int i = 0; i < 2; ++i) {
        t.SetEXIF_ISOSpeedRatings(i, s.EXIF_ISOSpeedRatings(i));
        t.SetEXIF_WhitePoint(i, s.EXIF_WhitePoint(i));
    }
    for (int i = 0; i < 6; ++i) {
        t.SetEXIF_PrimaryChromaticities(i, s.EXIF_PrimaryChromaticities(i));
        t.SetEXIF_ReferenceBlackWhite(i, s.EXIF_ReferenceBlackWhite(i));
    }
    for (int i = 0; i < 3; ++i)
        t.SetEXIF_YCbCrCoefficients(i, s.EXIF_YCbCrCoefficients(i));
}

}  // namespace imaging
