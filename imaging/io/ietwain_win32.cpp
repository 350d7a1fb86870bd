// The TWAIN source manager through twain_32.dll: loading it, its hidden parent window, opening and
// closing it for the application, and freeing it.
#include "imaging/io/detail/ietwain_platform.h"
#include "imaging/io/ietwain.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/Win32.h"
#include "platform/win/Controls.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace imaging {

namespace {

using TDsmEntry = std::uint16_t(WINAPI*)(TIETWIdentity* Origin, TIETWIdentity* Dest, std::uint32_t Group,
                                         std::uint16_t Data, std::uint16_t Message, void* Payload);

constexpr std::uint32_t kDgControl = 1;
constexpr std::uint16_t kDatParent = 4;
constexpr std::uint16_t kMsgOpenDsm = 0x0301;
constexpr std::uint16_t kMsgCloseDsm = 0x0302;

std::mutex gNameLock;
std::string gManagerName = "twain_32.dll";  // under gNameLock

std::string ManagerName()
{
    std::lock_guard<std::mutex> lock(gNameLock);
    return gManagerName;
}

void CopyName(char (&to)[34], const std::string& from)
{
    const std::size_t n = std::min(from.size(), sizeof to - 1);
    std::memcpy(to, from.data(), n);
    to[n] = 0;
}

}  // namespace

void IETWSetSourceManagerName(const std::string& Name)
{
    std::lock_guard<std::mutex> lock(gNameLock);
    gManagerName = Name;
}

void* IETWOwnerWindow(const rtl::TComponent* Owner)
{
    for (const rtl::TComponent* c = Owner; c; c = c->Owner())
        if (auto* control = dynamic_cast<const win::TWinControl*>(c))
            return control->HandleAllocated() ? const_cast<win::TWinControl*>(control)->Handle() : nullptr;
    return nullptr;
}

bool TIETWainParams::OpenSourceManager()
{
    TIETWSourceManager& m = sourceManager_;
    if (m.LibraryLoaded && m.State == 2)
        return true;
    IETWLog("IETW_LoadSourceManager");
    const std::string name = ManagerName();
    auto fail = [&](const std::string& why) {
        LastError = int(GetLastError());
        LastErrorText = why;
        IETWLog("  IETW_LoadSourceManager : " + why);
        IETWReleaseSourceManager(m, nullptr);
        return false;
    };
    if (!m.LibraryLoaded) {
        const HMODULE library = LoadLibraryA(name.c_str());
        if (!library)
            return fail("cannot load " + name);
        m.Library = library;
        m.LibraryLoaded = true;
        m.Entry = reinterpret_cast<void*>(GetProcAddress(library, "DSM_Entry"));
        if (!m.Entry)
            return fail(name + " has no DSM_Entry");
    }
    if (!m.ProxyWindow) {
        // The manager wants a parent window; a hidden one of our own serves when the program shows
        // none.
        m.ProxyWindow = CreateWindowExA(0, "STATIC", "TWAIN", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                        GetModuleHandleA(nullptr), nullptr);
        if (!m.ProxyWindow)
            return fail("cannot create the parent window");
    }
    m.AppId = IETWApplicationIdentity();
    CopyName(m.AppId.Version.Info, AppVersionInfo);
    CopyName(m.AppId.Manufacturer, AppManufacturer);
    CopyName(m.AppId.ProductFamily, AppProductFamily);
    CopyName(m.AppId.ProductName, AppProductName);
    HWND parent = static_cast<HWND>(m.ProxyWindow);
    const auto entry = reinterpret_cast<TDsmEntry>(m.Entry);
    const std::uint16_t rc = entry(&m.AppId, nullptr, kDgControl, kDatParent, kMsgOpenDsm, &parent);
    if (rc != 0)
        return fail(name + " refused to open with " + std::to_string(rc));
    m.State = 2;
    IETWLog("  IETW_LoadSourceManager : Load OK");
    return true;
}

namespace detail {

int IETWCloseManager(TIETWSourceManager& Manager)
{
    if (!Manager.Entry)
        return -1;
    HWND parent = static_cast<HWND>(Manager.ProxyWindow);
    const auto entry = reinterpret_cast<TDsmEntry>(Manager.Entry);
    return entry(&Manager.AppId, nullptr, kDgControl, kDatParent, kMsgCloseDsm, &parent);
}

void IETWFreeLibrary(void* Library)
{
    if (Library)
        FreeLibrary(static_cast<HMODULE>(Library));
}

void IETWDestroyWindow(void* Window)
{
    if (Window && IsWindow(static_cast<HWND>(Window)))
        DestroyWindow(static_cast<HWND>(Window));
}

}  // namespace detail

}  // namespace imaging
