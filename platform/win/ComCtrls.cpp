// Common controls: the track bar.
#include "platform/win/ComCtrls.h"

#include <commctrl.h>

#include <algorithm>

namespace win {

const rtl::TClassInfo& TTrackBar::StaticClassInfo()
{
    static const rtl::TClassInfo info =
        rtl::TClassBuilder<TTrackBar, TWinControl>("TTrackBar")
            .Property("Frequency", &TTrackBar::Frequency, &TTrackBar::SetFrequency).Default(1)
            .Property("LineSize", &TTrackBar::LineSize, &TTrackBar::SetLineSize).Default(1)
            .Property("Max", &TTrackBar::Max, &TTrackBar::SetMax).Default(10)
            .Property("Min", &TTrackBar::Min, &TTrackBar::SetMin).Default(0)
            .Property("Orientation", &TTrackBar::Orientation, &TTrackBar::SetOrientation).Default(trHorizontal)
            .Property("PageSize", &TTrackBar::PageSize, &TTrackBar::SetPageSize).Default(2)
            .Property("Position", &TTrackBar::Position, &TTrackBar::SetPosition).Default(0)
            .Event("OnChange", &TTrackBar::OnChange)
            .Creatable()
            .Build();
    return info;
}

TTrackBar::TTrackBar(rtl::TComponent* owner) : TWinControl(owner)
{
    controlStyle_.Exclude(csCaptureMouse);
    controlStyle_.Exclude(csClickEvents);
    controlStyle_.Exclude(csSetCaption);
    SetTabStop(true);
    SetBounds(0, 0, 150, 45);
}

void TTrackBar::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    CreateSubClass(p, TRACKBAR_CLASSA);
    p.Style |= TBS_AUTOTICKS | (orientation_ == trHorizontal ? TBS_HORZ : TBS_VERT);
}

void TTrackBar::CreateWnd()
{
    TWinControl::CreateWnd();
    HWND wnd = Handle();
    ::SendMessageA(wnd, TBM_SETRANGEMIN, FALSE, min_);
    ::SendMessageA(wnd, TBM_SETRANGEMAX, FALSE, max_);
    ::SendMessageA(wnd, TBM_SETTICFREQ, static_cast<WPARAM>(frequency_), 0);
    ::SendMessageA(wnd, TBM_SETPAGESIZE, 0, pageSize_);
    ::SendMessageA(wnd, TBM_SETLINESIZE, 0, lineSize_);
    ::SendMessageA(wnd, TBM_SETPOS, TRUE, position_);
}

void TTrackBar::DestroyWnd()
{
    if (HandleAllocated())
        position_ = static_cast<std::int32_t>(::SendMessageA(Handle(), TBM_GETPOS, 0, 0));
    TWinControl::DestroyWnd();
}

void TTrackBar::SetOrientation(TTrackBarOrientation v)
{
    if (v == orientation_)
        return;
    orientation_ = v;
    if (!ComponentState().Contains(rtl::csLoading))
        SetBounds(Left(), Top(), Height(), Width());
    RecreateWnd();
}

void TTrackBar::SetMin(std::int32_t v)
{
    min_ = v;
    if (max_ < min_)
        max_ = min_;
    if (HandleAllocated()) {
        ::SendMessageA(Handle(), TBM_SETRANGEMAX, FALSE, max_);
        ::SendMessageA(Handle(), TBM_SETRANGEMIN, TRUE, min_);
    }
    SetPosition(position_);
}

void TTrackBar::SetMax(std::int32_t v)
{
    max_ = v;
    if (min_ > max_)
        min_ = max_;
    if (HandleAllocated()) {
        ::SendMessageA(Handle(), TBM_SETRANGEMIN, FALSE, min_);
        ::SendMessageA(Handle(), TBM_SETRANGEMAX, TRUE, max_);
    }
    SetPosition(position_);
}

std::int32_t TTrackBar::Position()
{
    if (HandleAllocated())
        position_ = static_cast<std::int32_t>(::SendMessageA(Handle(), TBM_GETPOS, 0, 0));
    return position_;
}

void TTrackBar::SetPosition(std::int32_t v)
{
    v = std::clamp(v, min_, max_);
    std::int32_t old = position_;
    if (HandleAllocated())
        old = static_cast<std::int32_t>(::SendMessageA(Handle(), TBM_GETPOS, 0, 0));
    position_ = v;
    if (HandleAllocated())
        ::SendMessageA(Handle(), TBM_SETPOS, TRUE, v);
    if (old != v && !ComponentState().Contains(rtl::csLoading))
        Changed();
}

void TTrackBar::SetFrequency(std::int32_t v)
{
    frequency_ = std::max<std::int32_t>(v, 1);
    if (HandleAllocated())
        ::SendMessageA(Handle(), TBM_SETTICFREQ, static_cast<WPARAM>(frequency_), 0);
}

void TTrackBar::SetPageSize(std::int32_t v)
{
    pageSize_ = v;
    if (HandleAllocated())
        ::SendMessageA(Handle(), TBM_SETPAGESIZE, 0, v);
}

void TTrackBar::SetLineSize(std::int32_t v)
{
    lineSize_ = v;
    if (HandleAllocated())
        ::SendMessageA(Handle(), TBM_SETLINESIZE, 0, v);
}

void TTrackBar::Changed()
{
    if (OnChange)
        OnChange(this);
}

void TTrackBar::SyncPosition()
{
    std::int32_t now = static_cast<std::int32_t>(::SendMessageA(Handle(), TBM_GETPOS, 0, 0));
    if (now != position_) {
        position_ = now;
        Changed();
    }
}

void TTrackBar::WndProc(TMessage& m)
{
    if (m.Msg == CN_HSCROLL || m.Msg == CN_VSCROLL) {
        SyncPosition();
        return;
    }
    TWinControl::WndProc(m);
}

}  // namespace win
