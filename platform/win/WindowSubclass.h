// Seeing the messages of a window that has no control of ours: the list of a combo box, a menu.
#pragma once

#include "platform/win/Messages.h"

#include <functional>

namespace win {

// Puts `handler` in front of a window's own procedure until Detach, destruction of this object,
// or the window's end (WM_NCDESTROY), whichever comes first. The handler sees each message
// first and returns true when it has dealt with it (Result set); otherwise, or when it calls
// CallDefault itself, the window's own procedure runs. One subclass per window at a time:
// attaching a second raises rtl::EInvalidOperation. An exception from the handler goes to the
// application's handler, never through the system's frames.
class TWindowSubclass {
public:
    using THandler = std::function<bool(TMessage& message)>;

    TWindowSubclass() = default;
    ~TWindowSubclass() { Detach(); }
    TWindowSubclass(const TWindowSubclass&) = delete;
    TWindowSubclass& operator=(const TWindowSubclass&) = delete;

    void Attach(HWND wnd, THandler handler);
    void Detach();
    HWND Window() const { return wnd_; }
    bool Attached() const { return wnd_ != nullptr; }
    // The window's own procedure for `message`, its result stored in message.Result.
    void CallDefault(TMessage& message);

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND wnd_ = nullptr;     // not owned
    WNDPROC old_ = nullptr;  // the window's own procedure
    THandler handler_;
};

}  // namespace win
