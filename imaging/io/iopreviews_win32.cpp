// The parameters preview dialog: pages of save parameters, previews encoded from the source image
// and decoded into the result view, and the write-back into the caller's parameters.
#include "imaging/io/iopreviews_win32.h"

#include "imaging/core/iewords.h"
#include "imaging/io/iefileformats.h"
#include "imaging/io/tiflzw.h"
#include "imaging/io/vodiradio.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <type_traits>
#include <utility>

namespace imaging {

namespace {

enum TPageMode { kFullOnly, kShortOnly, kEither };

// The TIFF compression list: names by TIFFCompression code.
struct TTIFFCompressionName {
    int code;
    const char* name;
};
constexpr TTIFFCompressionName kTIFFCompressions[] = {
    {0, "UNCOMPRESSED"}, {1, "CCITT1D"}, {2, "G3FAX1D"}, {3, "G3FAX2D"},
    {4, "G4FAX"},        {5, "LZW"},     {7, "JPEG"},    {8, "PACKBITS"},
};
constexpr int kTIFFLZW = 5;

// Bits per sample and samples per pixel of each position of the colours lists.
struct TDepth {
    int bits;
    int samples;
};
constexpr TDepth kTIFFDepths[] = {{1, 1}, {4, 1}, {8, 1}, {16, 1}, {8, 3}};
// The BMP and PCX writers make 1, 4, 8 and 24-bit files.
constexpr TDepth kPaletteDepths[] = {{1, 1}, {4, 1}, {8, 1}, {8, 3}};
constexpr TDepth kPNGDepths[] = {{1, 1}, {8, 1}, {8, 3}};

int TIFFColorsOf(int bits, int samples)
{
    if (samples != 1)
        return 4;
    if (bits <= 1)
        return 0;
    if (bits <= 4)
        return 1;
    if (bits <= 8)
        return 2;
    return 3;
}

int PaletteColorsOf(int bits, int samples)
{
    if (samples != 1)
        return 3;
    if (bits <= 1)
        return 0;
    return bits <= 4 ? 1 : 2;
}

int PNGColorsOf(int bits, int samples)
{
    if (samples != 1)
        return 2;
    return bits <= 1 ? 0 : 1;
}

win::TColor ColorOf(const TRGB& c)
{
    return win::TColor(c.r) | (win::TColor(c.g) << 8) | (win::TColor(c.b) << 16);
}

TRGB RGBOf(win::TColor color)
{
    const COLORREF c = win::ColorToRGB(color);
    return TRGB{GetBValue(c), GetGValue(c), GetRValue(c)};
}

// A whole decimal number, spaces around it allowed; false for anything else.
bool ParseNumber(const std::string& text, int& value)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return false;
    const auto last = text.find_last_not_of(' ');
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    const auto [stop, error] = std::from_chars(begin, end, value);
    return error == std::errc() && stop == end;
}

std::string Bytes(std::int64_t count) { return std::to_string(count) + " bytes"; }

// The word in the language, decorated as the stored caption is (leading spaces, a final colon or
// space): "&Quality:" becomes the word and a colon.
std::string Decorated(const std::string& stored, std::uint8_t index, TMsgLanguage language)
{
    std::string word = IEGetMessage(index, language);
    if (word.empty())
        return stored;
    const std::size_t lead = stored.find_first_not_of(' ');
    std::string result = lead == std::string::npos ? std::string() : stored.substr(0, lead);
    result += word;
    std::string tail = stored;
    while (!tail.empty() && tail.back() == ' ')
        tail.pop_back();
    if (!tail.empty() && tail.back() == ':')
        result += ':';
    result.append(stored.size() - tail.size(), ' ');
    return result;
}

}  // namespace

struct TfIOPreviews::TPage {
    win::TTabSheet* TfIOPreviews::*sheet;
    std::uint16_t bit;
    int fileType;
    TPageMode mode;
    // The captions and the values of the two sizes.
    win::TLabel* TfIOPreviews::*originalCaption;
    win::TLabel* TfIOPreviews::*original;
    win::TLabel* TfIOPreviews::*compressedCaption;
    win::TLabel* TfIOPreviews::*compressed;
};

namespace {

using P = TfIOPreviews;
const P::TPage kPages[] = {
    {&P::TabSheetJPEG1, ppJPEG, ioJPEG, kFullOnly, &P::lblJPEGOriginalSize, &P::lblJPEGOriginalSizeValue,
     &P::lblJPEGCompressedSize, &P::lblJPEGCompressedSizeValue},
    {&P::TabSheetJPEG2, ppJPEG, ioJPEG, kShortOnly, &P::lblJPEG2OriginalSize, &P::lblJPEG2OriginalSizeValue,
     &P::lblJPEG2CompressedSize, &P::lblJPEG2CompressedSizeValue},
    {&P::TabSheetTIFF1, ppTIFF, ioTIFF, kFullOnly, &P::lblTIFFOriginalSize, &P::lblTIFFOriginalSizeValue,
     &P::lblTIFFCompressedSize, &P::lblTIFFCompressedSizeValue},
    {&P::TabSheetTIFF2, ppTIFF, ioTIFF, kShortOnly, &P::lblTIFF2OriginalSize, &P::lblTIFF2OriginalSizeValue,
     &P::lblTIFF2CompressedSize, &P::lblTIFF2CompressedSizeValue},
    {&P::TabSheetGIF1, ppGIF, ioGIF, kFullOnly, &P::lblGIFOriginalSize, &P::lblGIFOriginalSizeValue,
     &P::lblGIFCompressedSize, &P::lblGIFCompressedSizeValue},
    {&P::TabSheetGIF2, ppGIF, ioGIF, kShortOnly, &P::lblGIF2OriginalSize, &P::lblGIF2OriginalSizeValue,
     &P::lblGIF2CompressedSize, &P::lblGIF2CompressedSizeValue},
    {&P::TabSheetBMP1, ppBMP, ioBMP, kEither, &P::lblBMPOriginalSize, &P::lblBMPOriginalSizeValue,
     &P::lblBMPCompressedSize, &P::lblBMPCompressedSizeValue},
    {&P::TabSheetPCX1, ppPCX, ioPCX, kEither, &P::lblPCXOriginalSize, &P::lblPCXOriginalSizeValue,
     &P::lblPCXCompressedSize, &P::lblPCXCompressedSizeValue},
    {&P::TabSheetPNG1, ppPNG, ioPNG, kEither, &P::lblPNGOriginalSize, &P::lblPNGOriginalSizeValue,
     &P::lblPNGCompressedSize, &P::lblPNGCompressedSizeValue},
    {&P::TabSheetTGA1, ppTGA, ioTGA, kEither, &P::lblTGAOriginalSize, &P::lblTGAOriginalSizeValue,
     &P::lblTGACompressedSize, &P::lblTGACompressedSizeValue},
    {&P::TabSheetJ20001, ppJ2000, ioJ2K, kEither, &P::lblJ2000OriginalSize, &P::lblJ2000OriginalSizeValue,
     &P::lblJ2000CompressedSize, &P::lblJ2000CompressedSizeValue},
};

}  // namespace

// ---- values ------------------------------------------------------------------------------------

TIOPreviewsColors IOPreviewsColors(int BitsPerSample, int SamplesPerPixel)
{
    TIOPreviewsColors c;
    c.TIFF = TIFFColorsOf(BitsPerSample, SamplesPerPixel);
    c.GIF = std::clamp(BitsPerSample - 1, 0, 7);
    c.BMP = c.PCX = PaletteColorsOf(BitsPerSample, SamplesPerPixel);
    c.PNG = c.TGA = PNGColorsOf(BitsPerSample, SamplesPerPixel);
    return c;
}

void WriteIOPreviewsValues(const TIOParamsVals& v, const TIOPreviewsColors& c, int FileType, TIOParamsVals& p)
{
    auto depth = [&p](const TDepth& d) {
        p.BitsPerSample = d.bits;
        p.SamplesPerPixel = d.samples;
    };
    switch (FileType) {
    case ioBMP:
        p.BMPCompression = v.BMPCompression;
        depth(kPaletteDepths[std::clamp(c.BMP, 0, 3)]);
        break;
    case ioPCX:
        p.PCXCompression = v.PCXCompression;
        depth(kPaletteDepths[std::clamp(c.PCX, 0, 3)]);
        break;
    case ioPNG:
        depth(kPNGDepths[std::clamp(c.PNG, 0, 2)]);
        p.PNGBackground = v.PNGBackground;
        p.PNGInterlaced = v.PNGInterlaced;
        p.PNGFilter = v.PNGFilter;
        p.PNGCompression = v.PNGCompression;
        break;
    case ioTGA:
        depth(kPNGDepths[std::clamp(c.TGA, 0, 2)]);
        p.TGABackground = v.TGABackground;
        p.TGACompressed = v.TGACompressed;
        p.TGAImageName = v.TGAImageName;
        p.TGADescription = v.TGADescription;
        break;
    case ioJP2:
    case ioJ2K:
        p.J2000ColorSpace = std::clamp(v.J2000ColorSpace, 0, 2);
        depth({8, p.J2000ColorSpace == 0 ? 1 : 3});
        p.J2000Rate = v.J2000Rate;
        break;
    case ioJPEG:
        p.JPEGQuality = v.JPEGQuality;
        p.JPEGColorSpace = v.JPEGColorSpace;
        p.JPEGDCTMethod = v.JPEGDCTMethod;
        p.JPEGOptimalHuffman = v.JPEGOptimalHuffman;
        p.JPEGSmooth = v.JPEGSmooth;
        p.JPEGProgressive = v.JPEGProgressive;
        break;
    case ioTIFF:
        p.TIFFCompression = v.TIFFCompression;
        p.TIFFImageIndex = v.TIFFImageIndex;
        p.TIFFPhotometric = v.TIFFPhotometric;
        p.TIFFXPos = v.TIFFXPos;
        p.TIFFYPos = v.TIFFYPos;
        p.TIFFDocumentName = v.TIFFDocumentName;
        p.TIFFImageDescription = v.TIFFImageDescription;
        p.TIFFPageName = v.TIFFPageName;
        p.TIFFPageNumber = v.TIFFPageNumber;
        p.TIFFPageCount = v.TIFFPageCount;
        depth(kTIFFDepths[std::clamp(c.TIFF, 0, 4)]);
        break;
    case ioGIF:
        p.GIFImageIndex = v.GIFImageIndex;
        p.GIFTransparent = v.GIFTransparent;
        p.GIFTranspColor = v.GIFTranspColor;
        p.GIFInterlaced = v.GIFInterlaced;
        p.GIFBackground = v.GIFBackground;
        p.GIFDelayTime = v.GIFDelayTime;
        p.GIFXPos = v.GIFXPos;
        p.GIFYPos = v.GIFYPos;
        p.BitsPerSample = std::clamp(c.GIF, 0, 7) + 1;
        break;
    default: return;
    }
    p.FileType = FileType;
}

// ---- the form ------------------------------------------------------------------------------------

void TfIOPreviews::Publish(Table& t){TFIOPREVIEWS_COMPONENTS(RTL_PUBLISH_FIELD)}

TfIOPreviews::TfIOPreviews(rtl::TComponent* AOwner)
    : win::TForm(AOwner), io_(new TVodirAdIO(this))
{
    io_->OnProgress = [this](void*, int percent) { Report(percent); };
}

TfIOPreviews::~TfIOPreviews() = default;

void TfIOPreviews::DoCreate()
{
    for (TVodirAdView* view : {VodirAd1, VodirAd2}) {
        view->Font()->SetName("MS Sans Serif");
        view->Font()->SetHeight(-11);
        view->Font()->SetCharset(1);
    }
    for (win::TTrackBar* track : {trkJPEGQuality, trkJPEG2Quality, trkJ2000Rate})
        track->SetThumbLength(10);
    // The colour panels show their colour alone, without bevels.
    for (win::TPanel* panel : {pnlGIFTranspColor, pnlGIFBackground, pnlPNGBackground, pnlTGABackground}) {
        panel->SetBevelOuter(win::bvNone);
        panel->SetBevelInner(win::bvNone);
    }
    Button4->SetVisible(false);
    BindControls();
    Panel2->OnResize = [this](rtl::TObject*) { LayOut(); };
    PageControl1->OnResize = [this](rtl::TObject*) { LayOut(); };
    PageControl1->OnChange = [this](rtl::TObject*) { PageChanged(); };
    Button1->OnClick = [this](rtl::TObject*) { ApplyParameters(); };
    Button3->OnClick = [this](rtl::TObject*) { Preview(); };
    Button4->OnClick = [this](rtl::TObject*) {
        ApplyParameters();
        Button4->SetEnabled(false);
    };
    chkLockPreview->OnClick = [this](rtl::TObject*) {
        if (updating_)
            return;
        Button3->SetEnabled(!chkLockPreview->Checked());
        if (chkLockPreview->Checked())
            Preview();
    };
    // The result follows the source's zoom and scrolling.
    VodirAd1->OnViewChange = [this](rtl::TObject*, int) {
        VodirAd2->SetZoom(VodirAd1->Zoom());
        VodirAd2->SetViewXY(VodirAd1->ViewX(), VodirAd1->ViewY());
    };
    LayOut();
    win::TForm::DoCreate();
}

void TfIOPreviews::LayOut()
{
    // The page control's height decides the upper part's; the two views share the lower part.
    const int top =
        std::max(PageControl1->Top() + PageControl1->Height(), Button4->Top() + Button4->Height());
    Panel1->SetHeight(top + 4);
    const int width = Panel2->ClientWidth();
    const int height = Panel2->ClientHeight();
    const int viewWidth = std::max((width - 24) / 2, 0);
    const int viewHeight = std::max(height - VodirAd1->Top() - 4, 0);
    const bool resized = viewWidth != VodirAd1->Width() || viewHeight != VodirAd1->Height();
    VodirAd1->SetBounds(8, VodirAd1->Top(), viewWidth, viewHeight);
    VodirAd2->SetBounds(16 + viewWidth, VodirAd2->Top(), viewWidth, viewHeight);
    Label2->SetLeft(16 + viewWidth);
    // Views of another size show the whole source again (the result follows its zoom).
    if (resized && shown_)
        VodirAd1->Fit();
}

void TfIOPreviews::SetLanguage(TMsgLanguage Language)
{
    auto set = [Language](win::TControl* control, std::uint8_t index) {
        control->SetCaption(Decorated(control->Caption(), index, Language));
    };
    SetCaption(IEGetMessage(37, Language));
    const std::pair<win::TControl*, std::uint8_t> captions[] = {
        {Label1, 1},
        {Label2, 2},
        {Button1, 3},
        {Button2, 4},
        {Button3, 0},
        {chkLockPreview, 5},
        {Button4, 120},
        {lblJPEGQuality, 38},
        {lblJPEG2Quality, 38},
        {lblJPEGDCTMethod, 39},
        {lblJPEGSmooth, 40},
        {lblJPEGPhotometric, 49},
        {lblTIFFPhotometric, 49},
        {lblJ2000Photometric, 49},
        {chkJPEGOptimalHuffman, 42},
        {grpJPEGAdvanced, 45},
        {grpGIFAdvanced, 45},
        {grpPNGAdvanced, 45},
        {chkJPEGProgressive, 46},
        {lblJ2000Rate, 123},
        {lblTIFFCompression, 47},
        {lblTIFF2Compression, 47},
        {lblBMPCompression, 47},
        {lblPCXCompression, 47},
        {lblPNGCompression, 47},
        {chkTGACompression, 47},
        {lblTIFFImageIndex, 48},
        {lblGIFImageIndex, 48},
        {grpTIFFDocument, 50},
        {lblTIFFName, 51},
        {lblTGAName, 51},
        {lblTIFFDescription, 52},
        {lblTGADescription, 52},
        {lblTIFFPageName, 53},
        {lblTIFFPageNumber, 54},
        {lblTIFFPageCount, 55},
        {lblTIFFXPos, 56},
        {lblTIFFYPos, 57},
        {lblTIFFColors, 58},
        {lblTIFF2Colors, 58},
        {lblGIFColors, 58},
        {lblGIF2Colors, 58},
        {lblBMPColors, 58},
        {lblPCXColors, 58},
        {lblPNGColors, 58},
        {lblTGAColors, 58},
        {chkGIFTransparent, 59},
        {lblGIFTranspColor, 60},
        {chkGIFInterlaced, 61},
        {chkPNGInterlaced, 61},
        {lblGIFBackground, 62},
        {lblPNGBackground, 62},
        {lblTGABackground, 62},
        {lblGIFXPos, 63},
        {lblGIFYPos, 64},
        {lblGIFDelayTime, 65},
        {lblPNGFilter, 66},
    };
    for (const auto& [control, index] : captions)
        set(control, index);
    for (const TPage& page : kPages) {
        set(this->*page.originalCaption, 43);
        set(this->*page.compressedCaption, 44);
    }
}

std::uint16_t IOPreviewsPages(std::uint16_t Pages, int FileType)
{
    // The registry names each format's page.
    if (Pages & ppCurrent)
        if (const TIOFileFormat* format = FindFileFormatByType(FileType))
            Pages |= format->DialogPage;
    return Pages;
}

bool TfIOPreviews::SetPreviewParams(std::uint16_t Pages)
{
    pages_ = IOPreviewsPages(Pages, Params ? Params->FileType : ioUnknown);
    // Only the "current format" bit, or nothing at all, names no page.
    return (pages_ & ~ppCurrent) != 0;
}

void TfIOPreviews::SetSourceImage(TIEBitmap& Source)
{
    VodirAd1->GetIEBitmap()->Assign(&Source);
    VodirAd1->Update();
    VodirAd1->ImageChange();
}

void TfIOPreviews::DoShow()
{
    // Once per showing: a form activated again (after the colour chooser, say) keeps its edits.
    if (!shown_) {
        shown_ = true;
        Activate();
    }
    win::TForm::DoShow();
}

void TfIOPreviews::DoHide()
{
    shown_ = false;
    win::TForm::DoHide();
}

void TfIOPreviews::Activate()
{
    updating_ = true;
    chkLockPreview->SetChecked(DefaultLockPreview);
    updating_ = false;
    Button3->SetEnabled(!DefaultLockPreview);
    for (const TPage& page : kPages)
        (this->*page.sheet)->SetTabVisible(false);
    for (const TPage& page : kPages) {
        const bool fits = page.mode == kEither || (page.mode == kShortOnly) == SimplifiedParamsDialogs;
        if (fits && ((pages_ & ppAll) || (pages_ & page.bit)))
            (this->*page.sheet)->SetTabVisible(true);
    }
    // The short forms leave the advanced settings at what the parameters hold.
    for (win::TControl* control : std::initializer_list<win::TControl*>{
             lblPNGBackground, pnlPNGBackground, grpPNGAdvanced, lblTGABackground, pnlTGABackground,
             chkTGACompression, lblTGAName, edtTGAName, lblTGADescription, edtTGADescription,
             lblJ2000Photometric, cmbJ2000Photometric})
        control->SetVisible(!SimplifiedParamsDialogs);
    std::uint16_t current = 0;
    if (Params)
        if (const TIOFileFormat* format = FindFileFormatByType(Params->FileType))
            current = format->DialogPage;
    win::TTabSheet* active = nullptr;
    for (const TPage& page : kPages)
        if (!active && (page.bit & current) && (this->*page.sheet)->TabVisible())
            active = this->*page.sheet;
    if (!active)
        active = PageControl1->FindNextPage(nullptr, true, true);
    PageControl1->SetActivePage(active);
    FillTIFFCompressions();
    VodirAd1->Fit();
    PageChanged();
}

void TfIOPreviews::PageChanged()
{
    if (Params) {
        values_.Assign(Params);
        colors_ = IOPreviewsColors(Params->BitsPerSample, Params->SamplesPerPixel);
    }
    FillControls();
    Button4->SetEnabled(false);
    if (chkLockPreview->Checked())
        Preview();
}

void TfIOPreviews::FillTIFFCompressions()
{
    tiffCompressions_.clear();
    const bool lzw = DefTIFFLZWCompress || (Params && Params->TIFFLZWCompress);
    for (win::TComboBox* combo : {cmbTIFFCompression, cmbTIFF2Compression})
        combo->Items()->Clear();
    for (const TTIFFCompressionName& entry : kTIFFCompressions) {
        if (entry.code == kTIFFLZW && !lzw)
            continue;
        tiffCompressions_.push_back(entry.code);
        for (win::TComboBox* combo : {cmbTIFFCompression, cmbTIFF2Compression})
            combo->Items()->Add(entry.name);
    }
}

const TfIOPreviews::TPage* TfIOPreviews::PageOf(win::TTabSheet* Sheet) const
{
    for (const TPage& page : kPages)
        if (this->*page.sheet == Sheet)
            return &page;
    return nullptr;
}

const TfIOPreviews::TPage* TfIOPreviews::ActivePageInfo() { return PageOf(PageControl1->ActivePage()); }

int TfIOPreviews::ActiveFileType()
{
    const TPage* page = ActivePageInfo();
    if (!page)
        return ioUnknown;
    // A JP2 file stays a JP2 file; anything else becomes a code stream.
    if (page->bit == ppJ2000 && Params && Params->FileType == ioJP2)
        return ioJP2;
    return page->fileType;
}

void TfIOPreviews::ApplyParameters()
{
    const int fileType = ActiveFileType();
    if (Params && fileType != ioUnknown)
        WriteIOPreviewsValues(values_, colors_, fileType, *Params);
}

void TfIOPreviews::ShowSizes(const TPage& Page, const std::string& Original, const std::string& Compressed)
{
    // Both forms of the format's page show the figures.
    for (const TPage& page : kPages)
        if (page.bit == Page.bit) {
            (this->*page.original)->SetCaption(Original);
            (this->*page.compressed)->SetCaption(Compressed);
        }
}

void TfIOPreviews::Report(int Percent)
{
    ProgressBar1->SetPosition(progressBase_ + std::clamp(Percent, 0, 100) / 2);
    ProgressBar1->Update();
}

void TfIOPreviews::Preview()
{
    const TPage* page = ActivePageInfo();
    if (!page || !Params)
        return;
    const int fileType = ActiveFileType();
    previewBytes_.clear();
    TIEBitmap* shown = VodirAd1->GetIEBitmap();
    const std::int64_t width = shown->GetWidth(), height = shown->GetHeight();
    if (width < 1 || height < 1) {
        ShowSizes(*page, "---", "---");
        return;
    }
    const std::int64_t bits = shown->GetPixelFormat() == ie1g ? 1 : 24;
    const std::string original = Bytes((width * bits + 31) / 32 * 4 * height);

    // Always from the source: encoding the last result again would add its losses to the new ones,
    // and the save may convert the image it is given.
    TIEBitmap source;
    source.Assign(shown);
    source.MonoConversion = MonoThreshold ? 1 : 0;
    TIOParamsVals& p = io_->Params();
    p.Assign(Params);
    WriteIOPreviewsValues(values_, colors_, fileType, p);
    rtl::TMemoryStream stream;
    bool ok = false;
    try {
        io_->SetAttachedTIEBitmap(&source);
        progressBase_ = 0;
        io_->SaveToStream(stream, fileType);
        ok = !io_->AbortFlag;
        if (ok) {
            previewBytes_ = stream.Bytes();
            stream.SetPosition(0);
            // The bytes hold one page or frame at full size, whatever the parameters would read,
            // and are read back as readers read by default: the DCT method chosen is the encoder's.
            p.TIFFImageIndex = 0;
            p.GIFImageIndex = 0;
            p.JPEGScale = 1;
            p.JPEGDCTMethod = 0;
            // Decoded straight into the view's own bitmap: nothing else holds its rows.
            io_->SetAttachedVodirAd(VodirAd2);
            progressBase_ = 50;
            io_->LoadFromStreamType(stream, fileType);
            ok = !io_->AbortFlag;
        }
    } catch (const std::exception&) {
        ok = false;
    }
    io_->SetAttachedVodirAd(nullptr);
    ProgressBar1->SetPosition(0);
    if (!ok) {
        previewBytes_.clear();
        VodirAd2->GetIEBitmap()->FreeImage();
        VodirAd2->Update();
        VodirAd2->ImageChange();
        ShowSizes(*page, original, "---");
        return;
    }
    ShowSizes(*page, original, Bytes(std::int64_t(previewBytes_.size())));
    VodirAd2->SetZoom(VodirAd1->Zoom());
    VodirAd2->SetViewXY(VodirAd1->ViewX(), VodirAd1->ViewY());
}

// ---- controls --------------------------------------------------------------------------------------

void TfIOPreviews::FillControls()
{
    updating_ = true;
    try {
        for (const auto& fill : fills_)
            fill();
    } catch (...) {
        updating_ = false;
        throw;
    }
    updating_ = false;
}

void TfIOPreviews::Changed()
{
    Button4->SetEnabled(true);
    if (chkLockPreview->Checked())
        Preview();
}

void TfIOPreviews::BindNumber(win::TEdit* Edit, int Min, int Max, std::function<int()> Get,
                              std::function<void(int)> Set, win::TTrackBar* Track)
{
    fills_.push_back([=] {
        const int value = Get();
        Edit->SetText(std::to_string(value));
        if (Track)
            Track->SetPosition(value);
    });
    Edit->OnChange = [=, this](rtl::TObject*) {
        int value = 0;
        if (updating_ || !ParseNumber(Edit->Text(), value))
            return;
        value = std::clamp(value, Min, Max);
        Set(value);
        if (Track) {
            updating_ = true;
            Track->SetPosition(value);
            updating_ = false;
        }
        Changed();
    };
    if (Track)
        Track->OnChange = [=, this](rtl::TObject*) {
            if (updating_)
                return;
            const int value = Track->Position();
            Set(value);
            updating_ = true;
            Edit->SetText(std::to_string(value));
            updating_ = false;
            Changed();
        };
}

void TfIOPreviews::BindText(win::TEdit* Edit, std::string& Value)
{
    fills_.push_back([Edit, &Value] { Edit->SetText(Value); });
    Edit->OnChange = [this, Edit, &Value](rtl::TObject*) {
        if (updating_)
            return;
        Value = Edit->Text();
        Changed();
    };
}

void TfIOPreviews::BindChoice(win::TComboBox* Combo, std::function<int()> Get, std::function<void(int)> Set)
{
    fills_.push_back([=] { Combo->SetItemIndex(Get()); });
    Combo->OnChange = [=, this](rtl::TObject*) {
        const int index = Combo->ItemIndex();
        if (updating_ || index < 0)
            return;
        Set(index);
        Changed();
    };
}

void TfIOPreviews::BindCheck(win::TCheckBox* Check, std::uint8_t& Value)
{
    fills_.push_back([Check, &Value] { Check->SetChecked(Value != 0); });
    Check->OnClick = [this, Check, &Value](rtl::TObject*) {
        if (updating_)
            return;
        Value = Check->Checked();
        Changed();
    };
}

void TfIOPreviews::BindColor(win::TPanel* Panel, TRGB& Value)
{
    fills_.push_back([Panel, &Value] { Panel->SetColor(ColorOf(Value)); });
    Panel->OnClick = [this, Panel, &Value](rtl::TObject*) { ChooseColor(Panel, Value); };
}

void TfIOPreviews::ChooseColor(win::TPanel* Panel, TRGB& Value)
{
    ColorDialog1->SetColor(ColorOf(Value));
    if (!ColorDialog1->Execute())
        return;
    Value = RGBOf(ColorDialog1->Color());
    Panel->SetColor(ColorOf(Value));
    Changed();
}

void TfIOPreviews::BindControls()
{
    TIOParamsVals& v = values_;
    TIOPreviewsColors& c = colors_;
    // Any integer field of the working copy, read and written as int.
    auto field = [](auto& f) {
        using T = std::remove_reference_t<decltype(f)>;
        return std::pair{std::function<int()>([&f] { return int(f); }),
                         std::function<void(int)>([&f](int x) { f = T(x); })};
    };
    auto number = [&](win::TEdit* edit, int min, int max, auto& f, win::TTrackBar* track = nullptr) {
        auto [get, set] = field(f);
        BindNumber(edit, min, max, get, set, track);
    };
    auto choice = [&](win::TComboBox* combo, auto& f) {
        auto [get, set] = field(f);
        BindChoice(combo, get, set);
    };

    number(edtJPEGQuality, 1, 100, v.JPEGQuality, trkJPEGQuality);
    number(edtJPEG2Quality, 1, 100, v.JPEGQuality, trkJPEG2Quality);
    choice(cmbJPEGDCTMethod, v.JPEGDCTMethod);
    number(edtJPEGSmooth, 0, 100, v.JPEGSmooth);
    choice(cmbJPEGPhotometric, v.JPEGColorSpace);
    BindCheck(chkJPEGOptimalHuffman, v.JPEGOptimalHuffman);
    BindCheck(chkJPEGProgressive, v.JPEGProgressive);

    BindNumber(
        edtJ2000Rate, 1, 1000, [&v] { return int(std::lround(v.J2000Rate * 1000)); },
        [&v](int x) { v.J2000Rate = x / 1000.0; }, trkJ2000Rate);
    choice(cmbJ2000Photometric, v.J2000ColorSpace);

    // The list holds only the codes the writer has; other codes show as the first entry.
    for (win::TComboBox* combo : {cmbTIFFCompression, cmbTIFF2Compression})
        BindChoice(
            combo,
            [this, &v] {
                auto it = std::find(tiffCompressions_.begin(), tiffCompressions_.end(), v.TIFFCompression);
                return it == tiffCompressions_.end() ? 0 : int(it - tiffCompressions_.begin());
            },
            [this, &v](int i) {
                if (i < int(tiffCompressions_.size()))
                    v.TIFFCompression = std::uint8_t(tiffCompressions_[std::size_t(i)]);
            });
    number(edtTIFFImageIndex, 0, 65535, v.TIFFImageIndex);
    choice(cmbTIFFPhotometric, v.TIFFPhotometric);
    choice(cmbTIFFColors, c.TIFF);
    choice(cmbTIFF2Colors, c.TIFF);
    number(edtTIFFXPos, -1000000, 1000000, v.TIFFXPos);
    number(edtTIFFYPos, -1000000, 1000000, v.TIFFYPos);
    BindText(edtTIFFName, v.TIFFDocumentName);
    BindText(edtTIFFDescription, v.TIFFImageDescription);
    BindText(edtTIFFPageName, v.TIFFPageName);
    number(edtTIFFPageNumber, 0, 65535, v.TIFFPageNumber);
    number(edtTIFFPageCount, 0, 65535, v.TIFFPageCount);

    number(edtGIFImageIndex, 0, 65535, v.GIFImageIndex);
    choice(cmbGIFColors, c.GIF);
    choice(cmbGIF2Colors, c.GIF);
    BindCheck(chkGIFTransparent, v.GIFTransparent);
    BindColor(pnlGIFTranspColor, v.GIFTranspColor);
    BindCheck(chkGIFInterlaced, v.GIFInterlaced);
    BindColor(pnlGIFBackground, v.GIFBackground);
    number(edtGIFDelayTime, 0, 65535, v.GIFDelayTime);
    number(edtGIFXPos, 0, 65535, v.GIFXPos);
    number(edtGIFYPos, 0, 65535, v.GIFYPos);

    choice(cmbBMPCompression, v.BMPCompression);
    choice(cmbBMPColors, c.BMP);
    choice(cmbPCXCompression, v.PCXCompression);
    choice(cmbPCXColors, c.PCX);

    choice(cmbPNGColors, c.PNG);
    BindColor(pnlPNGBackground, v.PNGBackground);
    choice(cmbPNGFilter, v.PNGFilter);
    BindCheck(chkPNGInterlaced, v.PNGInterlaced);
    choice(cmbPNGCompression, v.PNGCompression);

    choice(cmbTGAColors, c.TGA);
    BindColor(pnlTGABackground, v.TGABackground);
    BindCheck(chkTGACompression, v.TGACompressed);
    BindText(edtTGAName, v.TGAImageName);
    BindText(edtTGADescription, v.TGADescription);
}

}  // namespace imaging
