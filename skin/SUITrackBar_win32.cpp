// The skinned track bar over a painted window, with an image panel for its thumb.
#include "skin/SUITrackBar.h"

#include "platform/rtl/Win32.h"
#include "skin/SUI2Define.h"
#include "skin/SUIPublic.h"

#include <algorithm>

namespace skin {

namespace {

constexpr std::uint32_t kPagingIntervalMs = 100;
constexpr int kTickLength = 3;
constexpr win::TColor kTickColor = 0x808080;

// a / b rounded half up; a >= 0, b > 0. The remainder is doubled, never a.
std::int64_t DivRound(std::int64_t a, std::int64_t b) { return a / b + (2 * (a % b) >= b ? 1 : 0); }

std::int32_t Clamp32(std::int64_t v, std::int32_t low, std::int32_t high)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, low, high));
}

}  // namespace

// ---- TsuiTrackBar ----

void TsuiTrackBar::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Orientation)).Default(suiHorizontal);
    t.Property(RTL_GET_SET(FileTheme));
    t.Property(RTL_GET_SET(UIStyle));
    t.Property(RTL_GET_SET(BarImage));
    t.Property(RTL_GET_SET(SliderImage));
    t.Property(RTL_GET_SET(Max)).Default(10);
    t.Property(RTL_GET_SET(Min)).Default(0);
    t.Property(RTL_GET_SET(Position)).Default(0);
    t.Property(RTL_GET_SET(PageSize)).Default(2);
    t.Property(RTL_GET_SET(LineSize)).Default(1);
    t.Property(RTL_GET_SET(ShowTick)).Default(false);
    t.Property(RTL_GET_SET(Transparent)).Default(false);
    t.Property(RTL_GET_SET(Frequency)).Default(1);
    t.Property(RTL_GET_SET(TabStop)).Default(true);
    t.Property(RTL_GET_SET(ParentColor)).Default(true);
    t.Property(RTL_GET_SET(BevelOuter)).Default(win::bvNone);
    t.Event(RTL_MEMBER(OnChange));
    t.Creatable();
}

TsuiTrackBar::TsuiTrackBar(rtl::TComponent* owner)
    : win::TCustomPanel(owner), link_(*this), barImage_(std::make_unique<win::TPicture>())
{
    controlStyle_.Exclude(win::csAcceptsControls);
    controlStyle_.Exclude(win::csSetCaption);
    SetBevelOuter(win::bvNone);
    work_.SetPixelFormat(win::pf24bit);
    barImage_->OnChange = [this](rtl::TObject*) { UpdateLayout(); };
    thumb_ = new TsuiImagePanel(this);
    thumb_->SetAutoSize(true);
    thumb_->SetParent(this);
    thumb_->OnMouseDown = [this](rtl::TObject* s, win::TMouseButton b, win::TShiftState sh, int x, int y) {
        ThumbMouseDown(s, b, sh, x, y);
    };
    thumb_->OnMouseUp = [this](rtl::TObject* s, win::TMouseButton b, win::TShiftState sh, int x, int y) {
        ThumbMouseUp(s, b, sh, x, y);
    };
    SetParentColor(true);
    SetTabStop(true);
    SetBounds(0, 0, 150, 25);
    link_.SetUIStyle(GetFormUIStyle(owner));
    ApplyUIStyle();
}

TsuiTrackBar::~TsuiTrackBar()
{
    barImage_->OnChange = nullptr;
    pageTimer_.reset();
}

win::TPicture* TsuiTrackBar::SliderImage() const { return thumb_->Picture(); }

void TsuiTrackBar::SetSliderImage(win::TPicture* value)
{
    thumb_->Picture()->Assign(value);
    UpdateLayout();
}

void TsuiTrackBar::SetSliderBitmap(win::TBitmap* value)
{
    thumb_->Picture()->SetBitmap(value);
    UpdateLayout();
}

void TsuiTrackBar::SetOrientation(TsuiProgressBarOrientation value)
{
    if (value == orientation_)
        return;
    orientation_ = value;
    if (!ComponentState().Contains(rtl::csLoading))
        SetBounds(Left(), Top(), Height(), Width());
    ApplyUIStyle();
}

void TsuiTrackBar::SetUIStyle(TsuiUIStyle value)
{
    link_.SetUIStyle(value);
    ApplyUIStyle();
}

void TsuiTrackBar::SetFileTheme(TsuiFileTheme* value)
{
    link_.SetFileTheme(value);
    SetUIStyle(UIStyle());
}

void TsuiTrackBar::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    win::TCustomPanel::Notification(component, operation);
    if (operation == rtl::opRemove && component == thumb_)
        thumb_ = nullptr;
    if (link_.Removed(component, operation) && !ComponentState().Contains(rtl::csDestroying))
        SetUIStyle(DeepBlue);
}

void TsuiTrackBar::ApplyUIStyle()
{
    TsuiUIStyle style;
    win::TBitmap bar;
    win::TBitmap slider;
    win::TColor key = kSkinTransColor;
    const bool vertical = orientation_ == suiVertical;
    if (link_.UsesFile(style)) {
        const TsuiFileTheme& theme = *FileTheme();
        theme.GetBitmapPiece(SKIN2_TRACKBAR - kSkin2BitmapBase, &bar, 0, 0);
        theme.GetBitmapPiece((vertical ? SKIN2_TRACKBARVSLIDER : SKIN2_TRACKBARSLIDER) - kSkin2BitmapBase,
                             &slider, 0, 0);
        formColor_ = ThemeColor(theme, SKIN2_FORMCOLOR, win::clBtnFace);
        key = ThemeColor(theme, SKIN2_TRANSCOLOR, kSkinTransColor);
    } else {
        LoadBuiltInThemeBitmap(style, SUI_THEME_TRACKBAR_BAR, &bar);
        LoadBuiltInThemeBitmap(style, vertical ? SUI_THEME_TRACKBAR_SLIDER_V : SUI_THEME_TRACKBAR_SLIDER,
                               &slider);
        formColor_ = GetBuiltInThemeColor(style, SUI_THEME_FORM_BACKGROUND_COLOR);
    }
    // The thumb is an opaque panel: its key pixels take the colour they would show.
    if (!slider.Empty())
        ReplaceBitmapColor(&slider, key, formColor_);
    barImage_->SetBitmap(&bar);
    thumb_->Picture()->SetBitmap(&slider);
    UpdateLayout();
}

int TsuiTrackBar::ThumbLength() const
{
    const win::TPicture* p = thumb_->Picture();
    return orientation_ == suiHorizontal ? p->Width() : p->Height();
}

std::int32_t TsuiTrackBar::ThumbOffset(std::int32_t value)
{
    const std::int64_t track = static_cast<std::int64_t>(Length()) - ThumbLength();
    const std::int64_t range = static_cast<std::int64_t>(UpperBound()) - min_;
    if (track <= 0 || range <= 0)
        return 0;
    const std::int64_t v = std::clamp<std::int64_t>(value, min_, UpperBound());
    return static_cast<std::int32_t>(track * (v - min_) / range);
}

std::int32_t TsuiTrackBar::ValueAt(int coordinate)
{
    const std::int64_t track = static_cast<std::int64_t>(Length()) - ThumbLength();
    if (track <= 0)
        return position_;
    const std::int64_t range = static_cast<std::int64_t>(UpperBound()) - min_;
    // Before the start or past the end is the start or the end; within, the product of a track
    // length and a 32-bit range stays below 2^63.
    const std::int64_t from =
        std::clamp<std::int64_t>(static_cast<std::int64_t>(coordinate) - ThumbLength() / 2, 0, track);
    return Clamp32(min_ + DivRound(from * range, track), min_, UpperBound());
}

void TsuiTrackBar::PlaceThumb()
{
    if (!thumb_)
        return;
    const int w = thumb_->Picture()->Width();
    const int h = thumb_->Picture()->Height();
    const int offset = ThumbOffset(position_);
    if (orientation_ == suiHorizontal)
        thumb_->SetBounds(offset, std::max(0, Height() - h) / 2, w, h);
    else
        thumb_->SetBounds(std::max(0, Width() - w) / 2, offset, w, h);
}

void TsuiTrackBar::UpdateLayout()
{
    if (!thumb_)
        return;
    // The cross size takes the larger of the channel and the thumb.
    const int channel = barImage_->Height();
    const int thumbCross =
        orientation_ == suiHorizontal ? thumb_->Picture()->Height() : thumb_->Picture()->Width();
    const int cross = std::max(channel, thumbCross);
    if (cross > 0 && !ComponentState().Contains(rtl::csLoading)) {
        if (orientation_ == suiHorizontal)
            SetBounds(Left(), Top(), Width(), cross);
        else
            SetBounds(Left(), Top(), cross, Height());
    }
    PlaceThumb();
    Invalidate();
}

void TsuiTrackBar::Resize()
{
    PlaceThumb();
    Invalidate();
    win::TCustomPanel::Resize();
}

void TsuiTrackBar::Loaded()
{
    win::TCustomPanel::Loaded();
    // What the description gave, brought into range without reporting a change.
    position_ = std::clamp(position_, min_, UpperBound());
    lastPosition_ = position_;
    ApplyUIStyle();
}

void TsuiTrackBar::SetPosition(std::int32_t value)
{
    if (ComponentState().Contains(rtl::csLoading)) {
        position_ = value;
        return;
    }
    position_ = std::clamp(value, min_, UpperBound());
    PlaceThumb();
    Invalidate();
    if (position_ != lastPosition_) {
        lastChange_ = static_cast<std::int64_t>(position_) - lastPosition_;
        lastPosition_ = position_;
        OnChange(this);
    }
}

void TsuiTrackBar::SetMax(std::int32_t value)
{
    max_ = value;
    SetPosition(position_);
}

void TsuiTrackBar::SetMin(std::int32_t value)
{
    min_ = value;
    SetPosition(position_);
}

void TsuiTrackBar::StepBy(std::int64_t delta)
{
    SetPosition(Clamp32(static_cast<std::int64_t>(position_) + delta, min_, UpperBound()));
}

void TsuiTrackBar::KeyDown(std::uint16_t& key, win::TShiftState shift)
{
    win::TCustomPanel::KeyDown(key, shift);
    switch (key) {
    case VK_PRIOR: StepBy(-static_cast<std::int64_t>(pageSize_)); break;
    case VK_NEXT: StepBy(pageSize_); break;
    case VK_END: SetPosition(UpperBound()); break;
    case VK_HOME: SetPosition(min_); break;
    case VK_LEFT:
    case VK_UP: StepBy(-static_cast<std::int64_t>(lineSize_)); break;
    case VK_RIGHT:
    case VK_DOWN: StepBy(lineSize_); break;
    default: return;
    }
    key = 0;
}

void TsuiTrackBar::ThumbMouseDown(rtl::TObject*, win::TMouseButton button, win::TShiftState, int, int)
{
    if (button != win::mbLeft || !Enabled())
        return;
    if (TabStop() && CanFocus())
        SetFocus();
    dragging_ = true;
    // The bar follows the drag, wherever the mouse goes.
    win::SetCaptureControl(this);
}

void TsuiTrackBar::ThumbMouseUp(rtl::TObject*, win::TMouseButton button, win::TShiftState, int, int)
{
    if (button == win::mbLeft)
        EndPress();
}

void TsuiTrackBar::MouseDown(win::TMouseButton button, win::TShiftState shift, int x, int y)
{
    if (button == win::mbLeft && Enabled()) {
        if (TabStop() && CanFocus())
            SetFocus();
        pagePoint_ = {x, y};
        PageToward(this);
        if (!pageTimer_) {
            pageTimer_ = std::make_unique<win::TTimer>(nullptr);
            pageTimer_->SetInterval(kPagingIntervalMs);
            pageTimer_->OnTimer = [this](rtl::TObject* sender) { PageToward(sender); };
        }
    }
    win::TCustomPanel::MouseDown(button, shift, x, y);
}

void TsuiTrackBar::MouseMove(win::TShiftState shift, int x, int y)
{
    if (dragging_) {
        SetPosition(ValueAt(orientation_ == suiHorizontal ? x : y));
    } else if (pageTimer_) {
        pagePoint_ = {x, y};
        if (x < 0 || y < 0 || x >= Width() || y >= Height())
            StopPaging();
    }
    win::TCustomPanel::MouseMove(shift, x, y);
}

void TsuiTrackBar::MouseUp(win::TMouseButton button, win::TShiftState shift, int x, int y)
{
    if (button == win::mbLeft)
        EndPress();
    win::TCustomPanel::MouseUp(button, shift, x, y);
}

void TsuiTrackBar::PageToward(rtl::TObject*)
{
    if (pageTimer_ && (!Showing() || !Enabled())) {
        StopPaging();
        return;
    }
    const std::int32_t target = ValueAt(orientation_ == suiHorizontal ? pagePoint_.X : pagePoint_.Y);
    const std::int64_t step = std::max(pageSize_, 1);
    const std::int64_t pos = position_;
    if (target > pos)
        SetPosition(static_cast<std::int32_t>(std::min<std::int64_t>(pos + step, target)));
    else if (target < pos)
        SetPosition(static_cast<std::int32_t>(std::max<std::int64_t>(pos - step, target)));
}

void TsuiTrackBar::StopPaging() { pageTimer_.reset(); }

void TsuiTrackBar::EndPress()
{
    dragging_ = false;
    StopPaging();
    if (win::GetCaptureControl() == this)
        win::SetCaptureControl(nullptr);
}

void TsuiTrackBar::WndProc(win::TMessage& m)
{
    switch (m.Msg) {
    case WM_GETDLGCODE: m.Result = DLGC_WANTARROWS; return;
    case WM_CAPTURECHANGED:
        if (HandleAllocated() && reinterpret_cast<HWND>(m.LParam) != Handle()) {
            dragging_ = false;
            StopPaging();
        }
        break;
    case WM_CANCELMODE: EndPress(); break;
    case WM_WINDOWPOSCHANGED:
        if (reinterpret_cast<const WINDOWPOS*>(m.LParam)->flags & SWP_HIDEWINDOW)
            EndPress();
        break;
    case win::CM_ENABLEDCHANGED:
        if (!Enabled())
            EndPress();
        break;
    case win::CM_VISIBLECHANGED:
        if (!Visible())
            EndPress();
        break;
    case win::CM_COLORCHANGED:
        if (thumb_)
            thumb_->SetColor(Color());
        break;
    default: break;
    }
    win::TCustomPanel::WndProc(m);
}

void TsuiTrackBar::PaintChannel(win::TCanvas& canvas)
{
    win::TGraphic* g = barImage_->Graphic();
    auto* bar = dynamic_cast<win::TBitmap*>(g);
    if (!bar || bar->Empty())
        return;
    const int h = bar->Height();
    if (orientation_ == suiHorizontal) {
        const int top = (Height() - h) / 2;
        DrawThreePartBitmapFilled(bar, &canvas, win::Rect(0, top, Width(), top + h), true, formColor_, true);
        return;
    }
    // Drawn lying down on the key colour, then stood up with the start piece at the top, and
    // laid on the bar masked, so what the ends leave out shows the bar as it does lying down.
    work_.SetSize(Height(), h);
    work_.Canvas()->Brush()->SetColor(kSkinTransColor);
    work_.Canvas()->FillRect(win::Rect(0, 0, Height(), h));
    DrawThreePartBitmapFilled(bar, work_.Canvas(), win::Rect(0, 0, Height(), h), true, formColor_, true);
    RotateBitmapRight(&work_);
    DrawBitmapAt(canvas, (Width() - h) / 2, 0, work_, true, kSkinTransColor);
}

void TsuiTrackBar::PaintTicks(win::TCanvas& canvas)
{
    const int length = Length();
    const int half = ThumbLength() / 2;
    const std::int64_t range = static_cast<std::int64_t>(UpperBound()) - min_;
    if (length <= ThumbLength())
        return;
    // No more ticks than pixels along the bar.
    std::int64_t step = std::max(frequency_, 1);
    step = std::max<std::int64_t>(step, (range + length - 1) / length);
    canvas.Pen()->SetColor(kTickColor);
    canvas.Pen()->SetStyle(win::psSolid);
    for (std::int64_t v = min_; v <= UpperBound(); v += step) {
        const int at = ThumbOffset(static_cast<std::int32_t>(v)) + half;
        if (orientation_ == suiHorizontal) {
            canvas.MoveTo(at, Height() - kTickLength);
            canvas.LineTo(at, Height());
        } else {
            canvas.MoveTo(Width() - kTickLength, at);
            canvas.LineTo(Width(), at);
        }
    }
}

void TsuiTrackBar::Paint()
{
    win::TCanvas& canvas = *Canvas();
    if (transparent_) {
        PaintParentBackground(&canvas, this);
    } else {
        canvas.Brush()->SetStyle(win::bsSolid);
        canvas.Brush()->SetColor(Color());
        canvas.FillRect(ClientRect());
    }
    PaintChannel(canvas);
    if (showTick_)
        PaintTicks(canvas);
}

// ---- TsuiScrollTrackBar ----

void TsuiScrollTrackBar::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Max)).Default(100);
    t.Property(RTL_GET_SET(TabStop)).Default(false);
    t.Creatable();
}

TsuiScrollTrackBar::TsuiScrollTrackBar(rtl::TComponent* owner) : TsuiTrackBar(owner)
{
    SetTabStop(false);
    SetShowTick(false);
    SetTransparent(false);
    SetMax(100);
    ApplyUIStyle();
}

void TsuiScrollTrackBar::ApplyUIStyle()
{
    // No channel: the bar's own colour is the track.
    BarImage()->SetGraphic(nullptr);
    UpdateLayout();
}

void TsuiScrollTrackBar::SetThumbEnabled(bool value)
{
    if (Thumb())
        Thumb()->SetVisible(value);
}

bool TsuiScrollTrackBar::ThumbEnabled() const { return Thumb() && Thumb()->Visible(); }

}  // namespace skin
