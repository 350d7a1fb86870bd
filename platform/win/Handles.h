// Owning wrappers and scope guards for GDI objects, device contexts and registry keys.
#pragma once

#include "platform/rtl/Win32.h"

#include <utility>

namespace win {

// Owns one handle and closes it through Traits::Close. A raw handle of the same type is the
// borrowing view: it never closes anything, and a member holding one says "not owned".
template <class Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle h) noexcept : handle_(h) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle Get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Handle{}; }

    // Gives up ownership without closing, e.g. after SetWindowRgn took the region.
    Handle Release() noexcept { return std::exchange(handle_, Handle{}); }
    void Reset(Handle h = Handle{}) noexcept
    {
        Handle old = std::exchange(handle_, h);
        if (old != Handle{})
            Traits::Close(old);
    }

private:
    Handle handle_{};
};

template <class T>
struct GdiObjectTraits {
    using Handle = T;
    static void Close(T h) noexcept { ::DeleteObject(h); }
};

struct MemoryDCTraits {
    using Handle = HDC;
    static void Close(HDC h) noexcept { ::DeleteDC(h); }
};

struct RegKeyTraits {
    using Handle = HKEY;
    static void Close(HKEY h) noexcept { ::RegCloseKey(h); }
};

using OwnedBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using OwnedFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using OwnedPen = UniqueHandle<GdiObjectTraits<HPEN>>;
using OwnedBrush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using OwnedRegion = UniqueHandle<GdiObjectTraits<HRGN>>;
using OwnedPalette = UniqueHandle<GdiObjectTraits<HPALETTE>>;
// A DC from CreateCompatibleDC or CreateDC; window DCs use WindowDC instead.
using OwnedDC = UniqueHandle<MemoryDCTraits>;
using OwnedKey = UniqueHandle<RegKeyTraits>;

// Fills R, or draws its one-pixel frame, in one colour, with a brush made for the call.
inline void FillSolidRect(HDC dc, const RECT& r, COLORREF colour)
{
    OwnedBrush brush(::CreateSolidBrush(colour));
    ::FillRect(dc, &r, brush.Get());
}

inline void FrameSolidRect(HDC dc, const RECT& r, COLORREF colour)
{
    OwnedBrush brush(::CreateSolidBrush(colour));
    ::FrameRect(dc, &r, brush.Get());
}

// A window's DC from GetDC/GetWindowDC, released to that window on scope exit.
class WindowDC {
public:
    // Client area DC (GetDC); wholeWindow takes the non-client area too (GetWindowDC).
    explicit WindowDC(HWND wnd, bool wholeWindow = false) noexcept
        : wnd_(wnd), dc_(wholeWindow ? ::GetWindowDC(wnd) : ::GetDC(wnd))
    {
    }
    ~WindowDC()
    {
        if (dc_)
            ::ReleaseDC(wnd_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC Get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND wnd_;  // not owned
    HDC dc_;
};

// Selects an object into a DC and puts the previous one back on scope exit, so the selected
// object can be deleted afterwards. Declare the guard after the object it selects.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), old_(obj ? ::SelectObject(dc, obj) : nullptr) {}
    ~SelectGuard()
    {
        if (old_ && old_ != HGDI_ERROR)
            ::SelectObject(dc_, old_);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    HDC dc_;       // not owned
    HGDIOBJ old_;  // not owned: belonged to the DC before
};

// SaveDC / RestoreDC pair: modes, clipping and selections come back as they were.
class SaveDCGuard {
public:
    explicit SaveDCGuard(HDC dc) noexcept : dc_(dc), saved_(::SaveDC(dc)) {}
    ~SaveDCGuard()
    {
        if (saved_)
            ::RestoreDC(dc_, saved_);
    }
    SaveDCGuard(const SaveDCGuard&) = delete;
    SaveDCGuard& operator=(const SaveDCGuard&) = delete;

private:
    HDC dc_;  // not owned
    int saved_;
};

}  // namespace win
