// Per-image I/O parameters (TIOParamsVals): what a reader learned and what a writer is told.
#pragma once

#include "imaging/core/hyiedefs.h"
#include "imaging/core/hyieutils.h"
#include "imaging/core/iebitmap.h"
#include "imaging/io/giflzw.h"
#include "imaging/io/ieimagingannot.h"
#include "imaging/io/tiflzw.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/Object.h"
#include "platform/rtl/Streams.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace imaging {

// ---- default resolution ----------------------------------------------------------------------

// The library's resolution for images that carry none; the view unit may change it at start-up.
extern int IEDefaultDpiX;
extern int IEDefaultDpiY;

// ---- owner -----------------------------------------------------------------------------------

// What a parameter set asks of its owning I/O component when it resets: the size of the working
// platform bitmap and the resolution of the attached view. Each answers false when there is none.
class TIEParamsOwner {
public:
    virtual ~TIEParamsOwner() = default;
    virtual bool ParamsBitmapSize(int& Width, int& Height) const = 0;
    virtual bool ParamsViewDpi(int& DpiX, int& DpiY) const = 0;
};

// ---- the parameters --------------------------------------------------------------------------

class TIOParamsVals : public rtl::TObject {
public:
    // Owner may be null (a free-standing set, as the parameters dialog and EXIF helpers make).
    explicit TIOParamsVals(TIEParamsOwner* Owner);
    ~TIOParamsVals() override;
    TIOParamsVals(const TIOParamsVals&) = delete;
    TIOParamsVals& operator=(const TIOParamsVals&) = delete;

    TIEParamsOwner* Owner() const { return owner_; }

    // Every field back to its default; the palette and the EXIF thumbnail are freed.
    void SetDefaultParams();
    // Copies every value, list, palette and the EXIF thumbnail of Source; the owner stays.
    // Assigning a set to itself or from null does nothing.
    void Assign(const TIOParamsVals* Source);
    // Clears the per-image metadata (palette, IPTC, annotations, markers, EXIF, descriptions, text
    // fields, comments) and keeps size, depth, resolution and every format option.
    void ResetInfo();
    void ResetEXIF();

    // Resolution goes through these so the EXIF resolution follows.
    void SetDpiX(int Value);
    void SetDpiY(int Value);
    void SetDpiXFloat(double Value);
    void SetDpiYFloat(double Value);
    // A resolution below 2 (absent or nonsense) becomes the library default.
    void ApplyDefaultDpi();
    void SetOrientation(int Value);
    void SetTIFFOrientation(int Value) { SetOrientation(Value); }

    // Palette of the last read (B,G,R triples), owned. Count 0 frees it; a negative count or one
    // above 65536 raises rtl::EInvalidArgument.
    void SetColorMap(const TRGB* Entries, int Count);
    void FreeColorMap();
    const TRGB* ColorMap() const { return colorMap_.get(); }
    TRGB* ColorMap() { return colorMap_.get(); }
    int ColorMapCount() const { return colorMapCount_; }

    // The EXIF thumbnail, created on demand; null after a reset.
    TIEBitmap* EXIF_Bitmap() const { return exifBitmap_.get(); }
    TIEBitmap& EXIF_BitmapCreate();

    // Indexed EXIF arrays; an index outside the array raises rtl::EInvalidArgument.
    int EXIF_ISOSpeedRatings(int Index) const;
    void SetEXIF_ISOSpeedRatings(int Index, int Value);
    double EXIF_WhitePoint(int Index) const;
    void SetEXIF_WhitePoint(int Index, double Value);
    double EXIF_PrimaryChromaticities(int Index) const;
    void SetEXIF_PrimaryChromaticities(int Index, double Value);
    double EXIF_YCbCrCoefficients(int Index) const;
    void SetEXIF_YCbCrCoefficients(int Index, double Value);
    double EXIF_ReferenceBlackWhite(int Index) const;
    void SetEXIF_ReferenceBlackWhite(int Index, double Value);

    // ---- image ----
    int BitsPerSample = 8;
    int SamplesPerPixel = 3;
    int Width = 0;
    int Height = 0;
    int DpiX = 0;  // set through SetDpiX
    int DpiY = 0;  // set through SetDpiY
    int FileType = 0;

    // ---- TIFF ----
    std::uint8_t TIFFCompression = 0;
    int TIFFImageIndex = 0;
    std::uint8_t TIFFPhotometric = 2;
    int TIFFPlanarConfig = 1;
    int TIFFXPos = 0;
    int TIFFYPos = 0;
    std::string TIFFDocumentName;
    std::string TIFFImageDescription;
    std::string TIFFPageName;
    int TIFFPageNumber = 0;
    int TIFFPageCount = 0;
    int TIFFOrientation = 1;  // set through SetOrientation
    // Copies of the library-wide codec references; null leaves TIFF LZW out.
    TTIFFLZWDecompressFunc TIFFLZWDecompress = nullptr;
    TTIFFLZWCompressFunc TIFFLZWCompress = nullptr;
    std::uint8_t TIFFOption = 0;
    int TIFFJPEGQuality = 80;
    std::uint8_t TIFFJPEGColorSpace = 2;

    // ---- GIF ----
    std::string GIFVersion = "GIF89a";
    int GIFImageIndex = 0;
    int GIFXPos = 0;
    int GIFYPos = 0;
    int GIFDelayTime = 0;
    std::uint8_t GIFTransparent = 0;
    TRGB GIFTranspColor;
    std::uint8_t GIFInterlaced = 0;
    int GIFWinWidth = 0;
    int GIFWinHeight = 0;
    TRGB GIFBackground;
    int GIFImageCount = 0;
    rtl::TStringList GIFComments;
    std::uint8_t GIFDisposalMethod = 0;
    TGIFLZWDecompressFunc GIFLZWDecompress = nullptr;
    TGIFLZWCompressFunc GIFLZWCompress = nullptr;

    // ---- JPEG ----
    std::uint8_t JPEGColorSpace = 2;
    int JPEGQuality = 80;
    std::uint8_t JPEGDCTMethod = 0;
    std::uint8_t JPEGOptimalHuffman = 0;
    int JPEGSmooth = 0;
    std::uint8_t JPEGProgressive = 0;
    std::uint8_t JPEGOption = 1;
    TIEMarkerList JPEGMarkerList;
    int JPEGScale = 1;
    int JPEGScaleUsed = 0;
    int JPEGWarningCount = 0;
    int JPEGWarningCode = 0;
    int JPEGOriginalWidth = 0;
    int JPEGOriginalHeight = 0;

    // ---- JPEG 2000 ----
    int J2000ColorSpace = 1;
    double J2000Rate = 1.0;
    std::uint8_t J2000ScalableBy = 0;

    // ---- PCX, BMP ----
    int PCXVersion = 5;  // a byte in the file
    std::uint8_t PCXCompression = 1;
    std::uint8_t BMPVersion = 1;
    std::uint8_t BMPCompression = 0;

    // ---- ICO, CUR ----
    int ICOImageIndex = 0;
    TRGB ICOBackground{255, 255, 255};
    int CURXHotSpot = 0;
    int CURYHotSpot = 0;
    TRGB CURBackground{255, 255, 255};
    int CURImageIndex = 0;

    // ---- PNG ----
    std::uint8_t PNGInterlaced = 0;
    TRGB PNGBackground;
    std::uint8_t PNGFilter = 0;
    int PNGCompression = 5;

    // ---- TGA ----
    std::uint8_t TGACompressed = 1;
    std::string TGADescription;
    std::string TGAAuthor;
    rtl::TDateTime TGADate = 0;
    std::string TGAImageName;
    TRGB TGABackground;
    double TGAAspectRatio = 1.0;
    double TGAGamma = 2.2;
    std::uint8_t TGAGrayLevel = 0;
    int TGAXPos = 0;
    int TGAYPos = 0;

    // ---- metadata ----
    TIEIPTCInfoList IPTCInfoList;
    TIEImagingAnnot ImagingAnnot;  // TIFF imaging annotations
    rtl::TStringList ImageDescriptions;

    // ---- EXIF ----
    bool HasEXIF = false;
    std::string EXIF_ImageDescription;
    std::string EXIF_Make;
    std::string EXIF_Model;
    int EXIF_Orientation = 0;  // set through SetOrientation
    double EXIF_XResolution = 0;
    double EXIF_YResolution = 0;
    int EXIF_ResolutionUnit = 0;
    std::string EXIF_Software;
    std::string EXIF_DateTime;
    std::string EXIF_Copyright;
    int EXIF_YCbCrPositioning = 0;
    double EXIF_ExposureTime = 0;
    double EXIF_FNumber = 0;
    int EXIF_ExposureProgram = 0;
    std::string EXIF_ExifVersion;
    std::string EXIF_DateTimeOriginal;
    std::string EXIF_DateTimeDigitized;
    double EXIF_CompressedBitsPerPixel = 0;
    double EXIF_ShutterSpeedValue = 0;
    double EXIF_ApertureValue = 0;
    double EXIF_BrightnessValue = 0;
    double EXIF_ExposureBiasValue = 0;
    double EXIF_MaxApertureValue = 0;
    double EXIF_SubjectDistance = 0;
    int EXIF_MeteringMode = 0;
    int EXIF_LightSource = 0;
    int EXIF_Flash = 0;
    double EXIF_FocalLength = 0;
    std::string EXIF_SubsecTime;
    std::string EXIF_SubsecTimeOriginal;
    std::string EXIF_SubsecTimeDigitized;
    std::string EXIF_FlashPixVersion;
    int EXIF_ColorSpace = 0;
    int EXIF_ExifImageWidth = 0;
    int EXIF_ExifImageHeight = 0;
    std::string EXIF_RelatedSoundFile;
    double EXIF_FocalPlaneXResolution = 0;
    double EXIF_FocalPlaneYResolution = 0;
    int EXIF_FocalPlaneResolutionUnit = 0;
    double EXIF_ExposureIndex = 0;
    int EXIF_SensingMethod = 0;
    int EXIF_FileSource = 0;
    int EXIF_SceneType = 0;
    std::string EXIF_UserComment;
    std::string EXIF_UserCommentCode;

    // ---- multi-frame ----
    int ImageCount = 0;
    int FrameDelay = 0;

    // ---- PostScript, PDF ----
    int PSPaperWidth = 595;
    int PSPaperHeight = 842;
    std::uint8_t PSCompression = 1;
    std::string PSTitle = "No Title";
    int PDFPaperWidth = 595;
    int PDFPaperHeight = 842;
    std::uint8_t PDFCompression = 2;
    std::string PDFTitle;
    std::string PDFAuthor;
    std::string PDFSubject;
    std::string PDFKeywords;
    std::string PDFCreator;
    std::string PDFProducer;

    // ---- general ----
    std::uint8_t NativePixelFormat = 0;
    std::string FileName;

    // ---- ICO ----
    static constexpr int kICOImageSlots = 16;
    struct TICOSize {
        int Width = 0;
        int Height = 0;
        friend bool operator==(const TICOSize&, const TICOSize&) = default;
    };
    std::array<TICOSize, kICOImageSlots> ICOSizes{};
    std::array<int, kICOImageSlots> ICOBitCount{};

private:
    TIEParamsOwner* owner_;  // not owned
    std::unique_ptr<TRGB[]> colorMap_;
    int colorMapCount_ = 0;
    std::unique_ptr<TIEBitmap> exifBitmap_;
    std::array<int, 2> exifISOSpeedRatings_{};
    std::array<double, 2> exifWhitePoint_{};
    std::array<double, 6> exifPrimaryChromaticities_{};
    std::array<double, 3> exifYCbCrCoefficients_{};
    std::array<double, 6> exifReferenceBlackWhite_{};
};

}  // namespace imaging
