// The skinned scroll bar: its line buttons, slider and thumb from the skin.
#include "skin/SUIScrollBar.h"

#include "platform/rtl/Win32.h"
#include "skin/SUI2Define.h"
#include "skin/SUIPublic.h"

#include <algorithm>
#include <array>

namespace skin {

namespace {

constexpr std::int32_t kMinThumb = 16;
constexpr std::int32_t kLineRepeatMs = 100;
// A file theme's thumb: caps of this many pixels at both ends.
constexpr int kCap = 3;

}  // namespace

void TsuiScrollBar::Publish(Table& t)
{
    t.Property(RTL_GET_SET(FileTheme));
    t.Property(RTL_GET_SET(LineButton)).Default(0);
    t.Property(RTL_GET_SET(Orientation)).Default(suiHorizontal);
    t.Property(RTL_GET_SET(UIStyle));
    t.Property(RTL_GET_SET(Max)).Default(100);
    t.Property(RTL_GET_SET(Min)).Default(0);
    t.Property(RTL_GET_SET(Position)).Default(0);
    t.Property(RTL_GET_SET(SmallChange)).Default(1);
    t.Property(RTL_GET_SET(LargeChange)).Default(2);
    t.Property(RTL_GET_SET(PageSize)).Default(10);
    t.Property(RTL_GET_SET(BevelOuter)).Default(win::bvNone);
    t.Event(RTL_MEMBER(OnChange));
    t.Creatable();
}

TsuiScrollBar::TsuiScrollBar(rtl::TComponent* owner) : win::TCustomPanel(owner), link_(*this)
{
    controlStyle_.Exclude(win::csAcceptsControls);
    controlStyle_.Exclude(win::csSetCaption);
    SetBevelOuter(win::bvNone);
    auto makeButton = [this](std::int64_t direction) {
        auto* button = new TsuiImageButton(this);
        button->SetParent(this);
        button->SetTabStop(false);
        button->SetMouseContinuouslyDownInterval(kLineRepeatMs);
        button->OnMouseDown = [this, direction](rtl::TObject*, win::TMouseButton b, win::TShiftState, int,
                                                int) {
            if (b == win::mbLeft)
                StepBy(direction * smallChange_);
        };
        button->OnMouseContinuouslyDown = [this, direction](rtl::TObject*) {
            StepBy(direction * smallChange_);
        };
        return button;
    };
    first_ = makeButton(-1);
    slider_ = new TsuiScrollTrackBar(this);
    slider_->SetParent(this);
    slider_->OnChange = [this](rtl::TObject*) { OnChange(this); };
    second_ = makeButton(1);
    SetBounds(0, 0, 185, 16);
    link_.SetUIStyle(GetFormUIStyle(owner));
    ApplyUIStyle();
}

TsuiScrollBar::~TsuiScrollBar()
{
    if (slider_)
        slider_->OnChange = nullptr;
}

void TsuiScrollBar::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    win::TCustomPanel::Notification(component, operation);
    if (operation == rtl::opRemove) {
        if (component == first_)
            first_ = nullptr;
        if (component == slider_)
            slider_ = nullptr;
        if (component == second_)
            second_ = nullptr;
    }
    if (link_.Removed(component, operation) && !ComponentState().Contains(rtl::csDestroying))
        SetUIStyle(DeepBlue);
}

void TsuiScrollBar::SetFileTheme(TsuiFileTheme* value)
{
    link_.SetFileTheme(value);
    SetUIStyle(UIStyle());
}

void TsuiScrollBar::SetUIStyle(TsuiUIStyle value)
{
    link_.SetUIStyle(value);
    ApplyUIStyle();
}

void TsuiScrollBar::SetOrientation(TsuiProgressBarOrientation value)
{
    if (value == orientation_)
        return;
    orientation_ = value;
    if (!ComponentState().Contains(rtl::csLoading))
        SetBounds(Left(), Top(), Height(), Width());
    slider_->SetOrientation(value);
    ApplyUIStyle();
}

void TsuiScrollBar::SetPosition(std::int32_t value)
{
    if (value != slider_->Position())
        slider_->SetPosition(value);
}

void TsuiScrollBar::SetPageSize(std::int32_t value)
{
    pageSize_ = value;
    BuildThumb();
}

void TsuiScrollBar::SetLineButton(std::int32_t value)
{
    // While the description is read the bar has no final size to judge by.
    if (!ComponentState().Contains(rtl::csLoading) && value > SliderLength())
        return;
    lineButton_ = value > 0 ? std::max(value, kMinThumb) : value;
    BuildThumb();
}

void TsuiScrollBar::StepBy(std::int64_t delta)
{
    const std::int64_t target = static_cast<std::int64_t>(slider_->Position()) + delta;
    slider_->SetPosition(
        static_cast<std::int32_t>(std::clamp<std::int64_t>(target, slider_->Min(), slider_->UpperBound())));
}

int TsuiScrollBar::ButtonLength(const TsuiImageButton* button) const
{
    if (!button)
        return 0;
    return orientation_ == suiHorizontal ? button->PicNormal()->Width() : button->PicNormal()->Height();
}

int TsuiScrollBar::SliderLength() const
{
    const int length = orientation_ == suiHorizontal ? Width() : Height();
    return std::max(0, length - ButtonLength(first_) - ButtonLength(second_));
}

int TsuiScrollBar::ThumbLength()
{
    const std::int64_t track = SliderLength();
    if (track <= 0)
        return 0;
    std::int64_t length = lineButton_;
    if (length <= 0) {
        const std::int64_t percent = pageSize_ >= 10 && pageSize_ <= 100 ? pageSize_ : 10;
        length = track * percent / 100;
    }
    return static_cast<int>(std::clamp<std::int64_t>(length, 0, track));
}

void TsuiScrollBar::ApplyUIStyle()
{
    if (!first_ || !second_ || !slider_)
        return;
    TsuiUIStyle style;
    std::array<win::TBitmap, 3> up;
    std::array<win::TBitmap, 3> down;
    win::TColor back;
    if (link_.UsesFile(style)) {
        const TsuiFileTheme& theme = *FileTheme();
        back = ThemeColor(theme, SKIN2_SCROLLBARCOLOR, win::clBtnFace);
        // Stored upright: turned a quarter left it lies start, grip, end from left to right.
        win::TBitmap whole;
        whole.Assign(theme.GetBitmap(SKIN2_SCROLLBAR - kSkin2BitmapBase));
        RotateBitmapLeft(&whole);
        CutBitmapPiece(&whole, &thumbStart_, 3, 1);
        CutBitmapPiece(&whole, &thumbGrip_, 3, 2);
        CutBitmapPiece(&whole, &thumbEnd_, 3, 3);
        for (int i = 0; i < 3; ++i) {
            theme.GetBitmapPiece(SKIN2_SCROLLBARUPBUTTON - kSkin2BitmapBase, &up[static_cast<std::size_t>(i)],
                                 i + 1, 3);
            theme.GetBitmapPiece(SKIN2_SCROLLBARDOWNBUTTON - kSkin2BitmapBase,
                                 &down[static_cast<std::size_t>(i)], i + 1, 3);
        }
        capsLayout_ = true;
    } else {
        back = GetBuiltInThemeColor(style, SUI_THEME_SCROLLBAR_BACKGROUND_COLOR);
        GetBuiltInThemeBitmap(style, SUI_THEME_SCROLLBAR_SLIDER_IMAGE, &thumbStart_, 1, 3);
        GetBuiltInThemeBitmap(style, SUI_THEME_SCROLLBAR_SLIDER_IMAGE, &thumbGrip_, 2, 3);
        GetBuiltInThemeBitmap(style, SUI_THEME_SCROLLBAR_SLIDER_IMAGE, &thumbEnd_, 3, 3);
        for (int i = 0; i < 3; ++i) {
            GetBuiltInThemeBitmap(style, SUI_THEME_SCROLLBAR_BUTTON_IMAGE, &up[static_cast<std::size_t>(i)],
                                  i + 1, 6);
            GetBuiltInThemeBitmap(style, SUI_THEME_SCROLLBAR_BUTTON_IMAGE, &down[static_cast<std::size_t>(i)],
                                  i + 4, 6);
        }
        capsLayout_ = false;
    }
    // The buttons are drawn for a vertical bar.
    if (orientation_ == suiHorizontal)
        for (std::size_t i = 0; i < 3; ++i) {
            RotateBitmapLeft(&up[i]);
            RotateBitmapLeft(&down[i]);
        }
    first_->PicNormal()->SetBitmap(&up[0]);
    first_->PicMouseOn()->SetBitmap(&up[1]);
    first_->PicMouseDown()->SetBitmap(&up[2]);
    second_->PicNormal()->SetBitmap(&down[0]);
    second_->PicMouseOn()->SetBitmap(&down[1]);
    second_->PicMouseDown()->SetBitmap(&down[2]);
    SetColor(back);
    LayOut();
}

void TsuiScrollBar::LayOut()
{
    if (layingOut_ || !first_ || !second_ || !slider_)
        return;
    layingOut_ = true;
    const win::TPicture& one = *first_->PicNormal();
    const win::TPicture& two = *second_->PicNormal();
    const bool loading = ComponentState().Contains(rtl::csLoading);
    if (orientation_ == suiHorizontal) {
        if (one.Height() > 0 && Height() != one.Height() && !loading)
            SetBounds(Left(), Top(), Width(), one.Height());
        const int w = Width();
        const int h = Height();
        first_->SetBounds(0, 0, one.Width(), h);
        second_->SetBounds(w - two.Width(), 0, two.Width(), h);
        slider_->SetBounds(one.Width(), 0, std::max(0, w - one.Width() - two.Width()), h);
    } else {
        if (one.Width() > 0 && Width() != one.Width() && !loading)
            SetBounds(Left(), Top(), one.Width(), Height());
        const int w = Width();
        const int h = Height();
        first_->SetBounds(0, 0, w, one.Height());
        second_->SetBounds(0, h - two.Height(), w, two.Height());
        slider_->SetBounds(0, one.Height(), w, std::max(0, h - one.Height() - two.Height()));
    }
    // A bar with no width or no height shows nothing.
    const bool shown = Visible() && Width() > 0 && Height() > 0;
    first_->SetVisible(shown);
    slider_->SetVisible(shown);
    second_->SetVisible(shown);
    layingOut_ = false;
    BuildThumb();
}

void TsuiScrollBar::BuildThumb()
{
    if (!slider_)
        return;
    const int length = ThumbLength();
    const int h = thumbStart_.Height();
    win::TBitmap thumb;
    thumb.SetPixelFormat(win::pf24bit);
    if (length <= 0 || h <= 0 || thumbStart_.Empty() || thumbGrip_.Empty() || thumbEnd_.Empty()) {
        slider_->SetSliderBitmap(&thumb);
        return;
    }
    thumb.SetSize(length, h);
    win::TCanvas& canvas = *thumb.Canvas();
    canvas.Brush()->SetColor(Color());
    canvas.FillRect(win::Rect(0, 0, length, h));
    DrawBitmapAt(canvas, 0, 0, thumbStart_, false, 0);
    const int grip = thumbGrip_.Width();
    if (capsLayout_) {
        if (length - 2 * kCap >= grip) {
            const int gx = kCap + (length - 2 * kCap - grip) / 2;
            StretchColumns(canvas, kCap, 0, gx - kCap, thumbStart_, kCap, thumbStart_.Width() - kCap);
            DrawBitmapAt(canvas, gx, 0, thumbGrip_, false, 0);
            StretchColumns(canvas, gx + grip, 0, length - kCap - (gx + grip), thumbEnd_, 0,
                           thumbEnd_.Width() - kCap);
        } else if (length > 2 * kCap) {
            StretchBitmapHalftone(&thumbGrip_, &canvas, win::Rect(kCap, 0, length - kCap, h));
        }
        ::BitBlt(canvas.Handle(), length - kCap, 0, kCap, h, thumbEnd_.Canvas()->Handle(),
                 thumbEnd_.Width() - kCap, 0, SRCCOPY);
    } else {
        // Start and end pieces at the ends; between them the grip's first column, which holds
        // no grip marks, and the grip itself in the middle when it fits.
        const int middle = length - thumbStart_.Width() - thumbEnd_.Width();
        if (middle > 0) {
            StretchColumns(canvas, thumbStart_.Width(), 0, middle, thumbGrip_, 0, 1);
            if (middle >= grip)
                DrawBitmapAt(canvas, thumbStart_.Width() + (middle - grip) / 2, 0, thumbGrip_, false, 0);
        }
        DrawBitmapAt(canvas, length - thumbEnd_.Width(), 0, thumbEnd_, false, 0);
    }
    if (orientation_ == suiVertical)
        RotateBitmapRight(&thumb);
    slider_->SetSliderBitmap(&thumb);
}

void TsuiScrollBar::Resize()
{
    LayOut();
    win::TCustomPanel::Resize();
}

void TsuiScrollBar::Loaded()
{
    win::TCustomPanel::Loaded();
    ApplyUIStyle();
}

void TsuiScrollBar::WndProc(win::TMessage& m)
{
    switch (m.Msg) {
    case win::CM_COLORCHANGED:
        if (slider_)
            slider_->SetColor(Color());
        break;
    case win::CM_VISIBLECHANGED:
        win::TCustomPanel::WndProc(m);
        LayOut();
        return;
    default: break;
    }
    win::TCustomPanel::WndProc(m);
}

}  // namespace skin
