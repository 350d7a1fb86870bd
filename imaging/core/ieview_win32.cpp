// The view base control: border, background, resolution and the followers' callback list.
#include "imaging/core/ieview_win32.h"

#include "platform/rtl/TypeInfo.h"
#include "platform/win/Dialogs.h"

namespace imaging {

void TIEView::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Background)).Type(win::ColorTypeInfo()).Default(win::clBtnFace);
    t.Property(RTL_GET_SET(Ctl3D)).Default(true);
    t.Property(RTL_GET_SET(ParentCtl3D)).Default(false);
    t.Property(RTL_GET_SET(BorderStyle)).Default(win::bsSingle);
}

TIEView::TIEView(rtl::TComponent* owner) : win::TCustomControl(owner)
{
    // The window always has a new-style edge, so it never needs csFramed.
    controlStyle_.Include(win::csAcceptsControls)
        .Include(win::csOpaque)
        .Include(win::csReplicatable)
        .Include(win::csNeedsBorderPaint);
    SetBorderStyleValue(win::bsSingle);
}

TIEView::~TIEView() { NotifyDestroying(); }

void TIEView::SetBorderStyle(win::TBorderStyle Value)
{
    if (Value == BorderStyleProp())
        return;
    SetBorderStyleValue(Value);
    RecreateWnd();
}

void TIEView::SetCtl3D(bool Value)
{
    parentCtl3D_ = false;
    if (Value == ctl3D_)
        return;
    ctl3D_ = Value;
    RecreateWnd();
}

void TIEView::CreateParams(win::TCreateParams& params)
{
    win::TCustomControl::CreateParams(params);
    if (BorderStyleProp() == win::bsSingle) {
        if (ctl3D_)
            params.ExStyle |= WS_EX_CLIENTEDGE;
        else
            params.Style |= WS_BORDER;
    }
    // The view repaints what changed itself; a full redraw on every resize would flicker.
    params.WindowClass.style &= ~UINT(CS_HREDRAW | CS_VREDRAW);
}

void TIEView::SetDpiX(std::int32_t Value)
{
    if (Value != 0)
        dpiX_ = Value;
}

void TIEView::SetDpiY(std::int32_t Value)
{
    if (Value != 0)
        dpiY_ = Value;
}

void TIEView::SetDpi(std::int32_t X, std::int32_t Y)
{
    SetDpiX(X);
    SetDpiY(Y);
}

void TIEView::Beep() { win::Beep(800, 50); }

void TIEView::CallBitmapChangeEvents() { callbacks_.CallChanged(this); }

TIECallbackHandle TIEView::AddBitmapChangeCallback(TIEBitmapChangeEvent Callback)
{
    return callbacks_.Add(std::move(Callback));
}

void TIEView::RemoveBitmapChangeCallback(TIECallbackHandle Handle) { callbacks_.Remove(Handle); }

}  // namespace imaging
