// The parameters preview dialog driven with the messages a user's input produces: its pages and
// their controls, the previews, the write-back on OK and Apply, and the I/O component's entry point.
// The JPEG and JPEG 2000 previews are also written out, bytes beside the result's pixels, for
// djpeg and opj_decompress to judge natively (iopreviews_peers.py).
#include "imaging/io/iopreviews_win32.h"

#include "imaging/core/iewords.h"
#include "imaging/io/iefileformats.h"
#include "imaging/io/tiflzw.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/Streams.h"
#include "tests/imaging/io/image_test_util.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace imaging;

namespace {

struct FormDeleter {
    void operator()(TfIOPreviews* form) const
    {
        form->DoDestroy();
        delete form;
    }
};
using FormPtr = std::unique_ptr<TfIOPreviews, FormDeleter>;

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

void Pump()
{
    for (int i = 0; i < 5; ++i)
        win::Application->ProcessMessages();
}

// ---- user input as messages ----

void Type(win::TEdit* edit, const std::string& text)
{
    ::SendMessageA(edit->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Choose(win::TComboBox* combo, int index)
{
    HWND wnd = combo->Handle();
    ::SendMessageA(wnd, CB_SETCURSEL, WPARAM(index), 0);
    ::SendMessageA(::GetParent(wnd), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(wnd), CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(wnd));
}

void Click(win::TWinControl* control) { ::SendMessageA(control->Handle(), BM_CLICK, 0, 0); }

void ClickPanel(win::TPanel* panel)
{
    ::SendMessageA(panel->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(4, 4));
    ::SendMessageA(panel->Handle(), WM_LBUTTONUP, 0, At(4, 4));
}

void Slide(win::TTrackBar* track, int position)
{
    HWND wnd = track->Handle();
    ::SendMessageA(wnd, TBM_SETPOS, TRUE, position);
    ::SendMessageA(::GetParent(wnd), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position),
                   reinterpret_cast<LPARAM>(wnd));
}

// Clicks the sheet's tab as the mouse does.
void ClickTab(win::TPageControl* pages, win::TTabSheet* sheet)
{
    const int tab = sheet->TabIndex();
    ASSERT_GE(tab, 0) << sheet->Name() << " has no tab";
    RECT r{};
    ASSERT_TRUE(::SendMessageA(pages->Handle(), TCM_GETITEMRECT, tab, reinterpret_cast<LPARAM>(&r)));
    const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    ::SendMessageA(pages->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
    ::SendMessageA(pages->Handle(), WM_LBUTTONUP, 0, At(x, y));
    ASSERT_EQ(pages->ActivePage(), sheet);
}

std::vector<std::string> TabCaptions(win::TPageControl* pages)
{
    std::vector<std::string> captions;
    for (int i = 0; i < pages->PageCount(); ++i)
        if (pages->Pages(i)->TabVisible())
            captions.push_back(pages->Pages(i)->Caption());
    return captions;
}

std::vector<std::string> Items(win::TComboBox* combo)
{
    std::vector<std::string> items;
    for (int i = 0; i < combo->Items()->Count(); ++i)
        items.push_back(combo->Items()->Get(i));
    return items;
}

// ---- pictures ----

// Every byte of the image, its format, palette and alpha channel.
struct Snapshot {
    TIEPixelFormat format = ieNull;
    int width = 0, height = 0;
    std::vector<std::uint8_t> rows;
    std::vector<TRGB> palette;
    std::vector<std::uint8_t> alpha;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(TIEBitmap& b)
{
    Snapshot s;
    s.format = b.GetPixelFormat();
    s.width = b.GetWidth();
    s.height = b.GetHeight();
    const int rowBytes = (s.width * b.GetBitCount() + 7) / 8;
    for (int y = 0; y < s.height; ++y) {
        const std::uint8_t* row = b.ScanLine(y);
        s.rows.insert(s.rows.end(), row, row + rowBytes);
    }
    for (int i = 0; i < b.PaletteLen(); ++i)
        s.palette.push_back(b.GetPaletteColor(i));
    if (b.HasAlphaChannel())
        for (int y = 0; y < s.height; ++y) {
            const std::uint8_t* row = b.GetAlphaChannel()->ScanLine(y);
            s.alpha.insert(s.alpha.end(), row, row + s.width);
        }
    return s;
}

TRGB PixelOf(TIEBitmap& b, int x, int y)
{
    const std::uint8_t* row = b.ScanLine(y);
    switch (b.GetPixelFormat()) {
    case ie24RGB: return TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
    case ie8g: return TRGB{row[x], row[x], row[x]};
    case ie8p: return b.GetPaletteColor(row[x]);
    case ie1g: return (row[x / 8] >> (7 - x % 8)) & 1 ? TRGB{255, 255, 255} : TRGB{0, 0, 0};
    default: ADD_FAILURE() << "pixel format " << int(b.GetPixelFormat()); return {};
    }
}

std::set<std::uint32_t> Colours(TIEBitmap& b)
{
    std::set<std::uint32_t> colours;
    for (int y = 0; y < b.GetHeight(); ++y)
        for (int x = 0; x < b.GetWidth(); ++x) {
            const TRGB c = PixelOf(b, x, y);
            colours.insert(std::uint32_t(c.r) << 16 | std::uint32_t(c.g) << 8 | c.b);
        }
    return colours;
}

// With grey, b is taken by its luma, as a grey JPEG encodes it.
double Psnr(TIEBitmap& a, TIEBitmap& b, bool grey = false)
{
    double sum = 0;
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x) {
            const TRGB p = PixelOf(a, x, y);
            TRGB q = PixelOf(b, x, y);
            if (grey) {
                const auto luma = std::uint8_t(std::lround(q.r * 0.299 + q.g * 0.587 + q.b * 0.114));
                q = TRGB{luma, luma, luma};
            }
            for (int d : {p.r - q.r, p.g - q.g, p.b - q.b})
                sum += double(d) * d;
        }
    const double mse = sum / (3.0 * a.GetWidth() * a.GetHeight());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// The bytes a plain save of the source with these parameters produces.
std::vector<std::uint8_t> SaveBytes(TIEBitmap& source, const TIOParamsVals& params, int fileType)
{
    TIEBitmap copy;
    copy.Assign(&source);
    TVodirAdIO io(nullptr);
    io.Params().Assign(&params);
    io.SetAttachedTIEBitmap(&copy);
    rtl::TMemoryStream stream;
    io.SaveToStream(stream, fileType);
    EXPECT_FALSE(io.AbortFlag);
    return stream.Bytes();
}

std::string Bytes(std::size_t n) { return std::to_string(n) + " bytes"; }

// ---- what the native judges read ----

const std::string kJudgeDir = VA_PREVIEWS_OUT;

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

// The result as a binary PPM, red, green, blue.
std::vector<std::uint8_t> Ppm(TIEBitmap& b)
{
    const std::string header =
        "P6\n" + std::to_string(b.GetWidth()) + " " + std::to_string(b.GetHeight()) + "\n255\n";
    std::vector<std::uint8_t> out(header.begin(), header.end());
    for (int y = 0; y < b.GetHeight(); ++y)
        for (int x = 0; x < b.GetWidth(); ++x) {
            const TRGB c = PixelOf(b, x, y);
            out.insert(out.end(), {c.r, c.g, c.b});
        }
    return out;
}

// One line per case: decoder, the encoded bytes, the result's pixels.
class JudgeManifest {
public:
    static JudgeManifest& Get()
    {
        static JudgeManifest manifest;
        return manifest;
    }
    void Add(const std::string& name, const std::string& decoder, const std::string& extension,
             const std::vector<std::uint8_t>& bytes, TIEBitmap& result)
    {
        ::CreateDirectoryA(kJudgeDir.c_str(), nullptr);
        WriteFile(kJudgeDir + "/" + name + extension, bytes);
        WriteFile(kJudgeDir + "/" + name + ".ppm", Ppm(result));
        lines_.push_back(decoder + " " + name + extension + " " + name + ".ppm");
        std::ofstream out(kJudgeDir + "/manifest.txt");
        for (const std::string& line : lines_)
            out << line << "\n";
    }

private:
    JudgeManifest()
    {
        // A run starts a new list: files of earlier runs are never judged again.
        ::CreateDirectoryA(kJudgeDir.c_str(), nullptr);
        std::remove((kJudgeDir + "/manifest.txt").c_str());
    }
    std::vector<std::string> lines_;
};

// ---- the dialog on its own ----

class PreviewDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::Photo(source_, 96, 64);
        params_.SetDefaultParams();
    }
    void TearDown() override { form_.reset(); }

    // The dialog with every page (or those of `pages`), full or short, shown without a modal loop.
    void Open(std::uint16_t pages = ppAll, bool simplified = false, bool locked = false)
    {
        // Each owner holds one form of a name.
        form_.reset();
        form_.reset(win::TCustomForm::CreateFromResource<TfIOPreviews>(win::Application));
        form_->Params = &params_;
        form_->SimplifiedParamsDialogs = simplified;
        form_->DefaultLockPreview = locked;
        form_->SetSourceImage(source_);
        ASSERT_TRUE(form_->SetPreviewParams(pages));
        form_->Show();
        Pump();
    }
    TIEBitmap& Result() { return *form_->VodirAd2->GetIEBitmap(); }
    void PressPreview() { Click(form_->Button3); }

    TIEBitmap source_;
    TIOParamsVals params_{nullptr};
    FormPtr form_;
};

TEST_F(PreviewDialog, IsBuiltFromItsResourceWithEveryPageAndItsLists)
{
    Open();
    TfIOPreviews& f = *form_;
    EXPECT_EQ(f.Caption(), "Parameters preview");
    EXPECT_EQ(f.Button1->Caption(), "OK");
    EXPECT_EQ(f.Button1->ModalResult(), win::mrOk);
    EXPECT_EQ(f.Button2->ModalResult(), win::mrCancel);
    EXPECT_EQ(f.Button3->Caption(), "&Preview");
    EXPECT_EQ(f.chkLockPreview->Caption(), "Lock Preview");
    EXPECT_FALSE(f.Button4->Visible()) << "Apply shows only when the component asks for it";
    EXPECT_EQ(f.Label1->Caption(), "Source:");
    EXPECT_EQ(f.Label2->Caption(), "Result:");
    EXPECT_EQ(f.VodirAd1->Font()->Name(), "MS Sans Serif");
    EXPECT_EQ(f.VodirAd2->Font()->Height(), -11);
    EXPECT_EQ(TabCaptions(f.PageControl1),
              (std::vector<std::string>{"JPEG", "TIFF", "GIF", "BMP", "PCX", "PNG", "TGA", "JPEG2000"}));
    for (win::TTrackBar* track : {f.trkJPEGQuality, f.trkJPEG2Quality, f.trkJ2000Rate})
        EXPECT_EQ(::SendMessageA(track->Handle(), TBM_GETTHUMBLENGTH, 0, 0), 10) << track->Name();
    for (win::TPanel* panel :
         {f.pnlGIFTranspColor, f.pnlGIFBackground, f.pnlPNGBackground, f.pnlTGABackground})
        EXPECT_EQ(panel->BevelOuter(), win::bvNone) << panel->Name();
    using L = std::vector<std::string>;
    EXPECT_EQ(Items(f.cmbJPEGDCTMethod), (L{"ISLOW", "IFAST", "FLOAT"}));
    EXPECT_EQ(Items(f.cmbJPEGPhotometric), (L{"RGB", "GrayScale", "YCbCr", "CMYK", "YCbCrK"}));
    EXPECT_EQ(Items(f.cmbTIFFPhotometric), (L{"WHITEISZERO/Gray", "BLACKISZERO/Gray", "RGB", "RGBPALETTE",
                                              "TRANSPMASK", "CMYK", "YCBCR", "CIELAB"}));
    EXPECT_EQ(Items(f.cmbTIFFColors), (L{"B/W", "16", "256", "65536", "16M"}));
    EXPECT_EQ(Items(f.cmbTIFF2Colors), (L{"2", "16", "256", "65536", "16777216"}));
    EXPECT_EQ(Items(f.cmbGIFColors), (L{"B/W", "4", "8", "16", "32", "64", "128", "256"}));
    // Only the depths the BMP writer makes: no 16-bit or 32-bit entries that would save 24 bits.
    EXPECT_EQ(Items(f.cmbBMPColors), (L{"B/W", "16", "256", "16M"}));
    EXPECT_EQ(Items(f.cmbBMPCompression), (L{"UNCOMPRESSED", "RLE"}));
    EXPECT_EQ(Items(f.cmbPCXColors), (L{"B/W", "16", "256", "16M"}));
    EXPECT_EQ(Items(f.cmbPNGColors), (L{"B/W", "256", "16M"}));
    EXPECT_EQ(Items(f.cmbPNGFilter), (L{"None", "Sub", "Paeth"}));
    EXPECT_EQ(Items(f.cmbPNGCompression), (L{"None", "1", "2", "3", "4", "5", "6", "7", "8", "Max"}));
    EXPECT_EQ(Items(f.cmbTGAColors), (L{"B/W", "256", "16M"}));
    EXPECT_EQ(Items(f.cmbJ2000Photometric), (L{"GrayScale", "RGB", "YCbCr"}));
    ASSERT_NE(DefTIFFLZWCompress, nullptr);
    EXPECT_EQ(Items(f.cmbTIFFCompression),
              (L{"UNCOMPRESSED", "CCITT1D", "G3FAX1D", "G3FAX2D", "G4FAX", "LZW", "JPEG", "PACKBITS"}));
    EXPECT_EQ(Items(f.cmbTIFF2Compression), Items(f.cmbTIFFCompression));
    for (win::TLabel* value :
         {f.lblJPEGOriginalSizeValue, f.lblTIFFCompressedSizeValue, f.lblJ2000CompressedSizeValue})
        EXPECT_EQ(value->Caption(), "---");
    // The up-downs sit beside their edits.
    EXPECT_EQ(f.udJPEGSmooth->Associate(), f.edtJPEGSmooth);
    EXPECT_EQ(f.udGIFImageIndex->Associate(), f.edtGIFImageIndex);
}

TEST_F(PreviewDialog, ShortPagesReplaceTheFullOnesAndHideTheAdvancedControls)
{
    Open(ppAll, true);
    TfIOPreviews& f = *form_;
    EXPECT_EQ(TabCaptions(f.PageControl1),
              (std::vector<std::string>{"JPEG", "TIFF", "GIF", "BMP", "PCX", "PNG", "TGA", "JPEG2000"}));
    EXPECT_TRUE(f.TabSheetJPEG2->TabVisible());
    EXPECT_FALSE(f.TabSheetJPEG1->TabVisible());
    EXPECT_TRUE(f.TabSheetTIFF2->TabVisible());
    EXPECT_TRUE(f.TabSheetGIF2->TabVisible());
    for (win::TControl* hidden : std::initializer_list<win::TControl*>{
             f.pnlPNGBackground, f.grpPNGAdvanced, f.pnlTGABackground, f.chkTGACompression, f.edtTGAName,
             f.edtTGADescription, f.cmbJ2000Photometric})
        EXPECT_FALSE(hidden->Visible()) << hidden->Name();
    // The short page still writes what it shows.
    params_.FileType = ioTIFF;
    ClickTab(f.PageControl1, f.TabSheetTIFF2);
    Choose(f.cmbTIFF2Compression, 7);
    Choose(f.cmbTIFF2Colors, 1);
    Click(f.Button1);
    EXPECT_EQ(params_.TIFFCompression, 8);
    EXPECT_EQ(params_.BitsPerSample, 4);
    EXPECT_EQ(params_.SamplesPerPixel, 1);
}

TEST_F(PreviewDialog, PageSetChoosesTheTabsAndTheCurrentFormatsPageComesFirst)
{
    struct Case {
        int fileType;
        std::uint16_t pages;
        std::vector<std::string> tabs;
        std::string active;
    };
    const Case cases[] = {
        {ioPNG, ppCurrent, {"PNG"}, "PNG"},
        {ioJP2, ppCurrent, {"JPEG2000"}, "JPEG2000"},
        {ioJ2K, ppCurrent | ppBMP, {"BMP", "JPEG2000"}, "JPEG2000"},
        {ioTIFF, ppJPEG | ppGIF, {"JPEG", "GIF"}, "JPEG"},
        {ioGIF, ppAll, {"JPEG", "TIFF", "GIF", "BMP", "PCX", "PNG", "TGA", "JPEG2000"}, "GIF"},
        {ioTGA, ppCurrent | ppPCX, {"PCX", "TGA"}, "TGA"},
    };
    for (const Case& c : cases) {
        params_.FileType = c.fileType;
        Open(c.pages);
        EXPECT_EQ(TabCaptions(form_->PageControl1), c.tabs) << c.fileType;
        ASSERT_NE(form_->PageControl1->ActivePage(), nullptr);
        EXPECT_EQ(form_->PageControl1->ActivePage()->Caption(), c.active) << c.fileType;
    }
    // A format without a page and only the current-format bit: nothing to show.
    form_.reset();
    auto form = FormPtr(win::TCustomForm::CreateFromResource<TfIOPreviews>(win::Application));
    form->Params = &params_;
    params_.FileType = ioICO;
    EXPECT_FALSE(form->SetPreviewParams(ppCurrent));
    EXPECT_FALSE(form->SetPreviewParams(0));
    EXPECT_TRUE(form->SetPreviewParams(ppCurrent | ppPNG));
}

TEST_F(PreviewDialog, ReadsTheParametersIntoEveryPage)
{
    params_.JPEGQuality = 37;
    params_.JPEGDCTMethod = 1;
    params_.JPEGSmooth = 12;
    params_.JPEGColorSpace = 1;
    params_.JPEGProgressive = 1;
    params_.TIFFCompression = 8;
    params_.TIFFPhotometric = 5;
    params_.TIFFDocumentName = "scan";
    params_.TIFFPageNumber = 2;
    params_.TIFFPageCount = 9;
    params_.GIFTransparent = 1;
    params_.GIFTranspColor = TRGB{10, 20, 30};
    params_.GIFDelayTime = 40;
    params_.PNGFilter = 2;
    params_.PNGCompression = 9;
    params_.TGAImageName = "name";
    params_.J2000Rate = 0.25;
    params_.J2000ColorSpace = 2;
    params_.BMPCompression = 1;
    params_.BitsPerSample = 5;
    params_.SamplesPerPixel = 3;
    Open();
    TfIOPreviews& f = *form_;
    EXPECT_EQ(f.edtJPEGQuality->Text(), "37");
    EXPECT_EQ(f.trkJPEGQuality->Position(), 37);
    EXPECT_EQ(f.edtJPEG2Quality->Text(), "37");
    EXPECT_EQ(f.cmbJPEGDCTMethod->ItemIndex(), 1);
    EXPECT_EQ(f.edtJPEGSmooth->Text(), "12");
    EXPECT_EQ(f.udJPEGSmooth->Position(), 12);
    EXPECT_EQ(f.cmbJPEGPhotometric->ItemIndex(), 1);
    EXPECT_TRUE(f.chkJPEGProgressive->Checked());
    EXPECT_FALSE(f.chkJPEGOptimalHuffman->Checked());
    EXPECT_EQ(f.cmbTIFFCompression->ItemIndex(), 7) << "PACKBITS";
    EXPECT_EQ(f.cmbTIFFPhotometric->ItemIndex(), 5);
    EXPECT_EQ(f.edtTIFFName->Text(), "scan");
    EXPECT_EQ(f.edtTIFFPageNumber->Text(), "2");
    EXPECT_EQ(f.edtTIFFPageCount->Text(), "9");
    EXPECT_TRUE(f.chkGIFTransparent->Checked());
    EXPECT_EQ(f.pnlGIFTranspColor->Color(), win::TColor(RGB(30, 20, 10)));
    EXPECT_EQ(f.edtGIFDelayTime->Text(), "40");
    EXPECT_EQ(f.cmbPNGFilter->ItemIndex(), 2);
    EXPECT_EQ(f.cmbPNGCompression->ItemIndex(), 9) << "Max";
    EXPECT_EQ(f.edtTGAName->Text(), "name");
    EXPECT_EQ(f.edtJ2000Rate->Text(), "250");
    EXPECT_EQ(f.trkJ2000Rate->Position(), 250);
    EXPECT_EQ(f.cmbJ2000Photometric->ItemIndex(), 2);
    EXPECT_EQ(f.cmbBMPCompression->ItemIndex(), 1);
    EXPECT_EQ(f.cmbBMPColors->ItemIndex(), 3) << "5-bit RGB is written with 24 bits";

    // Each colour list reads samples and bits its own way.
    struct Depth {
        int bits, samples, tiff, gif, bmp, png;
    };
    const Depth depths[] = {
        {1, 1, 0, 0, 0, 0}, {4, 1, 1, 3, 1, 1}, {8, 1, 2, 7, 2, 1}, {16, 1, 3, 7, 2, 1}, {8, 3, 4, 7, 3, 2},
    };
    for (const Depth& d : depths) {
        const TIOPreviewsColors c = IOPreviewsColors(d.bits, d.samples);
        EXPECT_EQ(c.TIFF, d.tiff) << d.bits << "/" << d.samples;
        EXPECT_EQ(c.GIF, d.gif) << d.bits << "/" << d.samples;
        EXPECT_EQ(c.BMP, d.bmp) << d.bits << "/" << d.samples;
        EXPECT_EQ(c.PCX, d.bmp) << d.bits << "/" << d.samples;
        EXPECT_EQ(c.PNG, d.png) << d.bits << "/" << d.samples;
        EXPECT_EQ(c.TGA, d.png) << d.bits << "/" << d.samples;
    }
}

TEST_F(PreviewDialog, OkWritesTheActivePageAndLeavesTheOtherFormatsOptions)
{
    struct Case {
        const char* name;
        std::function<win::TTabSheet*(TfIOPreviews&)> drive;
        std::function<void(const TIOParamsVals&)> expect;
    };
    const Case cases[] = {
        {"JPEG",
         [](TfIOPreviews& f) {
             Type(f.edtJPEGQuality, "55");
             Choose(f.cmbJPEGDCTMethod, 2);
             Type(f.edtJPEGSmooth, "20");
             Choose(f.cmbJPEGPhotometric, 0);
             Click(f.chkJPEGOptimalHuffman);
             Click(f.chkJPEGProgressive);
             return f.TabSheetJPEG1;
         },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.FileType, ioJPEG);
             EXPECT_EQ(p.JPEGQuality, 55);
             EXPECT_EQ(p.JPEGDCTMethod, 2);
             EXPECT_EQ(p.JPEGSmooth, 20);
             EXPECT_EQ(p.JPEGColorSpace, 0);
             EXPECT_EQ(p.JPEGOptimalHuffman, 1);
             EXPECT_EQ(p.JPEGProgressive, 1);
             EXPECT_EQ(p.BitsPerSample, 8);
             EXPECT_EQ(p.SamplesPerPixel, 3);
             EXPECT_EQ(p.PNGCompression, 5);
         }},
        {"TIFF",
         [](TfIOPreviews& f) {
             Choose(f.cmbTIFFCompression, 5);
             Type(f.edtTIFFImageIndex, "3");
             Choose(f.cmbTIFFPhotometric, 1);
             Choose(f.cmbTIFFColors, 3);
             Type(f.edtTIFFXPos, "2");
             Type(f.edtTIFFYPos, "4");
             Type(f.edtTIFFName, "doc");
             Type(f.edtTIFFDescription, "desc");
             Type(f.edtTIFFPageName, "page");
             Type(f.edtTIFFPageNumber, "1");
             Type(f.edtTIFFPageCount, "5");
             return f.TabSheetTIFF1;
         },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.FileType, ioTIFF);
             EXPECT_EQ(p.TIFFCompression, 5);
             EXPECT_EQ(p.TIFFImageIndex, 3);
             EXPECT_EQ(p.TIFFPhotometric, 1);
             EXPECT_EQ(p.BitsPerSample, 16);
             EXPECT_EQ(p.SamplesPerPixel, 1);
             EXPECT_EQ(p.TIFFXPos, 2);
             EXPECT_EQ(p.TIFFYPos, 4);
             EXPECT_EQ(p.TIFFDocumentName, "doc");
             EXPECT_EQ(p.TIFFImageDescription, "desc");
             EXPECT_EQ(p.TIFFPageName, "page");
             EXPECT_EQ(p.TIFFPageNumber, 1);
             EXPECT_EQ(p.TIFFPageCount, 5);
             EXPECT_EQ(p.JPEGQuality, 80);
         }},
        {"GIF",
         [](TfIOPreviews& f) {
             Type(f.edtGIFImageIndex, "2");
             Choose(f.cmbGIFColors, 3);
             Click(f.chkGIFTransparent);
             Click(f.chkGIFInterlaced);
             Type(f.edtGIFDelayTime, "25");
             Type(f.edtGIFXPos, "7");
             Type(f.edtGIFYPos, "9");
             return f.TabSheetGIF1;
         },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.FileType, ioGIF);
             EXPECT_EQ(p.BitsPerSample, 4);
             EXPECT_EQ(p.GIFTransparent, 1);
             EXPECT_EQ(p.GIFInterlaced, 1);
             EXPECT_EQ(p.GIFImageIndex, 2);
             EXPECT_EQ(p.GIFDelayTime, 25);
             EXPECT_EQ(p.GIFXPos, 7);
             EXPECT_EQ(p.GIFYPos, 9);
         }},
        {"BMP",
         [](TfIOPreviews& f) {
             Choose(f.cmbBMPCompression, 1);
             Choose(f.cmbBMPColors, 2);
             return f.TabSheetBMP1;
         },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.FileType, ioBMP);
             EXPECT_EQ(p.BMPCompression, 1);
             EXPECT_EQ(p.BitsPerSample, 8);
             EXPECT_EQ(p.SamplesPerPixel, 1);
         }},
        {"PCX",
         [](TfIOPreviews& f) {
             Choose(f.cmbPCXCompression, 0);
             Choose(f.cmbPCXColors, 1);
             return f.TabSheetPCX1;
         },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.FileType, ioPCX);
             EXPECT_EQ(p.PCXCompression, 0);
             EXPECT_EQ(p.BitsPerSample, 4);
             EXPECT_EQ(p.SamplesPerPixel, 1);
         }},
        {"PNG",
         [](TfIOPreviews& f) {
             Choose(f.cmbPNGColors, 0);
             Choose(f.cmbPNGFilter, 1);
             Click(f.chkPNGInterlaced);
             Choose(f.cmbPNGCompression, 9);
             return f.TabSheetPNG1;
         },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.FileType, ioPNG);
             EXPECT_EQ(p.BitsPerSample, 1);
             EXPECT_EQ(p.SamplesPerPixel, 1);
             EXPECT_EQ(p.PNGFilter, 1);
             EXPECT_EQ(p.PNGInterlaced, 1);
             EXPECT_EQ(p.PNGCompression, 9);
         }},
        {"TGA",
         [](TfIOPreviews& f) {
             Choose(f.cmbTGAColors, 1);
             Click(f.chkTGACompression);
             Type(f.edtTGAName, "tga name");
             Type(f.edtTGADescription, "tga text");
             return f.TabSheetTGA1;
         },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.FileType, ioTGA);
             EXPECT_EQ(p.BitsPerSample, 8);
             EXPECT_EQ(p.SamplesPerPixel, 1);
             EXPECT_EQ(p.TGACompressed, 0) << "the box started checked";
             EXPECT_EQ(p.TGAImageName, "tga name");
             EXPECT_EQ(p.TGADescription, "tga text");
         }},
        {"JPEG2000",
         [](TfIOPreviews& f) {
             Slide(f.trkJ2000Rate, 125);
             Choose(f.cmbJ2000Photometric, 0);
             return f.TabSheetJ20001;
         },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.FileType, ioJ2K);
             EXPECT_DOUBLE_EQ(p.J2000Rate, 0.125);
             EXPECT_EQ(p.J2000ColorSpace, 0);
             EXPECT_EQ(p.BitsPerSample, 8);
             EXPECT_EQ(p.SamplesPerPixel, 1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        params_.SetDefaultParams();
        Open();
        // The page is chosen first: choosing a page reads the parameters again.
        win::TTabSheet* sheet = nullptr;
        for (int i = 0; i < form_->PageControl1->PageCount(); ++i)
            if (form_->PageControl1->Pages(i)->TabVisible() &&
                form_->PageControl1->Pages(i)->Caption() == c.name)
                sheet = form_->PageControl1->Pages(i);
        ASSERT_NE(sheet, nullptr);
        if (sheet != form_->PageControl1->ActivePage())
            ClickTab(form_->PageControl1, sheet);
        EXPECT_EQ(c.drive(*form_), sheet);
        EXPECT_EQ(params_.FileType, 0) << "nothing is written before OK";
        Click(form_->Button1);
        EXPECT_EQ(form_->ModalResult(), win::mrOk);
        c.expect(params_);
    }
}

TEST_F(PreviewDialog, CancelAndPageChangesLeaveTheParametersAlone)
{
    params_.JPEGQuality = 66;
    Open();
    Type(form_->edtJPEGQuality, "12");
    EXPECT_EQ(form_->Values().JPEGQuality, 12);
    // Another page starts again from the parameters.
    ClickTab(form_->PageControl1, form_->TabSheetPNG1);
    ClickTab(form_->PageControl1, form_->TabSheetJPEG1);
    EXPECT_EQ(form_->edtJPEGQuality->Text(), "66");
    Type(form_->edtJPEGQuality, "12");
    Click(form_->Button2);
    EXPECT_EQ(form_->ModalResult(), win::mrCancel);
    EXPECT_EQ(params_.JPEGQuality, 66);
    EXPECT_EQ(params_.FileType, 0);
}

TEST_F(PreviewDialog, EditsMirrorTheirTrackBarsAndKeepTheirRanges)
{
    Open();
    TfIOPreviews& f = *form_;
    Slide(f.trkJPEGQuality, 33);
    EXPECT_EQ(f.edtJPEGQuality->Text(), "33");
    EXPECT_EQ(f.Values().JPEGQuality, 33);
    Type(f.edtJPEGQuality, "150");
    EXPECT_EQ(f.Values().JPEGQuality, 100);
    EXPECT_EQ(f.trkJPEGQuality->Position(), 100);
    Type(f.edtJPEGQuality, "abc");
    EXPECT_EQ(f.Values().JPEGQuality, 100) << "not a number: nothing changes";
    // The rate shows thousandths.
    Type(f.edtJ2000Rate, "40");
    EXPECT_DOUBLE_EQ(f.Values().J2000Rate, 0.04);
    EXPECT_EQ(f.trkJ2000Rate->Position(), 40);
    // The smoothing arrows write their edit, which the value follows.
    RECT r;
    ::GetClientRect(f.udJPEGSmooth->Handle(), &r);
    ::SendMessageA(f.udJPEGSmooth->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(r.right / 2, r.bottom / 4));
    ::SendMessageA(f.udJPEGSmooth->Handle(), WM_LBUTTONUP, 0, At(r.right / 2, r.bottom / 4));
    EXPECT_EQ(f.edtJPEGSmooth->Text(), "1");
    EXPECT_EQ(f.Values().JPEGSmooth, 1);
    // Large image indexes stay plain numbers the value can follow.
    ClickTab(f.PageControl1, f.TabSheetGIF1);
    Type(f.edtGIFImageIndex, "1499");
    ::GetClientRect(f.udGIFImageIndex->Handle(), &r);
    ::SendMessageA(f.udGIFImageIndex->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(r.right / 2, r.bottom / 4));
    ::SendMessageA(f.udGIFImageIndex->Handle(), WM_LBUTTONUP, 0, At(r.right / 2, r.bottom / 4));
    EXPECT_EQ(f.edtGIFImageIndex->Text(), "1500");
    EXPECT_EQ(f.Values().GIFImageIndex, 1500);
}

TEST_F(PreviewDialog, ColourPanelsTakeTheColourChosenInTheChooser)
{
    Open();
    TfIOPreviews& f = *form_;
    ClickTab(f.PageControl1, f.TabSheetPNG1);
    bool press = true;
    f.ColorDialog1->OnShow = [&](rtl::TObject*) {
        HWND box = f.ColorDialog1->Handle();
        ::SetDlgItemInt(box, 706, 12, FALSE);
        ::SetDlgItemInt(box, 707, 34, FALSE);
        ::SetDlgItemInt(box, 708, 56, FALSE);
        ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(press ? IDOK : IDCANCEL, BN_CLICKED), 0);
    };
    f.ColorDialog1->Options = {win::cdFullOpen};
    ClickPanel(f.pnlPNGBackground);
    EXPECT_EQ(f.Values().PNGBackground, (TRGB{56, 34, 12}));
    EXPECT_EQ(f.pnlPNGBackground->Color(), win::TColor(RGB(12, 34, 56)));
    press = false;
    ClickPanel(f.pnlPNGBackground);
    EXPECT_EQ(f.Values().PNGBackground, (TRGB{56, 34, 12})) << "cancelled: kept";
    Click(f.Button1);
    EXPECT_EQ(params_.PNGBackground, (TRGB{56, 34, 12}));
}

TEST_F(PreviewDialog, LanguageCaptionsComeFromTheMessageTableKeepingTheirColons)
{
    form_.reset(win::TCustomForm::CreateFromResource<TfIOPreviews>(win::Application));
    form_->SetLanguage(msGerman);
    TfIOPreviews& f = *form_;
    EXPECT_EQ(f.Caption(), IEGetMessage(37, msGerman));
    EXPECT_EQ(f.Button2->Caption(), "Abbrechen");
    EXPECT_EQ(f.Button3->Caption(), "Vorschau");
    EXPECT_EQ(f.Label1->Caption(), IEGetMessage(1, msGerman) + ":");
    EXPECT_EQ(f.lblJPEGQuality->Caption(), IEGetMessage(38, msGerman) + ":");
    EXPECT_EQ(f.grpJPEGAdvanced->Caption(), " " + IEGetMessage(45, msGerman) + " ");
    EXPECT_EQ(f.lblPNGFilter->Caption(), IEGetMessage(66, msGerman));
    EXPECT_EQ(f.lblTGACompressedSize->Caption(), IEGetMessage(44, msGerman) + ":");
    EXPECT_EQ(f.chkGIFTransparent->Caption(), IEGetMessage(59, msGerman) + ":");
    form_->SetLanguage(msEnglish);
    EXPECT_EQ(f.Caption(), "Parameters Preview");
    EXPECT_EQ(f.chkLockPreview->Caption(), "Lock preview");
    EXPECT_EQ(f.lblTIFFXPos->Caption(), "Horiz. Position (inch):");
    EXPECT_EQ(f.lblTIFFPageCount->Caption(), "of");
}

// ---- previews ----

TEST_F(PreviewDialog, JpegPreviewDecodesTheBytesItShowsTheSizeOf)
{
    struct Case {
        const char* name;
        int quality, space, dct;
        bool progressive, optimal;
        int smooth;
    };
    const Case cases[] = {
        {"jpeg_q75", 75, 2, 0, false, false, 0},      {"jpeg_q10_grey", 10, 1, 0, false, false, 0},
        {"jpeg_q90_rgb", 90, 0, 0, false, true, 0},   {"jpeg_q50_progressive", 50, 2, 0, true, false, 0},
        {"jpeg_q60_fast", 60, 2, 1, false, false, 0}, {"jpeg_q80_smooth", 80, 2, 2, false, false, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Open();
        TfIOPreviews& f = *form_;
        Type(f.edtJPEGQuality, std::to_string(c.quality));
        Choose(f.cmbJPEGPhotometric, c.space);
        Choose(f.cmbJPEGDCTMethod, c.dct);
        Type(f.edtJPEGSmooth, std::to_string(c.smooth));
        if (c.progressive)
            Click(f.chkJPEGProgressive);
        if (c.optimal)
            Click(f.chkJPEGOptimalHuffman);
        PressPreview();
        const std::vector<std::uint8_t> bytes = f.PreviewBytes();
        ASSERT_GT(bytes.size(), 100u);
        EXPECT_EQ(f.lblJPEGCompressedSizeValue->Caption(), Bytes(bytes.size()));
        EXPECT_EQ(f.lblJPEG2CompressedSizeValue->Caption(), Bytes(bytes.size())) << "both JPEG pages";
        EXPECT_EQ(f.lblJPEGOriginalSizeValue->Caption(), Bytes(96 * 3 * 64));
        EXPECT_EQ(Result().GetWidth(), 96);
        EXPECT_EQ(Result().GetHeight(), 64);
        // The size is that of the save the same choices make once written back.
        Click(f.Button1);
        EXPECT_EQ(SaveBytes(source_, params_, ioJPEG), bytes);
        EXPECT_GT(Psnr(Result(), source_, c.space == 1), c.quality < 20 ? 20.0 : 28.0);
        JudgeManifest::Get().Add(c.name, "djpeg", ".jpg", bytes, Result());
    }
}

TEST_F(PreviewDialog, Jpeg2000PreviewDecodesTheCodeStreamItShowsTheSizeOf)
{
    struct Case {
        const char* name;
        int rate, space;
    };
    const Case cases[] = {{"j2k_lossless", 1000, 1},
                          {"j2k_rate100", 100, 1},
                          {"j2k_rate50_grey", 50, 0},
                          {"j2k_rate200_ycbcr", 200, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        params_.FileType = ioJ2K;
        Open();
        TfIOPreviews& f = *form_;
        ASSERT_EQ(f.PageControl1->ActivePage(), f.TabSheetJ20001);
        Type(f.edtJ2000Rate, std::to_string(c.rate));
        Choose(f.cmbJ2000Photometric, c.space);
        PressPreview();
        const std::vector<std::uint8_t> bytes = f.PreviewBytes();
        ASSERT_GT(bytes.size(), 100u);
        EXPECT_EQ(bytes[0], 0xFF) << "a code stream, not a JP2 file";
        EXPECT_EQ(bytes[1], 0x4F);
        EXPECT_EQ(f.lblJ2000CompressedSizeValue->Caption(), Bytes(bytes.size()));
        if (c.rate == 1000) {
            EXPECT_EQ(Take(Result()), Take(source_)) << "lossless";
        }
        Click(f.Button1);
        EXPECT_EQ(SaveBytes(source_, params_, ioJ2K), bytes);
        JudgeManifest::Get().Add(c.name, "opj_decompress", ".j2k", bytes, Result());
    }
    // A JP2 file's parameters preview and keep JP2.
    params_.FileType = ioJP2;
    Open(ppCurrent);
    PressPreview();
    ASSERT_GT(form_->PreviewBytes().size(), 12u);
    EXPECT_EQ(form_->PreviewBytes()[4], 'j');
    Click(form_->Button1);
    EXPECT_EQ(params_.FileType, ioJP2);
}

TEST_F(PreviewDialog, EveryLosslessPageShowsWhatItsSaveKeepsAndItsSize)
{
    struct Case {
        const char* name;
        win::TTabSheet* TfIOPreviews::*sheet;
        int fileType;
        std::function<void(TfIOPreviews&)> drive;
        std::size_t maxColours;  // in the result; 0: the source comes back unchanged
        win::TLabel* TfIOPreviews::*size;
    };
    const Case cases[] = {
        {"bmp 24", &TfIOPreviews::TabSheetBMP1, ioBMP, [](TfIOPreviews& f) { Choose(f.cmbBMPColors, 3); }, 0,
         &TfIOPreviews::lblBMPCompressedSizeValue},
        {"bmp 256 rle", &TfIOPreviews::TabSheetBMP1, ioBMP,
         [](TfIOPreviews& f) {
             Choose(f.cmbBMPColors, 2);
             Choose(f.cmbBMPCompression, 1);
         },
         256, &TfIOPreviews::lblBMPCompressedSizeValue},
        {"bmp b/w", &TfIOPreviews::TabSheetBMP1, ioBMP, [](TfIOPreviews& f) { Choose(f.cmbBMPColors, 0); }, 2,
         &TfIOPreviews::lblBMPCompressedSizeValue},
        {"pcx 16", &TfIOPreviews::TabSheetPCX1, ioPCX, [](TfIOPreviews& f) { Choose(f.cmbPCXColors, 1); }, 16,
         &TfIOPreviews::lblPCXCompressedSizeValue},
        {"pcx 24 rle", &TfIOPreviews::TabSheetPCX1, ioPCX, [](TfIOPreviews& f) { Choose(f.cmbPCXColors, 3); },
         0, &TfIOPreviews::lblPCXCompressedSizeValue},
        {"gif 8", &TfIOPreviews::TabSheetGIF1, ioGIF,
         [](TfIOPreviews& f) {
             Choose(f.cmbGIFColors, 2);
             Click(f.chkGIFInterlaced);
         },
         8, &TfIOPreviews::lblGIFCompressedSizeValue},
        {"gif 256", &TfIOPreviews::TabSheetGIF1, ioGIF, [](TfIOPreviews& f) { Choose(f.cmbGIFColors, 7); },
         256, &TfIOPreviews::lblGIFCompressedSizeValue},
        {"png 24", &TfIOPreviews::TabSheetPNG1, ioPNG,
         [](TfIOPreviews& f) {
             Choose(f.cmbPNGColors, 2);
             Choose(f.cmbPNGFilter, 2);
             Click(f.chkPNGInterlaced);
         },
         0, &TfIOPreviews::lblPNGCompressedSizeValue},
        {"png 256", &TfIOPreviews::TabSheetPNG1, ioPNG, [](TfIOPreviews& f) { Choose(f.cmbPNGColors, 1); },
         256, &TfIOPreviews::lblPNGCompressedSizeValue},
        {"tga 24", &TfIOPreviews::TabSheetTGA1, ioTGA, [](TfIOPreviews& f) { Choose(f.cmbTGAColors, 2); }, 0,
         &TfIOPreviews::lblTGACompressedSizeValue},
        {"tga b/w", &TfIOPreviews::TabSheetTGA1, ioTGA, [](TfIOPreviews& f) { Choose(f.cmbTGAColors, 0); }, 2,
         &TfIOPreviews::lblTGACompressedSizeValue},
        {"tiff lzw", &TfIOPreviews::TabSheetTIFF1, ioTIFF,
         [](TfIOPreviews& f) {
             Choose(f.cmbTIFFCompression, 5);
             Choose(f.cmbTIFFColors, 4);
             // A page to read past the only one the bytes hold must not matter to the preview.
             Type(f.edtTIFFImageIndex, "3");
         },
         0, &TfIOPreviews::lblTIFFCompressedSizeValue},
        {"tiff 16 packbits", &TfIOPreviews::TabSheetTIFF1, ioTIFF,
         [](TfIOPreviews& f) {
             Choose(f.cmbTIFFCompression, 7);
             Choose(f.cmbTIFFColors, 1);
         },
         16, &TfIOPreviews::lblTIFFCompressedSizeValue},
        {"tiff g4", &TfIOPreviews::TabSheetTIFF1, ioTIFF,
         [](TfIOPreviews& f) {
             Choose(f.cmbTIFFCompression, 4);
             Choose(f.cmbTIFFColors, 0);
         },
         2, &TfIOPreviews::lblTIFFCompressedSizeValue},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        params_.SetDefaultParams();
        Open();
        TfIOPreviews& f = *form_;
        ClickTab(f.PageControl1, f.*c.sheet);
        c.drive(f);
        PressPreview();
        const std::vector<std::uint8_t> bytes = f.PreviewBytes();
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ((f.*c.size)->Caption(), Bytes(bytes.size()));
        ASSERT_EQ(Result().GetWidth(), 96);
        if (c.maxColours == 0) {
            for (int y = 0; y < 64; ++y)
                for (int x = 0; x < 96; ++x)
                    ASSERT_EQ(PixelOf(Result(), x, y), PixelOf(source_, x, y)) << x << "," << y;
        } else {
            const std::size_t colours = Colours(Result()).size();
            EXPECT_LE(colours, c.maxColours);
            EXPECT_GE(colours, std::min<std::size_t>(c.maxColours, 2));
        }
        Click(f.Button1);
        EXPECT_EQ(params_.FileType, c.fileType);
        EXPECT_EQ(SaveBytes(source_, params_, c.fileType), bytes) << "the save the size stood for";
    }
}

TEST_F(PreviewDialog, EachPreviewEncodesTheSourceNeverThePreviousResult)
{
    Open();
    TfIOPreviews& f = *form_;
    Type(f.edtJPEGQuality, "8");
    PressPreview();
    const std::vector<std::uint8_t> first = f.PreviewBytes();
    const Snapshot firstResult = Take(Result());
    PressPreview();
    PressPreview();
    EXPECT_EQ(f.PreviewBytes(), first) << "encoding the last result again would change the bytes";
    EXPECT_EQ(Take(Result()), firstResult);
    const double poor = Psnr(Result(), source_);
    Type(f.edtJPEGQuality, "95");
    PressPreview();
    EXPECT_GT(Psnr(Result(), source_), poor + 5) << "a better quality starts again from the source";
    EXPECT_EQ(Take(*f.VodirAd1->GetIEBitmap()), Take(source_)) << "the source stays as it was";
}

TEST_F(PreviewDialog, TheResultViewShowsTheDecodedRowsAfterEveryPreview)
{
    Open();
    TfIOPreviews& f = *form_;
    ClickTab(f.PageControl1, f.TabSheetBMP1);
    Choose(f.cmbBMPColors, 0);
    PressPreview();
    f.VodirAd2->SetZoom(100);
    f.VodirAd2->SetViewXY(0, 0);
    auto shownEverywhere = [&](const char* step) {
        SCOPED_TRACE(step);
        TIEBitmap& decoded = Result();
        // The view's platform bitmap and what it paints hold the same rows as its library bitmap.
        win::TBitmap* platform = f.VodirAd2->GetTBitmap();
        ASSERT_NE(platform, nullptr);
        ASSERT_EQ(platform->Width(), 96);
        win::TBitmap* painted = f.VodirAd2->BackBuffer();
        const int ox = f.VodirAd2->XBmp2Scr(0), oy = f.VodirAd2->YBmp2Scr(0);
        for (int y = 0; y < 64; y += 7)
            for (int x = 0; x < 96; x += 5) {
                const TRGB c = PixelOf(decoded, x, y);
                const win::TColor want = win::TColor(RGB(c.r, c.g, c.b));
                ASSERT_EQ(platform->Canvas()->Pixels(x, y) & 0xFFFFFF, want) << x << "," << y;
                ASSERT_EQ(painted->Canvas()->Pixels(ox + x, oy + y) & 0xFFFFFF, want) << x << "," << y;
            }
    };
    shownEverywhere("black and white");
    EXPECT_EQ(Colours(Result()).size(), 2u);
    Choose(f.cmbBMPColors, 3);
    PressPreview();
    f.VodirAd1->SetZoom(100);
    f.VodirAd1->SetViewXY(0, 0);
    shownEverywhere("true colour");
    EXPECT_GT(Colours(Result()).size(), 100u);
    f.VodirAd1->SetZoom(250);
    PressPreview();
    EXPECT_EQ(f.VodirAd2->Zoom(), 250) << "the result takes the source's zoom";
}

TEST_F(PreviewDialog, LockedPreviewEncodesAgainOnEveryChange)
{
    Open(ppAll, false, true);
    TfIOPreviews& f = *form_;
    EXPECT_TRUE(f.chkLockPreview->Checked());
    EXPECT_FALSE(f.Button3->Enabled());
    EXPECT_NE(f.lblJPEGCompressedSizeValue->Caption(), "---")
        << "locked: the first page is previewed at once";
    std::set<std::vector<std::uint8_t>> seen;
    for (int quality : {20, 45, 70, 95}) {
        Slide(f.trkJPEGQuality, quality);
        EXPECT_EQ(f.lblJPEGCompressedSizeValue->Caption(), Bytes(f.PreviewBytes().size()));
        seen.insert(f.PreviewBytes());
    }
    EXPECT_EQ(seen.size(), 4u) << "each move of the track bar encodes again";
    Click(f.chkLockPreview);
    EXPECT_TRUE(f.Button3->Enabled());
    const std::vector<std::uint8_t> before = f.PreviewBytes();
    Slide(f.trkJPEGQuality, 30);
    EXPECT_EQ(f.PreviewBytes(), before) << "unlocked: nothing until Preview";
    ClickTab(f.PageControl1, f.TabSheetPNG1);
    EXPECT_EQ(f.lblPNGCompressedSizeValue->Caption(), "---");
}

TEST_F(PreviewDialog, AnEmptySourceShowsDashesAndNothingElse)
{
    source_.FreeImage();
    Open();
    PressPreview();
    EXPECT_EQ(form_->lblJPEGCompressedSizeValue->Caption(), "---");
    EXPECT_TRUE(form_->PreviewBytes().empty());
}

// ---- the component's entry point ----

class DoPreviews : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::Photo(image_, 80, 48);
        io_.SetAttachedTIEBitmap(&image_);
        io_.Params().FileType = ioJPEG;
        io_.OnIOPreview = [this](rtl::TObject* sender, win::TForm* form) {
            EXPECT_EQ(sender, &io_);
            dialog_ = dynamic_cast<TfIOPreviews*>(form);
            ASSERT_NE(dialog_, nullptr);
            ASSERT_FALSE(dialog_->Visible());
            // The dialog is driven from its own showing, inside its modal loop.
            dialog_->OnShow = [this](rtl::TObject*) {
                drive(*dialog_);
                Pump();
            };
        };
    }

    TIEBitmap image_;
    TVodirAdIO io_{nullptr};
    TfIOPreviews* dialog_ = nullptr;
    std::function<void(TfIOPreviews&)> drive;
};

TEST_F(DoPreviews, OkGivesTheChosenParametersWhoseSaveHasTheSizeShown)
{
    std::string shown;
    std::vector<std::uint8_t> previewed;
    drive = [&](TfIOPreviews& f) {
        EXPECT_EQ(f.PageControl1->ActivePage(), f.TabSheetJPEG2)
            << "simplified by default, the current format";
        Slide(f.trkJPEG2Quality, 42);
        Click(f.Button3);
        shown = f.lblJPEG2CompressedSizeValue->Caption();
        previewed = f.PreviewBytes();
        ::PostMessageA(f.Button1->Handle(), BM_CLICK, 0, 0);
    };
    const Snapshot before = Take(image_);
    EXPECT_TRUE(io_.DoPreviews(ppCurrent));
    EXPECT_EQ(io_.Params().JPEGQuality, 42);
    EXPECT_EQ(io_.Params().FileType, ioJPEG);
    EXPECT_EQ(Take(image_), before);
    rtl::TMemoryStream saved;
    io_.SaveToStream(saved, io_.Params().FileType);
    EXPECT_EQ(shown, Bytes(std::size_t(saved.Size())));
    EXPECT_EQ(saved.Bytes(), previewed);
}

TEST_F(DoPreviews, CancelLeavesTheImageAndTheParametersByteForByte)
{
    // A palette image: the dialog must not turn it into true colour on the way.
    TIEBitmap palette;
    palette.Allocate(70, 40, ie8p);
    for (int i = 0; i < 256; ++i)
        palette.SetPaletteColor(i, TRGB{std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)});
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 70; ++x)
            palette.ScanLine(y)[x] = std::uint8_t((x * 3 + y * 5) % 37);
    for (TIEBitmap* image : {&image_, &palette}) {
        io_.SetAttachedTIEBitmap(image);
        io_.Params().JPEGQuality = 70;
        io_.Params().FileType = ioJPEG;
        const Snapshot before = Take(*image);
        drive = [](TfIOPreviews& f) {
            Slide(f.trkJPEG2Quality, 5);
            Click(f.Button3);
            ClickTab(f.PageControl1, f.TabSheetBMP1);
            Choose(f.cmbBMPColors, 0);
            Click(f.Button3);
            ::PostMessageA(f.Button2->Handle(), BM_CLICK, 0, 0);
        };
        EXPECT_FALSE(io_.DoPreviews(ppAll));
        EXPECT_EQ(Take(*image), before);
        EXPECT_EQ(io_.Params().JPEGQuality, 70);
        EXPECT_EQ(io_.Params().FileType, ioJPEG);
        EXPECT_EQ(io_.Params().BitsPerSample, 8);
    }
}

TEST_F(DoPreviews, APaletteImageIsPreviewedAsItWillBeSaved)
{
    TIEBitmap palette;
    palette.Allocate(64, 32, ie8p);
    for (int i = 0; i < 16; ++i)
        palette.SetPaletteColor(i,
                                TRGB{std::uint8_t(i * 16), std::uint8_t(i * 8), std::uint8_t(250 - i * 15)});
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            palette.ScanLine(y)[x] = std::uint8_t((x / 4 + y / 8) % 16);
    io_.SetAttachedTIEBitmap(&palette);
    io_.Params().FileType = ioBMP;
    std::vector<std::uint8_t> previewed;
    drive = [&](TfIOPreviews& f) {
        Choose(f.cmbBMPColors, 2);
        Choose(f.cmbBMPCompression, 1);
        Click(f.Button3);
        previewed = f.PreviewBytes();
        ::PostMessageA(f.Button1->Handle(), BM_CLICK, 0, 0);
    };
    ASSERT_TRUE(io_.DoPreviews(ppCurrent));
    rtl::TMemoryStream saved;
    io_.SaveToStream(saved, ioBMP);
    EXPECT_EQ(saved.Bytes(), previewed);
    EXPECT_EQ(palette.GetPixelFormat(), ie8p);
}

// Changes between black and white along the rows of the result.
int Transitions(TIEBitmap& b)
{
    int n = 0;
    for (int y = 0; y < b.GetHeight(); ++y)
        for (int x = 1; x < b.GetWidth(); ++x)
            n += !(PixelOf(b, x, y) == PixelOf(b, x - 1, y));
    return n;
}

TEST_F(DoPreviews, BlackAndWhiteIsPreviewedByTheComponentsMethod)
{
    // A grey ramp: thresholded, each row turns white once; dithered, many times.
    image_.Allocate(64, 8, ie24RGB);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 64; ++x)
            image_.SetPixel24(x, y, TRGB{std::uint8_t(x * 4), std::uint8_t(x * 4), std::uint8_t(x * 4)});
    io_.Params().FileType = ioBMP;
    struct Case {
        bool threshold;
        std::uint8_t bitmapsOwn;  // the image's own method, set after the component's
        bool savedAlike;
    } cases[] = {{false, 0, true}, {true, 1, true}, {false, 1, false}};
    for (const Case& c : cases) {
        io_.SetMonoThreshold(c.threshold);
        EXPECT_EQ(image_.MonoConversion, c.threshold ? 1 : 0);
        image_.MonoConversion = c.bitmapsOwn;
        int transitions = 0;
        std::vector<std::uint8_t> previewed;
        drive = [&](TfIOPreviews& f) {
            EXPECT_EQ(f.MonoThreshold, c.threshold);
            Choose(f.cmbBMPColors, 0);
            Click(f.Button3);
            transitions = Transitions(*f.VodirAd2->GetIEBitmap());
            previewed = f.PreviewBytes();
            ::PostMessageA(f.Button1->Handle(), BM_CLICK, 0, 0);
        };
        ASSERT_TRUE(io_.DoPreviews(ppCurrent));
        if (c.threshold) {
            EXPECT_EQ(transitions, 8);
        } else {
            EXPECT_GT(transitions, 8 * 16);
        }
        rtl::TMemoryStream saved;
        io_.SaveToStream(saved, ioBMP);
        EXPECT_EQ(saved.Bytes() == previewed, c.savedAlike) << c.threshold << int(c.bitmapsOwn);
    }
}

TEST_F(DoPreviews, SimplifiedDialogTakesItsHeightsFromTheScreenResolution)
{
    drive = [](TfIOPreviews& f) {
        const int ppi = win::Screen->PixelsPerInch();
        EXPECT_EQ(f.PageControl1->Height(), int(ppi * 1.2708333));
        EXPECT_EQ(f.Height(), int(ppi * 3.75));
        EXPECT_LE(f.Panel1->Height(), f.PageControl1->Height() + 16) << "the views move up with the pages";
        EXPECT_GT(f.VodirAd1->Height(), 40);
        EXPECT_FALSE(f.Button4->Visible());
        ::PostMessageA(f.Button2->Handle(), BM_CLICK, 0, 0);
    };
    EXPECT_FALSE(io_.DoPreviews(ppAll));
    io_.SimplifiedParamsDialogs = false;
    drive = [](TfIOPreviews& f) {
        EXPECT_EQ(f.PageControl1->Height(), 230);
        EXPECT_EQ(f.PageControl1->ActivePage(), f.TabSheetJPEG1);
        ::PostMessageA(f.Button2->Handle(), BM_CLICK, 0, 0);
    };
    EXPECT_FALSE(io_.DoPreviews(ppAll));
}

TEST_F(DoPreviews, ApplyWritesWithoutClosingAndLockPreviewStartsChecked)
{
    io_.PreviewsParams = {ioppApplyButton, ioppDefaultLockPreview};
    io_.MsgLanguage = msEnglish;
    io_.PreviewFont()->SetName("Arial");
    drive = [this](TfIOPreviews& f) {
        EXPECT_EQ(f.Font()->Name(), "Arial");
        EXPECT_EQ(f.lblJPEG2Quality->Font()->Name(), "Arial") << "the controls take the dialog's font";
        EXPECT_TRUE(f.Button4->Visible());
        EXPECT_FALSE(f.Button4->Enabled()) << "nothing to apply yet";
        EXPECT_TRUE(f.chkLockPreview->Checked());
        EXPECT_EQ(f.Button3->Caption(), "Preview");
        Slide(f.trkJPEG2Quality, 61);
        EXPECT_TRUE(f.Button4->Enabled());
        Click(f.Button4);
        EXPECT_EQ(io_.Params().JPEGQuality, 61) << "applied while the dialog stays";
        EXPECT_TRUE(f.Visible());
        EXPECT_FALSE(f.Button4->Enabled());
        Slide(f.trkJPEG2Quality, 62);
        ::PostMessageA(f.Button2->Handle(), BM_CLICK, 0, 0);
    };
    EXPECT_FALSE(io_.DoPreviews(ppCurrent));
    EXPECT_EQ(io_.Params().JPEGQuality, 61) << "Cancel keeps what was applied, not what came after";
}

TEST_F(DoPreviews, AHandlerOrAFormatWithoutAPageShowsNothing)
{
    drive = [](TfIOPreviews&) { ADD_FAILURE() << "no dialog expected"; };
    io_.OnDoPreviews = [](rtl::TObject*, bool& handled) { handled = true; };
    EXPECT_TRUE(io_.DoPreviews(ppAll));
    EXPECT_EQ(dialog_, nullptr);
    io_.OnDoPreviews = nullptr;
    io_.Params().FileType = ioICO;
    EXPECT_FALSE(io_.DoPreviews(ppCurrent));
    EXPECT_EQ(dialog_, nullptr);
    io_.Params().FileType = ioUnknown;
    EXPECT_FALSE(io_.DoPreviews(ppCurrent));
}

}  // namespace
