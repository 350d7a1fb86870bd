// Menus: items, the main menu of a form and popup menus, with owner drawing.
#include "platform/win/Menus.h"

#include "platform/win/Forms.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace win {

namespace {

// Command identifiers of live items; the system reports choices by identifier only.
std::map<std::uint16_t, TMenuItem*>& CommandTable()
{
    static std::map<std::uint16_t, TMenuItem*> table;
    return table;
}

std::uint16_t AllocateCommand(TMenuItem* item)
{
    static std::uint16_t next = 0;
    auto& table = CommandTable();
    for (int tries = 0; tries < 0xFFFF; ++tries) {
        if (++next == 0)
            next = 1;
        if (!table.count(next)) {
            table[next] = item;
            return next;
        }
    }
    throw rtl::Exception("Too many menu items");
}

// Receives WM_COMMAND and the owner-draw messages of popup menus.
HWND PopupWindow()
{
    static HWND wnd = AllocateHWnd([](TMessage& m) {
        switch (m.Msg) {
        case WM_COMMAND:
            if (HIWORD(m.WParam) == 0)
                DispatchMenuCommand(LOWORD(m.WParam));
            return;
        case WM_DRAWITEM:
            m.Result = DispatchMenuDrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam));
            return;
        case WM_MEASUREITEM:
            m.Result = DispatchMenuMeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam));
            return;
        default: m.Result = ::DefWindowProcA(PopupWindow(), m.Msg, m.WParam, m.LParam);
        }
    });
    return wnd;
}

// The character a caption's hot key marks, in upper case, or 0; "&&" is a plain ampersand.
char HotKeyOf(const std::string& caption)
{
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&')
            continue;
        if (caption[i + 1] != '&')
            return static_cast<char>(std::toupper(static_cast<unsigned char>(caption[i + 1])));
        ++i;
    }
    return 0;
}

// `caption` with a hot key before its first letter or digit that `used` lacks (which then has
// it); the caption as it is when every one is taken.
std::string WithHotKey(const std::string& caption, std::string& used)
{
    for (size_t i = 0; i < caption.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(caption[i]);
        if (c == '&') {
            ++i;  // "&&"
            continue;
        }
        if (c >= 0x80 || !std::isalnum(c))
            continue;
        const char key = static_cast<char>(std::toupper(c));
        if (used.find(key) != std::string::npos)
            continue;
        used += key;
        return caption.substr(0, i) + '&' + caption.substr(i);
    }
    return caption;
}

}  // namespace

TShortCut ShortCut(std::uint16_t key, TShiftState shift)
{
    TShortCut s = static_cast<TShortCut>(key & 0xFF);
    if (shift.Contains(ssShift))
        s |= scShift;
    if (shift.Contains(ssCtrl))
        s |= scCtrl;
    if (shift.Contains(ssAlt))
        s |= scAlt;
    return s;
}

bool DispatchMenuCommand(std::uint16_t command)
{
    auto it = CommandTable().find(command);
    if (it == CommandTable().end())
        return false;
    it->second->Click();
    return true;
}

bool DispatchMenuDrawItem(const DRAWITEMSTRUCT& dis)
{
    auto it = CommandTable().find(static_cast<std::uint16_t>(dis.itemID));
    if (it == CommandTable().end())
        return false;
    TMenuItem* item = it->second;
    TMenu* menu = item->GetParentMenu();
    if (!menu)
        return false;
    TCanvas& canvas = *menu->Canvas();
    canvas.Lock();
    SaveDCGuard save(dis.hDC);
    canvas.SetHandle(dis.hDC);
    try {
        item->DrawItem(canvas, FromRECT(dis.rcItem), (dis.itemState & ODS_SELECTED) != 0);
    } catch (...) {
        canvas.SetHandle(nullptr);
        canvas.Unlock();
        HandleControlException(item);
        return true;
    }
    canvas.SetHandle(nullptr);
    canvas.Unlock();
    return true;
}

bool DispatchMenuMeasureItem(MEASUREITEMSTRUCT& mis)
{
    auto it = CommandTable().find(static_cast<std::uint16_t>(mis.itemID));
    if (it == CommandTable().end())
        return false;
    TMenuItem* item = it->second;
    TMenu* menu = item->GetParentMenu();
    if (!menu)
        return false;
    WindowDC screen(nullptr);
    TCanvas& canvas = *menu->Canvas();
    canvas.Lock();
    canvas.SetHandle(screen.Get());
    std::int32_t w = static_cast<std::int32_t>(mis.itemWidth), h = static_cast<std::int32_t>(mis.itemHeight);
    try {
        item->MeasureItem(canvas, w, h);
    } catch (...) {
        HandleControlException(item);
    }
    canvas.SetHandle(nullptr);
    canvas.Unlock();
    mis.itemWidth = static_cast<UINT>(std::max(w, 0));
    mis.itemHeight = static_cast<UINT>(std::max(h, 0));
    return true;
}

// --- TMenuItem ---

void TMenuItem::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Caption));
    t.Property(RTL_GET_SET(Checked)).Default(false);
    t.Property(RTL_GET_SET(Default)).Default(false);
    t.Property(RTL_GET_SET(Enabled)).Default(true);
    t.Property(RTL_MEMBER(GroupIndex)).Default(0);
    t.Property(RTL_MEMBER(Hint));
    t.Property(RTL_MEMBER(ImageIndex)).Default(-1);
    t.Property(RTL_GET_SET(RadioItem)).Default(false);
    t.Property("ShortCut", &TMenuItem::ShortCutValue, &TMenuItem::SetShortCut).Default(0);
    t.Property(RTL_GET_SET(Visible)).Default(true);
    t.Event(RTL_MEMBER(OnClick));
    t.Event(RTL_MEMBER(OnDrawItem));
    t.Event(RTL_MEMBER(OnMeasureItem));
    t.Creatable();
}

TMenuItem::TMenuItem(rtl::TComponent* owner) : rtl::TComponent(owner) { command_ = AllocateCommand(this); }

TMenuItem::~TMenuItem()
{
    Destroying();
    CommandTable().erase(command_);
    while (!items_.empty()) {
        TMenuItem* child = items_.back();
        items_.pop_back();
        child->parent_ = nullptr;
        delete child;
    }
    if (parent_) {
        parent_->Remove(this);
    }
    DestroyHandle();
}

void TMenuItem::SetChecked(bool v)
{
    if (v == checked_)
        return;
    checked_ = v;
    // Checking a radio item unchecks the others of its group.
    if (v && radioItem_ && parent_)
        for (TMenuItem* sibling : parent_->items_)
            if (sibling != this && sibling->radioItem_ && sibling->GroupIndex == GroupIndex)
                sibling->checked_ = false;
    Changed();
}
TMenuItem* TMenuItem::Items(std::int32_t index) const
{
    if (index < 0 || index >= Count())
        throw rtl::EListError("Menu index out of range");
    return items_[static_cast<size_t>(index)];
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(std::int32_t index, TMenuItem* item)
{
    if (!item)
        return;
    if (item->parent_)
        throw rtl::EInvalidOperation("Menu inserted twice");
    if (index < 0 || index > Count())
        throw rtl::EListError("Menu index out of range");
    for (const TMenuItem* p = this; p; p = p->parent_)
        if (p == item)
            throw rtl::EInvalidOperation("A menu item cannot contain itself");
    items_.insert(items_.begin() + index, item);
    item->parent_ = this;
    Changed();
}

void TMenuItem::Delete(std::int32_t index)
{
    TMenuItem* item = Items(index);
    items_.erase(items_.begin() + index);
    item->parent_ = nullptr;
    Changed();
}

void TMenuItem::Remove(TMenuItem* item)
{
    std::int32_t i = IndexOf(item);
    if (i >= 0)
        Delete(i);
}

void TMenuItem::Clear()
{
    while (!items_.empty()) {
        TMenuItem* child = items_.back();
        items_.pop_back();
        child->parent_ = nullptr;
        delete child;
    }
    Changed();
}

std::int32_t TMenuItem::IndexOf(const TMenuItem* item) const
{
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<std::int32_t>(it - items_.begin());
}

std::int32_t TMenuItem::MenuIndex() const { return parent_ ? parent_->IndexOf(this) : -1; }

TMenu* TMenuItem::GetParentMenu() const
{
    const TMenuItem* i = this;
    while (i->parent_)
        i = i->parent_;
    return i->menu_;
}

rtl::TComponent* TMenuItem::GetParentComponent() const
{
    if (parent_ && parent_->menu_)
        return parent_->menu_;
    return parent_;
}

void TMenuItem::SetParentComponent(rtl::TComponent* parent)
{
    if (parent_)
        parent_->Remove(this);
    if (auto* menu = dynamic_cast<TMenu*>(parent))
        menu->Items()->Add(this);
    else if (auto* item = dynamic_cast<TMenuItem*>(parent))
        item->Add(this);
}

void TMenuItem::GetChildren(const std::function<void(rtl::TComponent*)>& proc, rtl::TComponent*)
{
    for (TMenuItem* item : items_)
        proc(item);
}

void TMenuItem::DrawItem(TCanvas& canvas, const TRect& rect, bool selected)
{
    if (OnDrawItem.Assigned()) {
        OnDrawItem(this, &canvas, rect, selected);
        return;
    }
    canvas.Brush()->SetColor(selected ? clHighlight : clMenu);
    canvas.FillRect(rect);
    canvas.Font()->SetColor(!enabled_ ? clGrayText : selected ? clHighlightText : clMenuText);
    TRect r = rect;
    r.Left += 18;
    if (IsLine()) {
        canvas.Pen()->SetColor(clBtnShadow);
        canvas.MoveTo(rect.Left + 2, (rect.Top + rect.Bottom) / 2);
        canvas.LineTo(rect.Right - 2, (rect.Top + rect.Bottom) / 2);
        return;
    }
    canvas.Brush()->SetStyle(bsClear);
    canvas.DrawText(caption_, r, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
    if (checked_)
        canvas.TextOut(rect.Left + 4, rect.Top + 1, "x");
}

void TMenuItem::MeasureItem(TCanvas& canvas, std::int32_t& width, std::int32_t& height)
{
    if (OnMeasureItem.Assigned()) {
        OnMeasureItem(this, &canvas, width, height);
        return;
    }
    if (IsLine()) {
        height = 5;
        width = 10;
        return;
    }
    SIZE s = canvas.TextExtent(caption_);
    width = s.cx + 26;
    height = std::max<std::int32_t>(s.cy + 4, ::GetSystemMetrics(SM_CYMENU));
}

void TMenuItem::Changed()
{
    if (TMenu* menu = GetParentMenu())
        menu->MenuChanged();
}

void TMenuItem::DestroyHandle()
{
    for (TMenuItem* item : items_)
        item->DestroyHandle();
    if (handle_) {
        ::DestroyMenu(handle_);
        handle_ = nullptr;
    }
}

HMENU TMenuItem::Handle()
{
    if (handle_ || items_.empty())
        return handle_;
    handle_ = ::CreatePopupMenu();
    AppendChildren(handle_);
    return handle_;
}

void TMenuItem::AppendChildren(HMENU menu)
{
    TMenu* owner = GetParentMenu();
    const bool ownerDraw = owner && owner->OwnerDraw();
    std::vector<std::string> texts;
    for (TMenuItem* item : items_)
        texts.push_back(item->caption_);
    if (owner && owner->AutoHotkeys == maAutomatic) {
        std::string used;
        for (TMenuItem* item : items_)
            if (item->visible_)
                if (const char key = HotKeyOf(item->caption_))
                    used += key;
        for (size_t i = 0; i < items_.size(); ++i)
            if (items_[i]->visible_ && !items_[i]->IsLine() && !HotKeyOf(texts[i]))
                texts[i] = WithHotKey(texts[i], used);
    }
    for (size_t i = 0; i < items_.size(); ++i)
        items_[i]->AppendTo(menu, ownerDraw, texts[i]);
}

void TMenuItem::AppendTo(HMENU menu, bool ownerDraw, const std::string& text)
{
    if (!visible_)
        return;
    MENUITEMINFOA mii{};
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_DATA;
    mii.wID = command_;
    mii.dwItemData = command_;
    if (IsLine()) {
        mii.fType = MFT_SEPARATOR;
    } else {
        mii.fMask |= MIIM_STRING;
        mii.dwTypeData = const_cast<char*>(text.c_str());
        mii.cch = static_cast<UINT>(text.size());
    }
    if (ownerDraw)
        mii.fType |= MFT_OWNERDRAW;
    if (radioItem_)
        mii.fType |= MFT_RADIOCHECK;
    mii.fState =
        (enabled_ ? MFS_ENABLED : MFS_GRAYED) | (checked_ ? MFS_CHECKED : 0u) | (default_ ? MFS_DEFAULT : 0u);
    if (!items_.empty()) {
        mii.fMask |= MIIM_SUBMENU;
        mii.hSubMenu = Handle();
    }
    ::InsertMenuItemA(menu, ::GetMenuItemCount(menu), TRUE, &mii);
    // The system destroys sub-menus with their parent menu.
    handle_ = nullptr;
}

// --- TMenu ---

void TMenu::Publish(Table& t)
{
    t.Property(RTL_MEMBER(AutoHotkeys)).Default(maAutomatic);
    t.Property(RTL_GET_SET(OwnerDraw)).Default(false);
}

TMenu::TMenu(rtl::TComponent* owner) : rtl::TComponent(owner), items_(std::make_unique<TMenuItem>(nullptr))
{
    items_->menu_ = this;
}

TMenu::~TMenu()
{
    Destroying();
    // The items are owned by the form; they leave the tree but live on until their owner
    // frees them, unless they belong to nobody.
    while (items_->Count() > 0) {
        TMenuItem* item = items_->Items(items_->Count() - 1);
        items_->Delete(items_->Count() - 1);
        if (!item->Owner())
            delete item;
    }
    items_->menu_ = nullptr;
    DestroyMenuHandle();
}

HMENU TMenu::Handle()
{
    if (!handle_)
        handle_ = CreateMenuHandle();
    return handle_;
}

HMENU TMenu::CreateMenuHandle()
{
    HMENU menu = ::CreatePopupMenu();
    items_->AppendChildren(menu);
    return menu;
}

bool TMenu::UseRightToLeftReading() const
{
    auto* control = dynamic_cast<TControl*>(Owner());
    return control && control->UseRightToLeftReading();
}

void TMenu::DestroyMenuHandle()
{
    if (handle_) {
        ::DestroyMenu(handle_);
        handle_ = nullptr;
    }
}

void TMenu::MenuChanged()
{
    if (ComponentState().Contains(rtl::csDestroying))
        return;
    DestroyMenuHandle();
}

bool TMenu::IsShortCut(std::uint16_t key, TShiftState shift)
{
    TShortCut wanted = ShortCut(key, shift);
    if ((wanted & 0xFF) == 0)
        return false;
    std::function<TMenuItem*(TMenuItem*)> find = [&](TMenuItem* parent) -> TMenuItem* {
        for (std::int32_t i = 0; i < parent->Count(); ++i) {
            TMenuItem* item = parent->Items(i);
            if (!item->Enabled() || !item->Visible())
                continue;
            if (item->ShortCutValue() == wanted)
                return item;
            if (TMenuItem* found = find(item))
                return found;
        }
        return nullptr;
    };
    TMenuItem* item = find(items_.get());
    if (!item)
        return false;
    item->Click();
    return true;
}

TMenuItem* TMenu::FindItem(std::uint16_t command) const
{
    auto it = CommandTable().find(command);
    if (it == CommandTable().end() || it->second->GetParentMenu() != this)
        return nullptr;
    return it->second;
}

void TMenu::GetChildren(const std::function<void(rtl::TComponent*)>& proc, rtl::TComponent*)
{
    for (std::int32_t i = 0; i < items_->Count(); ++i)
        proc(items_->Items(i));
}

// --- TMainMenu ---

void TMainMenu::Publish(Table& t) { t.Creatable(); }

TMainMenu::~TMainMenu()
{
    if (window_ && ::IsWindow(window_))
        ::SetMenu(window_, nullptr);
}

HMENU TMainMenu::CreateMenuHandle()
{
    HMENU bar = ::CreateMenu();
    Items()->AppendChildren(bar);
    return bar;
}

void TMainMenu::SetWindowHandle(HWND wnd)
{
    if (window_ && window_ != wnd && ::IsWindow(window_))
        ::SetMenu(window_, nullptr);
    window_ = wnd;
    if (wnd)
        ::SetMenu(wnd, Handle());
}

void TMainMenu::MenuChanged()
{
    if (ComponentState().Contains(rtl::csDestroying))
        return;
    HWND wnd = window_;
    if (wnd && ::IsWindow(wnd))
        ::SetMenu(wnd, nullptr);  // detach before the old bar is destroyed
    TMenu::MenuChanged();
    if (wnd && ::IsWindow(wnd)) {
        ::SetMenu(wnd, Handle());
        ::DrawMenuBar(wnd);
    }
}

// --- TPopupMenu ---

void TPopupMenu::Publish(Table& t)
{
    t.Property(RTL_MEMBER(Alignment)).Default(paLeft);
    t.Property(RTL_MEMBER(AutoPopup)).Default(true);
    t.Event(RTL_MEMBER(OnPopup));
    t.Creatable();
}

TPopupMenu::TPopupMenu(rtl::TComponent* owner) : TMenu(owner) {}

TPopupMenu::~TPopupMenu() = default;

HMENU TPopupMenu::CreateMenuHandle() { return TMenu::CreateMenuHandle(); }

void TPopupMenu::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    TMenu::Notification(component, operation);
    if (operation == rtl::opRemove && component == popupComponent_)
        popupComponent_ = nullptr;
}

void TPopupMenu::Popup(int x, int y)
{
    OnPopup(this);
    MenuChanged();  // items may have changed in OnPopup
    static const UINT kAlign[] = {TPM_LEFTALIGN, TPM_RIGHTALIGN, TPM_CENTERALIGN};
    HWND wnd = PopupWindow();
    ::SetForegroundWindow(wnd);
    UINT command = static_cast<UINT>(::TrackPopupMenu(
        Handle(), kAlign[Alignment] | TPM_RIGHTBUTTON | TPM_RETURNCMD, x, y, 0, wnd, nullptr));
    ::PostMessageA(wnd, WM_NULL, 0, 0);
    if (command)
        DispatchMenuCommand(static_cast<std::uint16_t>(command));
}

}  // namespace win
