// Where windows are, as the system says: for tests that judge forms by their geometry.
#pragma once

#include "platform/rtl/Win32.h"

namespace wintest {

inline RECT WindowRectOf(HWND wnd)
{
    RECT r;
    ::GetWindowRect(wnd, &r);
    return r;
}

// `wnd`'s window rectangle in the client coordinates of its parent (an MDI child's in its client's).
inline RECT RectInParent(HWND wnd)
{
    RECT r = WindowRectOf(wnd);
    ::MapWindowPoints(nullptr, ::GetParent(wnd), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

inline RECT ClientRectOf(HWND wnd)
{
    RECT r;
    ::GetClientRect(wnd, &r);
    return r;
}

}  // namespace wintest
