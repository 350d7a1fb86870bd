// The image view's window: properties, the settling of its geometry (zoom, origin, scroll bars),
// its components, layers, messages and the view unit's start-up.
#include "imaging/core/vodiradview_win32.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/vodiradproc.h"
#include "imaging/core/vodiradproc_component.h"
#include "imaging/core/vodiradproc_transition_win32.h"
#include "imaging/core/vodiradproc_win32.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/TypeInfo.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Forms.h"

#include <windowsx.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace imaging {

// ---- unit ----------------------------------------------------------------------------------------

namespace {

const TIEViewIOHooks* gHooks = nullptr;
unsigned gTextMemoFormat = 0;
unsigned gVectFormat = 0;

struct TScreenFacts {
    int bitsPerPixel = 24;
    int dpiX = 96, dpiY = 96;
    bool mmx = false;
};
TScreenFacts gScreen;

// The cursors by resource name, with the system cursor shown when the program carries none.
struct TViewCursor {
    const char* name;
    LPCSTR fallback;
};
const std::array<TViewCursor, 18> kCursors = {{
    {"ZOOMMENO", IDC_ARROW},
    {"ZOOMPIU", IDC_ARROW},
    {"CROCE", IDC_CROSS},
    {"GOMMA", IDC_ARROW},
    {"MANO", IDC_HAND},
    {"PENNA", IDC_CROSS},
    {"CROCE1", IDC_CROSS},
    {"CROCE3", IDC_CROSS},
    {"MOVE2", IDC_SIZEALL},
    {"MOVEY", IDC_SIZENS},
    {"MOVE1", IDC_SIZEALL},
    {"MOVEX", IDC_SIZEWE},
    {"MOVE", IDC_SIZEALL},
    {"CROCE3+", IDC_CROSS},
    {"CROCE3-", IDC_CROSS},
    {"CROCE2", IDC_CROSS},
    {"CROCE2+", IDC_CROSS},
    {"CROCE2-", IDC_CROSS},
}};

void LoadViewCursors()
{
    if (!win::Screen)
        return;
    HINSTANCE module = ::GetModuleHandleA(nullptr);
    for (std::size_t i = 0; i < kCursors.size(); ++i) {
        HCURSOR cursor = ::LoadCursorA(module, kCursors[i].name);
        if (!cursor)
            cursor = ::LoadCursorA(nullptr, kCursors[i].fallback);
        win::Screen->SetCursors(kIEFirstViewCursor + win::TCursor(i), cursor);
    }
}

// A plain 0x00BBGGRR: system colours resolved before any arithmetic on the channels.
TColor PlainColor(TColor c) { return TColor(win::ColorToRGB(c) & 0xFFFFFF); }

}  // namespace

void IESetViewIOHooks(const TIEViewIOHooks* Hooks) { gHooks = Hooks; }

void IEInitializeViewUnit()
{
    HDC dc = ::GetDC(nullptr);
    if (dc) {
        gScreen.bitsPerPixel = ::GetDeviceCaps(dc, BITSPIXEL) * ::GetDeviceCaps(dc, PLANES);
        gScreen.dpiX = ::GetDeviceCaps(dc, LOGPIXELSX);
        gScreen.dpiY = ::GetDeviceCaps(dc, LOGPIXELSY);
        ::ReleaseDC(nullptr, dc);
    }
    gScreen.mmx = CPUHasMMX();
    gTextMemoFormat = ::RegisterClipboardFormatA("VODIRAD TEXTMEMO");
    gVectFormat = ::RegisterClipboardFormatA("VODIRAD VECT");
    LoadViewCursors();
    rtl::RegisterClass(TVodirAdView::StaticClassInfo());
}

void IEFinalizeViewUnit() { gTextMemoFormat = gVectFormat = 0; }

unsigned IETextMemoClipboardFormat() { return gTextMemoFormat; }
unsigned IEVectClipboardFormat() { return gVectFormat; }

int IEScreenBitsPerPixel() { return gScreen.bitsPerPixel; }

// ---- class ---------------------------------------------------------------------------------------

void TVodirAdView::Publish(Table& t)
{
    t.Property(RTL_GET_SET(LegacyBitmap)).Default(true);
    t.Property(RTL_GET_SET(DoubleBuffer)).Default(true);
    t.Property(RTL_GET_SET(ZoomFilter)).Default(rfNone);
    t.Property(RTL_GET_SET(ScrollBars)).Default(win::ssBoth);
    t.Event(RTL_MEMBER(OnViewChange));
    t.Event(RTL_MEMBER(OnImageChange));
    t.Property(RTL_GET_SET(SelectionOptions)).Default(kIEDefaultSelectionOptions);
    t.Property(RTL_GET_SET(Center)).Default(true);
    t.Property(RTL_GET_SET(MouseInteract)).Default(TIEMouseInteract{});
    t.Property(RTL_GET_SET(AutoFit)).Default(false);
    t.Property(RTL_GET_SET(SelectionBase)).Default(iesbClientArea);
    t.Property(RTL_GET_SET(BackgroundStyle)).Default(iebsSolid);
    t.Event(RTL_MEMBER(OnSelectionChange));
    t.Event(RTL_MEMBER(OnSelectionChanging));
    t.Event(RTL_MEMBER(OnMouseInSel));
    t.Property(RTL_GET_SET(DelayZoomFilter)).Default(false);
    t.Event(RTL_MEMBER(OnPaint));
    t.Property(RTL_GET_SET(EnableAlphaChannel)).Default(false);
    t.Event(RTL_MEMBER(OnMouseInResizingGrip));
    t.Event(RTL_MEMBER(OnZoomIn));
    t.Event(RTL_MEMBER(OnZoomOut));
    t.Property(RTL_GET_SET(OnProgress));
    t.Property(RTL_GET_SET(AutoStretch)).Default(false);
    t.Property(RTL_GET_SET(AutoShrink)).Default(false);
    t.Event(RTL_MEMBER(OnBeforeSelectionChange));
    t.Property(RTL_GET_SET(DrawVersion)).Default(false);
    t.Event(RTL_MEMBER(OnDrawBackBuffer));
    t.Event(RTL_MEMBER(OnLayerNotify));
    t.Property(RTL_GET_SET(DrawCaption)).Default(false);
    t.Property(RTL_GET_SET(CaptionFont));
    t.Property(RTL_GET_SET(CaptionColor)).Type(win::ColorTypeInfo()).Default(win::clNone);
    t.Event(RTL_MEMBER(OnDShowNewFrame));
    t.Event(RTL_MEMBER(OnDShowEvent));
    t.Property(RTL_GET_SET(TabStop)).Default(false);
    t.Property(RTL_GET_SET(Cursor)).Type(win::CursorTypeInfo()).Default(kIEViewCursor);
    t.Creatable();
}

TVodirAdView::TVodirAdView(rtl::TComponent* AOwner)
    : TIEView(AOwner), captionFont_(std::make_unique<win::TFont>())
{
    controlStyle_.Exclude(win::csSetCaption);
    SetCaption("Image=%iw%x%ih% Client=%cw%x%ch%");
    // Layer 0 holds the image, in a platform bitmap while LegacyBitmap is on.
    auto image = std::make_unique<TIEBitmap>();
    image->SetLocation(ieTBitmap);
    layers_.push_back(std::make_unique<TIELayer>(std::move(image)));
    layers_[0]->VisibleBox = false;
    layers_[0]->Locked = true;
    renderCaches_.resize(1);
    bitmap_ = layers_[0]->Bitmap();
    viewport_.SetZoom(100);
    SetBounds(Left(), Top(), 105, 105);
    SetCursor(kIEViewCursor);
    int dpiX = 300, dpiY = 300;
    if (gHooks && gHooks->DefaultDpi)
        gHooks->DefaultDpi(dpiX, dpiY);
    SetDpi(dpiX, dpiY);
    timer_ = std::make_unique<win::TTimer>(nullptr);
    timer_->SetEnabled(false);
    timer_->SetInterval(210);
    timer_->OnTimer = [this](rtl::TObject*) { TimerTick(); };
    scrollTimer_ = std::make_unique<win::TTimer>(nullptr);
    scrollTimer_->SetEnabled(false);
    scrollTimer_->SetInterval(40);
    scrollTimer_->OnTimer = [this](rtl::TObject*) { AutoScrollStep(); };
    backBuffer_ = std::make_unique<win::TBitmap>();
    backBuffer_->SetPixelFormat(win::pf24bit);
    transition_ = std::make_unique<TIETransitionEffects>(this);
    mask_.AllocateBits(0, 0, 1);
    captionFont_->SetSize(11);
    captionFont_->SetStyle({win::fsBold});
    captionFont_->SetColor(win::clYellow);
    constructing_ = false;
}

TVodirAdView::~TVodirAdView()
{
    // Followers let go while the layers still exist; the I/O component waits for its job first.
    NotifyDestroying();
    transition_.reset();
    timer_.reset();
    scrollTimer_.reset();
    if (drawDib_)
        DrawDibCloseWrap(drawDib_);
}

void TVodirAdView::CreateParams(win::TCreateParams& params)
{
    TIEView::CreateParams(params);
    params.Style |= WS_HSCROLL | WS_VSCROLL | WS_TABSTOP;
}

void TVodirAdView::Loaded()
{
    TIEView::Loaded();
    Update();
}

bool TVodirAdView::CanDraw()
{
    return HandleAllocated() && !ComponentState().Contains(rtl::csDestroying) && Width() > 0 && Height() > 0;
}

void TVodirAdView::Notification(rtl::TComponent* AComponent, rtl::TOperation Operation)
{
    TIEView::Notification(AComponent, Operation);
    if (Operation != rtl::opRemove)
        return;
    if (io_ && gHooks && gHooks->AsComponent && gHooks->AsComponent(io_) == AComponent)
        io_ = nullptr;
    if (proc_ && AComponent == proc_)
        proc_ = nullptr;
}

// ---- the image ----------------------------------------------------------------------------------

win::TBitmap* TVodirAdView::GetTBitmap()
{
    if (!legacyBitmap_ || bitmap_->Location() != ieTBitmap)
        return nullptr;
    TIEPlatformBitmap* platform = bitmap_->GetVclBitmap();
    return platform ? platform->GuiBitmap() : nullptr;
}

TIEBitmap* TVodirAdView::GetAlphaChannel() { return bitmap_->GetAlphaChannel(); }
bool TVodirAdView::HasAlphaChannel() { return bitmap_->HasAlphaChannel(); }

void TVodirAdView::RemoveAlphaChannel(bool Merge)
{
    if (Merge && bitmap_->HasAlphaChannel() && bitmap_->GetPixelFormat() == ie24RGB) {
        TRGB bg;
        TColorToRGB(PlainColor(Background()), bg);
        TIEBitmap* alpha = bitmap_->GetAlphaChannel();
        const int w = bitmap_->GetWidth(), h = bitmap_->GetHeight();
        // Checked before any row changes: a channel that does not cover the image leaves both as they are.
        if (alpha->GetWidth() != w || alpha->GetHeight() != h || alpha->GetPixelFormat() != ie8g)
            throw rtl::EInvalidArgument("alpha channel of " + std::to_string(alpha->GetWidth()) + "x" +
                                        std::to_string(alpha->GetHeight()) + " does not match the " +
                                        std::to_string(w) + "x" + std::to_string(h) + " image");
        std::vector<std::uint8_t> a(static_cast<std::size_t>(w));
        for (int y = 0; y < h; ++y) {
            std::copy_n(alpha->ScanLine(y), w, a.begin());
            std::uint8_t* row = bitmap_->ScanLine(y);
            const std::uint8_t b[3] = {bg.b, bg.g, bg.r};
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) {
                    // Arithmetic shift: the difference may be negative.
                    const int d = (row[3 * x + c] - b[c]) * a[std::size_t(x)] * 1024;
                    row[3 * x + c] = std::uint8_t(b[c] + (d >> 18));
                }
        }
    }
    bitmap_->RemoveAlphaChannel();
    backBufferDirty_ = true;
    Update();
}

void TVodirAdView::SetBackground(TColor Value)
{
    TIEView::SetBackground(Value);
    if (ComponentState().Contains(rtl::csDesigning)) {
        bitmap_->RemoveAlphaChannel();
        bitmap_->Fill(PlainColor(Value));
    }
    backBufferDirty_ = true;
    Update();
    ImageChange();
}

void TVodirAdView::ImageChange()
{
    TIEView::ImageChange();
    backBufferDirty_ = true;
    OnImageChange(this);
}

void TVodirAdView::UnlockUpdate()
{
    if (updateLock_ > 0)
        --updateLock_;
    if (updateLock_ == 0)
        Update();
}

void TVodirAdView::UnlockUpdateNoRefresh()
{
    if (updateLock_ > 0)
        --updateLock_;
}

void TVodirAdView::SetLegacyBitmap(bool Value)
{
    if (Value == legacyBitmap_)
        return;
    legacyBitmap_ = Value;
    PlaceLegacyBitmap();
    CallBitmapChangeEvents();
    Update();
}

// Keeps the image where LegacyBitmap says: in a platform bitmap, unless its format has none (16-bit
// grey and float images would lose precision or fail there), or in the bitmap's own storage.
void TVodirAdView::PlaceLegacyBitmap()
{
    const TIEPixelFormat format = bitmap_->GetPixelFormat();
    const bool fits = format != ie16g && format != ie32f;
    if (legacyBitmap_ && fits) {
        // A picture the system cannot hold in a bitmap stays where it is (the move changes nothing
        // when it fails); it is not tried again for the same image.
        const std::pair<int, int> size{bitmap_->GetWidth(), bitmap_->GetHeight()};
        if (bitmap_->Location() != ieTBitmap && size != legacyRefused_) {
            try {
                bitmap_->SetLocation(ieTBitmap);
            } catch (const rtl::Exception&) {
                legacyRefused_ = size;
            }
        }
    } else if (bitmap_->Location() == ieTBitmap) {
        bitmap_->SetLocation(ieMemory);
    }
}

void TVodirAdView::Assign(rtl::TPersistent* Source)
{
    if (!Source) {
        bitmap_->RemoveAlphaChannel();
        bitmap_->Fill(PlainColor(Background()));
    } else if (auto* other = dynamic_cast<TVodirAdView*>(Source)) {
        if (other != this) {
            bitmap_->Assign(other->GetIEBitmap());
            TIEView::SetBackground(other->Background());
            SetDpi(other->DpiX(), other->DpiY());
        }
    } else if (auto* graphic = dynamic_cast<win::TGraphic*>(Source)) {
        win::TBitmap* bmp = dynamic_cast<win::TBitmap*>(graphic);
        std::unique_ptr<win::TBitmap> drawn;
        if (!bmp) {
            // Other pictures are drawn at their own size first.
            drawn = std::make_unique<win::TBitmap>();
            drawn->SetPixelFormat(win::pf24bit);
            drawn->SetSize(graphic->Width(), graphic->Height());
            drawn->Canvas()->Draw(0, 0, graphic);
            bmp = drawn.get();
        }
        bitmap_->Assign(bmp);
    } else if (auto* picture = dynamic_cast<win::TPicture*>(Source)) {
        if (picture->Graphic()) {
            Assign(picture->Graphic());
            return;
        }
        bitmap_->FreeImage();
    } else {
        TIEView::Assign(Source);
        return;
    }
    if (Source && bitmap_->GetPixelFormat() != ie1g && bitmap_->GetPixelFormat() != ie24RGB &&
        !dynamic_cast<TVodirAdView*>(Source))
        bitmap_->SetPixelFormat(ie24RGB);
    backBufferDirty_ = true;
    Update();
    ImageChange();
}

// ---- geometry ---------------------------------------------------------------------------------------

int TVodirAdView::ClientWidthForImage() { return HandleAllocated() ? ClientWidth() : Width(); }
int TVodirAdView::ClientHeightForImage() { return HandleAllocated() ? ClientHeight() : Height(); }

void TVodirAdView::SetBounds(int left, int top, int width, int height)
{
    TIEView::SetBounds(left, top, width, height);
    const rtl::TComponentState state = ComponentState();
    if (!constructing_ && (state.Contains(rtl::csLoading) || state.Contains(rtl::csReading) ||
                           state.Contains(rtl::csDesigning))) {
        // A view read from a description starts with a picture of its own size in its background.
        bitmap_->Allocate(std::max(width, 0), std::max(height, 0), ie24RGB);
        bitmap_->Fill(PlainColor(Background()));
    }
}

// A running transition goes on (its lock keeps the window as it is); only a resize stops it.
void TVodirAdView::Update() { UpdateGeometry(0); }

// ---- transitions -----------------------------------------------------------------------------------

bool TVodirAdView::TransitionRunning() const { return transition_ && transition_->Running(); }

void TVodirAdView::StopTransition()
{
    if (transition_)
        transition_->Stop();
}

void TVodirAdView::RealizePaletteIn(HWND Window)
{
    if (HDC dc = ::GetDC(Window)) {
        DrawDibRealizeWrap(DrawDib(), dc, false);
        ::ReleaseDC(Window, dc);
    }
}

void TVodirAdView::PrepareTransition()
{
    if (!transitionStart_)
        transitionStart_ = std::make_unique<win::TBitmap>();
    transitionStart_->Assign(BackBuffer());
}

bool TVodirAdView::RunTransition(int Effect, int Duration, bool UpdateOnStop)
{
    if (!IEIsTransition(Effect) || !HandleAllocated())
        return false;
    if (TransitionRunning())
        StopTransition();
    Update();
    return transition_->Start(transitionStart_.get(), BackBuffer(), Effect, Duration, UpdateOnStop);
}

void TVodirAdView::UpdateGeometry(int depth)
{
    if (constructing_)
        return;
    if (loadEnded_) {
        loadEnded_ = false;
        ApplyPendingRotation();
    }
    const rtl::TComponentState state = ComponentState();
    const bool designing = state.Contains(rtl::csDesigning);
    if (designing && !CanDraw())
        return;
    if (!(state - rtl::TComponentState{rtl::csDesigning, rtl::csFreeNotification}).Empty())
        return;
    SyncLayerSizes();
    PlaceLegacyBitmap();
    viewport_.SetImageSize(bitmap_->GetWidth(), bitmap_->GetHeight());
    viewport_.SetClientSize(ClientWidthForImage(), ClientHeightForImage());
    viewport_.SetControlSize(Width(), Height());
    if ((autoFit_ || autoStretch_ || autoShrink_) && bitmap_->GetWidth() > 0 && bitmap_->GetHeight() > 0)
        ApplyAutoZoom();
    SyncImageSize();
    if (!designing) {
        if (viewport_.ClampOrigin())
            DoViewChange(0);
        // A bar shown or hidden changes the client: settle again, a few times at most, so sizes
        // that keep toggling a bar cannot recurse without end.
        if (UpdateScrollBars() && depth < 3) {
            UpdateGeometry(depth + 1);
            return;
        }
    }
    backBufferDirty_ = true;
    fullRepaint_ = true;
    if (updateLock_ == 0 && HandleAllocated())
        Invalidate();
}

void TVodirAdView::BorderSize(int& W, int& H)
{
    W = H = 0;
    if (!HandleAllocated())
        return;
    RECT window, client;
    ::GetWindowRect(Handle(), &window);
    ::GetClientRect(Handle(), &client);
    const LONG style = ::GetWindowLongA(Handle(), GWL_STYLE);
    const int barW = (style & WS_VSCROLL) ? ::GetSystemMetrics(SM_CXVSCROLL) : 0;
    const int barH = (style & WS_HSCROLL) ? ::GetSystemMetrics(SM_CYHSCROLL) : 0;
    W = std::max<int>(0, (window.right - window.left) - client.right - barW);
    H = std::max<int>(0, (window.bottom - window.top) - client.bottom - barH);
}

void TVodirAdView::ApplyAutoZoom()
{
    TIEAutoZoomInput in;
    in.ImageWidth = bitmap_->GetWidth();
    in.ImageHeight = bitmap_->GetHeight();
    // The fit is taken inside the borders only, as if no scroll bar were shown: a fitted image
    // needs none, and a bar that came and went would otherwise change the zoom each time.
    int borderW = 0, borderH = 0;
    BorderSize(borderW, borderH);
    in.ControlWidth = Width();
    in.ControlHeight = Height();
    in.ClientWidth = Width() - borderW;
    in.ClientHeight = Height() - borderH;
    if (backgroundStyle_ == iebsCropped) {
        in.MarginX = ::GetSystemMetrics(SM_CXEDGE) + borderW / 2;
        in.MarginY = ::GetSystemMetrics(SM_CYEDGE) + borderH / 2;
    } else if (backgroundStyle_ == iebsCropShadow) {
        in.MarginX = 5 + borderW / 2;
        in.MarginY = 5 + borderH / 2;
    } else {
        in.MarginX = borderW / 2;
        in.MarginY = borderH / 2;
    }
    in.Fit = autoFit_;
    in.Stretch = autoStretch_;
    in.Shrink = autoShrink_;
    viewport_.SetZoom(IEAutoZoom(in));
    if (autoFit_) {
        viewport_.ViewX = 0;
        viewport_.ViewY = 0;
    }
    DoViewChange(1);
    CancelSuspensions();
}

void TVodirAdView::SyncImageSize()
{
    const int w = bitmap_->GetWidth(), h = bitmap_->GetHeight();
    if (w == lastImageW_ && h == lastImageH_)
        return;
    lastImageW_ = w;
    lastImageH_ = h;
    if (selected_ || points_.Count() > 0) {
        selected_ = false;
        points_.Clear();
    }
    DropSelectionGesture();
    mask_.AllocateBits(w, h, 1);
    if (bitmap_->HasAlphaChannel()) {
        TIEBitmap* alpha = bitmap_->GetAlphaChannel();
        if (alpha->GetWidth() != w || alpha->GetHeight() != h) {
            alpha->Allocate(w, h, ie8g);
            alpha->Fill(255);
            alpha->Full = true;
        }
    }
    renderCaches_.assign(layers_.size(), TIERenderCache());
}

bool TVodirAdView::UpdateScrollBars()
{
    if (!HandleAllocated())
        return false;
    HWND wnd = Handle();
    RECT before;
    ::GetClientRect(wnd, &before);
    int maxX, maxY;
    viewport_.MaxOrigin(maxX, maxY);
    struct TBar {
        int bar;
        bool wanted;
        int max;
        int client;
        int origin;
        double& unit;
    };
    TBar bars[2] = {
        {SB_HORZ, scrollBars_ == win::ssHorizontal || scrollBars_ == win::ssBoth, maxX,
         viewport_.ClientWidth(), viewport_.ViewX, hUnit_},
        {SB_VERT, scrollBars_ == win::ssVertical || scrollBars_ == win::ssBoth, maxY,
         viewport_.ClientHeight(), viewport_.ViewY, vUnit_},
    };
    for (TBar& b : bars) {
        if (!b.wanted || b.max == 0) {
            if (b.wanted && KeepScrollBarsVisible) {
                ::ShowScrollBar(wnd, b.bar, TRUE);
                ::EnableScrollBar(wnd, b.bar, ESB_DISABLE_BOTH);
            } else {
                ::ShowScrollBar(wnd, b.bar, FALSE);
            }
            continue;
        }
        b.unit = (b.client + b.max) / 65536.0;
        SCROLLINFO si{};
        si.cbSize = sizeof(si);
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        si.nMin = 0;
        si.nMax = 65535;
        si.nPage = UINT(std::trunc(b.client / b.unit));
        si.nPos = int(std::trunc(b.origin / b.unit));
        ::SetScrollInfo(wnd, b.bar, &si, FALSE);
        ::EnableScrollBar(wnd, b.bar, ESB_ENABLE_BOTH);
        ::ShowScrollBar(wnd, b.bar, TRUE);
    }
    RECT after;
    ::GetClientRect(wnd, &after);
    if (after.right == before.right && after.bottom == before.bottom)
        return false;
    viewport_.SetClientSize(ClientWidthForImage(), ClientHeightForImage());
    return true;
}

void TVodirAdView::ApplyPendingRotation()
{
    if (PendingRotation < 1 || PendingRotation > 3 || bitmap_->GetWidth() < 1)
        return;
    for (int turn = 0; turn < (PendingRotation == 2 ? 2 : 1); ++turn) {
        TIEBitmap turned;
        if (PendingRotation == 3)
            RotateIEBitmapLeft(bitmap_, &turned);
        else
            RotateIEBitmapRight(bitmap_, &turned);
        bitmap_->Assign(&turned);
    }
    backBufferDirty_ = true;
}

void TVodirAdView::SetZoom(double Value)
{
    if (!(Value > 0) || !std::isfinite(Value) || Value == viewport_.Zoom())
        return;
    StartSuspensions();
    const int cx = viewport_.ClientWidth() / 2, cy = viewport_.ClientHeight() / 2;
    const double px =
        std::nearbyint((double(viewport_.ViewX) + cx - viewport_.OffsetX()) * 100 / viewport_.Zoom());
    const double py =
        std::nearbyint((double(viewport_.ViewY) + cy - viewport_.OffsetY()) * 100 / viewport_.Zoom());
    viewport_.SetZoomKeepCenter(Value);
    Update();
    // Scroll bars that came or went moved the centre: put the same image point there again.
    if (viewport_.ClientWidth() / 2 != cx || viewport_.ClientHeight() / 2 != cy) {
        viewport_.ViewX = int(std::trunc(px * Value / 100 - viewport_.ClientWidth() / 2));
        viewport_.ViewY = int(std::trunc(py * Value / 100 - viewport_.ClientHeight() / 2));
        viewport_.ClampOrigin();
        Update();
    }
    DoViewChange(1);
}

void TVodirAdView::SetZoomAtPoint(double Value, int X, int Y)
{
    if (!(Value > 0) || !std::isfinite(Value) || Value == viewport_.Zoom())
        return;
    StartSuspensions();
    // The client may lose or gain scroll bars with the new zoom: settle once with the zoom, then
    // place the point in the settled client.
    const int px = viewport_.XScr2Bmp(X), py = viewport_.YScr2Bmp(Y);
    viewport_.SetZoom(Value);
    Update();
    viewport_.ViewX = int(std::trunc(px * Value / 100 - viewport_.ClientWidth() / 2));
    viewport_.ViewY = int(std::trunc(py * Value / 100 - viewport_.ClientHeight() / 2));
    viewport_.ClampOrigin();
    Update();
    DoViewChange(1);
}

void TVodirAdView::SetViewXY(int X, int Y)
{
    if (X == viewport_.ViewX && Y == viewport_.ViewY)
        return;
    const int oldX = viewport_.ViewX, oldY = viewport_.ViewY;
    viewport_.ViewX = X;
    viewport_.ViewY = Y;
    viewport_.ClampOrigin();
    if (viewport_.ViewX == oldX && viewport_.ViewY == oldY)
        return;
    StartSuspensions();
    backBufferDirty_ = true;
    fullRepaint_ = true;
    if (HandleAllocated() && updateLock_ == 0) {
        Invalidate();
        ::UpdateWindow(Handle());
    }
    DoViewChange(0);
    if (HandleAllocated()) {
        if (scrollBars_ == win::ssHorizontal || scrollBars_ == win::ssBoth)
            ::SetScrollPos(Handle(), SB_HORZ, int(std::trunc(viewport_.ViewX / hUnit_)), TRUE);
        if (scrollBars_ == win::ssVertical || scrollBars_ == win::ssBoth)
            ::SetScrollPos(Handle(), SB_VERT, int(std::trunc(viewport_.ViewY / vUnit_)), TRUE);
    }
}

void TVodirAdView::Fit()
{
    if (bitmap_->GetWidth() < 1 || bitmap_->GetHeight() < 1)
        return;
    // The room inside the borders, without the scroll bars a fitted image does not need.
    int borderW, borderH;
    BorderSize(borderW, borderH);
    const double zoom =
        IEFitZoom(bitmap_->GetWidth(), bitmap_->GetHeight(), Width() - borderW, Height() - borderH);
    if (zoom > 0)
        SetZoom(zoom);
}

void TVodirAdView::DoViewChange(int Change) { OnViewChange(this, Change); }

void TVodirAdView::StartSuspensions()
{
    if (delayZoomFilter_ && zoomFilter_ != rfNone && viewport_.Zoom() != 100)
        filterDelay_ = 4;
    outlineDelay_ = 2;
    RefreshTimer();
}

void TVodirAdView::CancelSuspensions()
{
    filterDelay_ = 0;
    outlineDelay_ = 0;
    RefreshTimer();
}

void TVodirAdView::RefreshTimer()
{
    if (!timer_)
        return;
    const bool animated = selectionOptions_.Contains(iesoAnimated) && (selected_ || points_.Count() > 0);
    const bool wanted =
        !ComponentState().Contains(rtl::csDesigning) && (animated || filterDelay_ > 0 || outlineDelay_ > 0);
    if (timer_->Enabled() != wanted)
        timer_->SetEnabled(wanted);
}

void TVodirAdView::TimerTick()
{
    if (filterDelay_ > 0 && --filterDelay_ == 0) {
        backBufferDirty_ = true;
        Update();
    }
    if (outlineDelay_ > 0)
        --outlineDelay_;
    if (selectionOptions_.Contains(iesoAnimated) && !IsSelecting() && !mouseDown_ && outlineDelay_ == 0 &&
        (selected_ || points_.Count() > 0)) {
        phase_ = (phase_ + 1) & 7;
        outlinePhase_ = (outlinePhase_ + 1) % 10;
        if (HandleAllocated() && updateLock_ == 0)
            DrawSelectionOutline(*Canvas());
    }
    RefreshTimer();
}

// ---- properties -----------------------------------------------------------------------------------

void TVodirAdView::SetDoubleBuffer(bool Value)
{
    doubleBuffer_ = Value;
    Update();
}

void TVodirAdView::SetZoomFilter(TResampleFilter Value)
{
    if (Value == zoomFilter_)
        return;
    zoomFilter_ = Value;
    backBufferDirty_ = true;
    Update();
}

void TVodirAdView::SetScrollBars(win::TScrollStyle Value)
{
    scrollBars_ = Value;
    if (HandleAllocated()) {
        if (Value != win::ssVertical && Value != win::ssBoth)
            ::ShowScrollBar(Handle(), SB_VERT, FALSE);
        if (Value != win::ssHorizontal && Value != win::ssBoth)
            ::ShowScrollBar(Handle(), SB_HORZ, FALSE);
    }
    Update();
}

void TVodirAdView::SetSelectionOptions(TIESelectionOptions Value)
{
    selectionOptions_ = Value;
    RefreshTimer();
    Update();
}

void TVodirAdView::SetCenter(bool Value)
{
    if (Value == viewport_.Center)
        return;
    viewport_.Center = Value;
    viewport_.SetZoom(viewport_.Zoom());  // recomputes the offsets
    Update();
}

void TVodirAdView::SetAutoFit(bool Value)
{
    autoFit_ = Value;
    Update();
}

void TVodirAdView::SetAutoStretch(bool Value)
{
    autoStretch_ = Value;
    Update();
}

void TVodirAdView::SetAutoShrink(bool Value)
{
    autoShrink_ = Value;
    Update();
}

void TVodirAdView::SetBackgroundStyle(TIEBackgroundStyle Value)
{
    backgroundStyle_ = Value;
    backBufferDirty_ = true;
    Update();
    if (HandleAllocated())
        Invalidate();
}

void TVodirAdView::SetEnableAlphaChannel(bool Value)
{
    enableAlpha_ = Value;
    backBufferDirty_ = true;
    Update();
}

void TVodirAdView::SetDrawVersion(bool Value)
{
    drawVersion_ = Value;
    Update();
}

void TVodirAdView::SetDrawCaption(bool Value)
{
    drawCaption_ = Value;
    Update();
}

void TVodirAdView::SetCaptionFont(win::TFont* Value)
{
    if (Value)
        captionFont_->Assign(Value);
    Update();
}

void TVodirAdView::SetCaptionColor(TColor Value)
{
    captionColor_ = Value;
    Update();
}

void TVodirAdView::SetOnProgress(TIEProgressNotifyEvent Value)
{
    onProgress_ = std::move(Value);
    if (io_ && gHooks && gHooks->SetOnProgress)
        gHooks->SetOnProgress(io_, onProgress_);
    if (proc_)
        proc_->OnProgress = onProgress_;
}

// ---- components -------------------------------------------------------------------------------------

TVodirAdIO* TVodirAdView::GetIO()
{
    if (io_)
        return io_;
    if (!gHooks || !gHooks->Create)
        throw rtl::Exception("the image view has no I/O component: the I/O library is not started");
    io_ = gHooks->Create(this);
    if (gHooks->AsComponent)
        gHooks->AsComponent(io_)->FreeNotification(this);
    if (gHooks->SetOnProgress)
        gHooks->SetOnProgress(io_, onProgress_);
    return io_;
}

TVodirAdProc* TVodirAdView::GetProc()
{
    if (proc_)
        return proc_;
    proc_ = new TVodirAdProc(this);
    proc_->FreeNotification(this);
    proc_->SetAttachedVodirAd(this);
    proc_->OnProgress = onProgress_;
    return proc_;
}

// ---- layers -----------------------------------------------------------------------------------------

TIELayer* TVodirAdView::Layers(int Index) const
{
    if (Index < 0 || Index >= LayersCount())
        return nullptr;
    return layers_[std::size_t(Index)].get();
}

void TVodirAdView::SetBitmapFromLayer() { bitmap_ = layers_[std::size_t(currentLayer_)]->Bitmap(); }

int TVodirAdView::IndexOfLayer(const TIELayer* Layer) const
{
    for (std::size_t i = 0; i < layers_.size(); ++i)
        if (layers_[i].get() == Layer)
            return int(i);
    return -1;
}

void TVodirAdView::SetLayersCurrent(int Index)
{
    if (Index < 0 || Index >= LayersCount())
        return;
    // Each layer owns its bitmap; the view only points at the current one, so switching moves no
    // ownership and nothing can be freed twice.
    currentLayer_ = Index;
    SetBitmapFromLayer();
    lastImageW_ = lastImageH_ = -1;
    CallBitmapChangeEvents();
    Update();
}

int TVodirAdView::LayersAdd(TIEBitmap* Bitmap)
{
    std::unique_ptr<TIELayer> layer =
        Bitmap ? TIELayer::CopyOf(*Bitmap) : std::make_unique<TIELayer>(std::unique_ptr<TIEBitmap>());
    layers_.push_back(std::move(layer));
    renderCaches_.emplace_back();
    SetLayersCurrent(LayersCount() - 1);
    return LayersCount() - 1;
}

void TVodirAdView::LayersRemove(int Index)
{
    if (Index < 1 || Index >= LayersCount())
        return;
    const bool wasCurrent = Index == currentLayer_;
    if (draggedLayer_ == layers_[std::size_t(Index)].get()) {
        draggedLayer_ = nullptr;
        layerGrip_ = ieNone;
    }
    // The current layer keeps its place in the list (the one below takes over when it goes); the
    // view points at its bitmap again once the list has closed up.
    if (currentLayer_ >= Index)
        currentLayer_ = std::max(currentLayer_ - 1, 0);
    layers_.erase(layers_.begin() + Index);
    renderCaches_.erase(renderCaches_.begin() + Index);
    SetBitmapFromLayer();
    if (wasCurrent)
        CallBitmapChangeEvents();
    lastImageW_ = lastImageH_ = -1;
    Update();
}

int TVodirAdView::FindLayerAt(int X, int Y) const
{
    for (int i = LayersCount() - 1; i >= 0; --i) {
        const TIELayer& l = *layers_[std::size_t(i)];
        const TIERect& r = l.ClientAreaBox;
        if (l.Visible && X >= r.Left && X < r.Right && Y >= r.Top && Y < r.Bottom)
            return i;
    }
    return -1;
}

void TVodirAdView::DoLayerNotify(int Layer, TIELayerEvent Event) { OnLayerNotify(this, Layer, Event); }

// ---- messages -----------------------------------------------------------------------------------------

void TVodirAdView::DShowMessage(win::TMessage& message, rtl::TNotifyEvent& event)
{
    // Only this view's own wrapper with a graph counts; the posted pointer is compared, not followed.
    if (io_ && gHooks && gHooks->IsLiveDirectShow &&
        gHooks->IsLiveDirectShow(io_, reinterpret_cast<const void*>(message.LParam)))
        event(this);
    message.Result = 0;
}

void TVodirAdView::ScrollMessage(int bar, int code)
{
    const bool horizontal = bar == SB_HORZ;
    const int client = horizontal ? viewport_.ClientWidth() : viewport_.ClientHeight();
    const int line = ScrollBarParams.LineStep > 0 ? ScrollBarParams.LineStep : std::max(1, client / 20);
    const int page = ScrollBarParams.PageStep > 0 ? ScrollBarParams.PageStep : std::max(1, client);
    int origin = horizontal ? viewport_.ViewX : viewport_.ViewY;
    int maxX, maxY;
    viewport_.MaxOrigin(maxX, maxY);
    switch (code) {
    case SB_LINEUP: origin -= line; break;
    case SB_LINEDOWN: origin += line; break;
    case SB_PAGEUP: origin -= page; break;
    case SB_PAGEDOWN: origin += page; break;
    case SB_TOP: origin = 0; break;
    case SB_BOTTOM: origin = horizontal ? maxX : maxY; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        if (code == SB_THUMBTRACK && !ScrollBarParams.Tracking)
            return;
        SCROLLINFO si{};
        si.cbSize = sizeof(si);
        si.fMask = SIF_TRACKPOS;
        ::GetScrollInfo(Handle(), bar, &si);
        origin = int(std::trunc(si.nTrackPos * (horizontal ? hUnit_ : vUnit_)));
        break;
    }
    default: return;
    }
    if (horizontal)
        SetViewXY(origin, viewport_.ViewY);
    else
        SetViewXY(viewport_.ViewX, origin);
}

void TVodirAdView::WndProc(win::TMessage& m)
{
    switch (m.Msg) {
    case WM_ERASEBKGND: m.Result = 1; return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        TIEView::WndProc(m);
        if (HandleAllocated())
            ::InvalidateRect(Handle(), nullptr, FALSE);
        return;
    case WM_PALETTECHANGED:
    case WM_QUERYNEWPALETTE:
        // The DrawDib palette follows the system's in the main form first; the repaint then draws
        // with it.
        if (HandleAllocated()) {
            win::TCustomForm* main = win::Application ? win::Application->MainForm() : nullptr;
            HWND target = main && main->HandleAllocated() ? main->Handle() : Handle();
            // A change our own realising caused needs no second one.
            const HWND cause = reinterpret_cast<HWND>(m.WParam);
            if (m.Msg == WM_QUERYNEWPALETTE || (cause != target && cause != Handle()))
                RealizePaletteIn(target);
            ::InvalidateRect(Handle(), nullptr, FALSE);
        }
        break;
    case kIEMsgLoadEnded:
        Beep();
        Update();
        m.Result = 0;
        return;
    case kIEMsgDShowNewFrame: DShowMessage(m, OnDShowNewFrame); return;
    case kIEMsgDShowEvent: DShowMessage(m, OnDShowEvent); return;
    case WM_SIZE:
        TIEView::WndProc(m);
        if (TransitionRunning())
            StopTransition();
        Update();
        return;
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (m.LParam == 0) {
            ScrollMessage(m.Msg == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(m.WParam));
            m.Result = 0;
            return;
        }
        break;
    case WM_MOUSEWHEEL: {
        POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
        ::ScreenToClient(Handle(), &p);
        MouseWheel(GET_WHEEL_DELTA_WPARAM(m.WParam), win::KeysToShiftState(GET_KEYSTATE_WPARAM(m.WParam)),
                   p.x, p.y);
        m.Result = 0;
        return;
    }
    case WM_GETDLGCODE: m.Result = DLGC_WANTARROWS; return;
    case win::CM_CURSORCHANGED:
        // A new cursor shows at once, not at the next mouse move.
        TIEView::WndProc(m);
        ShowCursorNow();
        return;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(m.WParam) == Handle() && LOWORD(m.LParam) == HTCLIENT && win::Screen) {
            ShowCursorNow();
            m.Result = TRUE;
            return;
        }
        break;
    case WM_CANCELMODE:
    case WM_CAPTURECHANGED:
        // Our own release lets go of the capture control before the capture; any other change
        // while the view holds it (another window taking it, a release elsewhere) ends the gesture.
        if (m.Msg == WM_CANCELMODE ||
            (win::GetCaptureControl() == this && reinterpret_cast<HWND>(m.LParam) != Handle()))
            CancelGesture();
        break;
    default: break;
    }
    TIEView::WndProc(m);
}

win::TCursor TVodirAdView::CurrentCursor() const
{
    if (gestureCursor_ != win::crDefault)
        return gestureCursor_;
    win::TCursor c = Cursor();
    if (shiftDown_ && SelectionAddWithShift) {
        if (c == kIEViewCursor)
            return 1791;
        if (c == 1793)
            return 1794;
    }
    return c;
}

void TVodirAdView::ShowCursorNow()
{
    POINT p;
    if (!HandleAllocated() || !::GetCursorPos(&p) || ::WindowFromPoint(p) != Handle())
        return;
    const win::TCursor c = CurrentCursor();
    if (win::Screen && c != win::crDefault)
        ::SetCursor(win::Screen->Cursors(c));
    else
        ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
}

}  // namespace imaging
