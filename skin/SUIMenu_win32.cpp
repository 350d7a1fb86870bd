// The skinned menus' shared look and drawing.
#include "skin/SUIMenu.h"

#include "platform/rtl/Win32.h"
#include "platform/win/Handles.h"

#include <algorithm>
#include <memory>

namespace skin {

namespace {

std::unique_ptr<win::TBitmap>& TickHolder()
{
    static std::unique_ptr<win::TBitmap> tick;
    return tick;
}

std::string KeyName(std::uint16_t key)
{
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z'))
        return std::string(1, static_cast<char>(key));
    if (key >= VK_F1 && key <= VK_F24)
        return "F" + std::to_string(key - VK_F1 + 1);
    switch (key) {
    case VK_BACK: return "BkSp";
    case VK_TAB: return "Tab";
    case VK_RETURN: return "Enter";
    case VK_ESCAPE: return "Esc";
    case VK_SPACE: return "Space";
    case VK_PRIOR: return "PgUp";
    case VK_NEXT: return "PgDn";
    case VK_END: return "End";
    case VK_HOME: return "Home";
    case VK_LEFT: return "Left";
    case VK_UP: return "Up";
    case VK_RIGHT: return "Right";
    case VK_DOWN: return "Down";
    case VK_INSERT: return "Ins";
    case VK_DELETE: return "Del";
    default: break;
    }
    const UINT scan = ::MapVirtualKeyA(key, 0);
    char name[64] = {};
    if (scan && ::GetKeyNameTextA(static_cast<LONG>(scan << 16), name, sizeof name) > 0)
        return name;
    return {};
}

}  // namespace

win::TBitmap* ThemeBitmap(const TsuiFileTheme* theme, TSkin2Entry entry)
{
    return theme ? theme->GetBitmap(entry - kSkin2BitmapBase) : nullptr;
}

std::int32_t ThemeColor(const TsuiFileTheme* theme, TSkin2Entry entry, std::int32_t fallback)
{
    const std::int32_t v = theme ? theme->GetColor(entry - kSkin2ColorBase) : -1;
    return v == -1 ? fallback : v;
}

std::int32_t ThemeInt(const TsuiFileTheme* theme, TSkin2Entry entry, std::int32_t fallback)
{
    const std::int32_t v = theme ? theme->GetInt(entry - kSkin2IntegerBase) : -1;
    return v == -1 ? fallback : v;
}

bool ThemeBool(const TsuiFileTheme* theme, TSkin2Entry entry)
{
    return theme && theme->GetBool(entry - kSkin2BooleanBase);
}

void MenuFillRect(win::TCanvas& canvas, const win::TRect& rect, win::TColor color)
{
    canvas.Brush()->SetStyle(win::bsSolid);
    canvas.Brush()->SetColor(color);
    canvas.FillRect(rect);
}

void MenuFrameRect(win::TCanvas& canvas, const win::TRect& rect, win::TColor color)
{
    canvas.Brush()->SetStyle(win::bsSolid);
    canvas.Brush()->SetColor(color);
    canvas.FrameRect(rect);
}

void DrawMenuSeparator(win::TCanvas& canvas, const win::TRect& rect, int barWidth, win::TColor color,
                       bool rightToLeft)
{
    const int y = rect.Top + 2;
    canvas.Pen()->SetStyle(win::psSolid);
    canvas.Pen()->SetColor(color);
    if (rightToLeft) {
        canvas.MoveTo(rect.Left + 2, y);
        canvas.LineTo(rect.Right - barWidth - 4, y);
    } else {
        canvas.MoveTo(rect.Left + barWidth + 4, y);
        canvas.LineTo(rect.Right - 2, y);
    }
}

void DrawMacMenuPicture(win::TCanvas& canvas, const win::TRect& rect, const char* name)
{
    win::TBitmap picture;
    if (LoadBuiltInBitmap(name, &picture) && !picture.Empty())
        canvas.StretchDraw(rect, &picture);
}

void DrawFlatMenuBorder(HWND menuWindow, win::TColor borderColor, win::TColor shadowColor)
{
    if (!menuWindow || !::IsWindow(menuWindow))
        return;
    win::WindowDC dc(menuWindow, true);
    if (!dc)
        return;
    RECT r;
    ::GetWindowRect(menuWindow, &r);
    ::OffsetRect(&r, -r.left, -r.top);
    win::FrameSolidRect(dc.Get(), r, win::ColorToRGB(borderColor));
    ::InflateRect(&r, -1, -1);
    win::FrameSolidRect(dc.Get(), r, RGB(255, 255, 255));
    const COLORREF shadow = win::ColorToRGB(shadowColor);
    win::FillSolidRect(dc.Get(), RECT{r.left, r.bottom - 1, r.right, r.bottom}, shadow);
    win::FillSolidRect(dc.Get(), RECT{r.right - 1, r.top, r.right, r.bottom}, shadow);
}

bool GetSystemMenuFont(win::TFont& font)
{
    // The structure as it was before the padded border width: every system fills these bytes.
    NONCLIENTMETRICSA metrics{};
    constexpr UINT kSize = 340;
    static_assert(sizeof metrics >= kSize);
    metrics.cbSize = kSize;
    if (!::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, kSize, &metrics, 0))
        return false;
    win::OwnedFont handle(::CreateFontIndirectA(&metrics.lfMenuFont));
    if (!handle)
        return false;
    font.SetHandle(handle.Get());
    font.SetColor(win::clMenuText);
    return true;
}

std::string ShortCutText(win::TShortCut shortCut)
{
    const std::uint16_t key = shortCut & 0xFF;
    if (key == 0)
        return {};
    std::string text;
    if (shortCut & win::scCtrl)
        text += "Ctrl+";
    if (shortCut & win::scShift)
        text += "Shift+";
    if (shortCut & win::scAlt)
        text += "Alt+";
    const std::string name = KeyName(key);
    return name.empty() ? std::string() : text + name;
}

win::TBitmap* MenuTickBitmap() { return TickHolder().get(); }

void InitializeMenuUnit()
{
    auto tick = std::make_unique<win::TBitmap>();
    if (LoadBuiltInBitmap("MENU_CHECKED", tick.get()))
        TickHolder() = std::move(tick);
}

void FinalizeMenuUnit() { TickHolder().reset(); }

// ---- TsuiMenuLook ----

void TsuiMenuLook::Apply(const TsuiFileTheme* theme, TsuiUIStyle uiStyle)
{
    TsuiUIStyle style = DeepBlue;
    const bool fromFile = UsesFileTheme(theme, uiStyle, style);
    DrawnStyle = style;
    BarWidth = 26;
    if (style == MacOS) {
        MenuItemHeight = 20;
        SeparatorHeight = 12;
        SeparatorColor = 0;
    } else {
        MenuItemHeight = 21;
        SeparatorHeight = 5;
        SeparatorColor = 0x848284;
    }
    if (fromFile) {
        BarColor = ThemeColor(theme, SKIN2_LEFTBARSTARTCOLOR, BarColor);
        Color = ThemeColor(theme, SKIN2_MENUITEMCOLOR, Color);
        FontColor = ThemeColor(theme, SKIN2_MENUITEMFONTCOLOR, FontColor);
        SelectedBorderColor = ThemeColor(theme, SKIN2_SELECTEDMENUBORDERCOLOR, SelectedBorderColor);
        SelectedColor = ThemeColor(theme, SKIN2_SELECTEDMENUCOLOR, SelectedColor);
        SelectedFontColor = ThemeColor(theme, SKIN2_SELECTEDMENUFONTCOLOR, SelectedFontColor);
        return;
    }
    BarColor = GetBuiltInThemeColor(style, SUI_THEME_MENU_LEFTBAR_COLOR);
    Color = GetBuiltInThemeColor(style, SUI_THEME_MENU_BACKGROUND_COLOR);
    FontColor = GetBuiltInThemeColor(style, SUI_THEME_MENU_FONT_COLOR);
    SelectedBorderColor = GetBuiltInThemeColor(style, SUI_THEME_MENU_SELECTED_BORDER_COLOR);
    SelectedColor = GetBuiltInThemeColor(style, SUI_THEME_MENU_SELECTED_BACKGROUND_COLOR);
    SelectedFontColor = GetBuiltInThemeColor(style, SUI_THEME_MENU_SELECTED_FONT_COLOR);
}

void TsuiMenuLook::ItemFont(win::TFont& font) const
{
    if (UseSystemFont && GetSystemMenuFont(font))
        return;
    font.SetName(FontName);
    font.SetSize(FontSize);
    font.SetCharset(FontCharset);
    font.SetStyle({});
}

void TsuiMenuLook::Measure(win::TMenuItem& item, win::TCanvas& canvas, std::int32_t& width,
                           std::int32_t& height) const
{
    if (item.IsLine()) {
        height = SeparatorHeight;
        width = BarWidth + 40;
        return;
    }
    win::TFont font;
    ItemFont(font);
    canvas.Font()->Assign(&font);
    const SIZE caption = canvas.TextExtent(item.Caption());
    const std::string shortcut = ShortCutText(item.ShortCutValue());
    const int shortcutWidth = shortcut.empty() ? 0 : canvas.TextWidth(shortcut);
    height = std::max<std::int32_t>(caption.cy, MenuItemHeight);
    width = caption.cx + shortcutWidth + BarWidth + 40;
}

void TsuiMenuLook::Draw(win::TMenuItem& item, win::TCanvas& canvas, const win::TRect& rect,
                        bool selected) const
{
    win::TFont font;
    ItemFont(font);
    canvas.Font()->Assign(&font);
    const bool mac = DrawnStyle == MacOS;
    const win::TMenu* menu = item.GetParentMenu();
    const bool rightToLeft = menu && menu->UseRightToLeftReading();
    if (mac)
        DrawMacMenuPicture(canvas, rect, "MACOS_MENU_BAR");
    else
        MenuFillRect(canvas, rect, Color);
    const int barWidth = std::clamp<int>(BarWidth, 0, std::max<int>(rect.Width(), 0));
    const win::TRect bar = rightToLeft ? win::TRect{rect.Right - barWidth, rect.Top, rect.Right, rect.Bottom}
                                       : win::TRect{rect.Left, rect.Top, rect.Left + barWidth, rect.Bottom};
    if (!bar.IsEmpty())
        MenuFillRect(canvas, bar, BarColor);
    if (item.IsLine()) {
        DrawMenuSeparator(canvas, rect, BarWidth, SeparatorColor, rightToLeft);
    } else {
        const bool highlighted = selected && item.Enabled();
        if (highlighted) {
            if (mac) {
                DrawMacMenuPicture(canvas, rect, "MACOS_MENU_SELECT");
            } else {
                MenuFillRect(canvas, rect, SelectedColor);
                MenuFrameRect(canvas, rect, SelectedBorderColor);
            }
        }
        win::TColor ink = highlighted ? SelectedFontColor : FontColor;
        if (!item.Enabled())
            ink = 0x808080;
        canvas.Font()->SetColor(ink);
        canvas.Brush()->SetStyle(win::bsClear);
        win::TRect text = rightToLeft
                              ? win::TRect{rect.Left + 10, rect.Top, rect.Right - BarWidth - 8, rect.Bottom}
                              : win::TRect{rect.Left + BarWidth + 8, rect.Top, rect.Right - 10, rect.Bottom};
        const UINT reading = rightToLeft ? DT_RTLREADING : 0u;
        canvas.DrawText(item.Caption(), text,
                        DT_SINGLELINE | DT_VCENTER | (rightToLeft ? DT_RIGHT : DT_LEFT) | reading);
        const std::string shortcut = ShortCutText(item.ShortCutValue());
        if (!shortcut.empty())
            canvas.DrawText(
                shortcut, text,
                DT_SINGLELINE | DT_VCENTER | (rightToLeft ? DT_LEFT : DT_RIGHT) | DT_NOPREFIX | reading);
        // The item's picture in the bar, else its tick when checked.
        const std::int32_t image = item.ImageIndex;
        if (Images && image >= 0 && image < Images->Count()) {
            const int x = bar.Left + std::max(0, (bar.Width() - Images->Width()) / 2);
            const int y = rect.Top + std::max(0, (rect.Height() - Images->Height()) / 2);
            Images->Draw(&canvas, x, y, image, item.Enabled());
        } else if (item.Checked()) {
            if (win::TBitmap* tick = MenuTickBitmap(); tick && !tick->Empty()) {
                const int x = bar.Left + std::max(0, (bar.Width() - tick->Width()) / 2);
                const int y = rect.Top + std::max(0, (rect.Height() - tick->Height()) / 2);
                ::TransparentBlt(canvas.Handle(), x, y, tick->Width(), tick->Height(),
                                 tick->Canvas()->Handle(), 0, 0, tick->Width(), tick->Height(),
                                 RGB(255, 255, 255));
            }
        }
    }
    if (FlatMenu)
        DrawFlatMenuBorder(::WindowFromDC(canvas.Handle()), BorderColor, SeparatorColor);
}

void HookMenuItems(win::TMenuItem* root, const TsuiMenuLook* look)
{
    if (!root)
        return;
    for (std::int32_t i = 0; i < root->Count(); ++i) {
        win::TMenuItem* item = root->Items(i);
        if (look) {
            item->OnDrawItem = [look](rtl::TObject* sender, win::TCanvas* canvas, win::TRect rect,
                                      bool selected) {
                look->Draw(*static_cast<win::TMenuItem*>(sender), *canvas, rect, selected);
            };
            item->OnMeasureItem = [look](rtl::TObject* sender, win::TCanvas* canvas, std::int32_t& w,
                                         std::int32_t& h) {
                look->Measure(*static_cast<win::TMenuItem*>(sender), *canvas, w, h);
            };
        } else {
            item->OnDrawItem = nullptr;
            item->OnMeasureItem = nullptr;
        }
        HookMenuItems(item, look);
    }
}

}  // namespace skin
