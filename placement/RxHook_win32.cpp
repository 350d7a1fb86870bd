// Window hooks: one shared window procedure, control hooks chained in front of a control's
// own procedure, and the hook list that re-hooks recreated windows and frees empty hooks.
#include "placement/RxHook.h"

#include "platform/rtl/FormStream.h"
#include "platform/win/Forms.h"
#include "platform/rtl/Win32.h"

#include <algorithm>
#include <map>

namespace placement {

namespace {

// What the shared procedure knows of each window it was installed on. The hook is nullptr
// when the hook has gone but a procedure installed after ours still calls us: we then pass
// every message straight to the procedure we replaced.
struct WindowSlot {
    TControlHook* hook = nullptr;  // not owned
    WNDPROC prev = nullptr;
};

std::map<HWND, WindowSlot>& Slots()
{
    static std::map<HWND, WindowSlot> slots;
    return slots;
}

struct HookList {
    std::vector<TControlHook*> hooks;  // owned
    HWND wnd = nullptr;
};

HookList* hookList = nullptr;  // owned; freed by FinalizeRxHook

bool InList(TControlHook* hook)
{
    return hookList &&
           std::find(hookList->hooks.begin(), hookList->hooks.end(), hook) != hookList->hooks.end();
}

void ListWndProc(win::TMessage& m)
{
    auto* hook = reinterpret_cast<TControlHook*>(m.LParam);
    switch (m.Msg) {
    case CM_RXHOOK_REHOOK:
        if (InList(hook) && hook->HookCount() > 0)
            hook->HookWindow();
        break;
    case CM_RXHOOK_RELEASE:
        if (InList(hook) && hook->HookCount() == 0)
            delete hook;
        break;
    default:
        m.Result = ::DefWindowProcA(hookList ? hookList->wnd : nullptr, m.Msg, m.WParam, m.LParam);
        break;
    }
}

HookList& List()
{
    if (!hookList) {
        hookList = new HookList;
        try {
            hookList->wnd = win::AllocateHWnd(ListWndProc);
        } catch (...) {
            delete hookList;
            hookList = nullptr;
            throw;
        }
    }
    return *hookList;
}

void PostToList(UINT msg, TControlHook* hook)
{
    if (hookList && hookList->wnd)
        ::PostMessageA(hookList->wnd, msg, 0, reinterpret_cast<LPARAM>(hook));
}

LRESULT CALLBACK HookWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto it = Slots().find(wnd);
    if (it == Slots().end())
        return ::DefWindowProcA(wnd, msg, wParam, lParam);
    WindowSlot slot = it->second;
    LRESULT result = 0;
    if (slot.hook)
        result = slot.hook->Dispatch(wnd, msg, wParam, lParam);
    else if (slot.prev)
        result = ::CallWindowProcA(slot.prev, wnd, msg, wParam, lParam);
    else
        result = ::DefWindowProcA(wnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY)
        Slots().erase(wnd);
    return result;
}

WNDPROC CurrentProc(HWND wnd) { return reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(wnd, GWLP_WNDPROC)); }

}  // namespace

// ---- TControlHook ----

TControlHook::TControlHook() { List().hooks.push_back(this); }

TControlHook::~TControlHook()
{
    destroying_ = true;
    if (hookList) {
        auto& v = hookList->hooks;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
    while (!hooks_.empty())
        UnhookObject(hooks_.back());
    SetControl(nullptr);
    UnhookWindow();
}

void TControlHook::SetControl(win::TWinControl* value)
{
    if (value == control_)
        return;
    UnhookWindow();
    control_ = value;
    if (!hooks_.empty())
        HookWindow();
}

void TControlHook::HookObject(TRxWindowHook* hook)
{
    if (std::find(hooks_.begin(), hooks_.end(), hook) == hooks_.end())
        hooks_.push_back(hook);
    hook->controlHook_ = this;
    SetControl(hook->control_);
    HookWindow();
}

void TControlHook::UnhookObject(TRxWindowHook* hook)
{
    if (hook->controlHook_ == this)
        hook->controlHook_ = nullptr;
    auto it = std::find(hooks_.begin(), hooks_.end(), hook);
    if (it == hooks_.end())
        return;
    hooks_.erase(it);
    if (hooks_.empty()) {
        UnhookWindow();
        // An empty control hook no longer answers for its control, which may die before the
        // release is served.
        control_ = nullptr;
        if (!destroying_)
            PostToList(CM_RXHOOK_RELEASE, this);
    }
}

void TControlHook::HookWindow()
{
    if (!control_ || destroying_ || hooks_.empty())
        return;
    rtl::TComponentState state = control_->ComponentState();
    if (state.Contains(rtl::csDesigning) || state.Contains(rtl::csDestroying))
        return;
    HWND wnd = control_->Handle();
    if (hookedWnd_ == wnd && prevWndProc_)
        return;
    if (hookedWnd_ && hookedWnd_ != wnd)
        UnhookWindow();
    auto& slots = Slots();
    auto it = slots.find(wnd);
    if (it != slots.end() && (!it->second.hook || it->second.hook == this)) {
        // Our procedure is still in the chain, left behind under someone else's: take it up
        // again rather than stacking a second copy.
        it->second.hook = this;
        prevWndProc_ = it->second.prev;
        hookedWnd_ = wnd;
        return;
    }
    WNDPROC current = CurrentProc(wnd);
    if (current == HookWndProc)
        return;  // another control hook owns this window
    prevWndProc_ = current;
    hookedWnd_ = wnd;
    slots[wnd] = WindowSlot{this, current};
    ::SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HookWndProc));
}

void TControlHook::UnhookWindow()
{
    HWND wnd = hookedWnd_;
    hookedWnd_ = nullptr;
    WNDPROC prev = prevWndProc_;
    prevWndProc_ = nullptr;
    if (!wnd)
        return;
    auto& slots = Slots();
    auto it = slots.find(wnd);
    if (it == slots.end() || it->second.hook != this)
        return;
    if (::IsWindow(wnd) && CurrentProc(wnd) == HookWndProc && prev) {
        ::SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prev));
        slots.erase(it);
    } else {
        // A later procedure still calls ours: keep passing messages through.
        it->second.hook = nullptr;
    }
}

bool TControlHook::CanOffer() const
{
    return !hooks_.empty() && control_ && !destroying_ &&
           !control_->ComponentState().Contains(rtl::csDestroying);
}

LRESULT TControlHook::Dispatch(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    win::TMessage m{msg, wParam, lParam, 0};
    WNDPROC prev = prevWndProc_ ? prevWndProc_ : Slots()[wnd].prev;
    win::TWinControl* control = control_;
    try {
        bool handled = false;
        // Handlers may detach hooks while we walk: take a copy and skip those that left.
        std::vector<TRxWindowHook*> hooks = hooks_;
        auto attached = [this](TRxWindowHook* h) {
            return std::find(hooks_.begin(), hooks_.end(), h) != hooks_.end();
        };
        if (msg != WM_QUIT && CanOffer()) {
            for (auto it = hooks.rbegin(); it != hooks.rend() && !handled; ++it)
                if (attached(*it) && CanOffer())
                    (*it)->BeforeMessage(*it, m, handled);
        }
        if (!handled || msg == WM_DESTROY) {
            if (prev)
                m.Result = ::CallWindowProcA(prev, wnd, m.Msg, m.WParam, m.LParam);
            else if (control)
                control->DefaultHandler(m);
            else
                m.Result = ::DefWindowProcA(wnd, m.Msg, m.WParam, m.LParam);
            handled = false;
            hooks = hooks_;
            if (CanOffer()) {
                for (auto it = hooks.rbegin(); it != hooks.rend() && !handled; ++it)
                    if (attached(*it) && CanOffer())
                        (*it)->AfterMessage(*it, m, handled);
            }
        }
    } catch (...) {
        win::HandleControlException(control);
    }
    if (msg == WM_DESTROY && hookedWnd_ == wnd) {
        UnhookWindow();
        if (hookList && !destroying_ && control_ && !control_->ComponentState().Contains(rtl::csDestroying))
            PostToList(CM_RXHOOK_REHOOK, this);
    }
    return m.Result;
}

// ---- the list ----

TControlHook* FindControlHook(win::TWinControl* control)
{
    if (!hookList || !control)
        return nullptr;
    for (TControlHook* h : hookList->hooks)
        if (h->Control() == control)
            return h;
    return nullptr;
}

std::int32_t ControlHookCount() { return hookList ? static_cast<std::int32_t>(hookList->hooks.size()) : 0; }

HWND HookListWindow() { return List().wnd; }

void FinalizeRxHook()
{
    if (!hookList)
        return;
    while (!hookList->hooks.empty())
        delete hookList->hooks.back();
    win::DeallocateHWnd(hookList->wnd);
    delete hookList;
    hookList = nullptr;
}

// ---- TRxWindowHook ----

void TRxWindowHook::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Active)).Default(true);
    t.Property(RTL_GET_SET(WinControl)).Stored(&TRxWindowHook::IsWinControlStored);
    t.Event(RTL_MEMBER(BeforeMessage));
    t.Event(RTL_MEMBER(AfterMessage));
    t.Creatable();
}

TRxWindowHook::TRxWindowHook(rtl::TComponent* owner) : TComponent(owner) {}

TRxWindowHook::~TRxWindowHook()
{
    Destroying();
    active_ = false;
    if (controlHook_)
        controlHook_->UnhookObject(this);
    if (control_ && !control_->ComponentState().Contains(rtl::csDestroying))
        control_->RemoveFreeNotification(this);
    control_ = nullptr;
}

win::TWinControl* TRxWindowHook::WinControl() const
{
    if (controlHook_ && controlHook_->Control())
        return controlHook_->Control();
    return control_;
}

void TRxWindowHook::SetActive(bool value)
{
    active_ = value;
    if (!value) {
        if (controlHook_)
            controlHook_->UnhookObject(this);
        return;
    }
    rtl::TComponentState state = ComponentState();
    if (controlHook_ || !control_ || state.Contains(rtl::csDestroying) || state.Contains(rtl::csLoading))
        return;
    TControlHook* hook = FindControlHook(control_);
    if (!hook)
        hook = new TControlHook;
    hook->HookObject(this);
}

void TRxWindowHook::Loaded()
{
    TComponent::Loaded();
    if (active_)
        SetActive(true);
}

void TRxWindowHook::SetWinControl(win::TWinControl* value)
{
    if (value == control_)
        return;
    bool saveActive = active_;
    if (controlHook_)
        controlHook_->UnhookObject(this);  // the last one out posts the release
    if (control_ && !control_->ComponentState().Contains(rtl::csDestroying))
        control_->RemoveFreeNotification(this);
    control_ = value;
    if (control_)
        control_->FreeNotification(this);
    if (saveActive)
        SetActive(true);
}

void TRxWindowHook::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == rtl::opRemove && control_ && (component == control_ || component == Owner() || !Owner()))
        SetWinControl(nullptr);
}

bool TRxWindowHook::IsForm() const
{
    win::TWinControl* c = WinControl();
    return c && c == Owner() && dynamic_cast<win::TCustomForm*>(Owner()) != nullptr;
}

bool TRxWindowHook::IsWinControlStored() const { return !IsForm(); }

void TRxWindowHook::DefineProperties(rtl::TFiler& filer)
{
    TComponent::DefineProperties(filer);
    filer.DefineProperty(
        "IsForm", [this](rtl::TReader& r) { ReadIsForm(r); }, [this](rtl::TWriter& w) { WriteIsForm(w); },
        IsForm());
}

void TRxWindowHook::ReadIsForm(rtl::TReader& reader)
{
    if (reader.ReadBoolean())
        if (auto* form = dynamic_cast<win::TCustomForm*>(Owner()))
            SetWinControl(form);
}

void TRxWindowHook::WriteIsForm(rtl::TWriter& writer) { writer.WriteBoolean(IsForm()); }

}  // namespace placement
