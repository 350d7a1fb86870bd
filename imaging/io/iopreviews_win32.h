// TfIOPreviews: the modal dialog in which the user chooses a format's save parameters and sees
// their effect, the source image beside the image as it comes back from the encoded bytes, with
// both sizes. Its layout is the form resource TFIOPREVIEWS. Windows build only.
#pragma once

#include "imaging/core/hyiedefs.h"
#include "imaging/core/vodiradview_win32.h"
#include "imaging/io/ioparams.h"
#include "platform/win/ComCtrls.h"
#include "platform/win/Dialogs.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Forms.h"
#include "platform/win/StdCtrls.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace imaging {

class TVodirAdIO;

// Page-set bits besides the formats' own (ppJPEG ... ppJ2000 of the format registry).
inline constexpr std::uint16_t ppAll = 1;
inline constexpr std::uint16_t ppCurrent = 2;

// The components of the form resource, in the order it holds them.
#define TFIOPREVIEWS_COMPONENTS(X)              \
    X(win::TPanel, Panel1)                      \
    X(win::TPageControl, PageControl1)          \
    X(win::TTabSheet, TabSheetJPEG1)            \
    X(win::TLabel, lblJPEGQuality)              \
    X(win::TEdit, edtJPEGQuality)               \
    X(win::TTrackBar, trkJPEGQuality)           \
    X(win::TGroupBox, grpJPEGAdvanced)          \
    X(win::TLabel, lblJPEGDCTMethod)            \
    X(win::TComboBox, cmbJPEGDCTMethod)         \
    X(win::TLabel, lblJPEGSmooth)               \
    X(win::TEdit, edtJPEGSmooth)                \
    X(win::TUpDown, udJPEGSmooth)               \
    X(win::TLabel, lblJPEGPhotometric)          \
    X(win::TComboBox, cmbJPEGPhotometric)       \
    X(win::TCheckBox, chkJPEGOptimalHuffman)    \
    X(win::TCheckBox, chkJPEGProgressive)       \
    X(win::TLabel, lblJPEGOriginalSize)         \
    X(win::TLabel, lblJPEGOriginalSizeValue)    \
    X(win::TLabel, lblJPEGCompressedSize)       \
    X(win::TLabel, lblJPEGCompressedSizeValue)  \
    X(win::TTabSheet, TabSheetJPEG2)            \
    X(win::TLabel, lblJPEG2Quality)             \
    X(win::TEdit, edtJPEG2Quality)              \
    X(win::TTrackBar, trkJPEG2Quality)          \
    X(win::TLabel, lblJPEG2OriginalSize)        \
    X(win::TLabel, lblJPEG2OriginalSizeValue)   \
    X(win::TLabel, lblJPEG2CompressedSize)      \
    X(win::TLabel, lblJPEG2CompressedSizeValue) \
    X(win::TTabSheet, TabSheetTIFF1)            \
    X(win::TLabel, lblTIFFCompression)          \
    X(win::TComboBox, cmbTIFFCompression)       \
    X(win::TLabel, lblTIFFImageIndex)           \
    X(win::TEdit, edtTIFFImageIndex)            \
    X(win::TUpDown, udTIFFImageIndex)           \
    X(win::TLabel, lblTIFFPhotometric)          \
    X(win::TComboBox, cmbTIFFPhotometric)       \
    X(win::TLabel, lblTIFFColors)               \
    X(win::TComboBox, cmbTIFFColors)            \
    X(win::TGroupBox, grpTIFFDocument)          \
    X(win::TLabel, lblTIFFXPos)                 \
    X(win::TEdit, edtTIFFXPos)                  \
    X(win::TLabel, lblTIFFYPos)                 \
    X(win::TEdit, edtTIFFYPos)                  \
    X(win::TLabel, lblTIFFName)                 \
    X(win::TEdit, edtTIFFName)                  \
    X(win::TLabel, lblTIFFDescription)          \
    X(win::TEdit, edtTIFFDescription)           \
    X(win::TLabel, lblTIFFPageName)             \
    X(win::TEdit, edtTIFFPageName)              \
    X(win::TLabel, lblTIFFPageNumber)           \
    X(win::TEdit, edtTIFFPageNumber)            \
    X(win::TLabel, lblTIFFPageCount)            \
    X(win::TEdit, edtTIFFPageCount)             \
    X(win::TLabel, lblTIFFOriginalSize)         \
    X(win::TLabel, lblTIFFOriginalSizeValue)    \
    X(win::TLabel, lblTIFFCompressedSize)       \
    X(win::TLabel, lblTIFFCompressedSizeValue)  \
    X(win::TTabSheet, TabSheetTIFF2)            \
    X(win::TLabel, lblTIFF2Compression)         \
    X(win::TComboBox, cmbTIFF2Compression)      \
    X(win::TLabel, lblTIFF2Colors)              \
    X(win::TComboBox, cmbTIFF2Colors)           \
    X(win::TLabel, lblTIFF2OriginalSize)        \
    X(win::TLabel, lblTIFF2OriginalSizeValue)   \
    X(win::TLabel, lblTIFF2CompressedSize)      \
    X(win::TLabel, lblTIFF2CompressedSizeValue) \
    X(win::TTabSheet, TabSheetGIF1)             \
    X(win::TLabel, lblGIFImageIndex)            \
    X(win::TEdit, edtGIFImageIndex)             \
    X(win::TUpDown, udGIFImageIndex)            \
    X(win::TLabel, lblGIFColors)                \
    X(win::TComboBox, cmbGIFColors)             \
    X(win::TCheckBox, chkGIFTransparent)        \
    X(win::TLabel, lblGIFTranspColor)           \
    X(win::TPanel, pnlGIFTranspColor)           \
    X(win::TCheckBox, chkGIFInterlaced)         \
    X(win::TLabel, lblGIFBackground)            \
    X(win::TPanel, pnlGIFBackground)            \
    X(win::TGroupBox, grpGIFAdvanced)           \
    X(win::TLabel, lblGIFDelayTime)             \
    X(win::TEdit, edtGIFDelayTime)              \
    X(win::TLabel, lblGIFDelayUnit)             \
    X(win::TLabel, lblGIFXPos)                  \
    X(win::TEdit, edtGIFXPos)                   \
    X(win::TLabel, lblGIFYPos)                  \
    X(win::TEdit, edtGIFYPos)                   \
    X(win::TLabel, lblGIFOriginalSize)          \
    X(win::TLabel, lblGIFOriginalSizeValue)     \
    X(win::TLabel, lblGIFCompressedSize)        \
    X(win::TLabel, lblGIFCompressedSizeValue)   \
    X(win::TTabSheet, TabSheetGIF2)             \
    X(win::TLabel, lblGIF2Colors)               \
    X(win::TComboBox, cmbGIF2Colors)            \
    X(win::TLabel, lblGIF2OriginalSize)         \
    X(win::TLabel, lblGIF2OriginalSizeValue)    \
    X(win::TLabel, lblGIF2CompressedSize)       \
    X(win::TLabel, lblGIF2CompressedSizeValue)  \
    X(win::TTabSheet, TabSheetBMP1)             \
    X(win::TLabel, lblBMPCompression)           \
    X(win::TComboBox, cmbBMPCompression)        \
    X(win::TLabel, lblBMPColors)                \
    X(win::TComboBox, cmbBMPColors)             \
    X(win::TLabel, lblBMPOriginalSize)          \
    X(win::TLabel, lblBMPOriginalSizeValue)     \
    X(win::TLabel, lblBMPCompressedSize)        \
    X(win::TLabel, lblBMPCompressedSizeValue)   \
    X(win::TTabSheet, TabSheetPCX1)             \
    X(win::TLabel, lblPCXCompression)           \
    X(win::TComboBox, cmbPCXCompression)        \
    X(win::TLabel, lblPCXColors)                \
    X(win::TComboBox, cmbPCXColors)             \
    X(win::TLabel, lblPCXOriginalSize)          \
    X(win::TLabel, lblPCXOriginalSizeValue)     \
    X(win::TLabel, lblPCXCompressedSize)        \
    X(win::TLabel, lblPCXCompressedSizeValue)   \
    X(win::TTabSheet, TabSheetPNG1)             \
    X(win::TLabel, lblPNGColors)                \
    X(win::TComboBox, cmbPNGColors)             \
    X(win::TLabel, lblPNGBackground)            \
    X(win::TPanel, pnlPNGBackground)            \
    X(win::TGroupBox, grpPNGAdvanced)           \
    X(win::TLabel, lblPNGFilter)                \
    X(win::TComboBox, cmbPNGFilter)             \
    X(win::TCheckBox, chkPNGInterlaced)         \
    X(win::TLabel, lblPNGCompression)           \
    X(win::TComboBox, cmbPNGCompression)        \
    X(win::TLabel, lblPNGOriginalSize)          \
    X(win::TLabel, lblPNGOriginalSizeValue)     \
    X(win::TLabel, lblPNGCompressedSize)        \
    X(win::TLabel, lblPNGCompressedSizeValue)   \
    X(win::TTabSheet, TabSheetTGA1)             \
    X(win::TLabel, lblTGAColors)                \
    X(win::TComboBox, cmbTGAColors)             \
    X(win::TLabel, lblTGABackground)            \
    X(win::TPanel, pnlTGABackground)            \
    X(win::TCheckBox, chkTGACompression)        \
    X(win::TLabel, lblTGAName)                  \
    X(win::TEdit, edtTGAName)                   \
    X(win::TLabel, lblTGADescription)           \
    X(win::TEdit, edtTGADescription)            \
    X(win::TLabel, lblTGAOriginalSize)          \
    X(win::TLabel, lblTGAOriginalSizeValue)     \
    X(win::TLabel, lblTGACompressedSize)        \
    X(win::TLabel, lblTGACompressedSizeValue)   \
    X(win::TTabSheet, TabSheetJ20001)           \
    X(win::TLabel, lblJ2000Rate)                \
    X(win::TEdit, edtJ2000Rate)                 \
    X(win::TTrackBar, trkJ2000Rate)             \
    X(win::TLabel, lblJ2000Photometric)         \
    X(win::TComboBox, cmbJ2000Photometric)      \
    X(win::TLabel, lblJ2000OriginalSize)        \
    X(win::TLabel, lblJ2000OriginalSizeValue)   \
    X(win::TLabel, lblJ2000CompressedSize)      \
    X(win::TLabel, lblJ2000CompressedSizeValue) \
    X(win::TButton, Button1)                    \
    X(win::TButton, Button2)                    \
    X(win::TButton, Button3)                    \
    X(win::TCheckBox, chkLockPreview)           \
    X(win::TButton, Button4)                    \
    X(win::TPanel, Panel2)                      \
    X(win::TLabel, Label1)                      \
    X(win::TLabel, Label2)                      \
    X(TVodirAdView, VodirAd1)                   \
    X(TVodirAdView, VodirAd2)                   \
    X(win::TProgressBar, ProgressBar1)          \
    X(win::TColorDialog, ColorDialog1)

// The positions the pages' "Colors" lists show; the parameters hold one depth for all formats, but
// each list names its own choices.
struct TIOPreviewsColors {
    int TIFF = 4;
    int GIF = 7;
    int BMP = 3;
    int PCX = 3;
    int PNG = 2;
    int TGA = 2;
};

// Built from its form resource (CreateFromResource); set Params, the source image and the page set,
// then show it. The source image is a copy: the dialog never changes the caller's bitmap, and it
// changes Params only on OK or Apply.
class TfIOPreviews : public win::TForm {
    RTL_DECLARE_CLASS(TfIOPreviews, win::TForm)

public:
    explicit TfIOPreviews(rtl::TComponent* AOwner);
    ~TfIOPreviews() override;

    TFIOPREVIEWS_COMPONENTS(RTL_DECLARE_FIELD)

    // The parameters the pages start from and OK or Apply write into; not owned, and needed before
    // the form is shown.
    TIOParamsVals* Params = nullptr;
    // The short pages, without advanced controls.
    bool SimplifiedParamsDialogs = true;
    // "Lock Preview" starts checked.
    bool DefaultLockPreview = false;
    // Previews of black and white threshold the image at its average grey; false: ordered dither.
    bool MonoThreshold = true;

    // Every caption from the library's message table.
    void SetLanguage(TMsgLanguage Language);
    // Keeps the page set (ppAll, ppCurrent, ppJPEG ... ppJ2000); ppCurrent adds Params' format's
    // page. False when the set then names no page.
    bool SetPreviewParams(std::uint16_t Pages);
    std::uint16_t PreviewParams() const { return pages_; }
    // A copy of Source becomes the source image, pixel format, palette and alpha channel kept.
    void SetSourceImage(TIEBitmap& Source);

    // Encodes the source image with the active page's values and decodes the bytes into the result
    // view, showing both sizes. A failure shows "---" and empties the result.
    void Preview();
    // The bytes the last preview encoded (empty after a failure).
    const std::vector<std::uint8_t>& PreviewBytes() const { return previewBytes_; }
    // The working copy of the values the pages show, and their colour choices.
    const TIOParamsVals& Values() const { return values_; }
    const TIOPreviewsColors& Colors() const { return colors_; }
    // Writes the active page's values into Params and sets Params' FileType to its format.
    void ApplyParameters();
    // The file type the active page saves (0 without one).
    int ActiveFileType();
    // The component that encodes and decodes the previews; owned by the form.
    TVodirAdIO* PreviewIO() const { return io_; }

    // A page of the form: its sheet, page-set bit, file type and size labels.
    struct TPage;

protected:
    void DoCreate() override;
    void DoShow() override;
    void DoHide() override;

private:
    void Activate();
    void PageChanged();
    void BindControls();
    void FillControls();
    void Changed();
    void LayOut();
    const TPage* ActivePageInfo();
    const TPage* PageOf(win::TTabSheet* Sheet) const;
    void ShowSizes(const TPage& Page, const std::string& Original, const std::string& Compressed);
    void FillTIFFCompressions();
    void ChooseColor(win::TPanel* Panel, TRGB& Value);
    void Report(int Percent);

    // Bindings between a control and the working copy: each fills its control from the value.
    void BindNumber(win::TEdit* Edit, int Min, int Max, std::function<int()> Get,
                    std::function<void(int)> Set, win::TTrackBar* Track = nullptr);
    void BindText(win::TEdit* Edit, std::string& Value);
    void BindChoice(win::TComboBox* Combo, std::function<int()> Get, std::function<void(int)> Set);
    void BindCheck(win::TCheckBox* Check, std::uint8_t& Value);
    void BindColor(win::TPanel* Panel, TRGB& Value);

    TIOParamsVals values_{nullptr};
    TIOPreviewsColors colors_;
    std::vector<std::function<void()>> fills_;
    std::vector<int> tiffCompressions_;  // the TIFFCompression code of each list position
    std::uint16_t pages_ = 0;
    bool updating_ = false;
    bool shown_ = false;
    int progressBase_ = 0;
    TVodirAdIO* io_ = nullptr;  // owned by the form
    std::vector<std::uint8_t> previewBytes_;
};

// Pages with ppCurrent's page of FileType added (an unknown type or one without a page adds none).
std::uint16_t IOPreviewsPages(std::uint16_t Pages, int FileType);
// Each list's position for a depth.
TIOPreviewsColors IOPreviewsColors(int BitsPerSample, int SamplesPerPixel);
// Writes the values one format's page shows (FileType 1 TIFF ... 14 JPEG 2000) from Values and the
// colour choices into Params, and sets their FileType; other types write nothing.
void WriteIOPreviewsValues(const TIOParamsVals& Values, const TIOPreviewsColors& Colors, int FileType,
                           TIOParamsVals& Params);

}  // namespace imaging
