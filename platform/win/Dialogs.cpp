// Message boxes and small user-feedback services.
#include "platform/win/Dialogs.h"

#include "platform/win/Forms.h"

namespace win {

UINT MessageDlgFlags(TMsgDlgType type, TMsgDlgButtons buttons)
{
    static constexpr UINT kIcons[] = {MB_ICONWARNING, MB_ICONERROR, MB_ICONINFORMATION, MB_ICONQUESTION, 0};
    UINT group;
    const bool yesOrNo = buttons.Contains(mbYes) || buttons.Contains(mbNo) || buttons.Contains(mbYesToAll) ||
                         buttons.Contains(mbNoToAll);
    if (yesOrNo)
        group = buttons.Contains(mbCancel) ? MB_YESNOCANCEL : MB_YESNO;
    else if (buttons.Contains(mbAbort) || buttons.Contains(mbIgnore))
        group = MB_ABORTRETRYIGNORE;
    else if (buttons.Contains(mbRetry))
        group = MB_RETRYCANCEL;
    else if (buttons.Contains(mbCancel))
        group = MB_OKCANCEL;
    else
        group = MB_OK;
    UINT flags = group | kIcons[type];
    if (buttons.Contains(mbHelp))
        flags |= MB_HELP;
    return flags;
}

std::string MessageDlgCaption(TMsgDlgType type)
{
    switch (type) {
    case mtWarning: return "Warning";
    case mtError: return "Error";
    case mtInformation: return "Information";
    case mtConfirmation: return "Confirm";
    default: return Application ? Application->Title() : std::string();
    }
}

int ApplicationMessageBox(const std::string& text, const std::string& caption, UINT flags)
{
    std::string title = caption;
    if (title.empty() && Application)
        title = Application->Title();
    // Without an active window the box would hide behind the program's other windows.
    HWND owner = ::GetActiveWindow();
    if (!owner)
        flags |= MB_TASKMODAL;
    return ::MessageBoxA(owner, text.c_str(), title.c_str(), flags);
}

TModalResult MessageDlg(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons, std::int32_t)
{
    // The IDxxx button codes are the modal result values.
    return ApplicationMessageBox(message, MessageDlgCaption(type), MessageDlgFlags(type, buttons));
}

void ShowMessage(const std::string& message) { ApplicationMessageBox(message, "", MB_OK); }

void Beep() { ::MessageBeep(MB_OK); }

void Beep(DWORD frequency, DWORD duration) { ::Beep(frequency, duration); }

void PostQuit(int exitCode) { ::PostQuitMessage(exitCode); }

bool PostMessageTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::PostMessageA(window, message, wParam, lParam) != FALSE;
}

}  // namespace win
