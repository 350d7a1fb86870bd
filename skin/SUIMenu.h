// What the skinned menus share: their look (colours, heights, font) with the owner drawing of
// items, the flat menu border, the system menu font, the menu tick, and the skin-part lookups of
// the frame, title bar and menus.
#pragma once

#include "platform/win/ImgList.h"
#include "platform/win/Menus.h"
#include "skin/SUI2Define.h"
#include "skin/SUIMgr.h"
#include "skin/SUIThemes.h"

#include <cstdint>
#include <string>

namespace skin {

// A file theme's parts by SKIN2_ entry (colour entries 0 to 31, bitmaps 32 to 65, integers 66 to
// 74, booleans 75 to 83). A colour or integer the file lacks gives `fallback`.
win::TBitmap* ThemeBitmap(const TsuiFileTheme* theme, TSkin2Entry entry);
std::int32_t ThemeColor(const TsuiFileTheme* theme, TSkin2Entry entry, std::int32_t fallback);
std::int32_t ThemeInt(const TsuiFileTheme* theme, TSkin2Entry entry, std::int32_t fallback);
bool ThemeBool(const TsuiFileTheme* theme, TSkin2Entry entry);

// Points `field` at `value`, moving `self`'s free notification from the old component to the new.
template <class T>
void SetNotifiedRef(rtl::TComponent* self, T*& field, T* value)
{
    if (field && field != value)
        field->RemoveFreeNotification(self);
    field = value;
    if (value)
        value->FreeNotification(self);
}

// Fills or frames a rectangle in one colour.
void MenuFillRect(win::TCanvas& canvas, const win::TRect& rect, win::TColor color);
void MenuFrameRect(win::TCanvas& canvas, const win::TRect& rect, win::TColor color);
// The separator line at Top + 2, beside the left bar (or, right to left, before it).
void DrawMenuSeparator(win::TCanvas& canvas, const win::TRect& rect, int barWidth, win::TColor color,
                       bool rightToLeft);
// One of the MacOS menu pictures ("MACOS_MENU_BAR", "MACOS_MENU_SELECT") stretched over `rect`.
void DrawMacMenuPicture(win::TCanvas& canvas, const win::TRect& rect, const char* name);
// The flat border of a menu window, drawn on that window's own device context (never on the
// desktop's): an outer frame in `borderColor`, an inner white one whose bottom and right edges
// are redrawn in `shadowColor`. Nothing happens for a window that is not there.
void DrawFlatMenuBorder(HWND menuWindow, win::TColor borderColor, win::TColor shadowColor);
// The system's menu font into `font` (colour clMenuText); false, font untouched, when the system
// does not tell.
bool GetSystemMenuFont(win::TFont& font);
// "Ctrl+Shift+F5" and the like; empty for no shortcut.
std::string ShortCutText(win::TShortCut shortCut);

// The process-wide menu tick ("MENU_CHECKED", white for transparent); loaded by the menu unit's
// start-up, freed by its shut-down, nullptr outside them.
win::TBitmap* MenuTickBitmap();
void InitializeMenuUnit();
void FinalizeMenuUnit();

// The look of a skinned menu and how its items are measured and drawn: shared by the popup and
// the main menu, which publish these values.
class TsuiMenuLook {
public:
    std::int32_t MenuItemHeight = 21;
    std::int32_t SeparatorHeight = 21;
    std::int32_t BarWidth = 0;
    win::TColor BarColor = win::clBtnFace;
    win::TColor Color = win::clWhite;
    win::TColor SeparatorColor = 0x808080;
    win::TColor SelectedBorderColor = win::clHighlight;
    win::TColor SelectedColor = win::clHighlight;
    win::TColor SelectedFontColor = win::clWhite;
    win::TColor FontColor = win::clWhite;
    win::TColor BorderColor = 0;
    bool FlatMenu = false;
    std::string FontName = "MS Sans Serif";
    std::int32_t FontSize = 8;
    std::uint8_t FontCharset = DEFAULT_CHARSET;
    bool UseSystemFont = true;
    // The style the colours were last taken from (MacOS draws pictures).
    TsuiUIStyle DrawnStyle = DeepBlue;
    // Pictures by the items' ImageIndex, drawn in the bar beside them (not owned; nullptr for none).
    win::TCustomImageList* Images = nullptr;

    // Heights, bar width and colours of `uiStyle`, from `theme` when the style says so.
    void Apply(const TsuiFileTheme* theme, TsuiUIStyle uiStyle);
    // The font items are drawn with, into `font`.
    void ItemFont(win::TFont& font) const;
    void Measure(win::TMenuItem& item, win::TCanvas& canvas, std::int32_t& width, std::int32_t& height) const;
    // An item of a menu that reads right to left is drawn mirrored: the bar at the right, the
    // caption read right to left from the bar's side.
    void Draw(win::TMenuItem& item, win::TCanvas& canvas, const win::TRect& rect, bool selected) const;
};

// Gives every item of `root`'s tree the look's measure and draw handlers; nullptr takes them
// away again.
void HookMenuItems(win::TMenuItem* root, const TsuiMenuLook* look);

// A popup or main menu drawn with a TsuiMenuLook: always owner-drawn, every item (those added
// later too) measured and drawn by the look, the look applied from a style and a file theme.
template <class Base>
class TsuiSkinnedMenu : public Base {
public:
    explicit TsuiSkinnedMenu(rtl::TComponent* owner) : Base(owner), uiStyle_(GetFormUIStyle(owner))
    {
        Base::SetOwnerDraw(true);
    }
    ~TsuiSkinnedMenu() override
    {
        if (fileTheme_)
            fileTheme_->RemoveFreeNotification(this);
        // The items may outlive the menu (their owner is the form): they must not keep our look.
        HookMenuItems(this->Items(), nullptr);
    }

    bool OwnerDraw() const { return true; }
    void SetOwnerDraw(bool) {}
    TsuiFileTheme* FileTheme() const { return fileTheme_; }
    void SetFileTheme(TsuiFileTheme* value)
    {
        SetNotifiedRef(this, fileTheme_, value);
        SetUIStyle(uiStyle_);
    }
    TsuiUIStyle UIStyle() const { return uiStyle_; }
    virtual void SetUIStyle(TsuiUIStyle value)
    {
        uiStyle_ = value;
        look_.Apply(fileTheme_, value);
        this->MenuChanged();
    }

    std::int32_t MenuItemHeight() const { return look_.MenuItemHeight; }
    void SetMenuItemHeight(std::int32_t v) { Change(look_.MenuItemHeight, v); }
    std::int32_t SeparatorHeight() const { return look_.SeparatorHeight; }
    void SetSeparatorHeight(std::int32_t v) { Change(look_.SeparatorHeight, v); }
    std::int32_t BarWidth() const { return look_.BarWidth; }
    void SetBarWidth(std::int32_t v) { Change(look_.BarWidth, v); }
    win::TColor BarColor() const { return look_.BarColor; }
    void SetBarColor(win::TColor v) { look_.BarColor = v; }
    win::TColor Color() const { return look_.Color; }
    void SetColor(win::TColor v) { look_.Color = v; }
    win::TColor SeparatorColor() const { return look_.SeparatorColor; }
    void SetSeparatorColor(win::TColor v) { look_.SeparatorColor = v; }
    win::TColor SelectedBorderColor() const { return look_.SelectedBorderColor; }
    void SetSelectedBorderColor(win::TColor v) { look_.SelectedBorderColor = v; }
    win::TColor SelectedColor() const { return look_.SelectedColor; }
    void SetSelectedColor(win::TColor v) { look_.SelectedColor = v; }
    win::TColor SelectedFontColor() const { return look_.SelectedFontColor; }
    void SetSelectedFontColor(win::TColor v) { look_.SelectedFontColor = v; }
    win::TColor FontColor() const { return look_.FontColor; }
    void SetFontColor(win::TColor v) { look_.FontColor = v; }
    win::TColor BorderColor() const { return look_.BorderColor; }
    void SetBorderColor(win::TColor v) { look_.BorderColor = v; }
    bool FlatMenu() const { return look_.FlatMenu; }
    void SetFlatMenu(bool v) { look_.FlatMenu = v; }
    const std::string& FontName() const { return look_.FontName; }
    void SetFontName(const std::string& v) { Change(look_.FontName, v); }
    std::int32_t FontSize() const { return look_.FontSize; }
    void SetFontSize(std::int32_t v) { Change(look_.FontSize, v); }
    std::uint8_t FontCharset() const { return look_.FontCharset; }
    void SetFontCharset(std::uint8_t v) { Change(look_.FontCharset, v); }
    bool UseSystemFont() const { return look_.UseSystemFont; }
    virtual void SetUseSystemFont(bool v) { Change(look_.UseSystemFont, v); }

    const TsuiMenuLook& Look() const { return look_; }

    void MenuChanged() override
    {
        Base::MenuChanged();
        if (!this->ComponentState().Contains(rtl::csDestroying))
            HookMenuItems(this->Items(), &look_);
    }

    // The published look, in the order the menus declare it.
    template <class C, class Table>
    static void PublishLook(Table& t)
    {
        t.Property("OwnerDraw", &C::OwnerDraw, &C::SetOwnerDraw).Default(true);
        t.Property("FileTheme", &C::FileTheme, &C::SetFileTheme);
        t.Property("UIStyle", &C::UIStyle, &C::SetUIStyle);
        t.Property("MenuItemHeight", &C::MenuItemHeight, &C::SetMenuItemHeight).Default(21);
        t.Property("SeparatorHeight", &C::SeparatorHeight, &C::SetSeparatorHeight).Default(21);
        t.Property("BarWidth", &C::BarWidth, &C::SetBarWidth).Default(0);
        t.Property("BarColor", &C::BarColor, &C::SetBarColor)
            .Type(win::ColorTypeInfo())
            .Default(win::clBtnFace);
        t.Property("Color", &C::Color, &C::SetColor).Type(win::ColorTypeInfo()).Default(win::clWhite);
        t.Property("SeparatorColor", &C::SeparatorColor, &C::SetSeparatorColor)
            .Type(win::ColorTypeInfo())
            .Default(0x808080);
        t.Property("SelectedBorderColor", &C::SelectedBorderColor, &C::SetSelectedBorderColor)
            .Type(win::ColorTypeInfo())
            .Default(win::clHighlight);
        t.Property("SelectedColor", &C::SelectedColor, &C::SetSelectedColor)
            .Type(win::ColorTypeInfo())
            .Default(win::clHighlight);
        t.Property("SelectedFontColor", &C::SelectedFontColor, &C::SetSelectedFontColor)
            .Type(win::ColorTypeInfo())
            .Default(win::clWhite);
        t.Property("FontColor", &C::FontColor, &C::SetFontColor)
            .Type(win::ColorTypeInfo())
            .Default(win::clWhite);
        t.Property("BorderColor", &C::BorderColor, &C::SetBorderColor).Type(win::ColorTypeInfo()).Default(0);
        t.Property("FlatMenu", &C::FlatMenu, &C::SetFlatMenu).Default(false);
        t.Property("FontName", &C::FontName, &C::SetFontName);
        t.Property("FontSize", &C::FontSize, &C::SetFontSize).Default(8);
        t.Property("FontCharset", &C::FontCharset, &C::SetFontCharset)
            .Type(win::CharsetTypeInfo())
            .Default(DEFAULT_CHARSET);
        t.Property("UseSystemFont", &C::UseSystemFont, &C::SetUseSystemFont).Default(true);
    }

protected:
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override
    {
        Base::Notification(component, operation);
        if (operation == rtl::opRemove && component == fileTheme_) {
            fileTheme_ = nullptr;
            SetUIStyle(DeepBlue);
        }
    }
    void Loaded() override
    {
        Base::Loaded();
        SetUIStyle(uiStyle_);
    }
    TsuiMenuLook& MutableLook() { return look_; }

private:
    template <class T, class V>
    void Change(T& field, const V& value)
    {
        if (field == value)
            return;
        field = value;
        this->MenuChanged();
    }

    TsuiMenuLook look_;
    TsuiUIStyle uiStyle_;
    TsuiFileTheme* fileTheme_ = nullptr;  // not owned
};

}  // namespace skin
