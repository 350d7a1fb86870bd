// Seeing the messages of a window that has no control of ours.
#include "platform/win/WindowSubclass.h"

#include "platform/rtl/Exceptions.h"
#include "platform/win/Forms.h"

namespace win {

namespace {

constexpr const char* kSubclassProp = "VaWindowSubclass";
// The window's own procedure, kept for as long as our procedure stays in its chain.
constexpr const char* kOldProcProp = "VaWindowSubclassProc";

}  // namespace

void TWindowSubclass::Attach(HWND wnd, THandler handler)
{
    Detach();
    if (!wnd || !::IsWindow(wnd))
        throw rtl::EInvalidOperation("No window to subclass");
    if (::GetPropA(wnd, kSubclassProp) || ::GetPropA(wnd, kOldProcProp))
        throw rtl::EInvalidOperation("The window is already subclassed");
    handler_ = std::move(handler);
    wnd_ = wnd;
    ::SetPropA(wnd, kSubclassProp, this);
    old_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWindowSubclass::Proc)));
    ::SetPropA(wnd, kOldProcProp, reinterpret_cast<HANDLE>(old_));
}

void TWindowSubclass::Detach()
{
    if (!wnd_)
        return;
    // Someone who subclassed the window after us still calls our procedure: it stays in the
    // chain and passes everything to the window's own procedure from then on.
    if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(wnd_, GWLP_WNDPROC)) == &TWindowSubclass::Proc) {
        ::SetWindowLongPtrA(wnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old_));
        ::RemovePropA(wnd_, kOldProcProp);
    }
    ::RemovePropA(wnd_, kSubclassProp);
    wnd_ = nullptr;
}

void TWindowSubclass::CallDefault(TMessage& m)
{
    m.Result = wnd_ && old_ ? ::CallWindowProcA(old_, wnd_, m.Msg, m.WParam, m.LParam) : 0;
}

LRESULT CALLBACK TWindowSubclass::Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = static_cast<TWindowSubclass*>(::GetPropA(wnd, kSubclassProp));
    if (!self) {
        auto old = reinterpret_cast<WNDPROC>(::GetPropA(wnd, kOldProcProp));
        if (msg == WM_NCDESTROY)
            ::RemovePropA(wnd, kOldProcProp);
        return old ? ::CallWindowProcA(old, wnd, msg, wParam, lParam)
                   : ::DefWindowProcA(wnd, msg, wParam, lParam);
    }
    TMessage m{msg, wParam, lParam, 0};
    const WNDPROC old = self->old_;
    if (msg == WM_NCDESTROY) {
        self->Detach();
        return ::CallWindowProcA(old, wnd, msg, wParam, lParam);
    }
    try {
        if (self->handler_ && self->handler_(m))
            return m.Result;
    } catch (...) {
        HandleControlException(nullptr);
    }
    return ::CallWindowProcA(old, wnd, msg, wParam, lParam);
}

}  // namespace win
