// The skinned combo box over the system's combo box.
#include "skin/SUIComboBox.h"

#include "platform/rtl/Win32.h"
#include "platform/win/Handles.h"
#include "skin/SUI2Define.h"
#include "skin/SUIPublic.h"

namespace skin {

namespace {

constexpr win::TColor kEmbossLight = win::clWhite;
constexpr win::TColor kEmbossShade = 0x808080;

void FrameRect(HDC dc, const RECT& r, win::TColor color)
{
    win::FrameSolidRect(dc, r, win::ColorToRGB(color));
}

void Triangle(HDC dc, int x, int y, win::TColor color)
{
    const COLORREF c = win::ColorToRGB(color);
    win::OwnedPen pen(::CreatePen(PS_SOLID, 1, c));
    win::OwnedBrush brush(::CreateSolidBrush(c));
    win::SelectGuard usePen(dc, pen.Get());
    win::SelectGuard useBrush(dc, brush.Get());
    const POINT points[] = {{x, y}, {x + 6, y}, {x + 3, y + 3}};
    ::Polygon(dc, points, 3);
}

}  // namespace

void TsuiCustomComboBox::Publish(Table& t)
{
    t.Property(RTL_GET_SET(FileTheme));
    t.Property(RTL_GET_SET(UIStyle));
    t.Property(RTL_GET_SET(BorderColor)).Type(win::ColorTypeInfo());
    t.Property(RTL_GET_SET(ArrowColor)).Type(win::ColorTypeInfo());
    t.Property(RTL_GET_SET(ButtonColor)).Type(win::ColorTypeInfo());
}

void TsuiComboBox::Publish(Table& t) { t.Creatable(); }

TsuiCustomComboBox::TsuiCustomComboBox(rtl::TComponent* owner) : win::TCustomComboBox(owner), link_(*this)
{
    controlStyle_.Include(win::csOpaque);
    link_.SetUIStyle(GetFormUIStyle(owner));
    SetUIStyle(UIStyle());
}

TsuiCustomComboBox::~TsuiCustomComboBox() { list_.Detach(); }

void TsuiCustomComboBox::SetUIStyle(TsuiUIStyle value)
{
    link_.SetUIStyle(value);
    arrowColor_ = win::clBlack;
    TsuiUIStyle style;
    if (link_.UsesFile(style)) {
        borderColor_ = ThemeColor(*FileTheme(), SKIN2_CONTROLBORDERCOLOR, win::clBlack);
        buttonColor_ = ThemeColor(*FileTheme(), SKIN2_CONTROLCOLOR, win::clBtnFace);
    } else {
        borderColor_ = GetBuiltInThemeColor(style, SUI_THEME_CONTROL_BORDER_COLOR);
        buttonColor_ = GetBuiltInThemeColor(style, SUI_THEME_FORM_BACKGROUND_COLOR);
    }
    Invalidate();
}

void TsuiCustomComboBox::SetFileTheme(TsuiFileTheme* value)
{
    link_.SetFileTheme(value);
    SetUIStyle(UIStyle());
}

void TsuiCustomComboBox::SetBorderColor(win::TColor value)
{
    rtl::SetAndNotify(borderColor_, value, this, &Self::Invalidate);
}

void TsuiCustomComboBox::SetArrowColor(win::TColor value)
{
    rtl::SetAndNotify(arrowColor_, value, this, &Self::Invalidate);
}

void TsuiCustomComboBox::SetButtonColor(win::TColor value)
{
    rtl::SetAndNotify(buttonColor_, value, this, &Self::Invalidate);
}

void TsuiCustomComboBox::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    win::TCustomComboBox::Notification(component, operation);
    if (link_.Removed(component, operation) && !ComponentState().Contains(rtl::csDestroying))
        SetUIStyle(DeepBlue);
}

void TsuiCustomComboBox::DestroyWnd()
{
    list_.Detach();
    win::TCustomComboBox::DestroyWnd();
}

bool TsuiCustomComboBox::ArrowOrigin(win::TPoint& origin)
{
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (!HandleAllocated() || !CallGetComboBoxInfo(Handle(), &info))
        return false;
    const RECT& b = info.rcButton;
    // Centred in the button rectangle, wherever the system puts that rectangle.
    origin = {(b.right - b.left) / 2 + b.left - 3, (b.bottom - b.top) / 2 + b.top};
    return true;
}

void TsuiCustomComboBox::HookList(HWND list)
{
    if (!list || list_.Window() == list)
        return;
    try {
        list_.Attach(list, [this](win::TMessage& m) { return ListMessage(m); });
    } catch (const rtl::EInvalidOperation&) {
        // Someone else already watches the list: it keeps the system's frame.
    }
}

bool TsuiCustomComboBox::ListMessage(win::TMessage& m)
{
    if (m.Msg != WM_NCPAINT && m.Msg != WM_NCACTIVATE)
        return false;
    list_.CallDefault(m);
    FrameList();
    return true;
}

void TsuiCustomComboBox::FrameList()
{
    HWND list = list_.Window();
    if (!list || !::IsWindowVisible(list))
        return;
    // On the list's own window, which clips it to what the list shows.
    win::WindowDC dc(list, true);
    RECT r;
    ::GetWindowRect(list, &r);
    ::OffsetRect(&r, -r.left, -r.top);
    FrameRect(dc.Get(), r, borderColor_);
}

void TsuiCustomComboBox::PaintSkin()
{
    if (Style() == win::csSimple || !HandleAllocated())
        return;
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (!CallGetComboBoxInfo(Handle(), &info))
        return;
    HookList(info.hwndList);
    win::WindowDC dc(Handle());
    RECT client;
    ::GetClientRect(Handle(), &client);
    FrameRect(dc.Get(), client, borderColor_);
    ::InflateRect(&client, -1, -1);
    FrameRect(dc.Get(), client, Color());

    const RECT& button = info.rcButton;
    TsuiUIStyle style;
    link_.UsesFile(style);
    if (style == MacOS || style == WinXP) {
        win::TBitmap face;
        LoadBuiltInBitmap(style == MacOS ? "MACOS_COMBOBOX_BUTTON" : "WINXP_COMBOBOX_BUTTON", &face);
        if (!face.Empty()) {
            const int old = ::SetStretchBltMode(dc.Get(), COLORONCOLOR);
            ::StretchBlt(dc.Get(), button.left, button.top, button.right - button.left,
                         button.bottom - button.top, face.Canvas()->Handle(), 0, 0, face.Width(),
                         face.Height(), SRCCOPY);
            ::SetStretchBltMode(dc.Get(), old);
        }
    } else {
        win::FillSolidRect(dc.Get(), button, win::ColorToRGB(buttonColor_));
        win::OwnedPen pen(::CreatePen(PS_SOLID, 1, win::ColorToRGB(borderColor_)));
        win::SelectGuard usePen(dc.Get(), pen.Get());
        // The line parts the button from the text: on the button's right edge when the text
        // reads right to left.
        const int x = UseRightToLeftReading() ? button.right - 1 : button.left;
        ::MoveToEx(dc.Get(), x, button.top - 1, nullptr);
        ::LineTo(dc.Get(), x, button.bottom + 1);
    }
    win::TPoint arrow;
    if (style != WinXP && ArrowOrigin(arrow)) {
        if (Enabled()) {
            Triangle(dc.Get(), arrow.X, arrow.Y, arrowColor_);
        } else {
            Triangle(dc.Get(), arrow.X + 1, arrow.Y + 1, kEmbossLight);
            Triangle(dc.Get(), arrow.X, arrow.Y, kEmbossShade);
        }
    }
}

void TsuiCustomComboBox::WndProc(win::TMessage& m)
{
    switch (m.Msg) {
    case WM_PAINT:
    case WM_ERASEBKGND:
        win::TCustomComboBox::WndProc(m);
        PaintSkin();
        return;
    case win::CM_ENABLEDCHANGED:
        win::TCustomComboBox::WndProc(m);
        Invalidate();
        return;
    default: break;
    }
    win::TCustomComboBox::WndProc(m);
}

}  // namespace skin
