// Shared by the tests of the skinned frame, title bar and menus: a form with a frame read from a
// description, message pumping, window captures and the styles to run through.
#pragma once

#include "platform/rtl/FormText.h"
#include "platform/rtl/Streams.h"
#include "platform/win/Forms.h"
#include "skin/SUIForm.h"
#include "skin/SUIMgr.h"
#include "tests/platform/win/DcCapture.h"
#include "tests/platform/win/MessagePump.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace skintest {

inline const skin::TsuiUIStyle kBuiltInStyles[] = {skin::MacOS, skin::WinXP, skin::DeepBlue, skin::Protein,
                                                   skin::BlueGlass};

inline void Pump()
{
    for (int i = 0; i < 10; ++i)
        win::Application->ProcessMessages();
}

using wintest::Capture;
using wintest::CaptureDC;
using wintest::PumpUntil;

// The whole window, its frame included.
inline Capture CaptureWindow(HWND wnd)
{
    RECT r;
    ::GetWindowRect(wnd, &r);
    HDC dc = ::GetWindowDC(wnd);
    Capture c = CaptureDC(dc, 0, 0, r.right - r.left, r.bottom - r.top);
    ::ReleaseDC(wnd, dc);
    return c;
}

inline std::uint32_t Rgb(win::TColor color)
{
    const COLORREF c = win::ColorToRGB(color);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

// A bitmap's pixel as 0x00RRGGBB.
inline std::uint32_t BitmapPixel(win::TBitmap& b, int x, int y)
{
    const COLORREF c = ::GetPixel(b.Canvas()->Handle(), x, y);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

struct FormDeleter {
    void operator()(win::TCustomForm* f) const { delete f; }
};
using FormPtr = std::unique_ptr<win::TForm, FormDeleter>;

// A sizeable form with a frame named suiForm1, read from a description, as the main window is.
inline FormPtr ReadFramedForm(const std::string& frameProps = "", const std::string& formProps = "",
                              const std::string& name = "FrameForm")
{
    FormPtr form(new win::TForm(win::Application));
    const std::string text = "object " + name + ": TForm\n" +
                             "  Left = 120\n  Top = 90\n  Width = 420\n  Height = 300\n"
                             "  Caption = 'Setup Assistant'\n" +
                             formProps +
                             "  object suiForm1: TsuiForm\n"
                             "    Caption = 'Setup Assistant'\n" +
                             frameProps +
                             "  end\n"
                             "end\n";
    rtl::TStringStream in(text);
    rtl::TMemoryStream bin;
    rtl::ObjectTextToBinary(in, bin);
    bin.SetPosition(0);
    form->ReadFromStream(bin);
    return form;
}

inline skin::TsuiForm* FrameOf(win::TCustomForm& form)
{
    return static_cast<skin::TsuiForm*>(form.FindComponent("suiForm1"));
}

}  // namespace skintest
