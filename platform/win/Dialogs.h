// Message boxes, ShowMessage, the colour chooser, beeps and quitting, over the system's own dialogs.
#pragma once

#include "platform/rtl/TypeInfo.h"
#include "platform/win/Controls.h"
#include "platform/rtl/Win32.h"

#include <array>
#include <string>

namespace win {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
RTL_ENUM_INFO(TMsgDlgType, "mtWarning", "mtError", "mtInformation", "mtConfirmation", "mtCustom")

enum TMsgDlgBtn {
    mbYes,
    mbNo,
    mbOK,
    mbCancel,
    mbAbort,
    mbRetry,
    mbIgnore,
    mbAll,
    mbNoToAll,
    mbYesToAll,
    mbHelp
};
RTL_ENUM_INFO(TMsgDlgBtn, "mbYes", "mbNo", "mbOK", "mbCancel", "mbAbort", "mbRetry", "mbIgnore", "mbAll",
              "mbNoToAll", "mbYesToAll", "mbHelp")
using TMsgDlgButtons = rtl::TSet<TMsgDlgBtn>;

// The system message box flags for a dialog type and button set. The system box has fixed
// button groups; a set it lacks gets the nearest group: Yes/No(/Cancel) when Yes or No is in
// it, Retry/Cancel, Abort/Retry/Ignore, OK/Cancel when Cancel is in it, else OK.
UINT MessageDlgFlags(TMsgDlgType type, TMsgDlgButtons buttons);
// The caption a dialog type shows: "Warning", "Error", "Information", "Confirm", or the
// application title for mtCustom.
std::string MessageDlgCaption(TMsgDlgType type);

// Shows a modal message box owned by the active window and returns the pressed button as a
// modal result (mrYes, mrNo, mrOk...). helpContext is accepted and ignored.
TModalResult MessageDlg(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons,
                        std::int32_t helpContext = 0);
// The message with an OK button, captioned with the application title.
void ShowMessage(const std::string& message);
// A plain MessageBoxA owned by the active window; the caption defaults to the application
// title when empty. Returns the IDxxx of the pressed button, 0 when the box failed.
int ApplicationMessageBox(const std::string& text, const std::string& caption, UINT flags);

enum TColorDialogOption { cdFullOpen, cdPreventFullOpen, cdSolidColor, cdAnyColor };
RTL_ENUM_INFO(TColorDialogOption, "cdFullOpen", "cdPreventFullOpen", "cdSolidColor", "cdAnyColor")
using TColorDialogOptions = rtl::TSet<TColorDialogOption>;

// The system's colour chooser, shown modally over the active window by Execute, starting at Color.
class TColorDialog : public rtl::TComponent {
    RTL_DECLARE_CLASS(TColorDialog, rtl::TComponent)

public:
    explicit TColorDialog(rtl::TComponent* owner);

    // A system colour (clBtnFace) starts the chooser at its present value.
    TColor Color() const { return color_; }
    void SetColor(TColor v) { color_ = v; }
    TColorDialogOptions Options;
    // The sixteen custom colours the chooser offers and the user may change; white at first.
    std::array<TColor, 16> CustomColors;

    // True with the colour chosen in Color; false, Color unchanged, when cancelled.
    bool Execute();
    // The chooser's window while it is shown, else nullptr.
    HWND Handle() const { return handle_; }

    // When the chooser's window is ready, before the user sees it; and when it goes.
    rtl::TNotifyEvent OnShow;
    rtl::TNotifyEvent OnClose;

private:
    static UINT_PTR CALLBACK HookProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

    TColor color_ = clBlack;
    HWND handle_ = nullptr;  // the system owns the window
};

// The default system sound.
void Beep();
// A tone of `frequency` Hz for `duration` ms; systems without a speaker stay silent.
void Beep(DWORD frequency, DWORD duration);

// Posts WM_QUIT to the calling thread's queue: its message loop ends with `exitCode`.
void PostQuit(int exitCode = 0);
// Posts a message to a window's queue; false when the window is gone or the queue is full.
bool PostMessageTo(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

}  // namespace win
