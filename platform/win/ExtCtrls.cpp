// Timer, image and panel.
#include "platform/win/ExtCtrls.h"

#include "platform/win/Forms.h"

#include <algorithm>

namespace win {

// --- TTimer ---

void TTimer::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Enabled)).Default(true);
    t.Property(RTL_GET_SET(Interval)).Default(1000);
    t.Event(RTL_MEMBER(OnTimer));
    t.Creatable();
}

TTimer::TTimer(rtl::TComponent* owner) : rtl::TComponent(owner)
{
    window_ = AllocateHWnd([this](TMessage& m) { WndProc(m); });
    UpdateTimer();
}

TTimer::~TTimer()
{
    Destroying();
    if (running_)
        ::KillTimer(window_, 1);
    DeallocateHWnd(window_);
}

void TTimer::Loaded()
{
    rtl::TComponent::Loaded();
    UpdateTimer();
}

void TTimer::UpdateTimer()
{
    if (running_) {
        ::KillTimer(window_, 1);
        running_ = false;
    }
    if (!enabled_ || interval_ == 0 || ComponentState().Contains(rtl::csLoading) ||
        ComponentState().Contains(rtl::csDestroying))
        return;
    if (!::SetTimer(window_, 1, interval_, nullptr))
        throw rtl::Exception("Not enough timers available");
    running_ = true;
}

void TTimer::WndProc(TMessage& m)
{
    if (m.Msg == WM_TIMER) {
        try {
            Timer();
        } catch (...) {
            HandleControlException(this);
        }
        return;
    }
    m.Result = ::DefWindowProcA(window_, m.Msg, m.WParam, m.LParam);
}

// --- TImage ---

void TImage::Publish(Table& t)
{
    t.Property(RTL_GET_SET(AutoSize)).Default(false);
    t.Property(RTL_GET_SET(Center)).Default(false);
    t.Property(RTL_GET_SET(Picture));
    t.Property(RTL_GET_SET(Proportional)).Default(false);
    t.Property(RTL_GET_SET(Stretch)).Default(false);
    t.Property(RTL_GET_SET(Transparent)).Default(false);
    t.Creatable();
}

TImage::TImage(rtl::TComponent* owner) : TGraphicControl(owner), picture_(std::make_unique<TPicture>())
{
    controlStyle_.Include(csReplicatable);
    picture_->OnChange = [this](rtl::TObject* sender) { PictureChanged(sender); };
    SetBounds(0, 0, 105, 105);
}

TImage::~TImage() { picture_->OnChange = nullptr; }

void TImage::SetTransparent(bool v)
{
    rtl::SetAndNotify(transparent_, v, [this] {
        if (TGraphic* g = picture_->Graphic())
            g->SetTransparent(transparent_);
        Invalidate();
    });
}

void TImage::PictureChanged(rtl::TObject*)
{
    if (TGraphic* g = picture_->Graphic(); g && transparent_)
        g->SetTransparent(true);
    AdjustSize();
    Invalidate();
}

void TImage::AdjustSize()
{
    if (!autoSize_ || ComponentState().Contains(rtl::csReading))
        return;
    TGraphic* g = picture_->Graphic();
    if (g && !g->Empty())
        SetBounds(Left(), Top(), g->Width(), g->Height());
}

TRect TImage::DestRect()
{
    int w = picture_->Width(), h = picture_->Height();
    int cw = ClientWidth(), ch = ClientHeight();
    if (stretch_ || (proportional_ && (w > cw || h > ch))) {
        if (proportional_ && w > 0 && h > 0) {
            // Scale to fit while keeping the aspect ratio, in 64 bits to avoid overflow.
            std::int64_t sw = cw, sh = static_cast<std::int64_t>(h) * cw / w;
            if (sh > ch) {
                sh = ch;
                sw = static_cast<std::int64_t>(w) * ch / h;
            }
            w = static_cast<int>(sw);
            h = static_cast<int>(sh);
        } else {
            w = cw;
            h = ch;
        }
    }
    TRect r = Rect(0, 0, w, h);
    if (center_) {
        int dx = (cw - w) / 2, dy = (ch - h) / 2;
        r = Rect(dx, dy, dx + w, dy + h);
    }
    return r;
}

void TImage::Paint()
{
    TGraphic* g = picture_->Graphic();
    if (!g || g->Empty())
        return;
    TRect r = DestRect();
    Canvas()->StretchDraw(r, g);
}

// --- panels ---

void Frame3D(TCanvas& canvas, TRect& rect, TColor topColor, TColor bottomColor, int width)
{
    canvas.Pen()->SetWidth(1);
    canvas.Pen()->SetStyle(psSolid);
    rect.Bottom -= 1;
    rect.Right -= 1;
    for (int i = 0; i < width; ++i) {
        canvas.Pen()->SetColor(topColor);
        canvas.Polyline(
            {Point(rect.Left, rect.Bottom), Point(rect.Left, rect.Top), Point(rect.Right, rect.Top)});
        canvas.Pen()->SetColor(bottomColor);
        canvas.Polyline(
            {Point(rect.Right, rect.Top), Point(rect.Right, rect.Bottom), Point(rect.Left - 1, rect.Bottom)});
        rect.Left += 1;
        rect.Top += 1;
        rect.Right -= 1;
        rect.Bottom -= 1;
    }
    rect.Bottom += 1;
    rect.Right += 1;
}

void TCustomPanel::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Alignment)).Default(taCenter);
    t.Property(RTL_GET_SET(BevelInner)).Default(bvNone);
    t.Property(RTL_GET_SET(BevelOuter)).Default(bvRaised);
    t.Property(RTL_GET_SET(BevelWidth)).Default(1);
    t.Property(RTL_GET_SET(BorderStyle)).Default(bsNone);
    t.Property(RTL_GET_SET(BorderWidth)).Default(0);
    t.Property(RTL_GET_SET(ParentColor)).Default(false);
}

void TPanel::Publish(Table& t) { t.Creatable(); }

TCustomPanel::TCustomPanel(rtl::TComponent* owner) : TCustomControl(owner)
{
    controlStyle_ = {csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption,
                     csOpaque,          csDoubleClicks, csReplicatable};
    SetColor(clBtnFace);
    SetBounds(0, 0, 185, 41);
}

void TCustomPanel::CreateParams(TCreateParams& p)
{
    TCustomControl::CreateParams(p);
    if (BorderStyle() == bsSingle)
        p.ExStyle |= WS_EX_CLIENTEDGE;
    p.WindowClass.style &= ~static_cast<UINT>(CS_HREDRAW | CS_VREDRAW);
}

TRect TCustomPanel::ClientRect() { return TWinControl::ClientRect(); }

void TCustomPanel::AlignControls(TControl* control, TRect& rect)
{
    // Aligned children stay inside the bevels and the border.
    int inset = borderWidth_;
    if (bevelOuter_ != bvNone)
        inset += bevelWidth_;
    if (bevelInner_ != bvNone)
        inset += bevelWidth_;
    rect.Left += inset;
    rect.Top += inset;
    rect.Right -= inset;
    rect.Bottom -= inset;
    TCustomControl::AlignControls(control, rect);
}

void TCustomPanel::Paint()
{
    TCanvas& canvas = *Canvas();
    TRect r = ClientRect();
    auto bevel = [&](TBevelCut cut) {
        if (cut == bvNone)
            return;
        TColor top = cut == bvLowered ? clBtnShadow : clBtnHighlight;
        TColor bottom = cut == bvLowered ? clBtnHighlight : clBtnShadow;
        if (cut == bvSpace)
            top = bottom = Color();
        Frame3D(canvas, r, top, bottom, bevelWidth_);
    };
    bevel(bevelOuter_);
    Frame3D(canvas, r, Color(), Color(), borderWidth_);
    bevel(bevelInner_);
    canvas.Brush()->SetColor(Color());
    canvas.Brush()->SetStyle(bsSolid);
    canvas.FillRect(r);
    std::string caption = Caption();
    if (!caption.empty()) {
        static const UINT kAlign[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
        canvas.Brush()->SetStyle(bsClear);
        canvas.Font()->Assign(Font());
        canvas.DrawText(caption, r, DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS | kAlign[alignment_]);
    }
}

}  // namespace win
