// Default names, one-call INI/registry access and window placement records.
#include "placement/rxAppUtils.h"

#include "placement/rxStrUtils.h"
#include "platform/rtl/Files.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/Win32.h"

namespace placement {

std::function<std::string()> OnGetDefaultIniName;
std::string DefCompanyName;
bool RegUseAppTitle = false;

namespace {

const TCharSet& Delims()
{
    static const TCharSet set = CharSet(" ,");
    return set;
}

// A registry object whose key could not be opened has nothing to read, and a write to it
// fails: without this, its relative section paths would be taken from the root.
win::TRegIniFile* OpenRegIni(rtl::TObject* iniFile)
{
    auto* reg = dynamic_cast<win::TRegIniFile*>(iniFile);
    return reg && reg->CurrentKey() ? reg : nullptr;
}

win::TRegIniFile* WritableRegIni(rtl::TObject* iniFile, const std::string& section)
{
    auto* reg = dynamic_cast<win::TRegIniFile*>(iniFile);
    if (reg && !reg->CurrentKey())
        throw win::ERegistryException("Unable to write to registry section " + section);
    return reg;
}

}  // namespace

std::string GetDefaultSection(rtl::TComponent* component)
{
    if (!component)
        return {};
    if (auto* form = dynamic_cast<win::TCustomForm*>(component))
        return form->ClassName();
    if (auto* control = dynamic_cast<win::TControl*>(component)) {
        if (win::TCustomForm* parentForm = control->GetParentForm())
            return parentForm->ClassName() + control->Name();
        if (control->Parent())
            return control->Parent()->Name() + control->Name();
        return control->Name();
    }
    if (auto* owner = dynamic_cast<win::TForm*>(component->Owner()))
        return rtl::Format("%s.%s", owner->ClassName(), component->Name());
    return component->Name();
}

std::string GetDefaultIniName()
{
    if (OnGetDefaultIniName)
        return OnGetDefaultIniName();
    return rtl::ChangeFileExt(rtl::ExtractFileName(rtl::ExecutableFileName()), ".INI");
}

std::string GetDefaultIniRegKey()
{
    std::string name;
    if (RegUseAppTitle && win::Application && !win::Application->Title().empty())
        name = win::Application->Title();
    else
        name = rtl::ChangeFileExt(rtl::ExtractFileName(rtl::ExecutableFileName()), "");
    if (!DefCompanyName.empty())
        name = DefCompanyName + "\\" + name;
    return "Software\\" + name;
}

std::string ScreenSizeSuffix()
{
    return rtl::Format("(%dx%d)", ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
}

// ---- one-call access ----

std::string IniReadString(rtl::TObject* iniFile, const std::string& section, const std::string& ident,
                          const std::string& defaultValue)
{
    if (auto* reg = OpenRegIni(iniFile))
        return reg->ReadString(section, ident, defaultValue);
    if (auto* ini = dynamic_cast<win::TIniFile*>(iniFile))
        return ini->ReadString(section, ident, defaultValue);
    return defaultValue;
}

void IniWriteString(rtl::TObject* iniFile, const std::string& section, const std::string& ident,
                    const std::string& value)
{
    if (auto* reg = WritableRegIni(iniFile, section)) {
        reg->WriteString(section, ident, value);
    } else if (auto* ini = dynamic_cast<win::TIniFile*>(iniFile)) {
        std::string s = value;
        if (s.size() >= 2 &&
            ((s.front() == '"' && s.back() == '"') || (s.front() == '\'' && s.back() == '\'')))
            s = '"' + s + '"';
        ini->WriteString(section, ident, s);
    }
}

std::int32_t IniReadInteger(rtl::TObject* iniFile, const std::string& section, const std::string& ident,
                            std::int32_t defaultValue)
{
    if (auto* reg = OpenRegIni(iniFile))
        return reg->ReadInteger(section, ident, defaultValue);
    if (auto* ini = dynamic_cast<win::TIniFile*>(iniFile))
        return ini->ReadInteger(section, ident, defaultValue);
    return defaultValue;
}

void IniWriteInteger(rtl::TObject* iniFile, const std::string& section, const std::string& ident,
                     std::int32_t value)
{
    if (auto* reg = WritableRegIni(iniFile, section))
        reg->WriteInteger(section, ident, value);
    else if (auto* ini = dynamic_cast<win::TIniFile*>(iniFile))
        ini->WriteInteger(section, ident, value);
}

bool IniReadBool(rtl::TObject* iniFile, const std::string& section, const std::string& ident,
                 bool defaultValue)
{
    if (auto* reg = OpenRegIni(iniFile))
        return reg->ReadBool(section, ident, defaultValue);
    if (auto* ini = dynamic_cast<win::TIniFile*>(iniFile))
        return ini->ReadBool(section, ident, defaultValue);
    return defaultValue;
}

void IniWriteBool(rtl::TObject* iniFile, const std::string& section, const std::string& ident, bool value)
{
    if (auto* reg = WritableRegIni(iniFile, section))
        reg->WriteBool(section, ident, value);
    else if (auto* ini = dynamic_cast<win::TIniFile*>(iniFile))
        ini->WriteBool(section, ident, value);
}

void IniEraseSection(rtl::TObject* iniFile, const std::string& section)
{
    if (auto* reg = WritableRegIni(iniFile, section))
        reg->EraseSection(section);
    else if (auto* ini = dynamic_cast<win::TIniFile*>(iniFile))
        ini->EraseSection(section);
}

// ---- placement records ----

void WriteFormPlacement(win::TCustomForm* form, rtl::TObject* iniFile, const std::string& section)
{
    if (!form || !iniFile)
        return;
    WINDOWPLACEMENT wp{};
    wp.length = sizeof(wp);
    ::GetWindowPlacement(form->Handle(), &wp);
    if (win::Application && form == win::Application->MainForm() && win::Application->Handle() &&
        ::IsIconic(win::Application->Handle()))
        wp.showCmd = SW_SHOWMINIMIZED;
    if (form->FormStyle() == win::fsMDIChild && form->WindowState() == win::wsMinimized)
        wp.flags |= WPF_SETMINPOSITION;
    std::int32_t ppi = win::Screen ? win::Screen->PixelsPerInch() : 96;
    IniWriteInteger(iniFile, section, siFlags, static_cast<std::int32_t>(wp.flags));
    IniWriteInteger(iniFile, section, siShowCmd, static_cast<std::int32_t>(wp.showCmd));
    IniWriteInteger(iniFile, section, siPixels, ppi);
    std::string suffix = ScreenSizeSuffix();
    std::string minMax = rtl::Format("%d,%d,%d,%d", wp.ptMinPosition.x, wp.ptMinPosition.y,
                                     wp.ptMaxPosition.x, wp.ptMaxPosition.y);
    std::string norm = rtl::Format("%d,%d,%d,%d", wp.rcNormalPosition.left, wp.rcNormalPosition.top,
                                   wp.rcNormalPosition.right, wp.rcNormalPosition.bottom);
    IniWriteString(iniFile, section, std::string(siMinMaxPos) + suffix, minMax);
    IniWriteString(iniFile, section, siMinMaxPos, minMax);
    IniWriteString(iniFile, section, std::string(siNormPos) + suffix, norm);
    IniWriteString(iniFile, section, siNormPos, norm);
}

namespace {

std::int32_t Word(const std::string& s, std::int32_t n, std::int32_t defaultValue)
{
    return rtl::StrToIntDef(ExtractWord(n, s, Delims()), defaultValue);
}

std::string ReadPosition(rtl::TObject* iniFile, const std::string& section, const char* key)
{
    std::string s = IniReadString(iniFile, section, std::string(key) + ScreenSizeSuffix(), "");
    if (s.empty())
        s = IniReadString(iniFile, section, key, "");
    return s;
}

}  // namespace

void ReadFormPlacement(win::TCustomForm* form, rtl::TObject* iniFile, const std::string& section,
                       bool loadState, bool loadPosition)
{
    if (!form || !iniFile || (!loadState && !loadPosition))
        return;
    HWND wnd = form->Handle();
    WINDOWPLACEMENT wp{};
    wp.length = sizeof(wp);
    ::GetWindowPlacement(wnd, &wp);
    if (!::IsWindowVisible(wnd))
        wp.showCmd = SW_HIDE;
    if (loadPosition) {
        wp.flags =
            static_cast<UINT>(IniReadInteger(iniFile, section, siFlags, static_cast<std::int32_t>(wp.flags)));
        // Only the flags the system defines; anything else is damage.
        wp.flags &= WPF_SETMINPOSITION | WPF_RESTORETOMAXIMIZED | WPF_ASYNCWINDOWPLACEMENT;
        bool found = false;
        std::string s = ReadPosition(iniFile, section, siMinMaxPos);
        if (!s.empty()) {
            found = true;
            wp.ptMinPosition.x = Word(s, 1, 0);
            wp.ptMinPosition.y = Word(s, 2, 0);
            wp.ptMaxPosition.x = Word(s, 3, 0);
            wp.ptMaxPosition.y = Word(s, 4, 0);
        }
        s = ReadPosition(iniFile, section, siNormPos);
        if (!s.empty()) {
            found = true;
            wp.rcNormalPosition.left = Word(s, 1, form->Left());
            wp.rcNormalPosition.top = Word(s, 2, form->Top());
            wp.rcNormalPosition.right = Word(s, 3, form->Left() + form->Width());
            wp.rcNormalPosition.bottom = Word(s, 4, form->Top() + form->Height());
        }
        std::int32_t ppi = win::Screen ? win::Screen->PixelsPerInch() : 96;
        if (IniReadInteger(iniFile, section, siPixels, ppi) != ppi)
            found = false;
        // Window coordinates are 16-bit quantities; anything beyond is damage, not a position.
        const RECT& r = wp.rcNormalPosition;
        for (LONG v : {r.left, r.top, r.right, r.bottom, wp.ptMinPosition.x, wp.ptMinPosition.y,
                       wp.ptMaxPosition.x, wp.ptMaxPosition.y})
            if (v < -32768 || v > 32767)
                found = false;
        if (found) {
            win::TBorderStyle border = form->BorderStyle();
            if (border != win::bsSizeable && border != win::bsSizeToolWin) {
                wp.rcNormalPosition.right = wp.rcNormalPosition.left + form->Width();
                wp.rcNormalPosition.bottom = wp.rcNormalPosition.top + form->Height();
            }
            if (wp.rcNormalPosition.right > wp.rcNormalPosition.left) {
                if ((form->Position() == win::poScreenCenter || form->Position() == win::poDesktopCenter) &&
                    !form->ComponentState().Contains(rtl::csDesigning))
                    form->SetPosition(win::poDesigned);
                ::SetWindowPlacement(wnd, &wp);
            }
        }
    }
    if (loadState) {
        win::TWindowState state = win::wsNormal;
        win::TCustomForm* mainForm = win::Application ? win::Application->MainForm() : nullptr;
        bool isMain = !mainForm || mainForm == form;
        if ((isMain && form->FormStyle() == win::fsMDIForm) ||
            (form->FormStyle() == win::fsNormal && form->Position() == win::poDefault))
            state = win::wsMaximized;
        switch (IniReadInteger(iniFile, section, siShowCmd, SW_HIDE)) {
        case SW_SHOWNORMAL:
        case SW_SHOW:
        case SW_RESTORE: state = win::wsNormal; break;
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE:
        case SW_SHOWMINNOACTIVE: state = win::wsMinimized; break;
        case SW_SHOWMAXIMIZED: state = win::wsMaximized; break;
        default: break;
        }
        if (state == win::wsMinimized && isMain) {
            // The program minimizes as a whole, from the message loop. Only the stored state is
            // reset: the setter would show the window before its first showing is done.
            form->SetWindowStateField(win::wsNormal);
            if (win::Application && win::Application->Handle())
                ::PostMessageA(win::Application->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
            return;
        }
        if (form->FormStyle() == win::fsMDIChild || form->FormStyle() == win::fsMDIForm)
            form->SetWindowStateField(state);
        else
            form->SetWindowState(state);
    }
    form->Update();
}

void FinalizeRxAppUtils() { DefCompanyName.clear(); }

}  // namespace placement
