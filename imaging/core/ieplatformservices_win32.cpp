// Free memory and temporary file names through the Windows kernel.
#include "imaging/core/detail/ieplatformservices.h"

#include "platform/rtl/Win32.h"

namespace imaging::detail {

std::int64_t PlatformAvailableMemory()
{
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (!::GlobalMemoryStatusEx(&status))
        return 0;
    return static_cast<std::int64_t>(status.ullAvailPhys);
}

std::string PlatformTempPath()
{
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathA(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH)
        return ".\\";
    return std::string(buffer, length);
}

std::string PlatformCreateTempFile(const std::string& Folder)
{
    char buffer[MAX_PATH + 1] = {};
    if (::GetTempFileNameA(Folder.c_str(), "vodirad", 0, buffer) == 0)
        return {};
    return buffer;
}

int PlatformPrimaryLanguage() { return PRIMARYLANGID(::GetUserDefaultLangID()); }

std::int32_t PlatformResolveColor(std::int32_t color)
{
    if (color >= 0)
        return color;
    return static_cast<std::int32_t>(::GetSysColor(color & 0xFF));
}

}  // namespace imaging::detail
