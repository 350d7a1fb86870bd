// TColorButton: owner-drawn face, hover colour and focus frame.
#include "app/ColorButton.h"

#include "platform/win/Messages.h"
#include "platform/rtl/Win32.h"

namespace app {

using namespace win;

TColorButton::TColorButton(rtl::TComponent* owner) : TButton(owner), canvas_(std::make_unique<TCanvas>()) {}

TColorButton::~TColorButton() = default;

void TColorButton::CreateParams(TCreateParams& params)
{
    TButton::CreateParams(params);
    params.Style |= BS_OWNERDRAW;
}

void TColorButton::SetButtonStyle(bool isDefault)
{
    TButton::SetButtonStyle(isDefault);
    if (isDefault != isDefault_) {
        isDefault_ = isDefault;
        RepaintFace();
    }
}

void TColorButton::RepaintFace()
{
    if (HandleAllocated())
        TButton::Repaint();
}

void TColorButton::SetBackColor(TColor value)
{
    if (value != backColor_) {
        backColor_ = value;
        RepaintFace();
    }
}

void TColorButton::SetDisabledColor(TColor value)
{
    if (value != disabledColor_) {
        disabledColor_ = value;
        RepaintFace();
    }
}

void TColorButton::SetForeColor(TColor value)
{
    if (value != foreColor_) {
        foreColor_ = value;
        RepaintFace();
    }
}

void TColorButton::SetHoverColor(TColor value)
{
    if (value != hoverColor_) {
        hoverColor_ = value;
        RepaintFace();
    }
}

void TColorButton::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case CM_MOUSEENTER:
        // A second enter without a leave would save the hover colour as the back colour.
        if (!hovering_) {
            hovering_ = true;
            savedColor_ = backColor_;
            SetBackColor(hoverColor_);
        }
        break;
    case CM_MOUSELEAVE:
        if (hovering_) {
            hovering_ = false;
            SetBackColor(savedColor_);
        }
        break;
    case CM_ENABLEDCHANGED:
    case CM_FONTCHANGED:
        TButton::WndProc(m);
        RepaintFace();
        return;
    case CN_MEASUREITEM: {
        auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
        item->itemWidth = static_cast<UINT>(Width());
        item->itemHeight = static_cast<UINT>(Height());
        m.Result = TRUE;
        return;
    }
    case CN_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(m.LParam);
        DrawItem(item->hDC, item->rcItem, item->itemState);
        m.Result = TRUE;
        return;
    }
    default: break;
    }
    TButton::WndProc(m);
}

void TColorButton::DrawItem(HDC dc, const RECT& rect, UINT itemState)
{
    const int saved = ::SaveDC(dc);
    canvas_->Lock();
    try {
        canvas_->SetHandle(dc);
        canvas_->Font()->Assign(Font());
        canvas_->Brush()->SetColor(backColor_);
        DrawButton(TRect{rect.left, rect.top, rect.right, rect.bottom}, itemState);
    } catch (...) {
        canvas_->SetHandle(nullptr);
        canvas_->Unlock();
        ::RestoreDC(dc, saved);
        throw;
    }
    canvas_->SetHandle(nullptr);
    canvas_->Unlock();
    ::RestoreDC(dc, saved);
}

void TColorButton::DrawButton(TRect rect, UINT itemState)
{
    const bool pressed = (itemState & ODS_SELECTED) != 0;
    const bool focused = (itemState & ODS_FOCUS) != 0;
    const bool disabled = (itemState & ODS_DISABLED) != 0;
    const TRect whole = rect;

    if (pressed) {
        canvas_->Pen()->SetColor(clBtnShadow);
        canvas_->Pen()->SetWidth(1);
        canvas_->Brush()->SetColor(disabled ? disabledColor_ : backColor_);
        canvas_->Rectangle(rect);
        rect.Left += 2;  // shrink by 1, then move 1 right and down
        rect.Top += 2;
    }

    const TColor brushColor = canvas_->Brush()->Color();
    canvas_->Brush()->SetColor(backColor_);
    canvas_->FillRect(rect);
    canvas_->Brush()->SetColor(brushColor);

    const std::string caption = Caption();
    HDC dc = canvas_->Handle();
    canvas_->Font()->SetColor(disabled ? disabledColor_ : foreColor_);
    // Measuring selects the font into the context before the raw calls below use it.
    const SIZE extent = canvas_->TextExtent(caption);
    const int oldMode = ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ColorToRGB(disabled ? disabledColor_ : foreColor_));
    if (disabled) {
        const int x = (rect.Width() - extent.cx) / 2;
        const int y = (rect.Height() - extent.cy) / 2;
        ::DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(caption.c_str()),
                     static_cast<WPARAM>(caption.size()), x, y, 0, 0, DST_TEXT | DSS_NORMAL);
    } else {
        TRect textRect = rect;
        canvas_->Brush()->SetStyle(bsClear);
        canvas_->DrawText(caption, textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        canvas_->Brush()->SetStyle(bsSolid);
    }
    ::SetBkMode(dc, oldMode);

    if (isDefault_ && focused) {
        TRect frame = whole;
        frame.Left += 2;
        frame.Top += 2;
        frame.Right -= 2;
        frame.Bottom -= 2;
        canvas_->Pen()->SetColor(clWindowFrame);
        canvas_->Brush()->SetColor(clBlack);
        canvas_->DrawFocusRect(frame);
    }
}

const rtl::TClassInfo& TColorButton::StaticClassInfo()
{
    static const rtl::TClassInfo info = [] {
        rtl::TClassInfo i =
            rtl::TClassBuilder<TColorButton, TButton>("TColorButton")
                .Property("BackColor", &TColorButton::BackColor, &TColorButton::SetBackColor)
                .Default(clBtnFace)
                .Property("DisabledColor", &TColorButton::DisabledColor, &TColorButton::SetDisabledColor)
                .Default(clBlack)
                .Property("ForeColor", &TColorButton::ForeColor, &TColorButton::SetForeColor)
                .Default(clBtnText)
                .Property("HoverColor", &TColorButton::HoverColor, &TColorButton::SetHoverColor)
                .Default(clBtnFace)
                .Creatable()
                .Build();
        for (const char* name : {"BackColor", "DisabledColor", "ForeColor", "HoverColor"})
            UseColorType(i, name);
        return i;
    }();
    return info;
}

namespace {
const bool kRegistered = (rtl::RegisterClass(TColorButton::StaticClassInfo()), true);
}  // namespace

}  // namespace app
