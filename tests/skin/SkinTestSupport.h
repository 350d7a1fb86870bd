// Shared by the tests of the skinned controls: forms read from text descriptions, message pumping,
// the styles each control is drawn in, and what a window shows, read back pixel by pixel.
#pragma once

#include "platform/rtl/FormText.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/Win32.h"
#include "platform/win/Forms.h"
#include "skin/SUIMgr.h"
#include "skin/SUIPublic.h"
#include "tests/platform/win/DcCapture.h"
#include "tests/platform/win/MessagePump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace skintest {

// The form's colour: no skin picture holds it, so wherever it shows inside a control, the control
// left that pixel unpainted, and wherever a control's paint shows outside its rectangle, it drew
// there.
inline constexpr COLORREF kSentinel = RGB(0, 255, 0);
inline constexpr win::TColor kSentinelColor = 0x0000FF00;

// The five built-in styles, then the program's own skin through a file theme.
inline const std::vector<skin::TsuiUIStyle>& AllStyles()
{
    static const std::vector<skin::TsuiUIStyle> styles = {
        skin::MacOS, skin::WinXP, skin::DeepBlue, skin::Protein, skin::BlueGlass, skin::FromThemeFile};
    return styles;
}

inline std::string StyleName(skin::TsuiUIStyle style)
{
    static const char* const names[] = {"FromThemeFile", "MacOS",   "WinXP",
                                        "DeepBlue",      "Protein", "BlueGlass"};
    return names[style];
}

using wintest::Pump;
using wintest::PumpUntil;

inline LPARAM At(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }

// Reads `text` into a new form owned by the application and shows it.
inline win::TForm* ShowForm(const std::string& text)
{
    auto* form = new win::TForm(win::Application);
    rtl::TStringStream in(text);
    rtl::TMemoryStream bin;
    rtl::ObjectTextToBinary(in, bin);
    bin.SetPosition(0);
    try {
        form->ReadFromStream(bin);
    } catch (...) {
        delete form;
        throw;
    }
    form->Show();
    Pump();
    return form;
}

// The head of a form description: a form in the sentinel colour at (x, y) with a client area of
// w x h, holding the program's skin as Theme1. Controls follow; close with "end\n".
inline std::string FormHead(int w, int h)
{
    return "object SkinForm: TForm\n"
           "  Left = 20\n  Top = 20\n"
           "  BorderStyle = bsSingle\n"
           "  ClientWidth = " +
           std::to_string(w) + "\n  ClientHeight = " + std::to_string(h) +
           "\n"
           "  Color = 65280\n"
           "  Font.Height = -11\n  Font.Name = 'Tahoma'\n"
           "  object Theme1: TsuiFileTheme\n    ThemeFile = '" VA_SKIN_FILE_PATH "'\n  end\n";
}

// The style lines of a control: "UIStyle = X" and, for the file theme, "FileTheme = Theme1".
inline std::string StyleLines(skin::TsuiUIStyle style)
{
    return "    UIStyle = " + StyleName(style) + "\n    FileTheme = Theme1\n";
}

// Pixels of a window read back after it has painted.
class Shot {
public:
    // The client area of `wnd`, everything on it painted first.
    explicit Shot(HWND wnd)
    {
        ::RedrawWindow(wnd, nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Pump();
        RECT r;
        ::GetClientRect(wnd, &r);
        HDC dc = ::GetDC(wnd);
        Read(dc, r.right, r.bottom);
        ::ReleaseDC(wnd, dc);
    }
    // The whole of `wnd`, non-client area included, as it is now.
    static Shot Window(HWND wnd)
    {
        RECT r;
        ::GetWindowRect(wnd, &r);
        HDC dc = ::GetWindowDC(wnd);
        Shot s(dc, r.right - r.left, r.bottom - r.top);
        ::ReleaseDC(wnd, dc);
        return s;
    }

    int Width() const { return width_; }
    int Height() const { return height_; }
    COLORREF At(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= width_ || y >= height_)
            return CLR_INVALID;
        const std::uint32_t p = pixels_[static_cast<std::size_t>(y) * width_ + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    int Count(const RECT& r, const std::function<bool(COLORREF)>& test) const
    {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                n += test(At(x, y));
        return n;
    }
    int Count(const RECT& r, COLORREF c) const
    {
        return Count(r, [c](COLORREF p) { return p == c; });
    }
    // Bounding box of the pixels of `c` within `r`; empty (left >= right) when none.
    RECT BoxOf(const RECT& r, COLORREF c) const
    {
        RECT box{r.right, r.bottom, r.left, r.top};
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (At(x, y) == c) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1);
                    box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
        return box;
    }

private:
    Shot(HDC dc, int w, int h) { Read(dc, w, h); }
    void Read(HDC dc, int w, int h)
    {
        wintest::Capture c = wintest::CaptureDC(dc, 0, 0, w, h);
        width_ = c.Width;
        height_ = c.Height;
        pixels_ = std::move(c.Data);
    }

    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

// The pixels of a bitmap as GDI reads them, for comparing with what a window shows.
inline COLORREF PixelOf(win::TBitmap& bitmap, int x, int y)
{
    return ::GetPixel(bitmap.Canvas()->Handle(), x, y);
}

// The control stayed inside its rectangle: the ring of pixels just outside `r` still shows the
// form, on all four sides.
inline void ExpectNothingOutside(const Shot& shot, const RECT& r, const std::string& what)
{
    int wrong = 0;
    for (int x = r.left - 1; x <= r.right; ++x) {
        wrong += shot.At(x, r.top - 1) != kSentinel;
        wrong += shot.At(x, r.bottom) != kSentinel;
    }
    for (int y = r.top; y < r.bottom; ++y) {
        wrong += shot.At(r.left - 1, y) != kSentinel;
        wrong += shot.At(r.right, y) != kSentinel;
    }
    EXPECT_EQ(wrong, 0) << what << ": pixels around the control are not the form's";
}

// Every pixel of `r` was painted.
inline void ExpectAllPainted(const Shot& shot, const RECT& r, const std::string& what)
{
    EXPECT_EQ(shot.Count(r, kSentinel), 0) << what << ": pixels left unpainted";
}

inline RECT RectOf(const win::TControl& c)
{
    return RECT{c.Left(), c.Top(), c.Left() + c.Width(), c.Top() + c.Height()};
}

// A test around one form read from a description: the form (deleted when the test ends), its file
// theme Theme1, its components by name and its picture.
struct FormFixture : ::testing::Test {
    void TearDown() override { delete form; }
    // Shows the form of a whole description.
    void Show(const std::string& text)
    {
        form = ShowForm(text);
        theme = static_cast<skin::TsuiFileTheme*>(form->FindComponent("Theme1"));
    }
    // Shows FormHead(w, h) with Body's components.
    void ShowBody(const std::string& body, int w, int h) { Show(FormHead(w, h) + body + "end\n"); }
    template <class T>
    T* Find(const char* name)
    {
        return static_cast<T*>(form->FindComponent(name));
    }
    Shot Take() { return Shot(form->Handle()); }

    win::TForm* form = nullptr;
    skin::TsuiFileTheme* theme = nullptr;
};

}  // namespace skintest
