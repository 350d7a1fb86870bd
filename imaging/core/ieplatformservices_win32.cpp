// Free memory, the user language and system colours through the Windows kernel.
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

int PlatformPrimaryLanguage() { return PRIMARYLANGID(::GetUserDefaultLangID()); }

std::int32_t PlatformResolveColor(std::int32_t color)
{
    if (color >= 0)
        return color;
    return static_cast<std::int32_t>(::GetSysColor(color & 0xFF));
}

}  // namespace imaging::detail
