// The I/O component's Windows half: platform bitmaps and image controls, metafiles through GDI,
// AVI frames through Video for Windows and DrawDib, the parameters dialog, the debugger output and
// the file replace.
#include "imaging/core/ieds_win32.h"
#include "imaging/core/ieview_win32.h"
#include "imaging/core/vodiradview_win32.h"
#include "imaging/io/detail/vodiradio_platform.h"
#include "imaging/io/iopreviews_win32.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/Win32.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Forms.h"
#include "platform/win/Graphics.h"

#include <vfw.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <vector>

namespace imaging {

// An open AVI file: its first video stream and the frame reader.
struct TIEIOPlatform {
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    PGETFRAME frames = nullptr;
    AVISTREAMINFOA info{};
    // The bitmap-change callback registered with the attached view.
    TIECallbackHandle viewCallback = kIENoCallback;
    // Made on first request; its graph is stopped and released with it.
    std::unique_ptr<TIEDirectShow> directShow;
    // The parameters dialog's font, made when first asked for.
    std::unique_ptr<win::TFont> previewFont;

    void Close()
    {
        if (frames)
            AVIStreamGetFrameClose(frames);
        if (stream)
            AVIStreamRelease(stream);
        if (file)
            AVIFileRelease(file);
        frames = nullptr;
        stream = nullptr;
        file = nullptr;
    }
};

void TIEIOPlatformDeleter::operator()(TIEIOPlatform* Platform) const
{
    if (Platform)
        Platform->Close();
    delete Platform;
}

namespace detail {

TIEIOPlatform* IENewIOPlatform() { return new TIEIOPlatform; }

void IEDebugOutput(const char* Text) { OutputDebugStringA(Text); }

bool IEViewDpi(TIEView* View, int& DpiX, int& DpiY)
{
    if (!View)
        return false;
    DpiX = View->DpiX();
    DpiY = View->DpiY();
    return true;
}

void IEViewBackground(TIEView* View, TColor& Color)
{
    if (View)
        Color = View->Background();
}

bool IEIsView(rtl::TComponent* Component, TIEView* View)
{
    return View && static_cast<rtl::TComponent*>(View) == Component;
}

bool IEReplaceFile(const std::string& Temp, const std::string& Target)
{
    return MoveFileExA(Temp.c_str(), Target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace detail

// ---- attachments --------------------------------------------------------------------------------

void TVodirAdIO::SetAttachedVodirAd(TIEView* Value)
{
    Detach();
    UseOwnBitmap();
    if (!Value)
        return;
    view_ = Value;
    kind_ = kView;
    FreeNotification(Value);
    platform_->viewCallback = Value->AddBitmapChangeCallback(
        [this](rtl::TObject*, bool Destroying) { ViewBitmapChanged(Destroying); });
    FollowView();
}

void TVodirAdIO::FollowView()
{
    // The view's own library bitmap when it keeps one; else a bitmap of ours over its platform
    // bitmap. Either way the component never keeps a wrapper of a bitmap the view let go of.
    if (TIEBitmap* shown = view_->GetIEBitmap()) {
        ownBitmap_.reset();
        bitmap_ = shown;
        tbitmap_ = nullptr;
        return;
    }
    if (!ownBitmap_) {
        ownBitmap_ = std::make_unique<TIEBitmap>();
        bitmap_ = ownBitmap_.get();
    }
    tbitmap_ = view_->GetTBitmap();
    if (tbitmap_)
        bitmap_->EncapsulateTBitmap(tbitmap_, false);
    else
        bitmap_->FreeImage();
}

void TVodirAdIO::ViewBitmapChanged(bool Destroying)
{
    // A job may be filling or reading the bitmap that is going: it ends first.
    WaitThreads(true);
    if (Destroying) {
        // The view has already unlinked the callback.
        platform_->viewCallback = kIENoCallback;
        Detach();
        UseOwnBitmap();
        return;
    }
    FollowView();
}

void TVodirAdIO::SetAttachedTBitmap(win::TBitmap* Value)
{
    if (!Value && (kind_ == kView || kind_ == kTImage))
        return;
    Detach();
    UseOwnBitmap();
    if (!Value)
        return;
    tbitmap_ = Value;
    bitmap_->EncapsulateTBitmap(Value, false);
    kind_ = kTBitmap;
}

void TVodirAdIO::SetAttachedTImage(win::TImage* Value)
{
    Detach();
    UseOwnBitmap();
    if (!Value)
        return;
    image_ = Value;
    FreeNotification(Value);
    tbitmap_ = Value->Picture()->Bitmap();
    bitmap_->EncapsulateTBitmap(tbitmap_, false);
    kind_ = kTImage;
}

rtl::TComponent* TVodirAdIO::PublishedView() const { return view_; }

void TVodirAdIO::SetPublishedView(rtl::TComponent* Value)
{
    auto* view = dynamic_cast<TIEView*>(Value);
    if (Value && !view)
        throw rtl::EPropertyError("Invalid property value");
    SetAttachedVodirAd(view);
}

rtl::TComponent* TVodirAdIO::PublishedImage() const { return image_; }

void TVodirAdIO::SetPublishedImage(rtl::TComponent* Value)
{
    auto* image = dynamic_cast<win::TImage*>(Value);
    if (Value && !image)
        throw rtl::EPropertyError("Invalid property value");
    SetAttachedTImage(image);
}

rtl::TPersistent* TVodirAdIO::PublishedPreviewFont() { return PreviewFont(); }

bool TVodirAdIO::PreviewFontStored() const { return platform_->previewFont != nullptr; }

void TVodirAdIO::SetPublishedPreviewFont(rtl::TPersistent* Value)
{
    auto* font = dynamic_cast<win::TFont*>(Value);
    if (Value && !font)
        throw rtl::EPropertyError("Invalid property value");
    if (font)
        SetPreviewFont(font);
}

TIEDirectShow* TVodirAdIO::GetDirectShow()
{
    std::unique_ptr<TIEDirectShow>& ds = platform_->directShow;
    if (!ds)
        ds = std::make_unique<TIEDirectShow>();
    if (view_ && view_->HandleAllocated())
        ds->SetNotifyWindow(view_->Handle(), kIEMsgDShowNewFrame, kIEMsgDShowEvent);
    return ds.get();
}

TIEDirectShow* TVodirAdIO::DirectShowIfMade() const { return platform_->directShow.get(); }

void TVodirAdIO::PlatformDetach()
{
    if (image_)
        RemoveFreeNotification(image_);
    if (view_) {
        view_->RemoveBitmapChangeCallback(platform_->viewCallback);
        RemoveFreeNotification(view_);
    }
    platform_->viewCallback = kIENoCallback;
}

void TVodirAdIO::PlatformRewrap()
{
    if (tbitmap_)
        bitmap_->EncapsulateTBitmap(tbitmap_, false);
}

bool TVodirAdIO::PlatformHasTBitmap() const { return tbitmap_ != nullptr; }

void TVodirAdIO::PlatformEndWork()
{
    if (tbitmap_) {
        bitmap_->RemoveAlphaChannel();
        // The owner of the platform bitmap (an image control, a picture) repaints on the change.
        tbitmap_->SetModified(true);
    }
    if (view_) {
        view_->Update();
        view_->ImageChange();
    }
}

void TVodirAdIO::PlatformViewDpi(int DpiX, int DpiY)
{
    if (view_)
        view_->SetDpi(DpiX, DpiY);
}

// ---- parameters dialog --------------------------------------------------------------------------

win::TFont* TVodirAdIO::PreviewFont()
{
    if (!platform_->previewFont)
        platform_->previewFont = std::make_unique<win::TFont>();
    return platform_->previewFont.get();
}

void TVodirAdIO::SetPreviewFont(win::TFont* Value) { PreviewFont()->Assign(Value); }

bool TVodirAdIO::DoPreviews(std::uint16_t Pages)
{
    bool handled = false;
    OnDoPreviews(this, handled);
    if (handled)
        return true;
    if (!bitmap_ || (IOPreviewsPages(Pages, params_->FileType) & ~ppCurrent) == 0)
        return false;
    // A job still filling the working bitmap ends first.
    WaitThreads(false);
    struct TFormDeleter {
        void operator()(TfIOPreviews* Form) const
        {
            Form->DoDestroy();
            delete Form;
        }
    };
    std::unique_ptr<TfIOPreviews, TFormDeleter> form(
        win::TCustomForm::CreateFromResource<TfIOPreviews>(this));
    form->DefaultLockPreview = PreviewsParams.Contains(ioppDefaultLockPreview);
    form->Button4->SetVisible(PreviewsParams.Contains(ioppApplyButton));
    form->Params = params_.get();
    form->SimplifiedParamsDialogs = SimplifiedParamsDialogs;
    if (SimplifiedParamsDialogs) {
        const int ppi = win::Screen ? win::Screen->PixelsPerInch() : 96;
        form->PageControl1->SetHeight(int(ppi * 1.2708333));
        form->SetHeight(int(ppi * 3.75));
    }
    form->MonoThreshold = monoThreshold_;
    form->SetLanguage(MsgLanguage);
    if (platform_->previewFont)
        form->Font()->Assign(platform_->previewFont.get());
    // The dialog works on a copy: whatever the user does there, the image stays as it is.
    form->SetSourceImage(*bitmap_);
    form->SetPreviewParams(Pages);
    OnIOPreview(this, form.get());
    return form->ShowModal() == win::mrOk;
}

// ---- metafiles ----------------------------------------------------------------------------------

namespace {

constexpr int kMaxMetafileSide = 16000;
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::uint16_t kMetaSetWindowExt = 0x020C;

// The extent a plain Windows metafile gives its picture: its first SetWindowExt record, in its own
// logical units (pixels, for the programs that write such files). False without one. Every
// record's size is checked against the bytes.
bool WmfWindowExtent(const std::vector<char>& bytes, std::size_t start, int& width, int& height)
{
    auto u16 = [&](std::size_t at) {
        std::uint16_t v;
        std::memcpy(&v, bytes.data() + at, 2);
        return v;
    };
    if (bytes.size() < start + 18)
        return false;
    std::size_t at = start + std::size_t(u16(start + 2)) * 2;  // the header's size in words
    while (at + 6 <= bytes.size()) {
        std::uint32_t words;
        std::memcpy(&words, bytes.data() + at, 4);
        const std::uint16_t function = u16(at + 4);
        if (words < 3 || words > (bytes.size() - at) / 2 || function == 0)
            return false;
        if (function == kMetaSetWindowExt && words >= 5) {
            // The parameters come last first: the height, then the width.
            height = std::abs(int(std::int16_t(u16(at + 6))));
            width = std::abs(int(std::int16_t(u16(at + 8))));
            return width > 0 && height > 0;
        }
        at += std::size_t(words) * 2;
    }
    return false;
}

// An enhanced metafile from either kind of file: EMF as it is, WMF (placeable or not) converted
// by GDI. Null when GDI cannot read it.
HENHMETAFILE OpenMetafile(const std::string& fileName, bool& enhanced, int& width, int& height)
{
    std::ifstream in(fileName, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof())
        return nullptr;
    width = height = 0;
    enhanced = bytes.size() >= 44 && std::memcmp(bytes.data() + 40, " EMF", 4) == 0;
    HENHMETAFILE emf = nullptr;
    if (enhanced) {
        emf = SetEnhMetaFileBits(UINT(bytes.size()), reinterpret_cast<const BYTE*>(bytes.data()));
    } else {
        std::size_t skip = 0;
        METAFILEPICT pict{MM_ANISOTROPIC, 0, 0, nullptr};
        if (bytes.size() >= 22) {
            std::uint32_t key;
            std::memcpy(&key, bytes.data(), 4);
            if (key == kPlaceableKey) {
                // The placeable header gives the picture's size in its own units per inch.
                std::int16_t box[4];
                std::uint16_t inch;
                std::memcpy(box, bytes.data() + 6, 8);
                std::memcpy(&inch, bytes.data() + 14, 2);
                if (inch) {
                    const HDC screen = GetDC(nullptr);
                    const int ppiX = GetDeviceCaps(screen, LOGPIXELSX);
                    const int ppiY = GetDeviceCaps(screen, LOGPIXELSY);
                    ReleaseDC(nullptr, screen);
                    width = MulDiv(std::abs(box[2] - box[0]), ppiX, inch);
                    height = MulDiv(std::abs(box[3] - box[1]), ppiY, inch);
                    pict.xExt = MulDiv(std::abs(box[2] - box[0]), 2540, inch);
                    pict.yExt = MulDiv(std::abs(box[3] - box[1]), 2540, inch);
                }
                skip = 22;
            }
        }
        if (skip == 0 && WmfWindowExtent(bytes, 0, width, height)) {
            // A plain metafile has no size of its own but the extent it draws in; laid out on the
            // screen at that many pixels.
            const HDC screen = GetDC(nullptr);
            pict.xExt = MulDiv(width, 2540, GetDeviceCaps(screen, LOGPIXELSX));
            pict.yExt = MulDiv(height, 2540, GetDeviceCaps(screen, LOGPIXELSY));
            ReleaseDC(nullptr, screen);
        }
        if (bytes.size() > skip)
            emf = SetWinMetaFileBits(UINT(bytes.size() - skip),
                                     reinterpret_cast<const BYTE*>(bytes.data() + skip), nullptr,
                                     pict.xExt ? &pict : nullptr);
    }
    if (emf && (width == 0 || height == 0)) {
        ENHMETAHEADER header{};
        GetEnhMetaFileHeader(emf, sizeof header, &header);
        // The frame is in hundredths of a millimetre; the device it was made for gives the scale.
        const double mmX =
            header.szlMillimeters.cx ? double(header.szlDevice.cx) / header.szlMillimeters.cx : 0;
        const double mmY =
            header.szlMillimeters.cy ? double(header.szlDevice.cy) / header.szlMillimeters.cy : 0;
        width = int((header.rclFrame.right - header.rclFrame.left) * mmX / 100.0 + 0.5);
        height = int((header.rclFrame.bottom - header.rclFrame.top) * mmY / 100.0 + 0.5);
    }
    return emf;
}

// Draws the metafile on a 24-bit section of the size, over the colour.
void Render(HENHMETAFILE emf, int width, int height, COLORREF fill, TIEDibbitmap& dib)
{
    dib.AllocateBits(width, height, 24);
    const HDC dc = static_cast<HDC>(dib.DC());
    const RECT all{0, 0, width, height};
    const HBRUSH brush = CreateSolidBrush(fill);
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    PlayEnhMetaFile(dc, emf, &all);
    GdiFlush();
}

}  // namespace

void TVodirAdIO::LoadMetafile(const std::string& FileName, int Width, int Height, bool WithAlpha)
{
    if (Width == 0 || Height == 0)
        return;
    auto job = std::make_unique<TJob>();
    job->fileName = FileName;
    job->viewDpi = true;
    const TColor background = Background();
    job->body = [this, FileName, Width, Height, WithAlpha, background](TJob& job, TProgressRecord&) {
        bool enhanced = false;
        int w = 0, h = 0;
        const HENHMETAFILE emf = OpenMetafile(FileName, enhanced, w, h);
        if (!emf) {
            AbortFlag = true;
            job.handOver = false;
            return;
        }
        job.fileType = enhanced ? ioEMF : ioWMF;
        // Sizes in 64 bits: a metafile may claim anything.
        std::int64_t width = w, height = h;
        if (Width >= 0 && Height >= 0) {
            width = Width;
            height = Height;
        } else if (Width < 0 && Height >= 0) {
            width = h ? std::int64_t(w) * Height / h : 0;
            height = Height;
        } else if (Height < 0 && Width >= 0) {
            height = w ? std::int64_t(h) * Width / w : 0;
            width = Width;
        }
        if (width <= 0 || height <= 0) {
            // A picture without an extent has nothing to draw.
            DeleteEnhMetaFile(emf);
            AbortFlag = true;
            job.handOver = false;
            return;
        }
        if (width > kMaxMetafileSide || height > kMaxMetafileSide) {
            const std::int64_t larger = std::max(width, height);
            width = width * kMaxMetafileSide / larger;
            height = height * kMaxMetafileSide / larger;
            width = std::max<std::int64_t>(width, 1);
            height = std::max<std::int64_t>(height, 1);
        }
        TIEDibbitmap dib;
        Render(emf, int(width), int(height), COLORREF(background) & 0xFFFFFF, dib);
        job.bitmap->CopyFromTDibBitmap(&dib);
        if (WithAlpha) {
            // Whatever the metafile leaves of a colour it is unlikely to use is transparent.
            Render(emf, int(width), int(height), RGB(3, 2, 1), dib);
            auto alpha = TIEBitmap::CreateAlpha(int(width), int(height), ieMemory);
            for (int y = 0; y < int(height); ++y) {
                const std::uint8_t* px = dib.ScanLine(y);
                std::uint8_t* a = alpha->ScanLine(y);
                for (int x = 0; x < int(width); ++x, px += 3)
                    a[x] = (px[0] == 1 && px[1] == 2 && px[2] == 3) ? 0 : 255;
            }
            job.alpha = std::move(alpha);
        }
        DeleteEnhMetaFile(emf);
        TIOParamsVals& p = *job.params;
        p.BitsPerSample = 8;
        p.SamplesPerPixel = 3;
        p.Width = int(width);
        p.Height = int(height);
        p.SetDpiX(IEDefaultDpiX);
        p.SetDpiY(IEDefaultDpiY);
        p.FreeColorMap();
    };
    StartLoad(std::move(job));
}

// ---- AVI frames ---------------------------------------------------------------------------------

namespace {

std::once_flag gAviInit;

}  // namespace

int TVodirAdIO::OpenAVIReader(const std::string& FileName)
{
    CloseAVIReader();
    TIOParamsVals& p = Params();
    p.ImageCount = 0;
    p.FileName = FileName;
    p.FileType = ioUnknown;
    p.FrameDelay = 0;
    std::call_once(gAviInit, [] {
        AVIFileInit();
        std::atexit([] { AVIFileExit(); });
    });
    TIEIOPlatform& avi = *platform_;
    if (AVIFileOpenA(&avi.file, FileName.c_str(), OF_READ | OF_SHARE_DENY_WRITE, nullptr) != 0 ||
        AVIFileGetStream(avi.file, &avi.stream, streamtypeVIDEO, 0) != 0 ||
        AVIStreamInfoA(avi.stream, &avi.info, sizeof avi.info) != 0 ||
        !(avi.frames = AVIStreamGetFrameOpen(avi.stream, nullptr))) {
        avi.Close();
        AbortFlag = true;
        return 0;
    }
    p.ImageCount = int(avi.info.dwLength);
    return p.ImageCount;
}

void TVodirAdIO::LoadAVIFrame(int FrameIndex)
{
    TIEIOPlatform& avi = *platform_;
    if (!avi.frames || FrameIndex < 0 || DWORD(FrameIndex) >= avi.info.dwLength) {
        DoFinishWork();
        return;
    }
    auto job = std::make_unique<TJob>();
    job->fileName = Params().FileName;
    job->fileType = ioAVI;
    job->body = [this, FrameIndex](TJob& job, TProgressRecord&) {
        TIEIOPlatform& avi = *platform_;
        auto* header = static_cast<BITMAPINFOHEADER*>(AVIStreamGetFrame(avi.frames, FrameIndex));
        if (!header || header->biWidth <= 0 || header->biHeight == 0) {
            AbortFlag = true;
            job.handOver = false;
            return;
        }
        const int width = header->biWidth;
        const int height = std::abs(header->biHeight);
        TIOParamsVals& p = *job.params;
        p.ImageCount = int(avi.info.dwLength);
        // Without a rate or a scale there is no frame duration to give.
        p.FrameDelay = (avi.info.dwRate && avi.info.dwScale)
                           ? int(1000.0 * double(avi.info.dwScale) / double(avi.info.dwRate))
                           : 0;
        TIEDibbitmap dib;
        dib.AllocateBits(width, height, 24);
        const HDRAWDIB draw = DrawDibOpen();
        const BYTE* bits =
            reinterpret_cast<const BYTE*>(header) + header->biSize +
            (header->biBitCount <= 8 ? (header->biClrUsed ? header->biClrUsed : 1u << header->biBitCount)
                                     : (header->biCompression == BI_BITFIELDS ? 3 : 0)) *
                sizeof(RGBQUAD);
        const HDC dc = static_cast<HDC>(dib.DC());
        const BOOL drawn = DrawDibDraw(draw, dc, 0, 0, width, height, header, const_cast<BYTE*>(bits), 0, 0,
                                       width, height, 0);
        DrawDibClose(draw);
        if (!drawn) {
            // DrawDib refuses some frames it could only draw upside down (top-down rows); GDI
            // itself takes every uncompressed layout.
            StretchDIBits(dc, 0, 0, width, height, 0, 0, width, height, bits,
                          reinterpret_cast<const BITMAPINFO*>(header), DIB_RGB_COLORS, SRCCOPY);
        }
        GdiFlush();
        job.bitmap->CopyFromTDibBitmap(&dib);
        switch (header->biBitCount) {
        case 1: p.BitsPerSample = 1, p.SamplesPerPixel = 1; break;
        case 4: p.BitsPerSample = 4, p.SamplesPerPixel = 1; break;
        case 8: p.BitsPerSample = 8, p.SamplesPerPixel = 1; break;
        case 15: p.BitsPerSample = 5, p.SamplesPerPixel = 3; break;
        default: p.BitsPerSample = 8, p.SamplesPerPixel = 3; break;
        }
        p.Width = width;
        p.Height = height;
        p.SetDpiX(IEDefaultDpiX);
        p.SetDpiY(IEDefaultDpiY);
        p.FreeColorMap();
    };
    StartLoad(std::move(job));
}

void TVodirAdIO::CloseAVIReader()
{
    WaitThreads(false);
    platform_->Close();
}

void TVodirAdIO::PlatformCloseAVI() { platform_->Close(); }

}  // namespace imaging
