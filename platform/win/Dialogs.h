// Message boxes, ShowMessage, beeps and quitting, over the system's own dialogs.
#pragma once

#include "platform/rtl/TypeInfo.h"
#include "platform/win/Controls.h"
#include "platform/rtl/Win32.h"

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

// The default system sound.
void Beep();
// A tone of `frequency` Hz for `duration` ms; systems without a speaker stay silent.
void Beep(DWORD frequency, DWORD duration);

// Posts WM_QUIT to the calling thread's queue: its message loop ends with `exitCode`.
void PostQuit(int exitCode = 0);
// Posts a message to a window's queue; false when the window is gone or the queue is full.
bool PostMessageTo(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

}  // namespace win
