// Utility windows: hidden windows whose messages go to a method (timers, the application's
// private messages, hook lists).
#include "platform/win/Controls.h"

#include "platform/win/Forms.h"

#include <map>
#include <utility>

namespace win {

namespace {

struct UtilityWindows {
    std::map<HWND, TWndMethod> methods;
};

UtilityWindows& Utility()
{
    static UtilityWindows u;
    return u;
}

LRESULT CALLBACK UtilityWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto it = Utility().methods.find(wnd);
    if (it == Utility().methods.end() || !it->second)
        return ::DefWindowProcA(wnd, msg, wParam, lParam);
    TMessage m{msg, wParam, lParam, 0};
    TWndMethod method = it->second;  // the handler may deallocate the window
    try {
        method(m);
    } catch (...) {
        HandleControlException(nullptr);
    }
    return m.Result;
}

}  // namespace

HWND AllocateHWnd(TWndMethod method)
{
    static bool registered = false;
    constexpr const char* kClass = "VaUtilWindow";
    if (!registered) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = UtilityWndProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = kClass;
        ::RegisterClassA(&wc);
        registered = true;
    }
    HWND wnd = ::CreateWindowExA(WS_EX_TOOLWINDOW, kClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 ::GetModuleHandleA(nullptr), nullptr);
    if (!wnd)
        throw rtl::Exception("Error creating window");
    Utility().methods[wnd] = std::move(method);
    return wnd;
}

void DeallocateHWnd(HWND wnd)
{
    if (!wnd)
        return;
    Utility().methods.erase(wnd);
    ::DestroyWindow(wnd);
}

}  // namespace win
