// Message boxes, the colour chooser and small user-feedback services.
#include "platform/win/Dialogs.h"

#include "platform/win/Forms.h"

#include <commdlg.h>

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

// --- colour chooser ---

void TColorDialog::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Color)).Type(ColorTypeInfo()).Default(clBlack);
    t.Property(RTL_MEMBER(Options));
    t.Event(RTL_MEMBER(OnShow));
    t.Event(RTL_MEMBER(OnClose));
    t.Creatable();
}

TColorDialog::TColorDialog(rtl::TComponent* owner) : rtl::TComponent(owner) { CustomColors.fill(clWhite); }

UINT_PTR CALLBACK TColorDialog::HookProc(HWND wnd, UINT msg, WPARAM, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        auto* self =
            reinterpret_cast<TColorDialog*>(reinterpret_cast<const CHOOSECOLORA*>(lParam)->lCustData);
        ::SetPropA(wnd, "TColorDialog", self);
        self->handle_ = wnd;
        try {
            self->OnShow(self);
        } catch (...) {
            HandleControlException(self);
        }
    } else if (msg == WM_DESTROY) {
        if (auto* self = static_cast<TColorDialog*>(::GetPropA(wnd, "TColorDialog"))) {
            ::RemovePropA(wnd, "TColorDialog");
            try {
                self->OnClose(self);
            } catch (...) {
                HandleControlException(self);
            }
            self->handle_ = nullptr;
        }
    }
    // The chooser's own handling goes on.
    return 0;
}

bool TColorDialog::Execute()
{
    std::array<COLORREF, 16> custom;
    for (std::size_t i = 0; i < custom.size(); ++i)
        custom[i] = ColorToRGB(CustomColors[i]);
    CHOOSECOLORA cc{};
    cc.lStructSize = sizeof cc;
    cc.hwndOwner = ::GetActiveWindow();
    cc.rgbResult = ColorToRGB(color_);
    cc.lpCustColors = custom.data();
    cc.Flags = CC_RGBINIT | CC_ENABLEHOOK;
    if (Options.Contains(cdFullOpen))
        cc.Flags |= CC_FULLOPEN;
    if (Options.Contains(cdPreventFullOpen))
        cc.Flags |= CC_PREVENTFULLOPEN;
    if (Options.Contains(cdSolidColor))
        cc.Flags |= CC_SOLIDCOLOR;
    if (Options.Contains(cdAnyColor))
        cc.Flags |= CC_ANYCOLOR;
    cc.lCustData = reinterpret_cast<LPARAM>(this);
    cc.lpfnHook = &TColorDialog::HookProc;
    const bool chosen = ::ChooseColorA(&cc) != FALSE;
    handle_ = nullptr;
    for (std::size_t i = 0; i < custom.size(); ++i)
        CustomColors[i] = static_cast<TColor>(custom[i]);
    if (chosen)
        color_ = static_cast<TColor>(cc.rgbResult & 0xFFFFFF);
    return chosen;
}

void Beep() { ::MessageBeep(MB_OK); }

void Beep(DWORD frequency, DWORD duration) { ::Beep(frequency, duration); }

void PostQuit(int exitCode) { ::PostQuitMessage(exitCode); }

bool PostMessageTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::PostMessageA(window, message, wParam, lParam) != FALSE;
}

}  // namespace win
