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
    rtl::SetAndNotify(isDefault_, isDefault, this, &Self::RepaintFace);
}

void TColorButton::RepaintFace()
{
    if (HandleAllocated())
        TButton::Repaint();
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

void TColorButton::Publish(Table& t)
{
    t.Property(RTL_GET_SET(BackColor)).Type(ColorTypeInfo()).Default(clBtnFace);
    t.Property(RTL_GET_SET(DisabledColor)).Type(ColorTypeInfo()).Default(clBlack);
    t.Property(RTL_GET_SET(ForeColor)).Type(ColorTypeInfo()).Default(clBtnText);
    t.Property(RTL_GET_SET(HoverColor)).Type(ColorTypeInfo()).Default(clBtnFace);
    t.Creatable();
}

}  // namespace app
