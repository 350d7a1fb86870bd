// Menus: items, the main menu of a form and popup menus, with owner drawing.
#pragma once

#include "platform/rtl/Component.h"
#include "platform/win/Controls.h"
#include "platform/win/Graphics.h"

#include <cstdint>
#include <string>
#include <vector>

namespace win {

class TMenu;

// Key code in the low byte, modifiers in the high bits.
using TShortCut = std::uint16_t;
inline constexpr TShortCut scShift = 0x2000;
inline constexpr TShortCut scCtrl = 0x4000;
inline constexpr TShortCut scAlt = 0x8000;
TShortCut ShortCut(std::uint16_t key, TShiftState shift);

enum TMenuAutoFlag { maAutomatic, maManual, maParent };
RTL_ENUM_INFO(TMenuAutoFlag, "maAutomatic", "maManual", "maParent")
enum TPopupAlignment { paLeft, paRight, paCenter };
RTL_ENUM_INFO(TPopupAlignment, "paLeft", "paRight", "paCenter")

using TMenuDrawItemEvent =
    rtl::TEvent<void(rtl::TObject* Sender, TCanvas* ACanvas, TRect ARect, bool Selected)>;
using TMenuMeasureItemEvent =
    rtl::TEvent<void(rtl::TObject* Sender, TCanvas* ACanvas, std::int32_t& Width, std::int32_t& Height)>;

// One menu entry; its sub-items are its children. A caption of "-" is a separator.
// Items belong to their owner component like any other; a parent item frees the sub-items
// it holds when it dies.
class TMenuItem : public rtl::TComponent {
    RTL_DECLARE_CLASS(TMenuItem, rtl::TComponent)

public:
    explicit TMenuItem(rtl::TComponent* owner);
    ~TMenuItem() override;

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& v) { rtl::SetAndNotify(caption_, v, this, &Self::Changed); }
    // Checking a radio item unchecks the others of its group.
    bool Checked() const { return checked_; }
    void SetChecked(bool v);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool v) { rtl::SetAndNotify(enabled_, v, this, &Self::Changed); }
    bool Visible() const { return visible_; }
    void SetVisible(bool v) { rtl::SetAndNotify(visible_, v, this, &Self::Changed); }
    bool Default() const { return default_; }
    void SetDefault(bool v) { rtl::SetAndNotify(default_, v, this, &Self::Changed); }
    bool RadioItem() const { return radioItem_; }
    void SetRadioItem(bool v) { rtl::SetAndNotify(radioItem_, v, this, &Self::Changed); }
    std::uint8_t GroupIndex = 0;
    TShortCut ShortCutValue() const { return shortCut_; }
    void SetShortCut(TShortCut v) { rtl::SetAndNotify(shortCut_, v, this, &Self::Changed); }
    std::string Hint;
    std::int32_t ImageIndex = -1;
    bool IsLine() const { return caption_ == "-"; }

    std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
    TMenuItem* Items(std::int32_t index) const;
    void Add(TMenuItem* item);
    void Insert(std::int32_t index, TMenuItem* item);
    void Delete(std::int32_t index);  // removes without freeing
    void Remove(TMenuItem* item);
    void Clear();  // frees the sub-items
    std::int32_t IndexOf(const TMenuItem* item) const;
    TMenuItem* ParentItem() const { return parent_; }
    std::int32_t MenuIndex() const;
    // The menu at the top of this item's tree, or nullptr.
    TMenu* GetParentMenu() const;
    // The command identifier the system reports for this item.
    std::uint16_t Command() const { return command_; }
    // The pop-up menu of the sub-items (built on demand); nullptr without sub-items.
    HMENU Handle();

    virtual void Click() { OnClick(this); }

    rtl::TNotifyEvent OnClick;
    TMenuDrawItemEvent OnDrawItem;
    TMenuMeasureItemEvent OnMeasureItem;

    bool HasParent() const override { return true; }
    rtl::TComponent* GetParentComponent() const override;
    void SetParentComponent(rtl::TComponent* parent) override;
    void GetChildren(const std::function<void(rtl::TComponent*)>& proc, rtl::TComponent* root) override;

    // Owner drawing: called with the menu's canvas on the item's DC.
    virtual void DrawItem(TCanvas& canvas, const TRect& rect, bool selected);
    virtual void MeasureItem(TCanvas& canvas, std::int32_t& width, std::int32_t& height);

private:
    friend class TMenu;
    friend class TMainMenu;
    void Changed();
    // The sub-items into a system menu, owner-drawn when the menu they belong to is; `text` is what
    // the system shows for the item.
    void AppendChildren(HMENU menu);
    void AppendTo(HMENU menu, bool ownerDraw, const std::string& text);
    void DestroyHandle();

    std::string caption_;
    bool checked_ = false;
    bool enabled_ = true;
    bool visible_ = true;
    bool default_ = false;
    bool radioItem_ = false;
    TShortCut shortCut_ = 0;
    std::uint16_t command_;
    HMENU handle_ = nullptr;         // destroyed by DestroyHandle
    TMenuItem* parent_ = nullptr;    // not owned
    TMenu* menu_ = nullptr;          // not owned: set on the root item of a menu
    std::vector<TMenuItem*> items_;  // freed with this item
};

// Base of the main and popup menus. Items is the invisible root item.
class TMenu : public rtl::TComponent {
    RTL_DECLARE_CLASS(TMenu, rtl::TComponent)

public:
    explicit TMenu(rtl::TComponent* owner);
    ~TMenu() override;

    TMenuItem* Items() const { return items_.get(); }
    bool OwnerDraw() const { return ownerDraw_; }
    void SetOwnerDraw(bool v) { rtl::SetAndNotify(ownerDraw_, v, this, &Self::MenuChanged); }
    // maAutomatic: among the items of one level, each caption without a hot key ("&") gets one
    // before its first letter or digit that no other item of the level has; the captions stay as
    // they are, only the system's menu shows the hot keys. Otherwise the captions go as written.
    TMenuAutoFlag AutoHotkeys = maAutomatic;
    // The menu reads right to left when the control it belongs to (its owner) does.
    bool UseRightToLeftReading() const;
    HMENU Handle();
    // Runs the item whose shortcut matches; true when one did.
    bool IsShortCut(std::uint16_t key, TShiftState shift);
    TMenuItem* FindItem(std::uint16_t command) const;

    void GetChildren(const std::function<void(rtl::TComponent*)>& proc, rtl::TComponent* root) override;
    rtl::TComponent* GetChildParent() override { return items_.get(); }

    // The system's menu handle is rebuilt after any change of the items.
    virtual void MenuChanged();

    // Canvas used while an item is drawn or measured.
    TCanvas* Canvas() { return &canvas_; }

protected:
    virtual HMENU CreateMenuHandle();
    void DestroyMenuHandle();

private:
    std::unique_ptr<TMenuItem> items_;
    bool ownerDraw_ = false;
    HMENU handle_ = nullptr;
    TCanvas canvas_;
};

class TMainMenu : public TMenu {
    RTL_DECLARE_CLASS(TMainMenu, TMenu)

public:
    explicit TMainMenu(rtl::TComponent* owner) : TMenu(owner) {}
    ~TMainMenu() override;
    // The form window showing the menu bar (nullptr for none).
    void SetWindowHandle(HWND wnd);
    HWND WindowHandle() const { return window_; }
    void MenuChanged() override;

protected:
    HMENU CreateMenuHandle() override;

private:
    HWND window_ = nullptr;  // not owned
};

class TPopupMenu : public TMenu {
    RTL_DECLARE_CLASS(TPopupMenu, TMenu)

public:
    explicit TPopupMenu(rtl::TComponent* owner);
    ~TPopupMenu() override;

    bool AutoPopup = true;
    TPopupAlignment Alignment = paLeft;
    rtl::TComponent* PopupComponent() const { return popupComponent_; }
    void SetPopupComponent(rtl::TComponent* v) { popupComponent_ = v; }
    // Shows the menu at a screen point and returns after it closed; the chosen item's
    // OnClick has run by then.
    virtual void Popup(int x, int y);

    rtl::TNotifyEvent OnPopup;

protected:
    HMENU CreateMenuHandle() override;
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;

private:
    rtl::TComponent* popupComponent_ = nullptr;  // not owned
};

// Entry points for the window procedures of forms and the popup window.
bool DispatchMenuCommand(std::uint16_t command);
bool DispatchMenuDrawItem(const DRAWITEMSTRUCT& dis);
bool DispatchMenuMeasureItem(MEASUREITEMSTRUCT& mis);

}  // namespace win
