// Shell open, shortcuts through the shell link object, and the shell-folder registry lookups.
#include "app/KzFunc.h"

#include "app/kzFiles.h"

#include "platform/win/Forms.h"
#include "platform/win/IniFiles.h"
#include "platform/rtl/Win32.h"

#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

namespace app {

namespace {

constexpr const char kExplorerKey[] = "Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer";
constexpr const char kGrpConvKey[] = "Software\\MicroSoft\\Windows\\CurrentVersion\\GrpConv";

// A value of the current user's registry read through the INI-style registry object, opened
// read-only and closed at once; anything missing or unreadable gives "".
std::string ReadUserIni(const char* key, const char* section, const char* ident)
{
    try {
        win::TRegIniFile ini(key, KEY_READ);
        return ini.ReadString(section, ident, "");
    } catch (const rtl::Exception&) {
        return {};
    }
}

std::wstring Widen(const std::string& text)
{
    if (text.empty())
        return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// Initialises COM for the current thread when it is not yet, and undoes exactly that.
class ComScope {
public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope()
    {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT result_;
};

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr()
    {
        if (p_)
            p_->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* operator->() const { return p_; }
    T** Out() { return &p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

}  // namespace

std::string ShortcutLocationFolder(std::int32_t kind)
{
    switch (kind) {
    case slDesktop: return ReadUserIni(kExplorerKey, "Shell Folders", "Desktop");
    case slQuickLaunch: return ReadUserIni(kGrpConvKey, "MapGroups", "Quick Launch");
    case slSendTo: return ReadUserIni(kExplorerKey, "Shell Folders", "SendTo");
    case slStartMenu: return ReadUserIni(kExplorerKey, "Shell Folders", "Start Menu");
    default: return {};
    }
}

void ShellOpen(const std::string& fileName, const std::string& parameters, const std::string& folder,
               std::int32_t showCmd)
{
    // The application window owns any dialog the shell shows.
    HWND owner = win::Application ? win::Application->Handle() : nullptr;
    ShellExecuteA(owner, nullptr, fileName.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                  folder.empty() ? nullptr : folder.c_str(), showCmd);
}

std::string GetProgramsFolder()
{
    try {
        win::TRegistry registry(KEY_READ);
        registry.SetRootKey(HKEY_CURRENT_USER);
        if (!registry.OpenKeyReadOnly(
                "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"))
            return {};
        return registry.ReadString("Programs");
    } catch (const rtl::Exception&) {
        return {};  // a value of another type counts as absent
    }
}

std::string GetWindowsFolder()
{
    char buffer[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return AddBackSlash("");
    return AddBackSlash(std::string(buffer, length));
}

void MakeShortcut(const std::string& target, std::int32_t kind, const std::string& folder,
                  const std::string& workingFolder, const std::string& arguments,
                  const std::string& description, std::string& linkPath)
{
    CreateShortcut(target, ExtractFileName(target, true), kind, folder, workingFolder, arguments, description,
                   linkPath);
}

void CreateShortcut(const std::string& target, const std::string& linkName, std::int32_t kind,
                    const std::string& folder, const std::string& workingFolder, const std::string& arguments,
                    const std::string& description, std::string& linkPath)
{
    std::string location = kind == slFolder ? folder : ShortcutLocationFolder(kind);
    if (location.empty())
        return;
    // The link name's own extension, if any, gives way to ".lnk".
    const std::string fileName = RemoveFileExt(linkName) + ".lnk";
    std::string path = AddBackSlash(location);
    if (!folder.empty() && kind != slFolder)
        path = AddBackSlash(path + folder);
    path += fileName;

    ComScope com;
    ComPtr<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(link.Out()))))
        return;
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Out()))))
        return;
    link->SetPath(target.c_str());
    link->SetArguments(arguments.c_str());
    link->SetDescription(description.c_str());
    const std::string workDir = workingFolder.empty() ? ExtractFilePath(target) : workingFolder;
    link->SetWorkingDirectory(workDir.c_str());
    if (FAILED(file->Save(Widen(path).c_str(), FALSE)))
        return;
    linkPath = path;
}

}  // namespace app
