// Window hooks: components that watch a windowed control's messages before and after its own
// window procedure, without deriving from it.
#pragma once

#include "platform/rtl/Component.h"
#include "platform/win/Controls.h"
#include "platform/win/Forms.h"

#include <vector>

namespace placement {

class TControlHook;

using THookMessageEvent = rtl::TEvent<void(rtl::TObject* Sender, win::TMessage& Msg, bool& Handled)>;

// Private messages of the hook list's utility window; the numbers are fixed.
inline constexpr UINT CM_RXHOOK_REHOOK = 0xB052;
inline constexpr UINT CM_RXHOOK_RELEASE = 0xB053;

// Watches one control. All hooks of a control share one TControlHook, which replaces the
// control window's procedure and calls the previous one. BeforeMessage runs first (the hook
// attached last is asked first; setting Handled skips the control's own procedure and every
// AfterMessage); AfterMessage runs after the control's procedure with its result in Msg.
// Hooks survive the recreation of the control's window; a procedure someone else installs
// later stays in place when the hook goes away.
class TRxWindowHook : public rtl::TComponent {
    RTL_DECLARE_CLASS(TRxWindowHook, rtl::TComponent)

public:
    explicit TRxWindowHook(rtl::TComponent* owner);
    ~TRxWindowHook() override;

    bool Active() const { return active_; }
    void SetActive(bool value);
    win::TWinControl* WinControl() const;
    void SetWinControl(win::TWinControl* value);
    void HookControl() { SetActive(true); }
    void UnhookControl() { SetActive(false); }

    THookMessageEvent BeforeMessage;
    THookMessageEvent AfterMessage;

protected:
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;
    void Loaded() override;
    void DefineProperties(rtl::TFiler& filer) override;

private:
    friend class TControlHook;
    bool IsWinControlStored() const;
    bool IsForm() const;
    void ReadIsForm(rtl::TReader& reader);
    void WriteIsForm(rtl::TWriter& writer);

    bool active_ = true;
    win::TWinControl* control_ = nullptr;  // not owned; free notification asked
    TControlHook* controlHook_ = nullptr;  // not owned: the hook list owns control hooks
};

// The shared hook of one control; owned by the hook list, freed from the message loop after
// its last window hook leaves.
class TControlHook : public rtl::TObject {
public:
    TControlHook();
    ~TControlHook() override;

    win::TWinControl* Control() const { return control_; }
    void SetControl(win::TWinControl* value);
    std::int32_t HookCount() const { return static_cast<std::int32_t>(hooks_.size()); }
    void HookObject(TRxWindowHook* hook);
    void UnhookObject(TRxWindowHook* hook);
    // Installs this hook's procedure on the control's window (creating the window if needed).
    void HookWindow();
    // Puts the previous procedure back unless someone else has replaced ours since.
    void UnhookWindow();
    HWND HookedWindow() const { return hookedWnd_; }

    // The message handling of the hooked window; called by the shared window procedure.
    LRESULT Dispatch(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

private:
    bool CanOffer() const;

    win::TWinControl* control_ = nullptr;  // not owned
    WNDPROC prevWndProc_ = nullptr;
    HWND hookedWnd_ = nullptr;
    std::vector<TRxWindowHook*> hooks_;  // not owned
    bool destroying_ = false;
};

// The control hook of `control` in the process-wide list, or nullptr.
TControlHook* FindControlHook(win::TWinControl* control);
// Number of control hooks alive (for tests and diagnostics).
std::int32_t ControlHookCount();
// The list's utility window (created on first use).
HWND HookListWindow();

// The unit's shut-down: frees the hook list, its control hooks and its window. Safe to call
// more than once; a later hook creates a new list.
void FinalizeRxHook();

}  // namespace placement
