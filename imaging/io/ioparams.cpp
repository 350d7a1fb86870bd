// Per-image I/O parameters: defaults, copying, metadata reset and the resolution rule.
#include "imaging/io/ioparams.h"

#include "platform/rtl/Exceptions.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace imaging {

int IEDefaultDpiX = 300;
int IEDefaultDpiY = 300;

namespace {

constexpr int kMaxColorMapEntries = 65536;

template <class T, std::size_t N>
T& ArrayItem(std::array<T, N>& items, int index, const char* what)
{
    if (index < 0 || static_cast<std::size_t>(index) >= N)
        throw rtl::EInvalidArgument(std::string(what) + ": index " + std::to_string(index) + " out of range");
    return items[static_cast<std::size_t>(index)];
}

template <class T, std::size_t N>
T ArrayItem(const std::array<T, N>& items, int index, const char* what)
{
    return ArrayItem(const_cast<std::array<T, N>&>(items), index, what);
}

// A double resolution kept as an int: truncated, and clamped so that a wild value from a file
// cannot overflow the conversion.
int TruncDpi(double value)
{
    if (std::isnan(value))
        return 0;
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    return static_cast<int>(std::clamp(std::trunc(value), lo, hi));
}

void CopyMarkers(TIEMarkerList& dest, const TIEMarkerList& source)
{
    dest.Clear();
    for (int i = 0; i < source.Count(); ++i)
        dest.AddMarker(source.MarkerType(i), source.MarkerData(i),
                       static_cast<std::uint16_t>(source.MarkerLength(i)));
}

void CopyIPTC(TIEIPTCInfoList& dest, const TIEIPTCInfoList& source)
{
    dest.Clear();
    for (int i = 0; i < source.Count(); ++i) {
        const auto& r = source.Record(i);
        dest.AddBufferItem(r.RecordNumber, r.DataSet, r.Data.data(), static_cast<int>(r.Data.size()));
    }
    dest.Modified = source.Modified;
}

}  // namespace

TIOParamsVals::TIOParamsVals(TIEParamsOwner* Owner) : owner_(Owner) { SetDefaultParams(); }

TIOParamsVals::~TIOParamsVals() = default;

void TIOParamsVals::SetDefaultParams()
{
    FreeColorMap();
    FileName.clear();
    FileType = 0;
    BitsPerSample = 8;
    SamplesPerPixel = 3;
    Width = 0;
    Height = 0;
    if (owner_) {
        int w = 0, h = 0;
        if (owner_->ParamsBitmapSize(w, h)) {
            Width = w;
            Height = h;
        }
    }
    // Without a view the resolution stays 0 until a load applies the library default.
    SetDpiX(0);
    SetDpiY(0);
    if (owner_) {
        int x = 0, y = 0;
        if (owner_->ParamsViewDpi(x, y)) {
            SetDpiX(x);
            SetDpiY(y);
        }
    }

    GIFVersion = "GIF89a";
    GIFImageIndex = 0;
    GIFXPos = 0;
    GIFYPos = 0;
    GIFDelayTime = 0;
    GIFTransparent = 0;
    GIFTranspColor = TRGB{};
    GIFInterlaced = 0;
    GIFWinWidth = 0;
    GIFWinHeight = 0;
    GIFBackground = TRGB{};
    GIFImageCount = 0;
    GIFComments.Clear();
    GIFDisposalMethod = 0;
    GIFLZWDecompress = DefGIFLZWDecompress;
    GIFLZWCompress = DefGIFLZWCompress;

    TIFFCompression = 0;
    TIFFImageIndex = 0;
    TIFFPhotometric = 2;
    TIFFPlanarConfig = 1;
    TIFFXPos = 0;
    TIFFYPos = 0;
    TIFFDocumentName.clear();
    TIFFImageDescription.clear();
    TIFFPageName.clear();
    TIFFPageNumber = 0;
    TIFFPageCount = 0;
    TIFFLZWDecompress = DefTIFFLZWDecompress;
    TIFFLZWCompress = DefTIFFLZWCompress;
    TIFFOption = 0;
    TIFFJPEGQuality = 80;
    TIFFJPEGColorSpace = 2;

    JPEGColorSpace = 2;
    JPEGQuality = 80;
    JPEGDCTMethod = 0;
    JPEGOptimalHuffman = 0;
    JPEGSmooth = 0;
    JPEGProgressive = 0;
    JPEGOption = 1;
    JPEGMarkerList.Clear();
    JPEGScale = 1;
    JPEGScaleUsed = 0;
    JPEGWarningCount = 0;
    JPEGWarningCode = 0;
    JPEGOriginalWidth = 0;
    JPEGOriginalHeight = 0;

    J2000ColorSpace = 1;
    J2000Rate = 1.0;
    J2000ScalableBy = 0;

    PCXVersion = 5;
    PCXCompression = 1;

    BMPVersion = 1;
    BMPCompression = 0;

    ICOImageIndex = 0;
    ICOBackground = TRGB{255, 255, 255};
    CURXHotSpot = 0;
    CURYHotSpot = 0;
    CURBackground = TRGB{255, 255, 255};
    CURImageIndex = 0;
    ICOSizes.fill(TICOSize{});
    ICOSizes[0] = TICOSize{64, 64};
    ICOBitCount.fill(0);
    ICOBitCount[0] = 8;

    PNGInterlaced = 0;
    PNGBackground = TRGB{};
    PNGFilter = 0;
    PNGCompression = 5;

    TGACompressed = 1;
    TGADescription.clear();
    TGAAuthor.clear();
    TGADate = rtl::Date();
    TGAImageName.clear();
    TGABackground = TRGB{};
    TGAAspectRatio = 1.0;
    TGAGamma = 2.2;
    TGAGrayLevel = 0;
    TGAXPos = 0;
    TGAYPos = 0;

    IPTCInfoList.Clear();
    ImageDescriptions.Clear();
    // The reset zeroes the EXIF resolution; put back the one just chosen.
    ResetEXIF();
    EXIF_XResolution = DpiX;
    EXIF_YResolution = DpiY;
    SetOrientation(1);
    ImageCount = 0;
    FrameDelay = 0;

    PSPaperWidth = 595;
    PSPaperHeight = 842;
    PSCompression = 1;
    PSTitle = "No Title";

    PDFPaperWidth = 595;
    PDFPaperHeight = 842;
    PDFCompression = 2;
    PDFTitle.clear();
    PDFAuthor.clear();
    PDFSubject.clear();
    PDFKeywords.clear();
    PDFCreator.clear();
    PDFProducer.clear();

    NativePixelFormat = 0;
    ImagingAnnot.Clear();
}

void TIOParamsVals::ResetEXIF()
{
    HasEXIF = false;
    exifBitmap_.reset();
    EXIF_ImageDescription.clear();
    EXIF_Make.clear();
    EXIF_Model.clear();
    EXIF_Orientation = 0;
    EXIF_XResolution = 0;
    EXIF_YResolution = 0;
    EXIF_ResolutionUnit = 0;
    EXIF_Software.clear();
    EXIF_DateTime.clear();
    EXIF_Copyright.clear();
    EXIF_YCbCrPositioning = 0;
    EXIF_ExposureTime = 0;
    EXIF_FNumber = 0;
    EXIF_ExposureProgram = 0;
    EXIF_ExifVersion.clear();
    EXIF_DateTimeOriginal.clear();
    EXIF_DateTimeDigitized.clear();
    EXIF_CompressedBitsPerPixel = 0;
    EXIF_ShutterSpeedValue = 0;
    EXIF_ApertureValue = 0;
    EXIF_BrightnessValue = 0;
    EXIF_ExposureBiasValue = 0;
    EXIF_MaxApertureValue = 0;
    EXIF_SubjectDistance = 0;
    EXIF_MeteringMode = 0;
    EXIF_LightSource = 0;
    EXIF_Flash = 0;
    EXIF_FocalLength = 0;
    EXIF_SubsecTime.clear();
    EXIF_SubsecTimeOriginal.clear();
    EXIF_SubsecTimeDigitized.clear();
    EXIF_FlashPixVersion.clear();
    EXIF_ColorSpace = 0;
    EXIF_ExifImageWidth = 0;
    EXIF_ExifImageHeight = 0;
    EXIF_RelatedSoundFile.clear();
    EXIF_FocalPlaneXResolution = 0;
    EXIF_FocalPlaneYResolution = 0;
    EXIF_FocalPlaneResolutionUnit = 0;
    EXIF_ExposureIndex = 0;
    EXIF_SensingMethod = 0;
    EXIF_FileSource = 0;
    EXIF_SceneType = 0;
    EXIF_UserComment.clear();
    EXIF_UserCommentCode.clear();
    exifISOSpeedRatings_.fill(0);
    exifWhitePoint_.fill(0);
    exifPrimaryChromaticities_.fill(0);
    exifYCbCrCoefficients_.fill(0);
    exifReferenceBlackWhite_.fill(0);
}

void TIOParamsVals::ResetInfo()
{
    // A palette left from the previous image would pass for this one's with readers that have none.
    FreeColorMap();
    IPTCInfoList.Clear();
    ImagingAnnot.Clear();
    JPEGMarkerList.Clear();
    ResetEXIF();
    ImageDescriptions.Clear();
    TIFFDocumentName.clear();
    TIFFImageDescription.clear();
    TIFFPageName.clear();
    TGADescription.clear();
    TGAAuthor.clear();
    TGAImageName.clear();
    GIFComments.Clear();
}

void TIOParamsVals::Assign(const TIOParamsVals* Source)
{
    if (!Source || Source == this)
        return;
    const TIOParamsVals& s = *Source;

    BitsPerSample = s.BitsPerSample;
    SamplesPerPixel = s.SamplesPerPixel;
    Width = s.Width;
    Height = s.Height;
    DpiX = s.DpiX;
    DpiY = s.DpiY;
    FileType = s.FileType;

    TIFFCompression = s.TIFFCompression;
    TIFFImageIndex = s.TIFFImageIndex;
    TIFFPhotometric = s.TIFFPhotometric;
    TIFFPlanarConfig = s.TIFFPlanarConfig;
    TIFFXPos = s.TIFFXPos;
    TIFFYPos = s.TIFFYPos;
    TIFFDocumentName = s.TIFFDocumentName;
    TIFFImageDescription = s.TIFFImageDescription;
    TIFFPageName = s.TIFFPageName;
    TIFFPageNumber = s.TIFFPageNumber;
    TIFFPageCount = s.TIFFPageCount;
    TIFFOrientation = s.TIFFOrientation;
    TIFFLZWDecompress = s.TIFFLZWDecompress;
    TIFFLZWCompress = s.TIFFLZWCompress;
    TIFFOption = s.TIFFOption;
    TIFFJPEGQuality = s.TIFFJPEGQuality;
    TIFFJPEGColorSpace = s.TIFFJPEGColorSpace;

    GIFVersion = s.GIFVersion;
    GIFImageIndex = s.GIFImageIndex;
    GIFXPos = s.GIFXPos;
    GIFYPos = s.GIFYPos;
    GIFDelayTime = s.GIFDelayTime;
    GIFTransparent = s.GIFTransparent;
    GIFTranspColor = s.GIFTranspColor;
    GIFInterlaced = s.GIFInterlaced;
    GIFWinWidth = s.GIFWinWidth;
    GIFWinHeight = s.GIFWinHeight;
    GIFBackground = s.GIFBackground;
    GIFImageCount = s.GIFImageCount;
    GIFComments.Assign(s.GIFComments);
    GIFDisposalMethod = s.GIFDisposalMethod;
    GIFLZWDecompress = s.GIFLZWDecompress;
    GIFLZWCompress = s.GIFLZWCompress;

    JPEGColorSpace = s.JPEGColorSpace;
    JPEGQuality = s.JPEGQuality;
    JPEGDCTMethod = s.JPEGDCTMethod;
    JPEGOptimalHuffman = s.JPEGOptimalHuffman;
    JPEGSmooth = s.JPEGSmooth;
    JPEGProgressive = s.JPEGProgressive;
    JPEGOption = s.JPEGOption;
    CopyMarkers(JPEGMarkerList, s.JPEGMarkerList);
    JPEGScale = s.JPEGScale;
    JPEGScaleUsed = s.JPEGScaleUsed;
    JPEGWarningCount = s.JPEGWarningCount;
    JPEGWarningCode = s.JPEGWarningCode;
    JPEGOriginalWidth = s.JPEGOriginalWidth;
    JPEGOriginalHeight = s.JPEGOriginalHeight;

    J2000ColorSpace = s.J2000ColorSpace;
    J2000Rate = s.J2000Rate;
    J2000ScalableBy = s.J2000ScalableBy;

    PCXVersion = s.PCXVersion;
    PCXCompression = s.PCXCompression;
    BMPVersion = s.BMPVersion;
    BMPCompression = s.BMPCompression;

    ICOImageIndex = s.ICOImageIndex;
    ICOBackground = s.ICOBackground;
    CURXHotSpot = s.CURXHotSpot;
    CURYHotSpot = s.CURYHotSpot;
    CURBackground = s.CURBackground;
    CURImageIndex = s.CURImageIndex;
    ICOSizes = s.ICOSizes;
    ICOBitCount = s.ICOBitCount;

    PNGInterlaced = s.PNGInterlaced;
    PNGBackground = s.PNGBackground;
    PNGFilter = s.PNGFilter;
    PNGCompression = s.PNGCompression;

    TGACompressed = s.TGACompressed;
    TGADescription = s.TGADescription;
    TGAAuthor = s.TGAAuthor;
    TGADate = s.TGADate;
    TGAImageName = s.TGAImageName;
    TGABackground = s.TGABackground;
    TGAAspectRatio = s.TGAAspectRatio;
    TGAGamma = s.TGAGamma;
    TGAGrayLevel = s.TGAGrayLevel;
    TGAXPos = s.TGAXPos;
    TGAYPos = s.TGAYPos;

    CopyIPTC(IPTCInfoList, s.IPTCInfoList);
    ImagingAnnot.Assign(s.ImagingAnnot);
    ImageDescriptions.Assign(s.ImageDescriptions);

    HasEXIF = s.HasEXIF;
    if (s.exifBitmap_) {
        EXIF_BitmapCreate().Assign(s.exifBitmap_.get());
    } else {
        exifBitmap_.reset();
    }
    EXIF_ImageDescription = s.EXIF_ImageDescription;
    EXIF_Make = s.EXIF_Make;
    EXIF_Model = s.EXIF_Model;
    EXIF_Orientation = s.EXIF_Orientation;
    EXIF_XResolution = s.EXIF_XResolution;
    EXIF_YResolution = s.EXIF_YResolution;
    EXIF_ResolutionUnit = s.EXIF_ResolutionUnit;
    EXIF_Software = s.EXIF_Software;
    EXIF_DateTime = s.EXIF_DateTime;
    EXIF_Copyright = s.EXIF_Copyright;
    EXIF_YCbCrPositioning = s.EXIF_YCbCrPositioning;
    EXIF_ExposureTime = s.EXIF_ExposureTime;
    EXIF_FNumber = s.EXIF_FNumber;
    EXIF_ExposureProgram = s.EXIF_ExposureProgram;
    EXIF_ExifVersion = s.EXIF_ExifVersion;
    EXIF_DateTimeOriginal = s.EXIF_DateTimeOriginal;
    EXIF_DateTimeDigitized = s.EXIF_DateTimeDigitized;
    EXIF_CompressedBitsPerPixel = s.EXIF_CompressedBitsPerPixel;
    EXIF_ShutterSpeedValue = s.EXIF_ShutterSpeedValue;
    EXIF_ApertureValue = s.EXIF_ApertureValue;
    EXIF_BrightnessValue = s.EXIF_BrightnessValue;
    EXIF_ExposureBiasValue = s.EXIF_ExposureBiasValue;
    EXIF_MaxApertureValue = s.EXIF_MaxApertureValue;
    EXIF_SubjectDistance = s.EXIF_SubjectDistance;
    EXIF_MeteringMode = s.EXIF_MeteringMode;
    EXIF_LightSource = s.EXIF_LightSource;
    EXIF_Flash = s.EXIF_Flash;
    EXIF_FocalLength = s.EXIF_FocalLength;
    EXIF_SubsecTime = s.EXIF_SubsecTime;
    EXIF_SubsecTimeOriginal = s.EXIF_SubsecTimeOriginal;
    EXIF_SubsecTimeDigitized = s.EXIF_SubsecTimeDigitized;
    EXIF_FlashPixVersion = s.EXIF_FlashPixVersion;
    EXIF_ColorSpace = s.EXIF_ColorSpace;
    EXIF_ExifImageWidth = s.EXIF_ExifImageWidth;
    EXIF_ExifImageHeight = s.EXIF_ExifImageHeight;
    EXIF_RelatedSoundFile = s.EXIF_RelatedSoundFile;
    EXIF_FocalPlaneXResolution = s.EXIF_FocalPlaneXResolution;
    EXIF_FocalPlaneYResolution = s.EXIF_FocalPlaneYResolution;
    EXIF_FocalPlaneResolutionUnit = s.EXIF_FocalPlaneResolutionUnit;
    EXIF_ExposureIndex = s.EXIF_ExposureIndex;
    EXIF_SensingMethod = s.EXIF_SensingMethod;
    EXIF_FileSource = s.EXIF_FileSource;
    EXIF_SceneType = s.EXIF_SceneType;
    EXIF_UserComment = s.EXIF_UserComment;
    EXIF_UserCommentCode = s.EXIF_UserCommentCode;
    exifISOSpeedRatings_ = s.exifISOSpeedRatings_;
    exifWhitePoint_ = s.exifWhitePoint_;
    exifPrimaryChromaticities_ = s.exifPrimaryChromaticities_;
    exifYCbCrCoefficients_ = s.exifYCbCrCoefficients_;
    exifReferenceBlackWhite_ = s.exifReferenceBlackWhite_;

    ImageCount = s.ImageCount;
    FrameDelay = s.FrameDelay;

    PSPaperWidth = s.PSPaperWidth;
    PSPaperHeight = s.PSPaperHeight;
    PSCompression = s.PSCompression;
    PSTitle = s.PSTitle;
    PDFPaperWidth = s.PDFPaperWidth;
    PDFPaperHeight = s.PDFPaperHeight;
    PDFCompression = s.PDFCompression;
    PDFTitle = s.PDFTitle;
    PDFAuthor = s.PDFAuthor;
    PDFSubject = s.PDFSubject;
    PDFKeywords = s.PDFKeywords;
    PDFCreator = s.PDFCreator;
    PDFProducer = s.PDFProducer;

    NativePixelFormat = s.NativePixelFormat;
    FileName = s.FileName;
    SetColorMap(s.colorMap_.get(), s.colorMapCount_);
}

void TIOParamsVals::SetDpiX(int Value)
{
    DpiX = Value;
    EXIF_XResolution = Value;
}

void TIOParamsVals::SetDpiY(int Value)
{
    DpiY = Value;
    EXIF_YResolution = Value;
}

void TIOParamsVals::SetDpiXFloat(double Value) { SetDpiX(TruncDpi(Value)); }

void TIOParamsVals::SetDpiYFloat(double Value) { SetDpiY(TruncDpi(Value)); }

void TIOParamsVals::ApplyDefaultDpi()
{
    if (DpiX < 2)
        SetDpiX(IEDefaultDpiX);
    if (DpiY < 2)
        SetDpiY(IEDefaultDpiY);
}

void TIOParamsVals::SetOrientation(int Value)
{
    TIFFOrientation = Value;
    EXIF_Orientation = Value;
}

void TIOParamsVals::SetColorMap(const TRGB* Entries, int Count)
{
    if (Count < 0 || Count > kMaxColorMapEntries)
        throw rtl::EInvalidArgument("palette of " + std::to_string(Count) + " entries");
    if (Count == 0 || !Entries) {
        FreeColorMap();
        return;
    }
    auto copy = std::make_unique<TRGB[]>(static_cast<std::size_t>(Count));
    std::copy(Entries, Entries + Count, copy.get());
    colorMap_ = std::move(copy);
    colorMapCount_ = Count;
}

void TIOParamsVals::FreeColorMap()
{
    colorMap_.reset();
    colorMapCount_ = 0;
}

TIEBitmap& TIOParamsVals::EXIF_BitmapCreate()
{
    if (!exifBitmap_)
        exifBitmap_ = std::make_unique<TIEBitmap>();
    return *exifBitmap_;
}

int TIOParamsVals::EXIF_ISOSpeedRatings(int Index) const
{
    return ArrayItem(exifISOSpeedRatings_, Index, "ISO speed ratings");
}

void TIOParamsVals::SetEXIF_ISOSpeedRatings(int Index, int Value)
{
    ArrayItem(exifISOSpeedRatings_, Index, "ISO speed ratings") = Value;
}

double TIOParamsVals::EXIF_WhitePoint(int Index) const
{
    return ArrayItem(exifWhitePoint_, Index, "white point");
}

void TIOParamsVals::SetEXIF_WhitePoint(int Index, double Value)
{
    ArrayItem(exifWhitePoint_, Index, "white point") = Value;
}

double TIOParamsVals::EXIF_PrimaryChromaticities(int Index) const
{
    return ArrayItem(exifPrimaryChromaticities_, Index, "primary chromaticities");
}

void TIOParamsVals::SetEXIF_PrimaryChromaticities(int Index, double Value)
{
    ArrayItem(exifPrimaryChromaticities_, Index, "primary chromaticities") = Value;
}

double TIOParamsVals::EXIF_YCbCrCoefficients(int Index) const
{
    return ArrayItem(exifYCbCrCoefficients_, Index, "YCbCr coefficients");
}

void TIOParamsVals::SetEXIF_YCbCrCoefficients(int Index, double Value)
{
    ArrayItem(exifYCbCrCoefficients_, Index, "YCbCr coefficients") = Value;
}

double TIOParamsVals::EXIF_ReferenceBlackWhite(int Index) const
{
    return ArrayItem(exifReferenceBlackWhite_, Index, "reference black and white");
}

void TIOParamsVals::SetEXIF_ReferenceBlackWhite(int Index, double Value)
{
    ArrayItem(exifReferenceBlackWhite_, Index, "reference black and white") = Value;
}

}  // namespace imaging
